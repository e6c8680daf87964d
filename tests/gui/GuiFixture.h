#pragma once
// The wizard over the test chain: a temporary program folder, the simulator on 127.0.0.1 and
// a CMainSheet, unattended (messages recorded, questions never shown) unless a test asks for
// real message boxes.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "app/gui/CConfirmUpdateDlg.h"
#include "app/gui/CMainSheet.h"
#include "app/gui/CPageConnect.h"
#include "app/gui/CPageLoad.h"
#include "packages/ZipBridgeLoader.h"
#include "tests/common/GatewayChain.h"
#include "tests/common/UpdateSupport.h"
#include "tools/gateway-sim/SimScripts.h"

namespace vorn::test {

class GuiFixture : public ::testing::Test {
protected:
    void SetUp() override {
        InstallHelperScripts(m_folders.Prog(), VORN_SOURCE_DIR);
        std::string error;
        ASSERT_TRUE(LoadZipBridge(error, VORN_ZIPBRIDGE_PATH)) << error;
        m_sim = StartGatewaySim(m_folders.SimRoot(), {}, 300,
                                [](CGatewaySim& sim) { AddScriptCommands(sim); });
        ASSERT_TRUE(m_sim);
    }
    void TearDown() override {
        while (QWidget* w = QApplication::activeModalWidget()) {
            w->close();
        }
        m_sheet.reset();
        if (m_sim) {
            m_sim->Stop();
        }
    }

    gui::CMainSheet& Sheet() {
        if (!m_sheet) {
            m_sheet = std::make_unique<gui::CMainSheet>(!m_realBoxes);
            m_sheet->SetConnectTimeouts(10000, 3000);
            m_sheet->show();
        }
        return *m_sheet;
    }
    std::string Address() const { return "127.0.0.1:" + std::to_string(m_sim->Port()); }

    // Types address and password on the connect page and presses Next; waits for the end.
    void Connect(const std::string& password) {
        gui::CPageConnect* page = Sheet().ConnectPage();
        page->AddressBox()->setEditText(QString::fromStdString(Address()));
        page->PasswordEdit()->setText(QString::fromStdString(password));
        Sheet().NextButton()->click();
        ASSERT_TRUE(waitFor(
            [&] {
                return Sheet().Activity() == 0 && page->isEnabled() &&
                       page->AddressBox()->isEnabled();
            },
            20000));
    }
    bool HasMessage(const std::string& text) const {
        for (const std::string& m : m_sheet->Op().Messages()) {
            if (m == text) {
                return true;
            }
        }
        return false;
    }
    std::string Package(const std::string& name,
                        const std::map<std::string, std::string>& extra = {}) {
        return BuildSinglePackage(m_folders.Dir(), name, extra);
    }
    bool SimReceived(const std::string& text) const { return test::SimReceived(*m_sim, text); }
    // Starts the update of `package` from the load page; "&Update" is pressed as soon as
    // the confirmation dialog opens.
    void StartConfirmedUpdate(const std::string& package) {
        WhenReady([this] {
            gui::CConfirmUpdateDlg* dlg = Sheet().ConfirmDialog();
            if (!dlg)
                return false;
            dlg->UpdateButton()->click();
            return true;
        });
        Sheet().LoadPage()->PathEdit()->setText(QString::fromStdString(package));
        Sheet().NextButton()->click();
    }
    // The load page's Next with `package` after the pre-upgrade-check choice.
    void StartCheckedUpdate(const std::string& package) {
        Sheet().LoadPage()->PathEdit()->setText(QString::fromStdString(package));
        Sheet().LoadPage()->PreCheckRadio()->setChecked(true);
        Sheet().NextButton()->click();
    }
    // Presses the update page's "&Stop" as soon as it is enabled (it is held back while a
    // file is on its way) until the "Confirm Stop?" dialog is open.
    bool PressStop() {
        return waitFor(
            [this] {
                if (Sheet().ConfirmDialog() == nullptr && Sheet().BackButton()->isEnabled() &&
                    Sheet().Activity() == gui::CMainSheet::kUpdating)
                    QTest::mouseClick(Sheet().BackButton(), Qt::LeftButton);
                return Sheet().StopDialog() != nullptr;
            },
            60000);
    }
    // Calls `act` on every tick of the event loop (also inside modal dialogs) until it
    // returns true.
    void WhenReady(std::function<bool()> act) {
        auto* timer = new QTimer(m_sheet.get());
        QObject::connect(timer, &QTimer::timeout, timer, [timer, act] {
            if (act()) {
                timer->stop();
                timer->deleteLater();
            }
        });
        timer->start(20);
    }

    CTestFolders m_folders;
    // Set before the first Sheet(): messages and questions are real message boxes.
    bool m_realBoxes = false;
    std::unique_ptr<CGatewaySim> m_sim;
    std::unique_ptr<gui::CMainSheet> m_sheet;
};

}  // namespace vorn::test
