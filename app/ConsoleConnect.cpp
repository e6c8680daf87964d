#include "app/ConsoleConnect.h"

#include "app/ParseAddress.h"
#include "app/RecentAddressList.h"
#include "lib/WorkFolders.h"
#include "link/CGatewaySession.h"

namespace vorn {

std::string ConsoleConnectPreset(const CGatewaySession& session) {
    if (!session.Address().empty()) {
        return session.Address();
    }
    RecentAddressList recent;
    recent.Load(WorkPath(RecentAddressList::kFileName, ""));
    if (!recent.Entries().empty()) {
        return recent.Entries().front().address;
    }
    return RecentAddressList::kDefaultAddress;
}

ConsoleConnectDecision DecideConsoleConnect(std::string_view entered) {
    ConsoleConnectDecision d;
    const auto first = entered.find_first_not_of(" \t");
    const std::string_view text =
        first == std::string_view::npos
            ? std::string_view()
            : entered.substr(first, entered.find_last_not_of(" \t") - first + 1);
    if (text.empty() || text == "0.0.0.0") {
        return d;
    }
    const auto parsed = ParseAddress(text);
    if (!parsed || !parsed->port.empty()) {
        d.kind = ConsoleConnectDecision::Refuse;
        d.refusal = 6773;
        return d;
    }
    if (parsed->ipv4 == 0) {
        return d;  // "0.0.0.0" spelled another way
    }
    d.kind = ConsoleConnectDecision::Connect;
    d.address = parsed->address;
    return d;
}

bool RememberChangedPassword(const std::string& address, std::uint16_t port,
                             const std::string& password) {
    RecentAddressList recent;
    recent.Load(WorkPath(RecentAddressList::kFileName, ""));
    const std::string key = port == kGatewayPort ? address : address + ":" + std::to_string(port);
    return recent.Add(key, password);
}

}  // namespace vorn
