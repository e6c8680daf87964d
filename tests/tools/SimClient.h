#pragma once
// A minimal link client for tests: the project's frame codec over a blocking POSIX socket to
// 127.0.0.1. It reads and writes whole messages; it knows nothing of the session logic.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "link/LinkFrame.h"
#include "link/circle_buffer.h"

namespace vorn::test {

struct SimMessage {
    enum Kind { Text, Binary, Closed, Timeout, Garbage } kind = Timeout;
    std::string text;                // Text
    std::vector<std::uint8_t> data;  // Binary
};

class SimClient {
public:
    SimClient() = default;
    ~SimClient() { Close(); }
    SimClient(const SimClient&) = delete;
    SimClient& operator=(const SimClient&) = delete;

    // True when the connection was made; false when it was refused.
    bool Connect(std::uint16_t port) {
        Close();
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(port);
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
            Close();
            return false;
        }
        m_ring.reset();
        return true;
    }
    void Close() {
        if (m_fd >= 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    bool SendRaw(const void* data, std::size_t len) {
        return ::send(m_fd, data, len, MSG_NOSIGNAL) == static_cast<ssize_t>(len);
    }
    bool SendText(const std::string& text) {
        std::uint8_t frame[kMaxSendFrame];
        const std::size_t n = BuildTextFrame(text, frame);
        return n > 0 && SendRaw(frame, n);
    }
    // Sends data as binary frames of up to 1024 bytes.
    bool SendData(const std::string& data) {
        std::uint8_t frame[kMaxSendFrame];
        for (std::size_t off = 0; off < data.size(); off += kMaxPayload) {
            const std::size_t len = std::min(kMaxPayload, data.size() - off);
            if (!SendRaw(frame, BuildBinaryFrame(data.data() + off, len, frame))) {
                return false;
            }
        }
        return true;
    }

    SimMessage Read(int timeoutMs = 5000) {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        SimMessage m;
        for (;;) {
            LinkRecord rec;
            const char* error = nullptr;
            const CutResult r = CutFrame(m_ring, m_scratch, rec, &error);
            if (r == CutResult::Error) {
                m.kind = SimMessage::Garbage;
                return m;
            }
            if (r == CutResult::Frame) {
                if (rec.type == kRecordText) {
                    m.kind = SimMessage::Text;
                    m.text = reinterpret_cast<const char*>(rec.payload);
                } else {
                    m.kind = SimMessage::Binary;
                    m.data.assign(rec.payload, rec.payload + rec.length);
                }
                return m;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd p{m_fd, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) {
                m.kind = SimMessage::Timeout;
                return m;
            }
            std::uint8_t buf[16384];
            const ssize_t n = ::recv(m_fd, buf, m_ring.space(), 0);
            if (n <= 0) {
                m.kind = SimMessage::Closed;
                return m;
            }
            m_ring.put(buf, static_cast<std::uint32_t>(n));
        }
    }
    // Reads the next message and returns its text ("" for anything but a text).
    std::string ReadText(int timeoutMs = 5000) {
        const SimMessage m = Read(timeoutMs);
        return m.kind == SimMessage::Text ? m.text : std::string();
    }
    // Sends a text and returns the text reply.
    std::string Ask(const std::string& text) { return SendText(text) ? ReadText() : ""; }
    bool Login(const std::string& password) {
        const std::string r = Ask("login\npasswd:" + password + "\nflage:HandleVersion\n");
        return r.rfind("result:7629414\n", 0) == 0 || r.rfind("result:0\n", 0) == 0;
    }

private:
    int m_fd = -1;
    std::uint8_t m_storage[16384];
    circle_buffer m_ring{m_storage, sizeof m_storage};
    FrameScratch m_scratch;
};

}  // namespace vorn::test
