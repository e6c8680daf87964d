// Discovery datagrams as any host on the LAN may send them to a search socket, and the dotted
// address text. Input: datagrams, each a length byte and that many bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "link/Discovery.h"

namespace {

void Check(bool ok) {
    if (!ok) {
        __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vorn::CFoundGateways found;
    std::size_t at = 0;
    while (at < size) {
        const std::size_t n = std::min<std::size_t>(data[at], size - at - 1);
        ++at;
        const auto address = vorn::ParseSearchReply(data + at, n);
        // Only exactly ten bytes with the prefix are a reply.
        Check(address.has_value() ==
              (n == vorn::kSearchReplySize && std::equal(vorn::kDiscoveryPrefix.begin(),
                                                         vorn::kDiscoveryPrefix.end(), data + at)));
        if (address) {
            const auto again = vorn::SearchReply(*address);
            Check(std::equal(again.begin(), again.end(), data + at));
            const std::string dotted = vorn::DottedAddress(*address);
            Check(vorn::ParseDottedAddress(dotted) == address);
            const std::size_t before = found.Size();
            Check(found.Add(*address) == (found.Size() == before + 1));
        }
        at += n;
    }
    const auto sorted = found.Sorted();
    Check(sorted.size() == found.Size());
    for (std::size_t i = 1; i < sorted.size(); ++i) {
        Check(__builtin_bswap32(sorted[i - 1]) < __builtin_bswap32(sorted[i]));
    }
    // The same bytes as address text: what parses prints back to the same address.
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (const auto parsed = vorn::ParseDottedAddress(text)) {
        Check(vorn::ParseDottedAddress(vorn::DottedAddress(*parsed)) == parsed);
    }
    return 0;
}
