#pragma once
// "Confirm Stop?": stopping an update needs the box ticked before "&Stop" can be pressed.
#include <QDialog>

class QCheckBox;
class QPushButton;

namespace vorn::gui {

class CConfirmStopDlg : public QDialog {
public:
    explicit CConfirmStopDlg(QWidget* parent);

    QCheckBox* CheckBox() { return m_check; }
    QPushButton* StopButton() { return m_stop; }
    QPushButton* CancelButton() { return m_cancel; }

private:
    QCheckBox* m_check = nullptr;
    QPushButton* m_stop = nullptr;
    QPushButton* m_cancel = nullptr;
};

}  // namespace vorn::gui
