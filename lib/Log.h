#pragma once
// The program log "kelmora.log" in the "log" working folder. One line per call, atomic from
// any thread. Levels: 0 debug (discarded unless the environment sets VORN_LOG_DEBUG), 1 info, 2
// warning, 3 error, 4 error that also becomes the last error text. Lines written before OpenLog()
// are dropped.
#include <chrono>
#include <string>

namespace vorn {

enum LogLevel { kLogDebug = 0, kLogInfo = 1, kLogWarn = 2, kLogError = 3, kLogErrorLast = 4 };

void LogWrite(const std::string& text, int level);
std::string LastErrorText();

// Opens the log at start-up. A file last written on an earlier day (local time, by its
// modification time against the clock of lib/Clock.h) is truncated, one written today is
// appended to; a header line says which. The file is private (0600) and never opened through a
// symbolic link. Returns 0 or the error number of the failed open; `error` then gets
// "Failed to open kelmora log file: <system text>" and, on a second line, what is in the way
// and what to do, or else where the data folder is.
int OpenLog(std::string* error = nullptr);
// Closes the log; later lines are dropped again.
void CloseLog();
bool IsLogOpen();

// Writes "stage NAME: N ms" at debug level when it goes out of scope: where an update spends
// its time, for benchmarks.
class CStageTimer {
public:
    explicit CStageTimer(std::string name);
    ~CStageTimer();
    CStageTimer(const CStageTimer&) = delete;
    CStageTimer& operator=(const CStageTimer&) = delete;

private:
    std::string m_name;
    std::chrono::steady_clock::time_point m_start;
};

}  // namespace vorn
