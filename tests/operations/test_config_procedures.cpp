// Configuration backup, restore and factory defaults against the simulator, and the local
// update history.
#include "tests/operations/GatewayFixture.h"

#include <chrono>

#include "lib/Clock.h"
#include "operations/RemotePaths.h"
#include "packages/BackupFile.h"

namespace vorn::test {
namespace {

class ConfigProcedures : public GatewayFixture {
protected:
    std::string Helper(const std::string& name) const { return ReadAll(Prog() / "bin" / name); }
    bool Idle() {
        return waitFor([&] { return m_frame->SessionState == 0; }, 10000);
    }
    // A backup file as the backup procedure writes it.
    std::string MakeBackup(const std::string& version, const std::string& image) {
        const fs::path folder = Dir() / "bcf.d";
        fs::remove_all(folder);
        WriteAll(folder / "cfgversion", version + "\n");
        WriteAll(folder / "cfgbk", image);
        const std::string out = (Dir() / "saved.bcf").string();
        std::string error;
        EXPECT_TRUE(BuildPackage(folder.string(), out, "", error)) << error;
        return out;
    }
};

TEST_F(ConfigProcedures, BackupUploadsBakcfgshWhenTheGatewayLacksIt) {
    StartAndLogin();
    WriteAll(m_sim->LocalPath("/config/cfg"), "hostname=gw-7\n");
    m_op.saveFile = (Dir() / "mine.bcf").string();
    ASSERT_TRUE(m_frame->BackupConfig());
    ASSERT_TRUE(Idle());
    EXPECT_EQ(
        Sent(),
        Seq({{Exec("ls /usr/sbin/bakcfgsh")},
             Upload("/etc/vorncmd/bakcfgsh", Helper("bakcfgsh")),
             {Exec("/etc/vorncmd/bakcfgsh"), Get("/stmp/cfgbk"), Get("/config/cfgversion")}}));
    EXPECT_TRUE(m_frame->LastProcedureOk());
    EXPECT_TRUE(
        m_op.ShownIn("Package is saved in " + (Dir() / "mine.bcf").string() + ".\n", kBlue));
    std::string saved;
    ASSERT_TRUE(VerifyBackupFile((Dir() / "mine.bcf").string(), saved));
    EXPECT_EQ(saved, "KELMORA GW V300R001");
    EXPECT_EQ(ReadAll(Prog() / "tmp" / "cfgbk"), "#sim cfgbk\nhostname=gw-7\n");
}

TEST_F(ConfigProcedures, BackupRunsTheGatewaysOwnScript) {
    WriteAll(SimRoot() / "usr/sbin/bakcfgsh", "#!/bin/sh\n");
    StartAndLogin();
    m_op.saveFile = (Dir() / "own.bcf").string();
    ASSERT_TRUE(m_frame->BackupConfig());
    ASSERT_TRUE(Idle());
    EXPECT_EQ(Sent(),
              (std::vector<std::string>{Exec("ls /usr/sbin/bakcfgsh"), Exec("/usr/sbin/bakcfgsh"),
                                        Get("/stmp/cfgbk"), Get("/config/cfgversion")}));
    EXPECT_TRUE(fs::exists(Dir() / "own.bcf"));
}

TEST_F(ConfigProcedures, BackupScriptRefusalWithoutTextAndCancelledChoice) {
    WriteAll(SimRoot() / "usr/sbin/bakcfgsh", "#!/bin/sh\n#sim: fail no space left\n");
    StartAndLogin();
    EXPECT_FALSE(m_frame->BackupConfig());  // no file chosen
    EXPECT_TRUE(m_op.ShownIn("You have stopped the operation!\n", kBlack));
    EXPECT_TRUE(Sent().empty());

    m_op.saveFile = (Dir() / "never.bcf").string();
    ASSERT_TRUE(m_frame->BackupConfig());
    ASSERT_TRUE(Idle());
    EXPECT_EQ(Sent(), (std::vector<std::string>{Exec("ls /usr/sbin/bakcfgsh"),
                                                Exec("/usr/sbin/bakcfgsh")}));
    EXPECT_TRUE(m_op.ShownIn("(bakcfgsh execute fail!)\n", kRed));
    EXPECT_FALSE(m_op.Shown("Failed to back up configurations"));
    EXPECT_FALSE(m_frame->LastProcedureOk());
    EXPECT_FALSE(fs::exists(Dir() / "never.bcf"));
}

TEST_F(ConfigProcedures, RestoreWithAndWithoutTheGatewaysOwnScripts) {
    const std::string image = "#sim cfgbk\nhostname=restored\n";
    struct Case {
        bool own;
        std::vector<std::string> (*expected)(const std::string& image, const std::string& pre,
                                             const std::string& rcov);
    } cases[] = {
        {false,
         [](const std::string& img, const std::string& pre, const std::string& rcov) {
             return Seq({{Exec("ls /usr/sbin/prercovcfgsh")},
                         Upload("/etc/vorncmd/prercovcfgsh", pre),
                         {Exec("/etc/vorncmd/prercovcfgsh")},
                         Upload("/stmp/cfgbk", img),
                         Upload("/etc/vorncmd/rcovcfgsh", rcov),
                         {Exec("/etc/vorncmd/rcovcfgsh"), Exec("reboot")}});
         }},
        {true,
         [](const std::string& img, const std::string&, const std::string&) {
             return Seq({{Exec("ls /usr/sbin/prercovcfgsh"), Exec("/usr/sbin/prercovcfgsh")},
                         Upload("/stmp/cfgbk", img),
                         {Exec("/usr/sbin/rcovcfgsh"), Exec("reboot")}});
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.own);
        fs::remove_all(SimRoot());
        if (c.own) {
            WriteAll(SimRoot() / "usr/sbin/prercovcfgsh", "#!/bin/sh\n");
            WriteAll(SimRoot() / "usr/sbin/rcovcfgsh", "#!/bin/sh\n");
        }
        m_op = RecordingOperator{};
        StartAndLogin();
        m_op.answerYes = true;
        m_op.openFile = MakeBackup("KELMORA GW V300R001", image);
        ASSERT_TRUE(m_frame->RestoreBackup());
        ASSERT_TRUE(waitFor([&] { return !m_frame->Connected; }, 10000));
        EXPECT_EQ(Sent(), c.expected(image, Helper("prercovcfgsh"), Helper("rcovcfgsh")));
        EXPECT_EQ(SimFile("/config/cfg"), "hostname=restored\n");
        EXPECT_TRUE(
            m_op.ShownIn("Restoring configurations completed. The device is to restart.\n", kBlue));
        EXPECT_EQ(m_sim->RebootCount(), 1);
        m_frame.reset();
        m_sim->Stop();
    }
}

TEST_F(ConfigProcedures, RestoreRefusalsLeaveTheGatewayAlone) {
    StartAndLogin();
    // No to the first question, then a backup of another version refused at the second.
    m_op.openFile = MakeBackup("KELMORA GW V200", "#sim cfgbk\n");
    EXPECT_FALSE(m_frame->RestoreBackup());
    EXPECT_TRUE(m_op.Shown("You have stopped the operation!\n"));
    EXPECT_TRUE(Sent().empty());
    // A failing pre-check: 6448 with the step counted from 27.
    m_op.answerYes = true;
    m_op.openFile = MakeBackup("KELMORA GW V300R001", "#sim cfgbk\n");
    ASSERT_TRUE(m_frame->RestoreBackup());
    ASSERT_TRUE(Idle());
    EXPECT_FALSE(m_op.Shown("Failed to restore backup configurations"));  // that one passed
    WriteAll(m_sim->LocalPath("/usr/sbin/prercovcfgsh"), "#sim: fail wrong model\n");
    m_frame.reset();
    m_sim->Stop();
    ASSERT_TRUE(m_sim->Start());
    m_frame = std::make_unique<CMainFrame>(&m_op);
    Login();
    ASSERT_TRUE(m_frame->RestoreBackup());
    ASSERT_TRUE(Idle());
    EXPECT_TRUE(m_op.ShownIn("(3) error. Failed to restore backup configurations!\n", kRed));
    EXPECT_TRUE(m_frame->Connected);
}

// The gateway's configuration does not stay in "tmp" once the procedure that needed it has
// ended, however it ended; the login-error record there stays through every one of them.
TEST_F(ConfigProcedures, ConfigurationCopiesLeaveTmpWhenTheProcedureEnds) {
    struct Case {
        const char* name;
        bool restore;
        bool answerYes;
        const char* savedVersion;
        const char* precheck;  // the gateway's prercovcfgsh, or nullptr
    } cases[] = {
        {"backup", false, true, "", nullptr},
        {"restore", true, true, "KELMORA GW V300R001", nullptr},
        {"restore of another version, refused", true, false, "KELMORA GW V200", nullptr},
        {"restore refused by the gateway", true, true, "KELMORA GW V300R001",
         "#sim: fail wrong model\n"},
    };
    const std::string record = "[IP_CONFIG]\ncount=1\n[IP_0]\nIP=10.0.0.9\nTIME=2026-01-01 "
                               "10:00:00\nERRORCOUNT=3\n";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(SimRoot());
        if (c.precheck) {
            WriteAll(SimRoot() / "usr/sbin/prercovcfgsh", c.precheck);
        }
        m_op = RecordingOperator{};
        StartAndLogin();
        WriteAll(Prog() / "tmp" / "loginerror", record);
        m_op.answerYes = c.answerYes;
        if (c.restore) {
            m_op.openFile = MakeBackup(c.savedVersion, "#sim cfgbk\nhostname=x\n");
            if (m_frame->RestoreBackup()) {
                ASSERT_TRUE(waitFor([&] { return m_frame->SessionState == 0; }, 10000));
            }
        } else {
            m_op.saveFile = (Dir() / "b.bcf").string();
            ASSERT_TRUE(m_frame->BackupConfig());
            ASSERT_TRUE(Idle());
            EXPECT_TRUE(m_frame->LastProcedureOk());
        }
        EXPECT_FALSE(fs::exists(Prog() / "tmp" / "cfgbk"));
        EXPECT_FALSE(fs::exists(Prog() / "tmp" / "cfgversion"));
        EXPECT_EQ(ReadAll(Prog() / "tmp" / "loginerror"), record);
        m_frame.reset();
        m_sim->Stop();
    }
}

TEST_F(ConfigProcedures, FactoryDefaultsRecordTheirHistoryLineAndRestart) {
    StartAndLogin();
    const std::map<std::string, std::string> members = {
        {"appversion", "KELMORA GW V301\n"}, {"cfgversion", "KELMORA GW V300R001\n"},
        {"cfgpre", "#!/bin/sh\n"},           {"cfg", "hostname=factory\n"},
        {"cfgsh", "#!/bin/sh\n# apply\n"},
    };
    m_op.openFile = MakePackage("factory 5%.ssu", members);
    m_op.answerYes = true;
    ASSERT_TRUE(m_frame->RestoreFactoryDefaults());
    ASSERT_TRUE(waitFor([&] { return !m_frame->Connected; }, 10000));
    const std::string record =
        "if [ -L /config/etc ]; then UPDHISTORY='/app/updhistory'; else UPDHISTORY='/updhistory'; "
        "fi;"
        "echo -n 'default conf time: ' >> ${UPDHISTORY};"
        "date >> ${UPDHISTORY};"
        "echo 'package name: factory 5%.ssu' >> ${UPDHISTORY};"
        "echo '' >> ${UPDHISTORY}; echo 'done' ";
    EXPECT_EQ(Sent(), Seq({Upload("/etc/vorncmd/cfgpre", members.at("cfgpre")),
                           {Exec("/etc/vorncmd/cfgpre")},
                           Upload("/stmp/cfg", members.at("cfg")),
                           Upload("/etc/vorncmd/cfgsh", members.at("cfgsh")),
                           {Exec("/etc/vorncmd/cfgsh"), Exec(record), Exec("reboot")}}));
    EXPECT_EQ(SimFile("/config/cfg"), "hostname=factory\n");
    EXPECT_NE(SimFile("/updhistory").find("\npackage name: factory 5%.ssu\n\n"), std::string::npos);
    EXPECT_FALSE(fs::exists(Prog() / "updhistory" / "localhistory"));  // no local line
}

TEST_F(ConfigProcedures, FactoryDefaultsRefusedByCfgpre) {
    StartAndLogin();
    m_op.openFile = MakePackage("f.ssu", {{"appversion", "V\n"},
                                          {"cfgversion", "KELMORA GW V300R001\n"},
                                          {"cfgpre", "#sim: fail incompatible\n"},
                                          {"cfg", "x"},
                                          {"cfgsh", "y"}});
    m_op.answerYes = true;
    ASSERT_TRUE(m_frame->RestoreFactoryDefaults());
    ASSERT_TRUE(Idle());
    EXPECT_TRUE(
        m_op.ShownIn("(3) error. Failed to restore device to factory defaults (likely", kRed));
    EXPECT_TRUE(m_frame->Connected);
}

// ---------------------------------------------------------------------------------------------

TEST_F(ConfigProcedures, LocalHistoryLinesShowAndDelete) {
    StartAndLogin();
    std::tm tm{};
    tm.tm_year = 126;
    tm.tm_mon = 11;
    tm.tm_mday = 10;
    tm.tm_hour = 4;
    tm.tm_min = 5;
    tm.tm_sec = 6;
    tm.tm_isdst = -1;
    SetClockForTests(std::chrono::system_clock::from_time_t(std::mktime(&tm)));
    m_frame->Package().m_packageFileName = "first.ssu";
    m_frame->RecordLocalHistory();
    m_frame->Package().m_packageFileName = "100%s%n.ssu";
    m_frame->RecordLocalHistory();
    SetClockForTests({});
    const std::string expected =
        "26.12.10 04:05:06, updated gateway: 127.0.0.1, package: first.ssu\n"
        "26.12.10 04:05:06, updated gateway: 127.0.0.1, package: 100%s%n.ssu\n";
    EXPECT_EQ(ReadAll(Prog() / "updhistory" / "localhistory"), expected);

    m_frame->ShowLocalHistory();
    EXPECT_TRUE(m_op.ShownIn(expected, kBlue));

    m_frame->DeleteLocalHistory();  // answered No
    EXPECT_TRUE(fs::exists(Prog() / "updhistory" / "localhistory"));
    m_op.answerYes = true;
    m_frame->DeleteLocalHistory();
    EXPECT_TRUE(m_op.ShownIn("Delete local logs successfully!\n", kBlue));
    m_frame->DeleteLocalHistory();
    EXPECT_TRUE(m_op.ShownIn("There is no update history to clear.\n", kRed));
    m_frame->ShowLocalHistory();
    EXPECT_TRUE(m_op.ShownIn("No update history!\n", kRed));
}

TEST_F(ConfigProcedures, GatewayHistoryIsPrintedLikeAConsoleCommand) {
    StartAndLogin();
    MakeConfigEtcLink(m_sim->Root());
    WriteAll(m_sim->LocalPath("/app/updhistory"), "update time: x\npackage name: a.ssu\n\n");
    ASSERT_TRUE(m_frame->ShowGatewayHistory());
    ASSERT_TRUE(Idle());
    EXPECT_EQ(Sent().front(), Exec(kGatewayHistoryCommand));
    EXPECT_TRUE(m_op.ShownIn("package name: a.ssu\n\n\n", kBlack));
}

}  // namespace
}  // namespace vorn::test

namespace vorn::test {
namespace {

class SimulatorOptions : public GatewayFixture {};

TEST_F(SimulatorOptions, ScriptNamedAsFailingWritesItsTextToTheResultFile) {
    SimScriptOptions scripts;
    scripts.failing["apppre"] = "rejected by --fail-script";
    StartAndLogin({}, scripts);
    m_frame->SetLoadForCheckOnly(true);
    ASSERT_TRUE(m_frame->LoadLocalPackage(MakePackage("c.ssu", Members(1))));
    ASSERT_TRUE(
        waitFor([&] { return m_op.checkPage.size() >= 2 && m_frame->SessionState == 0; }, 10000));
    EXPECT_EQ(m_op.checkPage[1].text, "FAILED:rejected by --fail-script\n\n");
    EXPECT_EQ(SimFile("/etc/vorncmd/result"), "rejected by --fail-script\n");
}

}  // namespace
}  // namespace vorn::test
