#pragma once
// "Modify NIC Settings": NIC, speed and an optional MTU. OK checks the choices with the
// core's CheckNicSettings and stays open on a refusal (6533, 6534, 6547).
#include <QDialog>

#include "operations/CMainFrame.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace vorn::gui {

class CGuiOperator;

class CModifyNicDlg : public QDialog {
public:
    CModifyNicDlg(CGuiOperator& op, QWidget* parent);

    // The choices as they stand (an MTU that is not a number reads as 0, which is refused).
    NicSettings Settings() const;

    QComboBox* NicBox() { return m_nic; }
    QComboBox* SpeedBox() { return m_speed; }
    QCheckBox* MtuBox() { return m_mtuCheck; }
    QLineEdit* MtuEdit() { return m_mtu; }
    QPushButton* OkButton() { return m_ok; }
    QPushButton* CancelButton() { return m_cancel; }

    void accept() override;

private:
    void UpdateEnables();

    CGuiOperator& m_op;
    QComboBox* m_nic = nullptr;
    QComboBox* m_speed = nullptr;
    QCheckBox* m_mtuCheck = nullptr;
    QLineEdit* m_mtu = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
};

}  // namespace vorn::gui
