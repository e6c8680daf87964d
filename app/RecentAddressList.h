#pragma once
// The recent-address list "updater.ini" in the program folder: up to 10 gateway addresses
// with their remembered passwords (stored enciphered), most recently used first.
//
//   [IP_CONFIG] count = n          [IP00] .. [IP09]  IP = address[:port]  PWD = stored form
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "lib/IniFile.h"

namespace vorn {

struct RecentEntry {
    std::string address;  // canonical dotted address
    std::string port;     // "" or decimal text
    std::string password;
    std::string Text() const { return port.empty() ? address : address + ":" + port; }
};

class RecentAddressList {
public:
    static constexpr std::size_t kMaxEntries = 10;
    static constexpr const char* kDefaultAddress = "10.254.254.253";
    static constexpr const char* kFileName = "updater.ini";

    RecentAddressList();

    // Reads the list; reading stops at the first bad entry (missing key, invalid address,
    // password that does not decipher). Sets the current address and password from the
    // first entry, or to the default address and an empty password.
    void Load(const std::filesystem::path& path);
    // Invalid address: false. Otherwise the entry goes to the front (an equal entry is
    // removed, the oldest dropped beyond 10) and the file is saved.
    bool Add(std::string_view addressText, const std::string& password);
    struct LookupResult {
        bool valid = false;
        std::string password;  // "" when the address is not in the list
    };
    LookupResult Lookup(std::string_view addressText) const;
    // Writes the list to the loaded path. 0 or -1.
    int Save();

    const std::vector<RecentEntry>& Entries() const { return m_entries; }
    const std::string& CurrentAddress() const { return m_currentAddress; }
    const std::string& CurrentPassword() const { return m_currentPassword; }
    void SetCurrent(std::string address, std::string password) {
        m_currentAddress = std::move(address);
        m_currentPassword = std::move(password);
    }

private:
    IniFile m_ini;
    std::filesystem::path m_path;
    std::vector<RecentEntry> m_entries;
    std::string m_currentAddress = kDefaultAddress;
    std::string m_currentPassword;
};

}  // namespace vorn
