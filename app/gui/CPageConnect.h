#pragma once
// The first page: the gateway's address (recent list), password, "Remember password", the
// search for gateways with its "Select Device" dialog, and the page's side of a connect
// attempt. The lockout and recent-address rules are app/ConnectRules.
#include <QPointer>
#include <QWidget>

#include <memory>
#include <string>

#include "app/RecentAddressList.h"
#include "app/gui/CSelectDeviceDlg.h"
#include "lib/WizardEvents.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace vorn::gui {

class CMainSheet;
class CGuiDeviceSearch;

class CPageConnect : public QWidget {
public:
    explicit CPageConnect(CMainSheet& sheet);
    ~CPageConnect() override;

    // The wizard's Next: checks the address (6773, 6797) and asks the wizard to connect.
    void ConnectAction();
    // The outcome of the attempt, with the 6798 warning ("" when none).
    void ConnectResult(int outcome, const std::string& warning);
    // A recent address picked in the list: fills its remembered password.
    void OnAddressPicked(int index);
    // "&Search...": starts the search and opens the "Select Device" dialog.
    void OnSearch();
    void FocusPassword();
    // The gateway at `address` and `port` took a new password (the console's Modify
    // Password): the page's list and, when it shows that gateway, its password field follow.
    void FollowPasswordChange(const std::string& address, int port, const std::string& password);

    QComboBox* AddressBox() { return m_address; }
    QLineEdit* PasswordEdit() { return m_password; }
    QCheckBox* RememberBox() { return m_remember; }
    QPushButton* SearchButton() { return m_search; }
    CSelectDeviceDlg* SelectDeviceDialog() { return m_dialog; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Refill();
    void SetControlsEnabled(bool on);
    void OnDevicePicked(const std::string& address);

    CMainSheet& m_sheet;
    RecentAddressList m_recent;
    QComboBox* m_address = nullptr;
    QLineEdit* m_password = nullptr;
    QCheckBox* m_remember = nullptr;
    QPushButton* m_search = nullptr;
    std::unique_ptr<CGuiDeviceSearch> m_deviceSearch;
    QPointer<CSelectDeviceDlg> m_dialog;
    QString m_flaggedAddress;  // the invalid address the last 6773 warning was about
};

}  // namespace vorn::gui
