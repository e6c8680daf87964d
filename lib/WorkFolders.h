#pragma once
// The working folders directly under the program folder ("tmp", "curpkg", "oldpkg", "unpkg",
// "compose_pkg", "compose_unpkg", "autobak", "updhistory", "log", "Download", ...).
#include <filesystem>
#include <string>

namespace vorn {

// Program folder + folder (created when missing, one level) + file; clears the read-only
// attribute of the result when it exists. An empty folder gives program folder + file.
std::filesystem::path WorkPath(const std::string& file, const std::string& folder);
// Deletes every entry of a working folder; failures go to the log only.
void ClearWorkFolder(const std::string& folder);

}  // namespace vorn
