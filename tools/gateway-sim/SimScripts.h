#pragma once
// Gateway scripts in the simulator. A command whose first word is a file in a script folder
// ("/var/vorncmd/", "/etc/vorncmd/", "/usr/sbin/", "/sbin/") runs that script: uploaded and
// pre-existing scripts alike. A script fails when its text holds a line "#sim: fail TEXT" or
// when the options name it (by path or file name); a failing script writes TEXT to the result
// file and answers result 1 without a message. Succeeding scripts do what their names say:
//   bakcfgsh        packs "/config/cfg" into "/stmp/cfgbk" (and keeps "/config/cfgversion")
//   rcovcfgsh       applies "/stmp/cfgbk" to "/config/cfg"
//   cfgsh           applies the default configuration "/stmp/cfg" to "/config/cfg"
//   appsh           installs "/stmp/app"; a line "#sim: version TEXT" in the image becomes the
//                   firmware version ("/app/appversion") at the next "reboot"
//   updhistory.sh   appends a record for the package named by its argument to the history
//   apppre, cfgpre, prercovcfgsh and any other script: succeed
// The factory-defaults record command line appends its record, and the history display
// command prints the history. The history file is "/app/updhistory" when "/config/etc" is a
// symbolic link, else "/updhistory".
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace vorn {

class CGatewaySim;
class CSimFileSystem;

struct SimScriptOptions {
    // Script path or file name -> text the failing script writes into the result file.
    std::map<std::string, std::string> failing;
};

void AddScriptCommands(CGatewaySim& sim, const SimScriptOptions& options = {});
// Makes "/config/etc" a symbolic link to "/etc" inside the simulator's root.
bool MakeConfigEtcLink(const std::filesystem::path& root);
// The gateway's history file for the current "/config/etc".
std::string SimHistoryFile(const CSimFileSystem& fs);
// Splits a command's arguments into shell words ('...', "..." and backslash quoting).
std::vector<std::string> SplitShellWords(const std::string& text);

}  // namespace vorn
