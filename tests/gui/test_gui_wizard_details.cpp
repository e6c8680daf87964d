// The wizard and the console as an operator meets them, with the real message boxes: a
// package that does not load, a password changed in the console, the keyboard, the progress
// figures, where dialogs open and in which order, the options, the retried pre-check, About.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QProgressBar>
#include <QRadioButton>
#include <QRegularExpression>

#include "app/ConsoleMenuRules.h"
#include "app/LoadOptions.h"
#include "app/RecentAddressList.h"
#include "app/gui/CAboutDlg.h"
#include "app/gui/CConsoleWindow.h"
#include "app/gui/CExchangeNicsDlg.h"
#include "app/gui/CModifyPasswordDlg.h"
#include "app/gui/COptionDlg.h"
#include "app/gui/CPageUpdate.h"
#include "app/gui/CSelectDeviceDlg.h"
#include "lib/CheckPageEvents.h"
#include "lib/Text.h"
#include "lib/WorkFolders.h"
#include "tests/common/UdpProbe.h"
#include "tests/gui/GuiFixture.h"
#include "tests/gui/RealMessageBoxes.h"
#include "tools/gateway-sim/SimDiagnostics.h"

namespace vorn::test {
namespace {

namespace fs = std::filesystem;
using C = ConsoleCommand;
using gui::CMainSheet;

class GuiWizardDetails : public GuiFixture {
protected:
    void SetUp() override {
        GuiFixture::SetUp();
        m_realBoxes = true;
    }
    void RestartSim(const std::function<void(GatewaySimConfig&)>& edit = {}) {
        m_sim->Stop();
        m_sim = StartGatewaySim(m_folders.SimRoot(), edit, 300, [](CGatewaySim& sim) {
            AddScriptCommands(sim);
            AddDiagnosticCommands(sim);
        });
        ASSERT_TRUE(m_sim);
    }
    int Logins() const {
        int n = 0;
        for (const std::string& t : m_sim->ReceivedTexts()) n += t.rfind("login\n", 0) == 0;
        return n;
    }
    // Calls `act` with the first visible dialog of a kind once it is the active modal window.
    template <class Dialog>
    void WhenOpen(std::function<void(Dialog&)> act) {
        WhenReady([act] {
            auto* d = dynamic_cast<Dialog*>(QApplication::activeModalWidget());
            if (!d || !d->isVisible())
                return false;
            act(*d);
            return true;
        });
    }
    // The last "NN%" of the update page's details and where it is.
    std::pair<int, qsizetype> LastPercent() {
        const QString text = Sheet().UpdatePage()->DetailsText();
        static const QRegularExpression percent(QStringLiteral("(\\d+)%"));
        qsizetype at = -1;
        int value = -1;
        for (auto it = percent.globalMatch(text); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            at = m.capturedStart(1);
            value = m.captured(1).toInt();
        }
        return {value, at};
    }
    // The progress text's rate ("..., 1.2 MB/s, ...").
    QString ProgressRate() {
        const QStringList parts = Sheet().UpdatePage()->ProgressLabel()->text().split(", ");
        return parts.size() > 1 ? parts[1] : QString();
    }
};

TEST_F(GuiWizardDetails, ACorruptPackageKeepsTheLoadPageAndTheNextOneInstallsInTheSameLogin) {
    Connect("admin");
    ASSERT_EQ(Sheet().ActivePage(), CMainSheet::kPageLoad);
    const fs::path corrupt = m_folders.Dir() / "corrupt.ssu";
    WriteLocal(corrupt, "truncated");
    CBoxAnswerer enter;
    Sheet().LoadPage()->PathEdit()->setText(QString::fromStdString(corrupt.string()));
    Sheet().NextButton()->click();
    ASSERT_EQ(enter.Seen().size(), 1u);
    EXPECT_EQ(enter.Seen()[0].text.rfind(QString(LoadStr(6530)).trimmed().toStdString(), 0), 0u)
        << enter.Seen()[0].text;
    // Still on the load page, ready for another file.
    EXPECT_EQ(Sheet().ActivePage(), CMainSheet::kPageLoad);
    EXPECT_EQ(Sheet().Activity(), CMainSheet::kIdle);
    EXPECT_TRUE(Sheet().NextButton()->isVisible() && Sheet().NextButton()->isEnabled());
    EXPECT_TRUE(Sheet().BackButton()->isVisible() && Sheet().BackButton()->isEnabled());
    EXPECT_EQ(Sheet().BackButton()->text().toStdString(), LoadStr(6630));
    EXPECT_TRUE(Sheet().LoadPage()->PathEdit()->isEnabled());
    EXPECT_TRUE(Sheet().LoadPage()->BrowseButton()->isEnabled());

    StartConfirmedUpdate(Package("good.ssu"));
    ASSERT_TRUE(waitFor([&] { return Sheet().Events().Finished(); }, 60000))
        << Sheet().UpdatePage()->DetailsText().toStdString();
    EXPECT_EQ(Sheet().Events().Result(), CUpdateEvents::Outcome::Succeeded);
    EXPECT_EQ(Logins(), 1);
    EXPECT_EQ(enter.Seen().size(), 1u);
}

TEST_F(GuiWizardDetails, TheConnectPageFollowsAPasswordChangedInTheConsole) {
    Connect("admin");
    ASSERT_TRUE(Sheet().IsConnected());
    CBoxAnswerer enter;
    WhenOpen<gui::CModifyPasswordDlg>([](gui::CModifyPasswordDlg& dlg) {
        dlg.NewPasswordEdit()->setText("n3w");
        dlg.ConfirmEdit()->setText("n3w");
        dlg.OkButton()->click();
    });
    Sheet().Console()->Action(C::ModifyPassword)->trigger();
    ASSERT_TRUE(waitFor([&] { return m_sim->Password() == "n3w"; }));
    ASSERT_TRUE(waitFor([&] { return Sheet().Frame().SessionState == 0; }));

    Sheet().BackButton()->click();  // "&Disconnect"
    ASSERT_EQ(Sheet().ActivePage(), CMainSheet::kPageConnect);
    EXPECT_EQ(Sheet().ConnectPage()->PasswordEdit()->text().toStdString(), "n3w");
    Sheet().NextButton()->click();
    ASSERT_TRUE(waitFor([&] { return Sheet().ActivePage() == CMainSheet::kPageLoad; }, 20000));
    EXPECT_TRUE(SimReceived("login\npasswd:n3w\nflage:HandleVersion\n"));
    EXPECT_TRUE(enter.Seen().empty()) << enter.Seen()[0].text;
    EXPECT_EQ(Logins(), 2);
}

TEST_F(GuiWizardDetails, AnAddressWarningNeverTrapsTheKeyboard) {
    UdpProbe silent;
    Sheet().Search().SetSearchTime(300);
    Sheet().Search().SetLocalAddresses(std::vector<std::string>{"127.0.0.1"});
    Sheet().Search().SetTarget({"127.0.0.1", silent.Port()});
    Sheet().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&Sheet()));
    gui::CPageConnect* page = Sheet().ConnectPage();
    CBoxAnswerer enter;
    QTest::keyClick(&Sheet(), Qt::Key_A, Qt::AltModifier);
    ASSERT_TRUE(page->AddressBox()->hasFocus());
    page->AddressBox()->lineEdit()->selectAll();
    QTest::keyClicks(QApplication::focusWidget(), "10.0.0");
    // Tab to the password: the warning, then the focus is back in the address.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_TRUE(waitFor([&] { return enter.Seen().size() == 1; }));
    EXPECT_EQ(enter.Seen()[0].text, QString(LoadStr(6773)).trimmed().toStdString());
    EXPECT_EQ(enter.Seen()[0].parent, &Sheet());
    // (offscreen, no window manager gives the wizard the activation back after the box)
    ASSERT_TRUE(waitFor([&] { return Sheet().focusWidget() == page->AddressBox(); }));
    Sheet().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&Sheet()));
    ASSERT_TRUE(page->AddressBox()->hasFocus());
    // The same text again: the focus goes on without a second warning.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_TRUE(page->PasswordEdit()->hasFocus());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_TRUE(page->RememberBox()->hasFocus());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_TRUE(page->SearchButton()->hasFocus());
    QApplication::processEvents();
    EXPECT_EQ(enter.Seen().size(), 1u);
    // "&Search..." also by its mnemonic (it clicks about 100 ms later).
    QTest::keyClick(&Sheet(), Qt::Key_S, Qt::AltModifier);
    EXPECT_TRUE(waitFor([&] { return page->SelectDeviceDialog() != nullptr; }));
    // Connect still refuses the address.
    page->SelectDeviceDialog()->close();
    Sheet().NextButton()->click();
    ASSERT_TRUE(waitFor([&] { return enter.Seen().size() == 2; }));
    EXPECT_EQ(enter.Seen()[1].text, QString(LoadStr(6773)).trimmed().toStdString());
    EXPECT_TRUE(m_sim->ReceivedTexts().empty());
}

TEST_F(GuiWizardDetails, ProgressIsBlueAndEndsWithTheAverageRate) {
    Connect("admin");
    StartConfirmedUpdate(Package("v301.ssu"));
    ASSERT_TRUE(waitFor([&] { return Sheet().Events().Finished(); }, 60000));
    ASSERT_EQ(Sheet().Events().Result(), CUpdateEvents::Outcome::Succeeded);
    const auto [percent, at] = LastPercent();
    ASSERT_EQ(percent, 100) << Sheet().UpdatePage()->DetailsText().toStdString();
    EXPECT_EQ(Sheet().UpdatePage()->DetailColourAt(static_cast<int>(at)), kBlue);
    // The last file (the history script) is a few bytes: one percentage, at 100%.
    EXPECT_LT(Sheet().Frame().UploadSize(), 4096u);
    const QString rate = ProgressRate();
    EXPECT_TRUE(rate.endsWith("/s")) << rate.toStdString();
    EXPECT_NE(rate.toStdString(), (QLocale().formattedDataSize(0) + "/s").toStdString());
}

TEST_F(GuiWizardDetails, AfterALostTransferBarAndFiguresShowWhereItEnded) {
    RestartSim([](GatewaySimConfig& c) { c.faults.dropAfterUploadBytes = 3 << 20; });
    Connect("admin");
    CBoxAnswerer enter;
    StartConfirmedUpdate(Package(
        "big.ssu", {{"app1", "#sim: version KELMORA GW V301\n" + std::string(8u << 20, 'x')}}));
    ASSERT_TRUE(waitFor([&] { return Sheet().Events().Finished(); }, 60000));
    EXPECT_EQ(Sheet().Events().Result(), CUpdateEvents::Outcome::Failed);
    const std::uint64_t sent = Sheet().Frame().UploadSent();
    const std::uint64_t size = Sheet().Frame().UploadSize();
    ASSERT_GT(size, 8u << 20);
    ASSERT_LT(sent, size);
    const auto [percent, at] = LastPercent();
    EXPECT_EQ(percent, static_cast<int>(sent * 100 / size));
    EXPECT_EQ(Sheet().UpdatePage()->ProgressBar()->value(), percent);
    const QLocale locale;
    EXPECT_TRUE(Sheet().UpdatePage()->ProgressLabel()->text().startsWith(
        locale.formattedDataSize(qint64(sent)) + " of " + locale.formattedDataSize(qint64(size))))
        << Sheet().UpdatePage()->ProgressLabel()->text().toStdString() << " at " << percent;
    EXPECT_NE(ProgressRate().toStdString(), (locale.formattedDataSize(0) + "/s").toStdString());
}

TEST_F(GuiWizardDetails, LoginErrorBoxesComeInTheirOrder) {
    CBoxAnswerer enter;
    for (int i = 0; i < 3; ++i) {
        Connect("wrong");
        ASSERT_TRUE(waitFor([&] { return enter.Seen().size() >= std::size_t(i + 1); }));
    }
    QApplication::processEvents();
    const std::string invalid = QString(LoadStr(6457)).trimmed().toStdString();
    EXPECT_EQ(enter.Texts(),
              (std::vector<std::string>{
                  invalid, invalid, invalid,
                  QString::fromStdString(FormatStr(6798, 3, 2)).trimmed().toStdString()}));
    for (const SeenBox& b : enter.Seen()) {
        EXPECT_EQ(b.parent, &Sheet());
    }
}

TEST_F(GuiWizardDetails, ConsoleCommandsAskOverTheConsole) {
    RestartSim();
    Connect("admin");
    gui::CConsoleWindow* console = Sheet().Console();
    CBoxAnswerer enter;
    // A question of the Command menu asked after the gateway's reply (the wizard's login
    // was the last command before), then one of the console's own menus.
    Sheet().Op().SetNextAnswer(true);  // 6550
    console->CommandMenu()->findChild<QAction*>("nicExchange")->trigger();
    for (auto* dlg : console->findChildren<gui::CExchangeNicsDlg*>()) {
        if (dlg->isVisible())
            dlg->OkButton()->click();
    }
    ASSERT_TRUE(waitFor([&] { return enter.Seen().size() == 1; }));
    EXPECT_EQ(enter.Seen()[0].text.rfind("Exchange network interface cards successfully", 0), 0u);
    ASSERT_TRUE(waitFor([&] { return Sheet().Frame().SessionState == 0; }));
    WriteLocal(WorkPath("localhistory", "updhistory"), "line\n");
    console->Action(C::DeleteLocalLogs)->trigger();
    ASSERT_EQ(enter.Seen().size(), 2u);
    EXPECT_EQ(enter.Seen()[1].text, LoadStr(6555));
    for (const SeenBox& b : enter.Seen()) {
        EXPECT_EQ(b.parent, console) << b.text;
    }
    // A file dialog of a console command.
    QWidget* fileDialogParent = nullptr;
    WhenOpen<QFileDialog>([&](QFileDialog& fd) {
        fileDialogParent = fd.parentWidget();
        fd.reject();
    });
    console->Action(C::BackupConfig)->trigger();
    EXPECT_EQ(fileDialogParent, console);
    // The wizard's own messages stay over the wizard.
    Sheet().LoadPage()->PathEdit()->setText("/nonexistent/x.ssu");
    Sheet().NextButton()->click();
    ASSERT_EQ(enter.Seen().size(), 3u);
    EXPECT_EQ(enter.Seen()[2].parent, &Sheet());
}

TEST_F(GuiWizardDetails, TheCommandConsolePasswordPromptIsTranslated) {
    Connect("admin");
    QAction* item = Sheet().Console()->CommandMenu()->findChild<QAction*>("commandConsole");
    for (Language lang : {Language::English, Language::Simplified, Language::Traditional}) {
        SetLanguage(lang);
        QString prompt;
        QWidget* parent = nullptr;
        WhenOpen<QInputDialog>([&](QInputDialog& d) {
            prompt = d.labelText();
            parent = d.parentWidget();
            d.reject();
        });
        item->trigger();
        EXPECT_EQ(prompt.toStdString(), LoadStr(9300, lang));
        EXPECT_EQ(parent, Sheet().Console());
        EXPECT_FALSE(Sheet().Frame().ConsoleUnlocked());
    }
    SetLanguage(Language::English);
    EXPECT_EQ(std::string(LoadStr(9300)), "Password:");
}

TEST_F(GuiWizardDetails, OptionsClearCarriesItsCaptionAndAcceptedValuesBecomeTheSettings) {
    const fs::path oldPackage = WorkPath("old.ssu", "oldpkg");
    const fs::path downloaded = WorkPath("new.ssu", "Download");
    WriteLocal(oldPackage, "old");
    WriteLocal(downloaded, "new");
    const OptionSettings before = CurrentSettings();
    {
        gui::COptionDlg dlg(Sheet().Op(), &Sheet());
        dlg.show();
        CBoxAnswerer ok;
        ok.SetButton(QMessageBox::Ok);
        dlg.OnClear();
        ASSERT_EQ(ok.Seen().size(), 2u);
        EXPECT_EQ(ok.Texts(), (std::vector<std::string>{LoadStr(6704), LoadStr(6706)}));
        for (const SeenBox& b : ok.Seen()) {
            EXPECT_EQ(b.title, LoadStr(6705));
            EXPECT_EQ(b.parent, &dlg);
        }
        EXPECT_FALSE(fs::exists(oldPackage));
        EXPECT_FALSE(fs::exists(downloaded));
    }
    // Cancel keeps the settings; OK makes the accepted values the settings.
    for (bool accept : {false, true}) {
        WhenOpen<gui::COptionDlg>([accept](gui::COptionDlg& d) {
            d.ServerBox()->setCurrentIndex(2);
            d.KeepBox()->setChecked(false);
            (accept ? d.OkButton() : d.CancelButton())->click();
        });
        Sheet().OptionsButton()->click();
        EXPECT_EQ(CurrentSettings().updateServer, accept ? 2 : before.updateServer);
        EXPECT_EQ(CurrentSettings().savePackage, accept ? false : before.savePackage);
    }
    EXPECT_EQ(LoadOptions().updateServer, 2);
}

TEST_F(GuiWizardDetails, ARetriedCheckAfterACheckErrorShowsItsResult) {
    Connect("admin");
    const std::string pkg = Package("good.ssu");
    bool injected = false;
    bool retried = false;
    QElapsedTimer sinceRetry;
    std::string status;
    WhenReady([&] {
        gui::CConfirmUpdateDlg* dlg = Sheet().ConfirmDialog();
        if (!dlg)
            return false;
        if (!injected) {
            // The check cannot run: check event 0 ends its activity.
            injected = true;
            Sheet().Op().NotifyCheckPage(kCheckFatal, "the check could not start\n");
            return false;
        }
        if (!retried) {
            // Once the first check has had its say (it is no longer heard), retry.
            if (!dlg->RetryButton()->isVisible() ||
                !SimReceived("excute\ncmd:/etc/vorncmd/apppre\n") ||
                Sheet().Frame().SessionState != 0)
                return false;
            retried = true;
            sinceRetry.start();
            dlg->RetryButton()->click();
            return false;
        }
        if (!dlg->UpdateButton()->isEnabled()) {
            if (sinceRetry.elapsed() < 20000)
                return false;
            dlg->CancelButton()->click();  // the retried check was never heard
            return true;
        }
        status = dlg->StatusLabel()->text().toStdString();
        dlg->UpdateButton()->click();
        return true;
    });
    StartCheckedUpdate(pkg);
    ASSERT_TRUE(waitFor([&] { return Sheet().Events().Finished(); }, 60000));
    EXPECT_TRUE(retried);
    EXPECT_EQ(status, QString(LoadStr(105)).trimmed().toStdString());
    EXPECT_EQ(Sheet().Events().Result(), CUpdateEvents::Outcome::Succeeded);
}

TEST_F(GuiWizardDetails, AboutShowsTheBuildTimeBesideTheVersion) {
    Sheet().ShowAbout();
    gui::CAboutDlg* about = Sheet().findChild<gui::CAboutDlg*>();
    ASSERT_TRUE(about);
    QLabel* built = about->findChild<QLabel*>("buildTime");
    QLabel* version = about->findChild<QLabel*>("version");
    ASSERT_TRUE(built && version);
    static const QRegularExpression line(
        QStringLiteral("^Build time: [A-Z][a-z]{2} [ 1-3]\\d \\d{4} - \\d\\d:\\d\\d:\\d\\d$"));
    EXPECT_TRUE(line.match(built->text()).hasMatch()) << built->text().toStdString();
    EXPECT_EQ(built->geometry().center().y(), version->geometry().center().y());
    about->close();
}

}  // namespace
}  // namespace vorn::test
