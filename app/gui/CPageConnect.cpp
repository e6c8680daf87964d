#include "app/gui/CPageConnect.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "app/CSelectDevice.h"
#include "app/ConnectRules.h"
#include "app/ParseAddress.h"
#include "app/gui/CMainSheet.h"
#include "app/gui/CSelectDeviceDlg.h"
#include "app/gui/GuiLabels.h"
#include "app/gui/GuiText.h"
#include "app/gui/NamedComboAccessible.h"
#include "lib/WorkFolders.h"

namespace vorn::gui {

// The connect page's search, telling the dialog when the found list changed.
class CGuiDeviceSearch : public CDeviceSearch {
public:
    CGuiDeviceSearch(CWizardSearch& search, std::function<void(const std::string&)> picked,
                     std::function<void()> changed)
        : CDeviceSearch(search, std::move(picked)), m_changed(std::move(changed)) {}
    void OnGatewayFound(std::uint32_t address) override {
        CDeviceSearch::OnGatewayFound(address);
        m_changed();
    }
    void OnSearchFinished(const std::vector<std::uint32_t>& sorted) override {
        CDeviceSearch::OnSearchFinished(sorted);
        m_changed();
    }

private:
    std::function<void()> m_changed;
};

CPageConnect::CPageConnect(CMainSheet& sheet) : m_sheet(sheet) {
    m_address = new QComboBox(this);
    m_address->setEditable(true);
    m_address->setInsertPolicy(QComboBox::NoInsert);
    m_address->lineEdit()->setMaxLength(128);
    m_password = new QLineEdit(this);
    m_password->setEchoMode(QLineEdit::Password);
    m_remember = new QCheckBox(Label(L::RememberPassword), this);
    m_remember->setChecked(true);
    m_search = new QPushButton(Label(L::Search), this);
    m_search->setAutoDefault(false);

    auto* addressLabel = new QLabel(Label(L::IpAddress), this);
    addressLabel->setBuddy(m_address);
    // An editable combo box is announced by its text (the address) unless it has a name;
    // its edit field and its list are named alike.
    InstallNamedComboAccessibility();
    const QString addressName = AccessibleLabel(Label(L::IpAddress));
    m_address->setAccessibleName(addressName);
    m_address->lineEdit()->setAccessibleName(addressName);
    m_address->view()->setAccessibleName(addressName);
    auto* passwordLabel = new QLabel(Label(L::Password), this);
    passwordLabel->setBuddy(m_password);
    auto* hint = new QLabel(Label(L::Hint), this);
    hint->setWordWrap(true);

    auto* form = new QFormLayout;
    auto* addressRow = new QHBoxLayout;
    addressRow->addWidget(m_address, 1);
    addressRow->addWidget(m_search);
    form->addRow(addressLabel, addressRow);
    form->addRow(passwordLabel, m_password);
    form->addRow(QString(), m_remember);
    auto* layout = new QVBoxLayout(this);
    layout->addStretch();
    layout->addLayout(form);
    layout->addStretch();
    layout->addWidget(hint);
    // Tab leaves the address for the password, as a click does (that fills the remembered
    // password); "&Search..." follows the check box.
    setTabOrder(m_address, m_password);
    setTabOrder(m_password, m_remember);
    setTabOrder(m_remember, m_search);

    m_deviceSearch = std::make_unique<CGuiDeviceSearch>(
        sheet.Search(), [this](const std::string& a) { OnDevicePicked(a); },
        [this] {
            if (m_dialog) {
                m_dialog->Sync();
            }
        });
    sheet.Search().SetListener(m_deviceSearch.get());

    connect(m_address, &QComboBox::activated, this, &CPageConnect::OnAddressPicked);
    connect(m_address->lineEdit(), &QLineEdit::textEdited, m_password, &QLineEdit::clear);
    connect(m_search, &QPushButton::clicked, this, &CPageConnect::OnSearch);
    m_address->installEventFilter(this);

    NameFieldsByTheirLabels(this);

    m_recent.Load(WorkPath(RecentAddressList::kFileName, ""));
    Refill();
    m_address->setEditText(Q(m_recent.CurrentAddress()));
    m_password->setText(Q(m_recent.CurrentPassword()));
}

CPageConnect::~CPageConnect() {
    m_sheet.Search().SetListener(nullptr);
    delete m_dialog;
}

void CPageConnect::Refill() {
    const QString typed = m_address->currentText();
    m_address->clear();
    for (const RecentEntry& e : m_recent.Entries()) {
        m_address->addItem(Q(e.Text()));
    }
    m_address->setEditText(typed);
}

void CPageConnect::SetControlsEnabled(bool on) {
    for (QWidget* w :
         std::initializer_list<QWidget*>{m_address, m_password, m_remember, m_search}) {
        w->setEnabled(on);
    }
}

void CPageConnect::FocusPassword() {
    m_password->setFocus();
    m_password->selectAll();
}

void CPageConnect::ConnectAction() {
    const std::string address = S(m_address->currentText().trimmed());
    const ConnectCheck check = CheckConnectAllowed(address);
    if (!check.allowed) {
        m_sheet.Op().ShowMessage(check.message);
        return;
    }
    m_recent.SetCurrent(address, S(m_password->text()));
    SetControlsEnabled(false);
    const RememberMode remember =
        m_remember->isChecked() ? RememberMode::AddressAndPassword : RememberMode::AddressOnly;
    if (!m_sheet.Connect(check, S(m_password->text()), remember)) {
        SetControlsEnabled(true);
        setFocus();
    }
}

void CPageConnect::ConnectResult(int outcome, const std::string& warning) {
    SetControlsEnabled(true);
    // The attempt updated the files; the page shows them again.
    const std::string current = m_recent.CurrentAddress();
    const std::string password = m_recent.CurrentPassword();
    m_recent.Load(WorkPath(RecentAddressList::kFileName, ""));
    m_recent.SetCurrent(current, password);
    Refill();
    switch (outcome) {
        case kWizardConnected:
        case kWizardDeviceChosen:
            break;
        case kWizardLoginRefused:
            m_address->setEditText(Q(current));
            m_password->clear();
            break;
        default:
            m_address->setEditText(Q(current));
            m_password->setText(Q(password));
            break;
    }
    if (!warning.empty()) {
        m_sheet.Op().ShowMessage(warning);
    }
    m_password->selectAll();
}

void CPageConnect::FollowPasswordChange(const std::string& address, int port,
                                        const std::string& password) {
    const auto sameGateway = [&](const std::string& text) {
        const std::optional<ParsedAddress> a = ParseAddress(text);
        return a && a->address == address && a->ConnectPort() == port;
    };
    const QString typed = m_address->currentText();
    std::string current = m_recent.CurrentAddress();
    std::string currentPassword = m_recent.CurrentPassword();
    if (sameGateway(current)) {
        currentPassword = password;
    }
    m_recent.Load(WorkPath(RecentAddressList::kFileName, ""));
    m_recent.SetCurrent(std::move(current), std::move(currentPassword));
    Refill();
    if (sameGateway(S(typed.trimmed()))) {
        m_password->setText(Q(password));
    }
}

void CPageConnect::OnAddressPicked(int index) {
    if (index < 0) {
        return;
    }
    const QString text = m_address->itemText(index);
    m_address->setEditText(text);
    const RecentAddressList::LookupResult r = m_recent.Lookup(S(text));
    if (r.valid) {
        m_password->setText(Q(r.password));
        m_password->selectAll();
    }
}

bool CPageConnect::eventFilter(QObject* watched, QEvent* event) {
    // Leaving the address for the password fills the remembered password.
    if (watched == m_address && event->type() == QEvent::FocusOut && m_password->hasFocus()) {
        const QString typed = m_address->currentText().trimmed();
        const RecentAddressList::LookupResult r = m_recent.Lookup(S(typed));
        if (r.valid) {
            m_flaggedAddress.clear();
            m_password->setText(Q(r.password));
            m_password->selectAll();
        } else if (typed != m_flaggedAddress) {
            // Once per text: the next Tab goes on (Connect still refuses it), so the warning
            // never keeps the focus in the address. The box opens after the focus change.
            m_flaggedAddress = typed;
            QTimer::singleShot(0, this, [this] {
                m_sheet.Op().CommandFrom(&m_sheet);
                m_sheet.Op().ShowMessage(LoadStr(6773));
                m_address->setFocus();
            });
        }
    }
    return QWidget::eventFilter(watched, event);
}

void CPageConnect::OnSearch() {
    m_sheet.Op().CommandFrom(&m_sheet);
    if (!m_deviceSearch->Search()) {
        return;
    }
    delete m_dialog;
    m_dialog = new CSelectDeviceDlg(*m_deviceSearch, &m_sheet);
    m_dialog->Sync();
    m_dialog->show();
}

void CPageConnect::OnDevicePicked(const std::string& address) {
    m_address->setEditText(Q(address));
    const RecentAddressList::LookupResult r = m_recent.Lookup(address);
    m_password->setText(Q(r.password));
    m_address->setFocus();
    m_password->selectAll();
}

}  // namespace vorn::gui
