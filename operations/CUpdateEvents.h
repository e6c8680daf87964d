#pragma once
// The wizard's handling of update and check events, without widgets: the activity (idle,
// updating, checking), the member count, the result tokens, the status line and the details
// pane, and the update confirmation with its optional pre-upgrade check. The CLI drives it
// now; the GUI's update page and confirmation dialog implement CWizardView later.
#include <cstdint>
#include <string>

#include "lib/Operator.h"

namespace vorn {

class CMainFrame;
class CUpdateEvents;

// What the update page and the confirmation dialog show.
class CWizardView {
public:
    virtual ~CWizardView() = default;
    virtual void AppendDetail(const std::string& text, std::uint32_t colour) = 0;
    virtual void ClearDetails() = 0;
    // A transfer percentage, rewritten in place.
    virtual void ShowProgress(const std::string& text) = 0;
    virtual void SetStatus(const std::string& text) = 0;
    // The status while member N of M is installed ("Updating N/M. Please wait...").
    virtual void SetMemberStatus(const std::string& text) { SetStatus(text); }
    // A question that is not asked inside a combined update of several packages: the asker
    // takes it as consent. The page shows it as a red detail line.
    virtual void NoteUnaskedQuestion(const std::string& text) { AppendDetail(text, kRed); }
    virtual void ShowMessage(const std::string& text) = 0;
    // OK/Cancel question; true for OK.
    virtual bool AskOkCancel(const std::string& text) = 0;
    virtual void SetBackEnabled(bool enabled) = 0;
    // The confirmation dialog ("Confirm Update"), shown modally; true for "&Update". In
    // pre-check mode the check runs while it is open and reports through the check events.
    // `events` is the caller, for the check's state while the dialog is open.
    virtual bool RunConfirmDialog(const CUpdateEvents& events, const std::string& tips,
                                  const std::string& fromVersion, const std::string& toVersion,
                                  bool preCheck) = 0;
    // The dialog's check status line, and its buttons after every check event.
    virtual void SetCheckStatus(const std::string& text) = 0;
    virtual void RefreshCheckButtons() {}
};

// The status line of the member being updated: "Updating N/M. Please wait...".
std::string UpdatingMemberText(const std::string& number, int total);

class CUpdateEvents {
public:
    enum Activity : int { kIdle = 0, kConnecting = 2, kUpdating = 3, kChecking = 5 };
    enum class Outcome { None, Succeeded, Failed, Aborted, FailedLoad };

    CUpdateEvents(CMainFrame& frame, CWizardView& view) : m_frame(frame), m_view(view) {}

    // StartUpdate of the wizard: activity 3, no outcome yet.
    void BeginUpdate();
    // A stand-alone pre-upgrade check: activity 5 in pre-check mode.
    void BeginCheck();
    void SetPreCheckMode(bool on) { m_preCheck = on; }

    // The events of the procedures (Operator::NotifyUpdatePage / NotifyCheckPage).
    int NotifyUpdatePage(int code, const std::string& text);
    int NotifyCheckPage(int code, const std::string& text);
    // Update event 11: the confirmation dialog; true when the update goes on.
    bool ConfirmUpdate(const std::string& tips);
    // The dialog's "retry": runs the check again after 500 ms, in the check's activity again
    // (a check that could not run, event 0, left it).
    void RetryCheck();
    // A package that did not load at all: the load result "FAILED:" (event 0) or the final
    // "FAILEDLOAD:" (event 12). The wizard stays where the package was chosen.
    static bool IsLoadFailure(int code, const std::string& text);

    int ActivityState() const { return m_activity; }
    int MemberCount() const { return m_memberCount; }
    bool PreCheckMode() const { return m_preCheck; }
    bool CheckPassed() const { return m_checkPassed; }
    bool CheckFinished() const { return m_checkFinished; }
    const std::string& CheckStatus() const { return m_checkStatus; }
    Outcome Result() const { return m_outcome; }
    bool Finished() const { return m_outcome != Outcome::None; }
    bool Disconnected() const { return m_disconnected; }
    const std::string& Status() const { return m_status; }

private:
    void SetStatus(const std::string& text);
    void SetCheckStatus(const std::string& text);
    void End(Outcome outcome);
    void DeleteDownloadedFiles();

    CMainFrame& m_frame;
    CWizardView& m_view;
    int m_activity = kIdle;
    int m_memberCount = 1;
    bool m_preCheck = false;
    bool m_checkPassed = false;
    bool m_checkFinished = false;
    bool m_disconnected = false;
    bool m_combined = false;  // a combined package is being installed
    Outcome m_outcome = Outcome::None;
    std::string m_status;
    std::string m_checkStatus;
};

}  // namespace vorn
