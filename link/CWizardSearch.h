#pragma once
// The wizard's search for gateways. The wizard sheet owns one UDP socket (any port, broadcast
// and address reuse on); a search sends the request once from every local IPv4 address,
// each from a short-lived socket bound to that address and the sheet socket's port, so the
// request leaves through every interface and all replies come back to the sheet socket.
// Replies are collected until the sheet's timer 1 (1000 ms) and then handed to the listener
// (the connect page) sorted.
//
// Runs on the thread that owns the object; socket and timer messages arrive on Target().
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "lib/CTimer.h"
#include "lib/Operator.h"
#include "link/Discovery.h"
#include "platform/CMessageTarget.h"
#include "platform/Socket.h"

namespace vorn {

class CWizardSearch {
public:
    class Listener {
    public:
        virtual ~Listener() = default;
        // A reply from an address this search has not seen yet (network byte order).
        virtual void OnGatewayFound(std::uint32_t /*address*/) {}
        // Timer 1: the search is over; every found address, ascending.
        virtual void OnSearchFinished(const std::vector<std::uint32_t>& sorted) = 0;
    };

    explicit CWizardSearch(Operator* op, Listener* listener = nullptr);
    ~CWizardSearch();
    CWizardSearch(const CWizardSearch&) = delete;
    CWizardSearch& operator=(const CWizardSearch&) = delete;

    void SetListener(Listener* listener) { m_listener = listener; }

    // Makes the sheet's socket. A failure is logged and shown (message box); false.
    bool Open();
    bool IsOpen() const { return m_socket->IsOpen(); }
    // Sends the requests and arms timer 1; false (nothing sent) while a search runs.
    bool Start();
    bool Searching() const { return m_searching; }
    const CFoundGateways& Found() const { return m_found; }
    std::uint16_t Port() const { return m_socket->LocalPort(); }
    // Local addresses the last start sent from, and how many of them failed.
    const std::vector<std::string>& SentFrom() const { return m_sentFrom; }
    int FailedSends() const { return m_failedSends; }
    CMessageTarget* Target() { return &m_target; }

    // Tests on 127.0.0.1 only: the request's destination, the local addresses to send from
    // (instead of the interface list) and how long replies are collected.
    void SetTarget(const DiscoveryTarget& target) { m_destination = target; }
    void SetLocalAddresses(std::optional<std::vector<std::string>> addresses) {
        m_localOverride = std::move(addresses);
    }
    void SetSearchTime(int ms) { m_searchTimeMs = ms; }

private:
    void OnMessage(unsigned msg, WParam w, LParam l);
    void OnReadable();
    void OnReply(const void* data, std::size_t length);
    void OnTimer(std::uint32_t id, std::uint32_t serial);
    std::vector<std::string> LocalAddresses();
    bool SendFrom(const std::string& local, std::uint16_t port);

    Operator* m_operator;
    Listener* m_listener;
    CMessageTarget m_target;
    std::unique_ptr<Socket> m_socket;
    TimerHandle m_timer;
    std::uint32_t m_timerSerial = 0;  // value of the timer armed last
    bool m_searching = false;
    CFoundGateways m_found;
    std::vector<std::string> m_sentFrom;
    int m_failedSends = 0;
    DiscoveryTarget m_destination;
    std::optional<std::vector<std::string>> m_localOverride;
    int m_searchTimeMs = kSearchTimeMs;
};

}  // namespace vorn
