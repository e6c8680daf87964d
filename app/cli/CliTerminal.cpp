#include "app/cli/CliTerminal.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace vorn::cli {

CTtyTerminal::CTtyTerminal() {
    const char* off = std::getenv("VORN_NO_TTY");
    if (off && *off && std::string(off) != "0") {
        return;
    }
    m_fd = ::open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY);
}

CTtyTerminal::~CTtyTerminal() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

std::optional<std::string> CTtyTerminal::ReadLine(const std::string& prompt, bool secret) {
    if (m_fd < 0) {
        return std::nullopt;
    }
    (void)!::write(m_fd, prompt.data(), prompt.size());
    termios saved{};
    const bool restore = secret && ::tcgetattr(m_fd, &saved) == 0;
    if (restore) {
        termios quiet = saved;
        quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
        quiet.c_lflag |= ECHONL;
        ::tcsetattr(m_fd, TCSAFLUSH, &quiet);
    }
    std::string line;
    bool got = false;
    for (;;) {
        char c;
        const ssize_t n = ::read(m_fd, &c, 1);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        got = true;
        if (c == '\n') {
            break;
        }
        if (c != '\r') {
            line += c;
        }
    }
    if (restore) {
        ::tcsetattr(m_fd, TCSAFLUSH, &saved);
    }
    if (!got) {
        return std::nullopt;
    }
    return line;
}

}  // namespace vorn::cli
