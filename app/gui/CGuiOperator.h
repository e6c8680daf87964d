#pragma once
// The Operator of the desktop program: messages and questions as message boxes and file
// dialogs, wizard and update events handed to the wizard sheet. Unattended (tests), messages
// and unanswered questions are recorded and never shown: nothing blocks.
//
// Boxes show their text as plain text; a question's default is the answer that does nothing.
// They open over the window the current command came from (the wizard or the console), or
// over a dialog that asks about itself (CDialogScope). A message that arrives while a box of
// ours is open waits for it to close, so messages are read in the order they came.
#include <QPointer>
#include <QString>
#include <QWidget>

#include <deque>
#include <string>
#include <vector>

#include "lib/Operator.h"

namespace vorn::gui {

class CMainSheet;

// Where the console output of the core is shown.
class CConsoleSink {
public:
    virtual ~CConsoleSink() = default;
    virtual void Append(const std::string& text, std::uint32_t colour) = 0;
    // The progress anchor is the current end; ReplaceFromAnchor replaces what follows it.
    virtual void SetAnchor() = 0;
    virtual void ReplaceFromAnchor(const std::string& text, std::uint32_t colour) = 0;
    virtual void SetTitle(const std::string& title) = 0;
};

class CGuiOperator : public Operator {
public:
    void SetSheet(CMainSheet* sheet) { m_sheet = sheet; }
    // The window boxes open over when no command said where it came from.
    void SetParentWidget(QWidget* parent) { m_parent = parent; }
    // A command starts in `window`: its boxes and file dialogs, also those that come later
    // from the gateway's replies, open over it until a command starts elsewhere.
    void CommandFrom(QWidget* window) { m_origin = window; }
    // Where the next box or file dialog opens.
    QWidget* DialogParent() const;
    // While one lives, boxes and file dialogs open over `parent` (a dialog that checks its
    // own entries), with `caption` as their title when it is not empty.
    class CDialogScope {
    public:
        CDialogScope(CGuiOperator& op, QWidget* parent, const QString& caption = {});
        ~CDialogScope();
        CDialogScope(const CDialogScope&) = delete;
        CDialogScope& operator=(const CDialogScope&) = delete;

    private:
        CGuiOperator& m_op;
        QPointer<QWidget> m_parentBefore;
        QString m_captionBefore;
    };
    // Tests: record messages and questions instead of showing them; a question without a
    // queued answer is answered No / Cancel.
    void SetUnattended(bool on) { m_unattended = on; }
    bool Unattended() const { return m_unattended; }
    const std::vector<std::string>& Messages() const { return m_messages; }
    void ClearMessages() { m_messages.clear(); }
    // Console text and title go here (the console window); null for none.
    void SetConsoleSink(CConsoleSink* sink) { m_console = sink; }

    void AppendConsole(const std::string& text, std::uint32_t colour) override;
    void SetProgressAnchor() override;
    void ReplaceProgress(const std::string& text, std::uint32_t colour) override;
    void SetWindowTitle(const std::string& title) override;
    void ShowMessage(const std::string& text) override;
    void NotifyWizard(int code, const std::string& text) override;
    int NotifyUpdatePage(int code, const std::string& text) override;
    int NotifyCheckPage(int code, const std::string& text) override;

protected:
    bool OnAskYesNo(const std::string& text) override;
    bool OnAskOkCancel(const std::string& text) override;
    std::optional<std::string> OnAskText(const std::string& prompt, bool secret) override;
    std::optional<std::string> OnChooseOpenFile(const std::string& proposed,
                                                const std::string& filter) override;
    std::optional<std::string> OnChooseSaveFile(const std::string& proposed,
                                                const std::string& filter) override;
    bool OnChooseDevice(int& model, int& series) override;

private:
    // Records the text when unattended; true when nothing is to be shown.
    bool Recorded(const std::string& text);
    QString Caption() const;
    // A question box with `buttons`; true for `yes`. The default and escape button is `no`.
    bool Ask(const std::string& text, int yes, int no);
    // Shows the messages that waited for a box to close.
    void ShowWaitingMessages();

    struct CWaitingMessage {
        QPointer<QWidget> parent;
        QString caption;
        QString text;
    };

    CMainSheet* m_sheet = nullptr;
    QPointer<QWidget> m_parent;
    QPointer<QWidget> m_origin;
    QPointer<QWidget> m_scoped;
    QString m_caption;
    int m_boxesOpen = 0;
    std::deque<CWaitingMessage> m_waiting;
    bool m_unattended = false;
    std::vector<std::string> m_messages;
    CConsoleSink* m_console = nullptr;
};

}  // namespace vorn::gui
