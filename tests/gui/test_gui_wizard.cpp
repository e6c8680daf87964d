// The wizard's pages driven through their widgets against the simulator.
#include <QCheckBox>
#include <QLabel>
#include <QLocale>
#include <QProcess>
#include <QProgressBar>
#include <QRadioButton>
#include <QTest>

#include "app/LoginErrorLog.h"
#include "app/RecentAddressList.h"
#include "app/gui/CConfirmStopDlg.h"
#include "app/gui/CConfirmUpdateDlg.h"
#include "app/gui/CConsoleWindow.h"
#include "app/gui/CPageLoad.h"
#include "app/gui/CPageUpdate.h"
#include "lib/Clock.h"
#include "lib/Text.h"
#include "lib/WorkFolders.h"
#include "tests/gui/GuiFixture.h"

namespace vorn::test {
namespace {

using gui::CMainSheet;

class GuiWizard : public GuiFixture {};

TEST_F(GuiWizard, WrongPasswordThreeTimesWarnsThenRightPasswordOpensTheLoadPage) {
    for (int i = 0; i < 3; ++i) {
        Connect("wrong");
        EXPECT_EQ(Sheet().ActivePage(), CMainSheet::kPageConnect);
        EXPECT_TRUE(Sheet().ConnectPage()->PasswordEdit()->text().isEmpty());
    }
    std::string all;
    for (const auto& m : Sheet().Op().Messages()) all += "[" + m + "]";
    EXPECT_TRUE(HasMessage(FormatStr(6798, 3, 2))) << all;
    EXPECT_FALSE(HasMessage(FormatStr(6798, 2, 3)));
    EXPECT_TRUE(Sheet().NextButton()->isVisible());

    Connect("admin");
    EXPECT_EQ(Sheet().ActivePage(), CMainSheet::kPageLoad);
    EXPECT_TRUE(Sheet().IsConnected());
    EXPECT_EQ(Sheet().windowTitle().toStdString(), std::string(LoadStr(6635)) + " - " + Address());
    EXPECT_EQ(Sheet().LoadPage()->VersionEdit()->text().toStdString(), "KELMORA GW V300R001");
    EXPECT_EQ(Sheet().BackButton()->text().toStdString(), LoadStr(6630));
    EXPECT_FALSE(Sheet().OptionsButton()->isVisible());

    // The successful login cleared the count: the next wrong password does not warn.
    Sheet().BackButton()->click();
    ASSERT_EQ(Sheet().ActivePage(), CMainSheet::kPageConnect);
    Sheet().Op().ClearMessages();
    Connect("wrong");
    EXPECT_FALSE(HasMessage(FormatStr(6798, 4, 1)));
}

TEST_F(GuiWizard, LockedAddressIsRefusedWithoutConnecting) {
    LoginErrorLog log;
    log.Load(WorkPath(LoginErrorLog::kFileName, LoginErrorLog::kFolder));
    ASSERT_TRUE(log.Add(Address(), NowTimeT(), 5));

    Connect("admin");
    EXPECT_TRUE(HasMessage(FormatStr(6797, Address().c_str())));
    EXPECT_EQ(Sheet().ActivePage(), CMainSheet::kPageConnect);
    EXPECT_FALSE(Sheet().IsConnected());
    EXPECT_TRUE(m_sim->ReceivedTexts().empty());
}

TEST_F(GuiWizard, PickingARecentAddressFillsItsPassword) {
    RecentAddressList recent;
    recent.Load(WorkPath(RecentAddressList::kFileName, ""));
    ASSERT_TRUE(recent.Add("10.1.2.3", "first"));
    ASSERT_TRUE(recent.Add(Address(), "admin"));
    gui::CPageConnect* page = Sheet().ConnectPage();
    ASSERT_EQ(page->AddressBox()->count(), 2);
    EXPECT_EQ(page->AddressBox()->currentText().toStdString(), Address());

    page->OnAddressPicked(1);
    EXPECT_EQ(page->AddressBox()->currentText().toStdString(), "10.1.2.3");
    EXPECT_EQ(page->PasswordEdit()->text().toStdString(), "first");
    // Typing in the address empties the password.
    page->AddressBox()->setFocus();
    page->AddressBox()->lineEdit()->end(false);
    QTest::keyClick(page->AddressBox()->lineEdit(), Qt::Key_Backspace);
    EXPECT_TRUE(page->PasswordEdit()->text().isEmpty());

    page->OnAddressPicked(0);
    Sheet().NextButton()->click();
    EXPECT_TRUE(waitFor([&] { return Sheet().ActivePage() == CMainSheet::kPageLoad; }, 20000));
}

TEST_F(GuiWizard, WholeSingleUpdateThroughTheConfirmationDialog) {
    Connect("admin");
    ASSERT_EQ(Sheet().ActivePage(), CMainSheet::kPageLoad);
    const std::string pkg = Package("v301.ssu");
    bool sawTips = false;
    WhenReady([&] {
        gui::CConfirmUpdateDlg* dlg = Sheet().ConfirmDialog();
        if (!dlg)
            return false;
        sawTips = !dlg->StatusLabel()->isVisible() && dlg->UpdateButton()->isEnabled();
        dlg->UpdateButton()->click();
        return true;
    });
    Sheet().Op().SetNextFileName(pkg);
    Sheet().LoadPage()->BrowseButton()->click();
    EXPECT_EQ(Sheet().LoadPage()->PathEdit()->text().toStdString(), pkg);
    Sheet().NextButton()->click();
    EXPECT_EQ(Sheet().Activity(), CMainSheet::kUpdating);
    // No second command while it runs; the window refuses to close.
    EXPECT_FALSE(Sheet().NextButton()->isEnabled() && Sheet().NextButton()->isVisible());
    EXPECT_FALSE(Sheet().close());
    EXPECT_TRUE(HasMessage(LoadStr(6502)));

    ASSERT_TRUE(waitFor([&] { return Sheet().Events().Finished(); }, 60000))
        << Sheet().UpdatePage()->DetailsText().toStdString();
    EXPECT_TRUE(sawTips);
    EXPECT_EQ(Sheet().Events().Result(), CUpdateEvents::Outcome::Succeeded)
        << Sheet().UpdatePage()->DetailsText().toStdString();
    EXPECT_EQ(Sheet().ActivePage(), CMainSheet::kPageUpdate);
    EXPECT_EQ(Sheet().UpdatePage()->StateText().toStdString(),
              QString(LoadStr(6713)).trimmed().toStdString());
    EXPECT_EQ(Sheet().Activity(), CMainSheet::kIdle);
    EXPECT_EQ(Sheet().BackButton()->text().toStdString(), LoadStr(6630));
    EXPECT_TRUE(waitFor([&] { return m_sim->RebootCount() == 1; }, 10000));
    // What the gateway received, in order: login, version, the pre-update script, the image
    // and its install script, the history entry and the restart.
    EXPECT_EQ(m_sim->ReceivedTexts(), (std::vector<std::string>{
                                          "login\npasswd:admin\nflage:HandleVersion\n",
                                          "get\nfile:/app/appversion\n",
                                          "version\nvalue:1568\n",
                                          "put\nfile:/etc/vorncmd/apppre\n",
                                          "putover\n",
                                          "excute\ncmd:/etc/vorncmd/apppre\n",
                                          "put\nfile:/stmp/app\n",
                                          "putover\n",
                                          "put\nfile:/etc/vorncmd/appsh\n",
                                          "putover\n",
                                          "excute\ncmd:/etc/vorncmd/appsh\n",
                                          "excute\ncmd:ls /usr/sbin/updhistory.sh\n",
                                          "put\nfile:/usr/sbin/updhistory.sh\n",
                                          "putover\n",
                                          "excute\ncmd:/usr/sbin/updhistory.sh 'v301.ssu'\n",
                                          "excute\ncmd:reboot\n",
                                      }));
    EXPECT_EQ(ReadLocal(m_sim->LocalPath("/app/appversion")), "KELMORA GW V301\n");
    // The bar and its text show the last transfer complete, with its real size.
    const QString size = QLocale().formattedDataSize(qint64(Sheet().Frame().UploadSize()));
    EXPECT_GT(Sheet().Frame().UploadSize(), 0u);
    EXPECT_EQ(Sheet().UpdatePage()->ProgressBar()->value(), 100);
    EXPECT_TRUE(Sheet().UpdatePage()->ProgressLabel()->text().startsWith(size + " of " + size))
        << Sheet().UpdatePage()->ProgressLabel()->text().toStdString();
}

TEST_F(GuiWizard, PreUpgradeCheckFailsIsRetriedAndCancelLeavesTheGatewayAlone) {
    Connect("admin");
    const std::string pkg = Package("bad.ssu", {{"apppre", "#sim: fail wrong hardware\n"}});
    int retries = 0;
    std::string status;
    bool updateHeldBack = false;
    WhenReady([&] {
        gui::CConfirmUpdateDlg* dlg = Sheet().ConfirmDialog();
        if (!dlg)
            return false;
        if (!dlg->UpdateButton()->isEnabled()) {
            updateHeldBack = true;
            return false;
        }
        if (!dlg->RetryButton()->isVisible())
            return false;
        status = dlg->StatusLabel()->text().toStdString();
        if (retries++ == 0) {
            dlg->RetryButton()->click();
            return !dlg->UpdateButton()->isEnabled() ? false : true;
        }
        dlg->CancelButton()->click();
        return true;
    });
    Sheet().LoadPage()->PathEdit()->setText(QString::fromStdString(pkg));
    Sheet().LoadPage()->PreCheckRadio()->setChecked(true);
    Sheet().NextButton()->click();
    ASSERT_TRUE(waitFor([&] { return Sheet().Events().Finished(); }, 60000))
        << Sheet().UpdatePage()->DetailsText().toStdString();
    EXPECT_TRUE(updateHeldBack);
    EXPECT_EQ(retries, 2);
    EXPECT_EQ(status, "Pre-upgrade check failed:wrong hardware");
    EXPECT_EQ(Sheet().Events().Result(), CUpdateEvents::Outcome::Aborted);
    EXPECT_FALSE(SimReceived("put\nfile:/etc/vorncmd/app1\n"));
    EXPECT_EQ(m_sim->RebootCount(), 0);
}

TEST_F(GuiWizard, PreUpgradeCheckPassesThenTheUpdateRuns) {
    Connect("admin");
    const std::string pkg = Package("good.ssu");
    std::string status;
    bool retryShown = true;
    WhenReady([&] {
        gui::CConfirmUpdateDlg* dlg = Sheet().ConfirmDialog();
        if (!dlg || !dlg->UpdateButton()->isEnabled())
            return false;
        status = dlg->StatusLabel()->text().toStdString();
        retryShown = dlg->RetryButton()->isVisible();
        dlg->UpdateButton()->click();
        return true;
    });
    Sheet().LoadPage()->PathEdit()->setText(QString::fromStdString(pkg));
    Sheet().LoadPage()->PreCheckRadio()->setChecked(true);
    Sheet().NextButton()->click();
    ASSERT_TRUE(waitFor([&] { return Sheet().Events().Finished(); }, 60000));
    EXPECT_EQ(status, QString(LoadStr(105)).trimmed().toStdString());
    EXPECT_FALSE(retryShown);
    EXPECT_EQ(Sheet().Events().Result(), CUpdateEvents::Outcome::Succeeded);
}

TEST_F(GuiWizard, LoadPageRefusesBadPathsAndSwallowsEnterWhileNextIsDisabled) {
    Connect("admin");
    struct Case {
        std::string path;
        bool preCheck;
        int refusal;
    } cases[] = {
        {(m_folders.Dir() / "missing.ssu").string(), false, 6674},
        {m_folders.Dir().string(), false, 6674},
        {(m_folders.Dir() / "missing.cssu").string(), true, 103},
    };
    for (const Case& c : cases) {
        Sheet().Op().ClearMessages();
        Sheet().LoadPage()->PathEdit()->setText(QString::fromStdString(c.path));
        Sheet().LoadPage()->PreCheckRadio()->setChecked(c.preCheck);
        Sheet().LoadPage()->DirectRadio()->setChecked(!c.preCheck);
        Sheet().NextButton()->click();
        EXPECT_TRUE(HasMessage(LoadStr(c.refusal))) << c.path;
        EXPECT_EQ(Sheet().Activity(), CMainSheet::kIdle);
    }
    Sheet().Op().ClearMessages();
    Sheet().NextButton()->setEnabled(false);
    QTest::keyClick(Sheet().LoadPage()->PathEdit(), Qt::Key_Return);
    EXPECT_TRUE(Sheet().Op().Messages().empty());
}

TEST_F(GuiWizard, StopDuringAnUpdateNeedsTheBoxTicked) {
    Connect("admin");
    const std::string pkg = Package("v301.ssu");
    bool stopDisabledFirst = false;
    bool stopEnabledAfterTick = false;
    bool asked = false;
    // While the confirmation dialog is open the update is running (activity 3): the
    // update page's Back ("&Stop") asks first; the stop is cancelled, then the update goes on.
    WhenReady([&] {
        gui::CConfirmUpdateDlg* confirm = Sheet().ConfirmDialog();
        if (!confirm)
            return false;
        if (!asked) {
            asked = true;
            QTimer::singleShot(0, &Sheet(), [&] { Sheet().ResetAfterDisconnect(); });
            return false;
        }
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* s = dynamic_cast<gui::CConfirmStopDlg*>(w);
            if (s && s->isVisible()) {
                stopDisabledFirst = !s->StopButton()->isEnabled();
                s->CheckBox()->click();
                stopEnabledAfterTick = s->StopButton()->isEnabled();
                s->CancelButton()->click();
                QTimer::singleShot(0, confirm, [confirm] { confirm->UpdateButton()->click(); });
                return true;
            }
        }
        return false;
    });
    Sheet().LoadPage()->PathEdit()->setText(QString::fromStdString(pkg));
    Sheet().NextButton()->click();
    ASSERT_TRUE(waitFor([&] { return Sheet().Events().Finished(); }, 60000));
    EXPECT_TRUE(stopDisabledFirst);
    EXPECT_TRUE(stopEnabledAfterTick);
    // Cancelling the stop kept the update going.
    EXPECT_EQ(Sheet().Events().Result(), CUpdateEvents::Outcome::Succeeded);
}

TEST_F(GuiWizard, StopAsksWithoutHaltingTheUpdateAndThenDisconnects) {
    Connect("admin");
    // An image large enough for the update to last while the question is open.
    const std::string pkg = Package(
        "big.ssu", {{"app1", "#sim: version KELMORA GW V301\n" + std::string(64u << 20, 'x')}});
    StartConfirmedUpdate(pkg);

    // First "&Stop": the question opens without a loop of its own (this test goes on while
    // it is open) and the update keeps running; Cancel leaves it running.
    ASSERT_TRUE(PressStop()) << Sheet().UpdatePage()->DetailsText().toStdString();
    EXPECT_EQ(Sheet().BackButton()->text().toStdString(), LoadStr(6793));
    gui::CConfirmStopDlg* dlg = Sheet().StopDialog();
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(dlg->windowModality(), Qt::WindowModal);
    EXPECT_FALSE(dlg->StopButton()->isEnabled());
    const QString details = Sheet().UpdatePage()->DetailsText();
    EXPECT_TRUE(waitFor([&] { return Sheet().UpdatePage()->DetailsText() != details; }, 30000))
        << "the update goes on while the question is open";
    QTest::mouseClick(dlg->CancelButton(), Qt::LeftButton);
    EXPECT_EQ(Sheet().StopDialog(), nullptr);
    EXPECT_EQ(Sheet().Activity(), CMainSheet::kUpdating);
    EXPECT_TRUE(Sheet().IsConnected());

    // Second "&Stop": ticked and confirmed, the link goes down and the wizard starts over.
    ASSERT_TRUE(PressStop());
    dlg = Sheet().StopDialog();
    dlg->CheckBox()->click();
    EXPECT_TRUE(dlg->StopButton()->isEnabled());
    dlg->CheckBox()->click();
    EXPECT_FALSE(dlg->StopButton()->isEnabled());
    dlg->CheckBox()->click();
    QTest::mouseClick(dlg->StopButton(), Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return Sheet().ActivePage() == CMainSheet::kPageConnect; }));
    EXPECT_FALSE(Sheet().IsConnected());
    EXPECT_EQ(Sheet().Activity(), CMainSheet::kIdle);
    EXPECT_TRUE(Sheet().NextButton()->isEnabled());
    EXPECT_TRUE(waitFor([&] { return !m_sim->ClientConnected(); }));
    EXPECT_NE(Sheet().Events().Result(), CUpdateEvents::Outcome::Succeeded);
}

TEST_F(GuiWizard, AStopQuestionLeftOpenClosesWhenTheUpdateEnds) {
    Connect("admin");
    const std::string pkg = Package("v301.ssu");
    StartConfirmedUpdate(pkg);
    ASSERT_TRUE(PressStop());
    QPointer<gui::CConfirmStopDlg> dlg = Sheet().StopDialog();
    ASSERT_TRUE(waitFor([&] { return Sheet().Events().Finished(); }, 60000));
    EXPECT_EQ(Sheet().Events().Result(), CUpdateEvents::Outcome::Succeeded);
    EXPECT_TRUE(waitFor([&] { return dlg.isNull() || !dlg->isVisible(); }));
    EXPECT_EQ(Sheet().StopDialog(), nullptr);
    EXPECT_EQ(Sheet().ActivePage(), CMainSheet::kPageUpdate);
}

TEST_F(GuiWizard, WhileTheConfirmationIsOpenTheWizardTakesNoInput) {
    Connect("admin");
    const std::string pkg = Package("v301.ssu");
    bool checked = false;
    Qt::WindowModality modality = Qt::NonModal;
    bool consoleOpened = true;
    bool stopAsked = true;
    bool stopEnabled = false;
    WhenReady([&] {
        gui::CConfirmUpdateDlg* dlg = Sheet().ConfirmDialog();
        if (!dlg || !dlg->isVisible())
            return false;
        modality = dlg->windowModality();
        stopEnabled = Sheet().BackButton()->isEnabled();
        // Input through the window system: F10 and a click on "&Stop" reach nothing.
        QTest::keyClick(Sheet().windowHandle(), Qt::Key_F10);
        const QPoint stop =
            Sheet().BackButton()->mapTo(&Sheet(), Sheet().BackButton()->rect().center());
        QTest::mouseClick(Sheet().windowHandle(), Qt::LeftButton, {}, stop);
        QApplication::processEvents();
        consoleOpened = Sheet().Console()->isVisible();
        stopAsked = Sheet().StopDialog() != nullptr;
        checked = true;
        dlg->UpdateButton()->click();
        return true;
    });
    Sheet().LoadPage()->PathEdit()->setText(QString::fromStdString(pkg));
    Sheet().NextButton()->click();
    ASSERT_TRUE(waitFor([&] { return Sheet().Events().Finished(); }, 60000));
    ASSERT_TRUE(checked);
    EXPECT_EQ(modality, Qt::ApplicationModal);
    EXPECT_FALSE(consoleOpened);
    EXPECT_TRUE(stopEnabled) << "the click below would have asked without the modality";
    EXPECT_FALSE(stopAsked);
    EXPECT_EQ(Sheet().Events().Result(), CUpdateEvents::Outcome::Succeeded);
}

TEST_F(GuiWizard, KeyboardAloneConnectsAndMovesThroughThePages) {
    // A remembered address that is not the preset one (the last used comes first).
    RecentAddressList recent;
    recent.Load(WorkPath(RecentAddressList::kFileName, ""));
    ASSERT_TRUE(recent.Add(Address(), "admin"));
    ASSERT_TRUE(recent.Add("10.9.8.7", "other"));
    Sheet().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&Sheet()));
    gui::CPageConnect* page = Sheet().ConnectPage();
    ASSERT_EQ(page->PasswordEdit()->text().toStdString(), "other");
    // Labels carry their fields' mnemonics. Typing the address empties the password; Tab
    // goes on to the password and fills the remembered one, as a click does.
    QTest::keyClick(&Sheet(), Qt::Key_A, Qt::AltModifier);
    ASSERT_TRUE(page->AddressBox()->hasFocus());
    page->AddressBox()->lineEdit()->selectAll();
    QTest::keyClicks(QApplication::focusWidget(), QString::fromStdString(Address()));
    EXPECT_TRUE(page->PasswordEdit()->text().isEmpty());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_TRUE(page->PasswordEdit()->hasFocus());
    EXPECT_EQ(page->PasswordEdit()->text().toStdString(), "admin");
    EXPECT_EQ(page->PasswordEdit()->selectedText().toStdString(), "admin");
    // Then the check box and "&Search...", and back.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_TRUE(page->RememberBox()->hasFocus());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_TRUE(page->SearchButton()->hasFocus());
    QTest::keyClick(&Sheet(), Qt::Key_P, Qt::AltModifier);
    ASSERT_TRUE(page->PasswordEdit()->hasFocus());
    EXPECT_TRUE(Sheet().Op().Messages().empty());
    // Enter is Next ("&Connect").
    QTest::keyClick(page->PasswordEdit(), Qt::Key_Return);
    ASSERT_TRUE(waitFor([&] { return Sheet().ActivePage() == CMainSheet::kPageLoad; }, 20000));

    // The load page starts in the package path; its mnemonics do not collide.
    gui::CPageLoad* load = Sheet().LoadPage();
    EXPECT_TRUE(load->PathEdit()->hasFocus());
    // (a button's mnemonic clicks it about 100 ms later)
    QTest::keyClick(&Sheet(), Qt::Key_P, Qt::AltModifier);
    EXPECT_TRUE(waitFor([&] { return load->PreCheckRadio()->isChecked(); }));
    QTest::keyClick(&Sheet(), Qt::Key_I, Qt::AltModifier);
    EXPECT_TRUE(waitFor([&] { return load->DirectRadio()->isChecked(); }));
    QTest::keyClick(&Sheet(), Qt::Key_D, Qt::AltModifier);
    EXPECT_TRUE(waitFor([&] { return Sheet().ActivePage() == CMainSheet::kPageConnect; }));
    EXPECT_FALSE(Sheet().IsConnected());
}

TEST_F(GuiWizard, F10RaisesTheConsoleWindow) {
    Sheet().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&Sheet()));
    for (const QKeyCombination key :
         {QKeyCombination(Qt::Key_F10),
          QKeyCombination(Qt::ShiftModifier | Qt::ControlModifier, Qt::Key_F10)}) {
        Sheet().Console()->hide();
        QTest::keyClick(&Sheet(), key.key(), key.keyboardModifiers());
        EXPECT_TRUE(Sheet().Console()->isVisible());
    }
    EXPECT_EQ(Sheet().Console()->windowTitle().toStdString(), LoadStr(6702));
}

TEST(GuiProgram, WithoutADisplayItSaysSoAndExits4) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.remove("QT_QPA_PLATFORM");
    p.setProcessEnvironment(env);
    p.start(VORN_UPDATER_PROGRAM, {});
    ASSERT_TRUE(p.waitForFinished(20000));
    EXPECT_EQ(p.exitCode(), 4);
    EXPECT_NE(p.readAllStandardError().indexOf("no display"), -1);
}

}  // namespace
}  // namespace vorn::test
