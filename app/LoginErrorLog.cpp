#include "app/LoginErrorLog.h"

#include <algorithm>
#include <cstdlib>

#include "app/AddressListFile.h"
#include "app/ParseAddress.h"
#include "lib/Log.h"
#include "lib/Text.h"

namespace vorn {

namespace {

std::string TimeText(std::time_t t) {
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
    return buf;
}

std::time_t ParseTime(const std::string& text) {
    std::tm tm{};
    const char* end = ::strptime(text.c_str(), "%Y-%m-%d %H:%M:%S", &tm);
    if (!end || *end != '\0') {
        return LoginErrorLog::NoErrorTime();
    }
    tm.tm_isdst = -1;
    std::time_t t = std::mktime(&tm);
    return t == static_cast<std::time_t>(-1) ? LoginErrorLog::NoErrorTime() : t;
}

}  // namespace

std::time_t LoginErrorLog::NoErrorTime() {
    std::tm tm{};
    tm.tm_year = 2008 - 1900;
    tm.tm_mon = 9;
    tm.tm_mday = 10;
    tm.tm_hour = 10;
    tm.tm_min = 10;
    tm.tm_sec = 10;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

void LoginErrorLog::Load(const std::filesystem::path& path) {
    m_path = path;
    m_entries = LoadAddressList<LoginErrorEntry>(
        m_ini, path, kMaxEntries, "The LoginLog is wrong!", "The loginerror is wrong!",
        [this](const std::string& section) -> std::optional<LoginErrorEntry> {
            auto ip = m_ini.Find(section, "IP");
            auto errors = m_ini.Find(section, "ERRORCOUNT");
            auto parsed = ip ? ParseAddress(*ip) : std::nullopt;
            char* end = nullptr;
            long n = errors ? std::strtol(errors->c_str(), &end, 10) : -1;
            if (!parsed || !errors || errors->empty() || *end != '\0' || n < 0 || n > kLockCount) {
                return std::nullopt;
            }
            auto time = m_ini.Find(section, "TIME");
            return LoginErrorEntry{parsed->address, parsed->port,
                                   time ? ParseTime(*time) : NoErrorTime(), static_cast<int>(n)};
        });
}

const LoginErrorEntry* LoginErrorLog::FindEntry(std::string_view addressText) const {
    auto parsed = ParseAddress(addressText);
    if (!parsed) {
        return nullptr;
    }
    for (const LoginErrorEntry& e : m_entries) {
        if (e.address == parsed->address && e.port == parsed->port) {
            return &e;
        }
    }
    return nullptr;
}

bool LoginErrorLog::Exists(std::string_view addressText) const {
    return FindEntry(addressText) != nullptr;
}

int LoginErrorLog::Count(std::string_view addressText) const {
    const LoginErrorEntry* e = FindEntry(addressText);
    return e ? e->count : 0;
}

std::time_t LoginErrorLog::Time(std::string_view addressText) const {
    const LoginErrorEntry* e = FindEntry(addressText);
    return e ? e->time : NoErrorTime();
}

bool LoginErrorLog::Add(std::string_view addressText, std::time_t time, int count) {
    auto parsed = ParseAddress(addressText);
    if (!parsed) {
        return false;
    }
    PutAddressFirst(m_entries, LoginErrorEntry{parsed->address, parsed->port, time, count},
                    kMaxEntries);
    if (Save() != 0) {
        LogWrite("save " + m_path.string() + " failed", kLogWarn);
    }
    return true;
}

bool LoginErrorLog::Update(std::string_view addressText, std::time_t time, int count) {
    return Exists(addressText) && Add(addressText, time, count);
}

// The time is local text, so a clock change or a daylight-saving switch can put the stored
// time ahead of now; a lock never lasts more than its 600 seconds either way.
bool LoginErrorLog::IsLocked(std::string_view addressText, std::time_t now) {
    const LoginErrorEntry* e = FindEntry(addressText);
    if (!e || e->count < kLockCount) {
        return false;
    }
    double elapsed = std::difftime(now, e->time);
    if (elapsed < kLockSeconds && elapsed > -kLockSeconds) {
        return true;
    }
    Update(addressText, NoErrorTime(), 0);
    return false;
}

int LoginErrorLog::Save() {
    return SaveAddressList(
        m_ini, m_path, m_entries, kMaxEntries,
        [this](const std::string& section, const LoginErrorEntry& e) {
            m_ini.SetString(section, "IP", e.port.empty() ? e.address : e.address + ":" + e.port);
            m_ini.SetString(section, "TIME", TimeText(e.time));
            m_ini.SetInt(section, "ERRORCOUNT", e.count);
            return true;
        });
}

}  // namespace vorn
