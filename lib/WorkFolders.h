#pragma once
// The working folders directly under the data folder ("tmp", "curpkg", "oldpkg", "unpkg",
// "compose_pkg", "compose_unpkg", "autobak", "updhistory", "log", "Download", ...), and the
// read-only folders of the installation (helper scripts, "openssl").
#include <filesystem>
#include <string>

namespace vorn {

// Data folder + folder (created when missing, one level) + file; clears the read-only
// attribute of the result when it exists. An empty folder gives data folder + file.
std::filesystem::path WorkPath(const std::string& file, const std::string& folder);
// Program folder + folder + file, for the installation's read-only parts; creates nothing.
std::filesystem::path InstallPath(const std::string& file, const std::string& folder);
// The login-error record lives in "tmp" but outlasts every clearing of that folder: a
// package load or a backup must not reset the login lockout of every gateway.
inline constexpr const char* kLoginErrorFolder = "tmp";
inline constexpr const char* kLoginErrorFile = "loginerror";

// Deletes every entry of a working folder (except the login-error record); failures go to
// the log only.
void ClearWorkFolder(const std::string& folder);

// What stands in the way of writing `path` and what to do about it (a link, another owner,
// missing permission, a file in place of a folder), or "" when nothing there explains it.
std::string WriteProblemText(const std::filesystem::path& path);
// The system's text for `err`, followed on a new line by WriteProblemText(path) if any.
std::string FileErrorText(int err, const std::filesystem::path& path);

}  // namespace vorn
