#include "app/LoginErrorLog.h"

#include <algorithm>
#include <cstdlib>

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
    m_entries.clear();
    m_ini.Load(path);
    if (!m_ini.KeyExists("IP_CONFIG", "count")) {
        LogWrite("The LoginLog is wrong!", kLogDebug);
        return;
    }
    int count = m_ini.GetInt("IP_CONFIG", "count", 0);
    for (int i = 0; i < count && m_entries.size() < kMaxEntries; ++i) {
        std::string section = StrPrintf("IP%02d", i);
        auto ip = m_ini.Find(section, "IP");
        auto errors = m_ini.Find(section, "ERRORCOUNT");
        auto parsed = ip ? ParseAddress(*ip) : std::nullopt;
        char* end = nullptr;
        long n = errors ? std::strtol(errors->c_str(), &end, 10) : -1;
        if (!parsed || !errors || errors->empty() || *end != '\0' || n < 0 || n > kLockCount) {
            LogWrite("The loginerror is wrong!", kLogDebug);
            break;
        }
        auto time = m_ini.Find(section, "TIME");
        m_entries.push_back({parsed->address, parsed->port, time ? ParseTime(*time) : NoErrorTime(),
                             static_cast<int>(n)});
    }
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
    std::erase_if(m_entries, [&](const LoginErrorEntry& x) {
        return x.address == parsed->address && x.port == parsed->port;
    });
    while (m_entries.size() >= kMaxEntries) {
        m_entries.pop_back();
    }
    m_entries.insert(m_entries.begin(), {parsed->address, parsed->port, time, count});
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
    if (m_path.empty()) {
        return -1;
    }
    m_ini.Clear();
    std::size_t n = std::min(m_entries.size(), kMaxEntries);
    m_ini.SetInt("IP_CONFIG", "count", static_cast<int>(n));
    for (std::size_t i = 0; i < n; ++i) {
        const LoginErrorEntry& e = m_entries[i];
        std::string section = StrPrintf("IP%02zu", i);
        m_ini.SetString(section, "IP", e.port.empty() ? e.address : e.address + ":" + e.port);
        m_ini.SetString(section, "TIME", TimeText(e.time));
        m_ini.SetInt(section, "ERRORCOUNT", e.count);
    }
    return m_ini.Save(m_path);
}

}  // namespace vorn
