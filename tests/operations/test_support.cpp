// The diagnostic commands of the technical support console against the simulator.
#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>

#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>

#include "lib/StringTable.h"
#include "operations/CMainFrame.h"
#include "platform/ProgramFolder.h"
#include "tests/common/GatewayChain.h"
#include "tests/common/RecordingOperator.h"
#include "tests/common/WaitFor.h"
#include "tools/gateway-sim/CGatewaySim.h"
#include "tools/gateway-sim/SimDiagnostics.h"

namespace vorn::test {
namespace {

namespace fs = std::filesystem;

// Answers the Yes/No questions from a list (then No).
class ScriptedOperator : public RecordingOperator {
public:
    std::deque<bool> answers;
    bool OnAskYesNo(const std::string& text) override {
        messages.push_back(text);
        if (answers.empty())
            return false;
        const bool a = answers.front();
        answers.pop_front();
        return a;
    }
};

TEST(PingTarget, BecomesOneLiteralShellWord) {
    struct Case {
        std::string typed;
        std::optional<std::string> quoted;
    } cases[] = {
        {"127.0.0.1", "\"127.0.0.1\""},
        {"  gw.example.net ", "\"gw.example.net\""},
        {"a'b\"c`d", "\"abcd\""},
        {"$(reboot)", "\"(reboot)\""},
        {"${PATH}x", "\"{PATH}x\""},
        {"`reboot`", "\"reboot\""},
        {"host\\\"; reboot; \\\"", "\"host; reboot;\""},
        {"host\nreboot", "\"hostreboot\""},
        {"-f", std::nullopt},  // would be an option of ping
        {"'\"`", std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(QuotedPingTarget(c.typed), c.quoted) << c.typed;
}

TEST(PingTarget, ShellSeesExactlyOneUnexpandedWord) {
    // Cross-check with a real shell: every quoted target prints as one argument, unchanged
    // apart from the removed characters, and nothing else runs.
    const std::string hostile[] = {
        "$(echo PWNED)", "`echo PWNED`", "a;echo PWNED", "$HOME", "x\\\"y", "a b", "*",
        "a|b&c>d",       "${IFS}q"};
    for (const std::string& t : hostile) {
        const std::optional<std::string> q = QuotedPingTarget(t);
        ASSERT_TRUE(q) << t;
        QProcess sh;
        sh.start("/bin/sh", {"-c", QString::fromStdString("printf '[%s]\\n' " + *q)});
        ASSERT_TRUE(sh.waitForFinished(5000));
        const std::string out = sh.readAllStandardOutput().toStdString();
        EXPECT_EQ(out, "[" + q->substr(1, q->size() - 2) + "]\n") << t;
        EXPECT_EQ(out.find("PWNED\n"), std::string::npos) << t;
    }
}

class Support : public ::testing::Test {
protected:
    void Start(const std::string& version = "KELMORA-GW-2100 V5.2.1\n") {
        m_sim = StartGatewaySim(
            m_folders.SimRoot(), [&](GatewaySimConfig& cfg) { cfg.versionText = version; }, 0,
            [](CGatewaySim& sim) { AddDiagnosticCommands(sim); });
        ASSERT_TRUE(m_sim);
        m_frame = std::make_unique<CMainFrame>(&m_op);
        ASSERT_TRUE(LoginSession(*m_frame, *m_sim));
        ASSERT_TRUE(m_frame->Connected);
        m_seen = m_sim->ReceivedTexts().size();
    }
    void TearDown() override {
        m_frame.reset();
        if (m_sim)
            m_sim->Stop();
    }
    fs::path Dir() const { return m_folders.Dir(); }
    // Waits until the link is idle for a moment (ping series start a new run at once).
    bool Idle() {
        return waitFor([&] { return m_frame->SessionState == 0; });
    }
    // Command lines received since the last call.
    std::vector<std::string> NewCommands() {
        std::vector<std::string> cmds;
        const std::vector<std::string> texts = m_sim->ReceivedTexts();
        for (std::size_t i = m_seen; i < texts.size(); ++i) {
            if (texts[i].rfind("excute\ncmd:", 0) == 0)
                cmds.push_back(texts[i].substr(11));
        }
        m_seen = texts.size();
        return cmds;
    }
    int Count(const std::string& text) const {
        int n = 0;
        for (const auto& l : m_op.console) n += l.text.find(text) != std::string::npos;
        return n;
    }

    CTestFolders m_folders;
    ScriptedOperator m_op;
    std::unique_ptr<CGatewaySim> m_sim;
    std::unique_ptr<CMainFrame> m_frame;
    std::size_t m_seen = 0;
};

TEST_F(Support, MenuCommandsSendExactlyTheirText) {
    Start();
    struct Case {
        std::function<bool(CMainFrame&)> run;
        std::string sent;    // the command message's cmd field with its line end
        std::string header;  // red line before the output, if any
        std::string output;  // part of the output shown
    } cases[] = {
        {[](CMainFrame& f) { return f.ShowRouteTable(); }, "route -n\n\n", "",
         "Kernel IP routing table"},
        {[](CMainFrame& f) { return f.ShowArpTable(); }, "cat /proc/net/arp\n\n", "", "HW address"},
        {[](CMainFrame& f) { return f.ShowNetworkSettings(); }, "ifconfig\n\n", "",
         "inet addr:192.168.1.1"},
        {[](CMainFrame& f) { return f.ShowNicSettings("All"); }, "mii-tool\n", "All : \n",
         "eth0: negotiated"},
        {[](CMainFrame& f) { return f.ShowNicSettings("eth0"); }, "ethtool eth0 \n", "eth0 : \n",
         "Settings for eth0:"},
        {[](CMainFrame& f) { return f.ShowNicSettings("eth11"); }, "ethtool eth11 \n", "eth11 : \n",
         "No such device"},
        {[](CMainFrame& f) { return f.ShowNicSettings("eth12"); }, "ethtool eth12\n", "eth12 : \n",
         "No such device"},
    };
    for (const Case& c : cases) {
        m_op.console.clear();
        ASSERT_TRUE(c.run(*m_frame)) << c.sent;
        ASSERT_TRUE(Idle());
        EXPECT_EQ(NewCommands(), std::vector<std::string>{c.sent});
        if (!c.header.empty()) {
            ASSERT_FALSE(m_op.console.empty());
            EXPECT_EQ(m_op.console.front().text, c.header);
            EXPECT_EQ(m_op.console.front().colour, kRed);
        }
        EXPECT_TRUE(m_op.ShownIn(c.output, kBlack)) << c.sent;
    }
    EXPECT_FALSE(m_frame->ShowNicSettings("wlan0"));  // not an entry of the menu
    EXPECT_TRUE(NewCommands().empty());
}

TEST_F(Support, NonAsciiUtf8OutputIsShownAsText) {
    Start();
    ASSERT_TRUE(m_frame->ShowNicSettings("eth1"));
    ASSERT_TRUE(Idle());
    EXPECT_TRUE(
        m_op.ShownIn("Port description: \xe4\xb8\x8a\xe8\xa1\x8c\xe5\x8f\xa3 (uplink)", kBlack));
    // Bytes that are not UTF-8 are shown as they came.
    fs::create_directories(Dir() / "root" / "etc");
    std::ofstream(Dir() / "root" / "etc" / "motd", std::ios::binary) << "caf\xe9\n";
    ASSERT_TRUE(m_frame->RunConsoleCommand("cat /etc/motd", false));
    ASSERT_TRUE(Idle());
    EXPECT_TRUE(m_op.ShownIn("caf\xe9\n", kBlack));
}

TEST_F(Support, PingRunsFourTimes) {
    Start();
    ASSERT_TRUE(m_frame->PingGateway("127.0.0.1"));
    ASSERT_TRUE(
        waitFor([&] { return Count("1 packets received") == 4 && m_frame->SessionState == 0; }));
    EXPECT_TRUE(m_op.ShownIn("Ping command is to run 4 times...\n", kBlack));
    const std::vector<std::string> sent = NewCommands();
    EXPECT_EQ(sent, std::vector<std::string>(4, "ping -c 1 \"127.0.0.1\"\n\n"));
    EXPECT_EQ(Count("Execute command successfully!\n"), 4);
}

TEST_F(Support, PingStopsAtUnknownHost) {
    Start();
    ASSERT_TRUE(m_frame->PingGateway("nosuch.host"));
    ASSERT_TRUE(Idle());
    EXPECT_TRUE(m_op.Shown("ping: unknown host nosuch.host"));
    EXPECT_EQ(NewCommands(), std::vector<std::string>{"ping -c 1 \"nosuch.host\"\n\n"});
    // A later command is not followed by further pings.
    ASSERT_TRUE(m_frame->ShowRouteTable());
    ASSERT_TRUE(Idle());
    EXPECT_EQ(NewCommands(), std::vector<std::string>{"route -n\n\n"});
}

TEST_F(Support, HostilePingTargetIsNeutralisedOrRefused) {
    Start();
    ASSERT_TRUE(m_frame->PingGateway("nosuch$(reboot)`reboot`\"; reboot; \""));
    ASSERT_TRUE(Idle());
    EXPECT_EQ(NewCommands(),
              std::vector<std::string>{"ping -c 1 \"nosuch(reboot)reboot; reboot;\"\n\n"});
    EXPECT_EQ(m_sim->RebootCount(), 0);

    EXPECT_FALSE(m_frame->PingGateway("   "));
    EXPECT_TRUE(m_op.ShownIn("Please enter the command.\n", kRed));
    EXPECT_FALSE(m_frame->PingGateway("-f 127.0.0.1"));
    EXPECT_TRUE(m_op.ShownIn("Ping target must be a host name or an address.\n", kRed));
    EXPECT_TRUE(NewCommands().empty());
}

TEST_F(Support, NicSettingsCommandFollowsTheProductLine) {
    struct Case {
        std::string version;
        NicSettings settings;
        std::string sent;
        std::string progress;
    } cases[] = {
        {"KELMORA-GW-2100 V5.2.1\n",
         {"eth0", "100baseTx-FD", std::nullopt},
         "/usr/sbin/eth-set.sh eth0 100baseTx-FD \n",
         "Adjusting network(eth0) speed, please wait...\n"},
        {"KELMORA-TC-8 V5.0\n",
         {"eth1", "Auto-negotiation", 1400},
         "/usr/sbin/eth-set.sh eth1 Auto-negotiation ; /usr/sbin/change-eth-mtu eth1 1400 \n",
         "Adjusting network(eth1) speed and MTU, please wait...\n"},
        {"KELMORA-MX-10 V5.0\n",
         {"eth2", "10baseT-HD", 700},
         "/usr/sbin/changemode eth2 10baseT-HD ; /usr/sbin/change-eth-mtu eth2 700 \n",
         "Adjusting network(eth2) speed and MTU, please wait...\n"},
        {"KELMORA-MX-10 V5.0\n",
         {"ppp0", "", 1500},
         "/usr/sbin/change-ppp-mtu ppp0 1500 \n",
         "Adjusting MTU, please wait...\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.version + c.sent);
        m_frame.reset();
        if (m_sim)
            m_sim->Stop();
        m_op.console.clear();
        Start(c.version);
        ASSERT_TRUE(m_frame->NicCommandsEnabled());
        ASSERT_TRUE(m_frame->ModifyNicSettings(c.settings));
        ASSERT_TRUE(Idle());
        EXPECT_EQ(NewCommands(), std::vector<std::string>{c.sent});
        EXPECT_TRUE(m_op.ShownIn(c.progress, kBlack));
        EXPECT_TRUE(m_op.ShownIn("Execute command successfully!\n", kBlue));
    }
}

TEST_F(Support, NicSettingsRefusalsSendNothing) {
    Start();
    struct Case {
        NicSettings settings;
        std::string message;
    } cases[] = {
        {{"eth0", "100baseTx-FD", 699}, "MTU is invalid!"},
        {{"eth0", "100baseTx-FD", 1501}, "MTU is invalid!"},
        {{"ppp0", "", 0}, "MTU is invalid!"},
        {{"", "100baseTx-FD", std::nullopt}, "Please specify a network interface card!"},
        {{"eth0;reboot", "100baseTx-FD", std::nullopt}, "Please specify a network interface card!"},
        {{"eth0", "", std::nullopt}, "Please select speed!"},
        {{"eth0", "fast; reboot", std::nullopt}, "Please select speed!"},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(m_frame->ModifyNicSettings(c.settings));
        EXPECT_TRUE(m_op.ShownIn(c.message, kRed)) << c.message;
    }
    EXPECT_FALSE(m_frame->ShowNicSettings("wlan0"));
    EXPECT_TRUE(m_op.ShownIn("Please specify a network interface card!\n", kRed));
    // ppp without MTU: nothing to change, nothing sent.
    m_op.console.clear();
    EXPECT_FALSE(m_frame->ModifyNicSettings({"ppp3", "", std::nullopt}));
    EXPECT_TRUE(m_op.console.empty());
    EXPECT_TRUE(NewCommands().empty());
    EXPECT_EQ(m_frame->SessionState, 0);
}

TEST_F(Support, NicCommandsNeedTheEtcLayout) {
    Start("UX2000 V3.1.0\n");
    EXPECT_EQ(m_frame->GatewayLayoutFlag(), 0);
    EXPECT_TRUE(m_frame->SupportCommandsEnabled());
    EXPECT_FALSE(m_frame->NicCommandsEnabled());
}

TEST_F(Support, ExchangeNicsAsksTwiceAndRestartsOnYes) {
    Start();
    // No to the licence question: nothing is sent.
    m_op.answers = {false};
    EXPECT_FALSE(m_frame->ExchangeNics("eth0", "eth1"));
    EXPECT_TRUE(m_op.ShownIn("You have stopped the operation!\n", kBlack));
    EXPECT_TRUE(NewCommands().empty());

    // Yes, then No to the restart.
    m_op.answers = {true, false};
    m_op.console.clear();
    ASSERT_TRUE(m_frame->ExchangeNics("eth0", "eth1"));
    EXPECT_EQ(m_frame->SessionState, kStateExchangeNics);
    ASSERT_TRUE(Idle());
    EXPECT_EQ(NewCommands(), std::vector<std::string>{"swapnic-set.sh eth0 eth1\n"});
    EXPECT_TRUE(m_op.ShownIn("You have stopped the operation!\n", kBlack));
    EXPECT_TRUE(m_frame->Connected);
    EXPECT_EQ(m_sim->RebootCount(), 0);

    // A refusal of the gateway.
    m_op.answers = {true};
    ASSERT_TRUE(m_frame->ExchangeNics("eth0", "eth7"));
    ASSERT_TRUE(Idle());
    EXPECT_TRUE(m_op.ShownIn("Failed to execute command.\n", kRed));

    // Yes and Yes: restart, the session closes.
    m_op.answers = {true, true};
    NewCommands();
    ASSERT_TRUE(m_frame->ExchangeNics("eth1", "eth0"));
    ASSERT_TRUE(waitFor([&] { return !m_frame->Connected; }));
    EXPECT_EQ(NewCommands(), (std::vector<std::string>{"swapnic-set.sh eth1 eth0\n", "reboot\n"}));
    EXPECT_TRUE(m_op.ShownIn("Device is restarting...\n", kBlue));
    EXPECT_TRUE(waitFor([&] { return m_sim->RebootCount() == 1; }));
    EXPECT_EQ(m_op.messages.back(), LoadStr(6551));
}

TEST_F(Support, RestartWaitKeepsCommandsOutUntilTheLinkCloses) {
    Start();
    m_op.answers = {true, true};
    NewCommands();
    // Commands tried the moment the wait begins (the gateway may drop the link soon after).
    const int refused = Count(LoadStr(6553));
    std::vector<bool> startedDuringWait;
    m_frame->AddSessionListener([&] {
        if (m_frame->SessionState == kStateRestartWait && startedDuringWait.empty()) {
            EXPECT_TRUE(m_frame->Connected);
            startedDuringWait.push_back(m_frame->ShowRouteTable());
            startedDuringWait.push_back(m_frame->RunConsoleCommand("ls", true));
        }
    });
    ASSERT_TRUE(m_frame->ExchangeNics("eth1", "eth0"));
    ASSERT_TRUE(waitFor([&] { return !m_frame->Connected; }));
    EXPECT_EQ(startedDuringWait, (std::vector<bool>{false, false}));
    EXPECT_EQ(Count(LoadStr(6553)), refused + 2);
    EXPECT_EQ(m_frame->SessionState, 0);
    EXPECT_EQ(NewCommands(), (std::vector<std::string>{"swapnic-set.sh eth1 eth0\n", "reboot\n"}));
}

TEST_F(Support, CommandsWithoutALinkAreRefusedAndLeaveTheSessionIdle) {
    Start();
    m_frame->Disconnect();
    ASSERT_TRUE(waitFor([&] { return !m_frame->Connected; }));
    m_op.answers = {true, true};
    m_op.openFile = (Dir() / "local.bin").string();
    m_op.saveFile = (Dir() / "back.bin").string();
    const std::function<bool(CMainFrame&)> commands[] = {
        [](CMainFrame& f) { return f.PingGateway("127.0.0.1"); },
        [](CMainFrame& f) { return f.ShowRouteTable(); },
        [](CMainFrame& f) { return f.ShowNicSettings("All"); },
        [](CMainFrame& f) {
            return f.ModifyNicSettings({"eth0", "100baseTx-FD", 1400});
        },
        [](CMainFrame& f) { return f.ExchangeNics("eth0", "eth1"); },
        [](CMainFrame& f) { return f.RunConsoleCommand("ls", true); },
        [](CMainFrame& f) { return f.ConsoleUpload("/stmp/x"); },
        [](CMainFrame& f) { return f.ConsoleDownload("/stmp/x"); },
    };
    for (const auto& run : commands) {
        m_op.console.clear();
        EXPECT_FALSE(run(*m_frame));
        ASSERT_EQ(m_op.console.size(), 1u);  // the refusal and nothing before it
        EXPECT_EQ(m_op.console.front().text, LoadStr(6766));
        EXPECT_EQ(m_op.console.front().colour, kRed);
        EXPECT_EQ(m_frame->SessionState, 0);
    }
    EXPECT_EQ(m_op.answers.size(), 2u);  // nothing was asked

    // Back online, a command runs alone: no ping series was left armed by the refusals.
    ASSERT_TRUE(LoginSession(*m_frame, *m_sim));
    NewCommands();
    ASSERT_TRUE(m_frame->ShowRouteTable());
    ASSERT_TRUE(Idle());
    EXPECT_EQ(NewCommands(), std::vector<std::string>{"route -n\n\n"});
}

TEST_F(Support, ExchangeRefusesTheSameOrUnknownNics) {
    Start();
    m_op.answers = {true, true};
    EXPECT_FALSE(m_frame->ExchangeNics("eth0", "eth0"));
    EXPECT_FALSE(m_frame->ExchangeNics("eth0", "ppp0"));
    EXPECT_TRUE(NewCommands().empty());
    EXPECT_EQ(m_op.answers.size(), 2u);
}

}  // namespace
}  // namespace vorn::test
