#include "link/Discovery.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstring>

namespace vorn {

std::array<std::uint8_t, kSearchRequestSize> SearchRequest() {
    return kDiscoveryPrefix;
}

std::optional<std::uint32_t> ParseSearchReply(const void* data, std::size_t length) {
    if (data == nullptr || length != kSearchReplySize ||
        std::memcmp(data, kDiscoveryPrefix.data(), kDiscoveryPrefix.size()) != 0) {
        return std::nullopt;
    }
    std::uint32_t address;
    std::memcpy(&address, static_cast<const std::uint8_t*>(data) + kDiscoveryPrefix.size(),
                sizeof address);
    return address;
}

std::array<std::uint8_t, kSearchReplySize> SearchReply(std::uint32_t address) {
    std::array<std::uint8_t, kSearchReplySize> reply{};
    std::memcpy(reply.data(), kDiscoveryPrefix.data(), kDiscoveryPrefix.size());
    std::memcpy(reply.data() + kDiscoveryPrefix.size(), &address, sizeof address);
    return reply;
}

std::string DottedAddress(std::uint32_t netOrder) {
    in_addr a;
    a.s_addr = netOrder;
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &a, text, sizeof text);
    return text;
}

std::optional<std::uint32_t> ParseDottedAddress(const std::string& text) {
    in_addr a;
    if (inet_pton(AF_INET, text.c_str(), &a) != 1) {
        return std::nullopt;
    }
    return a.s_addr;
}

bool CFoundGateways::Add(std::uint32_t netOrder) {
    if (std::find(m_addresses.begin(), m_addresses.end(), netOrder) != m_addresses.end()) {
        return false;
    }
    m_addresses.push_back(netOrder);
    return true;
}

std::vector<std::uint32_t> CFoundGateways::Sorted() const {
    std::vector<std::uint32_t> sorted = m_addresses;
    std::sort(sorted.begin(), sorted.end(),
              [](std::uint32_t a, std::uint32_t b) { return ntohl(a) < ntohl(b); });
    return sorted;
}

}  // namespace vorn
