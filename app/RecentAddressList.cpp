#include "app/RecentAddressList.h"

#include <algorithm>

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
    m_entries.clear();
    m_ini.Load(path);
    if (!m_ini.KeyExists("IP_CONFIG", "count")) {
        LogWrite("The update.ini is wrong!", kLogDebug);
    } else {
        int count = m_ini.GetInt("IP_CONFIG", "count", 0);
        for (int i = 0; i < count && m_entries.size() < kMaxEntries; ++i) {
            std::string section = StrPrintf("IP%02d", i);
            auto ip = m_ini.Find(section, "IP");
            auto pwd = m_ini.Find(section, "PWD");
            auto parsed = ip ? ParseAddress(*ip) : std::nullopt;
            RecentEntry e;
            if (!pwd || !parsed || !DecodeStoredPassword(*pwd, e.password)) {
                LogWrite("The update.ini is wrong!", kLogDebug);
                break;
            }
            e.address = parsed->address;
            e.port = parsed->port;
            m_entries.push_back(std::move(e));
        }
    }
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
    RecentEntry e{parsed->address, parsed->port, password};
    std::erase_if(m_entries,
                  [&](const RecentEntry& x) { return x.address == e.address && x.port == e.port; });
    while (m_entries.size() >= kMaxEntries) {
        m_entries.pop_back();
    }
    m_entries.insert(m_entries.begin(), std::move(e));
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
    if (m_path.empty()) {
        return -1;
    }
    m_ini.Clear();
    std::size_t n = std::min(m_entries.size(), kMaxEntries);
    m_ini.SetInt("IP_CONFIG", "count", static_cast<int>(n));
    for (std::size_t i = 0; i < n; ++i) {
        std::string section = StrPrintf("IP%02zu", i);
        std::string stored = EncodeStoredPassword(m_entries[i].password);
        if (stored.empty() || m_ini.SetString(section, "IP", m_entries[i].Text()) != 0 ||
            m_ini.SetString(section, "PWD", stored) != 0) {
            return -1;
        }
    }
    return m_ini.Save(m_path);
}

}  // namespace vorn
