// The update history: the local record of updates made from this workstation, and the
// gateway's own history file.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>

#include "lib/Clock.h"
#include "lib/StringTable.h"
#include "lib/WorkFolders.h"
#include "operations/CMainFrame.h"
#include "operations/RemotePaths.h"
#include "platform/DataFile.h"
#include "platform/SystemError.h"

namespace vorn {
namespace {

std::string LocalHistoryPath() {
    return WorkPath("localhistory", "updhistory").string();
}

}  // namespace

void CMainFrame::RecordLocalHistory() {
    const int fd = OpenDataFile(LocalHistoryPath(), O_WRONLY | O_CREAT | O_APPEND);
    std::FILE* file = fd >= 0 ? ::fdopen(fd, "a") : nullptr;
    if (!file) {
        if (fd >= 0) {
            ::close(fd);
        }
        Console("record local update history failed\n", kBlack);
        return;
    }
    std::tm tm = LocalNow();
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%y.%m.%d %H:%M:%S", &tm);
    // Built by concatenation: the names are data, a "%" in them is written as it is.
    const std::string line = std::string(stamp) + ", updated gateway: " + Address() +
                             ", package: " + m_pkg.m_packageFileName + "\n";
    std::fwrite(line.data(), 1, line.size(), file);
    std::fclose(file);
}

bool CMainFrame::ShowGatewayHistory() {
    if (!Connected) {
        return false;
    }
    return RunConsoleCommand(kGatewayHistoryCommand, false);
}

void CMainFrame::ShowLocalHistory() {
    std::FILE* file = std::fopen(LocalHistoryPath().c_str(), "rb");
    if (!file) {
        Console(6757, kRed);
        return;
    }
    std::string text;
    char buf[16384];
    bool ok = true;
    for (;;) {
        const std::size_t n = std::fread(buf, 1, sizeof buf, file);
        text.append(buf, n);
        if (n < sizeof buf) {
            ok = !std::ferror(file);
            break;
        }
    }
    std::fclose(file);
    if (!ok) {
        return;
    }
    Console(text, kBlue);
    Console("\n", kBlack);
}

void CMainFrame::DeleteLocalHistory() {
    Operator* op = GetOperator();
    if (!op || !op->AskYesNo(LoadStr(6555))) {
        return;
    }
    if (std::remove(LocalHistoryPath().c_str()) == 0) {
        Console(6756, kBlue);
        return;
    }
    const int err = errno;
    if (err == ENOENT) {
        Console(6758, kRed);
        return;
    }
    std::string text = SystemErrorText(err);
    if (text.size() > 256) {
        text.resize(256);
    }
    Console(text, kBlack);
}

}  // namespace vorn
