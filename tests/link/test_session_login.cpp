// Connect, login and the reply dispatch of the session against the simulator.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

#include "link/LinkFrame.h"
#include "tests/link/SessionFixture.h"

namespace vorn::test {
namespace {

using SessionLogin = SessionFixture;

TEST_F(SessionLogin, ConnectThatWouldBlockLogsInFromTheConnectNotification) {
    StartSim();
    ASSERT_TRUE(m_session->ConnectGateway("127.0.0.1", "admin", m_sim->Port()));
    EXPECT_EQ(m_session->SessionState, kStateLogin);
    EXPECT_EQ(m_session->SessionStep, 1);  // nothing sent before the connect notification
    EXPECT_TRUE(m_op.Shown("\n\nConnecting to device (127.0.0.1)...\n"));
    EXPECT_EQ(m_op.title, "Technical Support Console - Connecting");
    ASSERT_TRUE(waitFor([&] { return m_session->Connected; }));
    EXPECT_EQ(m_op.title, "Technical Support Console - 127.0.0.1");
}

// A connect completes "at once" when the socket is given time to finish inside the call
// (on Linux a non-blocking connect always reports EINPROGRESS, even on loopback).
TEST_F(SessionLogin, ConnectThatCompletesAtOnceSendsTheLoginImmediately) {
    StartSim();
    m_session->SetConnectWait(2000);
    ASSERT_TRUE(m_session->ConnectGateway("127.0.0.1", "admin", m_sim->Port()));
    EXPECT_EQ(m_session->SessionState, kStateLogin);
    EXPECT_EQ(m_session->SessionStep, 2);
    ASSERT_TRUE(waitFor([&] { return !m_sim->ReceivedTexts().empty(); }));
    EXPECT_EQ(m_sim->ReceivedTexts().front(), "login\npasswd:admin\nflage:HandleVersion\n");
    ASSERT_TRUE(waitFor([&] { return m_session->Connected; }));
}

TEST_F(SessionLogin, VersionCapableLoginSendsTheVersionMessageAndShowsTheReply) {
    StartSim([](GatewaySimConfig& c) {
        c.loginResult = kLoginVersionCapable;
        c.protocolVersion = 0x300;
    });
    ASSERT_TRUE(Login());
    ASSERT_TRUE(waitFor([&] { return m_session->ProtocolVersion == 0x300; }));
    EXPECT_TRUE(m_session->Connected);
    EXPECT_TRUE(m_session->VersionCapable);
    EXPECT_TRUE(SimReceived("version\nvalue:1568\n"));
    EXPECT_TRUE(m_op.ShownIn("Connect device successfully.\n", kBlue));
    EXPECT_TRUE(m_op.Shown("Version of current device: \n"));
    EXPECT_TRUE(m_op.Shown("KELMORA GW V300R001\n"));
    EXPECT_TRUE(m_op.ShownIn("Update server version is : 300\n\n", kBlue));
    EXPECT_FALSE(m_op.Shown("lower than V300"));
    ASSERT_FALSE(m_op.wizard.empty());
    EXPECT_EQ(m_op.wizard.back().code, kWizardConnected);
    EXPECT_EQ(m_op.wizard.back().text, "KELMORA GW V300R001");
    EXPECT_EQ(m_session->loginVersion, "KELMORA GW V300R001");
    // The version file was fetched into the temporary folder.
    EXPECT_EQ(ReadLocal(Dir() / "prog" / "tmp" / "version.txt"), "KELMORA GW V300R001\n");
}

TEST_F(SessionLogin, OldGatewayGetsNoVersionMessage) {
    StartSim([](GatewaySimConfig& c) { c.loginResult = kLoginOld; });
    ASSERT_TRUE(Login());
    EXPECT_TRUE(m_session->Connected);
    EXPECT_FALSE(m_session->VersionCapable);
    EXPECT_TRUE(m_op.ShownIn("Update server version is lower than V300\n", kBlue));
    QCoreApplication::processEvents();
    for (const auto& t : m_sim->ReceivedTexts()) EXPECT_NE(t.rfind("version\n", 0), 0u) << t;
}

TEST_F(SessionLogin, WrongPasswordKeepsTheSessionInStateThree) {
    StartSim();
    ASSERT_TRUE(Login("wrong"));
    EXPECT_EQ(m_session->SessionState, kStateLogin);
    EXPECT_EQ(m_session->SessionStep, 0);
    EXPECT_FALSE(m_session->Connected);
    EXPECT_TRUE(m_op.ShownIn("Invalid password!\n", kRed));
    EXPECT_TRUE(m_op.HasWizard(kWizardLoginRefused));
    EXPECT_TRUE(m_sim->ClientConnected());
    // No second login goes out.
    QCoreApplication::processEvents();
    int logins = 0;
    for (const auto& t : m_sim->ReceivedTexts()) logins += t.rfind("login\n", 0) == 0;
    EXPECT_EQ(logins, 1);
    EXPECT_FALSE(m_session->CanClose());  // state 3 is not idle
}

TEST_F(SessionLogin, DamagedFirmwareWithoutADeviceChoiceFails) {
    StartSim([](GatewaySimConfig& c) { c.damaged = true; });
    ASSERT_TRUE(Login());
    EXPECT_FALSE(m_session->Connected);
    EXPECT_TRUE(m_op.ShownIn("Firmware is damaged. Please update the Firmware first!\n", kRed));
    EXPECT_TRUE(m_op.ShownIn("Version is not specified. Connecting failed!\n", kRed));
    EXPECT_TRUE(m_op.HasWizard(kWizardConnectFailed));
}

TEST_F(SessionLogin, DamagedFirmwareWithADeviceChoiceConnects) {
    StartSim([](GatewaySimConfig& c) { c.damaged = true; });
    m_op.device = std::make_pair(2, 3);
    ASSERT_TRUE(Login());
    EXPECT_TRUE(m_session->Connected);
    EXPECT_EQ(m_session->chosenModel, 2);
    EXPECT_EQ(m_session->chosenSeries, 3);
    EXPECT_TRUE(m_op.HasWizard(kWizardDeviceChosen));
    EXPECT_EQ(m_session->DeviceVersion(), "");
}

TEST_F(SessionLogin, VersionTextIsTheFirstLineWithTheVendorWordNormalised) {
    struct Case {
        const char* file;
        const char* version;
    } cases[] = {
        {"dravel-gw V310R002\nbuilt 2020\n", "KELMORA-gw V310R002"},
        {"KelMora x dRaVeL y kelmoraKELMORA\n", "KELMORA x KELMORA y KELMORAKELMORA"},
        {"no newline at all", "no newline at all"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        StartSim([&](GatewaySimConfig& cfg) { cfg.versionText = c.file; });
        ASSERT_TRUE(Login());
        EXPECT_EQ(m_session->DeviceVersion(), c.version);
        EXPECT_TRUE(m_op.Shown(std::string(c.version) + "\n"));
        m_session->Disconnect();
        m_sim->Stop();
    }
}

TEST_F(SessionLogin, ResultReplyInStateZeroIsShownAndChangesNothing) {
    StartSim();
    ASSERT_TRUE(Login());
    ASSERT_TRUE(m_session->Connected);
    m_session->ExecuteCommand("ls /nonexistent");  // no procedure owns the reply
    ASSERT_TRUE(waitFor([&] { return m_op.Shown("Received error response("); }));
    EXPECT_TRUE(m_op.ShownIn("Received error response(1)!\n", kRed));
    EXPECT_TRUE(m_session->Connected);
    EXPECT_EQ(m_session->SessionState, 0);
}

TEST_F(SessionLogin, FrameErrorClosesTheSession) {
    StartSim([](GatewaySimConfig& c) { c.faults.garbageAfterLogin = true; });
    ASSERT_TRUE(m_session->ConnectGateway("127.0.0.1", "admin", m_sim->Port()));
    ASSERT_TRUE(waitFor([&] { return m_op.Shown("Processing command error!\n"); }));
    EXPECT_TRUE(m_op.ShownIn("Processing command error!\n", kRed));
    EXPECT_FALSE(m_session->Connected);
    EXPECT_EQ(m_session->SessionState, 0);
    EXPECT_TRUE(m_op.HasWizard(kWizardDisconnected));
}

// "abort" is treated like any text the updater does not understand: shown, session closed,
// so a procedure waiting for its reply ends instead of hanging.
TEST_F(SessionLogin, AbortTextEndsTheSessionLikeAnUnknownText) {
    StartSim([](GatewaySimConfig& c) { c.faults.abortOnCommand = "excute"; });
    ASSERT_TRUE(Login());
    m_session->SessionState = 11;
    m_session->SessionStep = 48;
    m_session->ExecuteCommand("ls /");
    ASSERT_TRUE(waitFor([&] { return !m_session->Connected; }));
    EXPECT_TRUE(m_op.ShownIn("Received unrecognizable command: abort\n\n", kRed));
    EXPECT_EQ(m_session->SessionState, 0);
}

// A gateway that answers with a text of no known form: a one-frame server on loopback.
TEST_F(SessionLogin, UnknownTextClosesTheSession) {
    int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0);
    ASSERT_EQ(::listen(listener, 1), 0);
    socklen_t len = sizeof sa;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&sa), &len);
    std::thread server([listener] {
        int c = ::accept(listener, nullptr, nullptr);
        std::uint8_t frame[kMaxSendFrame];
        const std::size_t n = BuildTextFrame("hello\nthere:1\n", frame);
        ::send(c, frame, n, 0);
        char sink[256];
        while (::recv(c, sink, sizeof sink, 0) > 0) {
        }
        ::close(c);
    });
    ASSERT_TRUE(m_session->ConnectGateway("127.0.0.1", "admin", ntohs(sa.sin_port)));
    ASSERT_TRUE(waitFor([&] { return m_op.Shown("Received unrecognizable command"); }));
    EXPECT_TRUE(m_op.ShownIn("Received unrecognizable command: hello\nthere:1\n\n", kRed));
    EXPECT_TRUE(m_op.ShownIn("Processing command error!\n", kRed));
    EXPECT_EQ(m_session->SessionState, 0);
    m_session.reset();  // closes the socket so the server thread ends
    server.join();
    ::close(listener);
}

TEST_F(SessionLogin, RefusedConnectAndDisconnectMessages) {
    StartSim();
    const std::uint16_t port = m_sim->Port();
    m_sim->Stop();
    m_session->ConnectGateway("127.0.0.1", "admin", port);
    ASSERT_TRUE(Idle());
    EXPECT_TRUE(m_op.ShownIn("Connecting failed. Please check network connection!\n", kRed));
    EXPECT_TRUE(m_op.HasWizard(kWizardConnectFailed));

    EXPECT_FALSE(m_session->ConnectGateway("not an address", "admin", port));
    EXPECT_TRUE(m_op.ShownIn("Failed to connect to device (not an address)!\n", kRed));
    EXPECT_EQ(m_session->SessionState, 0);
}

TEST_F(SessionLogin, UserDisconnectClosesAndResets) {
    StartSim();
    ASSERT_TRUE(Login());
    ASSERT_TRUE(m_session->Connected);
    m_session->Disconnect();
    EXPECT_FALSE(m_session->Connected);
    EXPECT_EQ(m_session->ProtocolVersion, 0);
    EXPECT_FALSE(m_session->VersionCapable);
    EXPECT_TRUE(m_op.ShownIn("Disconnected from device.\n", kRed));
    EXPECT_EQ(m_op.title, "Technical Support Console - Device Disconnected");
    EXPECT_EQ(m_session->closedCount, 1);
    EXPECT_TRUE(m_session->CanClose());
}

TEST_F(SessionLogin, AbortedConnectionDuringAnUpdateIsReportedToTheUpdatePage) {
    StartSim();
    ASSERT_TRUE(Login());
    m_session->SessionState = kStateSingleUpdate;
    m_session->CloseSession(kSocketTcp, 10053);
    ASSERT_EQ(m_op.updatePage.size(), 2u);
    EXPECT_EQ(m_op.updatePage[0].code, 7);
    EXPECT_EQ(m_op.updatePage[0].text, "The device is disconnected.\n");
    EXPECT_EQ(m_op.updatePage[1].code, 12);
    EXPECT_EQ(m_op.updatePage[1].text, "FAILED:Update failed");
    EXPECT_TRUE(m_op.ShownIn("Update failed\n", kRed));  // its own line
}

TEST_F(SessionLogin, PasswordChange) {
    StartSim();
    ASSERT_TRUE(Login());
    EXPECT_EQ(CGatewaySession::CheckNewPassword("", ""), 6785);
    EXPECT_EQ(CGatewaySession::CheckNewPassword("a", "b"), 6546);
    EXPECT_EQ(CGatewaySession::CheckNewPassword("new1", "new1"), 0);
    m_session->ChangePassword("new1");
    EXPECT_EQ(m_session->SessionState, kStatePassword);
    ASSERT_TRUE(Idle());
    EXPECT_TRUE(m_op.ShownIn("Modify password successfully!\n", kBlue));
    EXPECT_EQ(m_session->Password(), "new1");
    EXPECT_EQ(m_sim->Password(), "new1");
}

// The reconnect after a gateway restart repeats the connect on the same port and hands over
// to the procedure that asked for it.
TEST_F(SessionLogin, ReconnectAfterRebootUsesTheSamePortAndResumes) {
    struct Resumer : CReconnectHandler {
        int resumed = 0;
        void Resume() override { ++resumed; }
        bool Failed(const std::string&) override { return false; }
    } resume;
    StartSim([](GatewaySimConfig& c) { c.rebootRefuseMs = 100; });  // back before timer 7
    m_session->RegisterReconnect(5, &resume);
    ASSERT_TRUE(Login());
    const std::uint16_t port = m_session->Port();
    m_session->SessionState = 11;
    m_session->ExecuteCommand("reboot");
    ASSERT_TRUE(waitFor([&] { return m_sim->RebootCount() == 1; }));
    m_session->SessionState = 0;
    m_session->CloseSession(kSocketTcp, 0);
    m_session->ScheduleReconnect(5);
    ASSERT_TRUE(waitFor([&] { return resume.resumed == 1; }, 10000));
    EXPECT_EQ(m_session->Port(), port);
    EXPECT_EQ(m_sim->ConnectionCount(), 2);
    EXPECT_TRUE(m_session->Connected);
    EXPECT_EQ(m_session->ConnectReason, 0);
    EXPECT_TRUE(m_op.HasWizard(kWizardReconnected));
}

TEST_F(SessionLogin, ReconnectThatNeverLogsInReportsTheDisconnection) {
    StartSim();
    ASSERT_TRUE(Login());
    const std::uint16_t port = m_sim->Port();
    m_sim->Stop();
    m_session->Disconnect();
    m_session->ScheduleReconnect(1);
    ASSERT_TRUE(waitFor(
        [&] {
            for (const auto& e : m_op.updatePage) {
                if (e.code == 12)
                    return true;
            }
            return false;
        },
        10000));
    EXPECT_EQ(m_op.updatePage.back().text.rfind("FAILED:", 0), 0u);
    EXPECT_EQ(m_session->Port(), port);
    EXPECT_EQ(m_session->ConnectReason, 0);
}

}  // namespace
}  // namespace vorn::test

namespace vorn::test {
namespace {

TEST_F(SessionLogin, AutoConnectFailureAndResumeByConnectReason) {
    struct Case {
        int reason;
        bool handled;
        int updateCode;  // -1: none
        const char* console;
    } cases[] = {
        {0, false, -1, nullptr},
        {1, true, 12, nullptr},
        {2, true, 12, nullptr},
        {3, true, -1, "Failed to restore device to factory defaults (device is disconnected)\n"},
        {4, false, -1, nullptr},
        {5, false, -1, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reason);
        m_op.updatePage.clear();
        m_op.console.clear();
        m_session->ConnectReason = c.reason;
        EXPECT_EQ(m_session->ReportAutoConnectFailure("gone"), c.handled);
        if (c.updateCode >= 0) {
            ASSERT_EQ(m_op.updatePage.size(), 1u);
            EXPECT_EQ(m_op.updatePage[0].code, c.updateCode);
            EXPECT_EQ(m_op.updatePage[0].text, "FAILED:gone");
        } else {
            EXPECT_TRUE(m_op.updatePage.empty());
        }
        if (c.console) {
            EXPECT_TRUE(m_op.ShownIn(c.console, kRed));
        }
    }

    // Resume hands over to the registered continuation; reasons 1, 2 and 5 are cleared first.
    struct Continuation : CReconnectHandler {
        CGatewaySession* s = nullptr;
        int reasonSeen = -1;
        void Resume() override { reasonSeen = s->ConnectReason; }
        bool Failed(const std::string&) override { return true; }
    } cont;
    cont.s = m_session.get();
    for (int reason : {1, 3, 5}) {
        SCOPED_TRACE(reason);
        m_session->RegisterReconnect(reason, &cont);
        m_session->ConnectReason = reason;
        cont.reasonSeen = -1;
        EXPECT_TRUE(m_session->ResumeAfterReconnect());
        EXPECT_EQ(cont.reasonSeen, reason == 3 ? 3 : 0);
        m_session->RegisterReconnect(reason, nullptr);
    }
    m_session->ConnectReason = 0;
    EXPECT_FALSE(m_session->ResumeAfterReconnect());
}

}  // namespace
}  // namespace vorn::test
