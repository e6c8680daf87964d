#include "app/gui/CMainSheet.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/LoadOptions.h"
#include "app/OptionsFile.h"
#include "app/gui/CAboutDlg.h"
#include "app/gui/CConfirmStopDlg.h"
#include "app/gui/CConfirmUpdateDlg.h"
#include "app/gui/CConsoleWindow.h"
#include "app/gui/COptionDlg.h"
#include "app/gui/CPageConnect.h"
#include "app/gui/CPageLoad.h"
#include "app/gui/CPageUpdate.h"
#include "app/gui/GuiText.h"
#include "lib/Log.h"
#include "lib/UpdatePageEvents.h"

namespace vorn::gui {

CMainSheet::CMainSheet(bool unattended, QWidget* parent) : QWidget(parent) {
    m_op.SetUnattended(unattended);
    m_op.SetParentWidget(this);
    SetCurrentSettings(LoadOptions());
    m_frame = std::make_unique<CMainFrame>(&m_op);
    m_search = std::make_unique<CWizardSearch>(&m_op);
    m_attempt = std::make_unique<CConnectAttempt>(*m_frame);
    m_events = std::make_unique<CUpdateEvents>(*m_frame, *this);

    LogWrite("Add About Menu", kLogDebug);
    m_search->Open();

    // The title inside the window as well: it shows in pictures and to screen readers.
    m_heading = new QLabel(this);
    m_heading->setTextFormat(Qt::PlainText);
    QFont headingFont = m_heading->font();
    headingFont.setBold(true);
    headingFont.setPointSizeF(headingFont.pointSizeF() * 1.2);
    m_heading->setFont(headingFont);
    m_pages = new QStackedWidget(this);
    m_pageConnect = new CPageConnect(*this);
    m_pageLoad = new CPageLoad(*this);
    m_pageUpdate = new CPageUpdate(*this);
    m_pages->addWidget(m_pageConnect);
    m_pages->addWidget(m_pageLoad);
    m_pages->addWidget(m_pageUpdate);

    m_about = new QToolButton(this);
    m_about->setText(QStringLiteral("?"));
    m_about->setToolTip(AccessibleLabel(Str(6733)));
    m_about->setAccessibleName(AccessibleLabel(Str(6733)));
    m_options = new QPushButton(Str(6629), this);
    m_back = new QPushButton(this);
    m_next = new QPushButton(this);
    for (QPushButton* b : {m_options, m_back, m_next}) {
        b->setAutoDefault(false);
    }
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_about);
    buttons->addStretch();
    buttons->addWidget(m_options);
    buttons->addWidget(m_back);
    buttons->addWidget(m_next);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_heading);
    layout->addWidget(m_pages, 1);
    layout->addLayout(buttons);

    connect(m_back, &QPushButton::clicked, this, &CMainSheet::OnBack);
    connect(m_next, &QPushButton::clicked, this, &CMainSheet::OnNext);
    connect(m_options, &QPushButton::clicked, this, &CMainSheet::OpenOptions);
    connect(m_about, &QToolButton::clicked, this, &CMainSheet::ShowAbout);
    auto* about = new QAction(Str(6733), this);
    connect(about, &QAction::triggered, this, &CMainSheet::ShowAbout);
    addAction(about);
    setContextMenuPolicy(Qt::ActionsContextMenu);

    for (const QKeySequence& key :
         {QKeySequence(Qt::Key_F10), QKeySequence(Qt::SHIFT | Qt::CTRL | Qt::Key_F10)}) {
        auto* shortcut = new QShortcut(key, this);
        connect(shortcut, &QShortcut::activated, this, &CMainSheet::ShowConsole);
    }

    m_console = new CConsoleWindow(*this);
    m_op.SetSheet(this);
    m_pages->setCurrentIndex(kPageConnect);
    UpdateTitle();
    UpdateButtons();
}

CMainSheet::~CMainSheet() {
    m_op.SetSheet(nullptr);
    m_op.SetConsoleSink({});
    delete m_console;
    m_console = nullptr;
    // The pages use the search and the frame: they go before the members do.
    delete m_pages;
}

void CMainSheet::SetConnectTimeouts(int loginMs, int versionMs) {
    m_attempt->SetLoginTimeout(loginMs);
    m_attempt->SetVersionReplyTimeout(versionMs);
}

int CMainSheet::ActivePage() const {
    return m_pages->currentIndex();
}

void CMainSheet::UpdateTitle() {
    QString title = Str(6635);
    if (m_connected) {
        title += " - " + Q(m_address);
    } else if (m_activity == kConnecting) {
        title += Str(6639);
    } else {
        title += Str(6640);
    }
    setWindowTitle(title);
    m_heading->setText(title);
}

void CMainSheet::UpdateButtons() {
    switch (ActivePage()) {
        case kPageConnect: {
            SetVersionText("");
            m_options->setVisible(true);
            const bool connecting = m_activity == kConnecting;
            m_back->setText(Str(6641));
            m_back->setVisible(connecting);
            m_back->setEnabled(connecting);
            m_next->setText(Str(6634));
            m_next->setVisible(!connecting);
            m_next->setEnabled(!connecting);
            m_options->setEnabled(!connecting);
            break;
        }
        case kPageLoad: {
            m_pageLoad->Refresh();
            m_options->setVisible(false);
            m_options->setEnabled(false);
            m_next->setText(Str(6632));
            m_next->setVisible(true);
            m_back->setText(Str(6630));
            const bool updating = m_activity == kUpdating;
            m_back->setVisible(!updating);
            m_back->setEnabled(!updating);
            m_next->setEnabled(!updating);
            break;
        }
        default: {
            m_options->setVisible(false);
            m_options->setEnabled(false);
            m_back->setVisible(true);
            m_back->setText(m_activity == kUpdating ? Str(6793) : Str(6630));
            m_next->setVisible(false);
            m_next->setEnabled(false);
            break;
        }
    }
    UpdateTitle();
    if (m_console) {
        m_console->RefreshMenus();  // they depend on the activity too
    }
}

void CMainSheet::ShowPage(int page) {
    m_pages->setCurrentIndex(page);
    if (page == kPageLoad) {
        m_pageLoad->Refresh();
        m_pageLoad->PathEdit()->setFocus();
    }
    UpdateButtons();
}

void CMainSheet::SetVersionText(const std::string& version) {
    m_version = version;
    m_pageLoad->SetGateway(Q(m_address), Q(m_version));
}

bool CMainSheet::Connect(const ConnectCheck& check, const std::string& password,
                         RememberMode remember) {
    m_address = check.address.Text();
    if (m_activity != kIdle) {
        return false;
    }
    m_activity = kConnecting;
    UpdateButtons();
    const bool started = m_attempt->Start(
        check, check.address.address, static_cast<std::uint16_t>(check.address.ConnectPort()),
        password, remember, [this](const CConnectAttempt::Result& r) {
            if (r.timedOut && !m_frame->Connected) {
                m_frame->Disconnect();
                m_activity = kIdle;
                UpdateButtons();
            }
            m_pageConnect->ConnectResult(r.outcome, r.warning);
        });
    if (!started) {
        m_activity = kIdle;
        UpdateButtons();
        return false;
    }
    return true;
}

void CMainSheet::NotifyWizard(int code, const std::string& text) {
    switch (code) {
        case kWizardConnected:
            if (m_activity != kConnecting) {
                return;
            }
            m_connected = true;
            m_activity = kIdle;
            ShowPage(kPageLoad);
            SetVersionText(text);
            break;
        case kWizardConnectFailed:
        case kWizardLoginRefused:
            m_connected = false;
            if (m_activity == kConnecting) {
                m_activity = kIdle;
            }
            UpdateButtons();
            m_op.ShowMessage(text);
            m_pageConnect->FocusPassword();
            break;
        case kWizardDeviceChosen:
            m_connected = true;
            m_activity = kIdle;
            ShowPage(kPageLoad);
            SetVersionText(LoadStr(6458));
            break;
        case kWizardReconnected:
            if (text.rfind("LOGIN:", 0) == 0) {
                m_connected = true;
                if (ActivePage() == kPageConnect) {
                    ShowPage(kPageLoad);
                    SetVersionText(text.substr(6));
                }
            } else {
                m_connected = false;
            }
            UpdateTitle();
            m_back->setEnabled(true);
            break;
        case kWizardDisconnected:
            m_connected = false;
            UpdateButtons();
            break;
        default:
            break;
    }
}

bool CMainSheet::StartUpdate(const std::string& path, bool preCheck) {
    if (m_activity != kIdle) {
        return false;
    }
    const int limit = AutoBackupLimit();
    LogWrite("Get the autobak_num before the upgrate -->" + std::to_string(limit), kLogDebug);
    m_frame->SetAutoBackupLimit(limit);
    m_activity = kUpdating;
    m_packagePath = path;
    m_events->SetPreCheckMode(preCheck);
    m_events->BeginUpdate();
    m_pageUpdate->Clear();
    UpdateButtons();
    if (!m_frame->LoadLocalPackage(path)) {
        m_activity = kIdle;
        m_pageLoad->SetControlsEnabled(true);
        UpdateButtons();
        return false;
    }
    return true;
}

int CMainSheet::NotifyUpdatePage(int code, const std::string& text) {
    // A package that does not load leaves the wizard on the load page, for another file.
    const bool loadFailed = ActivePage() == kPageLoad && CUpdateEvents::IsLoadFailure(code, text);
    if (m_activity == kUpdating && !loadFailed && ActivePage() != kPageUpdate) {
        ShowPage(kPageUpdate);
    }
    const int answer = m_events->NotifyUpdatePage(code, text);
    if (loadFailed && m_activity == kUpdating) {
        m_activity = kIdle;
        m_pageLoad->SetControlsEnabled(true);
        UpdateButtons();
    }
    AfterUpdateEvent();
    return answer;
}

int CMainSheet::NotifyCheckPage(int code, const std::string& text) {
    return m_events->NotifyCheckPage(code, text);
}

void CMainSheet::AfterUpdateEvent() {
    if (m_activity == kUpdating && m_events->Finished()) {
        m_activity = kIdle;
        if (m_stopDlg) {
            m_stopDlg->reject();
        }
        m_pageLoad->SetControlsEnabled(true);
        UpdateButtons();
    }
}

void CMainSheet::OnNext() {
    if (!m_next->isEnabled() || !m_next->isVisible()) {
        return;
    }
    m_op.CommandFrom(this);
    if (ActivePage() == kPageConnect) {
        m_pageConnect->ConnectAction();
    } else if (ActivePage() == kPageLoad) {
        m_pageLoad->NextAction();
    }
}

CConfirmStopDlg* CMainSheet::StopDialog() {
    return m_stopDlg;
}

void CMainSheet::AskStop() {
    // Window-modal without a nested event loop: the update goes on while the question is
    // open, and the answer arrives through finished().
    if (m_stopDlg) {
        m_stopDlg->raise();
        m_stopDlg->activateWindow();
        return;
    }
    auto* dlg = new CConfirmStopDlg(this);
    dlg->setAttribute(Qt::WA_DeleteOnClose);
    dlg->setWindowModality(Qt::WindowModal);
    m_stopDlg = dlg;
    connect(dlg, &QDialog::finished, this, [this](int result) {
        m_stopDlg.clear();
        // An update that ended meanwhile has nothing left to stop.
        if (result == QDialog::Accepted && m_activity == kUpdating) {
            Disconnect();
        }
    });
    dlg->open();
}

void CMainSheet::OnBack() {
    m_op.CommandFrom(this);
    if (ActivePage() == kPageConnect) {
        // "&Cancel" while connecting.
        if (m_activity == kConnecting) {
            m_frame->Disconnect();
            m_activity = kIdle;
            UpdateButtons();
        }
        return;
    }
    if (ActivePage() == kPageLoad && m_frame->SessionState != 0) {
        m_op.ShowMessage(LoadStr(6502));
        return;
    }
    ResetAfterDisconnect();
}

void CMainSheet::ResetAfterDisconnect() {
    if (m_activity == kUpdating) {
        AskStop();
        return;
    }
    Disconnect();
}

void CMainSheet::Disconnect() {
    if (m_stopDlg) {
        m_stopDlg->reject();
    }
    if (ActivePage() == kPageUpdate) {
        m_pageUpdate->Clear();
    }
    m_frame->Disconnect();
    m_connected = false;
    m_activity = kIdle;
    m_pageLoad->SetControlsEnabled(true);
    m_pages->setCurrentIndex(kPageConnect);
    UpdateButtons();
    m_pageConnect->FocusPassword();
}

void CMainSheet::ShowConsole() {
    if (!m_consoleShown) {
        m_console->move(pos() + QPoint(20, 20));
        m_consoleShown = true;
    }
    m_console->setWindowState(m_console->windowState() & ~Qt::WindowMinimized);
    m_console->show();
    m_console->raise();
    m_console->activateWindow();
}

void CMainSheet::ShowAbout() {
    // It can open during an update: no nested event loop under the running procedure.
    auto* dlg = new CAboutDlg(this);
    dlg->setAttribute(Qt::WA_DeleteOnClose);
    dlg->open();
}

void CMainSheet::OpenOptions() {
    if (!m_options->isEnabled()) {
        return;
    }
    COptionDlg dlg(m_op, this);
    // The accepted values are the program's settings from now on; Cancel keeps them.
    if (dlg.exec() == QDialog::Accepted) {
        SetCurrentSettings(dlg.Values());
    }
}

void CMainSheet::closeEvent(QCloseEvent* event) {
    if (m_activity != kIdle) {
        m_op.CommandFrom(this);
        m_op.ShowMessage(LoadStr(6502));
        event->ignore();
        return;
    }
    m_console->close();
    event->accept();
}

void CMainSheet::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        // Enter is the Next button's; while Next is disabled it does nothing.
        if (m_next->isEnabled() && m_next->isVisible()) {
            m_next->click();
        }
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

// --- CWizardView ---

void CMainSheet::AppendDetail(const std::string& text, std::uint32_t colour) {
    // A line after a transfer ends it: its figures show the bytes it got to.
    m_pageUpdate->SetSent(m_frame->UploadSent());
    m_pageUpdate->AppendDetail(Q(text), colour);
}

void CMainSheet::ClearDetails() {
    m_pageUpdate->Clear();
}

void CMainSheet::ShowProgress(const std::string& text) {
    m_pageUpdate->ShowProgress(Q(text), m_frame->UploadSent(), m_frame->UploadSize());
}

void CMainSheet::SetStatus(const std::string& text) {
    m_pageUpdate->SetState(Q(text));
}

void CMainSheet::ShowMessage(const std::string& text) {
    m_op.ShowMessage(text);
}

bool CMainSheet::AskOkCancel(const std::string& text) {
    return m_op.AskOkCancel(text);
}

void CMainSheet::SetBackEnabled(bool enabled) {
    m_back->setEnabled(enabled);
}

bool CMainSheet::RunConfirmDialog(const CUpdateEvents& events, const std::string& tips,
                                  const std::string& fromVersion, const std::string& toVersion,
                                  bool preCheck) {
    // The core waits for this answer (update event 11 returns it), so the dialog runs its own
    // event loop. That is safe here: it is application-modal, so no window of the program
    // takes input and no second command can start, while the loop keeps repainting and
    // serving the session (the pre-upgrade check runs inside it). The sheet cannot go away
    // meanwhile: closing is refused while the update activity runs.
    CConfirmUpdateDlg dlg(events, Q(tips), Q(fromVersion), Q(toVersion), preCheck, this);
    dlg.setWindowModality(Qt::ApplicationModal);
    connect(&dlg, &CConfirmUpdateDlg::RetryRequested, this, [this] { m_events->RetryCheck(); });
    m_confirm = &dlg;
    const bool ok = dlg.exec() == QDialog::Accepted;
    m_confirm = nullptr;
    return ok;
}

void CMainSheet::SetCheckStatus(const std::string& text) {
    if (m_confirm) {
        m_confirm->SetCheckStatus(Q(text));
    }
}

void CMainSheet::RefreshCheckButtons() {
    if (m_confirm) {
        m_confirm->RefreshCheckButtons();
    }
}

}  // namespace vorn::gui
