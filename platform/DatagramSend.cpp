#include "platform/DatagramSend.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/SocketErrors.h"

namespace vorn {
namespace {

bool MakeAddress(const std::string& text, std::uint16_t port, sockaddr_in& sa) {
    std::memset(&sa, 0, sizeof sa);
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    return inet_pton(AF_INET, text.c_str(), &sa.sin_addr) == 1;
}

}  // namespace

DatagramSendResult SendDatagramFrom(const std::string& localAddress, std::uint16_t localPort,
                                    const void* data, std::size_t length,
                                    const std::string& toAddress, std::uint16_t toPort) {
    DatagramSendResult r;
    auto fail = [&r](DatagramStep step, int err) {
        r.failedStep = step;
        r.error = SocketErrorFromErrno(err);
    };
    sockaddr_in local;
    sockaddr_in to;
    if (!MakeAddress(localAddress, localPort, local)) {
        fail(DatagramStep::Bind, EADDRNOTAVAIL);
        return r;
    }
    if (!MakeAddress(toAddress, toPort, to)) {
        fail(DatagramStep::Send, EDESTADDRREQ);
        return r;
    }
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        fail(DatagramStep::Socket, errno);
        return r;
    }
    const int one = 1;
    if (::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &one, sizeof one) != 0) {
        fail(DatagramStep::Broadcast, errno);
    } else if (::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0) {
        fail(DatagramStep::ReuseAddress, errno);
    } else if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        fail(DatagramStep::Bind, errno);
    } else if (::sendto(fd, data, length, MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&to),
                        sizeof to) < 0) {
        fail(DatagramStep::Send, errno);
    } else {
        // Hand on whatever already arrived here rather than let the close drop it.
        char buf[2048];
        for (;;) {
            const ssize_t n = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT | MSG_TRUNC);
            if (n < 0) {
                break;
            }
            // A datagram longer than the buffer keeps its true length (MSG_TRUNC), padded, so
            // a caller that checks sizes still sees it as too long.
            std::string d(buf, static_cast<std::size_t>(std::min<ssize_t>(n, sizeof buf)));
            d.resize(static_cast<std::size_t>(n), '\0');
            r.received.push_back(std::move(d));
        }
    }
    ::close(fd);
    return r;
}

}  // namespace vorn
