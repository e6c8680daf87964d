#include "app/cli/FleetProcess.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <map>

extern char** environ;

namespace vorn::cli {

namespace fs = std::filesystem;

std::string CWorkerProcess::Start(const std::string& program, const std::vector<std::string>& args,
                                  const std::vector<std::pair<std::string, std::string>>& env,
                                  const fs::path& folder, const fs::path& events,
                                  const fs::path& errors) {
    // The events file is locked before the process starts and the lock passes to it with the
    // descriptor: it is released only when the process has ended.
    const int out = ::open(events.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW,
                           0600);
    if (out < 0)
        return "cannot create '" + events.string() + "': " + std::strerror(errno);
    if (::flock(out, LOCK_EX | LOCK_NB) != 0) {
        const int e = errno;
        ::close(out);
        return "'" + events.string() + "' is in use: " + std::strerror(e);
    }
    const int err = ::open(errors.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW,
                           0600);
    if (err < 0) {
        const int e = errno;
        ::close(out);
        return "cannot create '" + errors.string() + "': " + std::strerror(e);
    }

    std::vector<std::string> envText;
    std::map<std::string, std::string> overrides(env.begin(), env.end());
    for (char** e = environ; e && *e; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        if (!overrides.count(name))
            envText.push_back(entry);
    }
    for (const auto& [name, value] : env) envText.push_back(name + "=" + value);
    std::vector<char*> envp, argv;
    for (std::string& e : envText) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> argText = args;
    argText.insert(argText.begin(), program);
    for (std::string& a : argText) argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attr);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err, STDERR_FILENO);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    // A session of its own: no terminal, no hang-up from it, its own process group. The stop
    // signals act as usual in it, whatever this process does with them.
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaddset(&defaults, s);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK |
                                        POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, program.c_str(), &actions, &attr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    ::close(out);
    ::close(err);
    if (rc != 0)
        return "cannot start " + program + ": " + std::strerror(rc);
    m_pid = pid;
    m_ended = false;
    return {};
}

bool CWorkerProcess::Running() {
    if (m_pid <= 0 || m_ended)
        return false;
    int status = 0;
    pid_t r;
    do {
        r = ::waitpid(m_pid, &status, WNOHANG);
    } while (r < 0 && errno == EINTR);
    if (r == 0)
        return true;
    m_ended = true;
    if (r == m_pid && WIFEXITED(status)) {
        m_exitCode = WEXITSTATUS(status);
    } else if (r == m_pid && WIFSIGNALED(status)) {
        m_exitCode = -1;
        m_signal = WTERMSIG(status);
    }
    return false;
}

bool CWorkerProcess::SendSignal(int sig) {
    if (!Running())
        return false;
    return ::kill(-m_pid, sig) == 0;
}

bool EventsFileInUse(const fs::path& events) {
    const int fd = ::open(events.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return false;
    const bool busy = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return busy;
}

CLineTail::~CLineTail() {
    if (m_fd >= 0)
        ::close(m_fd);
}

std::vector<std::string> CLineTail::ReadLines() {
    std::vector<std::string> lines;
    if (m_fd < 0) {
        m_fd = ::open(m_file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (m_fd < 0)
            return lines;
    }
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(m_fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        m_pending.append(buf, static_cast<std::size_t>(n));
    }
    std::size_t start = 0;
    for (std::size_t nl; (nl = m_pending.find('\n', start)) != std::string::npos; start = nl + 1)
        lines.push_back(m_pending.substr(start, nl - start));
    m_pending.erase(0, start);
    return lines;
}

}  // namespace vorn::cli
