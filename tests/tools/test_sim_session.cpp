// The simulator's session behaviour: login, version, commands, password change, restart.
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include "tests/common/WaitFor.h"
#include "tests/tools/SimFixture.h"

namespace vorn::test {
namespace {

struct LoginCase {
    const char* name;
    int loginResult;
    bool wrongPasswordFault;
    const char* password;
    const char* expectedPrefix;
};

void PrintTo(const LoginCase& c, std::ostream* os) { *os << c.name; }


class SimLogin : public SimFixture, public ::testing::WithParamInterface<LoginCase> {};

TEST_P(SimLogin, AnswersWithConfiguredResult) {
    const LoginCase& c = GetParam();
    StartSim([&](GatewaySimConfig& cfg) {
        cfg.loginResult = c.loginResult;
        cfg.faults.wrongPassword = c.wrongPasswordFault;
    });
    ASSERT_TRUE(m_client.Connect(m_sim->Port()));
    const std::string reply =
        m_client.Ask(std::string("login\npasswd:") + c.password + "\nflage:HandleVersion\n");
    EXPECT_EQ(reply.rfind(c.expectedPrefix, 0), 0u) << reply;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SimLogin,
    ::testing::Values(LoginCase{"capable", kLoginVersionCapable, false, "admin", "result:7629414\n"},
                      LoginCase{"old", kLoginOld, false, "admin", "result:0\n"},
                      LoginCase{"wrong", kLoginVersionCapable, false, "nope", "result:1\nmsg:"},
                      LoginCase{"empty", kLoginVersionCapable, false, "", "result:1\nmsg:"},
                      LoginCase{"fault", kLoginVersionCapable, true, "admin", "result:1\nmsg:"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SimLogin, RefusesRequestsBeforeLogin) {
    StartSim();
    ASSERT_TRUE(m_client.Connect(m_sim->Port()));
    for (const char* req : {"get\nfile:/app/appversion\n", "put\nfile:/stmp/x\n",
                            "excute\ncmd:ls /\n", "changepwd\nnewpwd:x\n"}) {
        EXPECT_EQ(m_client.Ask(req).rfind("result:1\n", 0), 0u) << req;
    }
    EXPECT_EQ(m_sim->Password(), "admin");
    EXPECT_FALSE(std::filesystem::exists(RootDir() / "stmp" / "x"));
}

using SimSession = SimFixture;

TEST_F(SimSession, VersionMessageGetsConfiguredValue) {
    StartSim([](GatewaySimConfig& cfg) { cfg.protocolVersion = 0x321; });
    ConnectAndLogin();
    EXPECT_EQ(m_client.Ask("version\nvalue:1568\n"), "version:801\n");
}

TEST_F(SimSession, LsReportsExistence) {
    StartSim();
    ConnectAndLogin();
    EXPECT_EQ(m_client.Ask("excute\ncmd:ls /app/appversion\n"), "result:0\n");
    EXPECT_EQ(m_client.Ask("excute\ncmd:ls /app\n"), "result:0\n");
    EXPECT_EQ(m_client.Ask("excute\ncmd:ls /usr/sbin/bakcfgsh\n").rfind("result:1\n", 0), 0u);
    EXPECT_EQ(m_client.Ask("excute\ncmd:ls /../etc/passwd\n").rfind("result:1\n", 0), 0u);
}

TEST_F(SimSession, UnknownCommandFailsAndAddedHandlerWritesResultFile) {
    StartSim([](GatewaySimConfig& cfg) { cfg.resultFile = "/var/vorncmd/result"; });
    ConnectAndLogin();
    EXPECT_EQ(m_client.Ask("excute\ncmd:/etc/vorncmd/apppre\n").rfind("result:1\nmsg:", 0), 0u);
    m_sim->AddCommand("/etc/vorncmd/apppre", [](const SimCommandRequest& r, const CSimFileSystem&) {
        SimCommandReply reply;
        reply.result = 3;
        reply.msg = "refused";
        reply.resultText = "check failed for " + r.args + "\n";
        return reply;
    });
    EXPECT_EQ(m_client.Ask("excute\ncmd:/etc/vorncmd/apppre  now\n"), "result:3\nmsg:refused\n");
    EXPECT_EQ(ReadLocal(RootDir() / "var/vorncmd/result"), "check failed for now\n");
}

TEST_F(SimSession, ChangePasswordTakesEffectForNextLogin) {
    StartSim();
    ConnectAndLogin();
    EXPECT_EQ(m_client.Ask("changepwd\nnewpwd:\n").rfind("result:1\n", 0), 0u);
    EXPECT_EQ(m_client.Ask("changepwd\nnewpwd:s3cret\n"), "result:0\n");
    EXPECT_EQ(m_sim->Password(), "s3cret");
    ASSERT_TRUE(m_client.Connect(m_sim->Port()));
    EXPECT_FALSE(m_client.Login("admin"));
    EXPECT_TRUE(m_client.Login("s3cret"));
}

TEST_F(SimSession, RebootClosesRefusesThenAcceptsOnSamePort) {
    StartSim([](GatewaySimConfig& cfg) { cfg.rebootRefuseMs = 400; });
    const std::uint16_t port = m_sim->Port();
    ConnectAndLogin();
    EXPECT_EQ(m_client.Ask("excute\ncmd:reboot\n"), "result:0\n");
    EXPECT_EQ(m_client.Read().kind, SimMessage::Closed);
    EXPECT_EQ(m_sim->RebootCount(), 1);
    SimClient probe;
    EXPECT_FALSE(probe.Connect(port));  // refused while "restarting"
    ASSERT_TRUE(waitFor([&] { return probe.Connect(port); }));
    EXPECT_TRUE(probe.Login("admin"));
    EXPECT_EQ(m_sim->Port(), port);
    EXPECT_EQ(m_sim->ConnectionCount(), 2);
}

TEST_F(SimSession, NextClientIsServedAfterTheFirstCloses) {
    StartSim();
    ConnectAndLogin();
    SimClient second;
    ASSERT_TRUE(second.Connect(m_sim->Port()));  // queued while the first is served
    m_client.Close();
    EXPECT_TRUE(second.Login("admin"));
    EXPECT_EQ(m_sim->ConnectionCount(), 2);
}

TEST_F(SimSession, StartFailsClearlyOnBusyPortOrBadAddress) {
    StartSim();
    for (const auto& [address, port] :
         {std::pair<std::string, std::uint16_t>{"127.0.0.1", m_sim->Port()}, {"no.such", 0}}) {
        GatewaySimConfig cfg;
        cfg.root = Dir() / "other";
        cfg.listenAddress = address;
        cfg.port = port;
        CGatewaySim other(cfg);
        EXPECT_FALSE(other.Start());
        EXPECT_NE(other.LastError().find(address), std::string::npos) << other.LastError();
    }
}

TEST_F(SimSession, MalformedClientFrameClosesConnection) {
    StartSim();
    ConnectAndLogin();
    const std::uint8_t junk[16] = {0x11, 0x22, 0x0C, 0x00};
    ASSERT_TRUE(m_client.SendRaw(junk, sizeof junk));
    EXPECT_EQ(m_client.Read().kind, SimMessage::Closed);
    ASSERT_TRUE(m_client.Connect(m_sim->Port()));  // the simulator lives on
    EXPECT_TRUE(m_client.Login("admin"));
}

TEST_F(SimSession, TranscriptRecordsMessagesAsJsonLines) {
    const auto file = Dir() / "transcript.jsonl";
    StartSim([&](GatewaySimConfig& cfg) { cfg.transcriptPath = file; });
    ConnectAndLogin();
    const std::string odd = "ls \"/a\\b\"\t\xE9";
    m_client.Ask("excute\ncmd:" + odd + "\n");
    ASSERT_EQ(m_client.Ask("put\nfile:/stmp/app\n"), "result:0\n");
    ASSERT_TRUE(m_client.SendData(RandomBytes(2500)));
    ASSERT_EQ(m_client.Ask("putover\n"), "result:0\n");
    m_client.Close();
    ASSERT_TRUE(waitFor([&] { return !m_sim->ClientConnected(); }));

    const auto entries = m_sim->Transcript();
    ASSERT_EQ(entries.size(), 5u);
    EXPECT_TRUE(entries[3].binary);
    EXPECT_EQ(entries[3].bytes, 2500u);
    EXPECT_EQ(m_sim->ReceivedTexts().back(), "putover\n");

    QFile f(QString::fromStdString(file.string()));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = f.readAll().split('\n');
    ASSERT_EQ(lines.size(), 6);  // five lines and the empty rest after the last newline
    for (int i = 0; i < 5; ++i) {
        QJsonParseError err;
        const QJsonObject o = QJsonDocument::fromJson(lines[i], &err).object();
        ASSERT_EQ(err.error, QJsonParseError::NoError) << lines[i].toStdString();
        EXPECT_EQ(o["seq"].toInt(), i + 1);
    }
    const QJsonObject cmd = QJsonDocument::fromJson(lines[1]).object();
    EXPECT_EQ(cmd["type"].toString(), "text");
    EXPECT_EQ(cmd["text"].toString(), QString::fromLatin1(("excute\ncmd:" + odd + "\n").c_str()));
    const QJsonObject bin = QJsonDocument::fromJson(lines[3]).object();
    EXPECT_EQ(bin["type"].toString(), "binary");
    EXPECT_EQ(bin["bytes"].toInt(), 2500);
}

}  // namespace
}  // namespace vorn::test
