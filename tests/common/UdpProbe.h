#pragma once
// A plain UDP socket on 127.0.0.1 for tests: sends datagrams to a port and receives with a
// time-out. Never used for broadcasts.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vorn::test {

class UdpProbe {
public:
    explicit UdpProbe(const char* bindAddress = "127.0.0.1") {
        m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        inet_pton(AF_INET, bindAddress, &sa.sin_addr);
        ::bind(m_fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    }
    ~UdpProbe() { ::close(m_fd); }
    UdpProbe(const UdpProbe&) = delete;
    UdpProbe& operator=(const UdpProbe&) = delete;

    std::uint16_t Port() const {
        sockaddr_in sa{};
        socklen_t len = sizeof sa;
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&sa), &len);
        return ntohs(sa.sin_port);
    }
    bool SendTo(std::uint16_t port, const std::vector<std::uint8_t>& data,
                const char* address = "127.0.0.1") {
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(port);
        inet_pton(AF_INET, address, &sa.sin_addr);
        return ::sendto(m_fd, data.data(), data.size(), 0, reinterpret_cast<sockaddr*>(&sa),
                        sizeof sa) == static_cast<ssize_t>(data.size());
    }
    // The next datagram within `ms`, or nullopt.
    std::optional<std::vector<std::uint8_t>> Receive(int ms) {
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, ms) <= 0)
            return std::nullopt;
        std::vector<std::uint8_t> buf(65536);
        const ssize_t n = ::recv(m_fd, buf.data(), buf.size(), 0);
        if (n < 0)
            return std::nullopt;
        buf.resize(static_cast<std::size_t>(n));
        return buf;
    }

private:
    int m_fd = -1;
};

// Bytes of a datagram given as the prefix plus a dotted address and optional extra bytes.
inline std::vector<std::uint8_t> ReplyBytes(const char* dotted, std::size_t extra = 0,
                                            std::uint8_t firstByte = 0xAA) {
    std::vector<std::uint8_t> d = {firstByte, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
    in_addr a{};
    inet_pton(AF_INET, dotted, &a);
    const auto* p = reinterpret_cast<const std::uint8_t*>(&a.s_addr);
    d.insert(d.end(), p, p + 4);
    d.resize(d.size() + extra, 0);
    return d;
}

}  // namespace vorn::test
