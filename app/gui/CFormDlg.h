#pragma once
// A small dialog of labelled fields with OK and Cancel; OK closes it only when the subclass
// accepts the entries (a refusal shows its message and leaves the dialog open).
#include <QDialog>
#include <QLineEdit>

class QFormLayout;
class QLabel;
class QPushButton;

namespace vorn::gui {

class CFormDlg : public QDialog {
public:
    QPushButton* OkButton() { return m_ok; }
    QPushButton* CancelButton() { return m_cancel; }
    void accept() override;

protected:
    CFormDlg(const QString& title, QWidget* parent);
    // A text above the fields.
    QLabel* AddText(const QString& text);
    // A field with its label (the label's buddy, so it names the field for screen readers).
    void AddRow(const QString& label, QWidget* field);
    QLineEdit* AddLineEdit(const QString& label, QLineEdit::EchoMode mode);
    // OK pressed: true closes the dialog.
    virtual bool Validate() = 0;

private:
    QFormLayout* m_form = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
};

}  // namespace vorn::gui
