#pragma once
// Which commands of the technical support console are enabled, from the state of the session
// and of the wizard. The console window refreshes its menus from these whenever the session
// announces a change (CGatewaySession::AddSessionListener) or the wizard's activity changes.
#include "operations/CMainFrame.h"

namespace vorn {

// What the rules look at.
struct ConsoleState {
    int sessionState = 0;
    bool connected = false;
    int layoutFlag = 1;            // 1: "/etc" layout, 0: "/var" layout
    bool combinedRunning = false;  // a combined update is between or inside its members
    bool wizardBusy = false;       // the wizard is connecting or updating
};

enum class ConsoleCommand {
    ConnectDevice,
    Disconnect,
    Search,
    ModifyPassword,
    BackupConfig,
    RestoreBackup,
    RestoreFactoryDefaults,
    DeviceUpdateLogs,
    LocalUpdateLogs,
    DeleteLocalLogs,
    // The "Command(&C)" menu: every item, and the NIC items that need the "/etc" layout.
    SupportCommand,
    NicCommand,
};

ConsoleState ConsoleStateOf(const CMainFrame& frame, bool wizardBusy);
bool ConsoleCommandEnabled(ConsoleCommand command, const ConsoleState& s);

}  // namespace vorn
