#pragma once
// ConfSectionReader: a small read-only INI reader with exact (case-sensitive) names, used for
// the files inside packages ("upgrade.conf", "package.conf").
#include <filesystem>
#include <map>
#include <string>
#include <utility>

namespace vorn {

class ConfSectionReader {
public:
    // Lines before the first section belong to this section.
    static constexpr const char* kHeaderSection = "__g_header__";

    // false when the file cannot be opened. A repeated key replaces the earlier value.
    bool Load(const std::filesystem::path& path);
    // The value, or "" when absent.
    std::string Get(const std::string& section, const std::string& key) const;

    const std::map<std::pair<std::string, std::string>, std::string>& Entries() const {
        return m_values;
    }

private:
    std::map<std::pair<std::string, std::string>, std::string> m_values;
};

}  // namespace vorn
