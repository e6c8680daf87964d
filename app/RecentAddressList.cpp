#include "app/RecentAddressList.h"

#include <algorithm>

#include "app/AddressListFile.h"
#include "app/ParseAddress.h"
#include "lib/Log.h"
#include "lib/Text.h"
#include "link/CDES.h"

namespace vorn {

RecentAddressList::RecentAddressList() {
    // Remembered passwords are enciphered under a fixed key: owner only.
    m_ini.SetFileMode(0600);
}

void RecentAddressList::Load(const std::filesystem::path& path) {
    m_path = path;
    m_entries = LoadAddressList<RecentEntry>(
        m_ini, path, kMaxEntries, "The update.ini is wrong!", "The update.ini is wrong!",
        [this](const std::string& section) -> std::optional<RecentEntry> {
            auto ip = m_ini.Find(section, "IP");
            auto pwd = m_ini.Find(section, "PWD");
            auto parsed = ip ? ParseAddress(*ip) : std::nullopt;
            RecentEntry e;
            if (!pwd || !parsed || !DecodeStoredPassword(*pwd, e.password)) {
                return std::nullopt;
            }
            e.address = parsed->address;
            e.port = parsed->port;
            return e;
        });
    if (m_entries.empty()) {
        SetCurrent(kDefaultAddress, "");
    } else {
        SetCurrent(m_entries.front().Text(), m_entries.front().password);
    }
}

bool RecentAddressList::Add(std::string_view addressText, const std::string& password) {
    auto parsed = ParseAddress(addressText);
    if (!parsed) {
        return false;
    }
    PutAddressFirst(m_entries, RecentEntry{parsed->address, parsed->port, password}, kMaxEntries);
    if (Save() != 0) {
        LogWrite("save " + m_path.string() + " failed", kLogWarn);
    }
    return true;
}

RecentAddressList::LookupResult RecentAddressList::Lookup(std::string_view addressText) const {
    LookupResult r;
    auto parsed = ParseAddress(addressText);
    if (!parsed) {
        return r;
    }
    r.valid = true;
    for (const RecentEntry& e : m_entries) {
        if (e.address == parsed->address && e.port == parsed->port) {
            r.password = e.password;
            break;
        }
    }
    return r;
}

int RecentAddressList::Save() {
    return SaveAddressList(m_ini, m_path, m_entries, kMaxEntries,
                           [this](const std::string& section, const RecentEntry& e) {
                               const std::string stored = EncodeStoredPassword(e.password);
                               return !stored.empty() &&
                                      m_ini.SetString(section, "IP", e.Text()) == 0 &&
                                      m_ini.SetString(section, "PWD", stored) == 0;
                           });
}

}  // namespace vorn
