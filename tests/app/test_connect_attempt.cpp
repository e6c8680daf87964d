// The connect attempt against the simulator: outcome, lockout warning, recent list, and the
// session-change notification it is driven by.
#include <gtest/gtest.h>

#include "app/ConnectAttempt.h"
#include "app/RecentAddressList.h"
#include "lib/StringTable.h"
#include "lib/Text.h"
#include "lib/WorkFolders.h"
#include "tests/common/GatewayChain.h"
#include "tests/common/RecordingOperator.h"

namespace vorn::test {
namespace {

class ConnectAttempt : public ::testing::Test {
protected:
    void SetUp() override {
        m_sim = StartGatewaySim(m_folders.SimRoot());
        ASSERT_TRUE(m_sim);
        m_address = "127.0.0.1:" + std::to_string(m_sim->Port());
        m_session = std::make_unique<CGatewaySession>(&m_op);
    }
    void TearDown() override {
        m_session.reset();
        if (m_sim)
            m_sim->Stop();
    }
    // One attempt, run to its end.
    CConnectAttempt::Result Attempt(const std::string& password, RememberMode remember) {
        CConnectAttempt attempt(*m_session);
        int calls = 0;
        CConnectAttempt::Result result;
        const ConnectCheck check = CheckConnectAllowed(m_address);
        EXPECT_TRUE(check.allowed) << check.message;
        EXPECT_TRUE(attempt.Start(check, "127.0.0.1", m_sim->Port(), password, remember,
                                  [&](const CConnectAttempt::Result& r) {
                                      ++calls;
                                      result = r;
                                  }));
        EXPECT_TRUE(waitFor([&] { return attempt.Finished(); }, 20000));
        EXPECT_EQ(calls, 1);
        return result;
    }
    std::vector<std::string> Recent() {
        RecentAddressList list;
        list.Load(WorkPath(RecentAddressList::kFileName, ""));
        std::vector<std::string> out;
        for (const RecentEntry& e : list.Entries()) out.push_back(e.Text() + " " + e.password);
        return out;
    }

    CTestFolders m_folders;
    RecordingOperator m_op;
    std::unique_ptr<CGatewaySim> m_sim;
    std::unique_ptr<CGatewaySession> m_session;
    std::string m_address;
};

TEST_F(ConnectAttempt, WrongPasswordsCountUpThenTheRightOneLogsInAndIsRemembered) {
    const struct {
        const char* password;
        ConnectOutcome outcome;
        std::string warning;
    } steps[] = {
        {"nope", kWizardLoginRefused, ""},
        {"nope", kWizardLoginRefused, ""},
        {"nope", kWizardLoginRefused, FormatStr(6798, 3, 2)},
        {"admin", kWizardConnected, ""},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.password);
        const CConnectAttempt::Result r = Attempt(step.password, RememberMode::AddressAndPassword);
        EXPECT_EQ(r.outcome, step.outcome);
        EXPECT_FALSE(r.timedOut);
        EXPECT_EQ(r.warning, step.warning);
    }
    EXPECT_TRUE(m_session->Connected);
    // The attempt ends only once the answer to the version message is in.
    EXPECT_FALSE(m_session->VersionReplyPending());
    EXPECT_NE(m_session->ProtocolVersion, 0);
    EXPECT_EQ(Recent(), std::vector<std::string>{m_address + " admin"});
}

TEST_F(ConnectAttempt, NothingListensAndLeaveListKeepsTheRecentListUntouched) {
    const std::uint16_t port = m_sim->Port();
    m_sim->Stop();
    CConnectAttempt attempt(*m_session);
    const ConnectCheck check = CheckConnectAllowed(m_address);
    bool ended = false;
    if (attempt.Start(check, "127.0.0.1", port, "admin", RememberMode::LeaveList,
                      [&](const CConnectAttempt::Result&) { ended = true; })) {
        ASSERT_TRUE(waitFor([&] { return ended; }, 20000));
        EXPECT_EQ(attempt.Outcome().outcome, kWizardConnectFailed);
    }
    EXPECT_FALSE(m_session->Connected);
    EXPECT_TRUE(Recent().empty());
}

TEST_F(ConnectAttempt, SessionListenersHearStateConnectedAndClose) {
    std::vector<std::pair<int, bool>> seen;
    const int id = m_session->AddSessionListener([&] {
        seen.emplace_back(m_session->SessionState, static_cast<bool>(m_session->Connected));
    });
    ASSERT_TRUE(LoginAndAwaitVersion(*m_session, *m_sim));
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front(), std::make_pair(int(kStateLogin), false));
    bool sawConnected = false;
    for (const auto& s : seen) sawConnected = sawConnected || s.second;
    EXPECT_TRUE(sawConnected);
    EXPECT_EQ(seen.back(), std::make_pair(0, true));

    const std::size_t before = seen.size();
    m_session->Disconnect();
    ASSERT_GT(seen.size(), before);
    EXPECT_EQ(seen.back(), std::make_pair(0, false));

    m_session->RemoveSessionListener(id);
    const std::size_t after = seen.size();
    ASSERT_TRUE(LoginSession(*m_session, *m_sim));
    EXPECT_EQ(seen.size(), after);
}

}  // namespace
}  // namespace vorn::test
