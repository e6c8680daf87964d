#include "app/gui/CGuiOperator.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

#include "app/gui/CCurrentDeviceDlg.h"
#include "app/gui/CMainSheet.h"
#include "app/gui/GuiText.h"

namespace vorn::gui {

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
    QMessageBox::information(m_parent, Str(6635), Q(text).trimmed());
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

bool CGuiOperator::OnAskYesNo(const std::string& text) {
    if (Recorded(text)) {
        return false;
    }
    return QMessageBox::question(m_parent, Str(6635), Q(text).trimmed(),
                                 QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

bool CGuiOperator::OnAskOkCancel(const std::string& text) {
    if (Recorded(text)) {
        return false;
    }
    return QMessageBox::question(m_parent, Str(6635), Q(text).trimmed(),
                                 QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
}

std::optional<std::string> CGuiOperator::OnAskText(const std::string& prompt, bool secret) {
    if (Recorded(prompt)) {
        return std::nullopt;
    }
    bool ok = false;
    const QString t =
        QInputDialog::getText(m_parent, Str(6635), Q(prompt),
                              secret ? QLineEdit::Password : QLineEdit::Normal, QString(), &ok);
    return ok ? std::optional<std::string>(S(t)) : std::nullopt;
}

std::optional<std::string> CGuiOperator::OnChooseOpenFile(const std::string& proposed,
                                                          const std::string& filter) {
    if (Recorded("open file: " + proposed)) {
        return std::nullopt;
    }
    const QString f = QFileDialog::getOpenFileName(
        m_parent, QString(), proposed.empty() ? QDir::currentPath() : Q(proposed),
        FileDialogFilter(filter));
    return f.isEmpty() ? std::nullopt : std::optional<std::string>(S(f));
}

std::optional<std::string> CGuiOperator::OnChooseSaveFile(const std::string& proposed,
                                                          const std::string& filter) {
    if (Recorded("save file: " + proposed)) {
        return std::nullopt;
    }
    const QString f =
        QFileDialog::getSaveFileName(m_parent, QString(), Q(proposed), FileDialogFilter(filter));
    return f.isEmpty() ? std::nullopt : std::optional<std::string>(S(f));
}

bool CGuiOperator::OnChooseDevice(int& model, int& series) {
    if (Recorded("choose device")) {
        return false;
    }
    // Over the window the person works in: the wizard or the console.
    QWidget* active = QApplication::activeWindow();
    CCurrentDeviceDlg dlg(active ? active : m_parent.data());
    if (dlg.exec() != QDialog::Accepted) {
        return false;
    }
    model = dlg.Model();
    series = dlg.Series();
    return true;
}

}  // namespace vorn::gui
