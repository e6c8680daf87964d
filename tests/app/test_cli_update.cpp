// The update and configuration commands of vornupdater, in-process against the simulator.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>

#include <QTemporaryDir>
#include <QThread>

#include <filesystem>
#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

#include "app/cli/Cli.h"
#include "lib/StringTable.h"
#include "packages/BackupFile.h"
#include "packages/ZipBridgeLoader.h"
#include "platform/ProgramFolder.h"
#include "tests/common/UpdateSupport.h"
#include "tools/gateway-sim/CGatewaySim.h"
#include "tools/gateway-sim/SimScripts.h"

namespace vorn::cli {
namespace {

namespace fs = std::filesystem;

void Write(const fs::path& p, const std::string& data) {
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << data;
}

std::string Read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class CliUpdate : public ::testing::Test {
protected:
    void SetUp() override {
        SetLanguage(Language::English);
        SetProgramFolderForTests(Dir() / "prog");
        test::InstallHelperScripts(Dir() / "prog", VORN_SOURCE_DIR);
        Write(Dir() / "pw", "admin\n");
        ::unsetenv("VORN_PASSWORD");
        std::string error;
        ASSERT_TRUE(LoadZipBridge(error, VORN_ZIPBRIDGE_PATH)) << error;
        GatewaySimConfig cfg;
        cfg.root = Dir() / "root";
        cfg.rebootRefuseMs = 500;
        m_sim = std::make_unique<CGatewaySim>(cfg);
        AddScriptCommands(*m_sim);
        ASSERT_TRUE(m_sim->Start()) << m_sim->LastError();
    }
    void TearDown() override {
        m_sim->Stop();
        SetProgramFolderForTests({});
    }
    fs::path Dir() const { return m_dir.path().toStdString(); }

    int Run(std::vector<std::string> line, bool withGateway = true) {
        if (withGateway) {
            line.insert(line.end(), {"-g", "127.0.0.1:" + std::to_string(m_sim->Port()),
                                     "--password-file", (Dir() / "pw").string()});
        }
        m_out.str("");
        m_err.str("");
        CliEnvironment env{m_out, m_err, m_terminal, false};
        return RunCli(line, env);
    }
    std::string Package(const std::string& name, std::map<std::string, std::string> extra = {}) {
        return test::BuildSinglePackage(Dir(), name, extra);
    }
    bool SimReceived(const std::string& text) const { return test::SimReceived(*m_sim, text); }

    QTemporaryDir m_dir;
    std::unique_ptr<CGatewaySim> m_sim;
    std::ostringstream m_out, m_err;
    CNoTerminal m_terminal;
};

TEST_F(CliUpdate, UpdateWithVerifySeesTheNewVersion) {
    EXPECT_EQ(Run({"update", Package("v301.ssu"), "--yes", "--verify", "--reboot-timeout", "20"}),
              0)
        << m_out.str() << m_err.str();
    const std::string out = m_out.str();
    EXPECT_NE(out.find("From version: KELMORA GW V300R001"), std::string::npos) << out;
    EXPECT_NE(out.find("To version:   KELMORA GW V301"), std::string::npos);
    EXPECT_NE(out.find("[Update succeeded]"), std::string::npos);
    EXPECT_NE(out.find("Verified: the gateway now reports version KELMORA GW V301\n"),
              std::string::npos)
        << out;
    EXPECT_EQ(m_sim->RebootCount(), 1);
}

TEST_F(CliUpdate, VerifyMismatchFails) {
    EXPECT_EQ(Run({"update", Package("same.ssu", {{"app1", "no version marker"}}), "--yes",
                   "--verify", "--reboot-timeout", "20"}),
              1);
    EXPECT_NE(m_out.str().find("after the update the gateway reports version 'KELMORA GW "
                               "V300R001', expected 'KELMORA GW V301'"),
              std::string::npos)
        << m_out.str();
}

TEST_F(CliUpdate, NoConfirmationNoUpdate) {
    EXPECT_EQ(Run({"update", Package("p.ssu")}), 1);  // no --yes, no terminal: No
    EXPECT_FALSE(SimReceived("put\nfile:/etc/vorncmd/apppre\n"));
    EXPECT_NE(m_out.str().find("[Update cancelled]"), std::string::npos) << m_out.str();
}

TEST_F(CliUpdate, PreCheckFailureStopsBeforeTheUpdate) {
    const std::string pkg = Package("bad.ssu", {{"apppre", "#sim: fail wrong hardware\n"}});
    EXPECT_EQ(Run({"update", pkg, "--yes", "--pre-check"}), 1);
    EXPECT_NE(m_out.str().find("[check] Pre-upgrade check failed:wrong hardware"),
              std::string::npos)
        << m_out.str();
    EXPECT_FALSE(SimReceived("put\nfile:/stmp/app\n"));
    EXPECT_EQ(m_sim->RebootCount(), 0);

    EXPECT_EQ(Run({"check", pkg}), 1);
    EXPECT_EQ(Run({"check", Package("good.ssu")}), 0) << m_out.str();
    EXPECT_NE(m_out.str().find("Check successful."), std::string::npos);
    EXPECT_EQ(Run({"update", Package("good2.ssu"), "--yes", "--pre-check"}), 0) << m_out.str();
}

TEST_F(CliUpdate, BackupRestoreAndFactoryReset) {
    Write(m_sim->LocalPath("/config/cfg"), "hostname=mine\n");
    const fs::path bcf = Dir() / "saved.bcf";
    ASSERT_EQ(Run({"backup", "-o", bcf.string()}), 0) << m_out.str();
    std::string saved;
    ASSERT_TRUE(VerifyBackupFile(bcf.string(), saved));
    EXPECT_EQ(saved, "KELMORA GW V300R001");

    Write(m_sim->LocalPath("/config/cfg"), "hostname=changed\n");
    EXPECT_EQ(Run({"restore", bcf.string()}), 1);  // not confirmed
    EXPECT_EQ(Read(m_sim->LocalPath("/config/cfg")), "hostname=changed\n");
    ASSERT_EQ(Run({"restore", bcf.string(), "--yes"}), 0) << m_out.str();
    EXPECT_EQ(Read(m_sim->LocalPath("/config/cfg")), "hostname=mine\n");

    // The gateway restarts: connects are refused (status 3) until it is back.
    const std::string fac = Package("fac.ssu");
    int rc = kExitConnect;
    for (int i = 0; i < 50 && rc == kExitConnect; ++i) {
        QThread::msleep(100);
        rc = Run({"factory-reset", fac, "--yes"});
    }
    ASSERT_EQ(rc, 0) << m_out.str();
    EXPECT_EQ(Read(m_sim->LocalPath("/config/cfg")), "hostname=factory\n");
}

// The day's default name is never reused: the second backup of the day gets a counter and the
// first stays as it was.
TEST_F(CliUpdate, SecondBackupOfTheDayKeepsTheFirst) {
    const fs::path here = Dir() / "here";
    fs::create_directories(here);
    const fs::path before = fs::current_path();
    fs::current_path(here);
    Write(m_sim->LocalPath("/config/cfg"), "hostname=first\n");
    const int first = Run({"backup"});
    Write(m_sim->LocalPath("/config/cfg"), "hostname=second\n");
    const int second = Run({"backup"});
    fs::current_path(before);
    ASSERT_EQ(first, 0);
    ASSERT_EQ(second, 0) << m_out.str();
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(here)) names.push_back(e.path().filename());
    ASSERT_EQ(names.size(), 2u);
    // The shorter is the day's name, the other the same with "-2".
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return a.size() < b.size(); });
    const std::string base = fs::path(names[0]).stem().string();
    EXPECT_EQ(names[1], base + "-2.bcf");
    EXPECT_EQ(names[0].rfind("kelmora_", 0), 0u) << names[0];
    for (const auto& [name, host] :
         {std::pair{names[0], "hostname=first\n"}, std::pair{names[1], "hostname=second\n"}}) {
        std::string saved;
        ASSERT_TRUE(VerifyBackupFile((here / name).string(), saved)) << name;
        EXPECT_EQ(Read(Dir() / "prog" / "tmp" / "cfgbk"), std::string("#sim cfgbk\n") + host);
    }
}

// A backup that cannot be written fails, however much an older file of that name looks like
// success; the older file stays as it was.
TEST_F(CliUpdate, BackupThatCannotBeWrittenFailsAndKeepsTheEarlierFile) {
    std::string cfg;
    std::uint32_t x = 7;
    for (int i = 0; i < 60000; ++i) {
        x = x * 1103515245u + 12345u;
        cfg.push_back(static_cast<char>(x >> 24));  // incompressible
    }
    Write(m_sim->LocalPath("/config/cfg"), cfg);
    const fs::path target = Dir() / "saved.bcf";
    Write(target, "earlier backup");
    // The gateway's image and its download fit under the limit; the archive does not.
    const rlim_t limit = cfg.size() + 200;
    struct sigaction ignore {}, old {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGXFSZ, &ignore, &old);
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    rlimit r = saved;
    r.rlim_cur = limit;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &r), 0);
    const int rc = Run({"backup", "-o", target.string()});
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::sigaction(SIGXFSZ, &old, nullptr);
    EXPECT_EQ(rc, kExitFailed) << m_out.str();
    EXPECT_EQ(Read(target), "earlier backup");
    EXPECT_NE(m_out.str().find("The backup file could not be written: "), std::string::npos)
        << m_out.str();
    EXPECT_NE(m_out.str().find("File too large"), std::string::npos) << m_out.str();
    EXPECT_EQ(m_out.str().find("Back up configurations successfully!"), std::string::npos);
    for (const auto& e : fs::directory_iterator(Dir())) {
        EXPECT_EQ(e.path().filename().string().rfind(".zbnew", 0), std::string::npos) << e.path();
    }
    EXPECT_FALSE(fs::exists(Dir() / "prog" / "tmp" / "cfgbk"));
}

TEST_F(CliUpdate, HistoryOfGatewayAndWorkstation) {
    Write(m_sim->LocalPath("/updhistory"), "update time: then\npackage name: old.ssu\n\n");
    EXPECT_EQ(Run({"history"}), 0);
    EXPECT_NE(m_out.str().find("package name: old.ssu"), std::string::npos) << m_out.str();

    EXPECT_EQ(Run({"history", "--local"}, false), 0);
    EXPECT_NE(m_out.str().find("No update history!"), std::string::npos);
    Write(Dir() / "prog/updhistory/localhistory",
          "26.12.10 04:05:06, updated gateway: 1.2.3.4, package: a.ssu\n");
    EXPECT_EQ(Run({"history", "--local"}, false), 0);
    EXPECT_NE(m_out.str().find("package: a.ssu"), std::string::npos);
    EXPECT_EQ(Run({"history", "--delete-local"}, false), 0);  // not confirmed: kept
    EXPECT_TRUE(fs::exists(Dir() / "prog/updhistory/localhistory"));
    EXPECT_EQ(Run({"history", "--delete-local", "--yes"}, false), 0);
    EXPECT_FALSE(fs::exists(Dir() / "prog/updhistory/localhistory"));
    EXPECT_EQ(Run({"history"}, false), 2);  // neither a gateway nor --local
}

}  // namespace
}  // namespace vorn::cli
