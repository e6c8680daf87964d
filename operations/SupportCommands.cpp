// The diagnostic commands of the technical support console: ping, route and ARP tables,
// interfaces, NIC status and settings, and the exchange of two NICs.
#include <algorithm>

#include "lib/Log.h"
#include "lib/StringTable.h"
#include "lib/Text.h"
#include "operations/SupportProcedures.h"

namespace vorn {
namespace {

constexpr int kStepExchangeReply = 51;
constexpr int kStepExchangeDone = 52;

std::vector<std::string> Numbered(const char* prefix, int last) {
    std::vector<std::string> v;
    for (int i = 0; i <= last; ++i) v.push_back(prefix + std::to_string(i));
    return v;
}

bool IsListed(const std::vector<std::string>& list, const std::string& value) {
    return std::find(list.begin(), list.end(), value) != list.end();
}

bool IsEthNic(const std::string& nic) {
    return IsNicName(nic, "eth");
}

}  // namespace

bool IsNicName(const std::string& nic, const std::string& prefix) {
    return nic.rfind(prefix, 0) == 0 && IsListed(NicNames(), nic);
}

bool IsNicSpeed(const std::string& speed) {
    return IsListed(NicSpeeds(), speed);
}

bool IsValidMtu(int mtu) {
    return mtu >= kMtuMin && mtu <= kMtuMax;
}

int CheckNicSettings(const NicSettings& s) {
    if (!IsNicName(s.nic)) {
        return 6533;
    }
    if (s.nic[0] == 'e' && !IsNicSpeed(s.speed)) {
        return 6534;
    }
    if (s.mtu && !IsValidMtu(*s.mtu)) {
        return 6547;
    }
    return 0;
}

const std::vector<std::string>& NicNames() {
    static const std::vector<std::string> kNames = [] {
        std::vector<std::string> v = Numbered("eth", 20);
        const std::vector<std::string> ppp = Numbered("ppp", 5);
        v.insert(v.end(), ppp.begin(), ppp.end());
        return v;
    }();
    return kNames;
}

const std::vector<std::string>& NicSpeeds() {
    static const std::vector<std::string> kSpeeds = {
        "Auto-negotiation", "1000baseTx-FD", "1000baseTx-HD", "100baseTx-FD",
        "100baseTx-HD",     "10baseT-FD",    "10baseT-HD"};
    return kSpeeds;
}

std::optional<std::string> QuotedPingTarget(const std::string& target) {
    // Inside double quotes the shell still expands "$", "`" and "\"; with those, the quotes
    // themselves and control characters gone, the target is one literal word.
    std::string word;
    for (const char ch : target) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7f || ch == '\'' || ch == '"' || ch == '`' || ch == '$' ||
            ch == '\\') {
            continue;
        }
        word += ch;
    }
    const std::size_t b = word.find_first_not_of(' ');
    if (b == std::string::npos) {
        return std::nullopt;
    }
    word = word.substr(b, word.find_last_not_of(' ') - b + 1);
    if (word[0] == '-') {
        return std::nullopt;
    }
    return "\"" + word + "\"";
}

bool CMainFrame::PingGateway(const std::string& target) {
    if (ConsoleUnavailable()) {
        return false;
    }
    if (target.find_first_not_of(" \t\r\n") == std::string::npos) {
        Console(6783, kRed);
        return false;
    }
    const std::optional<std::string> quoted = QuotedPingTarget(target);
    if (!quoted) {
        Console("Ping target must be a host name or an address.\n", kRed);
        return false;
    }
    m_pingTarget = *quoted;
    Console(6784, kBlack);
    m_pingRunsLeft = 3;
    LogWrite("Ping command on device", kLogInfo);
    return RunConsoleCommand(StrPrintf("ping -c 1 %s\n", m_pingTarget.c_str()), false);
}

bool CMainFrame::ShowRouteTable() {
    LogWrite("Get Route Table", kLogInfo);
    return RunConsoleCommand("route -n\n", false);
}

bool CMainFrame::ShowArpTable() {
    LogWrite("Get ARP table", kLogInfo);
    return RunConsoleCommand("cat /proc/net/arp\n", false);
}

bool CMainFrame::ShowNetworkSettings() {
    return RunConsoleCommand("ifconfig\n", false);
}

bool CMainFrame::ShowNicSettings(const std::string& nic) {
    std::string command;
    std::string logText;
    if (nic == "All") {
        command = "mii-tool";
        logText = "Show ALL interface";
    } else if (IsEthNic(nic)) {
        const int n = std::atoi(nic.c_str() + 3);
        if (n <= 11) {
            command = "ethtool " + nic + " ";
            logText = n <= 2 ? "Show Eth" + std::to_string(n) : "Show " + nic;
        } else {
            command = "ethtool " + nic;
        }
    } else {
        Console(std::string(LoadStr(6533)) + "\n", kRed);
        return false;
    }
    if (ConsoleUnavailable()) {
        return false;
    }
    Console(nic + " : \n", kRed);
    if (!logText.empty()) {
        LogWrite(logText, kLogInfo);
    }
    return RunConsoleCommand(command, false);
}

bool CMainFrame::ModifyNicSettings(const NicSettings& s) {
    if (const int refusal = CheckNicSettings(s)) {
        Console(std::string(LoadStr(refusal)) + "\n", kRed);
        return false;
    }
    const bool eth = s.nic[0] == 'e';
    if (ConsoleUnavailable()) {
        return false;
    }
    if (!eth) {
        // A ppp entry has no speed; without an MTU there is nothing to change.
        if (!s.mtu) {
            return false;
        }
        Console("Adjusting MTU, please wait...\n", kBlack);
        return RunConsoleCommand(
            StrPrintf("/usr/sbin/change-ppp-mtu %s %d ", s.nic.c_str(), *s.mtu), false);
    }
    std::string command;
    if (m_productLine == 4 || m_productLine == 8) {
        command = StrPrintf("/usr/sbin/eth-set.sh %s %s ", s.nic.c_str(), s.speed.c_str());
        LogWrite("Set interface", kLogInfo);
    } else {
        command = StrPrintf("/usr/sbin/changemode %s %s ", s.nic.c_str(), s.speed.c_str());
        LogWrite("Modify network work mode", kLogInfo);
    }
    if (s.mtu) {
        command += StrPrintf("; /usr/sbin/change-eth-mtu %s %d ", s.nic.c_str(), *s.mtu);
        Console(StrPrintf("Adjusting network(%s) speed and MTU, please wait...\n", s.nic.c_str()),
                kBlack);
    } else {
        Console(StrPrintf("Adjusting network(%s) speed, please wait...\n", s.nic.c_str()), kBlack);
    }
    return RunConsoleCommand(command, false);
}

bool CMainFrame::ExchangeNics(const std::string& nic1, const std::string& nic2) {
    if (!IsEthNic(nic1) || !IsEthNic(nic2) || nic1 == nic2) {
        Console(std::string(LoadStr(6533)) + "\n", kRed);
        return false;
    }
    if (ConsoleUnavailable()) {
        return false;
    }
    Operator* op = GetOperator();
    if (!op || !op->AskYesNo(LoadStr(6550))) {
        Console(6505, kBlack);
        return false;
    }
    SessionState = kStateExchangeNics;
    SessionStep = kStepExchangeReply;
    LogWrite("Swap NIC information", kLogInfo);
    ExecuteCommand("swapnic-set.sh " + nic1 + " " + nic2);
    return true;
}

bool CMainFrame::CExchangeNicsProc::OnResult(int result, const std::optional<std::string>&) {
    if (m_f.SessionStep != kStepExchangeReply) {
        return false;
    }
    if (result != 0) {
        m_f.Console(6452, kRed);
        m_f.EndConsole(false);
        return true;
    }
    m_f.SessionStep = kStepExchangeDone;
    Operator* op = m_f.GetOperator();
    if (!op || !op->AskYesNo(LoadStr(6551))) {
        m_f.Console(6505, kBlack);
        m_f.EndConsole(true);
        return true;
    }
    m_f.Console(6552, kBlue);
    m_f.ExecuteCommand("reboot");
    m_f.EndConsole(true);
    m_f.CloseAsDropped();
    return true;
}

}  // namespace vorn
