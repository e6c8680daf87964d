#include "app/gui/CModifyNicDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>

#include "app/gui/CGuiOperator.h"
#include "app/gui/CommandLabels.h"
#include "app/gui/GuiText.h"
#include "app/gui/OkCancelBox.h"

namespace vorn::gui {

CModifyNicDlg::CModifyNicDlg(CGuiOperator& op, QWidget* parent) : QDialog(parent), m_op(op) {
    setWindowTitle(CommandLabel(CML::ModifyNicTitle));
    m_nic = new QComboBox(this);
    for (const std::string& name : NicNames()) m_nic->addItem(Q(name));
    m_nic->setCurrentIndex(-1);
    m_speed = new QComboBox(this);
    for (const std::string& speed : NicSpeeds()) {
        const QString shown =
            speed == NicSpeeds().front() ? CommandLabel(CML::AutoNegotiation) : Q(speed);
        m_speed->addItem(shown, Q(speed));
    }
    m_speed->setCurrentIndex(-1);
    m_mtuCheck = new QCheckBox(CommandLabel(CML::Mtu), this);
    m_mtu = new QLineEdit(this);
    m_mtu->setMaxLength(5);
    m_mtu->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), m_mtu));
    m_mtu->setAccessibleName(AccessibleLabel(CommandLabel(CML::Mtu)));
    m_mtu->setAccessibleDescription(CommandLabel(CML::MtuHint));

    auto* nicLabel = new QLabel(CommandLabel(CML::Nic), this);
    nicLabel->setBuddy(m_nic);
    auto* speedLabel = new QLabel(CommandLabel(CML::Speed), this);
    speedLabel->setBuddy(m_speed);
    auto* grid = new QGridLayout;
    grid->addWidget(nicLabel, 0, 0);
    grid->addWidget(m_nic, 0, 1, 1, 2);
    grid->addWidget(speedLabel, 1, 0);
    grid->addWidget(m_speed, 1, 1, 1, 2);
    grid->addWidget(m_mtuCheck, 2, 0);
    grid->addWidget(m_mtu, 2, 1);
    grid->addWidget(new QLabel(CommandLabel(CML::MtuHint), this), 2, 2);
    grid->setColumnStretch(1, 1);

    QDialogButtonBox* box = AddOkCancel(*this, grid);
    m_ok = box->button(QDialogButtonBox::Ok);
    m_cancel = box->button(QDialogButtonBox::Cancel);
    setMinimumWidth(320);

    connect(m_mtuCheck, &QCheckBox::toggled, this, &CModifyNicDlg::UpdateEnables);
    connect(m_nic, &QComboBox::currentIndexChanged, this, &CModifyNicDlg::UpdateEnables);
    UpdateEnables();
}

NicSettings CModifyNicDlg::Settings() const {
    NicSettings s;
    s.nic = S(m_nic->currentText());
    if (IsNicName(s.nic, "eth")) {
        s.speed = S(m_speed->currentData().toString());
    }
    if (m_mtuCheck->isChecked()) {
        bool ok = false;
        const int mtu = m_mtu->text().toInt(&ok);
        s.mtu = ok ? mtu : 0;
    }
    return s;
}

void CModifyNicDlg::accept() {
    if (const int refusal = CheckNicSettings(Settings())) {
        CGuiOperator::CDialogScope overThis(m_op, this);
        m_op.ShowMessage(LoadStr(refusal));
        return;
    }
    QDialog::accept();
}

void CModifyNicDlg::UpdateEnables() {
    // A ppp entry has no speed to set.
    m_speed->setEnabled(!IsNicName(S(m_nic->currentText()), "ppp"));
    m_mtu->setEnabled(m_mtuCheck->isChecked());
}

}  // namespace vorn::gui
