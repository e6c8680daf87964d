#include "link/CGatewaySession.h"

#include <cctype>
#include <cstring>

#include "lib/Log.h"
#include "lib/StringTable.h"
#include "lib/Text.h"
#include "lib/WorkFolders.h"
#include "platform/SocketErrors.h"

namespace vorn {

CGatewaySession::CGatewaySession(Operator* op)
    : m_operator(op),
      m_sendStorage(kSessionRingSize),
      m_recvStorage(kSessionRingSize),
      m_staging(kSessionRingSize),
      m_scratch(std::make_unique<FrameScratch>()) {
    m_sendRing.attach(m_sendStorage.data(), kSessionRingSize);
    m_recvRing.attach(m_recvStorage.data(), kSessionRingSize);
    m_socket = std::make_unique<Socket>(kSocketTcp, &m_target);
    m_target.setHandler([this](unsigned msg, WParam w, LParam l) { OnMessage(msg, w, l); });
}

CGatewaySession::~CGatewaySession() {
    CancelReconnectTimer();
    CTimer::Instance().DelTimer(m_searchTimer);
    m_target.setHandler({});
    // The procedures above are gone already: an upload still running just stops.
    m_uploading = false;
    m_uploadOwner = nullptr;
    CloseTransferFile();
    m_socket->Close();
}

int CGatewaySession::AddSessionListener(SessionListener listener) {
    const int id = m_nextListener++;
    m_listeners.emplace(id, std::move(listener));
    return id;
}

void CGatewaySession::RemoveSessionListener(int id) {
    m_listeners.erase(id);
}

void CGatewaySession::NotifySessionChanged() {
    // A listener may remove itself (or another) while being called.
    std::vector<int> ids;
    for (const auto& entry : m_listeners) {
        ids.push_back(entry.first);
    }
    for (int id : ids) {
        if (auto it = m_listeners.find(id); it != m_listeners.end()) {
            SessionListener call = it->second;
            call();
        }
    }
}

void CGatewaySession::RegisterProcedure(int state, CProcedureHandler* handler) {
    if (handler) {
        m_procedures[state] = handler;
    } else {
        m_procedures.erase(state);
    }
}

void CGatewaySession::RegisterReconnect(int reason, CReconnectHandler* handler) {
    if (handler) {
        m_reconnects[reason] = handler;
    } else {
        m_reconnects.erase(reason);
    }
}

void CGatewaySession::Console(const std::string& text, std::uint32_t colour) {
    if (m_operator) {
        m_operator->AppendConsole(text, colour);
    }
}

void CGatewaySession::Console(int stringId, std::uint32_t colour) {
    Console(std::string(LoadStr(stringId)), colour);
}

// ---------------------------------------------------------------------------------------------
// Messages

void CGatewaySession::OnMessage(unsigned msg, WParam w, LParam l) {
    const int kind = static_cast<int>(w);
    if (m_uploading) {
        // The upload owns the link: it goes on when the socket takes data again, stops when
        // the link closes; everything else waits until it has ended.
        if (msg == WM_LINK_WRITABLE && kind == kSocketTcp) {
            PumpUpload();
            return;
        }
        if (msg == WM_UPLOAD_CONTINUE) {
            PumpUpload();
            return;
        }
        if (msg == WM_LINK_ERROR && kind == kSocketTcp) {
            AbortUpload();
        } else {
            m_deferred.push_back({msg, w, l});
            return;
        }
    }
    switch (msg) {
        case WM_LINK_CONNECTED:
            OnConnectNotification(kind);
            break;
        case WM_LINK_READABLE:
            if (kind == kSocketTcp) {
                OnReadable(kind);
            } else if (kind == kSocketUdp) {
                OnSearchReadable();
            } else {
                OnOtherMessage(msg, w, l);
            }
            break;
        case WM_LINK_WRITABLE:
            break;
        case WM_LINK_ERROR:
            if (kind != kSocketTcp) {
                OnOtherMessage(msg, w, l);
                break;
            }
            // A close that an earlier notification already handled has nothing left to do.
            if (!m_socket->IsOpen()) {
                break;
            }
            LogWrite(SocketErrorText(static_cast<int>(l)), kLogError);
            CloseSession(kind, static_cast<int>(l));
            break;
        case WM_TIMER_EXPIRED:
            if (w == kTimerReconnect) {
                OnReconnectTimer();
            } else if (w == kTimerReconnectTimeout) {
                // Only the expiry of the timer armed last counts.
                if (static_cast<std::uint32_t>(l) == m_reconnectSerial) {
                    OnReconnectTimeout();
                }
            } else if (w == kTimerSearch) {
                OnSearchTimer(static_cast<std::uint32_t>(l));
            } else {
                OnTimer(static_cast<std::uint32_t>(w));
            }
            break;
        default:
            OnOtherMessage(msg, w, l);
            break;
    }
}

void CGatewaySession::OnConnectNotification(int kind) {
    if (kind != kSocketTcp) {
        LogWrite("receive bad data from other port", kLogError);
        return;
    }
    if (SessionState == kStateLogin && SessionStep == 1) {
        SessionStep = 2;
        SendLogin(m_password);
    }
}

void CGatewaySession::OnReadable(int /*kind*/) {
    const std::uint32_t space = m_recvRing.space();
    if (space == 0) {
        return;
    }
    std::uint8_t buf[kSessionRingSize];
    const int n = m_socket->Receive(buf, static_cast<int>(space));
    if (n <= 0) {
        return;
    }
    LogWrite(StrPrintf("[download : %dB]", n), kLogDebug);
    m_bytesReceived += static_cast<std::uint64_t>(n);
    m_recvRing.put(buf, static_cast<std::uint32_t>(n));
    if (!ProcessReceiveBuffer()) {
        LogWrite("Hand Upd Buf failed!", kLogError);
        Console(6487, kRed);
        CloseSession(kSocketTcp, 0);
    }
}

bool CGatewaySession::ProcessReceiveBuffer() {
    while (m_recvRing.used() >= kFrameHeaderSize) {
        LinkRecord record;
        const char* error = nullptr;
        const CutResult r = CutFrame(m_recvRing, *m_scratch, record, &error);
        if (r == CutResult::NeedMore) {
            return true;
        }
        if (r == CutResult::Error) {
            LogWrite(error ? error : "frame is error!", kLogError);
            return false;
        }
        if (HandleFrame(record) == 0) {
            LogWrite("Handle A Frame Failed", kLogError);
            return false;
        }
        // A handler may have closed the session (and emptied the ring) meanwhile.
        if (!m_socket->IsOpen()) {
            return true;
        }
    }
    return true;
}

int CGatewaySession::HandleFrame(const LinkRecord& record) {
    if (record.type == kRecordBinary) {
        return HandleData(record.payload, record.length);
    }
    if (record.type != kRecordText) {
        return 0;
    }
    const char* text = reinterpret_cast<const char*>(record.payload);
    std::string value;
    if (GetField(text, "result", value)) {
        const int result = std::atoi(value.c_str());
        std::optional<std::string> msg;
        std::string m;
        if (GetField(text, "msg", m)) {
            msg = m;
        }
        return HandleResult(result, msg);
    }
    // "abort" (a refused or interrupted transfer) carries no reply the procedure could go on
    // with; it is logged and then ends like any text the updater does not know, so a waiting
    // procedure is never left hanging.
    if (IsCommand(text, "abort")) {
        LogWrite("abort", kLogDebug);
    }
    if (IsCommand(text, "getover")) {
        LogWrite("getover", kLogDebug);
        return HandleGetOver();
    }
    if (GetField(text, "version", value)) {
        const int v = std::atoi(value.c_str());
        LogWrite(StrPrintf("Updateme version is %x", v), kLogInfo);
        return HandleVersion(v);
    }
    Console(FormatStr(6485, text), kRed);
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Connect and login

bool CGatewaySession::CreateSocket() {
    m_socket->Close();
    // Whatever the old link had learnt no longer holds.
    Connected = false;
    ProtocolVersion = 0;
    VersionCapable = false;
    m_versionPending = false;
    m_sendRing.reset();
    m_recvRing.reset();
    if (!m_socket->CreateTcp()) {
        LogWrite("Create Socket Failed :" + SocketSystemText(m_socket->LastError()), kLogError);
        Console("Can't create socket. Please reset PC\n", kRed);
        return false;
    }
    if (!m_socket->SetTimeouts(2000, 2000)) {
        LogWrite("Set Socket Option failed !" + SocketSystemText(m_socket->LastError()), kLogError);
    }
    return true;
}

bool CGatewaySession::ConnectGateway(const std::string& address, const std::string& password,
                                     std::uint16_t port) {
    if (!CreateSocket()) {
        SessionState = SessionStep = 0;
        CloseTransferFile();
        return false;
    }
    m_address = address;
    m_password = password;
    m_port = port;
    const bool atOnce = m_socket->Connect(address, port);
    if (atOnce || m_socket->LastError() == kSockWouldBlock) {
        SessionState = kStateLogin;
        SessionStep = atOnce ? 2 : 1;
        Console(FormatStr(6500, address.c_str()), kBlack);
        SetWindowTitle("");
        if (atOnce) {
            SendLogin(m_password);
        }
        return true;
    }
    LogWrite("UpdateSocket Failed to Connect , for " + SocketSystemText(m_socket->LastError()),
             kLogError);
    m_socket->Close();
    Console(FormatStr(6501, address.c_str()), kRed);
    SessionState = SessionStep = 0;
    CloseTransferFile();
    return false;
}

void CGatewaySession::SendLogin(const std::string& password) {
    LogWrite("logon " + m_address, kLogInfo);
    SendText(StrPrintf("login\npasswd:%s\nflage:%s\n", password.c_str(), "HandleVersion"));
}

void CGatewaySession::SendVersion() {
    ProtocolVersion = 0;
    m_versionPending = SendText(StrPrintf("version\nvalue:%d\n", kUpdaterProtocolVersion));
}

void CGatewaySession::ExecuteCommand(const std::string& commandLine) {
    SendText(StrPrintf("excute\ncmd:%s\n", commandLine.c_str()));
}

bool CGatewaySession::LoginResult(int result, const std::optional<std::string>& msg) {
    if (SessionStep == 2) {
        if (msg) {
            Console(*msg + "\n", kBlack);
        }
        if (result != 0 && result != kLoginVersionCapableResult) {
            const std::string text = LoadStr(6457);
            Console(text, kRed);
            SessionStep = 0;
            if (!ReportAutoConnectFailure(text) && m_operator) {
                m_operator->NotifyWizard(kWizardLoginRefused, text);
            }
            ConnectReason = 0;
            return true;
        }
        SessionStep = 3;
        VersionCapable = result == kLoginVersionCapableResult;
        RequestGet("/app/appversion");
        return true;
    }
    if (SessionStep == 3) {
        if (result == 1) {
            Console(6458, kRed);
            int model = -1;
            int series = -1;
            if (!m_operator || !m_operator->ChooseDevice(model, series)) {
                const std::string text = LoadStr(6535);
                Console(text, kRed);
                if (m_operator) {
                    m_operator->NotifyWizard(kWizardConnectFailed, text);
                }
                Connected = false;
                SessionState = SessionStep = 0;
                SetWindowTitle("");
                return true;
            }
            OnDeviceChosen(model, series);
            SessionState = SessionStep = 0;
            Connected = true;
            SetWindowTitle("");
            m_reconnectAllowed = true;
            if (m_operator) {
                m_operator->NotifyWizard(kWizardDeviceChosen, "");
            }
            ConnectReason = 0;
            m_deviceVersion.clear();
            return true;
        }
        BeginDownload(WorkPath("version.txt", "tmp"), std::nullopt, false);
        SessionStep = 4;
        return true;
    }
    Console(FormatStr(6459, result), kRed);
    return true;
}

bool CGatewaySession::LoginGetOver() {
    std::string text;
    if (TransferFileOpen()) {
        ReadTransferFile(text);
    }
    const std::size_t nl = text.find('\n');
    std::string version = (nl != std::string::npos && nl > 0) ? text.substr(0, nl) : text;
    version = NormalizeVersion(version);
    m_deviceVersion = version;
    Console(6474, kBlue);
    Console(LoadStr(6475), kBlack);
    Console(version + "\n", kBlack);
    OnLoginVersion(version);
    if (VersionCapable) {
        SendVersion();
    } else {
        Console("Update server version is lower than V300\n", kBlue);
    }
    SessionState = SessionStep = 0;
    Connected = true;
    m_reconnectAllowed = true;
    SetWindowTitle("");
    if (ConnectReason != 0) {
        if (m_operator) {
            m_operator->NotifyWizard(kWizardReconnected, "LOGIN:" + version);
        }
        ResumeAfterReconnect();
    } else if (m_operator) {
        m_operator->NotifyWizard(kWizardConnected, version);
    }
    ConnectReason = 0;
    return true;
}

std::string CGatewaySession::NormalizeVersion(const std::string& version) const {
    return NormalizeVendorName(version);
}

int CGatewaySession::HandleVersion(int value) {
    ProtocolVersion = value;
    m_versionPending = false;
    Console(StrPrintf("Update server version is : %x\n\n", static_cast<unsigned>(value)), kBlue);
    return 1;
}

// ---------------------------------------------------------------------------------------------
// Dispatch

int CGatewaySession::HandleResult(int result, const std::optional<std::string>& msg) {
    if (SessionState == kStateLogin) {
        LoginResult(result, msg);
        return 1;
    }
    if (SessionState == kStatePassword) {
        PasswordResult(result);
        return 1;
    }
    auto it = m_procedures.find(SessionState);
    if (it == m_procedures.end() || !it->second->OnResult(result, msg)) {
        Console(FormatStr(6472, result), kRed);
    }
    return 1;
}

int CGatewaySession::HandleGetOver() {
    if (SessionState == kStateLogin) {
        if (SessionStep == 4) {
            LoginGetOver();
        }
        return 1;
    }
    auto it = m_procedures.find(SessionState);
    if (it != m_procedures.end()) {
        it->second->OnGetOver();
    }
    return 1;
}

void CGatewaySession::EndProcedure() {
    SessionState = SessionStep = 0;
    CloseTransferFile();
}

// ---------------------------------------------------------------------------------------------
// Password

int CGatewaySession::CheckNewPassword(const std::string& password, const std::string& confirm) {
    if (password.empty()) {
        return 6785;
    }
    if (password != confirm) {
        return 6546;
    }
    return 0;
}

void CGatewaySession::ChangePassword(const std::string& newPassword) {
    SessionState = kStatePassword;
    m_pendingPassword = newPassword;
    LogWrite("Modify Password", kLogInfo);
    SendText(StrPrintf("changepwd\nnewpwd:%s\n", newPassword.c_str()));
}

void CGatewaySession::PasswordResult(int result) {
    SessionState = SessionStep = 0;
    CloseTransferFile();
    m_lastPasswordResult = result;
    if (result != 0) {
        Console(6461, kRed);
        return;
    }
    Console(6460, kBlue);
    m_password = m_pendingPassword;
    OnPasswordChanged(m_password);
}

// ---------------------------------------------------------------------------------------------
// Close

void CGatewaySession::CloseSession(int kind, int errorCode) {
    if (kind != kSocketTcp) {
        return;
    }
    std::string message;
    if (SessionState == kStateLogin && (SessionStep == 1 || SessionStep == 2)) {
        message = LoadStr(6454);
        if (!ReportAutoConnectFailure(message) && m_operator) {
            m_operator->NotifyWizard(kWizardConnectFailed, message);
        }
        ConnectReason = 0;
    } else {
        message = LoadStr(6455);
        OnConnectionLost(SessionState, errorCode);
    }
    m_socket->Close();
    Console(message, kRed);
    SessionState = SessionStep = 0;
    CloseTransferFile();
    Connected = false;
    ProtocolVersion = 0;
    VersionCapable = false;
    m_versionPending = false;
    m_sendRing.reset();
    m_recvRing.reset();
    SetWindowTitle("");
    OnSessionClosed();
    if (m_operator) {
        m_operator->NotifyWizard(kWizardDisconnected, "");
    }
    // An upload cut off by the close tells its procedure last.
    AbortUpload();
}

void CGatewaySession::OnConnectionLost(int state, int errorCode) {
    if (errorCode == kSockAborted && (state == kStateSingleUpdate || CombinedUpdateRunning()) &&
        m_operator) {
        m_operator->NotifyUpdatePage(kUpdateError, LoadStr(6766));
        m_operator->NotifyUpdatePage(kUpdateFinal, std::string("FAILED:") + LoadStr(6714));
        Console(std::string(LoadStr(6714)) + "\n", kRed);
    }
}

void CGatewaySession::Disconnect() {
    SessionState = 0;
    CloseSession(kSocketTcp, 0);
}

bool CGatewaySession::CanClose() {
    if (SessionState != 0) {
        if (m_operator) {
            m_operator->ShowMessage(LoadStr(6502));
        }
        return false;
    }
    CancelReconnectTimer();
    m_socket->Close();
    if (m_udpSocket) {
        m_udpSocket->Close();
    }
    return true;
}

void CGatewaySession::SetWindowTitle(const std::string& text) {
    std::string title = LoadStr(6702);
    if (!text.empty()) {
        title += " - " + text;
    } else if (Connected) {
        title += " - " + m_address;
    } else if (SessionState == kStateLogin) {
        title += LoadStr(6639);
    } else {
        title += LoadStr(6640);
    }
    if (m_operator) {
        m_operator->SetWindowTitle(title);
    }
}

// ---------------------------------------------------------------------------------------------
// Automatic reconnect

void CGatewaySession::ScheduleReconnect(int reason) {
    ConnectReason = reason;
    CTimer::Instance().start();
    CTimer::Instance().AddTimer(&m_target, kTimerReconnect, 500);
}

void CGatewaySession::CancelReconnectTimer() {
    if (m_reconnectTimer) {
        CTimer::Instance().DelTimer(m_reconnectTimer);
        m_reconnectTimer = TimerHandle{};
    }
}

void CGatewaySession::OnReconnectTimer() {
    if (m_reconnectAllowed) {
        const std::string address = m_address;
        const std::string password = m_password;
        ConnectGateway(address, password, m_port);
        CancelReconnectTimer();
        CTimer::Instance().start();
        m_reconnectTimer = CTimer::Instance().AddTimer(&m_target, kTimerReconnectTimeout, 5000,
                                                       ++m_reconnectSerial);
        return;
    }
    ReportAutoConnectFailure("");
    ConnectReason = 0;
    SessionState = SessionStep = 0;
    CloseTransferFile();
    LogWrite("there is no need to reconnect", kLogInfo);
}

void CGatewaySession::OnReconnectTimeout() {
    if (!m_reconnectTimer) {
        return;  // cancelled after its expiry was already on its way
    }
    m_reconnectTimer = TimerHandle{};
    const std::string text = LoadStr(6766);
    Console(text, kRed);
    if (!ReportAutoConnectFailure(text)) {
        LogWrite("TimeOut Errors", kLogError);
    }
    SessionState = SessionStep = 0;
    ConnectReason = 0;
}

bool CGatewaySession::ReportAutoConnectFailure(const std::string& text) {
    CancelReconnectTimer();
    if (ConnectReason == 0) {
        return false;
    }
    if (auto it = m_reconnects.find(ConnectReason); it != m_reconnects.end()) {
        return it->second->Failed(text);
    }
    switch (ConnectReason) {
        case 1:
        case 2:
            if (m_operator) {
                m_operator->NotifyUpdatePage(kUpdateFinal, "FAILED:" + text);
            }
            return true;
        case 3:
            Console(6764, kRed);
            return true;
        default:
            return false;
    }
}

bool CGatewaySession::ResumeAfterReconnect() {
    CancelReconnectTimer();
    const int reason = ConnectReason;
    if (reason == 0) {
        return false;
    }
    if (reason == 1 || reason == 2 || reason == 5) {
        ConnectReason = 0;
    }
    if (auto it = m_reconnects.find(reason); it != m_reconnects.end()) {
        it->second->Resume();
        return true;
    }
    return false;
}

}  // namespace vorn
