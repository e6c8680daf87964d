// `vornupdater fleet` left alone: signals, a killed run finished by --resume, every backup kept,
// the staged roll-out, time limits, checks before the first gateway, and the one unpacked
// package all workers share. The real program against simulated gateways on 127.0.0.1.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <thread>

#include "app/cli/FleetProcess.h"
#include "app/cli/FleetWorker.h"
#include "tests/app/FleetRunFixture.h"
#include "tests/common/WaitFor.h"

namespace vorn::cli {
namespace {

namespace fs = std::filesystem;
using test::Lines;
using test::Read;
using test::Write;

// A slow link: a 300 kB image takes three seconds, long enough to act during the upload.
constexpr std::int64_t kSlowLink = 100000;
constexpr std::size_t kSlowImage = 300000;

QString Q(const fs::path& p) {
    return QString::fromStdString(p.string());
}

bool Uploading(const CGatewaySim& sim) {
    for (const SimUpload& u : sim.Uploads()) {
        if (u.path == "/stmp/app" && u.bytes > 0 && !u.stored)
            return true;
    }
    return false;
}

// The install scripts the gateway was told to run.
int InstallsRun(const CGatewaySim& sim) {
    int n = 0;
    for (const std::string& t : sim.ReceivedTexts())
        n += t.rfind("excute\ncmd:", 0) == 0 && t.find("appsh") != std::string::npos;
    return n;
}

std::vector<std::string> Entries(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec))
        names.push_back(e.path().filename().string());
    return names;
}

std::string ResultOf(const std::map<std::string, QJsonObject>& outcome, const std::string& gw) {
    const auto it = outcome.find(gw);
    return it == outcome.end() ? "(missing)" : it->second.value("result").toString().toStdString();
}

class FleetLeftAlone : public FleetRun {
protected:
    fs::path Gateways(const std::vector<const CGatewaySim*>& sims,
                      const std::vector<std::string>& names = {}) {
        std::string text;
        for (std::size_t i = 0; i < sims.size(); ++i)
            text += Addr(*sims[i]) + (i < names.size() ? " " + names[i] : "") + "\n";
        const fs::path file = Dir() / ("gateways" + std::to_string(++m_lists));
        Write(file, text);
        return file;
    }
    static int HistoryLines(const test::TempProgramFolder& home) {
        return static_cast<int>(Lines(Read(home / "updhistory" / "localhistory")).size());
    }
    // A combined package: the member package m1.ssu, then the script post.sh.
    std::string CombinedPackage() {
        const std::string member = Package("m1.ssu", 20000);
        const fs::path folder = Dir() / "pack.cssu.d";
        fs::create_directories(folder);
        fs::copy_file(member, folder / "m1.ssu");
        Write(folder / "upgrade.conf",
              "[Total]\ncount=2\n[1]\ntype=1\nname=m1.ssu\nappversion=V301\n[2]\ntype=3\n"
              "name=post.sh\n");
        Write(folder / "post.sh", "#!/bin/sh\n");
        const std::string out = (Dir() / "pack.cssu").string();
        std::string error;
        EXPECT_TRUE(BuildPackage(folder.string(), out, "", error)) << error;
        return out;
    }
    int m_lists = 0;
};

// SIGTERM (a `timeout` wrapper) and SIGHUP (the SSH session went away) reach the fleet during
// the uploads: no further gateway starts, the started ones run their whole single update,
// their backups and history reach the real folder and nothing is left in TMPDIR.
TEST_F(FleetLeftAlone, TermAndHangUpLetTheStartedGatewaysFinish) {
    const std::string pkg = Package("switch_v301.ssu", kSlowImage);
    const std::vector<std::string> reference = SingleUpdateTranscript(pkg);
    for (const int sig : {SIGTERM, SIGHUP}) {
        SCOPED_TRACE(::strsignal(sig));
        test::TempProgramFolder home;
        InstallHelperScripts(home);
        const std::string tag = std::to_string(sig);
        const auto slow = [](GatewaySimConfig& c) { c.faults.uploadBytesPerSecond = kSlowLink; };
        CGatewaySim& a = AddSim("a" + tag, slow);
        CGatewaySim& b = AddSim("b" + tag, slow);
        CGatewaySim& c = AddSim("c" + tag);
        const fs::path report = Dir() / ("report" + tag + ".json");
        auto p = Start({"fleet", "update", QString::fromStdString(pkg), "--gateways",
                        Q(Gateways({&a, &b, &c})), "--parallel", "2", "--yes", "--report",
                        Q(report)},
                       home);
        ASSERT_TRUE(test::waitFor([&] { return Uploading(a) && Uploading(b); }, 60000));
        ::kill(static_cast<pid_t>(p->processId()), sig);
        ASSERT_TRUE(p->waitForFinished(120000));
        const std::string out = p->readAllStandardOutput().toStdString();
        EXPECT_EQ(p->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p->exitCode(), 1) << out;
        EXPECT_NE(out.find("interrupted: no further gateway is started"), std::string::npos) << out;

        EXPECT_EQ(Transcript(a), reference);
        EXPECT_EQ(Transcript(b), reference);
        EXPECT_TRUE(c.ReceivedTexts().empty());
        EXPECT_EQ(BackupVersions(home / "autobak"),
                  (std::multiset<std::string>{"KELMORA GW a" + tag, "KELMORA GW b" + tag}));
        EXPECT_EQ(HistoryLines(home), 2);
        EXPECT_EQ(Entries(TempDir()), std::vector<std::string>{});
        const auto outcome = ByGateway(ReportOf(report));
        EXPECT_EQ(ResultOf(outcome, Addr(a)), "ok");
        EXPECT_EQ(ResultOf(outcome, Addr(b)), "ok");
        EXPECT_EQ(ResultOf(outcome, Addr(c)), "not started");
    }
}

// A second signal asks the running workers to stop at their next safe point: the gateway is
// not told to install what was being uploaded, and the run ends without waiting for it.
TEST_F(FleetLeftAlone, SecondSignalStopsTheRunningWorkers) {
    const std::string pkg = Package("v301.ssu", kSlowImage);
    CGatewaySim& sim = AddSim("s", [](GatewaySimConfig& c) {
        c.faults.uploadBytesPerSecond = kSlowLink / 10;  // half a minute for the image
    });
    const fs::path report = Dir() / "report.json";
    auto p = Start({"fleet", "update", QString::fromStdString(pkg), "--gateways",
                    Q(Gateways({&sim})), "--yes", "--report", Q(report)},
                   m_home);
    ASSERT_TRUE(test::waitFor([&] { return Uploading(sim); }, 60000));
    ::kill(static_cast<pid_t>(p->processId()), SIGINT);
    ASSERT_TRUE(test::waitFor(
        [&] { return p->readAllStandardOutput().contains("interrupted"); }, 10000));
    ::kill(static_cast<pid_t>(p->processId()), SIGINT);
    ASSERT_TRUE(p->waitForFinished(20000));
    EXPECT_EQ(p->exitCode(), 1);
    EXPECT_EQ(ResultOf(ByGateway(ReportOf(report)), Addr(sim)), "failed") << Read(report);
    EXPECT_EQ(InstallsRun(sim), 0);
    EXPECT_EQ(sim.RebootCount(), 0);
    EXPECT_EQ(Entries(TempDir()), std::vector<std::string>{});
}

// SIGKILL (an out-of-memory kill) ends the fleet at once; its workers go on and finish. The
// run folder it printed lets --resume finish the run: refused while a worker still works,
// then the same end state as a run that was never killed.
TEST_F(FleetLeftAlone, KilledRunIsFinishedByResume) {
    const std::string pkg = Package("switch_v301.ssu", kSlowImage);
    const std::vector<std::string> reference = SingleUpdateTranscript(pkg);
    const auto slow = [](GatewaySimConfig& c) { c.faults.uploadBytesPerSecond = kSlowLink; };
    CGatewaySim& a = AddSim("a", slow);
    CGatewaySim& b = AddSim("b", slow);
    CGatewaySim& c = AddSim("c");
    const fs::path gateways = Gateways({&a, &b, &c}, {"first", "second", "third"});
    auto p = Start({"fleet", "update", QString::fromStdString(pkg), "--gateways", Q(gateways),
                    "--parallel", "2", "--yes"},
                   m_home);
    ASSERT_TRUE(test::waitFor([&] { return Uploading(a) && Uploading(b); }, 60000));
    const std::vector<std::string> runs = Entries(TempDir());
    ASSERT_EQ(runs.size(), 1u);
    const fs::path run = TempDir() / runs[0];
    const std::string printed = p->readAllStandardOutput().toStdString();
    EXPECT_NE(printed.find("Run folder: " + run.string()), std::string::npos) << printed;
    ::kill(static_cast<pid_t>(p->processId()), SIGKILL);
    ASSERT_TRUE(p->waitForFinished(10000));

    const QStringList resume = {"fleet",      "update",    QString::fromStdString(pkg),
                                "--gateways", Q(gateways), "--resume",
                                Q(run),       "--report",  Q(Dir() / "report.json")};
    const ProgramRun early = Run(resume, m_home);
    EXPECT_EQ(early.code, 1) << early.out;
    EXPECT_NE(early.out.find("still works"), std::string::npos) << early.out;
    EXPECT_TRUE(c.ReceivedTexts().empty());

    // The workers finish on their own.
    ASSERT_TRUE(test::waitFor(
        [&] {
            return !EventsFileInUse(run / "g1" / kWorkerEvents) &&
                   !EventsFileInUse(run / "g2" / kWorkerEvents);
        },
        60000));
    const ProgramRun finished = Run(resume, m_home);
    EXPECT_EQ(finished.code, 0) << finished.out << finished.err;
    for (const CGatewaySim* sim : {&a, &b, &c}) EXPECT_EQ(Transcript(*sim), reference);
    EXPECT_EQ(BackupVersions(m_home / "autobak"),
              (std::multiset<std::string>{"KELMORA GW a", "KELMORA GW b", "KELMORA GW c"}));
    EXPECT_EQ(HistoryLines(m_home), 3);
    EXPECT_EQ(Entries(TempDir()), std::vector<std::string>{});
    const QJsonObject report = ReportOf(Dir() / "report.json");
    EXPECT_TRUE(report.value("resumed").toBool());
    const auto outcome = ByGateway(report);
    for (const CGatewaySim* sim : {&a, &b, &c}) EXPECT_EQ(ResultOf(outcome, Addr(*sim)), "ok");
    EXPECT_TRUE(outcome.at(Addr(a)).value("earlierRun").toBool());
    EXPECT_FALSE(outcome.at(Addr(c)).value("earlierRun").toBool());
}

// More gateways than AUTOBAK_NUM (default 10): the run keeps every one of its backups and
// prunes only older ones; the report says where each backup went.
TEST_F(FleetLeftAlone, TwelveGatewaysKeepTwelveBackups) {
    const std::string pkg = Package("switch_v301.ssu", 1000);
    for (const char* old : {"(10.0.0.9)KELMORA GW V1(20.01.01 10-00-00).bcf",
                            "(10.0.0.9)KELMORA GW V1(20.01.02 10-00-00).bcf"}) {
        Write(m_home / "autobak" / old, "an old backup");
    }
    std::vector<const CGatewaySim*> sims;
    std::multiset<std::string> markers;
    for (int i = 1; i <= 12; ++i) {
        sims.push_back(&AddSim("g" + std::to_string(i)));
        markers.insert("KELMORA GW g" + std::to_string(i));
    }
    const fs::path report = Dir() / "report.json";
    const ProgramRun r = Run({"fleet", "update", QString::fromStdString(pkg), "--gateways",
                              Q(Gateways(sims)), "--parallel", "4", "--yes", "--report", Q(report)},
                             m_home);
    ASSERT_EQ(r.code, 0) << r.out << r.err;
    EXPECT_EQ(BackupVersions(m_home / "autobak"), markers);  // the two old ones were pruned
    std::set<std::string> reported;
    for (const auto& [gateway, o] : ByGateway(ReportOf(report))) {
        const QJsonArray files = o.value("backupFiles").toArray();
        ASSERT_EQ(files.size(), 1) << gateway;
        const fs::path file = files[0].toString().toStdString();
        EXPECT_EQ(file.parent_path(), (m_home / "autobak").lexically_normal());
        EXPECT_TRUE(fs::is_regular_file(file)) << file;
        reported.insert(file.string());
    }
    EXPECT_EQ(reported.size(), 12u);
}

// Two gateways behind one address get backups of their own names (port and name from the
// gateways file); two fleet backups on one day keep both files.
TEST_F(FleetLeftAlone, BackupNamesTellGatewaysAndRunsApart) {
    CGatewaySim& north = AddSim("north");
    CGatewaySim& south = AddSim("south");
    const fs::path gateways = Gateways({&north, &south}, {"north gate", "south/(gate)"});
    const std::string pkg = Package("switch_v301.ssu", 1000);
    ASSERT_EQ(Run({"fleet", "update", QString::fromStdString(pkg), "--gateways", Q(gateways),
                   "--yes"},
                  m_home)
                  .code,
              0);
    const std::vector<std::string> automatic = Names(m_home / "autobak");
    ASSERT_EQ(automatic.size(), 2u);
    const auto starts = [](const std::vector<std::string>& names, const std::string& prefix) {
        return std::count_if(names.begin(), names.end(),
                             [&](const std::string& n) { return n.rfind(prefix, 0) == 0; });
    };
    EXPECT_EQ(starts(automatic, "(" + Addr(north).replace(9, 1, "-") +
                                    " north_gate)KELMORA GW V300R001("),
              1)
        << automatic[0] << " / " << automatic[1];
    EXPECT_EQ(starts(automatic, "(" + Addr(south).replace(9, 1, "-") +
                                    " south__gate_)KELMORA GW V300R001("),
              1);

    // The updated gateways restart; two others behind the same address are backed up.
    CGatewaySim& east = AddSim("east");
    CGatewaySim& west = AddSim("west");
    const fs::path backups = Gateways({&east, &west}, {"north gate", "west"});
    const fs::path saved = Dir() / "saved";
    for (int run = 0; run < 2; ++run) {
        const ProgramRun r = Run({"fleet", "backup", "--gateways", Q(backups), "-o", Q(saved)},
                                 m_home);
        ASSERT_EQ(r.code, 0) << r.out << r.err;
    }
    const std::vector<std::string> files = Names(saved);
    ASSERT_EQ(files.size(), 4u);
    EXPECT_EQ(BackupVersions(saved),
              (std::multiset<std::string>{"KELMORA GW east", "KELMORA GW east", "KELMORA GW west",
                                          "KELMORA GW west"}));
    EXPECT_EQ(starts(files, "kelmora_" + Addr(east).replace(9, 1, "-") +
                                "_north_gate_KELMORA GW V300R001_"),
              2);
    EXPECT_EQ(starts(files, "kelmora_" + Addr(west).replace(9, 1, "-") + "_west_KELMORA GW V300R001_"),
              2);
}

// The staged roll-out: the gateways after the cut receive nothing at all.
TEST_F(FleetLeftAlone, CanaryAndMaxFailuresCutTheRollOut) {
    const std::string pkg = Package("v301.ssu", 1000);
    const struct {
        const char* name;
        QStringList options;
        std::set<int> failing;  // gateways whose pre-update check refuses
        std::vector<std::string> results;
        const char* cut;
        int code;
    } kCases[] = {
        {"canary fails", {"--canary", "1"}, {0}, {"failed", "not started", "not started",
                                                 "not started"}, "canary", 1},
        {"canaries pass", {"--canary", "2"}, {3}, {"ok", "ok", "ok", "failed"}, "", 1},
        {"second failure", {"--max-failures", "2", "--parallel", "1"}, {0, 2},
         {"failed", "ok", "failed", "not started"}, "max-failures", 1},
        {"all good", {"--canary", "1", "--max-failures", "1"}, {}, {"ok", "ok", "ok", "ok"}, "",
         0},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        std::vector<const CGatewaySim*> sims;
        for (int i = 0; i < 4; ++i) {
            CGatewaySim& sim = AddSim(std::string(c.name) + std::to_string(i));
            if (c.failing.count(i)) {
                sim.AddCommand("/etc/vorncmd/apppre", [](const SimCommandRequest&,
                                                         const CSimFileSystem&) {
                    return SimCommandReply{1, std::string("not on this unit"), std::string("no")};
                });
            }
            sims.push_back(&sim);
        }
        const fs::path report = Dir() / "report.json";
        const ProgramRun r = Run(QStringList{"fleet", "update", QString::fromStdString(pkg),
                                             "--gateways", Q(Gateways(sims)), "--yes", "--report",
                                             Q(report)} +
                                     c.options,
                                 m_home);
        EXPECT_EQ(r.code, c.code) << r.out;
        const QJsonObject o = ReportOf(report);
        EXPECT_EQ(o.value("cut").toString().toStdString(), c.cut);
        const auto outcome = ByGateway(o);
        for (std::size_t i = 0; i < sims.size(); ++i) {
            EXPECT_EQ(ResultOf(outcome, Addr(*sims[i])), c.results[i]) << i;
            if (c.results[i] == "not started") {
                EXPECT_TRUE(sims[i]->ReceivedTexts().empty()) << i;
            }
        }
    }
}

// --skip-current: a gateway that already reports the package's version gets the login and
// the version query only, and is reported as skipped.
TEST_F(FleetLeftAlone, SkipCurrentLeavesCurrentGatewaysAlone) {
    const std::string pkg = Package("v301.ssu", 1000);
    CGatewaySim& current = AddSim("cur", [](GatewaySimConfig& c) {
        c.versionText = "KELMORA GW V301\n";
    });
    CGatewaySim& old = AddSim("old");
    const fs::path report = Dir() / "report.json";
    const ProgramRun r = Run({"fleet", "update", QString::fromStdString(pkg), "--gateways",
                              Q(Gateways({&current, &old})), "--skip-current", "--yes", "--report",
                              Q(report)},
                             m_home);
    EXPECT_EQ(r.code, 0) << r.out;
    const auto outcome = ByGateway(ReportOf(report));
    EXPECT_EQ(ResultOf(outcome, Addr(current)), "skipped");
    EXPECT_EQ(outcome.at(Addr(current)).value("versionAfter").toString(), "KELMORA GW V301");
    EXPECT_EQ(ResultOf(outcome, Addr(old)), "ok");
    for (const std::string& t : current.ReceivedTexts()) {
        EXPECT_TRUE(t.rfind("login\n", 0) == 0 || t.rfind("get\n", 0) == 0 ||
                    t.rfind("version\n", 0) == 0)
            << t;
    }
    EXPECT_EQ(old.RebootCount(), 1);
    bool skippedRow = false;
    for (const std::string& line : Lines(r.out))
        skippedRow |= line.rfind(Addr(current) + " ", 0) == 0 && line.find(" skipped ") != std::string::npos;
    EXPECT_TRUE(skippedRow) << r.out;
}

// A gateway that stops answering is asked to stop once --timeout-per-gateway has passed (and
// ended when that does not help); the others are not held up.
TEST_F(FleetLeftAlone, HungGatewayEndsAtTheTimeLimit) {
    const std::string pkg = Package("v301.ssu", 1000);
    CGatewaySim& hung = AddSim("hung", [](GatewaySimConfig& c) {
        c.faults.silentOnCommand = "/etc/vorncmd/apppre";
    });
    CGatewaySim& fine = AddSim("fine");
    const fs::path report = Dir() / "report.json";
    const ProgramRun r = Run({"fleet", "update", QString::fromStdString(pkg), "--gateways",
                              Q(Gateways({&hung, &fine})), "--parallel", "2",
                              "--timeout-per-gateway", "2", "--yes", "--report", Q(report)},
                             m_home);
    EXPECT_EQ(r.code, 1) << r.out;
    const auto outcome = ByGateway(ReportOf(report));
    EXPECT_EQ(ResultOf(outcome, Addr(fine)), "ok");
    const QJsonObject h = outcome.at(Addr(hung));
    EXPECT_EQ(h.value("result").toString(), "failed");
    EXPECT_NE(QJsonDocument(h.value("failure").toArray()).toJson().indexOf("--timeout-per-gateway"),
              -1)
        << Read(report);
    EXPECT_EQ(InstallsRun(hung), 0);
    EXPECT_EQ(Entries(TempDir()), std::vector<std::string>{});
}

// The fleet reads its workers' documented event fields, not their messages: in another
// language the versions, the read-back and the backup's place come out the same.
TEST_F(FleetLeftAlone, OutcomesDoNotDependOnTheLanguageOfTheMessages) {
    const std::string pkg = Package("switch_v301.ssu", 1000);
    CGatewaySim& sim = AddSim("zh");
    const fs::path report = Dir() / "report.json";
    QProcess p;
    QProcessEnvironment env = Env(m_home);
    env.insert("VORN_LANG", "zh_CN");
    p.setProcessEnvironment(env);
    p.start(VORN_UPDATER_PROGRAM,
            {"fleet", "update", QString::fromStdString(pkg), "--gateways", Q(Gateways({&sim})),
             "--yes", "--verify", "--reboot-timeout", "60", "--report", Q(report)});
    ASSERT_TRUE(p.waitForFinished(120000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardOutput().toStdString();
    const QJsonObject o = ByGateway(ReportOf(report)).at(Addr(sim));
    EXPECT_EQ(o.value("result").toString(), "ok");
    EXPECT_EQ(o.value("versionBefore").toString(), "KELMORA GW V300R001");
    EXPECT_EQ(o.value("versionAfter").toString(), "KELMORA GW V301");
    EXPECT_TRUE(o.value("verified").toBool());
    ASSERT_EQ(o.value("backupFiles").toArray().size(), 1);
    EXPECT_TRUE(fs::is_regular_file(o.value("backupFiles")[0].toString().toStdString()));
}

// What a run needs is checked before the first gateway: a TMPDIR too deep for the workers'
// program folders is refused with the way out, and leaves nothing behind.
TEST_F(FleetLeftAlone, TooDeepTempFolderIsRefusedBeforeAnyGateway) {
    const std::string pkg = Package("v301.ssu", 1000);
    CGatewaySim& sim = AddSim("s");
    const fs::path deep = Dir() / std::string(60, 'd') / std::string(60, 'e');
    fs::create_directories(deep);
    QProcess p;
    QProcessEnvironment env = Env(m_home);
    env.insert("TMPDIR", Q(deep));
    p.setProcessEnvironment(env);
    p.start(VORN_UPDATER_PROGRAM, {"fleet", "update", QString::fromStdString(pkg), "--gateways",
                                   Q(Gateways({&sim})), "--yes"});
    ASSERT_TRUE(p.waitForFinished(60000));
    const std::string out = p.readAllStandardOutput().toStdString();
    EXPECT_EQ(p.exitCode(), 1) << out;
    EXPECT_NE(out.find("is too deep for the workers"), std::string::npos) << out;
    EXPECT_NE(out.find("set TMPDIR to a shorter folder; no gateway was contacted"),
              std::string::npos)
        << out;
    EXPECT_TRUE(sim.ReceivedTexts().empty());
    EXPECT_EQ(Entries(deep), std::vector<std::string>{});
}

// The fleet's own output may go away (a closed pipe, a terminal that is gone): the run goes on
// to its end and still writes its report.
TEST_F(FleetLeftAlone, ClosedOutputDoesNotEndTheRun) {
    const std::string pkg = Package("v301.ssu", kSlowImage);
    CGatewaySim& sim = AddSim("s", [](GatewaySimConfig& c) {
        c.faults.uploadBytesPerSecond = kSlowLink * 3;
    });
    const fs::path report = Dir() / "report.json";
    auto p = Start({"fleet", "update", QString::fromStdString(pkg), "--gateways",
                    Q(Gateways({&sim})), "--yes", "--report", Q(report)},
                   m_home);
    p->closeReadChannel(QProcess::StandardOutput);
    p->closeReadChannel(QProcess::StandardError);
    ASSERT_TRUE(p->waitForFinished(120000));
    EXPECT_EQ(p->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p->exitCode(), 0);
    EXPECT_EQ(sim.RebootCount(), 1);
    EXPECT_EQ(ResultOf(ByGateway(ReportOf(report)), Addr(sim)), "ok");
}

// Passwords and package paths reach the workers byte for byte: a password that is not UTF-8
// and has blanks around it logs in at the first try; a package name that is not UTF-8 is the
// one recorded on the gateway.
TEST_F(FleetLeftAlone, BytesReachTheGatewayUnchanged) {
    const std::string password = " \xff\xfe pass\t";
    CGatewaySim& sim = AddSim("s", [&](GatewaySimConfig& c) { c.password = password; });
    const fs::path folder = Dir() / "caf\xe9";
    fs::create_directories(folder);
    // QTemporaryDir cannot remove a name that is not UTF-8.
    struct Remove {
        fs::path p;
        ~Remove() { fs::remove_all(p); }
    } removeAtEnd{folder};
    const std::string pkg = (folder / "v301-\xe9t\xe9.ssu").string();
    fs::rename(Package("v301.ssu", 1000), pkg);
    Write(Dir() / "passwords", Addr(sim) + " " + password + "\n");
    ::chmod((Dir() / "passwords").c_str(), 0600);
    const ProgramRun r = RunBytes({"fleet", "update", pkg, "--gateways", Gateways({&sim}).string(),
                                   "--passwords", (Dir() / "passwords").string(), "--yes"},
                                  m_home);
    ASSERT_EQ(r.code, 0) << r.out << r.err;
    int logins = 0;
    bool named = false;
    for (const std::string& t : sim.ReceivedTexts()) {
        logins += t.rfind("login\n", 0) == 0;
        named |= t.find("'v301-\xe9t\xe9.ssu'") != std::string::npos;
    }
    EXPECT_EQ(logins, 1);
    EXPECT_TRUE(named);
}

// One unpacked package serves every worker: the run folder holds it once, read-only, and no
// worker checks or unpacks its own copy; each gateway still receives exactly what a single
// update sends, for a single and for a combined package.
TEST_F(FleetLeftAlone, OneUnpackedPackageServesEveryWorker) {
    const struct {
        const char* name;
        std::string package;
        const char* unpacked;  // a file of the unpacked package
    } kCases[] = {
        {"single", Package("v301.ssu", 50000), "unpkg/app1"},
        {"combined", CombinedPackage(), "members/1/app1"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        const std::vector<std::string> reference = SingleUpdateTranscript(c.package);
        std::vector<const CGatewaySim*> sims;
        for (int i = 0; i < 3; ++i) sims.push_back(&AddSim(std::string(c.name) + std::to_string(i)));
        const ProgramRun r = Run({"fleet", "update", QString::fromStdString(c.package),
                                  "--gateways", Q(Gateways(sims)), "--parallel", "3", "--yes",
                                  "--keep-work"},
                                 m_home);
        ASSERT_EQ(r.code, 0) << r.out << r.err;
        for (const CGatewaySim* sim : sims) EXPECT_EQ(Transcript(*sim), reference);
        const std::vector<std::string> runs = Entries(TempDir());
        ASSERT_EQ(runs.size(), 1u);
        const fs::path run = TempDir() / runs[0];
        struct stat st {};
        ASSERT_EQ(::stat((run / "unpacked" / c.unpacked).c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0400u);
        for (int g = 1; g <= 3; ++g) {
            const fs::path worker = run / ("g" + std::to_string(g));
            for (const char* own : {"unpkg", "curpkg", "compose_unpkg", "compose_pkg"})
                EXPECT_EQ(Entries(worker / own), std::vector<std::string>{}) << worker / own;
        }
        // --keep-work kept it: made writable again and removed, as the run would have.
        fs::permissions(run, fs::perms::owner_all);
        for (auto it = fs::recursive_directory_iterator(run);
             it != fs::recursive_directory_iterator(); ++it) {
            if (it->is_directory())
                fs::permissions(it->path(), fs::perms::owner_all);
        }
        fs::remove_all(run);
    }
}

}  // namespace
}  // namespace vorn::cli
