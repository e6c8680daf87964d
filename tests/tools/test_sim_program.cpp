// The gateway-sim program: options, the "listening on" line, stopping on SIGTERM.
#include <QProcess>
#include <QRegularExpression>

#include "tests/tools/SimFixture.h"

namespace vorn::test {
namespace {

using SimProgram = SimFixture;

TEST_F(SimProgram, ServesUntilTerminated) {
    WriteLocal(Dir() / "pw", "from-file\nignored\n");
    const auto transcript = Dir() / "t.jsonl";
    QProcess proc;
    proc.start(VORN_GATEWAY_SIM_PROGRAM,
               {"--root", QString::fromStdString(RootDir().string()), "--port", "0",
                "--password-file", QString::fromStdString((Dir() / "pw").string()),
                "--old-login", "--version-text", "V1\\nsecond line", "--transcript",
                QString::fromStdString(transcript.string())});
    ASSERT_TRUE(proc.waitForStarted());
    ASSERT_TRUE(proc.waitForReadyRead(10000));
    const QString line = QString::fromLocal8Bit(proc.readLine()).trimmed();
    const auto match = QRegularExpression("^listening on 127\\.0\\.0\\.1:(\\d+)$").match(line);
    ASSERT_TRUE(match.hasMatch()) << line.toStdString();

    SimClient client;
    ASSERT_TRUE(client.Connect(static_cast<std::uint16_t>(match.captured(1).toUInt())));
    EXPECT_EQ(client.Ask("login\npasswd:from-file\nflage:HandleVersion\n"), "result:0\n");
    EXPECT_EQ(ReadLocal(RootDir() / "app/appversion"), "V1\nsecond line");
    client.Close();

    proc.terminate();
    ASSERT_TRUE(proc.waitForFinished(10000));
    EXPECT_EQ(proc.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(proc.exitCode(), 0);
    EXPECT_EQ(ReadLocal(transcript),
              "{\"seq\":1,\"type\":\"text\",\"text\":"
              "\"login\\npasswd:from-file\\nflage:HandleVersion\\n\"}\n");
}

TEST_F(SimProgram, RejectsBadArguments) {
    const QString root = QString::fromStdString(RootDir().string());
    for (const QStringList& args :
         {QStringList{"--port", "70000", "--root", root}, QStringList{"--port", "0"},
          QStringList{"--root", root, "--bogus"}, QStringList{"--root", root, "--listen", "nohost"},
          QStringList{"--root", root, "--port"}}) {
        QProcess proc;
        proc.start(VORN_GATEWAY_SIM_PROGRAM, args);
        ASSERT_TRUE(proc.waitForFinished(10000)) << args.join(' ').toStdString();
        EXPECT_EQ(proc.exitCode(), 2) << args.join(' ').toStdString();
        EXPECT_TRUE(proc.readAllStandardError().startsWith("gateway-sim: "));
    }
}

}  // namespace
}  // namespace vorn::test
