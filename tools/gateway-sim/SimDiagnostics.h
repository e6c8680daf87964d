#pragma once
// Canned answers of the gateway's diagnostic commands (ping, route, ARP, interfaces, NIC
// status and settings, NIC exchange), registered on a simulator through its command table.
#include <string>

namespace vorn {

class CGatewaySim;

// Host names the simulated gateway cannot resolve: any name ending in ".invalid" or
// beginning with "nosuch".
bool SimHostUnknown(const std::string& host);

struct SimDiagnosticsOptions {
    std::string routeOutput;  // output of "route -n" instead of the fixed table (when not empty)
};

// Adds the diagnostic commands:
// - "ping -c 1 HOST" (HOST quoted or not): a one-packet reply, or "ping: unknown host HOST"
//   with result 1;
// - "route -n", "cat /proc/net/arp", "ifconfig", "mii-tool": fixed tables (the route table
//   can be replaced, e.g. by text with terminal control sequences);
// - "cat PATH": the file of the virtual file system;
// - "ethtool ethN" (eth0..eth3 exist; eth1 describes its port in non-ASCII UTF-8);
// - "/usr/sbin/eth-set.sh", "/usr/sbin/changemode", "/usr/sbin/change-ppp-mtu",
//   "swapnic-set.sh": accept known NIC names and report what they changed.
void AddDiagnosticCommands(CGatewaySim& sim, const SimDiagnosticsOptions& options = {});

}  // namespace vorn
