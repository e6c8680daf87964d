#include "launcher/Launcher.h"

#include <spawn.h>
#include <sys/types.h>

#include <system_error>

#include "launcher/LauncherStrings.h"
#include "platform/SystemError.h"

extern char** environ;

namespace vorn {
namespace {

namespace fs = std::filesystem;

LaunchOutcome Refused(int id) {
    return {false, LauncherStr(id)};
}

// A folder of the name, or a link to nothing, does not count.
bool IsFile(const fs::path& p) {
    std::error_code ec;
    return !p.empty() && fs::is_regular_file(p, ec);
}

std::string FirstFileArgument(const std::vector<std::string>& args) {
    for (const std::string& a : args) {
        if (!a.empty() && a[0] != '-') {
            return a;
        }
    }
    return {};
}

}  // namespace

LaunchOutcome Launch(const fs::path& self, const std::vector<std::string>& args) {
    if (self.string().size() > kMaxLauncherPath) {
        return Refused(6795);
    }
    // Without any folder part there is no installation folder to look in.
    const fs::path install =
        self.has_parent_path() ? self.parent_path() / kInstallFolderName : fs::path();

    fs::path target = FirstFileArgument(args);
    if (target.empty()) {
        if (install.empty() || !IsFile(install / LauncherStr(6796))) {
            return Refused(6794);
        }
        target = install / LauncherStr(6796);
    }
    for (const char* name : kLauncherLibraries) {
        if (install.empty() || !IsFile(install / name)) {
            return Refused(6794);
        }
    }

    // The target path is the whole command line; the child gets our environment and folder.
    std::string path = target.string();
    char* argv[] = {path.data(), nullptr};
    pid_t pid = 0;
    if (int err = ::posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv, environ); err != 0) {
        return {false, SystemErrorText(err)};
    }
    return {true, {}};
}

}  // namespace vorn
