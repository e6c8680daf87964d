#include "lib/Log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <mutex>

#include "lib/Clock.h"
#include "lib/StringTable.h"
#include "lib/Text.h"
#include "lib/WorkFolders.h"
#include "platform/DataFile.h"
#include "platform/ProgramFolder.h"
#include "platform/SystemError.h"

namespace vorn {
namespace {

std::mutex g_mutex;
int g_fd = -1;
std::string g_lastError;

std::string DateText(const std::tm& tm) {
    char buf[16];
    std::strftime(buf, sizeof buf, "%Y-%m-%d", &tm);
    return buf;
}

// One write(2) per line: lines of concurrent writers never interleave, and each line is in
// the kernel (and survives a crash of the program) as soon as the call returns.
void WriteAll(int fd, const std::string& s) {
    const char* p = s.data();
    std::size_t left = s.size();
    while (left > 0) {
        ssize_t w = ::write(fd, p, left);
        if (w < 0 && errno == EINTR) {
            continue;
        }
        if (w <= 0) {
            return;
        }
        p += w;
        left -= static_cast<std::size_t>(w);
    }
}

// Debug lines are for developers: written only when VORN_LOG_DEBUG is set and not "0".
bool DebugLinesWanted() {
    static const bool wanted = [] {
        const char* v = std::getenv("VORN_LOG_DEBUG");
        return v && *v && std::string(v) != "0";
    }();
    return wanted;
}

}  // namespace

int OpenLog(std::string* error) {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_fd >= 0) {
        return 0;
    }
    std::string path = WorkPath("kelmora.log", "log").string();
    std::tm today = LocalNow();
    std::string header;
    // Always appending: if another process truncates the file (a second instance starting on
    // a new day), our lines continue at its end instead of after a hole.
    int flags = O_WRONLY | O_CREAT | O_APPEND;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        header = "The file is inexistent. Create now!";
        flags |= O_TRUNC;
    } else {
        std::tm last{};
        std::time_t mtime = st.st_mtim.tv_sec;
        localtime_r(&mtime, &last);
        std::string lastDate = DateText(last);
        std::string todayDate = DateText(today);
        header = "The lastwrite time is: " + lastDate + "The current time is: " + todayDate;
        if (lastDate == todayDate) {
            header += "(continue write)\n";
        } else {
            header += "(clear file before writing)\n";
            flags |= O_TRUNC;
        }
    }
    int fd = OpenDataFile(path, flags);
    if (fd < 0) {
        int err = errno;
        if (error) {
            // The system's word alone does not say where or what to do: add both.
            *error = StrPrintf("Failed to open kelmora log file: %s", SystemErrorText(err).c_str());
            std::string problem = WriteProblemText(path);
            *error += "\n" + (problem.empty() ? FormatStr(9204, DataFolder().string().c_str())
                                               : problem);
        }
        return err;
    }
    if (header.back() != '\n') {
        header += '\n';
    }
    WriteAll(fd, header);
    g_fd = fd;
    return 0;
}

void CloseLog() {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_fd >= 0) {
        ::close(g_fd);
        g_fd = -1;
    }
}

bool IsLogOpen() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_fd >= 0;
}

void LogWrite(const std::string& text, int level) {
    const char* tag;
    switch (level) {
        case kLogInfo:
            tag = "[INFO]   ";
            break;
        case kLogWarn:
            tag = "[WARN]   ";
            break;
        case kLogError:
        case kLogErrorLast:
            tag = "[ERROR]  ";
            break;
        case kLogDebug:
            if (!DebugLinesWanted()) {
                return;
            }
            tag = "[DEBUG]  ";
            break;
        default:
            return;  // unknown levels are not written
    }
    std::tm tm = LocalNow();
    char stamp[16];
    std::strftime(stamp, sizeof stamp, "%H:%M:%S", &tm);
    std::string line = std::string("[") + stamp + "]:" + tag + text + "\n";
    std::lock_guard<std::mutex> lock(g_mutex);
    if (level == kLogErrorLast) {
        g_lastError = text;
    }
    if (g_fd >= 0) {
        WriteAll(g_fd, line);
    }
}

std::string LastErrorText() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_lastError;
}

CStageTimer::CStageTimer(std::string name)
    : m_name(std::move(name)), m_start(std::chrono::steady_clock::now()) {}

CStageTimer::~CStageTimer() {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - m_start)
                        .count();
    LogWrite("stage " + m_name + ": " + std::to_string(ms) + " ms", kLogDebug);
}

}  // namespace vorn
