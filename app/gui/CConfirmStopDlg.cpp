#include "app/gui/CConfirmStopDlg.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/gui/GuiLabels.h"
#include "app/gui/GuiText.h"

namespace vorn::gui {

CConfirmStopDlg::CConfirmStopDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(Label(L::ConfirmStopTitle));
    auto* text = new QLabel(Label(L::ConfirmStopText), this);
    text->setWordWrap(true);
    m_check = new QCheckBox(Label(L::ConfirmStopCheck), this);
    auto* box = new QDialogButtonBox(this);
    m_stop = box->addButton(Str(6793), QDialogButtonBox::AcceptRole);
    m_cancel = box->addButton(Str(6641), QDialogButtonBox::RejectRole);
    m_stop->setEnabled(false);
    m_cancel->setDefault(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addWidget(m_check);
    layout->addWidget(box);
    setMinimumWidth(380);
    connect(m_check, &QCheckBox::toggled, m_stop, &QPushButton::setEnabled);
    connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

}  // namespace vorn::gui
