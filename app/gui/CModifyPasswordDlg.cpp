#include "app/gui/CModifyPasswordDlg.h"

#include "app/gui/CGuiOperator.h"
#include "app/gui/ConsoleLabels.h"
#include "app/gui/GuiText.h"
#include "link/CGatewaySession.h"

namespace vorn::gui {

CModifyPasswordDlg::CModifyPasswordDlg(CGuiOperator& op, QWidget* parent)
    : CFormDlg(ConsoleLabel(CL::ModifyPasswordTitle), parent), m_op(op) {
    m_new = AddLineEdit(ConsoleLabel(CL::NewPassword), QLineEdit::Password);
    m_confirm = AddLineEdit(ConsoleLabel(CL::Confirm), QLineEdit::Password);
    m_new->setFocus();
}

std::string CModifyPasswordDlg::Password() const {
    return S(m_new->text());
}

bool CModifyPasswordDlg::Validate() {
    if (const int refusal =
            CGatewaySession::CheckNewPassword(S(m_new->text()), S(m_confirm->text()))) {
        m_op.ShowMessage(LoadStr(refusal));
        (refusal == 6785 ? m_new : m_confirm)->setFocus();
        return false;
    }
    return true;
}

}  // namespace vorn::gui
