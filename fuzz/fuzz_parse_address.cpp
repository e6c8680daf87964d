// ParseAddress on arbitrary text. An accepted text gives a canonical text that parses to
// itself, a port from 1 to 65535 when one was given, and never the broadcast address.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "app/ParseAddress.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    vorn::ParseDottedAddress(text);
    auto parsed = vorn::ParseAddress(text);
    if (!parsed) {
        return 0;
    }
    if (parsed->ipv4 == 0xFFFFFFFFu || parsed->ConnectPort() < 1 || parsed->ConnectPort() > 65535) {
        std::abort();
    }
    auto again = vorn::ParseAddress(parsed->Text());
    if (!again || again->Text() != parsed->Text() || again->ipv4 != parsed->ipv4) {
        std::abort();
    }
    return 0;
}
