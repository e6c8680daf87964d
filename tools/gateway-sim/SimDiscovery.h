#pragma once
// The gateway's discovery responder: answers each search request (exactly the 6-byte prefix)
// arriving on a UDP port with the 10-byte reply (prefix + the announced IPv4 address) sent
// back to the requester's address and port. Faults for tests add malformed datagrams, leave
// the proper reply out, repeat it or delay it.
//
// Runs on its own thread; Start/Stop and the observers are thread-safe.
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace vorn {

struct SimDiscoveryConfig {
    std::string bindAddress = "0.0.0.0";  // where requests are received
    std::uint16_t port = 51111;           // 0 = an ephemeral port (tests on 127.0.0.1)
    std::string announce = "127.0.0.1";   // the address put into the reply
    int delayMs = 0;                      // wait this long before answering
    int repeat = 1;                       // proper replies per request
    bool properReply = true;              // false: only the fault datagrams below are sent
    bool extraLongReply = false;          // also an 11-byte reply (the proper one + one byte)
    bool extraOtherPrefix = false;        // also a 10-byte reply with another prefix
    // Called on the responder's thread with "ADDR:PORT" of each search request.
    std::function<void(const std::string&)> onRequest;
};

class CSimDiscovery {
public:
    explicit CSimDiscovery(SimDiscoveryConfig config);
    ~CSimDiscovery();
    CSimDiscovery(const CSimDiscovery&) = delete;
    CSimDiscovery& operator=(const CSimDiscovery&) = delete;

    // Binds (broadcast and address reuse on) and starts the thread; false with LastError().
    bool Start();
    void Stop();
    std::uint16_t Port() const { return m_port.load(); }
    std::string LastError() const;
    // Search requests answered so far, and datagrams ignored (not a request).
    int RequestCount() const { return m_requests.load(); }
    int IgnoredCount() const { return m_ignored.load(); }

private:
    void Run();

    SimDiscoveryConfig m_config;
    std::uint32_t m_announce = 0;  // network byte order
    mutable std::mutex m_mutex;
    std::string m_lastError;
    std::atomic<std::uint16_t> m_port{0};
    std::atomic<int> m_requests{0};
    std::atomic<int> m_ignored{0};
    std::atomic<bool> m_stop{false};
    int m_fd = -1;
    int m_wakePipe[2] = {-1, -1};
    std::thread m_thread;
};

}  // namespace vorn
