#pragma once
// The command dialog of the unlocked console: "put" (upload a local file to a remote path),
// "get" (download a remote file) or "exec" (run a command line), with its text.
#include <QDialog>

#include <string>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace vorn::gui {

class CGuiOperator;

class CCommandConsoleDlg : public QDialog {
public:
    enum Action : int { kPut = 0, kGet = 1, kExec = 2 };

    CCommandConsoleDlg(CGuiOperator& op, QWidget* parent);

    Action Chosen() const;
    std::string Text() const;

    QComboBox* ActionBox() { return m_action; }
    QLineEdit* TextEdit() { return m_text; }
    QPushButton* OkButton() { return m_ok; }
    QPushButton* CancelButton() { return m_cancel; }

    // An empty text is refused (6783) and the dialog stays open.
    void accept() override;

private:
    void UpdateHint();

    CGuiOperator& m_op;
    QComboBox* m_action = nullptr;
    QLineEdit* m_text = nullptr;
    QLabel* m_hint = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
};

}  // namespace vorn::gui
