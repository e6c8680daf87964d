#pragma once
// A worker process of a fleet run. It runs in a session (and so a process group) of its own,
// away from the terminal, with its standard output appended to an events file in its folder
// and its standard error to a second file: no pipe joins it to the fleet command, so it never
// dies because the fleet command went away. The events file stays locked while the process
// lives, which tells a later run whether the worker still works.
#include <sys/types.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace vorn::cli {

class CWorkerProcess {
public:
    CWorkerProcess() = default;
    CWorkerProcess(const CWorkerProcess&) = delete;
    CWorkerProcess& operator=(const CWorkerProcess&) = delete;

    // Starts `program` with `args` (bytes passed unchanged) in `folder`, with the environment of
    // this process plus `env` (NAME, VALUE; replaces a variable of the same name), standard input
    // from /dev/null. Error text, or "".
    std::string Start(const std::string& program, const std::vector<std::string>& args,
                      const std::vector<std::pair<std::string, std::string>>& env,
                      const std::filesystem::path& folder, const std::filesystem::path& events,
                      const std::filesystem::path& errors);
    pid_t Pid() const { return m_pid; }
    // Collects the exit status once the process has ended; true while it runs.
    bool Running();
    // After the end: the exit status, or -1 when a signal ended it (SignalNumber()).
    int ExitCode() const { return m_exitCode; }
    int SignalNumber() const { return m_signal; }
    // Sends `sig` to the process's whole group; false when it has ended.
    bool SendSignal(int sig);

private:
    pid_t m_pid = -1;
    bool m_ended = false;
    int m_exitCode = -1;
    int m_signal = 0;
};

// True while a process started with `events` as its events file still runs (the file's lock
// is held). False for a file that is missing or free.
bool EventsFileInUse(const std::filesystem::path& events);

// Reads the lines appended to a file since the last call; an unfinished last line waits for
// its line feed.
class CLineTail {
public:
    explicit CLineTail(std::filesystem::path file) : m_file(std::move(file)) {}
    ~CLineTail();
    CLineTail(const CLineTail&) = delete;
    CLineTail& operator=(const CLineTail&) = delete;
    std::vector<std::string> ReadLines();
    // The unfinished rest (a last line without its line feed), for the end of the process.
    std::string Rest() const { return m_pending; }

private:
    std::filesystem::path m_file;
    int m_fd = -1;
    std::string m_pending;
};

}  // namespace vorn::cli
