#include "tools/gateway-sim/SimDiscovery.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <vector>

#include "link/Discovery.h"

namespace vorn {
namespace {

using Clock = std::chrono::steady_clock;

struct PendingReply {
    Clock::time_point due;
    sockaddr_in to;
};

}  // namespace

CSimDiscovery::CSimDiscovery(SimDiscoveryConfig config) : m_config(std::move(config)) {}

CSimDiscovery::~CSimDiscovery() {
    Stop();
}

std::string CSimDiscovery::LastError() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lastError;
}

bool CSimDiscovery::Start() {
    auto fail = [this](const std::string& text) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lastError = text;
        if (m_fd >= 0) {
            ::close(m_fd);
            m_fd = -1;
        }
        return false;
    };
    const auto announce = ParseDottedAddress(m_config.announce);
    if (!announce) {
        return fail("bad announced address: " + m_config.announce);
    }
    m_announce = *announce;
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(m_config.port);
    if (inet_pton(AF_INET, m_config.bindAddress.c_str(), &sa.sin_addr) != 1) {
        return fail("bad discovery address: " + m_config.bindAddress);
    }
    m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (m_fd < 0) {
        return fail(std::string("socket: ") + std::strerror(errno));
    }
    const int one = 1;
    ::setsockopt(m_fd, SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
    ::setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(m_fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        return fail("bind " + m_config.bindAddress + ":" + std::to_string(m_config.port) + ": " +
                    std::strerror(errno));
    }
    socklen_t len = sizeof sa;
    ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&sa), &len);
    m_port = ntohs(sa.sin_port);
    if (::pipe2(m_wakePipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        return fail(std::string("pipe: ") + std::strerror(errno));
    }
    m_stop = false;
    m_thread = std::thread([this] { Run(); });
    return true;
}

void CSimDiscovery::Stop() {
    if (m_thread.joinable()) {
        m_stop = true;
        const char c = 0;
        [[maybe_unused]] const ssize_t n = ::write(m_wakePipe[1], &c, 1);
        m_thread.join();
    }
    for (int& fd : {std::ref(m_fd), std::ref(m_wakePipe[0]), std::ref(m_wakePipe[1])}) {
        if (fd >= 0) {
            ::close(fd);
            fd = -1;
        }
    }
}

void CSimDiscovery::Run() {
    const auto reply = SearchReply(m_announce);
    std::vector<std::uint8_t> longReply(reply.begin(), reply.end());
    longReply.push_back(0);
    auto otherPrefix = reply;
    otherPrefix[0] = 0xAB;

    auto answer = [&](const sockaddr_in& to) {
        auto send = [&](const void* data, std::size_t len) {
            ::sendto(m_fd, data, len, MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&to),
                     sizeof to);
        };
        if (m_config.extraOtherPrefix) {
            send(otherPrefix.data(), otherPrefix.size());
        }
        if (m_config.extraLongReply) {
            send(longReply.data(), longReply.size());
        }
        for (int i = 0; m_config.properReply && i < m_config.repeat; ++i) {
            send(reply.data(), reply.size());
        }
    };

    std::deque<PendingReply> pending;
    while (!m_stop) {
        int timeout = -1;
        if (!pending.empty()) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                pending.front().due - Clock::now());
            timeout = static_cast<int>(std::max<long long>(0, left.count()));
        }
        pollfd p[2] = {{m_wakePipe[0], POLLIN, 0}, {m_fd, POLLIN, 0}};
        if (::poll(p, 2, timeout) < 0 && errno != EINTR) {
            break;
        }
        if (m_stop) {
            break;
        }
        while (!pending.empty() && pending.front().due <= Clock::now()) {
            answer(pending.front().to);
            pending.pop_front();
        }
        if (!(p[1].revents & POLLIN)) {
            continue;
        }
        std::uint8_t buf[2048];
        sockaddr_in from{};
        socklen_t fromLen = sizeof from;
        const ssize_t n = ::recvfrom(m_fd, buf, sizeof buf, MSG_TRUNC,
                                     reinterpret_cast<sockaddr*>(&from), &fromLen);
        if (n < 0) {
            continue;
        }
        if (static_cast<std::size_t>(n) != kSearchRequestSize ||
            std::memcmp(buf, kDiscoveryPrefix.data(), kDiscoveryPrefix.size()) != 0) {
            ++m_ignored;
            continue;
        }
        ++m_requests;
        if (m_config.onRequest) {
            char text[INET_ADDRSTRLEN] = {};
            inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
            m_config.onRequest(std::string(text) + ":" + std::to_string(ntohs(from.sin_port)));
        }
        if (m_config.delayMs > 0) {
            pending.push_back({Clock::now() + std::chrono::milliseconds(m_config.delayMs), from});
        } else {
            answer(from);
        }
    }
}

}  // namespace vorn
