#pragma once
// The launcher's checks and the start of the program: the launcher's path must not exceed
// 128 characters (6795); the target is the first file-name argument, else
// "STARTUP/TOLBANE_Updater.exe" beside the launcher, which must be a file (6794); the four
// libraries must be files in "STARTUP" (6794); then the target starts with the launcher's
// environment and current folder, and the launcher does not wait for it.
#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace vorn {

inline constexpr std::size_t kMaxLauncherPath = 128;
inline constexpr const char* kInstallFolderName = "STARTUP";
// Checked in this order in the installation folder.
inline constexpr const char* kLauncherLibraries[] = {"libssl32.dll", "zipbridge.dll",
                                                     "libeay32.dll", "libcurl.dll"};

struct LaunchOutcome {
    bool started = false;
    std::string message;  // the text to show when nothing was started
};

// `self` is the launcher's own path; `args` the command line without the program name.
// Arguments beginning with "-" are flags and are ignored.
LaunchOutcome Launch(const std::filesystem::path& self, const std::vector<std::string>& args);

}  // namespace vorn
