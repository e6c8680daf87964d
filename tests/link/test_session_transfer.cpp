// File transfer over the link against the simulator.
#include <QTimer>

#include "tests/link/SessionFixture.h"

namespace vorn::test {
namespace {

namespace fs = std::filesystem;

// Upload as every procedure runs it: put, the data, putover.
struct UploadProcedure : CProcedureHandler {
    explicit UploadProcedure(CGatewaySession* s) : session(s) {}
    CGatewaySession* session;
    fs::path local;
    int putFileResult = -1;
    int finalResult = -1;
    std::uint64_t frameBytes = 0;  // bytes of the file's frames handed to the socket
    std::uint64_t before = 0;
    bool ended = false;

    void Start(const fs::path& l, const std::string& remote) {
        local = l;
        session->SessionState = 9;
        session->SessionStep = 44;
        session->RequestPut(remote);
    }
    bool OnResult(int result, const std::optional<std::string>&) override {
        if (session->SessionStep == 44) {
            if (result != 0)
                return End(result);
            before = session->BytesSent();
            putFileResult = session->PutFile(local);
            if (!putFileResult)
                return End(-2);
            session->SendPutOver();
            session->SessionStep = 45;
            return true;
        }
        if (session->SessionStep == 45) {
            // The upload streams from the event loop; its frames are what went out before
            // the putover.
            std::uint8_t frame[kMaxSendFrame];
            frameBytes = session->BytesSent() - before - BuildTextFrame("putover\n", frame);
            return End(result);
        }
        return false;
    }
    bool OnGetOver() override { return false; }
    void OnUploadFailed() override {
        putFileResult = 0;
        End(-2);
    }
    bool End(int r) {
        finalResult = r;
        ended = true;
        session->EndProcedure();
        return true;
    }
};

struct DownloadProcedure : CProcedureHandler {
    explicit DownloadProcedure(CGatewaySession* s) : session(s) {}
    CGatewaySession* session;
    fs::path local;
    bool ended = false;
    int finalResult = -1;
    std::string writeError;

    void Start(const std::string& remote, const fs::path& l) {
        local = l;
        session->SessionState = 10;
        session->SessionStep = 46;
        session->RequestGet(remote);
    }
    bool OnResult(int result, const std::optional<std::string>& msg) override {
        if (session->SessionStep != 46)
            return false;
        if (result != 0 || !session->BeginDownload(local, msg, true)) {
            finalResult = result ? result : -2;
            ended = true;
            session->EndProcedure();
            return true;
        }
        session->SessionStep = 47;
        return true;
    }
    bool OnGetOver() override {
        if (session->SessionStep != 47)
            return false;
        session->EndDownload();
        finalResult = 0;
        ended = true;
        session->EndProcedure();
        return true;
    }
    void OnDownloadWriteFailed(const std::string& text) override {
        writeError = text;
        ended = true;
    }
};

// Wire size of the binary frames for a file of `size` bytes sent in 1024-byte pieces.
std::uint64_t FrameBytes(std::uint64_t size) {
    auto frame = [](std::uint64_t piece) { return 4 + 2 + 8 * ((piece + 5 + 7) / 8); };
    return (size / 1024) * frame(1024) + (size % 1024 ? frame(size % 1024) : 0);
}

using SessionTransfer = SessionFixture;

TEST(FormatThousands, GroupsDigitsByThree) {
    struct Case {
        std::uint64_t v;
        const char* text;
    } cases[] = {{0, "0"},
                 {999, "999"},
                 {1000, "1,000"},
                 {1234567, "1,234,567"},
                 {100000, "100,000"},
                 {18446744073709551615ull, "18,446,744,073,709,551,615"}};
    for (const Case& c : cases) EXPECT_EQ(FormatThousands(c.v), c.text);
}

TEST_F(SessionTransfer, UploadsArriveWholeInPiecesOf1024Bytes) {
    StartSim();
    ASSERT_TRUE(Login());
    UploadProcedure up(m_session.get());
    m_session->RegisterProcedure(9, &up);
    for (std::size_t size :
         {std::size_t{0}, std::size_t{1024}, std::size_t{1025}, std::size_t{8} << 20}) {
        SCOPED_TRACE(size);
        const std::string data = RandomBytes(size, static_cast<unsigned>(size));
        const fs::path local = Dir() / ("up" + std::to_string(size));
        WriteLocal(local, data);
        const std::string remote = "/stmp/up" + std::to_string(size);
        m_op.progress.clear();
        up.ended = false;
        up.Start(local, remote);
        ASSERT_TRUE(waitFor([&] { return up.ended; }, 30000));
        EXPECT_EQ(up.finalResult, 0);
        EXPECT_EQ(up.putFileResult, 1);
        EXPECT_EQ(up.frameBytes, FrameBytes(size));
        EXPECT_EQ(Md5(ReadLocal(m_sim->LocalPath(remote))), Md5(data));
        EXPECT_FALSE(m_session->TransferFileOpen());
        EXPECT_TRUE(m_op.Shown(local.string() + "(size:" + FormatThousands(size) + " B) : "));
        if (size == 0) {
            EXPECT_TRUE(m_op.progress.empty());  // no percentage for an empty file
        } else {
            ASSERT_FALSE(m_op.progress.empty());
            EXPECT_EQ(m_op.progress.back().text, "100%");
            EXPECT_EQ(m_op.progress.back().colour, kBlue);
            // Shown only when the percentage changes.
            for (std::size_t i = 1; i < m_op.progress.size(); ++i)
                EXPECT_NE(m_op.progress[i].text, m_op.progress[i - 1].text);
        }
    }
    EXPECT_TRUE(m_session->Connected);
}

TEST_F(SessionTransfer, MissingLocalFileFailsTheUploadWithTheFileError) {
    StartSim();
    ASSERT_TRUE(Login());
    UploadProcedure up(m_session.get());
    m_session->RegisterProcedure(9, &up);
    up.Start(Dir() / "absent", "/stmp/x");
    ASSERT_TRUE(waitFor([&] { return up.ended; }));
    EXPECT_EQ(up.finalResult, -2);
    EXPECT_TRUE(m_op.ShownIn("No such file or directory", kRed));
    EXPECT_TRUE(m_session->Connected);
}

TEST_F(SessionTransfer, DownloadWithAndWithoutAnnouncedSize) {
    for (bool withSize : {true, false}) {
        SCOPED_TRACE(withSize);
        StartSim([&](GatewaySimConfig& c) { c.getWithoutSize = !withSize; });
        ASSERT_TRUE(Login());
        DownloadProcedure down(m_session.get());
        m_session->RegisterProcedure(10, &down);
        const std::string data = RandomBytes(700000, 3);
        WriteLocal(m_sim->LocalPath("/var/log/big"), data);
        const fs::path local = Dir() / (withSize ? "sized" : "unsized");
        m_op.progress.clear();
        down.Start("/var/log/big", local);
        ASSERT_TRUE(waitFor([&] { return down.ended; }, 20000));
        EXPECT_EQ(down.finalResult, 0);
        EXPECT_EQ(Md5(ReadLocal(local)), Md5(data));
        EXPECT_FALSE(m_session->TransferFileOpen());
        ASSERT_FALSE(m_op.progress.empty());
        if (withSize) {
            EXPECT_TRUE(m_op.Shown(local.string() + "(size:700,000 B) : "));
            EXPECT_EQ(m_op.progress.back().text, "100%");
            EXPECT_EQ(m_op.console.back().text, "\n");
        } else {
            EXPECT_TRUE(m_op.Shown(local.string() + " : "));
            // Running byte counts, then the total.
            EXPECT_EQ(m_op.progress.front().text.find('%'), std::string::npos);
            EXPECT_EQ(m_op.progress.back().text, "700,000 B\n");
            EXPECT_EQ(m_op.progress.back().colour, kBlue);
        }
        m_session->Disconnect();
        m_sim->Stop();
    }
}

// Data that cannot be written locally ends the procedure with the file error.
TEST_F(SessionTransfer, FailedLocalWriteEndsTheDownload) {
    if (!fs::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    StartSim();
    ASSERT_TRUE(Login());
    DownloadProcedure down(m_session.get());
    m_session->RegisterProcedure(10, &down);
    WriteLocal(m_sim->LocalPath("/var/log/f"), RandomBytes(5000));
    down.Start("/var/log/f", "/dev/full");
    ASSERT_TRUE(waitFor([&] { return down.ended; }));
    EXPECT_EQ(down.writeError, "No space left on device");
    EXPECT_TRUE(m_op.ShownIn("No space left on device", kRed));
    EXPECT_EQ(m_session->SessionState, 0);
    EXPECT_FALSE(m_session->TransferFileOpen());
    // The rest of the download and its end are dropped quietly; the link stays usable.
    QCoreApplication::processEvents();
    EXPECT_TRUE(m_session->Connected);
}

TEST_F(SessionTransfer, DataOutsideADownloadStepIsDropped) {
    StartSim();
    ASSERT_TRUE(Login());
    const std::uint8_t bytes[3] = {1, 2, 3};
    EXPECT_EQ(m_session->HandleData(bytes, 3), 1);
    EXPECT_FALSE(m_session->TransferFileOpen());
    EXPECT_TRUE(m_op.progress.empty());
}

TEST_F(SessionTransfer, ConnectionDroppedMidUploadClosesFileAndSession) {
    StartSim([](GatewaySimConfig& c) { c.faults.dropAfterUploadBytes = 100000; });
    ASSERT_TRUE(Login());
    UploadProcedure up(m_session.get());
    m_session->RegisterProcedure(9, &up);
    const fs::path local = Dir() / "big";
    WriteLocal(local, RandomBytes(std::size_t{32} << 20));
    up.Start(local, "/stmp/big");
    ASSERT_TRUE(waitFor([&] { return !m_session->Connected; }, 30000));
    EXPECT_EQ(up.putFileResult, 0);
    EXPECT_FALSE(m_session->TransferFileOpen());
    EXPECT_EQ(m_session->SessionState, 0);
    EXPECT_TRUE(m_op.ShownIn("Disconnected from device.\n", kRed));
    EXPECT_TRUE(m_op.HasWizard(kWizardDisconnected));
    EXPECT_FALSE(m_sim->Uploads().empty() && m_sim->Uploads().back().stored);
}

}  // namespace
}  // namespace vorn::test

namespace vorn::test {
namespace {

// While an upload streams, the event loop keeps running (timers of the program fire), but no
// message reaches the session until the upload has ended.
class PumpWatchingOperator : public RecordingOperator {
public:
    std::function<void()> onFirstProgress;
    void ReplaceProgress(const std::string& text, std::uint32_t colour) override {
        if (onFirstProgress) {
            auto f = std::move(onFirstProgress);
            onFirstProgress = nullptr;
            f();
        }
        RecordingOperator::ReplaceProgress(text, colour);
    }
};

class TimerSession : public TestSession {
public:
    using TestSession::TestSession;
    int timerCalls = 0;
    bool timerDuringTransfer = false;

protected:
    void OnTimer(std::uint32_t id) override {
        if (id == 99) {
            ++timerCalls;
            timerDuringTransfer = timerDuringTransfer || Transferring();
        }
    }
};

TEST(SessionPump, MessagesForTheSessionWaitUntilPutFileReturns) {
    QTemporaryDir dir;
    const fs::path root = fs::path(dir.path().toStdString());
    SetProgramFolderForTests(root / "prog");
    fs::create_directories(root / "prog");
    GatewaySimConfig cfg;
    cfg.root = root / "sim";
    CGatewaySim sim(cfg);
    ASSERT_TRUE(sim.Start());
    PumpWatchingOperator op;
    TimerSession session(&op);
    ASSERT_TRUE(session.ConnectGateway("127.0.0.1", "admin", sim.Port()));
    ASSERT_TRUE(waitFor([&] { return session.Connected && session.SessionState == 0; }));

    bool pumpedDuringTransfer = false;
    op.onFirstProgress = [&] {
        session.Target()->post(WM_TIMER_EXPIRED, 99, 0);
        QTimer::singleShot(0, [&] { pumpedDuringTransfer = session.Transferring(); });
    };
    UploadProcedure up(&session);
    session.RegisterProcedure(9, &up);
    const fs::path local = root / "big";
    {
        std::ofstream out(local, std::ios::binary);
        out << std::string(8 << 20, 'q');
    }
    up.Start(local, "/stmp/big");
    ASSERT_TRUE(waitFor([&] { return up.ended && session.SessionState == 0; }, 30000));
    ASSERT_TRUE(waitFor([&] { return session.timerCalls == 1; }));
    EXPECT_FALSE(session.timerDuringTransfer);
    EXPECT_TRUE(pumpedDuringTransfer);
    EXPECT_EQ(up.finalResult, 0);
    session.RegisterProcedure(9, nullptr);
    sim.Stop();
    SetProgramFolderForTests({});
}

// A disconnect from the event loop while an upload streams stops the upload cleanly.
TEST(SessionPump, DisconnectDuringPutFileStopsTheUpload) {
    QTemporaryDir dir;
    const fs::path root = fs::path(dir.path().toStdString());
    SetProgramFolderForTests(root / "prog");
    fs::create_directories(root / "prog");
    GatewaySimConfig cfg;
    cfg.root = root / "sim";
    CGatewaySim sim(cfg);
    ASSERT_TRUE(sim.Start());
    PumpWatchingOperator op;
    TestSession session(&op);
    ASSERT_TRUE(session.ConnectGateway("127.0.0.1", "admin", sim.Port()));
    ASSERT_TRUE(waitFor([&] { return session.Connected && session.SessionState == 0; }));
    op.onFirstProgress = [&] { QTimer::singleShot(0, [&] { session.Disconnect(); }); };
    UploadProcedure up(&session);
    session.RegisterProcedure(9, &up);
    const fs::path local = root / "big";
    {
        std::ofstream out(local, std::ios::binary);
        out << std::string(8 << 20, 'q');
    }
    up.Start(local, "/stmp/big");
    ASSERT_TRUE(waitFor([&] { return up.ended; }, 30000));
    EXPECT_EQ(up.putFileResult, 0);
    EXPECT_FALSE(session.TransferFileOpen());
    EXPECT_FALSE(session.Connected);
    EXPECT_EQ(session.SessionState, 0);
    session.RegisterProcedure(9, nullptr);
    sim.Stop();
    SetProgramFolderForTests({});
}

}  // namespace
}  // namespace vorn::test
