#pragma once
// IniFile: a read-write INI store that keeps a whole file in memory. Section and key names
// are looked up without regard to ASCII letter case (folded names are cut to 64 characters),
// sections and keys keep their insertion order, Load re-reads only when the file changed on
// disk and Save writes only when something changed. Lines are written with CRLF ends.
//
// Results: 0 for success, negative numbers for failures.
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vorn {

// Folded form of a name: A-Z become a-z, cut to 64 characters.
std::string IniFoldName(std::string_view name);
// ELF hash of a folded name (bytes taken as signed characters).
std::uint32_t IniElfHash(std::string_view folded);
// First table size of the prime list not below `request` (the last prime when none is).
std::size_t IniTableSize(std::size_t request);
// The prime after `size` in the list (`size` itself when it is the last).
std::size_t IniNextTableSize(std::size_t size);

class IniFile {
public:
    IniFile();
    explicit IniFile(const std::filesystem::path& path);
    ~IniFile();
    IniFile(const IniFile&) = delete;
    IniFile& operator=(const IniFile&) = delete;

    // Same path and unchanged modification time: nothing happens (unsaved changes stay).
    // Otherwise the store is emptied and the file parsed. -1: cannot be opened (the path is
    // kept so that a later Save creates the file); -2: a section cannot be created.
    int Load(const std::filesystem::path& path);
    bool IsLoaded() const;
    // No path or the loaded path: written only when dirty. Another path: always written.
    // The file is written to a temporary sibling and moved into place. -1 on failure.
    int Save(const std::filesystem::path& path = {});

    bool KeyExists(std::string_view section, std::string_view key) const;
    // Sections with their names as first written; keys in folded form.
    std::vector<std::string> ListSections() const;
    std::vector<std::string> ListKeys(std::string_view section) const;

    // Found: copies at most size - 1 characters and a terminator into buf and returns buf
    // (without a buffer, returns the stored value). Not found: copies `def` into buf when both
    // are given and returns "".
    const char* GetString(std::string_view section, std::string_view key, char* buf,
                          std::size_t size, const char* def) const;
    // The stored value, or nothing.
    std::optional<std::string> Find(std::string_view section, std::string_view key) const;
    int GetInt(std::string_view section, std::string_view key, int def) const;
    unsigned GetUInt(std::string_view section, std::string_view key, unsigned def) const;

    // Creates the section when missing; a replaced key moves to the end of the order.
    int SetString(std::string_view section, std::string_view key, std::string_view value);
    int SetInt(std::string_view section, std::string_view key, int value);
    // Removes one key; 0 when it was there, -1 otherwise.
    int RemoveKey(std::string_view section, std::string_view key);
    void Clear();

    bool IsDirty() const { return m_dirty; }
    const std::filesystem::path& Path() const { return m_path; }
    // Permission bits for files this store creates (default 0600, owner only; the umask may
    // take more away). A file in the data folder reached through a symbolic link is not
    // written (Save fails with errno ELOOP).
    void SetFileMode(mode_t mode) { m_mode = mode; }

    struct Section;

private:
    int Parse(std::FILE* f);
    Section* FindSection(std::string_view name) const;
    Section* AddSection(std::string_view name);
    int WriteTo(const std::filesystem::path& path) const;

    std::filesystem::path m_path;
    std::int64_t m_mtime = 0;  // nanoseconds since the epoch; 0 when nothing is loaded
    bool m_dirty = false;
    std::vector<std::string> m_header;  // comment lines before the first section
    struct Tables;
    std::unique_ptr<Tables> m_tables;
    mode_t m_mode = 0600;
};

}  // namespace vorn
