#pragma once
// "Connect Device" of the console: address (preset with the last one) and password.
#include "app/ConsoleConnect.h"
#include "app/gui/CFormDlg.h"

namespace vorn::gui {

class CGuiOperator;

class CConnectDeviceDlg : public CFormDlg {
public:
    CConnectDeviceDlg(CGuiOperator& op, const QString& address, QWidget* parent);

    QLineEdit* AddressEdit() { return m_address; }
    QLineEdit* PasswordEdit() { return m_password; }
    // After OK: what the entered address leads to, and the password.
    const ConsoleConnectDecision& Decision() const { return m_decision; }
    std::string Password() const;

protected:
    bool Validate() override;

private:
    CGuiOperator& m_op;
    QLineEdit* m_address = nullptr;
    QLineEdit* m_password = nullptr;
    ConsoleConnectDecision m_decision;
};

}  // namespace vorn::gui
