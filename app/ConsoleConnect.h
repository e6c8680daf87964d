#pragma once
// The console's "Connect Device" and "Modify Password" commands without their dialogs: the
// address the dialog is preset with, what an entered address leads to, and the recent-address
// entry of a changed password.
#include <cstdint>
#include <string>
#include <string_view>

namespace vorn {

class CGatewaySession;

// The address the "Connect Device" dialog shows: the session's last gateway address (also
// set by a console search), else the first recent address, else the default one.
std::string ConsoleConnectPreset(const CGatewaySession& session);

struct ConsoleConnectDecision {
    enum Kind { Ignore, Refuse, Connect } kind = Ignore;
    std::string address;  // Connect: the canonical dotted address
    int refusal = 0;      // Refuse: the number of the message (6773)
};
// "0.0.0.0" (and an empty field, which the address field reads as that) does nothing; an
// entry that is not a full dotted IPv4 address is refused; anything else is connected to.
ConsoleConnectDecision DecideConsoleConnect(std::string_view entered);

// A password change succeeded: the gateway's entry of the recent-address list ("updater.ini")
// gets the new password (the entry is added when missing). `port` other than the gateway
// port is part of the entry's key, as on the connect page.
bool RememberChangedPassword(const std::string& address, std::uint16_t port,
                             const std::string& password);

}  // namespace vorn
