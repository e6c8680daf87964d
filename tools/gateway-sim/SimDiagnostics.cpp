#include "tools/gateway-sim/SimDiagnostics.h"

#include <set>
#include <sstream>
#include <vector>

#include "tools/gateway-sim/CGatewaySim.h"

namespace vorn {
namespace {

const char kRouteTable[] =
    "Kernel IP routing table\n"
    "Destination     Gateway         Genmask         Flags Metric Ref    Use Iface\n"
    "0.0.0.0         192.168.1.254   0.0.0.0         UG    0      0        0 eth0\n"
    "192.168.1.0     0.0.0.0         255.255.255.0   U     0      0        0 eth0\n"
    "10.10.0.0       0.0.0.0         255.255.0.0     U     0      0        0 eth1\n";

const char kArpTable[] =
    "IP address       HW type     Flags       HW address            Mask     Device\n"
    "192.168.1.254    0x1         0x2         00:1a:2b:3c:4d:5e     *        eth0\n"
    "10.10.0.7        0x1         0x2         00:1a:2b:3c:4d:60     *        eth1\n";

const char kIfconfig[] =
    "eth0      Link encap:Ethernet  HWaddr 00:1A:2B:00:00:01\n"
    "          inet addr:192.168.1.1  Bcast:192.168.1.255  Mask:255.255.255.0\n"
    "          UP BROADCAST RUNNING MULTICAST  MTU:1500  Metric:1\n"
    "\n"
    "eth1      Link encap:Ethernet  HWaddr 00:1A:2B:00:00:02\n"
    "          inet addr:10.10.0.1  Bcast:10.10.255.255  Mask:255.255.0.0\n"
    "          UP BROADCAST RUNNING MULTICAST  MTU:1500  Metric:1\n"
    "\n"
    "lo        Link encap:Local Loopback\n"
    "          inet addr:127.0.0.1  Mask:255.0.0.0\n"
    "          UP LOOPBACK RUNNING  MTU:16436  Metric:1\n";

const char kMiiTool[] =
    "eth0: negotiated 100baseTx-FD, link ok\n"
    "eth1: negotiated 1000baseTx-FD, link ok\n"
    "eth2: no link\n"
    "eth3: no link\n";

const std::set<std::string>& KnownNics() {
    static const std::set<std::string> kNics = {"eth0", "eth1", "eth2", "eth3"};
    return kNics;
}

std::vector<std::string> Words(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string w; in >> w;) {
        words.push_back(w);
    }
    return words;
}

std::string Unquoted(std::string s) {
    if (s.size() >= 2 && (s.front() == '"' || s.front() == '\'') && s.back() == s.front()) {
        s = s.substr(1, s.size() - 2);
    }
    return s;
}

SimCommandReply Output(int result, std::string text) {
    SimCommandReply r;
    r.result = result;
    r.resultText = std::move(text);
    return r;
}

SimCommandReply Ping(const SimCommandRequest& req, const CSimFileSystem&) {
    // "-c 1 HOST": the host is everything after the count, one pair of quotes removed.
    std::string rest = req.args;
    const std::string countPrefix = "-c 1 ";
    if (rest.rfind(countPrefix, 0) != 0) {
        return Output(1, "ping: usage: ping -c 1 HOST\n");
    }
    rest = rest.substr(countPrefix.size());
    while (!rest.empty() && (rest.back() == ' ' || rest.back() == '\n')) {
        rest.pop_back();
    }
    const std::string host = Unquoted(rest);
    if (SimHostUnknown(host)) {
        return Output(1, "ping: unknown host " + host + "\n");
    }
    return Output(0, "PING " + host + " (" + host + "): 56 data bytes\n" + "64 bytes from " + host +
                         ": seq=0 ttl=64 time=0.412 ms\n\n" + "--- " + host +
                         " ping statistics ---\n" +
                         "1 packets transmitted, 1 packets received, 0% packet loss\n");
}

SimCommandReply Cat(const SimCommandRequest& req, const CSimFileSystem& fs) {
    const std::string path = Unquoted(req.args);
    if (path == "/proc/net/arp") {
        return Output(0, kArpTable);
    }
    std::string content;
    if (!fs.ReadFile(path, content)) {
        return Output(1, "cat: can't open '" + path + "': No such file or directory\n");
    }
    return Output(0, content);
}

SimCommandReply Ethtool(const SimCommandRequest& req, const CSimFileSystem&) {
    const std::vector<std::string> w = Words(req.args);
    if (w.size() != 1 || !KnownNics().count(w[0])) {
        return Output(1, "Cannot get device settings: No such device\n");
    }
    std::string text = "Settings for " + w[0] +
                       ":\n"
                       "\tSupported ports: [ TP MII ]\n"
                       "\tSpeed: 100Mb/s\n"
                       "\tDuplex: Full\n"
                       "\tAuto-negotiation: on\n";
    if (w[0] == "eth1") {
        text += "\tPort description: \xe4\xb8\x8a\xe8\xa1\x8c\xe5\x8f\xa3 (uplink)\n";
    }
    text += "\tLink detected: yes\n";
    return Output(0, text);
}

// "NIC SPEED [; /usr/sbin/change-eth-mtu NIC MTU]" for eth-set.sh and changemode.
SimCommandReply SetNic(const SimCommandRequest& req, const CSimFileSystem&) {
    const std::vector<std::string> w = Words(req.args);
    if (w.size() < 2 || !KnownNics().count(w[0])) {
        return Output(1, req.word + ": bad interface\n");
    }
    std::string text = w[0] + ": mode " + w[1] + "\n";
    if (w.size() >= 5 && w[2] == ";" && w[3] == "/usr/sbin/change-eth-mtu") {
        text += w[4] + ": mtu " + (w.size() >= 6 ? w[5] : "") + "\n";
    }
    return Output(0, text);
}

SimCommandReply SetPppMtu(const SimCommandRequest& req, const CSimFileSystem&) {
    const std::vector<std::string> w = Words(req.args);
    if (w.size() != 2 || w[0].rfind("ppp", 0) != 0) {
        return Output(1, "change-ppp-mtu: bad interface\n");
    }
    return Output(0, w[0] + ": mtu " + w[1] + "\n");
}

SimCommandReply SwapNics(const SimCommandRequest& req, const CSimFileSystem&) {
    const std::vector<std::string> w = Words(req.args);
    if (w.size() != 2 || !KnownNics().count(w[0]) || !KnownNics().count(w[1]) || w[0] == w[1]) {
        SimCommandReply r = Output(1, "swapnic-set.sh: cannot exchange\n");
        r.msg = "cannot exchange";
        return r;
    }
    return Output(0, "exchanged " + w[0] + " and " + w[1] + "\n");
}

SimCommandReply Fixed(const char* text) {
    return Output(0, text);
}

}  // namespace

bool SimHostUnknown(const std::string& host) {
    const std::string suffix = ".invalid";
    return host.rfind("nosuch", 0) == 0 ||
           (host.size() >= suffix.size() &&
            host.compare(host.size() - suffix.size(), suffix.size(), suffix) == 0);
}

void AddDiagnosticCommands(CGatewaySim& sim, const SimDiagnosticsOptions& options) {
    sim.AddCommand("ping", Ping);
    const std::string route = options.routeOutput.empty() ? kRouteTable : options.routeOutput;
    sim.AddCommand("route", [route](const SimCommandRequest& req, const CSimFileSystem&) {
        return req.args == "-n" ? Output(0, route) : Output(1, "route: unknown option\n");
    });
    sim.AddCommand("cat", Cat);
    sim.AddCommand("ifconfig", [](const SimCommandRequest&, const CSimFileSystem&) {
        return Fixed(kIfconfig);
    });
    sim.AddCommand("mii-tool",
                   [](const SimCommandRequest&, const CSimFileSystem&) { return Fixed(kMiiTool); });
    sim.AddCommand("ethtool", Ethtool);
    sim.AddCommand("/usr/sbin/eth-set.sh", SetNic);
    sim.AddCommand("/usr/sbin/changemode", SetNic);
    sim.AddCommand("/usr/sbin/change-ppp-mtu", SetPppMtu);
    sim.AddCommand("swapnic-set.sh", SwapNics);
}

}  // namespace vorn
