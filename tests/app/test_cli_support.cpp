// The diagnostic commands of vornupdater: in-process against the simulator, and the programs.
#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/cli/Cli.h"
#include "lib/StringTable.h"
#include "platform/ProgramFolder.h"
#include "tests/common/TempProgramFolder.h"
#include "tools/gateway-sim/CGatewaySim.h"
#include "tools/gateway-sim/SimDiagnostics.h"

namespace vorn::cli {
namespace {

namespace fs = std::filesystem;

class CliSupportTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetLanguage(Language::English);
        SetProgramFolderForTests(Dir() / "prog");
        fs::create_directories(Dir() / "prog");
        std::ofstream(Dir() / "pw") << "admin\n";
        ::unsetenv("VORN_PASSWORD");
    }
    void TearDown() override {
        if (m_sim)
            m_sim->Stop();
        SetProgramFolderForTests({});
    }
    void StartSim(const std::string& version = "KELMORA-GW-2100 V5.2.1\n") {
        GatewaySimConfig cfg;
        cfg.root = Dir() / "root";
        cfg.versionText = version;
        cfg.rebootRefuseMs = 0;
        if (version.rfind("UX", 0) == 0)
            cfg.resultFile = "/var/vorncmd/result";
        m_sim = std::make_unique<CGatewaySim>(cfg);
        AddDiagnosticCommands(*m_sim, m_diagnostics);
        ASSERT_TRUE(m_sim->Start()) << m_sim->LastError();
    }
    fs::path Dir() const { return m_dir.path().toStdString(); }
    int Run(std::vector<std::string> line) {
        line.insert(line.end(), {"-g", "127.0.0.1:" + std::to_string(m_sim->Port()),
                                 "--password-file", (Dir() / "pw").string()});
        m_out.str("");
        m_err.str("");
        CliEnvironment env{m_out, m_err, m_terminal, m_outIsTerminal};
        return RunCli(line, env);
    }
    std::vector<std::string> Commands() const {
        std::vector<std::string> cmds;
        for (const std::string& t : m_sim->ReceivedTexts()) {
            if (t.rfind("excute\ncmd:", 0) == 0)
                cmds.push_back(t.substr(11));
        }
        return cmds;
    }
    std::string Out() const { return m_out.str(); }

    QTemporaryDir m_dir;
    std::unique_ptr<CGatewaySim> m_sim;
    SimDiagnosticsOptions m_diagnostics;
    bool m_outIsTerminal = false;
    std::ostringstream m_out, m_err;
    CNoTerminal m_terminal;
};

TEST_F(CliSupportTest, TablesArePrinted) {
    StartSim();
    struct Case {
        const char* command;
        std::string sent;
        std::string shown;
    } cases[] = {
        {"route", "route -n\n\n", "Kernel IP routing table"},
        {"arp", "cat /proc/net/arp\n\n", "HW address"},
        {"ifconfig", "ifconfig\n\n", "Link encap:Ethernet"},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(Run({c.command}), kExitOk) << Out() << m_err.str();
        EXPECT_NE(Out().find(c.shown), std::string::npos) << Out();
        EXPECT_EQ(Commands().back(), c.sent);
    }
}

// A route table that retitles the window, rings the bell, clears the screen and overwrites its
// own line; the tab and the line ends stay.
const std::string kHostileRoute =
    "Kernel IP routing table\n\x1b]0;owned\x07\x1b[2J0.0.0.0\t192.168.1.254\rfake\r\n"
    "\xc2\x9b"
    "31mend\x7f\n";
const std::string kHostileRouteShown =
    "Kernel IP routing table\n\\x1b]0;owned\\x07\\x1b[2J0.0.0.0\t192.168.1.254\\x0dfake\r\n"
    "\\xc2\\x9b31mend\\x7f\n";

TEST_F(CliSupportTest, GatewayControlCharactersAreEscapedOnTheTerminalAndKeptInJson) {
    m_diagnostics.routeOutput = kHostileRoute;
    StartSim();
    for (bool terminal : {true, false}) {
        m_outIsTerminal = terminal;
        ASSERT_EQ(Run({"route"}), kExitOk) << Out();
        EXPECT_NE(Out().find(kHostileRouteShown), std::string::npos) << Out();
        for (const char* raw : {"\x07", "\x1b]", "\x1b[2J", "\x7f", "\x9b", "\rfake"}) {
            EXPECT_EQ(Out().find(raw), std::string::npos) << terminal;
        }
    }
    m_outIsTerminal = true;
    ASSERT_EQ(Run({"route", "--json"}), kExitOk) << Out();
    bool found = false;
    std::istringstream lines(Out());
    for (std::string line; std::getline(lines, line);) {
        const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
        ASSERT_FALSE(o.isEmpty()) << line;
        found =
            found || o["text"].toString().toStdString().find(kHostileRoute) != std::string::npos;
    }
    EXPECT_TRUE(found) << Out();
    EXPECT_EQ(Out().find('\x1b'), std::string::npos);  // JSON-escaped, never raw
}

TEST_F(CliSupportTest, PingSeriesAndUnknownHost) {
    StartSim();
    EXPECT_EQ(Run({"ping", "127.0.0.1"}), kExitOk) << Out();
    EXPECT_EQ(Commands().size(), 4u);
    EXPECT_EQ(Run({"ping", "nosuch.example"}), kExitFailed);
    EXPECT_NE(Out().find("ping: unknown host nosuch.example"), std::string::npos) << Out();
    EXPECT_EQ(Commands().size(), 5u);
    EXPECT_EQ(Run({"ping", " -f"}), kExitFailed);  // refused before anything is sent
    EXPECT_EQ(Commands().size(), 5u);
}

TEST_F(CliSupportTest, NicCommands) {
    StartSim();
    EXPECT_EQ(Run({"nic", "show"}), kExitOk);
    EXPECT_EQ(Commands().back(), "mii-tool\n");
    EXPECT_EQ(Run({"nic", "show", "eth1"}), kExitOk);
    EXPECT_EQ(Commands().back(), "ethtool eth1 \n");
    EXPECT_NE(Out().find("\xe4\xb8\x8a\xe8\xa1\x8c\xe5\x8f\xa3"), std::string::npos);
    EXPECT_EQ(Run({"nic", "set", "eth0", "100baseTx-FD", "--mtu", "1400"}), kExitOk) << Out();
    EXPECT_EQ(Commands().back(),
              "/usr/sbin/eth-set.sh eth0 100baseTx-FD ; /usr/sbin/change-eth-mtu eth0 1400 \n");
    EXPECT_EQ(Run({"nic", "mtu", "ppp1", "1492"}), kExitOk);
    EXPECT_EQ(Commands().back(), "/usr/sbin/change-ppp-mtu ppp1 1492 \n");

    const std::size_t sent = Commands().size();
    struct Refusal {
        std::vector<std::string> line;
        std::string message;
    } refusals[] = {
        {{"nic", "set", "eth0", "100baseTx-FD", "--mtu", "1501"}, "MTU is invalid!"},
        {{"nic", "mtu", "ppp0", "600"}, "MTU is invalid!"},
        {{"nic", "mtu", "eth0", "1400"}, "Please specify a network interface card!"},
        {{"nic", "set", "eth0;reboot", "100baseTx-FD"}, "Please specify a network interface card!"},
        {{"nic", "set", "eth0", "fast"}, "Please select speed!"},
        {{"nic", "show", "wlan0"}, "unknown NIC"},
        {{"nic", "flip"}, "unknown action"},
        {{"swapnic", "eth0", "eth0"}, "two different NICs"},
    };
    for (const Refusal& r : refusals) {
        EXPECT_EQ(Run(r.line), kExitUsage) << r.line[1];
        EXPECT_NE(m_err.str().find(r.message), std::string::npos) << m_err.str();
    }
    EXPECT_EQ(Commands().size(), sent);
}

TEST_F(CliSupportTest, NicCommandsRefuseTheVarLayout) {
    StartSim("UX2000 V3.1.0\n");
    EXPECT_EQ(Run({"nic", "set", "eth0", "100baseTx-FD"}), kExitFailed);
    EXPECT_NE(Out().find("NIC commands are not available on this gateway"), std::string::npos)
        << Out();
    EXPECT_EQ(Run({"swapnic", "eth0", "eth1", "--yes"}), kExitFailed);
    EXPECT_TRUE(Commands().empty());
    EXPECT_EQ(Run({"route"}), kExitOk);  // the other commands work
}

TEST_F(CliSupportTest, SwapNicRestartsOnlyWithReboot) {
    StartSim();
    EXPECT_EQ(Run({"swapnic", "eth0", "eth1"}), kExitFailed);  // licence question: no
    EXPECT_TRUE(Commands().empty());
    EXPECT_EQ(Run({"swapnic", "eth0", "eth1", "--yes"}), kExitOk) << Out();
    EXPECT_EQ(Commands(), std::vector<std::string>{"swapnic-set.sh eth0 eth1\n"});
    EXPECT_EQ(m_sim->RebootCount(), 0);
    EXPECT_EQ(Run({"swapnic", "eth0", "eth1", "--yes", "--reboot"}), kExitOk) << Out();
    EXPECT_EQ(Commands().back(), "reboot\n");
    EXPECT_NE(Out().find("Device is restarting...\n"), std::string::npos);
}

TEST(CliSupportProgram, PingAgainstASimulatorProcess) {
    QTemporaryDir dir;
    QProcess sim;
    sim.start(VORN_GATEWAY_SIM_PROGRAM,
              {"--root", dir.filePath("root"), "--port", "0", "--route-output",
               "Kernel IP routing table\\n\\x1b[2J\\x07\\n"});
    ASSERT_TRUE(sim.waitForStarted());
    QByteArray banner;
    while (!banner.contains('\n') && sim.waitForReadyRead(5000))
        banner += sim.readAllStandardOutput();
    const int colon = banner.lastIndexOf(':');
    ASSERT_GT(colon, 0) << banner.toStdString();
    const QString gateway = "127.0.0.1:" + QString::fromLatin1(banner.mid(colon + 1).trimmed());
    std::ofstream(dir.filePath("pw").toStdString()) << "admin\n";

    vorn::test::TempProgramFolder home;  // an installation folder that passes the start-up checks
    QProcess cli;
    QProcessEnvironment env = home.Environment();
    env.insert("VORN_NO_TTY", "1");
    env.insert("VORN_LANG", "en");
    cli.setProcessEnvironment(env);
    const QStringList common = {"-g", gateway, "--password-file", dir.filePath("pw")};
    cli.start(VORN_UPDATER_PROGRAM, QStringList{"ping", "nosuch.invalid"} + common);
    ASSERT_TRUE(cli.waitForFinished(30000));
    std::string out = cli.readAllStandardOutput().toStdString();
    EXPECT_EQ(cli.exitCode(), 1) << out;
    EXPECT_NE(out.find("ping: unknown host nosuch.invalid"), std::string::npos) << out;

    cli.start(VORN_UPDATER_PROGRAM, QStringList{"route"} + common);
    ASSERT_TRUE(cli.waitForFinished(30000));
    out = cli.readAllStandardOutput().toStdString();
    EXPECT_EQ(cli.exitCode(), 0) << out;
    EXPECT_NE(out.find("Kernel IP routing table\n\\x1b[2J\\x07\n"), std::string::npos) << out;
    sim.terminate();
    sim.waitForFinished(5000);
}

}  // namespace
}  // namespace vorn::cli
