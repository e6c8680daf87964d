#pragma once
// "Exchange NICs": the two NICs whose settings the gateway swaps.
#include <QDialog>

#include <string>

class QComboBox;
class QPushButton;

namespace vorn::gui {

class CExchangeNicsDlg : public QDialog {
public:
    explicit CExchangeNicsDlg(QWidget* parent);

    std::string Nic1() const;
    std::string Nic2() const;

    QComboBox* Nic1Box() { return m_nic1; }
    QComboBox* Nic2Box() { return m_nic2; }
    QPushButton* OkButton() { return m_ok; }
    QPushButton* CancelButton() { return m_cancel; }

private:
    QComboBox* m_nic1 = nullptr;
    QComboBox* m_nic2 = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
};

}  // namespace vorn::gui
