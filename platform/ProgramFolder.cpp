#include "ProgramFolder.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>
#include <system_error>

#include "platform/DataFile.h"

namespace vorn {
namespace {

namespace fs = std::filesystem;

std::mutex g_mutex;
fs::path g_override;
fs::path g_dataOverride;

fs::path ExecutablePath() {
    std::error_code ec;
    auto p = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::path() : p;
}

fs::path Pinned() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_override;
}

fs::path PinnedData() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_dataOverride;
}

fs::path HomeFromEnvironment() {
    if (const char* home = std::getenv("VORN_HOME"); home && *home) {
        return fs::absolute(home).lexically_normal();
    }
    return {};
}

// The owner of `p`, or of its nearest existing parent when `p` does not exist yet.
uid_t OwnerOfNearest(fs::path p) {
    for (;;) {
        struct stat st {};
        if (::stat(p.c_str(), &st) == 0) {
            return st.st_uid;
        }
        if (!p.has_relative_path()) {
            return 0;
        }
        p = p.parent_path();
    }
}

// Root writes only below folders of its own: a HOME or XDG_DATA_HOME that another user's
// session handed on (sudo keeps them) would leave root-owned files in that user's home.
bool ForeignToRoot(const fs::path& p) {
    return ::geteuid() == 0 && OwnerOfNearest(p) != 0;
}

fs::path PasswdHome() {
    if (const passwd* pw = ::getpwuid(::geteuid()); pw && pw->pw_dir && *pw->pw_dir == '/') {
        return pw->pw_dir;
    }
    return {};
}

fs::path UserHome() {
    if (const char* home = std::getenv("HOME"); home && *home == '/' && !ForeignToRoot(home)) {
        return home;
    }
    return PasswdHome();
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
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg == '/' && !ForeignToRoot(xdg)) {
        return fs::path(xdg) / "vornupdater";
    }
    fs::path home = UserHome();
    return home.empty() ? fs::path() : home / ".local" / "share" / "vornupdater";
}

bool IsPrivateProgramFolder(const fs::path& folder) {
    std::error_code ec;
    if (folder.empty() || fs::exists(folder / kSystemInstallMarker, ec)) {
        return false;
    }
    struct stat st {};
    return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
           (st.st_mode & (S_IWGRP | S_IWOTH)) == 0 && ::access(folder.c_str(), W_OK) == 0;
}

fs::path DataFolder() {
    if (fs::path pinned = PinnedData(); !pinned.empty()) {
        return pinned;
    }
    if (fs::path pinned = Pinned(); !pinned.empty()) {
        return pinned;
    }
    if (fs::path home = HomeFromEnvironment(); !home.empty()) {
        return home;  // chosen on purpose: used as it is
    }
    const fs::path program = ExecutablePath().parent_path();
    if (IsPrivateProgramFolder(program)) {
        return program;
    }
    fs::path user = UserDataFolder();
    if (user.empty()) {
        return program;  // no home to name: writing fails there with the system's error
    }
    MakePrivateFolders(user);  // a failure shows when the log cannot be opened
    KeepFolderPrivate(user);
    return user;
}

void SetProgramFolderForTests(const fs::path& folder) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_override = folder;
}

void SetDataFolderForTests(const fs::path& folder) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_dataOverride = folder;
}

}  // namespace vorn
