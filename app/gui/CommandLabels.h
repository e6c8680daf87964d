#pragma once
// Texts of the console's "Command" menu and its dialogs in the three languages (the dialogs'
// messages come from the numbered string table).
#include <QString>

namespace vorn::gui {

enum class CML {
    Ping,
    RouteTable,
    ArpTable,
    ViewNetwork,
    ViewNic,
    AllNics,
    ModifyNic,
    ExchangeNics,
    CommandConsole,
    PingTitle,
    PingTarget,
    ModifyNicTitle,
    Nic,
    Speed,
    Mtu,
    MtuHint,
    AutoNegotiation,
    ExchangeTitle,
    Nic1,
    Nic2,
    ConsoleTitle,
    ConsoleAction,
    ConsoleText,
    HintPut,
    HintGet,
    HintExec,
};

QString CommandLabel(CML id);

}  // namespace vorn::gui
