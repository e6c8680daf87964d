#include "app/gui/CGuiOperator.h"

#include <QDir>
#include <QFileDialog>
#include <QInputDialog>

#include "app/gui/CCurrentDeviceDlg.h"
#include "app/gui/CMainSheet.h"
#include "app/gui/GuiText.h"
#include "app/gui/PlainMessageBox.h"

namespace vorn::gui {

CGuiOperator::CDialogScope::CDialogScope(CGuiOperator& op, QWidget* parent, const QString& caption)
    : m_op(op), m_parentBefore(op.m_scoped), m_captionBefore(op.m_caption) {
    m_op.m_scoped = parent;
    if (!caption.isEmpty()) {
        m_op.m_caption = caption;
    }
}

CGuiOperator::CDialogScope::~CDialogScope() {
    m_op.m_scoped = m_parentBefore;
    m_op.m_caption = m_captionBefore;
}

QWidget* CGuiOperator::DialogParent() const {
    if (m_scoped) {
        return m_scoped;
    }
    return m_origin ? m_origin.data() : m_parent.data();
}

QString CGuiOperator::Caption() const {
    return m_caption.isEmpty() ? Str(6635) : m_caption;
}

bool CGuiOperator::Recorded(const std::string& text) {
    if (!m_unattended) {
        return false;
    }
    m_messages.push_back(text);
    return true;
}

void CGuiOperator::AppendConsole(const std::string& text, std::uint32_t colour) {
    if (m_console) {
        m_console->Append(text, colour);
    }
}

void CGuiOperator::SetProgressAnchor() {
    if (m_console) {
        m_console->SetAnchor();
    }
}

void CGuiOperator::ReplaceProgress(const std::string& text, std::uint32_t colour) {
    if (m_console) {
        m_console->ReplaceFromAnchor(text, colour);
    }
}

void CGuiOperator::SetWindowTitle(const std::string& title) {
    // The console's title; the wizard sets its own from its state.
    if (m_console) {
        m_console->SetTitle(title);
    }
}

void CGuiOperator::ShowMessage(const std::string& text) {
    if (Recorded(text)) {
        return;
    }
    m_waiting.push_back({DialogParent(), Caption(), Q(text).trimmed()});
    if (m_boxesOpen == 0) {
        ShowWaitingMessages();
    }
}

void CGuiOperator::ShowWaitingMessages() {
    // A message that comes while one is shown (its box serves events) waits its turn here.
    while (m_boxesOpen == 0 && !m_waiting.empty()) {
        const CWaitingMessage m = m_waiting.front();
        m_waiting.pop_front();
        ++m_boxesOpen;
        RunPlainBox(m.parent, QMessageBox::Information, m.caption, m.text, QMessageBox::Ok,
                    QMessageBox::Ok);
        --m_boxesOpen;
    }
}

bool CGuiOperator::Ask(const std::string& text, int yes, int no) {
    ++m_boxesOpen;
    const QMessageBox::StandardButton answer = RunPlainBox(
        DialogParent(), QMessageBox::Question, Caption(), Q(text).trimmed(),
        QMessageBox::StandardButtons(yes | no), static_cast<QMessageBox::StandardButton>(no));
    --m_boxesOpen;
    ShowWaitingMessages();
    return answer == yes;
}

void CGuiOperator::NotifyWizard(int code, const std::string& text) {
    if (m_sheet) {
        m_sheet->NotifyWizard(code, text);
    }
}

int CGuiOperator::NotifyUpdatePage(int code, const std::string& text) {
    return m_sheet ? m_sheet->NotifyUpdatePage(code, text) : -1;
}

int CGuiOperator::NotifyCheckPage(int code, const std::string& text) {
    return m_sheet ? m_sheet->NotifyCheckPage(code, text) : -1;
}

// Every question of the program changes a gateway or deletes local data: No / Cancel is the
// default, so Enter never proceeds.
bool CGuiOperator::OnAskYesNo(const std::string& text) {
    if (Recorded(text)) {
        return false;
    }
    return Ask(text, QMessageBox::Yes, QMessageBox::No);
}

bool CGuiOperator::OnAskOkCancel(const std::string& text) {
    if (Recorded(text)) {
        return false;
    }
    return Ask(text, QMessageBox::Ok, QMessageBox::Cancel);
}

std::optional<std::string> CGuiOperator::OnAskText(const std::string& prompt, bool secret) {
    if (Recorded(prompt)) {
        return std::nullopt;
    }
    bool ok = false;
    const QString t =
        QInputDialog::getText(DialogParent(), Caption(), Q(prompt),
                              secret ? QLineEdit::Password : QLineEdit::Normal, QString(), &ok);
    return ok ? std::optional<std::string>(S(t)) : std::nullopt;
}

std::optional<std::string> CGuiOperator::OnChooseOpenFile(const std::string& proposed,
                                                          const std::string& filter) {
    if (Recorded("open file: " + proposed)) {
        return std::nullopt;
    }
    const QString f = QFileDialog::getOpenFileName(
        DialogParent(), QString(), proposed.empty() ? QDir::currentPath() : Q(proposed),
        FileDialogFilter(filter));
    return f.isEmpty() ? std::nullopt : std::optional<std::string>(S(f));
}

std::optional<std::string> CGuiOperator::OnChooseSaveFile(const std::string& proposed,
                                                          const std::string& filter) {
    if (Recorded("save file: " + proposed)) {
        return std::nullopt;
    }
    const QString f = QFileDialog::getSaveFileName(DialogParent(), QString(), Q(proposed),
                                                   FileDialogFilter(filter));
    return f.isEmpty() ? std::nullopt : std::optional<std::string>(S(f));
}

bool CGuiOperator::OnChooseDevice(int& model, int& series) {
    if (Recorded("choose device")) {
        return false;
    }
    CCurrentDeviceDlg dlg(DialogParent());
    if (dlg.exec() != QDialog::Accepted) {
        return false;
    }
    model = dlg.Model();
    series = dlg.Series();
    return true;
}

}  // namespace vorn::gui
