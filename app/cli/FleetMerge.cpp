#include "app/cli/FleetMerge.h"

#include <fcntl.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "app/cli/CliUpdateCommands.h"
#include "lib/Log.h"
#include "lib/WorkFolders.h"
#include "packages/BackupFile.h"
#include "platform/DataFile.h"

namespace vorn::cli {

namespace fs = std::filesystem;

void MergeHistory(const fs::path& scratch) {
    std::ifstream in(scratch / "updhistory" / "localhistory", std::ios::binary);
    if (!in)
        return;
    const fs::path target = WorkPath("localhistory", "updhistory");
    const int fd = OpenDataFile(target, O_WRONLY | O_APPEND | O_CREAT);
    if (fd < 0) {
        LogWrite("record local update history failed: " + target.string(), kLogError);
        return;
    }
    for (std::string line; std::getline(in, line);) {
        line += "\n";
        if (::write(fd, line.data(), line.size()) != static_cast<ssize_t>(line.size())) {
            LogWrite("record local update history failed: " + target.string(), kLogError);
            break;
        }
    }
    ::close(fd);
}

void MergeAutoBackups(const fs::path& scratch) {
    std::error_code ec;
    bool moved = false;
    for (const auto& e : fs::directory_iterator(scratch / "autobak", ec)) {
        if (e.path().extension() != ".bcf")
            continue;
        fs::path target = WorkPath(e.path().filename().string(), "autobak");
        for (int n = 2; fs::exists(target, ec); ++n) {
            target =
                WorkPath(e.path().stem().string() + "-" + std::to_string(n) + ".bcf", "autobak");
        }
        std::error_code copyError;
        if (!CopyDataFile(e.path(), target, copyError, true)) {
            if (copyError != std::errc::file_exists) {
                fs::remove(target, ec);  // a part copy; a file of that name is someone else's
            }
            LogWrite("keeping the automatic backup " + e.path().string() +
                         " failed: " + copyError.message(),
                     kLogError);
            continue;
        }
        moved = true;
    }
    if (moved)
        PruneAutoBackups(AutoBackupLimit());
}

}  // namespace vorn::cli
