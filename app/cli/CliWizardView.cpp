#include "app/cli/CliWizardView.h"

#include <QCoreApplication>
#include <QElapsedTimer>

namespace vorn::cli {
namespace {

void Pump() {
    PumpEvents(20);
}

}  // namespace

void CCliWizardView::SetStatus(const std::string& text) {
    m_run.Op().Note("[" + text + "]", false);
}

void CCliWizardView::SetMemberStatus(const std::string& text) {
    // "Updating N/M. Please wait..." is a progress line of its own on a terminal.
    m_run.Op().AppendConsole(text + "\n", kBlue);
}

void CCliWizardView::NoteUnaskedQuestion(const std::string& text) {
    m_run.Op().Note(text + (text.empty() || text.back() != '\n' ? "\n" : "") +
                        "-> yes (not asked during a combined update of several packages)",
                    false);
}

void CCliWizardView::ShowMessage(const std::string& text) {
    m_run.Op().ShowMessage(text);
}

bool CCliWizardView::AskOkCancel(const std::string& text) {
    return m_run.Op().AskOkCancel(text);
}

void CCliWizardView::SetCheckStatus(const std::string& text) {
    m_run.Op().Note("[check] " + text, false);
}

bool CCliWizardView::RunConfirmDialog(const CUpdateEvents& events, const std::string& tips,
                                      const std::string& from, const std::string& to,
                                      bool preCheck) {
    CliOperator& op = m_run.Op();
    op.Note("Update tips:\n" + tips, false);
    op.Note("From version: " + from, false);
    op.Note("To version:   " + to, false);
    if (preCheck) {
        QElapsedTimer t;
        t.start();
        while (!events.CheckFinished() && m_run.Frame().Connected &&
               t.elapsed() < kSilenceTimeoutMs) {
            Pump();
        }
        if (!events.CheckPassed()) {
            op.Note("vornupdater: the pre-upgrade check did not pass; the update is not started",
                    true);
            return false;
        }
    }
    m_confirmed = op.AskYesNo("Install this package on the gateway?");
    m_sentAtConfirm = m_run.Frame().BytesSent();
    return m_confirmed;
}

bool CCliWizardView::SentAfterConfirm() const {
    return m_confirmed && m_run.Frame().BytesSent() > m_sentAtConfirm;
}

bool WaitForUpdate(CliRun& run, const std::function<bool()>& done) {
    CMainFrame& frame = run.Frame();
    std::uint64_t moved = 0;
    QElapsedTimer quiet;
    quiet.start();
    while (!done()) {
        const std::uint64_t now = frame.BytesSent() + frame.BytesReceived();
        if (now != moved || !frame.LoaderIdle()) {
            moved = now;
            quiet.restart();
        } else if (quiet.elapsed() > kSilenceTimeoutMs) {
            run.Op().Note("vornupdater: the gateway stopped answering", true);
            frame.Disconnect();
            return false;
        }
        Pump();
    }
    return true;
}

}  // namespace vorn::cli
