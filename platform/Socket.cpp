#include "platform/Socket.h"

#include <QSocketNotifier>
#include <QThread>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/SocketErrors.h"

namespace vorn {
namespace {

bool MakeAddress(const std::string& address, std::uint16_t port, sockaddr_in& sa) {
    std::memset(&sa, 0, sizeof sa);
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    if (address.empty()) {
        sa.sin_addr.s_addr = htonl(INADDR_ANY);
        return true;
    }
    return inet_pton(AF_INET, address.c_str(), &sa.sin_addr) == 1;
}

}  // namespace

Socket::Socket(int kind, CMessageTarget* owner, LParam tag, QObject* parent)
    : QObject(parent), m_kind(kind), m_owner(owner), m_tag(tag) {}

Socket::~Socket() {
    Close();
}

void Socket::SetError(int err) {
    m_lastError = SocketErrorFromErrno(err);
}

bool Socket::Open(int type) {
    Close();
    m_fd = ::socket(AF_INET, type | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_fd < 0) {
        SetError(errno);
        return false;
    }
    m_lastError = 0;
    ++m_generation;
    m_readNotifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &Socket::OnReadable);
    m_writeNotifier = new QSocketNotifier(m_fd, QSocketNotifier::Write, this);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, &Socket::OnWritable);
    return true;
}

bool Socket::CreateTcp() {
    if (!Open(SOCK_STREAM)) {
        return false;
    }
    // Nothing to read before the connection exists.
    m_readNotifier->setEnabled(false);
    return true;
}

bool Socket::CreateUdp(const std::string& address, std::uint16_t port) {
    if (!Open(SOCK_DGRAM)) {
        return false;
    }
    sockaddr_in sa;
    if (!MakeAddress(address, port, sa)) {
        m_lastError = 10049;
        Close();
        return false;
    }
    int one = 1;
    ::setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(m_fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        const int err = errno;
        Close();
        SetError(err);
        return false;
    }
    return true;
}

bool Socket::Connect(const std::string& address, std::uint16_t port) {
    if (m_fd < 0) {
        m_lastError = 10038;
        return false;
    }
    sockaddr_in sa;
    if (!MakeAddress(address, port, sa) || address.empty()) {
        m_lastError = 10049;
        return false;
    }
    if (::connect(m_fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0) {
        m_readNotifier->setEnabled(true);
        return true;
    }
    if (errno != EINPROGRESS) {
        SetError(errno);
        return false;
    }
    if (m_connectWaitMs > 0 && WaitWritable(m_connectWaitMs)) {
        int err = 0;
        socklen_t len = sizeof err;
        ::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &err, &len);
        if (err != 0) {
            SetError(err);
            return false;
        }
        m_readNotifier->setEnabled(true);
        return true;
    }
    m_connecting = true;
    m_writeNotifier->setEnabled(true);
    m_lastError = kSockWouldBlock;
    return false;
}

int Socket::Send(const void* data, int len) {
    if (m_fd < 0) {
        m_lastError = 10038;
        return -1;
    }
    const ssize_t n = ::send(m_fd, data, static_cast<size_t>(len), MSG_NOSIGNAL);
    if (n < 0) {
        SetError(errno);
        if (m_lastError == kSockWouldBlock) {
            // Tell the owner when room comes back.
            m_writeNotifier->setEnabled(true);
        }
        return -1;
    }
    return static_cast<int>(n);
}

int Socket::Receive(void* buf, int len) {
    if (m_fd < 0) {
        m_lastError = 10038;
        return -1;
    }
    const ssize_t n = ::recv(m_fd, buf, static_cast<size_t>(len), 0);
    if (n < 0) {
        SetError(errno);
    }
    // Reading re-arms the readable notification.
    if (!m_connecting) {
        m_readNotifier->setEnabled(true);
    }
    return static_cast<int>(n);
}

int Socket::SendTo(const void* data, int len, const std::string& address, std::uint16_t port) {
    sockaddr_in sa;
    if (m_fd < 0 || !MakeAddress(address, port, sa)) {
        m_lastError = m_fd < 0 ? 10038 : 10049;
        return -1;
    }
    const ssize_t n = ::sendto(m_fd, data, static_cast<size_t>(len), MSG_NOSIGNAL,
                               reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    if (n < 0) {
        SetError(errno);
        return -1;
    }
    return static_cast<int>(n);
}

int Socket::ReceiveFrom(void* buf, int len, std::string& address, std::uint16_t& port) {
    if (m_fd < 0) {
        m_lastError = 10038;
        return -1;
    }
    sockaddr_in sa;
    socklen_t salen = sizeof sa;
    const ssize_t n = ::recvfrom(m_fd, buf, static_cast<size_t>(len), 0,
                                 reinterpret_cast<sockaddr*>(&sa), &salen);
    m_readNotifier->setEnabled(true);
    if (n < 0) {
        SetError(errno);
        return -1;
    }
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &sa.sin_addr, text, sizeof text);
    address = text;
    port = ntohs(sa.sin_port);
    return static_cast<int>(n);
}

bool Socket::SetBroadcast(bool on) {
    int v = on ? 1 : 0;
    if (m_fd < 0 || ::setsockopt(m_fd, SOL_SOCKET, SO_BROADCAST, &v, sizeof v) != 0) {
        SetError(m_fd < 0 ? EBADF : errno);
        return false;
    }
    return true;
}

bool Socket::SetTimeouts(int sendMs, int receiveMs) {
    if (m_fd < 0) {
        m_lastError = 10038;
        return false;
    }
    timeval s{sendMs / 1000, (sendMs % 1000) * 1000};
    timeval r{receiveMs / 1000, (receiveMs % 1000) * 1000};
    if (::setsockopt(m_fd, SOL_SOCKET, SO_SNDTIMEO, &s, sizeof s) != 0 ||
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &r, sizeof r) != 0) {
        SetError(errno);
        return false;
    }
    return true;
}

bool Socket::WaitWritable(int ms) {
    if (m_fd < 0) {
        return false;
    }
    pollfd p{m_fd, POLLOUT, 0};
    return ::poll(&p, 1, ms) > 0 && (p.revents & (POLLOUT | POLLERR | POLLHUP));
}

std::uint16_t Socket::LocalPort() const {
    if (m_fd < 0) {
        return 0;
    }
    sockaddr_in sa;
    socklen_t len = sizeof sa;
    if (::getsockname(m_fd, reinterpret_cast<sockaddr*>(&sa), &len) != 0) {
        return 0;
    }
    return ntohs(sa.sin_port);
}

void Socket::Close() {
    if (m_fd < 0) {
        return;
    }
    delete m_readNotifier;
    delete m_writeNotifier;
    m_readNotifier = m_writeNotifier = nullptr;
    ::close(m_fd);
    m_fd = -1;
    m_connecting = false;
    ++m_generation;  // notifications already queued for this socket are dropped
}

void Socket::Post(unsigned msg, LParam lParam) {
    const std::uint64_t gen = m_generation;
    QMetaObject::invokeMethod(
        this,
        [this, gen, msg, lParam] {
            if (gen == m_generation && m_owner) {
                m_owner->send(msg, static_cast<WParam>(m_kind), lParam);
            }
        },
        Qt::QueuedConnection);
}

void Socket::OnWritable() {
    m_writeNotifier->setEnabled(false);
    if (m_connecting) {
        m_connecting = false;
        int err = 0;
        socklen_t len = sizeof err;
        ::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &err, &len);
        if (err != 0) {
            SetError(err);
            Post(WM_LINK_ERROR, m_tag);
            return;
        }
        m_readNotifier->setEnabled(true);
        Post(WM_LINK_CONNECTED, m_tag);
        return;
    }
    Post(WM_LINK_WRITABLE, m_tag);
}

void Socket::OnReadable() {
    // One notification until the owner reads.
    m_readNotifier->setEnabled(false);
    if (m_kind == kSocketUdp) {
        Post(WM_LINK_READABLE, m_tag);
        return;
    }
    char probe;
    const ssize_t n = ::recv(m_fd, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
    if (n > 0) {
        Post(WM_LINK_READABLE, m_tag);
        return;
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
        m_readNotifier->setEnabled(true);
        return;
    }
    // Closed by the peer: 0 for an orderly close, the error otherwise. Nothing more will come.
    const int code = n == 0 ? 0 : SocketErrorFromErrno(errno);
    if (m_writeNotifier) {
        m_writeNotifier->setEnabled(false);
    }
    m_lastError = code;
    Post(WM_LINK_ERROR, code);
}

}  // namespace vorn
