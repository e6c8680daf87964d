#include "app/gui/CConnectDeviceDlg.h"

#include "app/gui/CGuiOperator.h"
#include "app/gui/ConsoleLabels.h"
#include "app/gui/GuiText.h"

namespace vorn::gui {

CConnectDeviceDlg::CConnectDeviceDlg(CGuiOperator& op, const QString& address, QWidget* parent)
    : CFormDlg(ConsoleLabel(CL::ConnectTitle), parent), m_op(op) {
    m_address = AddLineEdit(ConsoleLabel(CL::IpAddress), QLineEdit::Normal);
    m_address->setText(address);
    m_address->selectAll();
    m_password = AddLineEdit(ConsoleLabel(CL::Password), QLineEdit::Password);
    m_password->setFocus();
}

std::string CConnectDeviceDlg::Password() const {
    return S(m_password->text());
}

bool CConnectDeviceDlg::Validate() {
    m_decision = DecideConsoleConnect(S(m_address->text()));
    if (m_decision.kind == ConsoleConnectDecision::Refuse) {
        m_op.ShowMessage(LoadStr(m_decision.refusal));
        m_address->setFocus();
        m_address->selectAll();
        return false;
    }
    return true;
}

}  // namespace vorn::gui
