#pragma once
// The update page and the confirmation dialog on a terminal, for the single and the combined
// update: statuses as lines, questions through the operator (--yes answers them), the
// pre-upgrade check waited for in place.
#include <functional>
#include <string>

#include "app/cli/CliRun.h"
#include "operations/CUpdateEvents.h"

namespace vorn::cli {

class CCliWizardView : public CWizardView {
public:
    explicit CCliWizardView(CliRun& run) : m_run(run) {}

    void AppendDetail(const std::string&, std::uint32_t) override {}  // the console shows them
    void ClearDetails() override {}
    void ShowProgress(const std::string&) override {}
    void SetStatus(const std::string& text) override;
    void SetMemberStatus(const std::string& text) override;
    void NoteUnaskedQuestion(const std::string& text) override;
    void ShowMessage(const std::string& text) override;
    bool AskOkCancel(const std::string& text) override;
    void SetBackEnabled(bool) override {}
    void SetCheckStatus(const std::string& text) override;
    bool RunConfirmDialog(const CUpdateEvents& events, const std::string& tips,
                          const std::string& from, const std::string& to, bool preCheck) override;

    // True when the update was confirmed and the gateway has received something since then
    // (an upload or a command): the gateway may have changed.
    bool SentAfterConfirm() const;
    bool Confirmed() const { return m_confirmed; }

private:
    CliRun& m_run;
    bool m_confirmed = false;
    std::uint64_t m_sentAtConfirm = 0;
};

// Runs the event loop until `done`, giving up (and disconnecting) when neither the link, a
// loader nor an update event moved for kSilenceTimeoutMs. False when given up.
bool WaitForUpdate(CliRun& run, const std::function<bool()>& done);

}  // namespace vorn::cli
