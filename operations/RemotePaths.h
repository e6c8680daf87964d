#pragma once
// Where things live on a gateway and in the program folder for one of the two script layouts
// (scripts under "/var/vorncmd/" or "/etc/vorncmd/"), chosen after every login from the
// gateway's version text, plus the small rules every gateway procedure shares.
#include <string>

namespace vorn {

struct RemotePaths {
    // Gateway scripts and files.
    std::string apppre;         // pre-update check script
    std::string appsh;          // update script
    std::string cfgpre;         // configuration pre-restore check
    std::string cfgsh;          // configuration restore script
    std::string prercovcfgsh;   // factory-default pre-check
    std::string rcovcfgsh;      // factory-default restore script
    std::string bakcfgsh;       // configuration backup script
    std::string result;         // result file of the scripts
    std::string resultTime;     // set for completeness; nothing reads it
    std::string historyScript;  // update-history script
    std::string composeScript;  // combined-update script
    // Local working folders (under the program folder).
    std::string tmpFolder = "tmp";
    std::string oldpkgFolder = "oldpkg";
    std::string curpkgFolder = "curpkg";
    std::string unpkgFolder = "unpkg";
    std::string helperFolder;  // helper scripts uploaded when a gateway lacks them
};

// The paths of a layout: flag 0 is the "/var" layout, any other value the "/etc" layout; the
// product-line code picks the helper folder under the "/etc" layout. The main frame keeps
// the set of the gateway it is logged in to (CMainFrame::Paths()).
RemotePaths RemotePathsFor(int flag, int productLine);

// True when "unpkg" holds the application image "app<n>".
bool AppMemberExists(int n);
// Step number shown in a procedure's error message: the step counted from the procedure's
// first step.
inline int ProcedureErrorNumber(int step, int base) {
    return step - base;
}

// A text as one single-quoted shell word: quotes inside become '\'' so that no name can end
// the quoting early.
std::string ShellQuote(const std::string& text);
// "<history script> '<package file name>'" (the name quoted as above).
std::string HistoryScriptCommand(const std::string& script, const std::string& packageName);
// The command line a factory restore sends to append its record to the gateway's history.
std::string FactoryHistoryCommand(const std::string& packageName);

// The command that prints the gateway's update history.
inline constexpr const char* kGatewayHistoryCommand =
    "if [ -L /config/etc ]; then cat /app/updhistory; else cat /updhistory; fi";

}  // namespace vorn
