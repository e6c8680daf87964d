#pragma once
// Discovery datagrams and the list of gateways a search found.
//
// A search request is the 6-byte prefix AA BB CC DD EE FF sent to 255.255.255.255:51111; a
// gateway answers with the prefix followed by its IPv4 address (4 bytes, network byte order).
// Anything else that arrives on a search socket is ignored.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vorn {

inline constexpr std::array<std::uint8_t, 6> kDiscoveryPrefix = {0xAA, 0xBB, 0xCC,
                                                                 0xDD, 0xEE, 0xFF};
inline constexpr std::size_t kSearchRequestSize = 6;  // prefix
inline constexpr std::size_t kSearchReplySize = 10;   // prefix + address
inline constexpr std::uint16_t kDiscoveryPort = 51111;
inline constexpr const char* kDiscoveryBroadcast = "255.255.255.255";
inline constexpr int kSearchTimeMs = 1000;  // replies are collected this long
inline constexpr std::size_t kDiscoveryReadSize = 16384;
inline constexpr int kDiscoveryReadBatch = 64;    // datagrams read per notification
inline constexpr std::uint32_t kTimerSearch = 1;  // timer id of both searches
static_assert(kDiscoveryPrefix.size() == kSearchRequestSize);
static_assert(kSearchReplySize == kDiscoveryPrefix.size() + 4);

// Where search requests go. The program always uses the broadcast address and port 51111;
// tests that stay on 127.0.0.1 point it at a simulator's port instead.
struct DiscoveryTarget {
    std::string address = kDiscoveryBroadcast;
    std::uint16_t port = kDiscoveryPort;
};

// The 6-byte request.
std::array<std::uint8_t, kSearchRequestSize> SearchRequest();
// The gateway address (network byte order) of a search reply: exactly 10 bytes beginning with
// the prefix. nullopt for anything else.
std::optional<std::uint32_t> ParseSearchReply(const void* data, std::size_t length);
// The 10-byte reply announcing `address` (network byte order); used by the simulator.
std::array<std::uint8_t, kSearchReplySize> SearchReply(std::uint32_t address);
// Dotted text of an address in network byte order ("10.0.0.5").
std::string DottedAddress(std::uint32_t netOrder);
// Network-byte-order address of a dotted IPv4 text; nullopt when it is not one.
std::optional<std::uint32_t> ParseDottedAddress(const std::string& text);

// Addresses found by one search, in arrival order, each once.
class CFoundGateways {
public:
    // False when the address was already there.
    bool Add(std::uint32_t netOrder);
    void Clear() { m_addresses.clear(); }
    bool Empty() const { return m_addresses.empty(); }
    std::size_t Size() const { return m_addresses.size(); }
    // Network byte order, arrival order.
    const std::vector<std::uint32_t>& Addresses() const { return m_addresses; }
    // Network byte order, sorted ascending by the numeric (host-order) address, so 10.0.0.5
    // comes before 192.168.1.1.
    std::vector<std::uint32_t> Sorted() const;

private:
    std::vector<std::uint32_t> m_addresses;
};

}  // namespace vorn
