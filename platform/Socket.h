#pragma once
// Asynchronous socket over a non-blocking POSIX socket and QSocketNotifier. Notifications are
// posted to the owner message target, in order, with wParam = SocketKind:
//   WM_LINK_CONNECTED  (0x601) connect finished        lParam = tag
//   WM_LINK_READABLE   (0x602) data waiting            lParam = tag
//   WM_LINK_WRITABLE   (0x603) room after a full send  lParam = tag
//   WM_LINK_ERROR      (0x604) connect failed          lParam = tag
//                              closed by the peer      lParam = close error (0 orderly)
// Error numbers are in the Winsock numbering (platform/SocketErrors.h). Notifications of a
// socket that was closed or re-created meanwhile are dropped, never delivered late.
// A readable notification is not repeated until the owner has read (as the program expects).
#include <QObject>
#include <cstdint>
#include <string>

#include "platform/CMessageTarget.h"

class QSocketNotifier;

namespace vorn {

inline constexpr unsigned WM_LINK_ACCEPT = 0x600;
inline constexpr unsigned WM_LINK_CONNECTED = 0x601;
inline constexpr unsigned WM_LINK_READABLE = 0x602;
inline constexpr unsigned WM_LINK_WRITABLE = 0x603;
inline constexpr unsigned WM_LINK_ERROR = 0x604;

enum SocketKind : int { kSocketUdp = 1, kSocketTcp = 2 };

class Socket : public QObject {
    Q_OBJECT
public:
    Socket(int kind, CMessageTarget* owner, LParam tag = 0, QObject* parent = nullptr);
    ~Socket() override;

    // Creates a TCP (stream) or UDP (datagram) socket; UDP sockets are bound to
    // address:port (empty address = any). False with LastError() set on failure.
    bool CreateTcp();
    bool CreateUdp(const std::string& address, std::uint16_t port);
    bool IsOpen() const { return m_fd >= 0; }
    int Kind() const { return m_kind; }
    int LastError() const { return m_lastError; }

    // Starts a connect. True when connected at once (no notification follows); false with
    // LastError() 10035 when it completes later (WM_LINK_CONNECTED or WM_LINK_ERROR), any
    // other error when it failed. With a connect wait set, a connect still in progress is
    // given that many milliseconds to finish before "would block" is reported.
    bool Connect(const std::string& address, std::uint16_t port);
    void SetConnectWait(int ms) { m_connectWaitMs = ms; }

    // Bytes sent or received; -1 with LastError() on error (10035 would block). Receive
    // returns 0 when the peer closed the connection.
    int Send(const void* data, int len);
    int Receive(void* buf, int len);
    int SendTo(const void* data, int len, const std::string& address, std::uint16_t port);
    int ReceiveFrom(void* buf, int len, std::string& address, std::uint16_t& port);

    bool SetBroadcast(bool on);
    bool SetTimeouts(int sendMs, int receiveMs);
    // Waits up to `ms` for room to send (the flush's short wait while the socket refuses data).
    bool WaitWritable(int ms);
    // Local port after bind or connect (0 when closed).
    std::uint16_t LocalPort() const;

    void Close();

private:
    void OnReadable();
    void OnWritable();
    void Post(unsigned msg, LParam lParam);
    void SetError(int err);
    bool Open(int type);

    int m_kind;
    CMessageTarget* m_owner;
    LParam m_tag;
    int m_fd = -1;
    int m_lastError = 0;
    int m_connectWaitMs = 0;
    bool m_connecting = false;
    std::uint64_t m_generation = 0;
    QSocketNotifier* m_readNotifier = nullptr;
    QSocketNotifier* m_writeNotifier = nullptr;
};

}  // namespace vorn
