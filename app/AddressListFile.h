#pragma once
// The layout both address files share ("updater.ini", "loginerror"): [IP_CONFIG] count = n,
// then one section per entry, "IP00", "IP01", ..., newest first. Entries carry `address`
// and `port` (canonical text from ParseAddress).
#include <algorithm>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "lib/IniFile.h"
#include "lib/Log.h"
#include "lib/Text.h"

namespace vorn {

// Reads up to `max` entries from `path` into `ini`; `read(section)` gives the entry of a
// section or nullopt for a bad one, which ends the list. The texts go to the debug log when
// the count is missing and when an entry is bad.
template <typename Entry, typename Read>
std::vector<Entry> LoadAddressList(IniFile& ini, const std::filesystem::path& path, std::size_t max,
                                   const char* noCountText, const char* badEntryText, Read read) {
    std::vector<Entry> entries;
    ini.Load(path);
    if (!ini.KeyExists("IP_CONFIG", "count")) {
        LogWrite(noCountText, kLogDebug);
        return entries;
    }
    const int count = ini.GetInt("IP_CONFIG", "count", 0);
    for (int i = 0; i < count && entries.size() < max; ++i) {
        std::optional<Entry> e = read(StrPrintf("IP%02d", i));
        if (!e) {
            LogWrite(badEntryText, kLogDebug);
            break;
        }
        entries.push_back(std::move(*e));
    }
    return entries;
}

// Writes the first `max` entries; `write(section, entry)` stores one and returns false when
// it cannot. 0, or -1 (no path, an entry not stored, the file not written).
template <typename Entry, typename Write>
int SaveAddressList(IniFile& ini, const std::filesystem::path& path,
                    const std::vector<Entry>& entries, std::size_t max, Write write) {
    if (path.empty()) {
        return -1;
    }
    ini.Clear();
    const std::size_t n = std::min(entries.size(), max);
    ini.SetInt("IP_CONFIG", "count", static_cast<int>(n));
    for (std::size_t i = 0; i < n; ++i) {
        if (!write(StrPrintf("IP%02zu", i), entries[i])) {
            return -1;
        }
    }
    return ini.Save(path);
}

// Puts `entry` first: an entry with the same address and port goes, and the oldest beyond
// `max`.
template <typename Entry>
void PutAddressFirst(std::vector<Entry>& entries, Entry entry, std::size_t max) {
    std::erase_if(entries, [&](const Entry& x) {
        return x.address == entry.address && x.port == entry.port;
    });
    while (!entries.empty() && entries.size() >= max) {
        entries.pop_back();
    }
    entries.insert(entries.begin(), std::move(entry));
}

}  // namespace vorn
