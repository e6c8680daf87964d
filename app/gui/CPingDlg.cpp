#include "app/gui/CPingDlg.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/gui/CommandLabels.h"
#include "app/gui/OkCancelBox.h"

namespace vorn::gui {

CPingDlg::CPingDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(CommandLabel(CML::PingTitle));
    auto* label = new QLabel(CommandLabel(CML::PingTarget), this);
    m_target = new QLineEdit(this);
    m_target->setMinimumWidth(240);
    label->setBuddy(m_target);
    auto* row = new QHBoxLayout;
    row->addWidget(label);
    row->addWidget(m_target, 1);
    QDialogButtonBox* box = AddOkCancel(*this, row);
    m_ok = box->button(QDialogButtonBox::Ok);
    m_cancel = box->button(QDialogButtonBox::Cancel);
}

}  // namespace vorn::gui
