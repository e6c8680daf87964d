// The simulator's switchable faults, each seen from the client's side.
#include "tests/common/WaitFor.h"
#include "tests/tools/SimFixture.h"

namespace vorn::test {
namespace {

struct ReplyFaultCase {
    const char* name;
    GatewaySimFaults faults;
    const char* request;              // sent after a successful login
    SimMessage::Kind expectedKind;    // what the client reads instead of the normal reply
    const char* expectedText;         // for a text
    const char* unaffectedRequest;    // still answered normally (when the connection lives)
};

void PrintTo(const ReplyFaultCase& c, std::ostream* os) { *os << c.name; }


GatewaySimFaults Abort(const char* cmd) {
    GatewaySimFaults f;
    f.abortOnCommand = cmd;
    return f;
}
GatewaySimFaults Garbage(const char* cmd) {
    GatewaySimFaults f;
    f.garbageOnCommand = cmd;
    return f;
}
GatewaySimFaults Silent(const char* cmd) {
    GatewaySimFaults f;
    f.silentOnCommand = cmd;
    return f;
}

class SimReplyFaults : public SimFixture, public ::testing::WithParamInterface<ReplyFaultCase> {};

TEST_P(SimReplyFaults, ReplaceTheNamedReplyOnly) {
    const ReplyFaultCase& c = GetParam();
    StartSim([&](GatewaySimConfig& cfg) { cfg.faults = c.faults; });
    ConnectAndLogin();
    ASSERT_TRUE(m_client.SendText(c.request));
    const SimMessage m = m_client.Read(c.expectedKind == SimMessage::Timeout ? 300 : 5000);
    EXPECT_EQ(m.kind, c.expectedKind);
    if (c.expectedKind == SimMessage::Text) {
        EXPECT_EQ(m.text, c.expectedText);
    }
    if (c.expectedKind != SimMessage::Garbage) {
        EXPECT_EQ(m_client.Ask(c.unaffectedRequest), "result:0\n");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SimReplyFaults,
    ::testing::Values(
        ReplyFaultCase{"abort_get", Abort("get"), "get\nfile:/app/appversion\n",
                       SimMessage::Text, "abort\n", "excute\ncmd:ls /app\n"},
        ReplyFaultCase{"abort_cmd_word", Abort("ls"), "excute\ncmd:ls /app\n", SimMessage::Text,
                       "abort\n", "put\nfile:/stmp/x\n"},
        ReplyFaultCase{"garbage_put", Garbage("put"), "put\nfile:/stmp/x\n",
                       SimMessage::Garbage, "", ""},
        ReplyFaultCase{"garbage_cmd_line", Garbage("ls /app"), "excute\ncmd:ls /app\n",
                       SimMessage::Garbage, "", ""},
        ReplyFaultCase{"silent_excute", Silent("excute"), "excute\ncmd:reboot\n",
                       SimMessage::Timeout, "", "put\nfile:/stmp/x\n"},
        ReplyFaultCase{"silent_script", Silent("/etc/vorncmd/apppre"),
                       "excute\ncmd:/etc/vorncmd/apppre\n", SimMessage::Timeout, "",
                       "excute\ncmd:ls /\n"}),
    [](const auto& info) { return std::string(info.param.name); });

using SimFaults = SimFixture;

TEST_F(SimFaults, SilentRebootDoesNotRestart) {
    StartSim([](GatewaySimConfig& cfg) { cfg.faults.silentOnCommand = "reboot"; });
    ConnectAndLogin();
    ASSERT_TRUE(m_client.SendText("excute\ncmd:reboot\n"));
    EXPECT_EQ(m_client.Read(300).kind, SimMessage::Timeout);
    EXPECT_EQ(m_sim->RebootCount(), 0);
}

TEST_F(SimFaults, GarbageAfterLoginFollowsTheLoginReply) {
    StartSim([](GatewaySimConfig& cfg) { cfg.faults.garbageAfterLogin = true; });
    ASSERT_TRUE(m_client.Connect(m_sim->Port()));
    EXPECT_TRUE(m_client.Login("admin"));
    EXPECT_EQ(m_client.Read().kind, SimMessage::Garbage);
}

TEST_F(SimFaults, DropAfterUploadedBytesClosesAndDiscards) {
    StartSim([](GatewaySimConfig& cfg) { cfg.faults.dropAfterUploadBytes = 3000; });
    ConnectAndLogin();
    ASSERT_EQ(m_client.Ask("put\nfile:/stmp/app\n"), "result:0\n");
    ASSERT_TRUE(m_client.SendData(RandomBytes(2048)));
    // Below the limit the connection still answers.
    EXPECT_EQ(m_client.Ask("excute\ncmd:ls /\n"), "result:0\n");
    m_client.SendData(RandomBytes(2048));
    EXPECT_EQ(m_client.Read().kind, SimMessage::Closed);
    ASSERT_TRUE(waitFor([&] { return !m_sim->ClientConnected(); }));
    EXPECT_FALSE(std::filesystem::exists(RootDir() / "stmp/app"));
    EXPECT_TRUE(std::filesystem::is_empty(RootDir() / "stmp"));
    ASSERT_EQ(m_sim->Uploads().size(), 1u);
    EXPECT_FALSE(m_sim->Uploads()[0].stored);
}

TEST_F(SimFaults, FaultsCanBeSwitchedWhileRunning) {
    StartSim();
    ConnectAndLogin();
    GatewaySimFaults f;
    f.wrongPassword = true;
    m_sim->SetFaults(f);
    ASSERT_TRUE(m_client.Connect(m_sim->Port()));
    EXPECT_FALSE(m_client.Login("admin"));
    m_sim->SetFaults({});
    EXPECT_TRUE(m_client.Login("admin"));
}

}  // namespace
}  // namespace vorn::test
