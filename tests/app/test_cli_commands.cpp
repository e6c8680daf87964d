// The gateway commands of vornupdater, run in-process against the simulator.
#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "app/cli/Cli.h"
#include "lib/StringTable.h"
#include "platform/ProgramFolder.h"
#include "tools/gateway-sim/CGatewaySim.h"

namespace vorn::cli {
namespace {

namespace fs = std::filesystem;

std::string Md5(const std::string& s) {
    return QCryptographicHash::hash(QByteArray::fromStdString(s), QCryptographicHash::Md5)
        .toHex()
        .toStdString();
}

class CliCommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetLanguage(Language::English);
        SetProgramFolderForTests(Dir() / "prog");
        fs::create_directories(Dir() / "prog");
        Write(Dir() / "pw", "admin\n");
        Write(Dir() / "console", "letmein\n");
        ::unsetenv("VORN_PASSWORD");
    }
    void TearDown() override {
        if (m_sim)
            m_sim->Stop();
        SetProgramFolderForTests({});
    }
    void StartSim(const std::function<void(GatewaySimConfig&)>& edit = {}) {
        GatewaySimConfig cfg;
        cfg.root = Dir() / "root";
        if (edit)
            edit(cfg);
        m_sim = std::make_unique<CGatewaySim>(cfg);
        ASSERT_TRUE(m_sim->Start()) << m_sim->LastError();
    }
    fs::path Dir() const { return m_dir.path().toStdString(); }
    std::string Gateway() const { return "127.0.0.1:" + std::to_string(m_sim->Port()); }
    static void Write(const fs::path& p, const std::string& data) {
        fs::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << data;
    }
    static std::string Read(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    // Runs a command line with the gateway and password options added.
    int Run(std::vector<std::string> line, bool terminal = false, bool withGateway = true) {
        if (withGateway) {
            line.insert(line.end(), {"-g", Gateway(), "--password-file", (Dir() / "pw").string()});
        }
        m_out.str("");
        m_err.str("");
        CliEnvironment env{m_out, m_err, m_terminal, terminal, Md5("letmein")};
        return RunCli(line, env);
    }
    std::string Console() const { return (Dir() / "console").string(); }

    QTemporaryDir m_dir;
    std::unique_ptr<CGatewaySim> m_sim;
    std::ostringstream m_out, m_err;
    CNoTerminal m_terminal;
};

TEST_F(CliCommandsTest, ConnectPrintsTheVersionWithoutColoursOffATerminal) {
    StartSim([](GatewaySimConfig& c) { c.versionText = "dravel GW V310\n"; });
    EXPECT_EQ(Run({"connect"}), kExitOk);
    EXPECT_NE(m_out.str().find("Version of current device: \nKELMORA GW V310\n"), std::string::npos)
        << m_out.str();
    EXPECT_EQ(m_out.str().find('\033'), std::string::npos);
    EXPECT_EQ(m_out.str().find("Disconnected"), std::string::npos);  // quiet close
}

TEST_F(CliCommandsTest, ColoursOnATerminal) {
    StartSim();
    EXPECT_EQ(Run({"connect"}, true), kExitOk);
    EXPECT_NE(m_out.str().find("\033[34mConnect device successfully.\n\033[0m"), std::string::npos);
    Write(Dir() / "pw", "wrong\n");
    EXPECT_EQ(Run({"connect"}, true), kExitConnect);
    EXPECT_NE(m_out.str().find("\033[31mInvalid password!\n\033[0m"), std::string::npos);
}

TEST_F(CliCommandsTest, JsonLinesCarryTypeTextAndColourOrCode) {
    StartSim();
    EXPECT_EQ(Run({"connect", "--json"}), kExitOk);
    std::istringstream lines(m_out.str());
    std::string line;
    int count = 0;
    QJsonObject last;
    while (std::getline(lines, line)) {
        QJsonParseError perr;
        const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(line), &perr);
        ASSERT_EQ(perr.error, QJsonParseError::NoError) << line;
        last = doc.object();
        ASSERT_TRUE(last.contains("type")) << line;
        ASSERT_TRUE(last.contains("text")) << line;
        const QString type = last["type"].toString();
        if (type == "console" || type == "progress") {
            EXPECT_TRUE(last.contains("colour")) << line;
        }
        if (type == "wizard" || type == "exit") {
            EXPECT_TRUE(last.contains("code")) << line;
        }
        ++count;
    }
    EXPECT_GT(count, 3);
    EXPECT_EQ(last["type"].toString(), "exit");
    EXPECT_EQ(last["code"].toInt(), 0);
}

TEST_F(CliCommandsTest, LoginFailuresExitWithThree) {
    StartSim();
    Write(Dir() / "pw", "wrong\n");
    EXPECT_EQ(Run({"connect"}), kExitConnect);
    const std::uint16_t port = m_sim->Port();
    m_sim->Stop();
    m_out.str("");
    CliEnvironment env{m_out, m_err, m_terminal};
    EXPECT_EQ(RunCli({"connect", "-g", "127.0.0.1:" + std::to_string(port), "--password-file",
                      (Dir() / "pw").string()},
                     env),
              kExitConnect);
    EXPECT_NE(m_out.str().find("Connecting failed."), std::string::npos);
}

// The connection page's lockout applies to the headless commands: after five wrong passwords
// in a row the address is refused without a connection.
TEST_F(CliCommandsTest, RepeatedWrongPasswordsLockTheAddress) {
    StartSim();
    Write(Dir() / "pw", "wrong\n");
    for (int i = 1; i <= 5; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(Run({"connect"}), kExitConnect);
        if (i >= 3) {
            EXPECT_NE(m_out.str().find("Number of login errors: " + std::to_string(i)),
                      std::string::npos)
                << m_out.str();
        }
    }
    const int connections = m_sim->ConnectionCount();
    Write(Dir() / "pw", "admin\n");
    EXPECT_EQ(Run({"connect"}), kExitConnect);
    EXPECT_NE(m_out.str().find("is locked."), std::string::npos) << m_out.str();
    EXPECT_EQ(m_sim->ConnectionCount(), connections);
}

TEST_F(CliCommandsTest, RememberStoresTheAddressInTheRecentList) {
    StartSim();
    const fs::path recent = Dir() / "prog" / "updater.ini";
    EXPECT_EQ(Run({"connect"}), kExitOk);
    EXPECT_FALSE(fs::exists(recent) && Read(recent).find("127.0.0.1") != std::string::npos);
    EXPECT_EQ(Run({"connect", "--remember"}), kExitOk);
    EXPECT_NE(Read(recent).find("127.0.0.1"), std::string::npos);
}

TEST_F(CliCommandsTest, PasswordFromTheEnvironment) {
    StartSim();
    ::setenv("VORN_PASSWORD", "admin", 1);
    EXPECT_EQ(Run({"connect", "-g", Gateway()}, false, false), kExitOk);
    ::unsetenv("VORN_PASSWORD");
}

TEST_F(CliCommandsTest, DamagedFirmwareNeedsTheDeviceChoice) {
    StartSim([](GatewaySimConfig& c) { c.damaged = true; });
    EXPECT_EQ(Run({"connect"}), kExitConnect);
    EXPECT_NE(m_out.str().find("Version is not specified. Connecting failed!\n"),
              std::string::npos);
    EXPECT_EQ(Run({"connect", "--model", "1", "--series", "2"}), kExitOk);
}

TEST_F(CliCommandsTest, ChangePassword) {
    StartSim();
    Write(Dir() / "new", "s3cret\n");
    EXPECT_EQ(Run({"passwd", "--new-password-file", (Dir() / "new").string()}), kExitOk);
    EXPECT_NE(m_out.str().find("Modify password successfully!\n"), std::string::npos);
    EXPECT_EQ(m_sim->Password(), "s3cret");

    // An empty new password is refused before anything is sent.
    Write(Dir() / "pw", "s3cret\n");
    Write(Dir() / "empty", "\n");
    EXPECT_EQ(Run({"passwd", "--new-password-file", (Dir() / "empty").string()}), kExitFailed);
    EXPECT_NE(m_out.str().find("Password is required. Please enter password!"), std::string::npos);
    EXPECT_EQ(m_sim->Password(), "s3cret");
}

TEST_F(CliCommandsTest, PutGetAndExecThroughTheConsole) {
    StartSim();
    std::string data(3 << 20, '\0');
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>((i * 31) >> 3);
    Write(Dir() / "local.bin", data);
    EXPECT_EQ(Run({"put", (Dir() / "local.bin").string(), "/stmp/remote.bin",
                   "--console-password-file", Console()}),
              kExitOk)
        << m_out.str();
    EXPECT_EQ(Md5(Read(m_sim->LocalPath("/stmp/remote.bin"))), Md5(data));
    EXPECT_NE(m_out.str().find("100%\n"), std::string::npos);  // progress as plain lines

    EXPECT_EQ(Run({"get", "/stmp/remote.bin", (Dir() / "back.bin").string(),
                   "--console-password-file", Console()}),
              kExitOk);
    EXPECT_EQ(Md5(Read(Dir() / "back.bin")), Md5(data));

    m_sim->AddCommand("hostname", [](const SimCommandRequest&, const CSimFileSystem&) {
        SimCommandReply r;
        r.resultText = "gw-17\n";
        return r;
    });
    EXPECT_EQ(Run({"exec", "hostname", "--console-password-file", Console()}), kExitOk);
    EXPECT_NE(m_out.str().find("exec: hostname\n"), std::string::npos);
    EXPECT_NE(m_out.str().find("gw-17\n"), std::string::npos);

    EXPECT_EQ(
        Run({"get", "/no/such", (Dir() / "x").string(), "--console-password-file", Console()}),
        kExitFailed);
    EXPECT_NE(m_out.str().find("Failed to download file.\n"), std::string::npos);
}

TEST_F(CliCommandsTest, ConsolePasswordIsChecked) {
    StartSim();
    Write(Dir() / "badconsole", "guess\n");
    EXPECT_EQ(Run({"exec", "ls", "--console-password-file", (Dir() / "badconsole").string()}),
              kExitFailed);
    EXPECT_NE(m_out.str().find("Invalid password!\n"), std::string::npos);
    EXPECT_TRUE(m_sim->ReceivedTexts().back().rfind("excute", 0) != 0);

    // The product's digest is used unless the caller passes another one.
    std::ostringstream out, err;
    CliEnvironment shipped{out, err, m_terminal};
    EXPECT_EQ(shipped.consoleDigest, "3f0c9b27d41e86a5c2b07f9e1d4a6c38");
    EXPECT_EQ(RunCli({"exec", "ls", "-g", Gateway(), "--password-file", (Dir() / "pw").string(),
                      "--console-password-file", Console()},
                     shipped),
              kExitFailed);

    // Without a file and without a terminal there is no way to give it.
    EXPECT_EQ(Run({"exec", "ls"}), kExitUsage);
}

TEST_F(CliCommandsTest, DroppedConnectionFailsTheUpload) {
    StartSim([](GatewaySimConfig& c) { c.faults.dropAfterUploadBytes = 50000; });
    Write(Dir() / "big.bin", std::string(16 << 20, 'z'));
    EXPECT_EQ(Run({"put", (Dir() / "big.bin").string(), "/stmp/big.bin", "--console-password-file",
                   Console()}),
              kExitFailed);
    EXPECT_NE(m_out.str().find("Disconnected from device.\n"), std::string::npos) << m_out.str();
}

}  // namespace
}  // namespace vorn::cli
