// The console's "Command" menu and its dialogs, driven through their widgets against the
// simulator. The host is the console window's text view with a menu filled by FillCommandMenu.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCryptographicHash>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QPushButton>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/gui/CCommandConsoleDlg.h"
#include "app/gui/CConsoleView.h"
#include "app/gui/CExchangeNicsDlg.h"
#include "app/gui/CGuiOperator.h"
#include "app/gui/CModifyNicDlg.h"
#include "app/gui/CPingDlg.h"
#include "app/gui/CommandLabels.h"
#include "app/gui/CommandMenu.h"
#include "app/gui/ConsoleLabels.h"
#include "lib/StringTable.h"
#include "operations/CMainFrame.h"
#include "tests/common/GatewayChain.h"
#include "tests/common/WaitFor.h"
#include "tools/gateway-sim/SimDiagnostics.h"

namespace vorn::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kEtcVersion = "KELMORA-GW-2100 V5.2.1\n";  // "/etc" layout, line 4
constexpr const char* kVarVersion = "UX2000 V3.1.0\n";           // "/var" layout

// Every item of the menu with what it needs besides a connected, idle gateway.
struct MenuItem {
    std::string name;
    bool nic;  // the "/etc" layout
};
std::vector<MenuItem> AllItems() {
    std::vector<MenuItem> v = {
        {"ping", false},     {"route", false},      {"arp", false},
        {"ifconfig", false}, {"nicView", true},     {"nicView.All", true},
        {"nicModify", true}, {"nicExchange", true}, {"commandConsole", false}};
    for (int i = 0; i <= 20; ++i) v.push_back({"nicView.eth" + std::to_string(i), true});
    return v;
}

// The console's text view as the operator's console, without the wizard around it (the
// frame here has a console password of its own).
class ViewSink : public gui::CConsoleSink {
public:
    gui::CConsoleView view;
    void Append(const std::string& t, std::uint32_t c) override {
        view.Append(QString::fromStdString(t), c);
    }
    void SetAnchor() override { view.SetAnchor(); }
    void ReplaceFromAnchor(const std::string& t, std::uint32_t c) override {
        view.ReplaceFromAnchor(QString::fromStdString(t), c);
    }
    void SetTitle(const std::string&) override {}
};

class GuiSupport : public ::testing::Test {
protected:
    void Start(const std::string& version = kEtcVersion) {
        m_sim = StartGatewaySim(
            m_folders.SimRoot(),
            [&](GatewaySimConfig& cfg) {
                cfg.versionText = version;
                if (version == kVarVersion) {
                    cfg.resultFile = "/var/vorncmd/result";
                }
            },
            300, [](CGatewaySim& sim) { AddDiagnosticCommands(sim); });
        ASSERT_TRUE(m_sim);
        m_op.SetUnattended(true);
        const QByteArray digest =
            QCryptographicHash::hash("letmein", QCryptographicHash::Md5).toHex();
        m_frame = std::make_unique<CMainFrame>(&m_op, digest.toStdString());
        m_console = std::make_unique<ViewSink>();
        m_op.SetConsoleSink(m_console.get());
        m_menu = std::make_unique<QMenu>(gui::ConsoleLabel(gui::CL::CommandMenu));
        gui::FillCommandMenu(*m_menu, *m_frame, m_op, &m_console->view);
        m_console->view.show();
    }
    void Login() {
        ASSERT_TRUE(LoginSession(*m_frame, *m_sim));
        ASSERT_TRUE(m_frame->Connected);
        NewCommands();
    }
    void TearDown() override {
        while (QWidget* w = QApplication::activeModalWidget()) {
            w->close();
        }
        m_menu.reset();
        m_op.SetConsoleSink({});
        m_console.reset();
        m_frame.reset();
        if (m_sim) {
            m_sim->Stop();
        }
    }

    QAction* Item(const std::string& name) {
        QAction* a = m_menu->findChild<QAction*>(QString::fromStdString(name));
        EXPECT_TRUE(a) << name;
        return a;
    }
    // The open dialog of a kind (opened by the item just triggered), or null.
    template <class Dialog>
    Dialog* Opened() {
        for (Dialog* d : m_console->view.findChildren<Dialog*>()) {
            if (d->isVisible()) {
                return d;
            }
        }
        return nullptr;
    }
    template <class Dialog>
    Dialog* Open(const std::string& item) {
        Item(item)->trigger();
        Dialog* d = Opened<Dialog>();
        EXPECT_TRUE(d) << item;
        return d;
    }
    bool Idle() {
        return waitFor([&] { return m_frame->SessionState == 0; }, 20000);
    }
    // Command lines the gateway received since the last call.
    std::vector<std::string> NewCommands() {
        std::vector<std::string> cmds;
        const std::vector<std::string> texts = m_sim->ReceivedTexts();
        for (std::size_t i = m_seen; i < texts.size(); ++i) {
            if (texts[i].rfind("excute\ncmd:", 0) == 0) {
                cmds.push_back(texts[i].substr(11));
            }
        }
        m_seen = texts.size();
        return cmds;
    }
    std::string View() const { return m_console->view.toPlainText().toStdString(); }
    bool Shown(const std::string& text) const { return View().find(text) != std::string::npos; }
    bool HasMessage(const std::string& text) const {
        for (const std::string& m : m_op.Messages()) {
            if (m == text) {
                return true;
            }
        }
        return false;
    }
    // Items whose state differs from the expectation, by name.
    std::vector<std::string> WrongStates(bool connectedIdle, bool etc) {
        std::vector<std::string> wrong;
        for (const MenuItem& i : AllItems()) {
            const bool expected = connectedIdle && (!i.nic || etc);
            if (QAction* a = Item(i.name); a && a->isEnabled() != expected) {
                wrong.push_back(i.name);
            }
        }
        return wrong;
    }

    CTestFolders m_folders;
    gui::CGuiOperator m_op;
    std::unique_ptr<CGatewaySim> m_sim;
    std::unique_ptr<CMainFrame> m_frame;
    std::unique_ptr<ViewSink> m_console;
    std::unique_ptr<QMenu> m_menu;
    std::size_t m_seen = 0;
};

// ---------------------------------------------------------------------------------------------
// Enable states

class GuiSupportLayouts : public GuiSupport, public ::testing::WithParamInterface<bool> {};

TEST_P(GuiSupportLayouts, ItemsFollowTheSessionAndTheScriptLayout) {
    const bool etc = GetParam();
    Start(etc ? kEtcVersion : kVarVersion);
    using Names = std::vector<std::string>;
    EXPECT_EQ(WrongStates(false, etc), Names{}) << "before login";

    Login();
    EXPECT_EQ(m_frame->GatewayLayoutFlag(), etc ? 1 : 0);
    EXPECT_EQ(WrongStates(true, etc), Names{}) << "after login";

    // During an operation every item is off; it comes back when the operation ends.
    Item("route")->trigger();
    EXPECT_EQ(m_frame->SessionState, kStateConsoleCommand);
    EXPECT_EQ(WrongStates(false, etc), Names{}) << "during an operation";
    ASSERT_TRUE(Idle());
    EXPECT_EQ(WrongStates(true, etc), Names{}) << "after the operation";
    EXPECT_TRUE(Shown("Kernel IP routing table")) << View();

    // A combined update keeps the command console closed even between its steps.
    m_frame->m_combinedRunning = true;
    m_frame->NotifySessionChanged();
    EXPECT_FALSE(Item("commandConsole")->isEnabled());
    EXPECT_TRUE(Item("route")->isEnabled());
    m_frame->m_combinedRunning = false;
    m_frame->NotifySessionChanged();

    m_frame->Disconnect();
    ASSERT_TRUE(waitFor([&] { return !m_frame->Connected; }));
    EXPECT_EQ(WrongStates(false, etc), Names{}) << "after disconnect";
}

INSTANTIATE_TEST_SUITE_P(Layout, GuiSupportLayouts, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& p) {
                             return p.param ? "Etc" : "Var";
                         });

TEST_F(GuiSupport, ItemsSendTheirCommands) {
    Start();
    Login();
    struct Case {
        std::string item;
        std::string sent;
        std::string shown;
    } cases[] = {
        {"route", "route -n\n\n", "Kernel IP routing table"},
        {"arp", "cat /proc/net/arp\n\n", "HW address"},
        {"ifconfig", "ifconfig\n\n", "inet addr:192.168.1.1"},
        {"nicView.All", "mii-tool\n", "All : \n"},
        {"nicView.eth0", "ethtool eth0 \n", "Settings for eth0:"},
        {"nicView.eth11", "ethtool eth11 \n", "eth11 : \n"},
        {"nicView.eth20", "ethtool eth20\n", "eth20 : \n"},
    };
    for (const Case& c : cases) {
        Item(c.item)->trigger();
        ASSERT_TRUE(Idle()) << c.item;
        EXPECT_EQ(NewCommands(), std::vector<std::string>{c.sent}) << c.item;
        EXPECT_TRUE(Shown(c.shown)) << c.item;
    }
    // The items of the NIC submenu are eth0 ... eth20 after "All".
    QMenu* nics = Item("nicView")->menu();
    ASSERT_TRUE(nics);
    ASSERT_EQ(nics->actions().size(), 22);
    EXPECT_EQ(nics->actions().front()->objectName().toStdString(), "nicView.All");
    EXPECT_EQ(nics->actions().back()->text().toStdString(), "eth20");
}

// ---------------------------------------------------------------------------------------------
// Ping

TEST_F(GuiSupport, PingSendsTheNeutralisedTargetAndCancelSendsNothing) {
    Start();
    Login();
    auto* dlg = Open<gui::CPingDlg>("ping");
    ASSERT_TRUE(dlg);
    dlg->CancelButton()->click();
    EXPECT_FALSE(Opened<gui::CPingDlg>());
    EXPECT_EQ(m_frame->SessionState, 0);

    dlg = Open<gui::CPingDlg>("ping");
    ASSERT_TRUE(dlg);
    dlg->TargetEdit()->setText("nosuch$(reboot)`reboot`\"; reboot; \"");
    dlg->OkButton()->click();
    ASSERT_TRUE(Idle());
    // "nosuch..." is unknown to the gateway: the series stops after its first run.
    EXPECT_EQ(NewCommands(),
              std::vector<std::string>{"ping -c 1 \"nosuch(reboot)reboot; reboot;\"\n\n"});
    EXPECT_TRUE(Shown("Ping command is to run 4 times...\n"));
    EXPECT_TRUE(Shown("unknown host"));
    EXPECT_EQ(m_sim->RebootCount(), 0);
}

TEST_F(GuiSupport, DialogConfirmedAfterTheLinkDroppedSendsNothing) {
    Start();
    Login();
    auto* dlg = Open<gui::CPingDlg>("ping");
    ASSERT_TRUE(dlg);
    m_frame->Disconnect();
    ASSERT_TRUE(waitFor([&] { return !m_frame->Connected; }));
    dlg->TargetEdit()->setText("127.0.0.1");
    dlg->OkButton()->click();
    EXPECT_TRUE(Shown(LoadStr(6766)));
    EXPECT_EQ(m_frame->SessionState, 0);
    EXPECT_TRUE(NewCommands().empty());
}

// ---------------------------------------------------------------------------------------------
// NIC settings

TEST_F(GuiSupport, ModifyNicSettingsSendsSpeedAndMtuOrNothingForPppWithoutMtu) {
    Start();
    Login();
    struct Case {
        QString nic;
        int speed;    // index in the speed box, -1 for none
        QString mtu;  // empty: box not checked
        std::vector<std::string> sent;
        std::string shown;
    } cases[] = {
        {"eth0",
         3,
         "",
         {"/usr/sbin/eth-set.sh eth0 100baseTx-FD \n"},
         "Adjusting network(eth0) speed, please wait...\n"},
        {"eth1",
         0,
         "1400",
         {"/usr/sbin/eth-set.sh eth1 Auto-negotiation ; /usr/sbin/change-eth-mtu eth1 1400 \n"},
         "Adjusting network(eth1) speed and MTU, please wait...\n"},
        {"ppp2",
         -1,
         "700",
         {"/usr/sbin/change-ppp-mtu ppp2 700 \n"},
         "Adjusting MTU, please wait...\n"},
        {"ppp0", -1, "", {}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.nic.toStdString());
        auto* dlg = Open<gui::CModifyNicDlg>("nicModify");
        ASSERT_TRUE(dlg);
        dlg->NicBox()->setCurrentText(c.nic);
        EXPECT_EQ(dlg->SpeedBox()->isEnabled(), c.nic.startsWith("eth"));
        if (c.speed >= 0) {
            dlg->SpeedBox()->setCurrentIndex(c.speed);
        }
        if (!c.mtu.isEmpty()) {
            dlg->MtuBox()->setChecked(true);
            dlg->MtuEdit()->setText(c.mtu);
        }
        dlg->OkButton()->click();
        EXPECT_FALSE(Opened<gui::CModifyNicDlg>());
        ASSERT_TRUE(Idle());
        EXPECT_EQ(NewCommands(), c.sent);
        if (!c.shown.empty()) {
            EXPECT_TRUE(Shown(c.shown));
        }
    }
    EXPECT_EQ(m_frame->SessionState, 0);
    EXPECT_TRUE(m_op.Messages().empty());
}

TEST_F(GuiSupport, ModifyNicRefusalsKeepTheDialogOpen) {
    Start();
    Login();
    struct Case {
        QString nic;
        int speed;
        QString mtu;  // "-" : box not checked
        int message;
    } cases[] = {
        {"", 3, "-", 6533},         // no NIC chosen
        {"eth0", -1, "-", 6534},    // no speed
        {"eth0", 3, "699", 6547},   // below the range
        {"eth0", 3, "1501", 6547},  // above it
        {"eth0", 3, "", 6547},      // checked and empty
        {"ppp1", -1, "0", 6547},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.nic.toStdString() + " " + c.mtu.toStdString());
        m_op.ClearMessages();
        auto* dlg = Open<gui::CModifyNicDlg>("nicModify");
        ASSERT_TRUE(dlg);
        if (!c.nic.isEmpty()) {
            dlg->NicBox()->setCurrentText(c.nic);
        }
        dlg->SpeedBox()->setCurrentIndex(c.speed);
        if (c.mtu != "-") {
            dlg->MtuBox()->setChecked(true);
            dlg->MtuEdit()->setText(c.mtu);
        }
        dlg->OkButton()->click();
        EXPECT_EQ(m_op.Messages(), std::vector<std::string>{LoadStr(c.message)});
        EXPECT_EQ(Opened<gui::CModifyNicDlg>(), dlg);
        dlg->CancelButton()->click();
    }
    EXPECT_TRUE(NewCommands().empty());
    EXPECT_EQ(m_frame->SessionState, 0);
}

TEST_F(GuiSupport, ExchangeNicsAsksTheLicenceAndTheRestartQuestions) {
    Start();
    Login();
    // No to the licence question sends nothing.
    auto* dlg = Open<gui::CExchangeNicsDlg>("nicExchange");
    ASSERT_TRUE(dlg);
    m_op.SetNextAnswer(false);
    dlg->OkButton()->click();
    EXPECT_EQ(m_frame->SessionState, 0);
    EXPECT_TRUE(NewCommands().empty());
    EXPECT_TRUE(Shown(LoadStr(6505)));

    // Licence question Yes, restart No: the exchange runs, the gateway keeps running.
    dlg = Open<gui::CExchangeNicsDlg>("nicExchange");
    ASSERT_TRUE(dlg);
    EXPECT_EQ(dlg->Nic1(), "eth0");
    EXPECT_EQ(dlg->Nic2(), "eth1");
    m_op.SetNextAnswer(true);
    m_op.SetNextAnswer(false);
    dlg->OkButton()->click();
    ASSERT_TRUE(Idle());
    EXPECT_EQ(m_op.AnswersPending(), 0u);  // both questions were asked
    EXPECT_EQ(NewCommands(), std::vector<std::string>{"swapnic-set.sh eth0 eth1\n"});
    EXPECT_TRUE(Shown(LoadStr(6505)));
    EXPECT_TRUE(m_frame->Connected);
    EXPECT_EQ(m_sim->RebootCount(), 0);
    EXPECT_TRUE(Item("nicExchange")->isEnabled());

    // Yes and Yes: the gateway restarts and the link closes.
    dlg = Open<gui::CExchangeNicsDlg>("nicExchange");
    ASSERT_TRUE(dlg);
    dlg->Nic1Box()->setCurrentText("eth3");
    dlg->Nic2Box()->setCurrentText("eth2");
    m_op.SetNextAnswer(true);
    m_op.SetNextAnswer(true);
    dlg->OkButton()->click();
    ASSERT_TRUE(waitFor([&] { return !m_frame->Connected; }, 20000));
    EXPECT_EQ(m_op.AnswersPending(), 0u);
    EXPECT_EQ(NewCommands(), (std::vector<std::string>{"swapnic-set.sh eth3 eth2\n", "reboot\n"}));
    EXPECT_TRUE(Shown(LoadStr(6552)));
    EXPECT_TRUE(waitFor([&] { return m_sim->RebootCount() == 1; }));
    EXPECT_FALSE(Item("nicExchange")->isEnabled());
    EXPECT_FALSE(Item("route")->isEnabled());
}

// ---------------------------------------------------------------------------------------------
// Command console

TEST_F(GuiSupport, CommandConsoleUnlocksWithTheRightPasswordThenTransfersFiles) {
    Start();
    Login();
    m_op.SetNextText("wrong");
    Item("commandConsole")->trigger();
    EXPECT_FALSE(Opened<gui::CCommandConsoleDlg>());
    EXPECT_TRUE(Shown(LoadStr(6457)));
    EXPECT_FALSE(m_frame->ConsoleUnlocked());

    m_op.SetNextText("letmein");
    auto* dlg = Open<gui::CCommandConsoleDlg>("commandConsole");
    ASSERT_TRUE(dlg);
    EXPECT_TRUE(m_frame->ConsoleUnlocked());

    // put: a local file to the gateway.
    const fs::path local = m_folders.Dir() / "payload.bin";
    const std::string data = RandomBytes(300000);
    WriteLocal(local, data);
    dlg->ActionBox()->setCurrentIndex(gui::CCommandConsoleDlg::kPut);
    dlg->TextEdit()->setText("/stmp/payload.bin");
    m_op.SetNextFileName(local.string());
    dlg->OkButton()->click();
    ASSERT_TRUE(Idle());
    EXPECT_TRUE(Shown(LoadStr(6543)));
    EXPECT_EQ(ReadLocal(m_sim->LocalPath("/stmp/payload.bin")), data);

    // get: back again; no second password question in this run.
    ASSERT_EQ(m_op.AnswersPending(), 0u);
    dlg = Open<gui::CCommandConsoleDlg>("commandConsole");
    ASSERT_TRUE(dlg);
    const fs::path back = m_folders.Dir() / "back.bin";
    dlg->ActionBox()->setCurrentIndex(gui::CCommandConsoleDlg::kGet);
    dlg->TextEdit()->setText("/stmp/payload.bin");
    m_op.SetNextFileName(back.string());
    dlg->OkButton()->click();
    ASSERT_TRUE(Idle());
    EXPECT_TRUE(Shown(LoadStr(6483)));
    QProcess cmp;
    cmp.start("cmp",
              {QString::fromStdString(local.string()), QString::fromStdString(back.string())});
    ASSERT_TRUE(cmp.waitForFinished(10000));
    EXPECT_EQ(cmp.exitCode(), 0) << cmp.readAllStandardOutput().toStdString();
    EXPECT_TRUE(m_op.Messages().empty());  // nothing was asked that had no answer
}

TEST_F(GuiSupport, CommandConsoleRefusesBadNamesEmptyTextAndCancelledChoices) {
    Start();
    Login();
    m_op.SetNextText("letmein");
    auto* dlg = Open<gui::CCommandConsoleDlg>("commandConsole");
    ASSERT_TRUE(dlg);
    // An empty text: the dialog stays open.
    dlg->TextEdit()->setText("   ");
    dlg->OkButton()->click();
    EXPECT_EQ(m_op.Messages(), std::vector<std::string>{LoadStr(6783)});
    EXPECT_EQ(Opened<gui::CCommandConsoleDlg>(), dlg);
    // A remote name no local file can carry: refused before any file choice.
    dlg->ActionBox()->setCurrentIndex(gui::CCommandConsoleDlg::kGet);
    dlg->TextEdit()->setText("/tmp/a|b");
    dlg->OkButton()->click();
    EXPECT_TRUE(Shown(LoadStr(6590)));
    EXPECT_EQ(m_op.Messages().size(), 1u);  // no file dialog
    // A cancelled file choice.
    dlg = Open<gui::CCommandConsoleDlg>("commandConsole");
    ASSERT_TRUE(dlg);
    dlg->ActionBox()->setCurrentIndex(gui::CCommandConsoleDlg::kPut);
    dlg->TextEdit()->setText("/stmp/x");
    m_op.SetNextFileName(std::nullopt);
    dlg->OkButton()->click();
    EXPECT_TRUE(Shown(LoadStr(6505)));
    EXPECT_EQ(m_frame->SessionState, 0);
    EXPECT_TRUE(m_sim->Uploads().empty());
    // A combined update that began while the dialog was open keeps its command out.
    dlg = Open<gui::CCommandConsoleDlg>("commandConsole");
    ASSERT_TRUE(dlg);
    dlg->TextEdit()->setText("ls");
    m_frame->m_combinedRunning = true;
    dlg->OkButton()->click();
    m_frame->m_combinedRunning = false;
    EXPECT_EQ(m_frame->SessionState, 0);
    EXPECT_TRUE(NewCommands().empty());
}

TEST_F(GuiSupport, GatewayOutputWithMarkupIsShownLiterally) {
    Start();
    Login();
    const std::string markup = "<b>bold</b> &amp; &lt;i&gt; <a href=\"x\">link</a>";
    WriteLocal(m_folders.SimRoot() / "tmp" / "markup.txt", markup + "\n");
    m_op.SetNextText("letmein");
    auto* dlg = Open<gui::CCommandConsoleDlg>("commandConsole");
    ASSERT_TRUE(dlg);
    EXPECT_EQ(dlg->Chosen(), gui::CCommandConsoleDlg::kExec);
    dlg->TextEdit()->setText("cat /tmp/markup.txt");
    dlg->OkButton()->click();
    ASSERT_TRUE(Idle());
    EXPECT_TRUE(Shown("exec: cat /tmp/markup.txt\n"));
    EXPECT_TRUE(Shown(markup + "\n")) << View();
}

}  // namespace
}  // namespace vorn::test
