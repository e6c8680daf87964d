#include "ProgramFolder.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>
#include <system_error>

namespace vorn {
namespace {

namespace fs = std::filesystem;

std::mutex g_mutex;
fs::path g_override;

fs::path ExecutablePath() {
    std::error_code ec;
    auto p = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::path() : p;
}

fs::path Pinned() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_override;
}

fs::path HomeFromEnvironment() {
    if (const char* home = std::getenv("VORN_HOME"); home && *home) {
        return fs::absolute(home).lexically_normal();
    }
    return {};
}

fs::path UserHome() {
    if (const char* home = std::getenv("HOME"); home && *home == '/') {
        return home;
    }
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir && *pw->pw_dir == '/') {
        return pw->pw_dir;
    }
    return {};
}

}  // namespace

fs::path ProgramFolder() {
    if (fs::path pinned = Pinned(); !pinned.empty()) {
        return pinned;
    }
    if (fs::path home = HomeFromEnvironment(); !home.empty()) {
        return home;
    }
    return ExecutablePath().parent_path();
}

fs::path ProgramPath() {
    return ProgramFolder() / ExecutablePath().filename();
}

fs::path UserDataFolder() {
    // A relative XDG_DATA_HOME is invalid and ignored.
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg == '/') {
        return fs::path(xdg) / "vornupdater";
    }
    fs::path home = UserHome();
    return home.empty() ? fs::path() : home / ".local" / "share" / "vornupdater";
}

fs::path DataFolder() {
    if (fs::path pinned = Pinned(); !pinned.empty()) {
        return pinned;
    }
    if (fs::path home = HomeFromEnvironment(); !home.empty()) {
        return home;
    }
    const fs::path program = ExecutablePath().parent_path();
    std::error_code ec;
    if (!program.empty() && !fs::exists(program / kSystemInstallMarker, ec) &&
        ::access(program.c_str(), W_OK) == 0) {
        return program;
    }
    fs::path user = UserDataFolder();
    if (user.empty()) {
        return program;  // no home to name: writing fails there with the system's error
    }
    fs::create_directories(user, ec);  // a failure shows when the log cannot be opened
    return user;
}

void SetProgramFolderForTests(const fs::path& folder) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_override = folder;
}

}  // namespace vorn
