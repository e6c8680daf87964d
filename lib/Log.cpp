#include "lib/Log.h"

#include <mutex>

namespace vorn {
namespace {
std::mutex g_mutex;
std::string g_lastError;
}  // namespace

// Until the log file exists (start-up opens it), lines are dropped.
void LogWrite(const std::string& text, int level) {
    if (level == kLogErrorLast) {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_lastError = text;
    }
}

std::string LastErrorText() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_lastError;
}

}  // namespace vorn
