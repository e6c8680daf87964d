#include "app/gui/COptionDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include <filesystem>

#include "app/OptionDialogRules.h"
#include "app/gui/CGuiOperator.h"
#include "app/gui/GuiLabels.h"
#include "app/gui/GuiText.h"
#include "lib/WorkFolders.h"

namespace vorn::gui {
namespace {

QLineEdit* Edit(int maxLength, QWidget* parent) {
    auto* e = new QLineEdit(parent);
    e->setMaxLength(maxLength);
    return e;
}

}  // namespace

COptionDlg::COptionDlg(CGuiOperator& op, QWidget* parent) : QDialog(parent), m_op(op) {
    setWindowTitle(Label(L::OptionsTitle));
    m_values = LoadOptions();

    m_server = new QComboBox(this);
    m_server->addItems({Label(L::AutoSelect), Label(L::Shenzhen), Label(L::Shanghai)});
    m_server->setCurrentIndex(std::clamp(m_values.updateServer, 0, 2));
    auto* serverLabel = new QLabel(Label(L::UpdateServer), this);
    serverLabel->setBuddy(m_server);
    m_keep = new QCheckBox(Label(L::KeepPackages), this);
    m_keep->setChecked(m_values.savePackage);
    auto* view = new QPushButton(Label(L::View), this);
    auto* clear = new QPushButton(Label(L::Clear), this);
    for (QPushButton* b : {view, clear}) {
        b->setAutoDefault(false);
    }

    auto* proxy = new QGroupBox(this);
    m_useProxy = new QCheckBox(Label(L::UseProxy), proxy);
    m_useProxy->setChecked(m_values.useProxy);
    m_ip = Edit(128, proxy);
    m_ip->setText(Q(m_values.proxyIp));
    m_port = Edit(8, proxy);
    m_port->setText(Q(m_values.proxyPort));
    m_needAuth = new QCheckBox(Label(L::NeedAuth), proxy);
    m_needAuth->setChecked(m_values.needAuth);
    m_user = Edit(128, proxy);
    m_user->setText(Q(m_values.authUser));
    m_password = Edit(128, proxy);
    m_password->setEchoMode(QLineEdit::Password);
    m_password->setText(Q(m_values.authPassword));
    auto* proxyForm = new QFormLayout;
    auto addRow = [&](L label, QLineEdit* edit) {
        auto* l = new QLabel(Label(label), proxy);
        l->setBuddy(edit);
        proxyForm->addRow(l, edit);
    };
    addRow(L::ProxyAddress, m_ip);
    addRow(L::ProxyPort, m_port);
    proxyForm->addRow(m_needAuth);
    addRow(L::UserName, m_user);
    addRow(L::ProxyPassword, m_password);
    auto* proxyLayout = new QVBoxLayout(proxy);
    proxyLayout->addWidget(m_useProxy);
    proxyLayout->addLayout(proxyForm);

    auto* serverRow = new QHBoxLayout;
    serverRow->addWidget(serverLabel);
    serverRow->addWidget(m_server, 1);
    auto* keepRow = new QHBoxLayout;
    keepRow->addWidget(m_keep, 1);
    keepRow->addWidget(view);
    keepRow->addWidget(clear);
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_ok = box->button(QDialogButtonBox::Ok);
    m_cancel = box->button(QDialogButtonBox::Cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(serverRow);
    layout->addLayout(keepRow);
    layout->addWidget(proxy);
    layout->addWidget(box);

    connect(m_useProxy, &QCheckBox::clicked, this, [this] {
        if (!m_useProxy->isChecked()) {
            m_needAuth->setChecked(false);
        }
        UpdateEnables();
    });
    connect(m_needAuth, &QCheckBox::clicked, this, &COptionDlg::UpdateEnables);
    connect(view, &QPushButton::clicked, this, &COptionDlg::OnView);
    connect(clear, &QPushButton::clicked, this, &COptionDlg::OnClear);
    connect(box, &QDialogButtonBox::accepted, this, &COptionDlg::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
    NameFieldsByTheirLabels(this);
    UpdateEnables();
}

void COptionDlg::UpdateEnables() {
    const bool proxy = m_useProxy->isChecked();
    m_ip->setEnabled(proxy);
    m_port->setEnabled(proxy);
    m_needAuth->setEnabled(proxy);
    const bool auth = proxy && m_needAuth->isChecked();
    m_user->setEnabled(auth);
    m_password->setEnabled(auth);
    // A field's label greys out with it.
    for (QLabel* label : findChildren<QLabel*>()) {
        if (QWidget* buddy = label->buddy()) {
            label->setEnabled(buddy->isEnabled());
        }
    }
}

void COptionDlg::accept() {
    OptionSettings v = m_values;
    v.updateServer = m_server->currentIndex();
    v.savePackage = m_keep->isChecked();
    v.useProxy = m_useProxy->isChecked();
    v.needAuth = m_needAuth->isChecked();
    v.proxyIp = S(m_ip->text());
    v.proxyPort = S(m_port->text());
    v.authUser = S(m_user->text());
    v.authPassword = S(m_password->text());
    const std::filesystem::path path = OptionFilePath();
    COptionFile file;
    file.Load(path);
    const OptionProblem problem = AcceptOptions(file, v, path);
    m_ip->setText(Q(v.proxyIp));
    m_user->setText(Q(v.authUser));
    if (!problem.ok()) {
        if (!problem.message.empty()) {
            CGuiOperator::CDialogScope overThis(m_op, this);
            m_op.ShowMessage(problem.message);
        }
        switch (problem.field) {
            case OptionField::ProxyIp:
                m_ip->setFocus();
                break;
            case OptionField::ProxyPort:
                m_port->setFocus();
                break;
            case OptionField::User:
                m_user->setFocus();
                break;
            case OptionField::Password:
                m_password->setFocus();
                break;
            default:
                break;
        }
        return;
    }
    m_values = v;
    QDialog::accept();
}

void COptionDlg::OnView() {
    const std::filesystem::path folder = WorkPath("", "Download");
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    QDesktopServices::openUrl(QUrl::fromLocalFile(Q(folder.string())));
}

void COptionDlg::OnClear() {
    CGuiOperator::CDialogScope overThis(m_op, this, Str(6705));
    if (!m_op.AskOkCancel(LoadStr(6704))) {
        return;
    }
    ClearWorkFolder("oldpkg");
    ClearWorkFolder("Download");
    m_op.ShowMessage(LoadStr(6706));
}

}  // namespace vorn::gui
