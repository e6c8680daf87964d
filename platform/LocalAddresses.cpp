#include "platform/LocalAddresses.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <algorithm>
#include <cerrno>

namespace vorn {

bool LocalIpv4Addresses(std::vector<std::string>& addresses, int* error) {
    addresses.clear();
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) {
        if (error) {
            *error = errno;
        }
        return false;
    }
    for (const ifaddrs* ifa = list; ifa; ifa = ifa->ifa_next) {
        if (!ifa->ifa_addr || ifa->ifa_addr->sa_family != AF_INET) {
            continue;
        }
        const unsigned flags = ifa->ifa_flags;
        if (!(flags & IFF_UP) || !(flags & IFF_BROADCAST) || (flags & IFF_LOOPBACK)) {
            continue;
        }
        const auto* sin = reinterpret_cast<const sockaddr_in*>(ifa->ifa_addr);
        char text[INET_ADDRSTRLEN] = {};
        if (!inet_ntop(AF_INET, &sin->sin_addr, text, sizeof text)) {
            continue;
        }
        if (std::find(addresses.begin(), addresses.end(), text) == addresses.end()) {
            addresses.emplace_back(text);
        }
    }
    ::freeifaddrs(list);
    if (error) {
        *error = 0;
    }
    return true;
}

}  // namespace vorn
