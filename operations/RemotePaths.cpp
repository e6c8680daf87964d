#include "operations/RemotePaths.h"

#include <filesystem>

#include "lib/Text.h"
#include "lib/WorkFolders.h"

namespace vorn {

RemotePaths RemotePathsFor(int flag, int productLine) {
    RemotePaths p;
    const std::string dir = flag == 0 ? "/var/vorncmd/" : "/etc/vorncmd/";
    p.apppre = dir + "apppre";
    p.appsh = dir + "appsh";
    p.cfgpre = dir + "cfgpre";
    p.cfgsh = dir + "cfgsh";
    p.prercovcfgsh = dir + "prercovcfgsh";
    p.rcovcfgsh = dir + "rcovcfgsh";
    p.bakcfgsh = dir + "bakcfgsh";
    p.result = dir + "result";
    p.resultTime = dir + "result_time";
    p.composeScript = dir + "compose.sh";
    if (flag == 0) {
        p.helperFolder = "arm_bin";
        p.historyScript = "/sbin/updhistory.sh";
    } else {
        p.helperFolder = (productLine == 4 || productLine == 5) ? "bin_harddisk" : "bin";
        p.historyScript = "/usr/sbin/updhistory.sh";
    }
    return p;
}

bool AppMemberExists(int n) {
    std::error_code ec;
    return std::filesystem::is_regular_file(WorkPath(StrPrintf("%s%d", "app", n), "unpkg"), ec);
}

std::string ShellQuote(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'') {
            out += "'\\''";
        } else {
            out += c;
        }
    }
    return out + "'";
}

std::string HistoryScriptCommand(const std::string& script, const std::string& packageName) {
    return script + " " + ShellQuote(packageName);
}

std::string FactoryHistoryCommand(const std::string& packageName) {
    // The name sits inside the quoted echo text; ShellQuote's outer quotes join it.
    const std::string quoted = ShellQuote(packageName);
    return std::string(
               "if [ -L /config/etc ]; then UPDHISTORY='/app/updhistory'; else "
               "UPDHISTORY='/updhistory'; fi;") +
           "echo -n 'default conf time: ' >> ${UPDHISTORY};" + "date >> ${UPDHISTORY};" +
           "echo 'package name: " + quoted.substr(1, quoted.size() - 2) + "' >> ${UPDHISTORY};" +
           "echo '' >> ${UPDHISTORY}; echo 'done' ";
}

}  // namespace vorn
