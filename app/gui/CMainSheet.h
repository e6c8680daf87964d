#pragma once
// The wizard: connect, load, update. It owns the main frame (the gateway session), the
// wizard search and the update events, keeps the state the pages share (activity, connected,
// gateway texts), sets its title and buttons from that state and turns the core's events into
// pages. The rules live in the core and app/; this class only shows them.
#include <QPointer>
#include <QWidget>

#include <memory>
#include <string>

#include "app/ConnectAttempt.h"
#include "app/ConnectRules.h"
#include "app/gui/CGuiOperator.h"
#include "link/CWizardSearch.h"
#include "operations/CMainFrame.h"
#include "operations/CUpdateEvents.h"

class QLabel;
class QPushButton;
class QStackedWidget;
class QToolButton;

namespace vorn::gui {

class CConfirmStopDlg;
class CConfirmUpdateDlg;
class CConsoleWindow;
class CPageConnect;
class CPageLoad;
class CPageUpdate;

class CMainSheet : public QWidget, public CWizardView {
public:
    enum Page : int { kPageConnect = 0, kPageLoad = 1, kPageUpdate = 2 };
    enum Activity : int { kIdle = 0, kConnecting = 2, kUpdating = 3 };

    // `unattended`: messages and questions are recorded, never shown (tests).
    explicit CMainSheet(bool unattended = false, QWidget* parent = nullptr);
    ~CMainSheet() override;

    CGuiOperator& Op() { return m_op; }
    CMainFrame& Frame() { return *m_frame; }
    CWizardSearch& Search() { return *m_search; }
    CUpdateEvents& Events() { return *m_events; }
    int Activity() const { return m_activity; }
    bool IsConnected() const { return m_connected; }
    const std::string& GatewayVersion() const { return m_version; }
    const std::string& GatewayAddress() const { return m_address; }
    int ActivePage() const;
    CPageConnect* ConnectPage() { return m_pageConnect; }
    CPageLoad* LoadPage() { return m_pageLoad; }
    CPageUpdate* UpdatePage() { return m_pageUpdate; }
    QLabel* Heading() { return m_heading; }
    QPushButton* BackButton() { return m_back; }
    QPushButton* NextButton() { return m_next; }
    QPushButton* OptionsButton() { return m_options; }
    CConsoleWindow* Console() { return m_console; }
    // The open confirmation dialog, or null.
    CConfirmUpdateDlg* ConfirmDialog() { return m_confirm; }
    // Tests: how long a connect attempt waits for the login and the version reply.
    void SetConnectTimeouts(int loginMs, int versionMs);

    void UpdateTitle();
    void UpdateButtons();
    void ShowPage(int page);
    // The connect page's Next: false when an activity runs or the connect did not start.
    bool Connect(const ConnectCheck& check, const std::string& password, RememberMode remember);
    // The load page's Next: false when an activity runs or the package did not load.
    bool StartUpdate(const std::string& path, bool preCheck);
    // Back to the connect page after a disconnect; during an update it asks "Confirm Stop?"
    // first (without waiting: the answer comes later).
    void ResetAfterDisconnect();
    // The open "Confirm Stop?" dialog, or null.
    CConfirmStopDlg* StopDialog();
    void ShowConsole();
    void ShowAbout();
    void OpenOptions();

    // Events of the core (through the Operator).
    void NotifyWizard(int code, const std::string& text);
    int NotifyUpdatePage(int code, const std::string& text);
    int NotifyCheckPage(int code, const std::string& text);

    // CWizardView: the update page and the confirmation dialog.
    void AppendDetail(const std::string& text, std::uint32_t colour) override;
    void ClearDetails() override;
    void ShowProgress(const std::string& text) override;
    void SetStatus(const std::string& text) override;
    void ShowMessage(const std::string& text) override;
    bool AskOkCancel(const std::string& text) override;
    void SetBackEnabled(bool enabled) override;
    bool RunConfirmDialog(const CUpdateEvents& events, const std::string& tips,
                          const std::string& fromVersion, const std::string& toVersion,
                          bool preCheck) override;
    void SetCheckStatus(const std::string& text) override;
    void RefreshCheckButtons() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void OnBack();
    void OnNext();
    void SetVersionText(const std::string& version);
    void AfterUpdateEvent();
    // The "Confirm Stop?" question during an update; its "&Stop" disconnects.
    void AskStop();
    void Disconnect();

    CGuiOperator m_op;
    std::unique_ptr<CMainFrame> m_frame;
    std::unique_ptr<CWizardSearch> m_search;
    std::unique_ptr<CConnectAttempt> m_attempt;
    std::unique_ptr<CUpdateEvents> m_events;

    int m_activity = kIdle;
    bool m_connected = false;
    std::string m_address;
    std::string m_version;
    std::string m_packagePath;

    QLabel* m_heading = nullptr;
    QStackedWidget* m_pages = nullptr;
    CPageConnect* m_pageConnect = nullptr;
    CPageLoad* m_pageLoad = nullptr;
    CPageUpdate* m_pageUpdate = nullptr;
    QPushButton* m_back = nullptr;
    QPushButton* m_next = nullptr;
    QPushButton* m_options = nullptr;
    QToolButton* m_about = nullptr;
    CConsoleWindow* m_console = nullptr;
    bool m_consoleShown = false;
    CConfirmUpdateDlg* m_confirm = nullptr;
    QPointer<CConfirmStopDlg> m_stopDlg;
};

}  // namespace vorn::gui
