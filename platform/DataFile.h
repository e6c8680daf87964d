#pragma once
// Files and folders the program writes in its data folder are private to the user, and are
// never written through a symbolic link that someone placed there:
// - folders are created owner-only (0700), files owner-only (0600); a stricter umask holds;
// - a file that already exists loses any group or other permission when it is opened;
// - below the data folder no folder on the way to the file and not the file itself may be a
//   symbolic link (the data folder itself may be one: a user can move it elsewhere).
// Files outside the data folder (a backup the user saves somewhere) are created 0600 too but
// are opened as the user named them.
#include <sys/types.h>

#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

namespace vorn {

// True when `path` lies inside the data folder (after making it absolute, without resolving
// links).
bool InDataFolder(const std::filesystem::path& path);

// True when `path` lies in the data folder and a folder below the data folder on its way, or
// the file itself, is a symbolic link.
bool ReachedThroughLink(const std::filesystem::path& path);

// open(2) for writing a program file: mode 0600 on creation, O_NOFOLLOW and the folder check
// inside the data folder (errno ELOOP for a link), O_CLOEXEC always. -1 with errno set.
int OpenDataFile(const std::filesystem::path& path, int flags);

// Replaces the content of `path` with `text` through OpenDataFile. False with errno set.
bool WriteDataFile(const std::filesystem::path& path, std::string_view text);

// Copies `from` to `to` through OpenDataFile (owner-only, no link followed in the data
// folder): replacing `to`, or only when it does not exist yet (`exclusive`, EEXIST).
bool CopyDataFile(const std::filesystem::path& from, const std::filesystem::path& to,
                  std::error_code& ec, bool exclusive = false);

// Creates `dir` owner-only when missing (one level). True when it is a folder afterwards.
bool MakePrivateFolder(const std::filesystem::path& dir);
// The same for every missing folder of the path.
bool MakePrivateFolders(const std::filesystem::path& dir);
// Takes group and other permissions away from a folder or file of this user (never adds any);
// a symbolic link and what it leads to are left as they are.
void KeepFolderPrivate(const std::filesystem::path& path);

// Why a file cannot be written at `path`, found on the nearest existing entry from the file up
// to the root: a symbolic link inside the data folder, an entry owned by someone else, a
// folder this user may not write, or a file where a folder is expected.
struct WriteProblem {
    enum Kind { None, Link, Owner, NotWritable, NotFolder };
    Kind kind = None;
    std::filesystem::path where;
    std::string owner;  // the owner's user name (or number) for Owner
};
WriteProblem FindWriteProblem(const std::filesystem::path& path);

}  // namespace vorn
