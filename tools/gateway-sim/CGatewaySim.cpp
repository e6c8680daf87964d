// The simulator's server: listener, the one client connection, frame cutting and sending.
#include "tools/gateway-sim/CGatewaySim.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "tools/gateway-sim/SimConnection.h"

namespace vorn {
namespace fs = std::filesystem;

CGatewaySim::CGatewaySim(GatewaySimConfig config)
    : m_config(std::move(config)), m_faults(m_config.faults), m_password(m_config.password) {
    AddBuiltinCommands(m_commands);
}

CGatewaySim::~CGatewaySim() { Stop(); }

bool CGatewaySim::Start() {
    std::lock_guard lock(m_mutex);
    if (m_thread.joinable()) {
        m_lastError = "already started";
        return false;
    }
    if (m_config.root.empty()) {
        m_lastError = "no root folder given";
        return false;
    }
    m_fs.SetRoot(m_config.root);
    std::error_code ec;
    if (!fs::is_directory(m_fs.Root(), ec)) {
        m_lastError = "cannot create the root folder " + m_config.root.string();
        return false;
    }
    m_config.root = m_fs.Root();
    // A damaged firmware has no version file; a sound one has the configured text.
    if (m_config.damaged) {
        m_fs.Remove("/app/appversion");
    } else if (!m_fs.WriteFile("/app/appversion", m_config.versionText)) {
        m_lastError = "cannot write /app/appversion under the root folder";
        return false;
    }
    if (!m_config.transcriptPath.empty() && !m_transcript.Open(m_config.transcriptPath)) {
        m_lastError = "cannot open the transcript file " + m_config.transcriptPath.string() +
                      ": " + std::strerror(errno);
        return false;
    }
    if (::pipe2(m_wakePipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        m_lastError = std::string("pipe: ") + std::strerror(errno);
        return false;
    }
    m_port = m_config.port;
    if (!OpenListener(&m_lastError)) {
        ::close(m_wakePipe[0]);
        ::close(m_wakePipe[1]);
        m_wakePipe[0] = m_wakePipe[1] = -1;
        return false;
    }
    m_stop = false;
    m_thread = std::thread([this] { Run(); });
    return true;
}

void CGatewaySim::Stop() {
    if (!m_thread.joinable()) {
        return;
    }
    m_stop = true;
    const char b = 1;
    [[maybe_unused]] const auto n = ::write(m_wakePipe[1], &b, 1);
    m_thread.join();
    CloseListener();
    ::close(m_wakePipe[0]);
    ::close(m_wakePipe[1]);
    m_wakePipe[0] = m_wakePipe[1] = -1;
}

std::string CGatewaySim::LastError() const {
    std::lock_guard lock(m_mutex);
    return m_lastError;
}

bool CGatewaySim::OpenListener(std::string* error) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(m_port.load());
    if (::inet_pton(AF_INET, m_config.listenAddress.c_str(), &addr.sin_addr) != 1) {
        *error = "not an IPv4 address: " + m_config.listenAddress;
        return false;
    }
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        *error = std::string("socket: ") + std::strerror(errno);
        return false;
    }
    // The port is reused after a simulated restart while closed connections linger.
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 8) != 0) {
        *error = "cannot listen on " + m_config.listenAddress + ":" +
                 std::to_string(m_port.load()) + ": " + std::strerror(errno);
        ::close(fd);
        return false;
    }
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    m_port = ntohs(addr.sin_port);
    m_listenFd = fd;
    return true;
}

void CGatewaySim::CloseListener() {
    if (m_listenFd >= 0) {
        ::close(m_listenFd);
        m_listenFd = -1;
    }
}

bool CGatewaySim::WaitOrStop(int ms) {
    pollfd p{m_wakePipe[0], POLLIN, 0};
    ::poll(&p, 1, ms);
    return !m_stop;
}

void CGatewaySim::Run() {
    while (!m_stop) {
        pollfd p[2] = {{m_wakePipe[0], POLLIN, 0}, {m_listenFd, POLLIN, 0}};
        if (::poll(p, 2, -1) < 0 && errno != EINTR) {
            break;
        }
        if (m_stop) {
            break;
        }
        if (!(p[1].revents & POLLIN)) {
            continue;
        }
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) {
            continue;
        }
        const bool reboot = [&] {
            auto c = std::make_unique<Connection>(fd);
            {
                std::lock_guard lock(m_mutex);
                ++m_connections;
                m_clientConnected = true;
            }
            ServeClient(*c);
            return c->reboot;
        }();
        if (!reboot || m_config.rebootRefuseMs <= 0) {
            continue;
        }
        // A restarting gateway has no listener: connects are refused until it is back.
        if (!WaitOrStop(m_config.rebootRefuseMs)) {
            break;
        }
        std::string error;
        while (!OpenListener(&error)) {
            {
                std::lock_guard lock(m_mutex);
                m_lastError = error;
            }
            if (!WaitOrStop(50)) {
                return;
            }
        }
    }
}

void CGatewaySim::ServeClient(Connection& c) {
    while (!m_stop) {
        pollfd p[2] = {{m_wakePipe[0], POLLIN, 0}, {c.fd, POLLIN, 0}};
        if (::poll(p, 2, -1) < 0 && errno != EINTR) {
            break;
        }
        if (m_stop) {
            break;
        }
        if (p[1].revents && !ReadClient(c)) {
            break;
        }
    }
    EndUpload(c, false);
    {
        std::lock_guard lock(m_mutex);
        m_transcript.EndBinaryRun();
        m_clientConnected = false;
    }
    // Stop listening before the client sees the close, so its reconnect is refused.
    if (c.reboot && m_config.rebootRefuseMs > 0) {
        CloseListener();
    }
    ::close(c.fd);
}

// Reads what the socket has and handles every complete frame. False closes the connection.
bool CGatewaySim::ReadClient(Connection& c) {
    std::uint8_t buf[16384];
    const ssize_t n = ::recv(c.fd, buf, c.ring.space(), 0);
    if (n == 0) {
        return false;
    }
    if (n < 0) {
        return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
    }
    c.ring.put(buf, static_cast<std::uint32_t>(n));
    for (;;) {
        LinkRecord rec;
        const char* error = nullptr;
        const CutResult r = CutFrame(c.ring, c.scratch, rec, &error);
        if (r == CutResult::NeedMore) {
            return true;
        }
        if (r == CutResult::Error) {
            return false;  // a malformed frame ends the connection, as on a gateway
        }
        bool keep = false;
        if (rec.type == kRecordText) {
            keep = HandleText(c, reinterpret_cast<const char*>(rec.payload));
        } else if (rec.type == kRecordBinary) {
            keep = HandleBinary(c, rec.payload, rec.length);
        }
        if (!keep || c.reboot) {
            return false;
        }
    }
}

bool CGatewaySim::SendAll(Connection& c, const std::uint8_t* data, std::size_t len) {
    while (len > 0) {
        const ssize_t n = ::send(c.fd, data, len, MSG_NOSIGNAL);
        if (n > 0) {
            data += n;
            len -= static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            return false;
        }
        // The client reads slowly: wait for room, but give up when stopping or stuck.
        pollfd p[2] = {{m_wakePipe[0], POLLIN, 0}, {c.fd, POLLOUT, 0}};
        if (::poll(p, 2, 30000) <= 0 || m_stop) {
            return false;
        }
    }
    return true;
}

bool CGatewaySim::SendText(Connection& c, const std::string& text) {
    std::uint8_t frame[kMaxSendFrame];
    const std::size_t size = BuildTextFrame(text, frame);
    return size > 0 && SendAll(c, frame, size);
}

bool CGatewaySim::SendResult(Connection& c, int result, const std::string* msg) {
    std::string text = "result:" + std::to_string(result) + "\n";
    if (msg) {
        std::string line = *msg;
        for (char& ch : line) {
            if (ch == '\n') {
                ch = ' ';  // a msg is one line
            }
        }
        text += "msg:" + line + "\n";
    }
    return SendText(c, text);
}

// A well-built frame with its outer magic broken: the client must refuse it.
bool CGatewaySim::SendGarbage(Connection& c) {
    std::uint8_t frame[kMaxSendFrame];
    const std::size_t size = BuildTextFrame("result:0\n", frame);
    frame[0] ^= 0x5A;
    frame[1] ^= 0xA5;
    return SendAll(c, frame, size);
}

void CGatewaySim::EndUpload(Connection& c, bool stored) {
    if (!c.uploadFile) {
        return;
    }
    std::fclose(c.uploadFile);
    c.uploadFile = nullptr;
    std::error_code ec;
    if (!stored) {
        fs::remove(c.uploadTemp, ec);  // nothing half-written stays behind
    }
    std::lock_guard lock(m_mutex);
    m_uploads[c.uploadIndex].stored = stored;
}

void CGatewaySim::AddCommand(const std::string& word, SimCommandHandler handler) {
    std::lock_guard lock(m_mutex);
    m_commands.Add(word, std::move(handler));
}

void CGatewaySim::AddCommandMatcher(SimCommandMatcher match, SimCommandHandler handler) {
    std::lock_guard lock(m_mutex);
    m_commands.AddMatcher(std::move(match), std::move(handler));
}

void CGatewaySim::SetFaults(const GatewaySimFaults& faults) {
    std::lock_guard lock(m_mutex);
    m_faults = faults;
}

std::vector<SimTranscriptEntry> CGatewaySim::Transcript() const {
    std::lock_guard lock(m_mutex);
    return m_transcript.Entries();
}

std::vector<std::string> CGatewaySim::ReceivedTexts() const {
    std::lock_guard lock(m_mutex);
    std::vector<std::string> texts;
    for (const auto& e : m_transcript.Entries()) {
        if (!e.binary) {
            texts.push_back(e.text);
        }
    }
    return texts;
}

std::vector<SimUpload> CGatewaySim::Uploads() const {
    std::lock_guard lock(m_mutex);
    return m_uploads;
}

std::string CGatewaySim::Password() const {
    std::lock_guard lock(m_mutex);
    return m_password;
}

int CGatewaySim::ConnectionCount() const {
    std::lock_guard lock(m_mutex);
    return m_connections;
}

int CGatewaySim::RebootCount() const {
    std::lock_guard lock(m_mutex);
    return m_reboots;
}

bool CGatewaySim::ClientConnected() const {
    std::lock_guard lock(m_mutex);
    return m_clientConnected;
}

fs::path CGatewaySim::LocalPath(const std::string& remotePath) const {
    return m_fs.Resolve(remotePath);
}

}  // namespace vorn
