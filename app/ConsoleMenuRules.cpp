#include "app/ConsoleMenuRules.h"

namespace vorn {

ConsoleState ConsoleStateOf(const CMainFrame& frame, bool wizardBusy) {
    ConsoleState s;
    s.sessionState = frame.SessionState;
    s.connected = frame.Connected;
    s.layoutFlag = frame.GatewayLayoutFlag();
    s.combinedRunning = frame.CombinedUpdateRunning();
    s.wizardBusy = wizardBusy;
    return s;
}

bool ConsoleCommandEnabled(ConsoleCommand command, const ConsoleState& s) {
    // A combined update runs its members with SessionState 0 between them, and the wizard's
    // update loads its package on a thread before it owns the link: both count as busy.
    const bool idle = s.sessionState == 0 && !s.combinedRunning && !s.wizardBusy;
    switch (command) {
        case ConsoleCommand::ConnectDevice:
        case ConsoleCommand::Search:
            return idle && !s.connected;
        case ConsoleCommand::Disconnect:
            // Also while a login runs or waits after a refused password (state 3 without a
            // link-level step): otherwise nothing in the console could end it. A search owns
            // no link.
            return s.connected ||
                   (s.sessionState != kStateIdle && s.sessionState != kStateSearching);
        case ConsoleCommand::ModifyPassword:
        case ConsoleCommand::BackupConfig:
        case ConsoleCommand::RestoreBackup:
        case ConsoleCommand::RestoreFactoryDefaults:
        case ConsoleCommand::DeviceUpdateLogs:
        case ConsoleCommand::SupportCommand:
            return idle && s.connected;
        case ConsoleCommand::NicCommand:
            return idle && s.connected && s.layoutFlag == 1;
        case ConsoleCommand::LocalUpdateLogs:
        case ConsoleCommand::DeleteLocalLogs:
            return idle;
    }
    return false;
}

}  // namespace vorn
