#include "lib/Clock.h"

#include <mutex>

namespace vorn {
namespace {
std::mutex g_mutex;
SystemTime g_fixed{};
}  // namespace

SystemTime Now() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_fixed == SystemTime{} ? std::chrono::system_clock::now() : g_fixed;
}

std::time_t NowTimeT() { return std::chrono::system_clock::to_time_t(Now()); }

std::tm LocalNow() {
    std::time_t t = NowTimeT();
    std::tm tm{};
    localtime_r(&t, &tm);
    return tm;
}

void SetClockForTests(SystemTime t) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_fixed = t;
}

void AdvanceClockForTests(std::chrono::milliseconds d) {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_fixed == SystemTime{}) {
        g_fixed = std::chrono::system_clock::now();
    }
    g_fixed += d;
}

}  // namespace vorn
