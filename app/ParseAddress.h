#pragma once
// Gateway address text: a dotted IPv4 address, optionally followed by ":" and a port.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vorn {

inline constexpr int kGatewayPort = 51111;

struct ParsedAddress {
    std::string
        address;       // canonical dotted quad ("8.0.0.8" for "010.0.0.010": a leading 0 is octal)
    std::string port;  // "" or the port in decimal without leading zeros
    int portNumber = 0;      // 0 when no port was given
    std::uint32_t ipv4 = 0;  // network byte order
    // "address" or "address:port"; the key under which the address is remembered and locked.
    std::string Text() const { return port.empty() ? address : address + ":" + port; }
    // The port to connect to: the given one, or the gateway's port.
    int ConnectPort() const { return portNumber ? portNumber : kGatewayPort; }
};

// The platform's dotted-address rule: one to four parts in decimal, octal ("0" prefix) or
// hexadecimal ("0x"), nothing else in the text; 255.255.255.255 is refused. Gives the
// address in network byte order.
std::optional<std::uint32_t> ParseDottedAddress(std::string_view text);
// ParseDottedAddress and three "." characters, the first not at the start.
bool IsFullDottedAddress(std::string_view text);

// Address text rules of the connection page: with a ":", the port after it, leading zeros
// removed, must print back unchanged as a decimal number from 1 to 65535; the address
// before it must satisfy IsFullDottedAddress. Differently spelled texts of one address and
// port give the same Text(), so a lock cannot be side-stepped by re-spelling the address.
std::optional<ParsedAddress> ParseAddress(std::string_view text);

}  // namespace vorn
