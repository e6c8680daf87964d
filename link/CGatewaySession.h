#pragma once
// The session with one gateway: the TCP link, its send and receive rings, the login, the
// reply dispatch to the procedure that owns the link, file transfer and the automatic
// reconnect. Everything runs on the thread that owns the object (the UI thread); socket
// notifications and timer expiries arrive as messages on its message target.
//
// Procedures plug in by SessionState (CProcedureHandler) and, for reconnects they asked for,
// by ConnectReason (CReconnectHandler). Everything shown to the person goes through Operator.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "lib/CTimer.h"
#include "lib/Operator.h"
#include "link/Discovery.h"
#include "link/LinkFrame.h"
#include "link/SessionField.h"
#include "platform/CMessageTarget.h"
#include "platform/Socket.h"

namespace vorn {

inline constexpr std::uint16_t kLinkPort = 51111;
inline constexpr int kLoginVersionCapableResult = 7629414;
inline constexpr int kUpdaterProtocolVersion = 1568;  // 0x620, sent in the version message
inline constexpr std::uint32_t kSessionRingSize = 16384;
inline constexpr int kFlushWaitMs = 10;
// File bytes an upload frames and sends before it lets other events run.
inline constexpr std::uint64_t kUploadSliceBytes = 256 * 1024;

// SessionState values owned by the session itself.
enum : int {
    kStateIdle = 0,
    kStateSearching = 1,
    kStateLogin = 3,
    kStatePassword = 4,
    kStateSingleUpdate = 5,
};

// Timer ids the session arms (the timer service posts WM_TIMER_EXPIRED with the id).
enum : std::uint32_t { kTimerReconnect = 7, kTimerReconnectTimeout = 8 };
// Posted to itself by an upload that has used its share of the event loop.
inline constexpr unsigned WM_UPLOAD_CONTINUE = 0x610;

// The procedure that owns the link in one SessionState.
class CProcedureHandler {
public:
    virtual ~CProcedureHandler() = default;
    // A result reply; false when the handler does not take it (the session then shows the
    // "Received error response" text).
    virtual bool OnResult(int result, const std::optional<std::string>& msg) = 0;
    // The end of a download ("getover").
    virtual bool OnGetOver() = 0;
    // Writing downloaded bytes to the local file failed (text = the system's error text);
    // the session has shown the text and closed the file and ends the procedure afterwards.
    virtual void OnDownloadWriteFailed(const std::string& /*text*/) {}
    // An upload that PutFile had started did not reach its end: reading the local file
    // failed or the link closed. Called on the procedure that started it (even when the link
    // closed and the state is 0 already); the file is closed and the texts queued behind the
    // upload are dropped. A procedure still in its state afterwards is ended by the session.
    virtual void OnUploadFailed() {}
};

// The continuation of a procedure that asked for an automatic reconnect.
class CReconnectHandler {
public:
    virtual ~CReconnectHandler() = default;
    virtual void Resume() = 0;
    // The reconnect failed; true when handled.
    virtual bool Failed(const std::string& text) = 0;
};

class CGatewaySession {
public:
    explicit CGatewaySession(Operator* op);
    virtual ~CGatewaySession();
    CGatewaySession(const CGatewaySession&) = delete;
    CGatewaySession& operator=(const CGatewaySession&) = delete;

    // --- Procedure bookkeeping (the program's names) ---
    // SessionState, SessionStep and Connected announce their changes to the session listeners.
    CSessionField<int, CGatewaySession> SessionState{this, 0};
    CSessionField<int, CGatewaySession> SessionStep{this, 0};
    CSessionField<bool, CGatewaySession> Connected{this, false};
    int ConnectReason = 0;
    int ProtocolVersion = 0;
    bool VersionCapable = false;

    // --- Session-change notification ---
    // Listeners are called on the session's thread right after SessionState, SessionStep,
    // Connected, the script layout or the pending version reply changed: a front end refreshes what it
    // enables and shows. A listener must not start or end a procedure itself (post that).
    using SessionListener = std::function<void()>;
    int AddSessionListener(SessionListener listener);
    void RemoveSessionListener(int id);
    void NotifySessionChanged();

    void RegisterProcedure(int state, CProcedureHandler* handler);
    void RegisterReconnect(int reason, CReconnectHandler* handler);

    // --- Session ---
    bool ConnectGateway(const std::string& address, const std::string& password,
                        std::uint16_t port = kLinkPort);
    void SendLogin(const std::string& password);
    void SendVersion();
    void ExecuteCommand(const std::string& commandLine);
    // Checks the two entries of a new password: 0 when acceptable, else the number of the
    // refusal text (6785 empty, 6546 different).
    static int CheckNewPassword(const std::string& password, const std::string& confirm);
    void ChangePassword(const std::string& newPassword);
    bool SendText(const std::string& text);
    int FlushSendBuffer();
    int HandleResult(int result, const std::optional<std::string>& msg);
    int HandleGetOver();
    int HandleVersion(int value);
    void CloseSession(int kind, int errorCode);
    // The Disconnect command: state 0, then a close as by the user.
    void Disconnect();
    // Closing the program is refused (with a message) while a procedure runs.
    bool CanClose();
    bool ReportAutoConnectFailure(const std::string& text);
    bool ResumeAfterReconnect();
    void SetWindowTitle(const std::string& text);
    // Asks for a reconnect for a procedure: ConnectReason = reason, timer 7 in 500 ms.
    void ScheduleReconnect(int reason);
    // State and step 0, the transfer file closed.
    void EndProcedure();

    // --- Console search for gateways (link/GatewaySearch.cpp) ---
    // Broadcasts one search request from the UDP socket and lists the replies at timer 1.
    // Only in state 0 (else string 6553); false when refused.
    bool SearchGateways();
    // Addresses found by the running or the last search (network byte order, arrival order).
    const CFoundGateways& FoundGateways() const { return m_found; }
    // Tests on 127.0.0.1 only: where the request goes and how long replies are collected.
    void SetDiscoveryTarget(const DiscoveryTarget& target) { m_discoveryTarget = target; }
    void SetSearchTime(int ms) { m_searchTimeMs = ms; }
    std::uint16_t SearchPort() const { return m_udpSocket ? m_udpSocket->LocalPort() : 0; }

    // --- File transfer ---
    void RequestPut(const std::string& remotePath);
    // Starts the upload of a local file; 0 (after showing the error) when it cannot be opened.
    // The file streams from the event loop as the socket takes data: the call returns at
    // once, and texts sent before the upload ends (SendPutOver) follow its last frame.
    // Replies, timers and other messages for the session wait until the upload has ended;
    // a read error or a closed link ends it through CProcedureHandler::OnUploadFailed.
    int PutFile(const std::filesystem::path& localPath);
    void SendPutOver();
    void RequestGet(const std::string& remotePath);
    int HandleData(const std::uint8_t* bytes, std::size_t count);
    // Opens the local file of a download (create or truncate, readable too). With `show`, the
    // console gets the size line and the progress anchor; msg is the get reply's message (the
    // size). False after showing the file error in red.
    bool BeginDownload(const std::filesystem::path& localPath,
                       const std::optional<std::string>& msg, bool show);
    // Closes the file of a finished download and shows the final progress.
    void EndDownload();
    // Reads the whole transfer file from its start and closes it; false on a read error.
    bool ReadTransferFile(std::string& text);
    bool TransferFileOpen() const { return m_fileFd >= 0; }
    void CloseTransferFile();

    // --- Inspection (front ends, tests) ---
    const std::string& Address() const { return m_address; }
    const std::string& Password() const { return m_password; }
    std::uint16_t Port() const { return m_port; }
    const std::string& DeviceVersion() const { return m_deviceVersion; }
    bool ReconnectAllowed() const { return m_reconnectAllowed; }
    void SetReconnectAllowed(bool allowed) { m_reconnectAllowed = allowed; }
    // An upload started by PutFile is still streaming.
    bool Transferring() const { return m_uploading; }
    Operator* GetOperator() const { return m_operator; }
    CMessageTarget* Target() { return &m_target; }
    // How long a connect may wait to complete before it is reported as "would block".
    void SetConnectWait(int ms) { m_socket->SetConnectWait(ms); }
    // Bytes handed to the socket since the session object was made.
    std::uint64_t BytesSent() const { return m_bytesSent; }
    std::uint64_t BytesReceived() const { return m_bytesReceived; }
    // File bytes of the running (or last) upload, and how many of them were framed so far.
    std::uint64_t UploadSize() const { return m_uploadSize; }
    std::uint64_t UploadSent() const { return m_uploadSent; }
    // The version message went out and its answer has not come yet.
    bool VersionReplyPending() const { return m_versionPending; }
    // Result of the last password change reply (-1 before any).
    int LastPasswordResult() const { return m_lastPasswordResult; }

protected:
    // Hooks for the layers above.
    // The device version after a login; selects the gateway's script layout.
    virtual void OnLoginVersion(const std::string& /*version*/) {}
    // The device chosen by the person when the firmware is damaged.
    virtual void OnDeviceChosen(int /*model*/, int /*series*/) {}
    // The vendor word of a version text in its one spelling.
    virtual std::string NormalizeVersion(const std::string& version) const;
    // A password change succeeded (remembered-login list).
    virtual void OnPasswordChanged(const std::string& /*password*/) {}
    // The session closed (clears repetitions of console commands and the like).
    virtual void OnSessionClosed() {}
    // A combined update is running (for the connection-aborted report).
    virtual bool CombinedUpdateRunning() const { return false; }
    // The link dropped while `state` owned it (before the state is reset): reports the loss
    // to whoever waits for the procedure. The default reports an aborted connection during an
    // update to the update page.
    virtual void OnConnectionLost(int state, int errorCode);
    // Timer ids other than 7 and 8.
    virtual void OnTimer(std::uint32_t /*id*/) {}
    // Messages the session does not handle itself.
    virtual void OnOtherMessage(unsigned /*msg*/, WParam /*w*/, LParam /*l*/) {}

    void Console(const std::string& text, std::uint32_t colour);
    void Console(int stringId, std::uint32_t colour);
    // Replaces the gateway's version text (a combined update reads it again between members).
    void SetDeviceVersion(const std::string& version) { m_deviceVersion = version; }

private:
    void OnMessage(unsigned msg, WParam w, LParam l);
    void OnConnectNotification(int kind);
    void OnReadable(int kind);
    bool CreateSocket();
    bool ProcessReceiveBuffer();
    int HandleFrame(const LinkRecord& record);
    void OnReconnectTimer();
    void OnReconnectTimeout();
    void CancelReconnectTimer();
    // The system text of `err`, and for a file that cannot be written what is in its way.
    void ShowFileError(int err, const std::filesystem::path& path = {});
    // Upload (link/SessionTransfer.cpp).
    void PumpUpload();
    int SendPending();
    void FinishUpload(bool ok);
    void AbortUpload();
    void ReleaseDeferred();
    bool CreateSearchSocket();
    void OnSearchReadable();
    void OnSearchTimer(std::uint32_t serial);

    // Login sequence (state 3).
    bool LoginResult(int result, const std::optional<std::string>& msg);
    bool LoginGetOver();
    void PasswordResult(int result);

    Operator* m_operator;
    CMessageTarget m_target;
    std::unique_ptr<Socket> m_socket;
    std::unique_ptr<Socket> m_udpSocket;  // kind 1, discovery; made by the first search
    CFoundGateways m_found;
    DiscoveryTarget m_discoveryTarget;
    int m_searchTimeMs = kSearchTimeMs;
    TimerHandle m_searchTimer;
    std::uint32_t m_searchSerial = 0;  // value of the search timer armed last
    std::map<int, CProcedureHandler*> m_procedures;
    std::map<int, SessionListener> m_listeners;
    int m_nextListener = 1;
    std::map<int, CReconnectHandler*> m_reconnects;

    std::string m_address;
    std::string m_password;
    std::uint16_t m_port = kLinkPort;
    std::string m_pendingPassword;
    std::string m_deviceVersion;
    bool m_reconnectAllowed = true;
    TimerHandle m_reconnectTimer;
    std::uint32_t m_reconnectSerial = 0;

    std::vector<std::uint8_t> m_sendStorage;
    std::vector<std::uint8_t> m_recvStorage;
    std::vector<std::uint8_t> m_staging;
    circle_buffer m_sendRing;
    circle_buffer m_recvRing;
    std::unique_ptr<FrameScratch> m_scratch;
    std::uint64_t m_bytesSent = 0;
    std::uint64_t m_bytesReceived = 0;
    int m_lastPasswordResult = -1;
    CSessionField<bool, CGatewaySession> m_versionPending{this, false};

    // Transfer file and progress.
    int m_fileFd = -1;
    std::filesystem::path m_localPath;
    std::uint64_t m_expectedSize = 0;
    std::uint64_t m_receivedTotal = 0;
    std::int64_t m_progressMark = -1;

    // The upload started by PutFile, driven by the socket's writable notifications.
    // Messages that would step a procedure wait until it ends; texts sent meanwhile
    // ("putover") follow the file's last frame.
    bool m_uploading = false;
    bool m_uploadEof = false;
    bool m_uploadUpdatePage = false;
    bool m_uploadStarting = false;  // inside PutFile's first slice
    bool m_uploadFailed = false;
    int m_uploadState = 0;
    CProcedureHandler* m_uploadOwner = nullptr;
    std::uint64_t m_uploadSize = 0;
    std::uint64_t m_uploadSent = 0;
    int m_uploadPercent = -1;
    std::vector<std::string> m_afterUpload;
    struct Deferred {
        unsigned msg;
        WParam w;
        LParam l;
    };
    std::vector<Deferred> m_deferred;
};

// Decimal digits with "," every three digits from the right (1234567 -> "1,234,567").
std::string FormatThousands(std::uint64_t value);

}  // namespace vorn
