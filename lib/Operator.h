#pragma once
// The person at the other end. Every place where the core shows text, asks a question,
// needs a file name or reports to the wizard goes through this interface. The GUI implements
// it with widgets, the CLI with the terminal and its flags, tests with a scripted double.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <utility>

#include "lib/CheckPageEvents.h"
#include "lib/UpdatePageEvents.h"
#include "lib/WizardEvents.h"

namespace vorn {

// Console colours as the program stores them (0x00BBGGRR).
enum : std::uint32_t {
    kBlack = 0,
    kRed = 255,
    kBlue = 0xff0000,
    kGreen = 65280,
    kGrey = 6579300,
};

class Operator {
public:
    virtual ~Operator() = default;

    // Console view.
    virtual void AppendConsole(const std::string& text, std::uint32_t colour) = 0;
    // Progress text that is rewritten in place: the anchor is the current end of the
    // console; ReplaceProgress replaces everything after the anchor.
    virtual void SetProgressAnchor() = 0;
    virtual void ReplaceProgress(const std::string& text, std::uint32_t colour) = 0;
    virtual void SetWindowTitle(const std::string& title) = 0;

    // Modal messages.
    virtual void ShowMessage(const std::string& text) = 0;

    // --- Questions and file choices ---
    // The one way the core asks the person. An answer queued with SetNext... (tests and
    // scripted runs) is taken first and nobody is asked; otherwise the front end asks through
    // the On... functions below. No answer available means No / Cancel.
    bool AskYesNo(const std::string& text);     // true for Yes
    bool AskOkCancel(const std::string& text);  // true for OK
    // A line of text typed by the person (secret: without echo); nullopt when cancelled.
    std::optional<std::string> AskText(const std::string& prompt, bool secret);
    // File choices; `proposed` is the proposed file name, `filter` the dialog filter text;
    // nullopt when cancelled.
    std::optional<std::string> ChooseOpenFile(const std::string& proposed,
                                              const std::string& filter);
    std::optional<std::string> ChooseSaveFile(const std::string& proposed,
                                              const std::string& filter);
    // The "Current Device" choice after a login found damaged firmware: model and product
    // series positions; false when cancelled.
    bool ChooseDevice(int& model, int& series);

    // The "next answer" hook: each queued answer is used by one later question of its kind,
    // oldest first.
    void SetNextAnswer(bool yes);                           // AskYesNo, AskOkCancel
    void SetNextText(std::optional<std::string> text);      // AskText
    void SetNextFileName(std::optional<std::string> name);  // ChooseOpenFile, ChooseSaveFile
    void SetNextDevice(std::optional<std::pair<int, int>> device);  // ChooseDevice
    // Queued answers not used yet.
    std::size_t AnswersPending() const;

    // Wizard events. `code` is a WizardEvent (lib/WizardEvents.h).
    virtual void NotifyWizard(int code, const std::string& text) = 0;
    // `code` is an UpdatePageEvent (lib/UpdatePageEvents.h). Returns the answer of the two
    // questions: kUpdateAsk gives kAnswerOk (1) or kAnswerCancel (2), kUpdateConfirm gives
    // kConfirmUpdate (1) or kConfirmCancel (0); -1 for every other code and whenever no page
    // takes the event. Callers stop only on the explicit refusal (kAnswerCancel,
    // kConfirmCancel), so -1 lets the procedure go on.
    virtual int NotifyUpdatePage(int code, const std::string& text) = 0;
    // `code` is a CheckPageEvent (lib/CheckPageEvents.h). Always returns -1.
    virtual int NotifyCheckPage(int code, const std::string& text) = 0;

protected:
    // The front end's side of the questions (called only when no answer is queued).
    virtual bool OnAskYesNo(const std::string& text) = 0;
    virtual bool OnAskOkCancel(const std::string& text) = 0;
    virtual std::optional<std::string> OnAskText(const std::string& prompt, bool secret) = 0;
    virtual std::optional<std::string> OnChooseOpenFile(const std::string& proposed,
                                                        const std::string& filter) = 0;
    virtual std::optional<std::string> OnChooseSaveFile(const std::string& proposed,
                                                        const std::string& filter) = 0;
    virtual bool OnChooseDevice(int& model, int& series) = 0;

private:
    std::deque<bool> m_nextAnswers;
    std::deque<std::optional<std::string>> m_nextTexts;
    std::deque<std::optional<std::string>> m_nextFiles;
    std::deque<std::optional<std::pair<int, int>>> m_nextDevices;
};

}  // namespace vorn
