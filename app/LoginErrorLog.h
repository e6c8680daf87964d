#pragma once
// The login-error log "loginerror" in the "tmp" working folder: up to 100 gateway addresses
// with the number of wrong passwords in a row and the time of the last one. Five wrong
// passwords lock the address for 600 seconds; the lock survives a restart.
//
//   [IP_CONFIG] count = n    [IP00] ..  IP = address[:port]  TIME = %Y-%m-%d %H:%M:%S (local)
//                                       ERRORCOUNT = 0..5
#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "lib/IniFile.h"
#include "lib/WorkFolders.h"

namespace vorn {

struct LoginErrorEntry {
    std::string address;  // canonical dotted address
    std::string port;     // "" or decimal text
    std::time_t time = 0;
    int count = 0;
};

class LoginErrorLog {
public:
    static constexpr std::size_t kMaxEntries = 100;
    static constexpr int kLockCount = 5;
    static constexpr int kLockSeconds = 601;  // locked while fewer seconds have passed
    static constexpr const char* kFileName = kLoginErrorFile;
    static constexpr const char* kFolder = kLoginErrorFolder;

    // 2008-10-10 10:10:10 local time: the time of an entry without errors, and of one whose
    // stored time cannot be read.
    static std::time_t NoErrorTime();

    LoginErrorLog() = default;

    // Reads the log; reading stops at the first bad entry.
    void Load(const std::filesystem::path& path);
    bool Exists(std::string_view addressText) const;
    int Count(std::string_view addressText) const;         // 0 when absent
    std::time_t Time(std::string_view addressText) const;  // NoErrorTime() when absent
    // Front insertion (an equal entry is replaced, at most 100 kept), then save.
    bool Add(std::string_view addressText, std::time_t time, int count);
    // Only an existing entry: replaced and moved to the front, then save.
    bool Update(std::string_view addressText, std::time_t time, int count);
    // Locked: five errors or more and the last one less than 601 seconds away from `now`.
    // A lock that has run out is cleared (count 0) here.
    bool IsLocked(std::string_view addressText, std::time_t now);
    int Save();

    const std::vector<LoginErrorEntry>& Entries() const { return m_entries; }

private:
    const LoginErrorEntry* FindEntry(std::string_view addressText) const;

    IniFile m_ini;
    std::filesystem::path m_path;
    std::vector<LoginErrorEntry> m_entries;
};

}  // namespace vorn
