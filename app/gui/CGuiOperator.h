#pragma once
// The Operator of the desktop program: messages and questions as message boxes and file
// dialogs over the wizard, wizard and update events handed to the wizard sheet. Unattended
// (tests), messages and unanswered questions are recorded and never shown: nothing blocks.
#include <QPointer>
#include <QWidget>

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
    void SetParentWidget(QWidget* parent) { m_parent = parent; }
    QWidget* ParentWidget() const { return m_parent; }
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

    CMainSheet* m_sheet = nullptr;
    QPointer<QWidget> m_parent;
    bool m_unattended = false;
    std::vector<std::string> m_messages;
    CConsoleSink* m_console = nullptr;
};

}  // namespace vorn::gui
