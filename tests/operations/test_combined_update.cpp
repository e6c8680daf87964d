// The combined update against the simulator: the driver, script members and the version
// refresh, checked on the messages the gateway received.
#include "tests/operations/CombinedFixture.h"

namespace vorn::test {
namespace {

using Strings = std::vector<std::string>;

TEST_F(CombinedFixture, ScriptMemberRunsWithoutRestart) {
    StoreCombined("s.cssu", {{"upgrade.conf", Plan({{{"type", "3"}, {"name", "fix.sh"}}})},
                             {"readme.txt", "tips"},
                             {"fix.sh", "echo fixing\nexit 0\n"}});
    ASSERT_TRUE(m_frame->StartCombinedUpdate());
    EXPECT_TRUE(m_frame->CombinedUpdateRunning());
    ASSERT_TRUE(UpdateEnded());
    EXPECT_EQ(Requests(), (Strings{"put /etc/vorncmd/compose.sh", "putover", "excute /etc/vorncmd/compose.sh"}));
    EXPECT_EQ(RemoteFile("/etc/vorncmd/compose.sh"), "echo fixing\nexit 0\n");
    EXPECT_EQ(UpdateTexts(9), Strings{"COMPOSE:1"});
    EXPECT_TRUE(m_op.ShownIn("Uploading script fix.sh \n", kBlack));
    EXPECT_TRUE(m_op.ShownIn("Execute script successfully.\n\n", kBlue));
    EXPECT_TRUE(m_op.ShownIn("Updating with combined update package completed!\n", kBlue));
    EXPECT_EQ(UpdateTexts(12), (Strings{std::string("SUCCEED:") + LoadStr(6585), "SUCCEED:END"}));
    EXPECT_EQ(UpdateTexts(13), Strings{""});  // no restart
    EXPECT_EQ(m_sim->RebootCount(), 0);
    EXPECT_FALSE(m_frame->Connected);  // the session closes at the end
}

TEST_F(CombinedFixture, RefusedScriptShowsTheResultFileAndStopsTheRest) {
    StoreCombined("s.cssu", {{"upgrade.conf", Plan({{{"type", "3"}, {"name", "bad.sh"}},
                                                    {{"type", "3"}, {"name", "next.sh"}}})},
                             {"bad.sh", "echo disk full on /app\nexit 3\n"},
                             {"next.sh", "exit 0\n"}});
    ASSERT_TRUE(m_frame->StartCombinedUpdate());
    ASSERT_TRUE(UpdateEnded());
    EXPECT_EQ(Requests(), (Strings{"put /etc/vorncmd/compose.sh", "putover",
                                   "excute /etc/vorncmd/compose.sh", "get /etc/vorncmd/result"}));
    EXPECT_TRUE(m_op.ShownIn("shell execute failed\n", kRed));
    EXPECT_TRUE(m_op.ShownIn("disk full on /app\n\n", kBlack));
    EXPECT_TRUE(m_op.ShownIn(LoadStr(6584), kRed));
    EXPECT_EQ(UpdateTexts(12), Strings{"FAILED:"});
    EXPECT_EQ(UpdateTexts(9), Strings{"COMPOSE:1"});  // the second member never started
    EXPECT_TRUE(m_frame->Connected);                  // nothing restarts, the link stays
    EXPECT_FALSE(m_frame->TransferFileOpen());
}

TEST_F(CombinedFixture, UploadRefusalTakesTheUpdateFailurePath) {
    StoreCombined("s.cssu", {{"upgrade.conf", Plan({{{"type", "3"}, {"name", "a.sh"}}})},
                             {"a.sh", "exit 0\n"}});
    // A folder in the script's place: the gateway refuses the put (step 53).
    fs::create_directories(m_sim->LocalPath("/etc/vorncmd/compose.sh") / "blocker");
    ASSERT_TRUE(m_frame->StartCombinedUpdate());
    ASSERT_TRUE(UpdateEnded());
    EXPECT_TRUE(m_op.ShownIn("(Cannot write file: /etc/vorncmd/compose.sh)\n", kRed)) << m_op.screen;
    EXPECT_TRUE(m_op.ShownIn("(49) error. Update failed!\n", kRed)) << m_op.screen;
    EXPECT_EQ(UpdateTexts(12), (Strings{"FAILED:", "FAILED:"}));  // the member's, then the driver's
    EXPECT_TRUE(m_op.ShownIn(LoadStr(6560), kRed));
    EXPECT_TRUE(m_op.ShownIn(LoadStr(6584), kRed));
}

TEST_F(CombinedFixture, MemberNamesCannotLeaveThePackageFolder) {
    fs::create_directories(Home() / "compose_unpkg");
    std::ofstream(Dir() / "prog" / "secret") << "not for the gateway";
    m_frame->RunScriptMember("../secret");
    EXPECT_EQ(m_frame->SessionState, 0);
    EXPECT_FALSE(m_frame->m_memberFinished);
    EXPECT_TRUE(m_op.ShownIn("Invalid member name in the package plan: ../secret", kRed));
    EXPECT_TRUE(Requests().empty());
    EXPECT_EQ(UpdateTexts(12), Strings{"FAILED:"});
}

TEST_F(CombinedFixture, VersionRefreshReplacesTheVersionText) {
    std::ofstream(m_sim->LocalPath("/app/appversion"), std::ios::trunc) << "dravel-GW-2100 V5.3.0\nbuild 9\n";
    m_frame->RefreshGatewayVersion();
    EXPECT_EQ(m_frame->SessionState, kStateVersionRefresh);
    ASSERT_TRUE(waitFor([&] { return m_frame->SessionState == 0; }));
    EXPECT_TRUE(m_frame->m_memberFinished);
    EXPECT_EQ(m_frame->DeviceVersion(), "KELMORA-GW-2100 V5.3.0");
    std::ifstream in(Home() / "tmp" / "version.txt", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "dravel-GW-2100 V5.3.0\nbuild 9\n");
    EXPECT_EQ(Requests(), Strings{"get /app/appversion"});

    fs::remove(m_sim->LocalPath("/app/appversion"));
    m_frame->RefreshGatewayVersion();
    ASSERT_TRUE(waitFor([&] { return m_frame->SessionState == 0; }));
    EXPECT_FALSE(m_frame->m_memberFinished);
    EXPECT_TRUE(m_op.ShownIn(LoadStr(6458), kRed));
}

TEST_F(CombinedFixture, BrokenPlanDoesNotStart) {
    StoreCombined("s.cssu", {{"upgrade.conf", Plan({{{"type", "7"}}})}});
    EXPECT_FALSE(m_frame->StartCombinedUpdate());
    EXPECT_FALSE(m_frame->CombinedUpdateRunning());
    EXPECT_EQ(UpdateTexts(7), Strings{LoadStr(6739)});
    EXPECT_EQ(UpdateTexts(12), Strings{"FAILED:"});
    EXPECT_TRUE(Requests().empty());
}

TEST_F(CombinedFixture, StartsAfterAReconnectWhenTheLinkIsDown) {
    StoreCombined("s.cssu", {{"upgrade.conf", Plan({{{"type", "3"}, {"name", "a.sh"}}})},
                             {"a.sh", "exit 0\n"}});
    m_frame->Disconnect();
    ASSERT_FALSE(m_frame->Connected);
    ASSERT_TRUE(m_frame->StartCombinedUpdate());
    EXPECT_NE(m_frame->SessionState, 0);  // busy while reconnecting
    ASSERT_TRUE(waitFor([&] { return m_frame->CombinedUpdateRunning(); }, 10000));
    ASSERT_TRUE(UpdateEnded());
    EXPECT_EQ(UpdateTexts(12).back(), "SUCCEED:END");
}

}  // namespace
}  // namespace vorn::test
