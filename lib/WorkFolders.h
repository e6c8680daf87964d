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
// Deletes every entry of a working folder; failures go to the log only.
void ClearWorkFolder(const std::string& folder);

}  // namespace vorn
