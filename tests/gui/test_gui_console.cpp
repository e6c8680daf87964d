// The technical support console driven through its menus and dialogs against the simulator.
// Searches are aimed at responders on 127.0.0.1; nothing here broadcasts.
#include <QAction>
#include <QComboBox>
#include <QFileDialog>
#include <QMenuBar>
#include <QSignalSpy>
#include <QTest>

#include "app/RecentAddressList.h"
#include "app/gui/CConfirmUpdateDlg.h"
#include "app/gui/CConnectDeviceDlg.h"
#include "app/gui/CConsoleView.h"
#include "app/gui/CConsoleWindow.h"
#include "app/gui/CCurrentDeviceDlg.h"
#include "app/gui/CModifyPasswordDlg.h"
#include "app/gui/CPageLoad.h"
#include "app/gui/CPageUpdate.h"
#include "lib/Text.h"
#include "lib/WorkFolders.h"
#include "packages/BackupFile.h"
#include "packages/ProductTags.h"
#include "tests/gui/GuiFixture.h"
#include "tools/gateway-sim/SimDiscovery.h"

namespace vorn::test {
namespace {

using C = ConsoleCommand;
using gui::CConsoleWindow;

// The console's own items, in the order of the expectation strings below.
const C kItems[] = {C::ConnectDevice,          C::Disconnect,       C::Search,
                    C::ModifyPassword,         C::BackupConfig,     C::RestoreBackup,
                    C::RestoreFactoryDefaults, C::DeviceUpdateLogs, C::LocalUpdateLogs,
                    C::DeleteLocalLogs};
constexpr const char* kBeforeLogin = "1.1.....11";
constexpr const char* kLoggedIn = ".1.1111111";
constexpr const char* kBusy = ".1........";

class GuiConsole : public GuiFixture {
protected:
    CConsoleWindow& Console() {
        if (!m_prepared) {
            m_prepared = true;
            Sheet().Console()->SetConnectPort(m_sim->Port());
            // Never a broadcast: a search without a responder goes to a closed local port.
            Sheet().Frame().SetDiscoveryTarget({"127.0.0.1", 9});
            Sheet().Frame().SetSearchTime(300);
        }
        return *Sheet().Console();
    }
    QAction* Item(C c) { return Console().Action(c); }
    std::string States() {
        std::string s;
        for (C c : kItems) s += Item(c)->isEnabled() ? '1' : '.';
        return s;
    }
    // The Command menu as a whole, its "ping" item and its "nicModify" item.
    std::string CommandStates() {
        QMenu* menu = Console().CommandMenu();
        std::string s;
        for (QAction* a : {menu->menuAction(), menu->findChild<QAction*>("ping"),
                           menu->findChild<QAction*>("nicModify")}) {
            s += a && a->isEnabled() ? '1' : '.';
        }
        return s;
    }
    std::string Text() { return Console().Text().toStdString(); }
    bool Idle(int ms = 20000) {
        return waitFor([&] { return Sheet().Frame().SessionState == 0; }, ms);
    }
    // The colour of the first occurrence of `text` in the view, or -1 when it is not there.
    std::int64_t ColourOf(const std::string& text) {
        const QString all = Console().Text();
        const qsizetype at = all.indexOf(QString::fromStdString(text));
        return at < 0 ? -1 : Console().View()->ColourAt(static_cast<int>(at));
    }
    // Restarts the simulator with other settings (its port changes).
    void RestartSim(const std::function<void(GatewaySimConfig&)>& edit) {
        m_sim->Stop();
        m_sim = StartGatewaySim(m_folders.SimRoot(), edit, 300,
                                [](CGatewaySim& sim) { AddScriptCommands(sim); });
        ASSERT_TRUE(m_sim);
        Console().SetConnectPort(m_sim->Port());
    }
    // The address "Connect Device" proposes (the dialog is then cancelled).
    std::string ConnectPreset() {
        QString preset;
        WhenReady([&] {
            auto* dlg = dynamic_cast<gui::CConnectDeviceDlg*>(QApplication::activeModalWidget());
            if (!dlg)
                return false;
            preset = dlg->AddressEdit()->text();
            dlg->CancelButton()->click();
            return true;
        });
        Item(C::ConnectDevice)->trigger();
        return preset.toStdString();
    }
    // Connect Device through its dialog; waits until the login has ended.
    void ConsoleConnect(const std::string& password, const std::string& address = "127.0.0.1") {
        WhenReady([=] {
            auto* dlg = dynamic_cast<gui::CConnectDeviceDlg*>(QApplication::activeModalWidget());
            if (!dlg)
                return false;
            dlg->AddressEdit()->setText(QString::fromStdString(address));
            dlg->PasswordEdit()->setText(QString::fromStdString(password));
            dlg->OkButton()->click();
            return true;
        });
        Item(C::ConnectDevice)->trigger();
        // Ends logged in, failed (state 0) or refused (the login waits in its state, step 0).
        CMainFrame& f = Sheet().Frame();
        ASSERT_TRUE(waitFor(
            [&] {
                return f.SessionStep == 0 &&
                       (f.SessionState == 0 || f.SessionState == kStateLogin) &&
                       !f.VersionReplyPending();
            },
            20000));
    }

    bool m_prepared = false;
};

TEST_F(GuiConsole, ViewShowsColoursPlainTextAndRewritesTheProgressLineInPlace) {
    gui::CConsoleView view;
    view.Append("plain <b>not bold</b> &amp; &lt;\n", kBlack);
    view.Append("error\n", kRed);
    view.Append("file(size:3 B) : ", kBlack);
    view.SetAnchor();
    view.ReplaceFromAnchor("1%", kBlue);
    view.ReplaceFromAnchor("50%", kBlue);
    view.Append("\n", kBlack);  // text after the anchor is part of what the next call replaces
    view.ReplaceFromAnchor("100%", kBlue);
    view.Append("\nnext\n", kBlack);
    const QString text = view.toPlainText();
    EXPECT_EQ(text.toStdString(),
              "plain <b>not bold</b> &amp; &lt;\nerror\nfile(size:3 B) : 100%\nnext\n");
    EXPECT_EQ(view.ColourAt(text.indexOf("plain")), kBlack);
    EXPECT_EQ(view.ColourAt(text.indexOf("error")), kRed);
    EXPECT_EQ(view.ColourAt(text.indexOf("100%")), kBlue);
    EXPECT_EQ(view.ColourAt(text.indexOf("next")), kBlack);

    // The cap drops the oldest lines; the anchor moves with the text it marks.
    for (int i = 0; i < gui::CConsoleView::kMaxBlocks + 50; ++i) {
        view.Append(QString("line %1\n").arg(i), kBlack);
    }
    EXPECT_LE(view.blockCount(), gui::CConsoleView::kMaxBlocks);
    EXPECT_FALSE(view.toPlainText().startsWith("plain"));
    view.Append("size : ", kBlack);
    view.SetAnchor();
    view.Append("\nmore\nmore\n", kBlack);  // drops lines at the top
    view.ReplaceFromAnchor("100%\n", kBlue);
    EXPECT_LE(view.blockCount(), gui::CConsoleView::kMaxBlocks);
    EXPECT_TRUE(view.toPlainText().endsWith(
        QString("line %1\nsize : 100%\n").arg(gui::CConsoleView::kMaxBlocks + 49)))
        << view.toPlainText().right(60).toStdString();
}

TEST_F(GuiConsole, DialogFieldsAreNamedByTheirLabels) {
    gui::CConnectDeviceDlg connect(Sheet().Op(), "10.0.0.1", &Console());
    gui::CModifyPasswordDlg password(Sheet().Op(), &Console());
    gui::CCurrentDeviceDlg device(&Console());
    const std::map<QWidget*, std::vector<std::string>> expected = {
        {&connect, {"IP Address", "Password"}},
        {&password, {"New Password", "Confirm"}},
        {&device, {"Model", "Product Series"}},
    };
    for (const auto& [dlg, names] : expected) {
        std::vector<std::string> got;
        for (QWidget* w : dlg->findChildren<QWidget*>()) {
            if (qobject_cast<QLineEdit*>(w) || qobject_cast<QComboBox*>(w)) {
                if (!qobject_cast<QComboBox*>(w->parentWidget()))  // a combo's own edit
                    got.push_back(w->accessibleName().toStdString());
            }
        }
        EXPECT_EQ(got, names) << dlg->windowTitle().toStdString();
    }
    // Nothing chosen at first, and the reserved product-series position is not offered.
    EXPECT_EQ(device.Model(), -1);
    EXPECT_EQ(device.Series(), -1);
    EXPECT_EQ(device.SeriesBox()->findData(1), -1);
    EXPECT_EQ(device.SeriesBox()->count(), static_cast<int>(std::size(kDeviceSeries)) - 1);
}

TEST_F(GuiConsole, F10PlacesTheConsoleOnceRaisesItAndClosingOnlyHidesIt) {
    Sheet().move(100, 80);
    Sheet().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&Sheet()));
    EXPECT_FALSE(Console().isVisible());
    QTest::keyClick(&Sheet(), Qt::Key_F10);
    ASSERT_TRUE(Console().isVisible());
    EXPECT_EQ(Console().pos(), Sheet().pos() + QPoint(20, 20));
    EXPECT_EQ(Console().windowTitle().toStdString(), LoadStr(6702));

    // Moved, minimised and closed by the person: the program goes on and F10 brings it back
    // where it was, restored.
    QSignalSpy lastClosed(qApp, &QGuiApplication::lastWindowClosed);
    Console().move(300, 260);
    Console().showMinimized();
    EXPECT_TRUE(Console().close());
    EXPECT_FALSE(Console().isVisible());
    EXPECT_TRUE(Sheet().isVisible());
    EXPECT_EQ(lastClosed.count(), 0);
    Sheet().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&Sheet()));
    QTest::keyClick(&Sheet(), Qt::Key_F10, Qt::ShiftModifier | Qt::ControlModifier);
    ASSERT_TRUE(Console().isVisible());
    EXPECT_FALSE(Console().isMinimized());
    EXPECT_EQ(Console().pos(), QPoint(300, 260));

    // The program ends with the wizard, which takes the console with it.
    EXPECT_TRUE(Sheet().close());
    EXPECT_FALSE(Console().isVisible());
}

TEST_F(GuiConsole, MenusFollowTheSessionBeforeAndAfterLoginInBothLayouts) {
    QMenuBar* bar = Console().menuBar();
    QStringList menus;
    for (QAction* a : bar->actions()) menus << a->text();
    EXPECT_EQ(menus.join('|').toStdString(),
              "Device(&D)|Configuration(&O)|Command(&C)|Update Logs(&L)");
    EXPECT_EQ(Item(C::BackupConfig)->text().toStdString(), "Backup Config(&B)");
    EXPECT_EQ(Item(C::RestoreBackup)->text().toStdString(), "Restore Backup(&R)");
    EXPECT_EQ(Item(C::RestoreFactoryDefaults)->text().toStdString(),
              "Restore Factory Defaults(&R)");
    EXPECT_EQ(Item(C::DeviceUpdateLogs)->text().toStdString(), "Device Update Logs(&U)");
    EXPECT_EQ(Item(C::LocalUpdateLogs)->text().toStdString(), "Local Update Logs(&L)");
    EXPECT_EQ(Item(C::DeleteLocalLogs)->text().toStdString(), "Delete Local Logs(&D)");

    EXPECT_EQ(States(), kBeforeLogin);
    EXPECT_EQ(CommandStates(), "1..");
    ConsoleConnect("admin");
    ASSERT_TRUE(Sheet().Frame().Connected);
    EXPECT_EQ(Sheet().Frame().GatewayLayoutFlag(), 1);
    EXPECT_EQ(States(), kLoggedIn);
    EXPECT_EQ(CommandStates(), "111");
    EXPECT_EQ(Console().windowTitle().toStdString(), std::string(LoadStr(6702)) + " - 127.0.0.1");
    EXPECT_EQ(ColourOf(LoadStr(6474)), kBlue);

    Item(C::Disconnect)->trigger();
    EXPECT_FALSE(Sheet().Frame().Connected);
    EXPECT_EQ(States(), kBeforeLogin);
    EXPECT_EQ(ColourOf(LoadStr(6455)), kRed);
    EXPECT_EQ(Console().windowTitle().toStdString(), std::string(LoadStr(6702)) + LoadStr(6640));

    // A gateway of the "/var" layout: the same items.
    RestartSim([](GatewaySimConfig& c) { c.versionText = "UX2000 V3.1.0\n"; });
    ConsoleConnect("admin");
    ASSERT_TRUE(Sheet().Frame().Connected);
    EXPECT_EQ(Sheet().Frame().GatewayLayoutFlag(), 0);
    EXPECT_EQ(States(), kLoggedIn);
    EXPECT_EQ(CommandStates(), "11.");  // the NIC items need the "/etc" layout

    // A refused password leaves the login waiting: only Disconnect can end it.
    Item(C::Disconnect)->trigger();
    ConsoleConnect("wrong");
    EXPECT_FALSE(Sheet().Frame().Connected);
    EXPECT_EQ(ColourOf(LoadStr(6457)), kRed);
    EXPECT_EQ(States(), kBusy);
    Item(C::Disconnect)->trigger();
    EXPECT_EQ(States(), kBeforeLogin);
}

TEST_F(GuiConsole, EveryItemButDisconnectIsDisabledDuringAnOperation) {
    ConsoleConnect("admin");
    ASSERT_EQ(States(), kLoggedIn);
    // A console procedure: the backup owns the link from its first command.
    Sheet().Op().SetNextFileName((m_folders.Dir() / "during.bcf").string());
    Item(C::BackupConfig)->trigger();
    EXPECT_EQ(States(), kBusy);
    // A second command cannot start through a disabled item.
    Item(C::DeviceUpdateLogs)->trigger();
    ASSERT_TRUE(Idle());
    EXPECT_EQ(States(), kLoggedIn);
    EXPECT_FALSE(SimReceived(std::string("excute\ncmd:") + kGatewayHistoryCommand + "\n"));

    // The wizard's update: sampled while its image is uploading.
    Item(C::Disconnect)->trigger();
    Connect("admin");
    ASSERT_EQ(Sheet().ActivePage(), gui::CMainSheet::kPageLoad);
    const std::string pkg =
        Package("big.ssu", {{"app1", "#sim: version KELMORA GW V301\n" + RandomBytes(6 << 20)}});
    std::set<std::string> duringUpload;
    WhenReady([&] {
        if (Sheet().ConfirmDialog()) {
            Sheet().ConfirmDialog()->UpdateButton()->click();
        }
        if (Sheet().Frame().Transferring()) {
            duringUpload.insert(States() + "|" + CommandStates());
        }
        return Sheet().Events().Finished();
    });
    Sheet().Op().SetNextFileName(pkg);
    Sheet().LoadPage()->BrowseButton()->click();
    Sheet().NextButton()->click();
    // From the start of the update (the package loads on a thread, nothing owns the link yet).
    EXPECT_EQ(States(), kBusy);
    ASSERT_TRUE(waitFor([&] { return Sheet().Events().Finished(); }, 90000))
        << Sheet().UpdatePage()->DetailsText().toStdString();
    EXPECT_EQ(duringUpload, std::set<std::string>{std::string(kBusy) + "|..."});
}

TEST_F(GuiConsole, BackupToAChosenFileThenRestoreIt) {
    WriteLocal(m_folders.SimRoot() / "config/cfg", "hostname=mine\n");
    ConsoleConnect("admin");
    // The save dialog: its filters and the proposed name.
    const std::string target = (m_folders.Dir() / "mine.bcf").string();
    QStringList filters;
    QString proposed;
    Sheet().Op().SetUnattended(false);
    WhenReady([&] {
        auto* fd = dynamic_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!fd)
            return false;
        filters = fd->nameFilters();
        proposed = QFileInfo(fd->selectedFiles().value(0)).fileName();
        auto* name = fd->findChild<QLineEdit*>("fileNameEdit");
        if (!name)
            return false;
        name->setText(QString::fromStdString(target));  // as typed by the person
        static_cast<QDialog*>(fd)->accept();
        return true;
    });
    Item(C::BackupConfig)->trigger();
    Sheet().Op().SetUnattended(true);
    EXPECT_EQ(filters.join('|').toStdString(), "Bak Files (*.bcf)|All Files (*.*)");
    EXPECT_EQ(proposed.toStdString(), DefaultBackupName("127.0.0.1"));
    ASSERT_TRUE(Idle());
    EXPECT_EQ(ColourOf(LoadStr(6481)), kBlue) << Text();
    EXPECT_EQ(ColourOf(FormatStr(6480, target.c_str())), kBlue) << Text();
    ASSERT_TRUE(std::filesystem::exists(target));

    // Cancelled: nothing sent.
    const std::size_t sent = m_sim->ReceivedTexts().size();
    Sheet().Op().SetNextFileName(std::nullopt);
    Item(C::BackupConfig)->trigger();
    EXPECT_EQ(m_sim->ReceivedTexts().size(), sent);
    EXPECT_TRUE(Text().find(LoadStr(6505)) != std::string::npos);

    // Restore: the question, then the file.
    WriteLocal(m_folders.SimRoot() / "config/cfg", "hostname=changed\n");
    Sheet().Op().SetNextAnswer(true);
    Sheet().Op().SetNextFileName(target);
    Item(C::RestoreBackup)->trigger();
    EXPECT_EQ(States(), kBusy);
    ASSERT_TRUE(waitFor([&] { return m_sim->RebootCount() == 1; }, 30000)) << Text();
    EXPECT_EQ(ColourOf(LoadStr(6470)), kBlue);
    EXPECT_EQ(ReadLocal(m_folders.SimRoot() / "config/cfg"), "hostname=mine\n");
    // The upload's progress line ended at 100% in place.
    const std::string text = Text();
    const std::size_t line = text.find("cfgbk(size:");
    ASSERT_NE(line, std::string::npos) << text;
    const std::string rest = text.substr(line, text.find('\n', line) - line);
    EXPECT_NE(rest.find(" : 100%"), std::string::npos) << rest;
    EXPECT_EQ(std::count(rest.begin(), rest.end(), '%'), 1) << rest;
}

TEST_F(GuiConsole, FactoryDefaultsFromAChosenPackageAfterTheQuestion) {
    WriteLocal(m_folders.SimRoot() / "config/cfg", "hostname=mine\n");
    ConsoleConnect("admin");
    const std::string pkg = Package("factory.ssu");

    // The question answered No: nothing reaches the gateway.
    const std::size_t sent = m_sim->ReceivedTexts().size();
    Sheet().Op().SetNextFileName(pkg);
    Item(C::RestoreFactoryDefaults)->trigger();
    EXPECT_TRUE(HasMessage(LoadStr(6512)));
    EXPECT_EQ(m_sim->ReceivedTexts().size(), sent);
    EXPECT_EQ(States(), kLoggedIn);

    // The open dialog with its filters, then Yes.
    QStringList filters;
    Sheet().Op().SetUnattended(false);
    WhenReady([&] {
        auto* fd = dynamic_cast<QFileDialog*>(QApplication::activeModalWidget());
        auto* name = fd ? fd->findChild<QLineEdit*>("fileNameEdit") : nullptr;
        if (!name)
            return false;
        filters = fd->nameFilters();
        Sheet().Op().SetUnattended(true);
        name->setText(QString::fromStdString(pkg));
        static_cast<QDialog*>(fd)->accept();
        return true;
    });
    Sheet().Op().SetNextAnswer(true);
    Item(C::RestoreFactoryDefaults)->trigger();
    Sheet().Op().SetUnattended(true);
    EXPECT_EQ(filters.join('|').toStdString(), "Package (*.ssu *.SSU)|All Files (*.*)");
    EXPECT_EQ(States(), kBusy);
    ASSERT_TRUE(waitFor([&] { return m_sim->RebootCount() == 1; }, 30000)) << Text();
    EXPECT_EQ(ReadLocal(m_folders.SimRoot() / "config/cfg"), "hostname=factory\n");
    EXPECT_EQ(ColourOf(LoadStr(6467)), kBlue) << Text();
}

TEST_F(GuiConsole, UpdateLogsAreShownLiterallyAndTheLocalOnesDeleted) {
    const std::string history = "package name: '<b>evil</b> &amp; &lt;x&gt;.ssu'\n";
    RestartSim([](GatewaySimConfig& c) { c.versionText = "KELMORA <b>GW</b> &amp; V300R001\n"; });
    WriteLocal(m_folders.SimRoot() / "updhistory", history);
    ConsoleConnect("admin");
    ASSERT_TRUE(Sheet().Frame().Connected);
    EXPECT_TRUE(Text().find("KELMORA <b>GW</b> &amp; V300R001\n") != std::string::npos) << Text();

    Item(C::DeviceUpdateLogs)->trigger();
    ASSERT_TRUE(Idle());
    EXPECT_EQ(ColourOf(history), kBlack) << Text();
    EXPECT_TRUE(SimReceived(std::string("excute\ncmd:") + kGatewayHistoryCommand + "\n"));

    const std::filesystem::path local = WorkPath("localhistory", "updhistory");
    const std::string line =
        "26.12.10 10:00:00, updated gateway: 10.0.0.5, package: <i>x</i>&nbsp;.ssu\n";
    WriteLocal(local, line);
    Item(C::LocalUpdateLogs)->trigger();
    EXPECT_EQ(ColourOf(line), kBlue) << Text();

    // Answered No: kept. Yes: deleted, then nothing left to delete.
    Item(C::DeleteLocalLogs)->trigger();
    EXPECT_TRUE(std::filesystem::exists(local));
    EXPECT_EQ(Sheet().Op().Messages().back(), LoadStr(6555));
    Sheet().Op().SetNextAnswer(true);
    Item(C::DeleteLocalLogs)->trigger();
    EXPECT_FALSE(std::filesystem::exists(local));
    EXPECT_EQ(ColourOf(LoadStr(6756)), kBlue);
    Sheet().Op().SetNextAnswer(true);
    Item(C::DeleteLocalLogs)->trigger();
    EXPECT_EQ(ColourOf(LoadStr(6758)), kRed);
    Item(C::LocalUpdateLogs)->trigger();
    EXPECT_EQ(ColourOf(LoadStr(6757)), kRed);
}

TEST_F(GuiConsole, ConnectDeviceDialogIsPresetIgnoresZeroAddressAndRefusesBadOnes) {
    const int connections = m_sim->ConnectionCount();
    QString preset;
    bool refusedStayedOpen = false;
    WhenReady([&] {
        auto* dlg = dynamic_cast<gui::CConnectDeviceDlg*>(QApplication::activeModalWidget());
        if (!dlg)
            return false;
        preset = dlg->AddressEdit()->text();
        dlg->AddressEdit()->setText("10.0.0");
        dlg->OkButton()->click();
        refusedStayedOpen = dlg->isVisible();
        dlg->AddressEdit()->setText("0.0.0.0");
        dlg->PasswordEdit()->setText("admin");
        dlg->OkButton()->click();
        return true;
    });
    Item(C::ConnectDevice)->trigger();
    EXPECT_EQ(preset.toStdString(), RecentAddressList::kDefaultAddress);
    EXPECT_TRUE(refusedStayedOpen);
    EXPECT_TRUE(HasMessage(LoadStr(6773)));
    EXPECT_EQ(Sheet().Frame().SessionState, 0);
    EXPECT_TRUE(Text().empty()) << Text();
    EXPECT_EQ(m_sim->ConnectionCount(), connections);

    // The last address is the preset next time.
    ConsoleConnect("admin");
    ASSERT_TRUE(Sheet().Frame().Connected);
    Item(C::Disconnect)->trigger();
    EXPECT_EQ(ConnectPreset(), "127.0.0.1");
}

TEST_F(GuiConsole, SearchListsTheRepliesInBlueAndPresetsTheLastAddress) {
    SimDiscoveryConfig cfg;
    cfg.bindAddress = "127.0.0.1";
    cfg.port = 0;
    cfg.announce = "10.0.0.5";
    CSimDiscovery responder(cfg);
    ASSERT_TRUE(responder.Start()) << responder.LastError();
    Console();
    Sheet().Frame().SetDiscoveryTarget({"127.0.0.1", responder.Port()});

    Item(C::Search)->trigger();
    EXPECT_EQ(States(), "..........");
    ASSERT_TRUE(Idle());
    EXPECT_EQ(responder.RequestCount(), 1);
    EXPECT_EQ(ColourOf(LoadStr(6453)), kBlack);
    EXPECT_EQ(ColourOf("Gateway(1) Ip ------- 10.0.0.5\n"), kBlue) << Text();
    EXPECT_EQ(ColourOf(FormatStr(6498, 1)), kBlack);
    EXPECT_EQ(States(), kBeforeLogin);

    EXPECT_EQ(ConnectPreset(), "10.0.0.5");
}

TEST_F(GuiConsole, ModifyPasswordRefusesEmptyAndDifferentEntriesThenRemembersTheNewOne) {
    ConsoleConnect("admin");
    ASSERT_TRUE(Sheet().Frame().Connected);
    int stayedOpen = 0;
    WhenReady([&] {
        auto* dlg = dynamic_cast<gui::CModifyPasswordDlg*>(QApplication::activeModalWidget());
        if (!dlg)
            return false;
        dlg->OkButton()->click();  // empty
        stayedOpen += dlg->isVisible();
        dlg->NewPasswordEdit()->setText("n3w");
        dlg->ConfirmEdit()->setText("n3W");
        dlg->OkButton()->click();
        stayedOpen += dlg->isVisible();
        dlg->ConfirmEdit()->setText("n3w");
        dlg->OkButton()->click();
        return true;
    });
    Item(C::ModifyPassword)->trigger();
    EXPECT_EQ(stayedOpen, 2);
    EXPECT_TRUE(HasMessage(LoadStr(6785)));
    EXPECT_TRUE(HasMessage(LoadStr(6546)));
    ASSERT_TRUE(Idle());
    EXPECT_TRUE(SimReceived("changepwd\nnewpwd:n3w\n"));
    EXPECT_EQ(m_sim->Password(), "n3w");
    EXPECT_EQ(ColourOf(LoadStr(6460)), kBlue);
    RecentAddressList recent;
    recent.Load(WorkPath(RecentAddressList::kFileName, ""));
    EXPECT_EQ(recent.Lookup("127.0.0.1:" + std::to_string(m_sim->Port())).password, "n3w");
    EXPECT_EQ(Sheet().Frame().Password(), "n3w");
}

class GuiCurrentDevice : public GuiConsole {
protected:
    void SetUp() override {
        GuiConsole::SetUp();
        RestartSim([](GatewaySimConfig& c) { c.damaged = true; });
    }
    // Answers the dialog (model/series positions, or cancel with -1) and makes the operator
    // unattended again once it closed.
    void AnswerDialog(int model, int series) {
        Sheet().Op().SetUnattended(false);
        WhenReady([this, model, series] {
            auto* dlg = dynamic_cast<gui::CCurrentDeviceDlg*>(QApplication::activeModalWidget());
            if (!dlg)
                return false;
            m_okDisabledAtFirst = !dlg->OkButton()->isEnabled();
            Sheet().Op().SetUnattended(true);
            if (model < 0) {
                dlg->CancelButton()->click();
                return true;
            }
            dlg->ModelBox()->setCurrentIndex(dlg->ModelBox()->findData(model));
            EXPECT_FALSE(dlg->OkButton()->isEnabled());
            dlg->SeriesBox()->setCurrentIndex(dlg->SeriesBox()->findData(series));
            dlg->OkButton()->click();
            return true;
        });
    }
    bool m_okDisabledAtFirst = false;
};

TEST_F(GuiCurrentDevice, ConsoleConnectChoosesTheDeviceOrCancels) {
    AnswerDialog(-1, -1);
    ConsoleConnect("admin");
    EXPECT_TRUE(m_okDisabledAtFirst);
    EXPECT_FALSE(Sheet().Frame().Connected);
    EXPECT_EQ(ColourOf(LoadStr(6458)), kRed);
    EXPECT_EQ(ColourOf(LoadStr(6535)), kRed);
    EXPECT_EQ(States(), kBeforeLogin);

    AnswerDialog(0, 4);
    ConsoleConnect("admin");
    ASSERT_TRUE(Sheet().Frame().Connected);
    EXPECT_EQ(Sheet().Frame().GatewayLayoutFlag(), 0);
    EXPECT_EQ(Sheet().Frame().GatewayProductLine(), 4);
    EXPECT_EQ(States(), kLoggedIn);
}

TEST_F(GuiCurrentDevice, WizardLoginChoosesTheDeviceAndOpensTheLoadPage) {
    AnswerDialog(1, 7);
    Connect("admin");
    EXPECT_EQ(Sheet().ActivePage(), gui::CMainSheet::kPageLoad);
    EXPECT_EQ(Sheet().LoadPage()->VersionEdit()->text(), QString(LoadStr(6458)).trimmed());
    EXPECT_EQ(Sheet().Frame().GatewayLayoutFlag(), 1);
    EXPECT_EQ(Sheet().Frame().GatewayProductLine(), 7);
}

}  // namespace
}  // namespace vorn::test
