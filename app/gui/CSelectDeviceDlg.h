#pragma once
// The "Select Device" dialog: shows the state of app/CSelectDevice (rows, status, selection,
// Refresh) and forwards the buttons to it. Opened without blocking; the wizard is disabled
// while it is open.
#include <QDialog>

class QLabel;
class QPushButton;
class QTableWidget;

namespace vorn {
class CDeviceSearch;
}

namespace vorn::gui {

class CSelectDeviceDlg : public QDialog {
public:
    CSelectDeviceDlg(CDeviceSearch& search, QWidget* parent);

    // Shows the dialog state again (after a search event or a button).
    void Sync();

    QTableWidget* List() { return m_list; }
    QLabel* StatusLabel() { return m_status; }
    QPushButton* OkButton() { return m_ok; }
    QPushButton* RefreshButton() { return m_refresh; }
    void Ok();
    void Cancel();
    void Refresh();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void reject() override { Cancel(); }

private:
    CDeviceSearch& m_search;
    QTableWidget* m_list = nullptr;
    QLabel* m_status = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
    QPushButton* m_refresh = nullptr;
};

}  // namespace vorn::gui
