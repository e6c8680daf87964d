// The real programs: vornupdater against a gateway-sim process.
#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>

#include <fstream>

#include "tests/common/TempProgramFolder.h"

namespace {

TEST(CliProgram, ConnectToASimulatorProcess) {
    QTemporaryDir dir;
    QProcess sim;
    sim.start(VORN_GATEWAY_SIM_PROGRAM, {"--root", dir.filePath("root"), "--port", "0"});
    ASSERT_TRUE(sim.waitForStarted());
    QByteArray banner;
    while (!banner.contains('\n') && sim.waitForReadyRead(5000))
        banner += sim.readAllStandardOutput();
    const int colon = banner.lastIndexOf(':');
    ASSERT_GT(colon, 0) << banner.toStdString();
    const QString port = QString::fromLatin1(banner.mid(colon + 1).trimmed());
    std::ofstream(dir.filePath("pw").toStdString()) << "admin\n";

    vorn::test::TempProgramFolder home;  // an installation folder that passes the start-up checks
    QProcess cli;
    QProcessEnvironment env = home.Environment();
    env.insert("VORN_NO_TTY", "1");
    env.remove("VORN_PASSWORD");
    cli.setProcessEnvironment(env);
    cli.start(VORN_UPDATER_PROGRAM,
              {"connect", "-g", "127.0.0.1:" + port, "--password-file", dir.filePath("pw")});
    ASSERT_TRUE(cli.waitForFinished(30000));
    const std::string out = cli.readAllStandardOutput().toStdString();
    EXPECT_EQ(cli.exitCode(), 0) << out << cli.readAllStandardError().toStdString();
    EXPECT_NE(out.find("KELMORA GW V300R001"), std::string::npos) << out;
    EXPECT_EQ(out.find('\033'), std::string::npos);  // stdout is a pipe: no colour codes

    cli.start(VORN_UPDATER_PROGRAM, {"connect", "-g", "127.0.0.1:" + port});  // no password
    ASSERT_TRUE(cli.waitForFinished(30000));
    EXPECT_EQ(cli.exitCode(), 2);

    // An installation without its "openssl" folder is refused before the command runs.
    vorn::test::TempProgramFolder broken(false);
    QProcessEnvironment brokenEnv = broken.Environment();
    brokenEnv.insert("VORN_NO_TTY", "1");
    cli.setProcessEnvironment(brokenEnv);
    cli.start(VORN_UPDATER_PROGRAM,
              {"connect", "-g", "127.0.0.1:" + port, "--password-file", dir.filePath("pw")});
    ASSERT_TRUE(cli.waitForFinished(30000));
    EXPECT_EQ(cli.exitCode(), 4);
    EXPECT_EQ(sim.state(), QProcess::Running);

    sim.terminate();
    sim.waitForFinished(5000);
}

}  // namespace
