#include "app/gui/CExchangeNicsDlg.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>

#include "app/gui/CommandLabels.h"
#include "app/gui/GuiText.h"
#include "app/gui/OkCancelBox.h"
#include "operations/CMainFrame.h"

namespace vorn::gui {

CExchangeNicsDlg::CExchangeNicsDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(CommandLabel(CML::ExchangeTitle));
    m_nic1 = new QComboBox(this);
    m_nic2 = new QComboBox(this);
    for (const std::string& name : NicNames()) {
        if (IsNicName(name, "eth")) {
            m_nic1->addItem(Q(name));
            m_nic2->addItem(Q(name));
        }
    }
    m_nic2->setCurrentIndex(1);
    auto* form = new QFormLayout;
    form->addRow(CommandLabel(CML::Nic1), m_nic1);
    form->addRow(CommandLabel(CML::Nic2), m_nic2);
    QDialogButtonBox* box = AddOkCancel(*this, form);
    m_ok = box->button(QDialogButtonBox::Ok);
    m_cancel = box->button(QDialogButtonBox::Cancel);
    setMinimumWidth(260);
}

std::string CExchangeNicsDlg::Nic1() const {
    return S(m_nic1->currentText());
}

std::string CExchangeNicsDlg::Nic2() const {
    return S(m_nic2->currentText());
}

}  // namespace vorn::gui
