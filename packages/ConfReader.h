#pragma once
// Interim exact-name reader for "upgrade.conf" and "package.conf" with the rules of the INI
// library's ConfSectionReader (trimmed lines; lines of two characters or fewer and lines
// beginning with ";", "#" or "//" are comments; "[section]"; key=value at the first "=").
// Replaced by lib/ConfSectionReader once that is available.
#include <map>
#include <string>
#include <utility>

namespace vorn {

class PackageConfReader {
public:
    bool Load(const std::string& path);
    std::string Get(const std::string& section, const std::string& key) const;

private:
    std::map<std::pair<std::string, std::string>, std::string> m_values;
};

}  // namespace vorn
