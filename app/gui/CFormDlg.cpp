#include "app/gui/CFormDlg.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/gui/GuiText.h"

namespace vorn::gui {

CFormDlg::CFormDlg(const QString& title, QWidget* parent) : QDialog(parent) {
    setWindowTitle(title);
    m_form = new QFormLayout;
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_ok = box->button(QDialogButtonBox::Ok);
    m_cancel = box->button(QDialogButtonBox::Cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(m_form);
    layout->addWidget(box);
    setMinimumWidth(320);
    connect(box, &QDialogButtonBox::accepted, this, &CFormDlg::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void CFormDlg::accept() {
    if (Validate()) {
        QDialog::accept();
    }
}

QLabel* CFormDlg::AddText(const QString& text) {
    auto* label = new QLabel(text, this);
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    m_form->addRow(label);
    return label;
}

void CFormDlg::AddRow(const QString& label, QWidget* field) {
    auto* l = new QLabel(label, this);
    l->setBuddy(field);
    field->setAccessibleName(AccessibleLabel(label));
    m_form->addRow(l, field);
}

QLineEdit* CFormDlg::AddLineEdit(const QString& label, QLineEdit::EchoMode mode) {
    auto* edit = new QLineEdit(this);
    edit->setEchoMode(mode);
    AddRow(label, edit);
    return edit;
}

}  // namespace vorn::gui
