// Start-up checks, run in-process and through the real vornupdater program (VORN_HOME).
#include <gtest/gtest.h>

#include <QProcess>

#include <filesystem>

#include "app/Startup.h"
#include "lib/Log.h"
#include "lib/StringTable.h"
#include "tests/common/FileText.h"
#include "tests/common/TempProgramFolder.h"

namespace vorn {
namespace {

namespace fs = std::filesystem;

const char kSecondInstance[] = "A directory can have only one program instance run at a time!";

struct ProgramRun {
    int exitCode = -1;
    std::string err;
};

// Runs the installed program with `folder` as its program folder. The default argument is no
// command at all: the start-up checks run, then the program stops with its usage error and
// never touches the network.
ProgramRun RunProgram(const test::TempProgramFolder& folder,
                      const QStringList& args = {"--no-such-command"}) {
    QProcess p;
    p.setProcessEnvironment(folder.Environment());
    p.start(QString::fromStdString((test::DistStartupFolder() / "vornupdater").string()), args);
    EXPECT_TRUE(p.waitForFinished(30000));
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            p.readAllStandardError().toStdString()};
}

class StartupTest : public ::testing::Test {
protected:
    void SetUp() override { SetLanguage(Language::English); }
};

TEST_F(StartupTest, SecondInstanceInTheSameFolderIsRefused) {
    test::TempProgramFolder a;
    test::TempProgramFolder b;
    SetProgramFolderForTests(a.path());
    {
        CStartup first;  // this test process is the first instance in folder a
        ASSERT_TRUE(first.Run().ok());
        ASSERT_TRUE(fs::exists(a / kLockFileName));

        ProgramRun second = RunProgram(a);
        EXPECT_EQ(second.exitCode, 4);
        EXPECT_EQ(second.err, std::string(kSecondInstance) + "\n");
        // The first instance keeps its lock and its file.
        EXPECT_TRUE(fs::exists(a / kLockFileName));
        EXPECT_EQ(RunProgram(a).exitCode, 4);

        // Another folder runs, and removes its lock file on a clean exit.
        ProgramRun other = RunProgram(b);
        EXPECT_NE(other.exitCode, 4) << other.err;
        EXPECT_EQ(other.err.find(kSecondInstance), std::string::npos);
        EXPECT_FALSE(fs::exists(b / kLockFileName));
    }
    EXPECT_FALSE(fs::exists(a / kLockFileName));
    ProgramRun afterwards = RunProgram(a);
    EXPECT_NE(afterwards.exitCode, 4) << afterwards.err;
}

TEST_F(StartupTest, RefusalsInTheirOrder) {
    struct Case {
        const char* name;
        void (*prepare)(const fs::path& home);
        const char* text;
    } cases[] = {
        {"damaged options file",
         [](const fs::path& home) {
             test::WriteFile(home / "updaterconf.ini",
                             "[OPTION_NETWORK_CONFIG]\nHONGKONG_SERVER=1\n");
             fs::remove(home / "openssl" / "libeay32.dll");  // the options file is checked first
         },
         "Configuration file may be damaged. For more help, please contact TOLBANE technical "
         "support. Tel: 4001234567."},
        {"missing openssl file",
         [](const fs::path& home) { fs::remove(home / "openssl" / "ssleay32.dll"); },
         "The Client Updater program is damaged. Please download again."},
        {"openssl name is a folder",
         [](const fs::path& home) {
             fs::remove(home / "openssl" / "openssl.exe");
             fs::create_directory(home / "openssl" / "openssl.exe");
         },
         "The Client Updater program is damaged. Please download again."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempProgramFolder home;
        c.prepare(home.path());
        ProgramRun r = RunProgram(home);
        EXPECT_EQ(r.exitCode, 4);
        EXPECT_EQ(r.err, std::string(c.text) + "\n");
        EXPECT_FALSE(fs::exists(home / kLockFileName));
    }
}

TEST_F(StartupTest, EmptyOpensslFolderIsRemoved) {
    test::TempProgramFolder home(false);
    ProgramRun r = RunProgram(home);
    EXPECT_EQ(r.exitCode, 4);
    EXPECT_EQ(r.err, "The Client Updater program is damaged. Please download again.\n");
    EXPECT_FALSE(fs::exists(home / "openssl"));
}

TEST_F(StartupTest, LongProgramPathIsRefused) {
    // The program's path as seen from its program folder: folder + "/vornupdater".
    test::TempProgramFolder base(false);
    fs::path deep = base.path() / std::string(130 - base.path().string().size(), 'd');
    fs::create_directories(deep);
    test::TempProgramFolder home(true, QString::fromStdString((deep / "XXXXXX").string()));
    ASSERT_TRUE(home.valid());
    ASSERT_GT((home / "vornupdater").string().size(), kMaxProgramPath);
    ProgramRun r = RunProgram(home);
    EXPECT_EQ(r.exitCode, 4);
    EXPECT_EQ(r.err, "Path of the program is too long.\n");
}

TEST_F(StartupTest, LogFailureStopsBeforeTheLock) {
    test::TempProgramFolder home;
    test::WriteFile(home / "log", "not a folder");
    ProgramRun r = RunProgram(home);
    EXPECT_EQ(r.exitCode, 4);
    EXPECT_EQ(r.err.rfind("Failed to open kelmora log file: ", 0), 0u) << r.err;
    EXPECT_FALSE(fs::exists(home / kLockFileName));
}

TEST_F(StartupTest, HelpRunsWithoutStartUp) {
    test::TempProgramFolder home(false);
    ProgramRun r = RunProgram(home, {"--help"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_FALSE(fs::exists(home / "log"));
}

TEST_F(StartupTest, InstallationFolderHasTheProgramAndTheOpensslNames) {
    fs::path dist = test::DistStartupFolder();
    EXPECT_TRUE(fs::is_regular_file(dist / "vornupdater"));
    for (const char* name : kOpensslFiles) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(fs::is_regular_file(dist / "openssl" / name));
    }
    QProcess p;
    p.start(QString::fromStdString((dist / "openssl" / "openssl.exe").string()), {"version"});
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 0);
    EXPECT_TRUE(p.readAllStandardOutput().startsWith("OpenSSL"));
}

TEST_F(StartupTest, InProcessRunWritesTheLogAndReleasesEverything) {
    test::TempProgramFolder home;
    {
        CStartup s;
        StartupResult r = s.Run();
        ASSERT_TRUE(r.ok()) << r.message;
        EXPECT_TRUE(IsLogOpen());
        LogWrite("hello", kLogInfo);
    }
    EXPECT_FALSE(IsLogOpen());
    EXPECT_FALSE(fs::exists(home / kLockFileName));
    std::string log = test::ReadFile(home / "log" / "kelmora.log");
    EXPECT_NE(log.find("]:[INFO]   hello\n"), std::string::npos) << log;
}

}  // namespace
}  // namespace vorn
