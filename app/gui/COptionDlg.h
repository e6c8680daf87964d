#pragma once
// "Options": update server, keep packages, the HTTP proxy with authentication. The checks
// and the save are app/OptionDialogRules; Cancel writes nothing.
#include <QDialog>

#include "app/LoadOptions.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace vorn::gui {

class CGuiOperator;

class COptionDlg : public QDialog {
public:
    COptionDlg(CGuiOperator& op, QWidget* parent);

    // The values accepted by OK.
    const OptionSettings& Values() const { return m_values; }

    QComboBox* ServerBox() { return m_server; }
    QCheckBox* ProxyBox() { return m_useProxy; }
    QCheckBox* AuthBox() { return m_needAuth; }
    QCheckBox* KeepBox() { return m_keep; }
    QLineEdit* AddressEdit() { return m_ip; }
    QLineEdit* PortEdit() { return m_port; }
    QLineEdit* UserEdit() { return m_user; }
    QLineEdit* PasswordEdit() { return m_password; }
    QPushButton* OkButton() { return m_ok; }
    QPushButton* CancelButton() { return m_cancel; }

    void accept() override;
    void OnView();
    void OnClear();

private:
    void UpdateEnables();

    CGuiOperator& m_op;
    OptionSettings m_values;
    QComboBox* m_server = nullptr;
    QCheckBox* m_useProxy = nullptr;
    QCheckBox* m_needAuth = nullptr;
    QCheckBox* m_keep = nullptr;
    QLineEdit* m_ip = nullptr;
    QLineEdit* m_port = nullptr;
    QLineEdit* m_user = nullptr;
    QLineEdit* m_password = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
};

}  // namespace vorn::gui
