#include "app/gui/CConsoleWindow.h"

#include <QAction>
#include <QMenuBar>

#include "app/ConsoleConnect.h"
#include "app/gui/CConnectDeviceDlg.h"
#include "app/gui/CConsoleView.h"
#include "app/gui/CMainSheet.h"
#include "app/gui/CModifyPasswordDlg.h"
#include "app/gui/CPageConnect.h"
#include "app/gui/CommandMenu.h"
#include "app/gui/ConsoleLabels.h"
#include "app/gui/GuiText.h"

namespace vorn::gui {

CConsoleWindow::CConsoleWindow(CMainSheet& sheet)
    : m_sheet(sheet), m_frame(sheet.Frame()), m_op(sheet.Op()) {
    m_view = new CConsoleView(this);
    setCentralWidget(m_view);
    resize(640, 420);
    BuildMenus();
    m_op.SetConsoleSink(this);
    m_frame.SetPasswordChangedHandler([this](const std::string& password) {
        RememberChangedPassword(m_frame.Address(), m_frame.Port(), password);
        m_sheet.ConnectPage()->FollowPasswordChange(m_frame.Address(), m_frame.Port(), password);
    });
    m_listener = m_frame.AddSessionListener([this] { RefreshMenus(); });
    // The session adds the gateway or the connection state once it has one.
    setWindowTitle(Str(6702));
    RefreshMenus();
}

CConsoleWindow::~CConsoleWindow() {
    m_frame.RemoveSessionListener(m_listener);
    m_frame.SetPasswordChangedHandler({});
    m_op.SetConsoleSink(nullptr);
}

QString CConsoleWindow::Text() const {
    return m_view->toPlainText();
}

void CConsoleWindow::Append(const std::string& text, std::uint32_t colour) {
    m_view->Append(Q(text), colour);
}

void CConsoleWindow::SetAnchor() {
    m_view->SetAnchor();
}

void CConsoleWindow::ReplaceFromAnchor(const std::string& text, std::uint32_t colour) {
    m_view->ReplaceFromAnchor(Q(text), colour);
}

void CConsoleWindow::SetTitle(const std::string& title) {
    setWindowTitle(Q(title));
}

QAction* CConsoleWindow::AddItem(QMenu* menu, ConsoleCommand command, const QString& text,
                                 void (CConsoleWindow::*handler)()) {
    QAction* action = menu->addAction(text);
    connect(action, &QAction::triggered, this, handler);
    m_actions[command] = action;
    return action;
}

void CConsoleWindow::BuildMenus() {
    using C = ConsoleCommand;
    QMenu* device = menuBar()->addMenu(ConsoleLabel(CL::DeviceMenu));
    AddItem(device, C::ConnectDevice, ConsoleLabel(CL::ConnectDevice),
            &CConsoleWindow::OnConnectDevice);
    AddItem(device, C::Disconnect, ConsoleLabel(CL::Disconnect), &CConsoleWindow::OnDisconnect);
    AddItem(device, C::Search, ConsoleLabel(CL::Search), &CConsoleWindow::OnSearch);
    device->addSeparator();
    AddItem(device, C::ModifyPassword, ConsoleLabel(CL::ModifyPassword),
            &CConsoleWindow::OnModifyPassword);

    QMenu* config = menuBar()->addMenu(ConsoleLabel(CL::ConfigMenu));
    AddItem(config, C::BackupConfig, ConsoleLabel(CL::BackupConfig),
            &CConsoleWindow::OnBackupConfig);
    AddItem(config, C::RestoreBackup, ConsoleLabel(CL::RestoreBackup),
            &CConsoleWindow::OnRestoreBackup);
    config->addSeparator();
    AddItem(config, C::RestoreFactoryDefaults, ConsoleLabel(CL::RestoreFactoryDefaults),
            &CConsoleWindow::OnRestoreFactoryDefaults);

    m_commandMenu = menuBar()->addMenu(ConsoleLabel(CL::CommandMenu));
    FillCommandMenu(*m_commandMenu, m_frame, m_op, this);

    QMenu* logs = menuBar()->addMenu(ConsoleLabel(CL::UpdateLogsMenu));
    AddItem(logs, C::DeviceUpdateLogs, ConsoleLabel(CL::DeviceUpdateLogs),
            &CConsoleWindow::OnDeviceUpdateLogs);
    AddItem(logs, C::LocalUpdateLogs, ConsoleLabel(CL::LocalUpdateLogs),
            &CConsoleWindow::OnLocalUpdateLogs);
    logs->addSeparator();
    AddItem(logs, C::DeleteLocalLogs, ConsoleLabel(CL::DeleteLocalLogs),
            &CConsoleWindow::OnDeleteLocalLogs);
}

QAction* CConsoleWindow::Action(ConsoleCommand command) const {
    const auto it = m_actions.find(command);
    return it == m_actions.end() ? nullptr : it->second;
}

bool CConsoleWindow::Enabled(ConsoleCommand command) const {
    return ConsoleCommandEnabled(command,
                                 ConsoleStateOf(m_frame, m_sheet.Activity() != CMainSheet::kIdle));
}

void CConsoleWindow::RefreshMenus() {
    const ConsoleState s = ConsoleStateOf(m_frame, m_sheet.Activity() != CMainSheet::kIdle);
    for (const auto& [command, action] : m_actions) {
        action->setEnabled(ConsoleCommandEnabled(command, s));
    }
    // The Command menu's items follow the session themselves; the menu as a whole is closed
    // while the wizard works or a combined update runs (idle between its members).
    m_commandMenu->menuAction()->setEnabled(!s.wizardBusy && !s.combinedRunning);
}

template <typename F>
void CConsoleWindow::Run(ConsoleCommand command, F&& start) {
    // The state may have changed while a dialog of the command was open.
    if (!Enabled(command)) {
        return;
    }
    m_op.CommandFrom(this);
    start();
}

void CConsoleWindow::OnConnectDevice() {
    CConnectDeviceDlg dlg(m_op, Q(ConsoleConnectPreset(m_frame)), this);
    if (CGuiOperator::CDialogScope scope(m_op, &dlg); dlg.exec() != QDialog::Accepted) {
        return;
    }
    const ConsoleConnectDecision& d = dlg.Decision();
    if (d.kind != ConsoleConnectDecision::Connect) {
        return;  // "0.0.0.0"
    }
    Run(ConsoleCommand::ConnectDevice,
        [&] { m_frame.ConnectGateway(d.address, dlg.Password(), m_connectPort); });
}

void CConsoleWindow::OnDisconnect() {
    Run(ConsoleCommand::Disconnect, [&] { m_frame.Disconnect(); });
}

void CConsoleWindow::OnSearch() {
    Run(ConsoleCommand::Search, [&] { m_frame.SearchGateways(); });
}

void CConsoleWindow::OnModifyPassword() {
    CModifyPasswordDlg dlg(m_op, this);
    if (CGuiOperator::CDialogScope scope(m_op, &dlg); dlg.exec() != QDialog::Accepted) {
        return;
    }
    Run(ConsoleCommand::ModifyPassword, [&] { m_frame.ChangePassword(dlg.Password()); });
}

void CConsoleWindow::OnBackupConfig() {
    Run(ConsoleCommand::BackupConfig, [&] { m_frame.BackupConfig(); });
}

void CConsoleWindow::OnRestoreBackup() {
    Run(ConsoleCommand::RestoreBackup, [&] { m_frame.RestoreBackup(); });
}

void CConsoleWindow::OnRestoreFactoryDefaults() {
    Run(ConsoleCommand::RestoreFactoryDefaults, [&] { m_frame.RestoreFactoryDefaults(); });
}

void CConsoleWindow::OnDeviceUpdateLogs() {
    Run(ConsoleCommand::DeviceUpdateLogs, [&] { m_frame.ShowGatewayHistory(); });
}

void CConsoleWindow::OnLocalUpdateLogs() {
    Run(ConsoleCommand::LocalUpdateLogs, [&] { m_frame.ShowLocalHistory(); });
}

void CConsoleWindow::OnDeleteLocalLogs() {
    Run(ConsoleCommand::DeleteLocalLogs, [&] { m_frame.DeleteLocalHistory(); });
}

}  // namespace vorn::gui
