#include "app/ParseAddress.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <algorithm>
#include <charconv>

namespace vorn {

std::optional<std::uint32_t> ParseDottedAddress(std::string_view text) {
    // inet_aton also accepts anything after a blank; the text must be the address alone.
    if (text.empty() || text.size() > 64 || !std::all_of(text.begin(), text.end(), [](char c) {
            return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') ||
                   c == 'x' || c == 'X' || c == '.';
        })) {
        return std::nullopt;
    }
    std::string copy(text);
    in_addr a{};
    if (::inet_aton(copy.c_str(), &a) == 0 || a.s_addr == INADDR_NONE) {
        return std::nullopt;
    }
    return a.s_addr;
}

bool IsFullDottedAddress(std::string_view text) {
    return std::count(text.begin(), text.end(), '.') == 3 && text.find('.') != 0 &&
           ParseDottedAddress(text).has_value();
}

std::optional<ParsedAddress> ParseAddress(std::string_view text) {
    ParsedAddress out;
    std::string_view addr = text;
    if (std::size_t colon = text.find(':'); colon != std::string_view::npos) {
        addr = text.substr(0, colon);
        std::string_view port = text.substr(colon + 1);
        port.remove_prefix(std::min(port.find_first_not_of('0'), port.size()));
        int n = 0;
        auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), n);
        if (port.empty() || ec != std::errc() || end != port.data() + port.size() ||
            port[0] == '-' || n < 1 || n > 65535) {
            return std::nullopt;
        }
        out.port = std::to_string(n);
        out.portNumber = n;
    }
    if (!IsFullDottedAddress(addr)) {
        return std::nullopt;
    }
    out.ipv4 = *ParseDottedAddress(addr);
    in_addr a{};
    a.s_addr = out.ipv4;
    char buf[INET_ADDRSTRLEN];
    out.address = ::inet_ntop(AF_INET, &a, buf, sizeof buf);
    return out;
}

}  // namespace vorn
