// The console's search for gateways: one broadcast from the session's UDP socket, replies
// collected in state 1 and listed when timer 1 expires.
#include "lib/Log.h"
#include "lib/StringTable.h"
#include "lib/Text.h"
#include "link/CGatewaySession.h"
#include "platform/SocketErrors.h"

namespace vorn {

bool CGatewaySession::CreateSearchSocket() {
    if (m_udpSocket && m_udpSocket->IsOpen()) {
        return true;
    }
    if (!m_udpSocket) {
        m_udpSocket = std::make_unique<Socket>(kSocketUdp, &m_target);
    }
    if (!m_udpSocket->CreateUdp("", 0)) {
        LogWrite("Create Socket Failed :" + SocketSystemText(m_udpSocket->LastError()), kLogError);
        return false;
    }
    if (!m_udpSocket->SetBroadcast(true)) {
        LogWrite("Set Socket Option failed !" + SocketSystemText(m_udpSocket->LastError()),
                 kLogError);
    }
    return true;
}

bool CGatewaySession::SearchGateways() {
    if (SessionState != kStateIdle) {
        Console(6553, kRed);
        return false;
    }
    Console(6453, kBlack);
    if (CreateSearchSocket()) {
        const auto request = SearchRequest();
        if (m_udpSocket->SendTo(request.data(), static_cast<int>(request.size()),
                                m_discoveryTarget.address, m_discoveryTarget.port) < 0) {
            // Without a route for the broadcast (no default route) the request cannot leave;
            // the search still ends at its timer and reports what arrived (nothing).
            LogWrite(StrPrintf("UDPsocketSendTo failed with error%d ip:%s",
                               m_udpSocket->LastError(), m_discoveryTarget.address.c_str()),
                     kLogError);
        }
    }
    SessionState = kStateSearching;
    m_found.Clear();
    CTimer::Instance().start();
    CTimer::Instance().DelTimer(m_searchTimer);
    // An expiry of an earlier search timer that is already queued must not end this one.
    m_searchTimer =
        CTimer::Instance().AddTimer(&m_target, kTimerSearch, m_searchTimeMs, ++m_searchSerial);
    return true;
}

void CGatewaySession::OnSearchReadable() {
    if (!m_udpSocket || !m_udpSocket->IsOpen()) {
        return;
    }
    // Every waiting datagram is read (so the socket keeps notifying); only replies that arrive
    // while the search runs count.
    std::uint8_t buf[kDiscoveryReadSize];
    // A bounded batch per notification keeps a flood of datagrams from starving the loop; the
    // socket notifies again while more wait.
    for (int i = 0; i < kDiscoveryReadBatch; ++i) {
        std::string from;
        std::uint16_t fromPort = 0;
        const int n = m_udpSocket->ReceiveFrom(buf, sizeof buf, from, fromPort);
        if (n < 0) {
            if (m_udpSocket->LastError() != kSockWouldBlock) {
                LogWrite("Socket Receive failed !" + SocketSystemText(m_udpSocket->LastError()),
                         kLogError);
            }
            return;
        }
        if (SessionState != kStateSearching) {
            continue;
        }
        if (const auto address = ParseSearchReply(buf, static_cast<std::size_t>(n))) {
            m_found.Add(*address);
        }
    }
}

void CGatewaySession::OnSearchTimer(std::uint32_t serial) {
    if (serial != m_searchSerial) {
        return;
    }
    m_searchTimer = {};
    if (SessionState != kStateSearching) {
        return;
    }
    const std::vector<std::uint32_t> sorted = m_found.Sorted();
    if (sorted.empty()) {
        Console(6499, kBlack);
    } else {
        std::string lines;
        int position = 0;
        for (const std::uint32_t address : sorted) {
            const std::string dotted = DottedAddress(address);
            lines += StrPrintf("Gateway(%d) Ip ------- %s\n", ++position, dotted.c_str());
            // Each in turn becomes the gateway address: the last (highest) is preset for the
            // next connect.
            m_address = dotted;
        }
        Console(lines, kBlue);
        Console(FormatStr(6498, static_cast<int>(sorted.size())), kBlack);
    }
    SessionState = kStateIdle;
}

}  // namespace vorn
