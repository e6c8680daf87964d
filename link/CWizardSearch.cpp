#include "link/CWizardSearch.h"

#include "lib/Log.h"
#include "lib/Text.h"
#include "platform/DatagramSend.h"
#include "platform/LocalAddresses.h"
#include "platform/SocketErrors.h"
#include "platform/SystemError.h"

namespace vorn {

CWizardSearch::CWizardSearch(Operator* op, Listener* listener)
    : m_operator(op), m_listener(listener) {
    m_socket = std::make_unique<Socket>(kSocketUdp, &m_target);
    m_target.setHandler([this](unsigned msg, WParam w, LParam l) { OnMessage(msg, w, l); });
}

CWizardSearch::~CWizardSearch() {
    CTimer::Instance().DelTimer(m_timer);
    m_target.setHandler({});
    m_socket->Close();
}

bool CWizardSearch::Open() {
    if (m_socket->IsOpen()) {
        return true;
    }
    if (!m_socket->CreateUdp("", 0)) {
        const int err = m_socket->LastError();
        LogWrite("Create Socket failed !" + SocketSystemText(err), kLogError);
        if (m_operator) {
            m_operator->ShowMessage(StrPrintf("Create Socket FAIL ! Err = %d\n", err));
        }
        return false;
    }
    if (!m_socket->SetBroadcast(true)) {
        LogWrite("Set Socket Option failed !" + SocketSystemText(m_socket->LastError()), kLogError);
    }
    return true;
}

std::vector<std::string> CWizardSearch::LocalAddresses() {
    if (m_localOverride) {
        return *m_localOverride;
    }
    std::vector<std::string> addresses;
    int err = 0;
    if (!LocalIpv4Addresses(addresses, &err)) {
        LogWrite("getifaddrs Error: " + SystemErrorText(err), kLogError);
    }
    return addresses;
}

bool CWizardSearch::SendFrom(const std::string& local, std::uint16_t port) {
    if (local.empty()) {
        LogWrite("InitUDPSocket Param is error", kLogError);
        return false;
    }
    const auto request = SearchRequest();
    const DatagramSendResult r = SendDatagramFrom(local, port, request.data(), request.size(),
                                                  m_destination.address, m_destination.port);
    for (const std::string& d : r.received) {
        OnReply(d.data(), d.size());
    }
    const unsigned err = static_cast<unsigned>(r.error);
    switch (r.failedStep) {
        case DatagramStep::Done:
            return true;
        case DatagramStep::Socket:
            LogWrite(StrPrintf("socket function failed with error: %u\n", err), kLogError);
            break;
        case DatagramStep::Broadcast:
            LogWrite(StrPrintf("setsockopt for SO_KEEPALIVE failed with error: %u\n", err),
                     kLogError);
            break;
        case DatagramStep::ReuseAddress:
            LogWrite(StrPrintf("setsockopt for SO_REUSEADDR failed with error: %u\n", err),
                     kLogError);
            break;
        case DatagramStep::Bind:
            LogWrite(StrPrintf("bind failed with error%u ip:%s\n", err, local.c_str()), kLogError);
            break;
        case DatagramStep::Send:
            LogWrite(StrPrintf("UDPsocketSendTo failed with error%u ip:%s\n", err, local.c_str()),
                     kLogError);
            LogWrite("UDPsocketSendTo error", kLogError);
            return false;
    }
    LogWrite("InitUDPsocket error", kLogError);
    return false;
}

bool CWizardSearch::Start() {
    if (m_searching) {
        return false;
    }
    if (!m_socket->IsOpen()) {
        Open();
    }
    const std::uint16_t port = m_socket->LocalPort();
    if (port == 0) {
        LogWrite("Get socket info failed !" + SocketSystemText(m_socket->IsOpen() ? 10022 : 10038),
                 kLogError);
    }
    m_found.Clear();
    m_sentFrom = LocalAddresses();
    if (m_sentFrom.empty()) {
        LogWrite("GetIpAddressList  Error", kLogError);
    }
    m_failedSends = 0;
    // Flag first: replies drained from a sending socket count for this search.
    m_searching = true;
    for (const std::string& local : m_sentFrom) {
        if (!SendFrom(local, port)) {
            ++m_failedSends;
        }
    }
    if (m_failedSends > 0) {
        LogWrite("UDPMltiSocketSendTo Error", kLogError);
    }
    CTimer::Instance().start();
    CTimer::Instance().DelTimer(m_timer);
    m_timer = CTimer::Instance().AddTimer(&m_target, kTimerSearch, m_searchTimeMs, ++m_timerSerial);
    return true;
}

void CWizardSearch::OnMessage(unsigned msg, WParam w, LParam l) {
    if (msg == WM_LINK_READABLE && w == kSocketUdp) {
        OnReadable();
    } else if (msg == WM_TIMER_EXPIRED) {
        OnTimer(static_cast<std::uint32_t>(w), static_cast<std::uint32_t>(l));
    }
}

void CWizardSearch::OnReadable() {
    std::uint8_t buf[kDiscoveryReadSize];
    for (int i = 0; i < kDiscoveryReadBatch; ++i) {
        std::string from;
        std::uint16_t fromPort = 0;
        const int n = m_socket->ReceiveFrom(buf, sizeof buf, from, fromPort);
        if (n < 0) {
            if (m_socket->LastError() != kSockWouldBlock) {
                LogWrite("Socket Receive failed !" + SocketSystemText(m_socket->LastError()),
                         kLogError);
            }
            return;
        }
        OnReply(buf, static_cast<std::size_t>(n));
    }
}

void CWizardSearch::OnReply(const void* data, std::size_t length) {
    if (!m_searching) {
        return;
    }
    const auto address = ParseSearchReply(data, length);
    if (address && m_found.Add(*address) && m_listener) {
        m_listener->OnGatewayFound(*address);
    }
}

void CWizardSearch::OnTimer(std::uint32_t id, std::uint32_t serial) {
    if (id != kTimerSearch) {
        LogWrite("OnTimeOut ID Error", kLogError);
        return;
    }
    // A stale expiry queued before the timer was armed again.
    if (serial != m_timerSerial) {
        return;
    }
    m_timer = {};
    m_searching = false;
    if (m_listener) {
        m_listener->OnSearchFinished(m_found.Sorted());
    }
}

}  // namespace vorn
