// The technical support console's procedures against the simulator.
#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QTemporaryDir>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "packages/Md5.h"
#include "lib/StringTable.h"
#include "operations/CMainFrame.h"
#include "platform/ProgramFolder.h"
#include "tests/common/GatewayChain.h"
#include "tests/common/RecordingOperator.h"
#include "tests/common/WaitFor.h"
#include "tools/gateway-sim/CGatewaySim.h"

namespace vorn::test {
namespace {

namespace fs = std::filesystem;

std::string QtMd5(const std::string& s) {
    return QCryptographicHash::hash(QByteArray::fromStdString(s), QCryptographicHash::Md5)
        .toHex()
        .toStdString();
}

TEST(ConsoleText, Md5HexMatchesAnIndependentImplementation) {
    for (const std::string& s : std::vector<std::string>{"", "a", "letmein", std::string(1000, 'x'),
                                                         std::string("\0\xff", 2)})
        EXPECT_EQ(Md5Hex(s), QtMd5(s));
}

TEST(ConsoleText, Utf8RuleOfGatewayOutput) {
    struct Case {
        std::string bytes;
        bool utf8;
    } cases[] = {
        {"plain ascii\n", false},            // nothing to convert
        {"caf\xc3\xa9\n", true},             // two-byte sequence
        {"\xe4\xb8\xad\xe6\x96\x87", true},  // three-byte sequences
        {"\xf0\x9f\x98\x80", true},          // four bytes
        {"\xf8\x88\x80\x80\x80", true},      // five bytes, allowed by the rule
        {"caf\xe9 latin-1", false},          // lead byte without continuation
        {"\xc3", false},                     // cut off at the end
        {"\x80 stray continuation", false},
        {"\xfe\xff", false},  // not a lead byte
    };
    for (const Case& c : cases) EXPECT_EQ(IsGatewayUtf8(c.bytes), c.utf8) << c.bytes;
    EXPECT_EQ(ConsoleTextFromGateway("caf\xc3\xa9"), "caf\xc3\xa9");
    EXPECT_EQ(ConsoleTextFromGateway("caf\xe9"), "caf\xe9");  // kept as it is
}

class Console : public ::testing::Test {
protected:
    void SetUp() override {
        m_sim = StartGatewaySim(m_folders.SimRoot(), {}, 3000);
        ASSERT_TRUE(m_sim);
        m_frame = std::make_unique<CMainFrame>(&m_op, QtMd5("letmein"));
        ASSERT_TRUE(LoginSession(*m_frame, *m_sim));
        ASSERT_TRUE(m_frame->Connected);
    }
    void TearDown() override {
        m_frame.reset();
        if (m_sim)
            m_sim->Stop();
    }
    fs::path Dir() const { return m_folders.Dir(); }
    bool Idle() {
        return waitFor([&] { return m_frame->SessionState == 0; });
    }
    static std::string Read(const fs::path& p) { return ReadLocal(p); }

    CTestFolders m_folders;
    RecordingOperator m_op;
    std::unique_ptr<CGatewaySim> m_sim;
    std::unique_ptr<CMainFrame> m_frame;
};

TEST_F(Console, PasswordIsCheckedAgainstTheGivenDigest) {
    m_op.typed = {"wrong", "letmein"};
    EXPECT_FALSE(m_frame->CommandConsole());
    EXPECT_TRUE(m_op.ShownIn("Invalid password!\n", kRed));
    EXPECT_FALSE(m_frame->ConsoleUnlocked());
    EXPECT_TRUE(m_frame->CommandConsole());
    EXPECT_TRUE(m_frame->ConsoleUnlocked());
    EXPECT_TRUE(m_frame->CommandConsole());  // no second question in the same run
    EXPECT_TRUE(m_op.typed.empty());
    EXPECT_STREQ(kConsolePasswordDigest, "3f0c9b27d41e86a5c2b07f9e1d4a6c38");
}

TEST_F(Console, CommandOutputIsFetchedFromTheResultFileAndShown) {
    m_sim->AddCommand("uname", [](const SimCommandRequest&, const CSimFileSystem&) {
        SimCommandReply r;
        r.resultText = "Linux gw 4.9 caf\xc3\xa9\n";
        return r;
    });
    ASSERT_TRUE(m_frame->RunConsoleCommand("uname -a", true));
    EXPECT_EQ(m_frame->SessionState, kStateConsoleCommand);
    ASSERT_TRUE(Idle());
    EXPECT_TRUE(m_op.ShownIn("exec: uname -a\n", kBlack));
    EXPECT_TRUE(m_op.ShownIn("Execute command successfully!\n", kBlue));
    EXPECT_TRUE(m_op.ShownIn("Linux gw 4.9 caf\xc3\xa9\n\n", kBlack));
    EXPECT_TRUE(m_frame->LastConsoleOk());
    EXPECT_FALSE(m_frame->TransferFileOpen());
}

TEST_F(Console, FailedCommandStillShowsItsOutput) {
    m_sim->AddCommand("false", [](const SimCommandRequest&, const CSimFileSystem&) {
        SimCommandReply r;
        r.result = 1;
        r.resultText = "went wrong\n";
        return r;
    });
    ASSERT_TRUE(m_frame->RunConsoleCommand("false", false));
    ASSERT_TRUE(Idle());
    EXPECT_TRUE(m_op.ShownIn("Failed to execute command.\n", kRed));
    EXPECT_TRUE(m_op.Shown("went wrong\n"));
    EXPECT_FALSE(m_frame->LastConsoleOk());
}

TEST_F(Console, MissingResultFileAndBusyLink) {
    m_sim->AddCommand(
        "true", [](const SimCommandRequest&, const CSimFileSystem&) { return SimCommandReply{}; });
    ASSERT_TRUE(m_frame->RunConsoleCommand("true", false));
    EXPECT_FALSE(m_frame->RunConsoleCommand("true", false));  // one procedure at a time
    EXPECT_TRUE(m_op.ShownIn("An operation is in process. Please wait...\n", kRed));
    ASSERT_TRUE(Idle());
    EXPECT_TRUE(m_op.ShownIn("Failed to obtain result!\n", kRed));
    EXPECT_FALSE(m_frame->LastConsoleOk());
}

TEST_F(Console, UploadAndDownloadAUserFile) {
    const fs::path local = Dir() / "payload.bin";
    std::string data(300000, '\0');
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7);
    std::ofstream(local, std::ios::binary) << data;

    m_op.openFile = local.string();
    ASSERT_TRUE(m_frame->ConsoleUpload("/stmp/payload.bin"));
    ASSERT_TRUE(Idle());
    EXPECT_TRUE(m_op.Shown("Uploading file...\n"));
    EXPECT_TRUE(m_op.ShownIn("Upload file successfully!\n", kBlue));
    EXPECT_EQ(QtMd5(Read(m_sim->LocalPath("/stmp/payload.bin"))), QtMd5(data));

    const fs::path back = Dir() / "back.bin";
    m_op.saveFile = back.string();
    ASSERT_TRUE(m_frame->ConsoleDownload("/stmp/payload.bin"));
    ASSERT_TRUE(Idle());
    EXPECT_TRUE(m_op.Shown("Downloading file...\n"));
    EXPECT_TRUE(m_op.ShownIn("Download file successfully!\n", kBlue));
    EXPECT_EQ(QtMd5(Read(back)), QtMd5(data));
    EXPECT_TRUE(m_frame->LastConsoleOk());
}

TEST_F(Console, SecondCommandDuringAnUploadIsRefusedWhileTheUploadGoesOn) {
    const fs::path local = Dir() / "big.bin";
    std::string data(4 << 20, '\0');
    std::uint32_t x = 12345;
    for (char& c : data) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 24);
    }
    std::ofstream(local, std::ios::binary) << data;
    const auto refusals = [&] {
        int n = 0;
        for (const auto& line : m_op.console)
            n += line.text == LoadStr(6553) && line.colour == kRed;
        return n;
    };

    m_op.openFile = local.string();
    ASSERT_TRUE(m_frame->ConsoleUpload("/stmp/big.bin"));
    // The event loop runs while the file streams; part of it is out, not all.
    ASSERT_TRUE(waitFor([&] { return m_op.progress.size() >= 3; }, 30000));
    ASSERT_TRUE(m_frame->Transferring());
    ASSERT_EQ(refusals(), 0);
    EXPECT_FALSE(m_frame->RunConsoleCommand("true", true));
    EXPECT_FALSE(m_frame->ConsoleDownload("/stmp/other"));
    EXPECT_FALSE(m_frame->BackupConfig());
    EXPECT_EQ(refusals(), 3);
    EXPECT_TRUE(m_frame->Transferring());

    ASSERT_TRUE(waitFor([&] { return m_frame->SessionState == 0; }, 60000));
    EXPECT_TRUE(m_op.ShownIn("Upload file successfully!\n", kBlue));
    EXPECT_TRUE(m_frame->LastConsoleOk());
    EXPECT_EQ(m_op.progress.back().text, "100%");
    EXPECT_EQ(QtMd5(Read(m_sim->LocalPath("/stmp/big.bin"))), QtMd5(data));
    // Nothing of the refused commands reached the gateway: the put, the file, the putover.
    std::vector<std::string> sent;
    for (const auto& e : m_sim->Transcript()) {
        if (!e.binary)
            sent.push_back(e.text);
    }
    ASSERT_GE(sent.size(), 2u);
    EXPECT_EQ(sent[sent.size() - 2], "put\nfile:/stmp/big.bin\n");
    EXPECT_EQ(sent.back(), "putover\n");
}

TEST_F(Console, TransferRefusalsAndFailures) {
    // A proposed name a file dialog cannot hold.
    EXPECT_FALSE(m_frame->ConsoleDownload("/tmp/a:b"));
    EXPECT_TRUE(m_op.ShownIn("File name cannot contain any of the following characters", kRed));
    // Cancelled file choice.
    EXPECT_FALSE(m_frame->ConsoleUpload("/stmp/x"));
    EXPECT_TRUE(m_op.Shown("You have stopped the operation!\n"));
    // The gateway refuses the get.
    m_op.saveFile = (Dir() / "none").string();
    ASSERT_TRUE(m_frame->ConsoleDownload("/no/such/file"));
    ASSERT_TRUE(Idle());
    EXPECT_TRUE(m_op.ShownIn("Failed to download file.\n", kRed));
    EXPECT_FALSE(m_frame->LastConsoleOk());
    EXPECT_TRUE(m_frame->Connected);
}

}  // namespace
}  // namespace vorn::test
