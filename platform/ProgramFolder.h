#pragma once
// The program folder and the data folder.
//
// The program folder is the folder of the running executable (links resolved), or VORN_HOME
// when set; it holds the installation's read-only parts (helper scripts, "openssl" folder,
// archive component). The data folder holds everything the program writes (working folders,
// options file, log, single-instance lock): VORN_HOME when set; else the program folder when
// it is this user's own (the user owns it and may write it, no one else may write it, and the
// installation is not marked as system-wide); else the per-user folder.
//
// The per-user folder is $XDG_DATA_HOME/vornupdater, else ~/.local/share/vornupdater. It is
// created owner-only (0700) and kept so. A run as root never puts it into a folder that
// belongs to another user (a HOME or XDG_DATA_HOME kept from the user who called sudo): it
// uses root's own home then.
#include <filesystem>

namespace vorn {

// A file of this name in the program folder marks a system-wide installation: its users
// always write into their per-user folder, even when they could write the program folder.
inline constexpr const char* kSystemInstallMarker = "installed-system-wide";

std::filesystem::path ProgramFolder();
// Full path of the running executable as seen from the program folder (the executable's
// file name inside ProgramFolder()); used for the path-length check.
std::filesystem::path ProgramPath();
// Where the program writes; the per-user folder is created when missing.
std::filesystem::path DataFolder();
// The per-user folder, whether or not DataFolder() chooses it.
std::filesystem::path UserDataFolder();
// True when `folder` may serve as the data folder of a copy installed in it: owned by this
// user, writable by them, not writable by group or others, and without the system-wide marker.
bool IsPrivateProgramFolder(const std::filesystem::path& folder);
// Tests and tools may pin the folder explicitly (program and data folder alike); an empty
// path returns to the default rule.
void SetProgramFolderForTests(const std::filesystem::path& folder);
// Pins the data folder alone, apart from the program folder (which keeps its own rule or the
// pin above); an empty path undoes it.
void SetDataFolderForTests(const std::filesystem::path& folder);

}  // namespace vorn
