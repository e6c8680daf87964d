// The single-package update and the pre-upgrade check against the simulator: the exact
// messages the gateway receives, the events of the update page and what lands on the gateway.
#include "tests/operations/GatewayFixture.h"

#include "lib/Text.h"
#include "packages/BackupFile.h"

namespace vorn::test {
namespace {

const std::string kDone = "Update completed.\n\n";

class SingleUpdate : public GatewayFixture {
protected:
    std::string Helper(const std::string& name) const { return ReadAll(Prog() / "bin" / name); }
    // apppre, then every application pair.
    std::vector<std::string> Install(const std::map<std::string, std::string>& m, int apps) const {
        std::vector<std::string> out =
            Seq({Upload("/etc/vorncmd/apppre", m.at("apppre")), {Exec("/etc/vorncmd/apppre")}});
        for (int i = 1; i <= apps; ++i) {
            const std::string n = std::to_string(i);
            out = Seq({out,
                       Upload("/stmp/app", m.at("app" + n)),
                       Upload("/etc/vorncmd/appsh", m.at("appsh" + n)),
                       {Exec("/etc/vorncmd/appsh")}});
        }
        return out;
    }
};

TEST_F(SingleUpdate, OnePairUploadsTheHistoryScriptRecordsAndRestarts) {
    StartAndLogin();
    auto m = Members(1);
    m["app1"] = "#sim: version KELMORA GW V301\n" + m["app1"];
    const std::string pkg = MakePackage("pkg1.ssu", m);
    ASSERT_TRUE(RunUpdate(pkg));

    EXPECT_EQ(Sent(), Seq({Install(m, 1),
                           {Exec("ls /usr/sbin/updhistory.sh")},
                           Upload("/usr/sbin/updhistory.sh", Helper("updhistory.sh")),
                           {Exec("/usr/sbin/updhistory.sh 'pkg1.ssu'"), Exec("reboot")}}));
    EXPECT_EQ(FinalEvent()->text, "SUCCEED:" + kDone);
    EXPECT_EQ(Events(9), std::vector<std::string>{"SINGLE:1"});
    EXPECT_EQ(Events(13), std::vector<std::string>{"Restart device!\n"});
    EXPECT_TRUE(m_op.ShownIn("updhistory.sh dos not exist!Upload it first.\n", kBlue));
    EXPECT_EQ(m_sim->RebootCount(), 1);
    EXPECT_FALSE(m_frame->Connected);  // closed as a dropped connection
    const std::string history = SimFile("/updhistory");
    EXPECT_NE(history.find("package name: pkg1.ssu\n\n"), std::string::npos) << history;
    EXPECT_NE(ReadAll(Prog() / "updhistory" / "localhistory")
                  .find(", updated gateway: 127.0.0.1, package: pkg1.ssu\n"),
              std::string::npos);

    // After the restart the gateway reports the version the image carried.
    // The restarting gateway refuses connections for a while: try until it answers.
    ASSERT_TRUE(waitFor(
        [&] {
            if (m_frame->SessionState == 0 && !m_frame->Connected) {
                m_frame->ConnectGateway("127.0.0.1", "admin", m_sim->Port());
            }
            return m_frame->Connected && m_frame->SessionState == 0;
        },
        10000));
    EXPECT_EQ(m_frame->DeviceVersion(), "KELMORA GW V301");
}

TEST_F(SingleUpdate, ThreePairsWithTheHistoryScriptPresent) {
    WriteAll(SimRoot() / "usr/sbin/updhistory.sh", "#!/bin/sh\n");
    StartAndLogin([](GatewaySimConfig&) {}, {});
    MakeConfigEtcLink(m_sim->Root());
    const auto m = Members(3);
    ASSERT_TRUE(RunUpdate(MakePackage("it's 100%.ssu", m)));

    EXPECT_EQ(Sent(), Seq({Install(m, 3),
                           {Exec("ls /usr/sbin/updhistory.sh"), Exec("ls /usr/sbin/updhistory.sh"),
                            Exec("/usr/sbin/updhistory.sh 'it'\\''s 100%.ssu'"), Exec("reboot")}}));
    EXPECT_EQ(Events(9), (std::vector<std::string>{"SINGLE:1", "SINGLE:2", "SINGLE:3"}));
    EXPECT_EQ(FinalEvent()->text, "SUCCEED:" + kDone);
    // The quoted name reached the script whole; "/config/etc" is a link, so "/app/updhistory".
    EXPECT_NE(SimFile("/app/updhistory").find("package name: it's 100%.ssu\n"), std::string::npos);
    EXPECT_FALSE(fs::exists(m_sim->LocalPath("/updhistory")));
    EXPECT_EQ(SimFile("/app/installed").size(), 3 * std::string("3009 bytes installed\n").size());
}

TEST_F(SingleUpdate, SwitchPackageBacksUpFirstAndPrunesAutomaticBackups) {
    StartAndLogin();
    for (int i = 0; i < 3; ++i) {
        const fs::path old = Prog() / "autobak" / ("old" + std::to_string(i) + ".bcf");
        WriteAll(old, "old");
        fs::last_write_time(old, fs::file_time_type::clock::now() - std::chrono::hours(10 - i));
    }
    m_frame->SetAutoBackupLimit(2);
    const auto m = Members(1);
    ASSERT_TRUE(RunUpdate(MakePackage("SwItCh_line.ssu", m)));

    EXPECT_EQ(Sent(),
              Seq({{Exec("ls /usr/sbin/bakcfgsh")},
                   Upload("/etc/vorncmd/bakcfgsh", Helper("bakcfgsh")),
                   {Exec("/etc/vorncmd/bakcfgsh"), Get("/stmp/cfgbk"), Get("/config/cfgversion")},
                   Install(m, 1),
                   {Exec("ls /usr/sbin/updhistory.sh")},
                   Upload("/usr/sbin/updhistory.sh", Helper("updhistory.sh")),
                   {Exec("/usr/sbin/updhistory.sh 'SwItCh_line.ssu'"), Exec("reboot")}}));
    EXPECT_EQ(FinalEvent()->text, "SUCCEED:" + kDone);
    const auto events6 = Events(6);
    EXPECT_NE(std::find(events6.begin(), events6.end(), "Back up configurations successfully!\n"),
              events6.end());
    std::vector<fs::path> kept;
    for (const auto& e : fs::directory_iterator(Prog() / "autobak")) kept.push_back(e.path());
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_TRUE(fs::exists(Prog() / "autobak" / "old2.bcf"));  // the newest old one
    const fs::path made = kept[0].filename() == "old2.bcf" ? kept[1] : kept[0];
    EXPECT_EQ(made.filename().string().rfind("(127.0.0.1)KELMORA GW V300R001(", 0), 0u) << made;
    std::string saved;
    EXPECT_TRUE(VerifyBackupFile(made.string(), saved));
    EXPECT_EQ(saved, "KELMORA GW V300R001");
}

// A "switch_" update waits for its backup: a backup that cannot be written stops it before
// anything of the update reaches the gateway, says why, and leaves earlier backups alone.
TEST_F(SingleUpdate, FailedAutomaticBackupStopsTheUpdate) {
    struct Case {
        const char* name;
        void (*spoil)(const fs::path& prog, const fs::path& elsewhere);
        const char* reason;  // part of the shown reason
    } cases[] = {
        {"autobak is a file",
         [](const fs::path& prog, const fs::path&) {
             fs::remove_all(prog / "autobak");
             WriteAll(prog / "autobak", "not a folder");
         },
         "Not a directory"},
        {"autobak is a link to another folder",
         [](const fs::path& prog, const fs::path& elsewhere) {
             fs::remove_all(prog / "autobak");
             fs::create_directories(elsewhere);
             fs::create_directory_symlink(elsewhere, prog / "autobak");
         },
         "is a symbolic link"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_op = RecordingOperator();
        StartAndLogin();
        const fs::path elsewhere = Dir() / "elsewhere";
        WriteAll(Prog() / "autobak" / "earlier.bcf", "earlier");
        c.spoil(Prog(), elsewhere);
        const auto autobakText = [&] {
            const fs::path a = Prog() / "autobak";
            return fs::is_regular_file(fs::symlink_status(a)) ? ReadAll(a) : std::string();
        };
        const std::string autobakBefore = autobakText();
        ASSERT_TRUE(RunUpdate(MakePackage("switch_line.ssu", Members(1))));

        // The backup's downloads were the last thing sent: no apppre, no image.
        EXPECT_EQ(Sent(), Seq({{Exec("ls /usr/sbin/bakcfgsh")},
                               Upload("/etc/vorncmd/bakcfgsh", Helper("bakcfgsh")),
                               {Exec("/etc/vorncmd/bakcfgsh"), Get("/stmp/cfgbk"),
                                Get("/config/cfgversion")}}));
        EXPECT_EQ(FinalEvent()->text, "FAILED:" + FormatStr(6449, 7));
        const auto errors = Events(7);
        ASSERT_GE(errors.size(), 2u);
        EXPECT_EQ(errors[0].rfind("The backup file could not be written: ", 0), 0u) << errors[0];
        EXPECT_NE(errors[0].find(c.reason), std::string::npos) << errors[0];
        EXPECT_EQ(errors[1], LoadStr(9207));
        for (const std::string& e : Events(6)) {
            EXPECT_EQ(e.find("Back up configurations successfully!"), std::string::npos);
        }
        EXPECT_EQ(autobakText(), autobakBefore);  // the file case: unchanged
        if (fs::is_directory(elsewhere)) {
            EXPECT_TRUE(fs::is_empty(elsewhere));
        }
        // The configuration copy does not stay behind in "tmp".
        EXPECT_FALSE(fs::exists(Prog() / "tmp" / "cfgbk"));
        EXPECT_FALSE(fs::exists(Prog() / "tmp" / "cfgversion"));
        EXPECT_EQ(m_sim->RebootCount(), 0);
        m_frame.reset();
        m_sim->Stop();
        fs::remove_all(Prog() / "autobak");
        fs::remove_all(elsewhere);
    }
}

// A long version text would make the automatic backup's name too long for the file system;
// the name keeps a cut version and the update goes on.
TEST_F(SingleUpdate, LongGatewayVersionStillGetsItsAutomaticBackup) {
    const std::string version = "KELMORA GW V300R001 " + std::string(400, 'b');
    StartAndLogin([&](GatewaySimConfig& cfg) { cfg.versionText = version + "\n"; });
    const auto m = Members(1);
    ASSERT_TRUE(RunUpdate(MakePackage("switch_long.ssu", m)));
    EXPECT_EQ(FinalEvent()->text, "SUCCEED:" + kDone);
    std::vector<fs::path> made;
    for (const auto& e : fs::directory_iterator(Prog() / "autobak")) made.push_back(e.path());
    ASSERT_EQ(made.size(), 1u);
    const std::string name = made[0].filename().string();
    EXPECT_LE(name.size(), 255u);
    EXPECT_EQ(name.rfind("(127.0.0.1)" + version.substr(0, kMaxVersionInBackupName) + "(", 0), 0u)
        << name;
    std::string saved;
    EXPECT_TRUE(VerifyBackupFile(made[0].string(), saved));
    EXPECT_EQ(saved, version);
}

TEST_F(SingleUpdate, RefusedScriptsShowTheResultFileAndStop) {
    struct Case {
        const char* name;
        const char* member;
        std::vector<std::string> (*tail)(const std::map<std::string, std::string>&);
        const char* shown;
    } cases[] = {
        {"apppre.ssu", "apppre",
         [](const std::map<std::string, std::string>& m) {
             return Seq({Upload("/etc/vorncmd/apppre", m.at("apppre")),
                         {Exec("/etc/vorncmd/apppre"), Get("/etc/vorncmd/result")}});
         },
         "'apppre' execute failed\n"},
        {"appsh.ssu", "appsh1",
         [](const std::map<std::string, std::string>& m) {
             return Seq({Upload("/etc/vorncmd/apppre", m.at("apppre")),
                         {Exec("/etc/vorncmd/apppre")},
                         Upload("/stmp/app", m.at("app1")),
                         Upload("/etc/vorncmd/appsh", m.at("appsh1")),
                         {Exec("/etc/vorncmd/appsh"), Get("/etc/vorncmd/result")}});
         },
         "'appsh' execute failed\n"},
    };
    StartAndLogin();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_op = RecordingOperator{};
        m_loginEntries = m_sim->Transcript().size();
        auto m = Members(1);
        m[c.member] = "#!/bin/sh\n#sim: fail Model XY-9 is not supported\n";
        ASSERT_TRUE(RunUpdate(MakePackage(c.name, m)));
        EXPECT_EQ(Sent(), c.tail(m));
        EXPECT_EQ(FinalEvent()->text, "FAILED:");
        EXPECT_TRUE(m_op.ShownIn(c.shown, kRed));
        EXPECT_TRUE(m_op.ShownIn("Model XY-9 is not supported\n\n", kBlack));
        EXPECT_TRUE(m_op.ShownIn("Do NOT restart the device.", kRed));
        EXPECT_TRUE(m_frame->Connected);
        EXPECT_FALSE(fs::exists(Prog() / "updhistory" / "localhistory"));
    }
}

TEST_F(SingleUpdate, HistoryUploadFailureStillSucceedsWithoutRecord) {
    fs::remove(Prog() / "bin" / "updhistory.sh");
    StartAndLogin();
    const auto m = Members(1);
    ASSERT_TRUE(RunUpdate(MakePackage("pkg.ssu", m)));
    const auto expected = Seq({Install(m, 1),
                               {Exec("ls /usr/sbin/updhistory.sh")},
                               {Put("/usr/sbin/updhistory.sh"), "putover\n"}});
    ASSERT_TRUE(waitFor([&] { return Sent().size() >= expected.size(); }));
    EXPECT_EQ(Sent(), expected);
    EXPECT_EQ(FinalEvent()->text, "SUCCEED:END" + kDone);
    EXPECT_TRUE(
        m_op.ShownIn("\nNo update event was recorded (failed to upload updhistory.sh)\n", kRed));
    EXPECT_EQ(m_sim->RebootCount(), 0);
    EXPECT_TRUE(m_frame->Connected);
    EXPECT_FALSE(fs::exists(m_sim->LocalPath("/updhistory")));
}

TEST_F(SingleUpdate, NoRestartStillClosesTheSession) {
    WriteAll(SimRoot() / "usr/sbin/updhistory.sh", "#!/bin/sh\n");
    StartAndLogin();
    auto m = Members(1);
    m["package.conf"] = "[restart]\nneedrestart = No\n";
    ASSERT_TRUE(RunUpdate(MakePackage("norestart.ssu", m)));
    const auto sent = Sent();
    EXPECT_EQ(sent.back(), Exec("/usr/sbin/updhistory.sh 'norestart.ssu'"));
    EXPECT_EQ(std::count(sent.begin(), sent.end(), Exec("reboot")), 0);
    EXPECT_EQ(Events(13), std::vector<std::string>{""});
    EXPECT_FALSE(m_frame->Connected);
    EXPECT_EQ(m_sim->RebootCount(), 0);
}

TEST_F(SingleUpdate, HistoryScriptFailureStillEndsTheUpdate) {
    WriteAll(SimRoot() / "usr/sbin/updhistory.sh", "#!/bin/sh\n#sim: fail read-only file system\n");
    StartAndLogin();
    ASSERT_TRUE(RunUpdate(MakePackage("pkg.ssu", Members(1))));
    EXPECT_TRUE(m_op.ShownIn("No update logs (failed to execute updhistory.sh).\n", kRed));
    EXPECT_EQ(FinalEvent()->text, "SUCCEED:");  // the page is not left waiting
    EXPECT_EQ(m_sim->RebootCount(), 1);
}

TEST_F(SingleUpdate, PackageForAnotherPlatformSendsNothing) {
    StartAndLogin();
    ASSERT_TRUE(RunUpdate(MakePackage("ux.ssu", Members(1, "UX2000 V3.1.0"))));
    EXPECT_TRUE(Sent().empty());
    EXPECT_EQ(FinalEvent()->text, "FAILED:");
    EXPECT_TRUE(m_op.ShownIn("The update package does not match your device.", kRed));
}

TEST_F(SingleUpdate, LinkLostDuringTheUpdateIsReportedWhateverTheCloseCode) {
    StartAndLogin();
    GatewaySimFaults faults;
    faults.silentOnCommand = "/etc/vorncmd/appsh";
    m_sim->SetFaults(faults);
    ASSERT_TRUE(m_frame->LoadLocalPackage(MakePackage("pkg.ssu", Members(1))));
    ASSERT_TRUE(waitFor(
        [&] {
            const auto s = m_sim->ReceivedTexts();
            return !s.empty() && s.back() == Exec("/etc/vorncmd/appsh");
        },
        20000));
    m_sim->Stop();  // an orderly close, not an aborted connection
    ASSERT_TRUE(waitFor([&] { return FinalEvent() != nullptr; }));
    EXPECT_EQ(FinalEvent()->text, "FAILED:Update failed");
    EXPECT_TRUE(m_op.ShownIn("Update failed\n", kRed));  // its own line
    EXPECT_EQ(m_frame->SessionState, 0);
}

TEST_F(SingleUpdate, VarLayoutUsesItsOwnPaths) {
    StartAndLogin([](GatewaySimConfig& c) {
        c.versionText = "UX2000 V3.1.0\n";
        c.resultFile = "/var/vorncmd/result";
    });
    auto m = Members(1, "UX2000 V3.2.0");
    m["apppre"] = "#sim: fail no\n";
    ASSERT_TRUE(RunUpdate(MakePackage("ux.ssu", m)));
    EXPECT_EQ(Sent(), Seq({Upload("/var/vorncmd/apppre", m.at("apppre")),
                           {Exec("/var/vorncmd/apppre"), Get("/var/vorncmd/result")}}));
    EXPECT_TRUE(m_op.ShownIn("no\n\n", kBlack));
}

// ---------------------------------------------------------------------------------------------

TEST_F(SingleUpdate, PreUpgradeCheckPassedAndFailed) {
    StartAndLogin();
    m_frame->SetLoadForCheckOnly(true);
    auto m = Members(1);
    ASSERT_TRUE(m_frame->LoadLocalPackage(MakePackage("check.ssu", m)));
    ASSERT_TRUE(
        waitFor([&] { return !m_op.checkPage.empty() && m_frame->SessionState == 0; }, 10000));
    EXPECT_EQ(Sent(),
              Seq({Upload("/etc/vorncmd/apppre", m.at("apppre")), {Exec("/etc/vorncmd/apppre")}}));
    ASSERT_EQ(m_op.checkPage.size(), 1u);
    EXPECT_EQ(m_op.checkPage[0].code, 13);
    EXPECT_EQ(m_op.checkPage[0].text,
              "SUCCEED:Check successful. Upgrade package can be installed on this device.\n");

    m_op = RecordingOperator{};
    m_loginEntries = m_sim->Transcript().size();
    m["apppre"] = "#sim: fail needs firmware V299 first\n";
    ASSERT_TRUE(m_frame->LoadLocalPackage(MakePackage("check2.ssu", m)));
    ASSERT_TRUE(
        waitFor([&] { return m_op.checkPage.size() >= 2 && m_frame->SessionState == 0; }, 10000));
    EXPECT_EQ(Sent(), Seq({Upload("/etc/vorncmd/apppre", m.at("apppre")),
                           {Exec("/etc/vorncmd/apppre"), Get("/etc/vorncmd/result")}}));
    EXPECT_EQ(m_op.checkPage[0].text, "Pre-upgrade check failed:needs firmware V299 first\n\n");
    EXPECT_EQ(m_op.checkPage[1].text, "FAILED:needs firmware V299 first\n\n");
    EXPECT_TRUE(m_op.ShownIn("'apppre' execute failed\n", kRed));
    EXPECT_TRUE(m_frame->Connected);
}

}  // namespace
}  // namespace vorn::test
