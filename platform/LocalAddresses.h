#pragma once
// The workstation's own IPv4 addresses that a broadcast can leave from.
//
// Every interface that is up and broadcast-capable contributes its IPv4 addresses, in the
// order the system lists them, each address once. Loopback and point-to-point links have no
// broadcast and are left out. (Resolving the host name, the other common way, finds only the
// loopback address on most Linux hosts, so it is not used.)
#include <string>
#include <vector>

namespace vorn {

// True with the dotted addresses (possibly none); false with errno in *error when the
// interface list cannot be read.
bool LocalIpv4Addresses(std::vector<std::string>& addresses, int* error = nullptr);

}  // namespace vorn
