#pragma once
// The technical support console, raised by F10 from the wizard: the console text of the core
// and the menus of the session, configuration and update-log commands. The menus follow the
// session's change notifications and the wizard's activity (ConsoleMenuRules); closing the
// window only hides it.
#include <QMainWindow>

#include <cstdint>
#include <map>

#include "app/ConsoleMenuRules.h"
#include "app/gui/CGuiOperator.h"

class QAction;
class QMenu;

namespace vorn::gui {

class CConsoleView;
class CMainSheet;

class CConsoleWindow : public QMainWindow, public CConsoleSink {
public:
    explicit CConsoleWindow(CMainSheet& sheet);
    ~CConsoleWindow() override;

    CConsoleView* View() { return m_view; }
    QString Text() const;
    // The menu item of a command (Command menu items excepted).
    QAction* Action(ConsoleCommand command) const;
    QMenu* CommandMenu() { return m_commandMenu; }
    // Sets every item's enabled state from the session and the wizard.
    void RefreshMenus();
    // Tests on 127.0.0.1: the port "Connect Device" connects to (the program uses 51111).
    void SetConnectPort(std::uint16_t port) { m_connectPort = port; }

    // CConsoleSink
    void Append(const std::string& text, std::uint32_t colour) override;
    void SetAnchor() override;
    void ReplaceFromAnchor(const std::string& text, std::uint32_t colour) override;
    void SetTitle(const std::string& title) override;

private:
    void BuildMenus();
    QAction* AddItem(QMenu* menu, ConsoleCommand command, const QString& text,
                     void (CConsoleWindow::*handler)());
    bool Enabled(ConsoleCommand command) const;
    // Runs a command of the core with this window as the parent of its questions.
    template <typename F>
    void Run(ConsoleCommand command, F&& start);

    void OnConnectDevice();
    void OnDisconnect();
    void OnSearch();
    void OnModifyPassword();
    void OnBackupConfig();
    void OnRestoreBackup();
    void OnRestoreFactoryDefaults();
    void OnDeviceUpdateLogs();
    void OnLocalUpdateLogs();
    void OnDeleteLocalLogs();

    CMainSheet& m_sheet;
    CMainFrame& m_frame;
    CGuiOperator& m_op;
    CConsoleView* m_view = nullptr;
    QMenu* m_commandMenu = nullptr;
    std::map<ConsoleCommand, QAction*> m_actions;
    int m_listener = 0;
    std::uint16_t m_connectPort = kLinkPort;
};

}  // namespace vorn::gui
