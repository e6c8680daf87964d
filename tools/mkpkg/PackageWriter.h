#pragma once
// Writing package files: zip archives with traditional PKWARE-encrypted members, wrapped in
// the ".ssu" or ".cssu" envelope, and configuration backups (".bcf"). Used by the mkpkg tool
// and by the tests.
#include <string>
#include <vector>

namespace vorn {

struct ZipEntry {
    std::string name;    // member name as stored (any text; tests use hostile names too)
    std::string source;  // file to store; when empty, `data` is stored
    std::string data;
};

// Writes a new zip archive at `path` (replaced only when complete). An empty password stores
// the members unencrypted; an empty comment writes none.
bool WriteZip(const std::string& path, const std::vector<ZipEntry>& entries,
              const std::string& password, const std::string& comment, std::string& error);

// Wraps an existing archive body into an envelope: ".ssu" (33-byte MD5 flag) or ".cssu"
// (48-byte header with the combined magic and the MD5 at offset 8).
bool WriteSingleEnvelope(const std::string& body, const std::string& out, std::string& error);
bool WriteCombinedEnvelope(const std::string& body, const std::string& out, std::string& error);

// Every regular file below `folder` as an entry named by its path relative to the folder.
std::vector<ZipEntry> EntriesFromFolder(const std::string& folder, std::string& error);

// Builds the package kind chosen by the extension of `out` (".ssu", ".cssu", ".bcf") from a
// folder. ".ssu"/".cssu" use `password` (default: the current package password); ".bcf"
// always uses the backup password and comment.
bool BuildPackage(const std::string& folder, const std::string& out, const std::string& password,
                  std::string& error);

// Builds a ".cssu" from a plan file: the plan is stored as "upgrade.conf", the files that its
// type 1 and 3 entries name are taken from the plan's folder, and "readme.txt" and
// "package.conf" beside the plan join when present.
bool BuildCombinedFromPlan(const std::string& plan, const std::string& out,
                           const std::string& password, std::string& error);

}  // namespace vorn
