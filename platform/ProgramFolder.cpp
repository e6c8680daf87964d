#include "ProgramFolder.h"

#include <cstdlib>
#include <mutex>
#include <system_error>

namespace vorn {
namespace {

std::mutex g_mutex;
std::filesystem::path g_override;

std::filesystem::path ExecutablePath() {
    std::error_code ec;
    auto p = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::path() : p;
}

}  // namespace

std::filesystem::path ProgramFolder() {
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (!g_override.empty()) {
            return g_override;
        }
    }
    if (const char* home = std::getenv("VORN_HOME"); home && *home) {
        return std::filesystem::absolute(home).lexically_normal();
    }
    return ExecutablePath().parent_path();
}

std::filesystem::path ProgramPath() {
    return ProgramFolder() / ExecutablePath().filename();
}

void SetProgramFolderForTests(const std::filesystem::path& folder) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_override = folder;
}

}  // namespace vorn
