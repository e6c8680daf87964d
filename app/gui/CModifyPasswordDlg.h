#pragma once
// "Modify Password" of the console: the new password twice; empty or different entries are
// refused (6785, 6546) and the dialog stays open.
#include "app/gui/CFormDlg.h"

#include <string>

namespace vorn::gui {

class CGuiOperator;

class CModifyPasswordDlg : public CFormDlg {
public:
    CModifyPasswordDlg(CGuiOperator& op, QWidget* parent);

    QLineEdit* NewPasswordEdit() { return m_new; }
    QLineEdit* ConfirmEdit() { return m_confirm; }
    std::string Password() const;

protected:
    bool Validate() override;

private:
    CGuiOperator& m_op;
    QLineEdit* m_new = nullptr;
    QLineEdit* m_confirm = nullptr;
};

}  // namespace vorn::gui
