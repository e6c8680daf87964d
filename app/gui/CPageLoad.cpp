#include "app/gui/CPageLoad.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <filesystem>
#include <system_error>

#include "app/LoadPageRules.h"
#include "app/OptionsFile.h"
#include "app/gui/CMainSheet.h"
#include "app/gui/GuiLabels.h"
#include "app/gui/GuiText.h"

namespace vorn::gui {
namespace {

constexpr const char* kPackageFilter =
    "Kelmora UpdatePackage Files (*.ssu;*.cssu)|*.ssu;*.cssu|All Files (*.*)|*.*||";

}  // namespace

CPageLoad::CPageLoad(CMainSheet& sheet) : m_sheet(sheet) {
    m_version = new QLineEdit(this);
    m_version->setReadOnly(true);
    m_address = new QLineEdit(this);
    m_address->setReadOnly(true);
    auto* versionLabel = new QLabel(Label(L::DeviceVersion), this);
    versionLabel->setBuddy(m_version);
    auto* addressLabel = new QLabel(Label(L::DeviceAddress), this);
    addressLabel->setBuddy(m_address);

    auto* group = new QGroupBox(Label(L::UpdateMethod), this);
    m_path = new QLineEdit(group);
    m_browse = new QPushButton(Label(L::Browse), group);
    m_browse->setAutoDefault(false);
    auto* pathLabel = new QLabel(Label(L::PackagePath), group);
    pathLabel->setBuddy(m_path);
    m_direct = new QRadioButton(Label(L::InstallDirect), group);
    m_preCheck = new QRadioButton(Label(L::InstallPreCheck), group);
    m_direct->setChecked(true);
    auto* pathRow = new QHBoxLayout;
    pathRow->addWidget(pathLabel);
    pathRow->addWidget(m_path, 1);
    pathRow->addWidget(m_browse);
    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->addLayout(pathRow);
    groupLayout->addWidget(m_direct);
    groupLayout->addWidget(m_preCheck);

    auto* form = new QFormLayout;
    form->addRow(versionLabel, m_version);
    form->addRow(addressLabel, m_address);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(group);
    layout->addStretch();

    NameFieldsByTheirLabels(this);
    connect(m_browse, &QPushButton::clicked, this, &CPageLoad::OnBrowse);
}

void CPageLoad::SetGateway(const QString& address, const QString& version) {
    m_address->setText(address);
    m_version->setText(version.trimmed());
}

void CPageLoad::Refresh() {
    m_version->setText(Q(m_sheet.GatewayVersion()).trimmed());
    m_address->setText(Q(m_sheet.GatewayAddress()));
}

void CPageLoad::SetControlsEnabled(bool on) {
    for (QWidget* w : std::initializer_list<QWidget*>{m_path, m_browse, m_direct, m_preCheck}) {
        w->setEnabled(on);
    }
}

bool CPageLoad::PreCheck() const {
    return m_preCheck->isChecked();
}

void CPageLoad::OnBrowse() {
    // The file dialog starts in the current folder and gives it back afterwards.
    std::error_code ec;
    const std::filesystem::path cwd = std::filesystem::current_path(ec);
    m_sheet.Op().CommandFrom(&m_sheet);
    const std::optional<std::string> file = m_sheet.Op().ChooseOpenFile("", kPackageFilter);
    if (!ec) {
        std::filesystem::current_path(cwd, ec);
    }
    if (file) {
        m_path->setText(Q(*file));
    }
}

void CPageLoad::NextAction() {
    if (int err = SaveUpdateTypeLocal(); err != 0) {
        // The number alone does not say what to do: the file and the reason follow it.
        m_sheet.Op().ShowMessage(std::to_string(err) + "\n" + OptionSaveErrorText(err));
        return;
    }
    std::string path = S(m_path->text());
    if (int refusal = CheckPackagePath(path, PreCheck()); refusal != 0) {
        m_sheet.Op().ShowMessage(LoadStr(refusal));
        return;
    }
    if (m_sheet.Frame().SessionState != 0) {
        m_sheet.Op().ShowMessage(LoadStr(6553));
        return;
    }
    SetControlsEnabled(false);
    if (!m_sheet.StartUpdate(path, PreCheck())) {
        SetControlsEnabled(true);
    }
}

}  // namespace vorn::gui
