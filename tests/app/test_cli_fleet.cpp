// `vornupdater fleet`: the real program against several simulated gateways on 127.0.0.1.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <thread>

#include "app/cli/Cli.h"
#include "app/cli/FleetJournal.h"
#include "app/cli/FleetList.h"
#include "app/cli/FleetMerge.h"
#include "app/cli/FleetReport.h"
#include "lib/StringTable.h"
#include "packages/BackupFile.h"
#include "packages/ZipBridgeLoader.h"
#include "tests/common/FileText.h"
#include "tests/common/TempProgramFolder.h"
#include "tests/common/WaitFor.h"
#include "tools/gateway-sim/CGatewaySim.h"
#include "tools/gateway-sim/SimScripts.h"
#include "tools/mkpkg/PackageWriter.h"
#include "tests/app/FleetRunFixture.h"

namespace vorn::cli {
namespace {

namespace fs = std::filesystem;
using test::Lines;
using test::Read;
using test::Write;

// ---- the input files ----

TEST(FleetList, GatewaysFileLinesAndErrors) {
    std::vector<FleetGateway> list;
    ASSERT_EQ(ParseGatewayList("# site A\n\n10.0.0.1 north gate\n  10.0.0.02:05000\t\n"
                               "10.0.0.3:51111 x#1\r\n",
                               "gw.txt", list),
              "");
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].line, 3);
    EXPECT_EQ(list[0].Key(), "10.0.0.1:51111");
    EXPECT_EQ(list[0].name, "north gate");
    EXPECT_EQ(list[1].Key(), "10.0.0.2:5000");  // canonical, whatever the spelling
    EXPECT_EQ(list[1].name, "");
    EXPECT_EQ(list[2].name, "x#1");

    const struct {
        const char* content;
        const char* error;
    } kBad[] = {
        {"10.0.0.1\n10.0.0.300 bad\n", "gw.txt line 2: bad gateway address '10.0.0.300'"},
        {"10.0.0.1:0\n", "gw.txt line 1: bad gateway address '10.0.0.1:0'"},
        {"gateway.example\n", "gw.txt line 1: bad gateway address 'gateway.example'"},
        {"10.0.0.1\n# x\n10.0.0.01:51111\n",
         "gw.txt line 3: gateway 10.0.0.1:51111 is already listed on line 1"},
        {"# only a comment\n\n", "gw.txt: no gateways listed"},
    };
    for (const auto& c : kBad) {
        std::vector<FleetGateway> out;
        const std::string error = ParseGatewayList(c.content, "gw.txt", out);
        EXPECT_EQ(error.rfind(c.error, 0), 0u) << c.content << " -> " << error;
    }
}

TEST(FleetList, PasswordsFileMustBeOwnerOnly) {
    QTemporaryDir dir;
    const fs::path file = fs::path(dir.path().toStdString()) / "pw";
    Write(file, "# per gateway\n10.0.0.1 se cret\n10.0.0.2:5000 other\n");
    std::map<std::string, std::string> pw;
    ::chmod(file.c_str(), 0640);
    EXPECT_NE(ReadPasswordList(file.string(), pw).find("readable by you only"), std::string::npos);
    ::chmod(file.c_str(), 0604);
    EXPECT_NE(ReadPasswordList(file.string(), pw), "");
    EXPECT_TRUE(pw.empty());
    ::chmod(file.c_str(), 0600);
    ASSERT_EQ(ReadPasswordList(file.string(), pw), "");
    EXPECT_EQ(pw["10.0.0.1:51111"], "se cret");
    EXPECT_EQ(pw["10.0.0.2:5000"], "other");
    Write(file, "10.0.0.1\n");
    EXPECT_EQ(ReadPasswordList(file.string(), pw), file.string() + " line 1: no password");
}

// A password is the rest of its line after one separator, byte for byte: what the gateway
// was given, not a trimmed or re-encoded copy (a wrong one counts towards the lockout).
TEST(FleetList, PasswordsAreTheExactBytesAfterTheSeparator) {
    const struct {
        const char* content;
        const char* key;
        std::string password;
    } kCases[] = {
        {"10.0.0.1  two blanks before\n", "10.0.0.1:51111", " two blanks before"},
        {"10.0.0.1 trailing \t\n", "10.0.0.1:51111", "trailing \t"},
        {"  10.0.0.1\tafter a tab\n", "10.0.0.1:51111", "after a tab"},
        {"10.0.0.1 crlf\r\n", "10.0.0.1:51111", "crlf"},
        {"10.0.0.1 \xff\xfe latin-1 \xe9\n", "10.0.0.1:51111", "\xff\xfe latin-1 \xe9"},
        {"10.0.0.1 #not a comment\n", "10.0.0.1:51111", "#not a comment"},
        {"10.0.0.1  \n", "10.0.0.1:51111", " "},
        {"10.0.0.2:5000 last line without a line feed", "10.0.0.2:5000",
         "last line without a line feed"},
    };
    for (const auto& c : kCases) {
        std::map<std::string, std::string> pw;
        ASSERT_EQ(ParsePasswordList(c.content, "pw", pw), "") << c.content;
        EXPECT_EQ(pw[c.key], c.password) << c.content;
    }
    const struct {
        const char* content;
        const char* error;
    } kBad[] = {
        {"# x\n10.0.0.1\n", "pw line 2: no password"},
        {"10.0.0.1 \n", "pw line 1: no password"},
        {"10.0.0.1 a\rb\n", "pw line 1: a password cannot contain a carriage return"},
        {"10.0.0.1:99999 x\n", "pw line 1: bad gateway address '10.0.0.1:99999'"},
    };
    for (const auto& c : kBad) {
        std::map<std::string, std::string> pw;
        const std::string error = ParsePasswordList(c.content, "pw", pw);
        EXPECT_EQ(error.rfind(c.error, 0), 0u) << c.content << " -> " << error;
    }
}

// Only small regular files are read: a device or a FIFO would never end (or never open), a
// huge file would fill the memory.
TEST(FleetList, ListFilesMustBeSmallRegularFiles) {
    QTemporaryDir dir;
    const fs::path d = dir.path().toStdString();
    ASSERT_EQ(::mkfifo((d / "fifo").c_str(), 0600), 0);
    fs::create_directory(d / "folder");
    Write(d / "huge", std::string(kMaxListFileBytes + 1, '#'));
    Write(d / "limit", "127.0.0.1\n" + std::string(kMaxListFileBytes - 10, '#'));
    for (const fs::path& f : {d / "huge", d / "limit"}) ::chmod(f.c_str(), 0600);
    const struct {
        fs::path path;
        const char* error;  // "" = read
    } kCases[] = {
        {"/dev/zero", "is not a regular file"},
        {d / "fifo", "is not a regular file"},  // no writer: opening must not wait
        {d / "folder", "is not a regular file"},
        {d / "huge", "is larger than 1024 KiB"},
        {d / "missing", "cannot read the"},
        {d / "limit", ""},
    };
    for (const auto& c : kCases) {
        std::vector<FleetGateway> gateways;
        std::map<std::string, std::string> passwords;
        const std::string g = ReadGatewayList(c.path.string(), gateways);
        const std::string p = ReadPasswordList(c.path.string(), passwords);
        if (*c.error == 0) {
            EXPECT_EQ(g, "") << c.path;
            EXPECT_EQ(gateways.size(), 1u);
            EXPECT_NE(p.find("no password"), std::string::npos) << p;  // read, then parsed
            continue;
        }
        EXPECT_NE(g.find(c.error), std::string::npos) << c.path << ": " << g;
        EXPECT_NE(g.find("the gateways file '" + c.path.string() + "'"), std::string::npos) << g;
        EXPECT_NE(p.find(c.error), std::string::npos) << c.path << ": " << p;
        EXPECT_NE(p.find("the passwords file"), std::string::npos) << p;
    }
}

TEST(FleetReport, ProgressInPlaceOnATerminalElseALinePerChange) {
    FleetWorkers workers;
    for (const char* address : {"10.0.0.1", "10.0.0.2:5000"}) {
        FleetGateway g;
        g.address = *ParseAddress(address);
        workers.push_back(std::make_unique<CFleetWorker>(g, "/nonexistent"));
    }
    workers[1]->Status().result = FleetResult::Running;
    workers[1]->Status().activity = "app1";
    workers[1]->Status().percent = 42;

    std::ostringstream tty;
    CFleetProgress inPlace(tty, true, 31);  // lines cut to 30 columns
    inPlace.Show(workers);
    inPlace.Show(workers);
    EXPECT_EQ(tty.str(),
              "\033[2K10.0.0.1:51111: waiting\n\033[2K10.0.0.2:5000: running, app1 4\n"
              "\033[2F\033[2K10.0.0.1:51111: waiting\n\033[2K10.0.0.2:5000: running, app1 4\n");

    std::ostringstream plain;
    CFleetProgress lines(plain, false, 0);
    lines.Show(workers);  // 42 % is between two tenths: not printed; the waiting one neither
    workers[1]->Status().percent = 50;
    lines.Show(workers);
    lines.Show(workers);
    workers[0]->Status().result = FleetResult::Unreachable;
    workers[0]->Status().failure = {"no route\033]0;x"};
    lines.Show(workers);
    EXPECT_EQ(plain.str(),
              "10.0.0.2:5000: running, app1 50%\n"
              "10.0.0.1:51111: unreachable (0.0 s): no route\\x1b]0;x\n");
}

// A worker's outcome is taken when its process has ended, whatever its events said before:
// a result read while the process still ran once left the run waiting for it for ever.
TEST(FleetWorker, OutcomeWaitsForTheProcessToEnd) {
    QTemporaryDir dir;
    const fs::path scratch = fs::path(dir.path().toStdString()) / "g1";
    fs::create_directories(scratch);
    FleetGateway g;
    g.address = *ParseAddress("127.0.0.1");
    CFleetWorker w(g, scratch);
    const std::string script =
        "printf '%s\\n' '{\"type\":\"result\",\"skipped\":true,\"text\":\"\"}'; sleep 1; "
        "printf '%s\\n' '{\"type\":\"exit\",\"code\":0,\"text\":\"\"}'";
    ASSERT_TRUE(w.Start("/bin/sh", {"-c", script}, "pw"));
    ASSERT_TRUE(test::waitFor([&] {
        w.Poll([](const std::string&) {});
        return w.Status().skipped;
    }));
    EXPECT_EQ(w.Status().result, FleetResult::Running);  // its process may still work
    ASSERT_TRUE(test::waitFor([&] { return !w.Running(); }));
    w.Finish();
    EXPECT_EQ(w.Status().result, FleetResult::Skipped);
}

// Backup names say which gateway and which moment: address and port, the name of the
// gateways file made safe for a file name, the version and the time.
TEST(FleetMerge, BackupNamesTellGatewaysApart) {
    std::tm tm{};
    tm.tm_year = 126;
    tm.tm_mon = 11;
    tm.tm_mday = 11;
    tm.tm_hour = 16;
    tm.tm_min = 5;
    tm.tm_sec = 9;
    tm.tm_isdst = -1;
    const std::time_t t = std::mktime(&tm);
    const struct {
        const char* address;
        std::string name;
        const char* version;
        const char* automatic;
        const char* backup;
    } kCases[] = {
        {"10.0.0.1", "", "KELMORA GW V300", "(10.0.0.1-51111)KELMORA GW V300(26.12.11 16-05-09).bcf",
         "kelmora_10.0.0.1-51111_KELMORA GW V300_20261211-160509.bcf"},
        {"10.0.0.1:5000", "north gate", "V1", "(10.0.0.1-5000 north_gate)V1(26.12.11 16-05-09).bcf",
         "kelmora_10.0.0.1-5000_north_gate_V1_20261211-160509.bcf"},
        {"10.0.0.2", "../(a)b\x7c\x1b", "V/2:x", "(10.0.0.2-51111 ..__a_b__)V-2-x(26.12.11 16-05-09).bcf",
         "kelmora_10.0.0.2-51111_..__a_b___V-2-x_20261211-160509.bcf"},
        {"10.0.0.3", std::string(50, 'n'), "", nullptr, nullptr},
        {"10.0.0.4", std::string(39, 'n') + "\xc3\xa9", "", nullptr, nullptr},
    };
    for (const auto& c : kCases) {
        FleetGateway g;
        g.address = *ParseAddress(c.address);
        g.name = c.name;
        const std::string automatic = FleetAutoBackupName(g, c.version, t);
        const std::string backup = FleetBackupName(g, c.version, t);
        if (c.automatic) {
            EXPECT_EQ(automatic, c.automatic);
            EXPECT_EQ(backup, c.backup);
        } else {
            EXPECT_NE(automatic.find(")unknown("), std::string::npos) << automatic;
            EXPECT_NE(backup.find("_unknown_"), std::string::npos) << backup;
        }
        EXPECT_LE(SafeGatewayName(c.name).size(), 40u);
    }
    // A name is never cut inside a character.
    EXPECT_EQ(SafeGatewayName(std::string(39, 'n') + "\xc3\xa9"), std::string(39, 'n'));
}

// Keeping a file never replaces one that is there; a copy that fails leaves nothing behind.
TEST(FleetMerge, KeepFileNeverReplacesAndLeavesNoPart) {
    QTemporaryDir dir;
    const fs::path d = dir.path().toStdString();
    Write(d / "src" / "a.bcf", "new backup");
    Write(d / "kept" / "a.bcf", "earlier backup");
    Write(d / "kept" / "a-2.bcf", "another earlier one");
    std::string error;
    const std::string kept = KeepFile(d / "src" / "a.bcf", d / "kept", "a.bcf", error);
    EXPECT_EQ(kept, (d / "kept" / "a-3.bcf").string()) << error;
    EXPECT_EQ(Read(d / "kept" / "a-3.bcf"), "new backup");
    EXPECT_EQ(Read(d / "kept" / "a.bcf"), "earlier backup");
    EXPECT_EQ(Read(d / "kept" / "a-2.bcf"), "another earlier one");
    EXPECT_EQ(Read(d / "src" / "a.bcf"), "new backup");  // the worker's copy stays

    EXPECT_EQ(KeepFile(d / "src" / "missing.bcf", d / "kept", "m.bcf", error), "");
    EXPECT_NE(error.find("missing.bcf"), std::string::npos);
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(d / "kept")) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"a-2.bcf", "a-3.bcf", "a.bcf"}));
}

// The journal of a killed run may end in a cut line: what was written in full is read.
TEST(FleetJournal, ReadsWhatAKilledRunWrote) {
    QTemporaryDir dir;
    const fs::path run = dir.path().toStdString();
    {
        CFleetJournal journal;
        ASSERT_EQ(journal.Open(run), "");
        ASSERT_TRUE(journal.Write({{"type", "run"}, {"action", "update"}}));
        ASSERT_TRUE(journal.Write({{"type", "start"}, {"index", 0}, {"folder", "g1"}}));
        ASSERT_TRUE(journal.Write({{"type", "start"}, {"index", 1}, {"folder", "g2"}}));
        ASSERT_TRUE(journal.Write(
            {{"type", "end"}, {"index", 0}, {"outcome", QJsonObject{{"result", "ok"}}}}));
    }
    std::ofstream(run / kJournalName, std::ios::app) << R"({"type":"end","index":1,"outc)";
    FleetJournalState state;
    ASSERT_EQ(ReadFleetJournal(run, state), "");
    EXPECT_EQ(state.run.value("action").toString(), "update");
    EXPECT_EQ(state.started.size(), 2u);
    ASSERT_EQ(state.ended.size(), 1u);
    EXPECT_EQ(state.ended.at(0).value("outcome").toObject().value("result").toString(), "ok");
    FleetJournalState none;
    EXPECT_NE(ReadFleetJournal(run / "nothing", none), "");
}

TEST(FleetReport, GatewayTextCannotDriveTheTerminal) {
    EXPECT_EQ(TerminalSafe("V1\033[2J\r\x07ok\x7f"), "V1\\x1b[2J\\x0d\\x07ok\\x7f");
    EXPECT_EQ(TerminalSafe("caf\xC3\xA9 \xC2\x9B"
                           "31m"),
              "caf\xC3\xA9 \\xc2\\x9b31m");  // C1 CSI
}

// Usage errors are found before any gateway is contacted: status 2, the line named.
TEST(FleetCommand, UsageErrors) {
    QTemporaryDir dir;
    const fs::path d = dir.path().toStdString();
    Write(d / "gw", "127.0.0.1:1\n127.0.0.1:2 b\n127.0.0.1:x\n");
    Write(d / "ok", "127.0.0.1:1\n");
    Write(d / "pkg.ssu", "not checked before the usage is");
    Write(d / "pw", "127.0.0.1:1 a\n");
    ::chmod((d / "pw").c_str(), 0644);
    const std::string pkg = (d / "pkg.ssu").string();
    const struct {
        std::vector<std::string> args;
        const char* error;
    } kCases[] = {
        {{"fleet", "update", pkg, "--gateways", (d / "gw").string()}, "line 3: bad gateway"},
        {{"fleet", "update", pkg}, "--gateways FILE"},
        {{"fleet", "update", pkg, "--gateways", "/dev/zero"},
         "the gateways file '/dev/zero' is not a regular file"},
        {{"fleet", "update", pkg, "--gateways", (d / "ok").string(), "-g", "127.0.0.1"}, "not -g"},
        {{"fleet", "update", pkg, "--gateways", (d / "ok").string(), "--parallel", "0"},
         "--parallel takes"},
        {{"fleet", "backup", pkg, "--gateways", (d / "ok").string()}, "takes no package"},
        {{"fleet", "check", pkg, "--gateways", (d / "ok").string(), "--verify"},
         "--verify belongs to fleet update"},
        {{"fleet", "install", pkg, "--gateways", (d / "ok").string()}, "unknown action"},
        {{"fleet", "update", pkg, "--gateways", (d / "ok").string(), "--passwords",
          (d / "pw").string()},
         "readable by you only"},
        {{"fleet", "update", pkg, "--gateways", (d / "ok").string()}, "no gateway password"},
    };
    ::unsetenv("VORN_PASSWORD");
    for (const auto& c : kCases) {
        std::ostringstream out, err;
        CNoTerminal terminal;
        CliEnvironment env{out, err, terminal, false};
        EXPECT_EQ(RunCli(c.args, env), kExitUsage) << c.args.back();
        EXPECT_NE(err.str().find(c.error), std::string::npos) << err.str();
    }
}

// ---- the real program against simulators ----

TEST_F(FleetRun, FaultsStayWithTheirGatewaysAndTheOthersUpdateAsAlone) {
    const std::string pkg = Package("switch_v301.ssu", 300000);
    // What a single update sends, from another installation.
    CGatewaySim& reference = AddSim("ref");
    test::TempProgramFolder refHome;
    for (const char* folder : {"arm_bin", "bin", "bin_harddisk"}) {
        fs::copy(test::DistStartupFolder() / folder, refHome / folder, fs::copy_options::recursive);
    }
    const ProgramRun single =
        Run({"update", QString::fromStdString(pkg), "-g", QString::fromStdString(Addr(reference)),
             "--yes", "--verify", "--reboot-timeout", "60"},
            refHome);
    ASSERT_EQ(single.code, 0) << single.out << single.err;

    CGatewaySim& a = AddSim("sim-1");
    CGatewaySim& b = AddSim("sim-2");
    CGatewaySim& dropped = AddSim("sim-3", [](GatewaySimConfig& c) {
        c.faults.dropAfterUploadBytes = 150000;  // inside the 300 kB image
    });
    CGatewaySim& locked = AddSim("sim-4", [](GatewaySimConfig& c) { c.password = "not-admin"; });
    Write(Dir() / "gateways", "# test fleet\n" + Addr(a) + " first\n" + Addr(dropped) +
                                  " dropper\n\n" + Addr(locked) + "\n" + Addr(b) + " second\n");
    const fs::path report = Dir() / "report.json";
    const ProgramRun fleet = Run({"fleet", "update", QString::fromStdString(pkg), "--gateways",
                                  QString::fromStdString((Dir() / "gateways").string()), "--report",
                                  QString::fromStdString(report.string()), "--yes", "--keep-work",
                                  "--verify", "--reboot-timeout", "60"},
                                 m_home);
    EXPECT_EQ(fleet.code, 1) << fleet.out << fleet.err;

    // The others got exactly what a single update sends: every message and every run of
    // file bytes, in order.
    const auto transcript = [](const CGatewaySim& sim) {
        std::vector<std::string> lines;
        for (const SimTranscriptEntry& e : sim.Transcript()) {
            lines.push_back(e.binary ? "bytes " + std::to_string(e.bytes) : e.text);
        }
        return lines;
    };
    ASSERT_GT(transcript(reference).size(), 20u);
    EXPECT_EQ(transcript(a), transcript(reference));
    EXPECT_EQ(transcript(b), transcript(reference));
    EXPECT_EQ(a.RebootCount(), 1);
    EXPECT_EQ(dropped.RebootCount(), 0);

    const auto outcome = ByGateway(ReportOf(report));
    ASSERT_EQ(outcome.size(), 4u) << Read(report);
    EXPECT_EQ(outcome.at(Addr(a)).value("result").toString(), "ok");
    EXPECT_EQ(outcome.at(Addr(a)).value("name").toString(), "first");
    EXPECT_EQ(outcome.at(Addr(a)).value("versionBefore").toString(), "KELMORA GW V300R001");
    EXPECT_EQ(outcome.at(Addr(b)).value("result").toString(), "ok");
    EXPECT_EQ(outcome.at(Addr(b)).value("versionAfter").toString(), "KELMORA GW V301");
    EXPECT_TRUE(outcome.at(Addr(b)).value("verified").toBool());
    const QJsonObject drop = outcome.at(Addr(dropped));
    EXPECT_EQ(drop.value("result").toString(), "failed");
    EXPECT_FALSE(drop.value("failure").toArray().isEmpty()) << Read(report);
    EXPECT_FALSE(drop.value("log").toArray().isEmpty()) << Read(report);
    EXPECT_EQ(outcome.at(Addr(locked)).value("result").toString(), "unreachable");
    EXPECT_EQ(outcome.at(Addr(locked)).value("exitCode").toInt(), 3);

    // The table at the end, one row per gateway.
    for (const auto& [addr, result] : std::map<std::string, std::string>{
             {Addr(a), "ok"}, {Addr(dropped), "failed"}, {Addr(locked), "unreachable"}}) {
        bool row = false;
        for (const std::string& line : Lines(fleet.out)) {
            row |= line.rfind(addr + " ", 0) == 0 &&
                   line.find(" " + result + " ") != std::string::npos;
        }
        EXPECT_TRUE(row) << addr << "\n" << fleet.out;
    }

    // The package store of the real program folder moved on once.
    EXPECT_TRUE(fs::exists(m_home / "curpkg" / "switch_v301.ssu"));

    // One local history line per success, in the real program folder.
    const auto history = Lines(Read(m_home / "updhistory" / "localhistory"));
    EXPECT_EQ(history.size(), 2u) << Read(m_home / "updhistory" / "localhistory");
    for (const auto& line : history)
        EXPECT_NE(line.find("package: switch_v301.ssu"), std::string::npos);

    // Every gateway worked in a folder of its own: each automatic backup (taken before the
    // update, so the dropped link has one too) holds its own gateway's configuration, and
    // all of them reached the real folder.
    const std::string kept = "Working folders kept in ";
    const std::size_t at = fleet.out.find(kept);
    ASSERT_NE(at, std::string::npos) << fleet.out;
    const fs::path work =
        fleet.out.substr(at + kept.size(), fleet.out.find('\n', at) - at - kept.size());
    const auto backups = [](const fs::path& folder) {
        std::multiset<std::string> saved;
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(folder, ec)) {
            std::string version;
            EXPECT_TRUE(VerifyBackupFile(e.path().string(), version)) << e.path();
            saved.insert(version);
        }
        return saved;
    };
    using Set = std::multiset<std::string>;
    EXPECT_EQ(backups(work / "g1" / "autobak"), Set{"KELMORA GW sim-1"});
    EXPECT_EQ(backups(work / "g2" / "autobak"), Set{"KELMORA GW sim-3"});
    EXPECT_EQ(backups(work / "g3" / "autobak"), Set{});
    EXPECT_EQ(backups(work / "g4" / "autobak"), Set{"KELMORA GW sim-2"});
    EXPECT_EQ(backups(m_home / "autobak"),
              (Set{"KELMORA GW sim-1", "KELMORA GW sim-2", "KELMORA GW sim-3"}));
    fs::remove_all(work);
}

// Ctrl-C at the terminal (SIGINT to the whole foreground group): the running gateway ends its
// update, no further one starts, the report is still written.
TEST_F(FleetRun, InterruptLetsTheRunningUpdateFinish) {
    const std::string pkg = Package("v301.ssu", 1000);
    CGatewaySim& slow = AddSim("slow");
    std::atomic<bool> checking{false};
    slow.AddCommand("/etc/vorncmd/apppre", [&](const SimCommandRequest&, const CSimFileSystem&) {
        checking = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        return SimCommandReply{};
    });
    CGatewaySim& second = AddSim("second");
    CGatewaySim& third = AddSim("third");
    Write(Dir() / "gateways", Addr(slow) + "\n" + Addr(second) + "\n" + Addr(third) + "\n");
    const fs::path report = Dir() / "report.json";
    QProcess p;
    p.setProcessEnvironment(Env(m_home));
    p.setChildProcessModifier([] { ::setpgid(0, 0); });
    p.start(VORN_UPDATER_PROGRAM,
            {"fleet", "update", QString::fromStdString(pkg), "--gateways",
             QString::fromStdString((Dir() / "gateways").string()), "--parallel", "1", "--yes",
             "--report", QString::fromStdString(report.string())});
    ASSERT_TRUE(p.waitForStarted());
    ASSERT_TRUE(test::waitFor([&] { return checking.load(); }, 60000));
    ::kill(-static_cast<pid_t>(p.processId()), SIGINT);
    ASSERT_TRUE(p.waitForFinished(120000));
    const std::string out = p.readAllStandardOutput().toStdString();
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 1) << out;
    EXPECT_NE(out.find("interrupted: no further gateway is started"), std::string::npos) << out;

    const QJsonObject r = ReportOf(report);
    EXPECT_TRUE(r.value("interrupted").toBool());
    const auto outcome = ByGateway(r);
    EXPECT_EQ(outcome.at(Addr(slow)).value("result").toString(), "ok") << Read(report);
    EXPECT_EQ(slow.RebootCount(), 1);
    EXPECT_EQ(outcome.at(Addr(second)).value("result").toString(), "not started");
    EXPECT_EQ(outcome.at(Addr(third)).value("result").toString(), "not started");
    EXPECT_TRUE(second.ReceivedTexts().empty());
    EXPECT_TRUE(third.ReceivedTexts().empty());
}

// The login lockout counts per address across runs, in the real program folder; a run in
// which no gateway could be reached ends with status 3.
TEST_F(FleetRun, LockoutPerAddressAndNoneReachable) {
    const std::string pkg = Package("v301.ssu", 1000);
    CGatewaySim& wrong = AddSim("wrong", [](GatewaySimConfig& c) { c.password = "secret"; });
    CGatewaySim& good = AddSim("good");
    Write(Dir() / "one", Addr(wrong) + "\n");
    Write(Dir() / "both", Addr(wrong) + " w\n" + Addr(good) + " g\n");
    const auto check = [&](const char* list) {
        return Run({"fleet", "check", QString::fromStdString(pkg), "--gateways",
                    QString::fromStdString((Dir() / list).string())},
                   m_home);
    };
    for (int i = 0; i < 5; ++i) {
        const ProgramRun r = check("one");
        ASSERT_EQ(r.code, 3) << r.out << r.err;
    }
    const auto logins = [](const CGatewaySim& sim) {
        int n = 0;
        for (const auto& t : sim.ReceivedTexts()) n += t.rfind("login\n", 0) == 0;
        return n;
    };
    EXPECT_EQ(logins(wrong), 5);
    const ProgramRun r = check("both");
    EXPECT_EQ(r.code, 1) << r.out;
    EXPECT_EQ(logins(wrong), 5);  // locked: not even tried
    bool lockedRow = false, okRow = false;
    for (const std::string& line : Lines(r.out)) {
        lockedRow |=
            line.rfind(Addr(wrong) + "  w ", 0) == 0 && line.find(" locked ") != std::string::npos;
        okRow |= line.rfind(Addr(good) + "  g ", 0) == 0 && line.find(" ok ") != std::string::npos;
    }
    EXPECT_TRUE(lockedRow && okRow) << r.out;
}

// fleet backup: one file per gateway, named with the port when it is not the usual one;
// passwords per gateway or shared; --json gives every event with its gateway.
TEST_F(FleetRun, BackupOfEveryGatewayWithJsonEvents) {
    CGatewaySim& a = AddSim("a");
    CGatewaySim& b = AddSim("b", [](GatewaySimConfig& c) { c.password = "b's own"; });
    Write(Dir() / "gateways", Addr(a) + "\n" + Addr(b) + "\n");
    // b's password from the passwords file, a's from VORN_PASSWORD.
    Write(Dir() / "passwords", Addr(b) + " b's own\n");
    ::chmod((Dir() / "passwords").c_str(), 0600);
    const fs::path folder = Dir() / "saved";
    const ProgramRun r =
        Run({"fleet", "backup", "--gateways", QString::fromStdString((Dir() / "gateways").string()),
             "-o", QString::fromStdString(folder.string()), "--json", "--passwords",
             QString::fromStdString((Dir() / "passwords").string())},
            m_home);
    ASSERT_EQ(r.code, 0) << r.out << r.err;
    std::multiset<std::string> saved;
    for (const auto& e : fs::directory_iterator(folder)) {
        std::string version;
        EXPECT_TRUE(VerifyBackupFile(e.path().string(), version)) << e.path();
        saved.insert(version);
        const std::string name = e.path().filename().string();
        EXPECT_TRUE(name.rfind("kelmora_127.0.0.1-" + std::to_string(a.Port()) + "_", 0) == 0 ||
                    name.rfind("kelmora_127.0.0.1-" + std::to_string(b.Port()) + "_", 0) == 0)
            << name;
    }
    EXPECT_EQ(saved, (std::multiset<std::string>{"KELMORA GW a", "KELMORA GW b"}));

    std::map<std::string, int> events;
    std::string exit;
    for (const std::string& line : Lines(r.out)) {
        const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
        ASSERT_FALSE(o.isEmpty()) << line;
        const std::string type = o.value("type").toString().toStdString();
        if (type == "exit") {
            exit = line;
            continue;
        }
        ++events[o.value("gateway").toString().toStdString()];
        if (type == "gateway") {
            EXPECT_EQ(o.value("result").toString(), "ok") << line;
        }
    }
    EXPECT_EQ(events.size(), 2u);  // every other event names one of the two gateways
    EXPECT_GT(events[Addr(a)], 3);
    EXPECT_GT(events[Addr(b)], 3);
    EXPECT_EQ(exit, R"({"code":0,"text":"","type":"exit"})");
}

// The package is checked once, before any gateway is contacted.
TEST_F(FleetRun, DamagedPackageContactsNoGateway) {
    CGatewaySim& sim = AddSim("any");
    std::string body = Read(Package("v301.ssu", 1000));
    body[body.size() / 2] ^= 0x55;
    Write(Dir() / "damaged.ssu", body);
    Write(Dir() / "gateways", Addr(sim) + "\n");
    const ProgramRun r =
        Run({"fleet", "update", QString::fromStdString((Dir() / "damaged.ssu").string()),
             "--gateways", QString::fromStdString((Dir() / "gateways").string()), "--yes"},
            m_home);
    EXPECT_EQ(r.code, 1) << r.out << r.err;
    EXPECT_NE(r.out.find("the package cannot be used; no gateway was contacted"), std::string::npos)
        << r.out;
    EXPECT_TRUE(sim.ReceivedTexts().empty());
}

}  // namespace
}  // namespace vorn::cli
