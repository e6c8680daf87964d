#pragma once
// "Ping...": the target the gateway pings (made safe for its shell by PingGateway).
#include <QDialog>

class QLineEdit;
class QPushButton;

namespace vorn::gui {

class CPingDlg : public QDialog {
public:
    explicit CPingDlg(QWidget* parent);

    QLineEdit* TargetEdit() { return m_target; }
    QPushButton* OkButton() { return m_ok; }
    QPushButton* CancelButton() { return m_cancel; }

private:
    QLineEdit* m_target = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
};

}  // namespace vorn::gui
