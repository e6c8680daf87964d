// The documented --json events of the gateway commands (docs/cli-json.md): the login's fields,
// the "result" of update, check, backup, restore and inspect, and --skip-current, in-process
// against the simulator.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "app/cli/Cli.h"
#include "lib/StringTable.h"
#include "lib/Text.h"
#include "packages/ZipBridgeLoader.h"
#include "platform/ProgramFolder.h"
#include "tests/common/UpdateSupport.h"
#include "tools/gateway-sim/CGatewaySim.h"
#include "tools/gateway-sim/SimScripts.h"
#include "tools/mkpkg/PackageWriter.h"

namespace vorn::cli {
namespace {

namespace fs = std::filesystem;

const std::vector<std::string> kLoginOnly = {"login\npasswd:admin\nflage:HandleVersion\n",
                                             "get\nfile:/app/appversion\n",
                                             "version\nvalue:1568\n"};

void Write(const fs::path& p, const std::string& data) {
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << data;
}

std::string Read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string S(const QJsonValue& v) {
    return v.toString().toStdString();
}

class CliJson : public ::testing::Test {
protected:
    void SetUp() override {
        SetLanguage(Language::English);
        SetProgramFolderForTests(Dir() / "prog");
        test::InstallHelperScripts(Dir() / "prog", VORN_SOURCE_DIR);
        Write(Dir() / "pw", "admin\n");
        ::unsetenv("VORN_PASSWORD");
        std::string error;
        ASSERT_TRUE(LoadZipBridge(error, VORN_ZIPBRIDGE_PATH)) << error;
        StartSim("KELMORA GW V300R001\n");
    }
    void TearDown() override {
        m_sim->Stop();
        SetProgramFolderForTests({});
    }
    void StartSim(const std::string& version) {
        if (m_sim)
            m_sim->Stop();
        GatewaySimConfig cfg;
        cfg.root = Dir() / ("root" + std::to_string(++m_sims));
        cfg.rebootRefuseMs = 300;
        cfg.versionText = version;
        m_sim = std::make_unique<CGatewaySim>(cfg);
        AddScriptCommands(*m_sim);
        ASSERT_TRUE(m_sim->Start()) << m_sim->LastError();
    }
    fs::path Dir() const { return m_dir.path().toStdString(); }

    // Runs a command with --json against the simulator; the events it printed are in m_events.
    int Run(std::vector<std::string> line, bool withGateway = true) {
        line.push_back("--json");
        if (withGateway) {
            line.insert(line.end(), {"-g", "127.0.0.1:" + std::to_string(m_sim->Port()),
                                     "--password-file", (Dir() / "pw").string()});
        }
        m_out.str("");
        m_err.str("");
        m_sent = m_sim->ReceivedTexts().size();
        CliEnvironment env{m_out, m_err, m_terminal, false};
        const int rc = RunCli(line, env);
        m_events.clear();
        std::istringstream in(m_out.str());
        for (std::string l; std::getline(in, l);) {
            const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(l));
            EXPECT_TRUE(doc.isObject()) << "not a JSON object: " << l;
            m_events.push_back(doc.object());
        }
        return rc;
    }
    // The events of one type, in order.
    std::vector<QJsonObject> Events(const char* type) const {
        std::vector<QJsonObject> v;
        for (const QJsonObject& e : m_events) {
            if (e.value("type") == type)
                v.push_back(e);
        }
        return v;
    }
    // The one "result" event, which comes right before the closing "exit".
    QJsonObject Result() const {
        EXPECT_GE(m_events.size(), 2u);
        EXPECT_EQ(Events("result").size(), 1u) << m_out.str();
        if (m_events.size() < 2)
            return {};
        EXPECT_EQ(m_events.back().value("type"), "exit");
        EXPECT_EQ(m_events[m_events.size() - 2].value("type"), "result") << m_out.str();
        return m_events[m_events.size() - 2];
    }
    std::vector<std::string> Failures() const {
        std::vector<std::string> v;
        for (const QJsonValue& f : Result().value("failure").toArray()) v.push_back(S(f));
        return v;
    }
    bool FailureHas(const std::string& text) const {
        for (const std::string& f : Failures()) {
            if (f.find(text) != std::string::npos)
                return true;
        }
        return false;
    }
    // What the gateway received during the last Run.
    bool SimReceivedAfter(const std::string& text) const {
        const std::vector<std::string> sent = SentByLastRun();
        return std::find(sent.begin(), sent.end(), text) != sent.end();
    }
    std::vector<std::string> SentByLastRun() const {
        const std::vector<std::string> all = m_sim->ReceivedTexts();
        return {all.begin() + static_cast<long>(std::min(m_sent, all.size())), all.end()};
    }
    std::string Package(const std::string& name, std::map<std::string, std::string> extra = {}) {
        return test::BuildSinglePackage(Dir(), name, extra);
    }
    std::string Member(const std::string& version, bool restart) {
        const std::string file = Package("member-" + version + ".ssu",
                                         {{"appversion", version + "\n"},
                                          {"app1", "#sim: version " + version + "\nimage"},
                                          {"package.conf", std::string("[restart]\nneedrestart=") +
                                                               (restart ? "yes" : "no") + "\n"}});
        return Read(file);
    }
    std::string Combined(const std::string& name, const std::string& lastVersion) {
        const fs::path src = Dir() / (name + ".d");
        Write(src / "upgrade.conf",
              "[Total]\ncount=3\n[1]\ntype=1\nname=a.ssu\nappversion=A\n[2]\ntype=3\nname=s.sh\n"
              "[3]\ntype=1\nname=b.ssu\nappversion=B\n");
        Write(src / "readme.txt", "Combined.\n");
        Write(src / "a.ssu", Member("KELMORA GW V300R009", false));
        Write(src / "s.sh", "#!/bin/sh\n");
        Write(src / "b.ssu", Member(lastVersion, true));
        std::string error;
        EXPECT_TRUE(BuildPackage(src.string(), (Dir() / name).string(), "", error)) << error;
        return (Dir() / name).string();
    }

    QTemporaryDir m_dir;
    std::unique_ptr<CGatewaySim> m_sim;
    int m_sims = 0;
    std::size_t m_sent = 0;
    std::ostringstream m_out, m_err;
    CNoTerminal m_terminal;
    std::vector<QJsonObject> m_events;
};

TEST_F(CliJson, LoginAndConnectCarryLayoutAndProductLine) {
    struct Case {
        const char* version;
        const char* layout;
        int flag;
        int productLine;
    };
    for (const Case& c : std::vector<Case>{
             {"KELMORA GW V300R001", "/etc", 1, 0},
             {"KELMORA-GW-2100 V5", "/etc", 1, 4},
             {"KELMORA-SERVER V2", "/etc", 1, 5},
             {"EDGE-ARM V1", "/var", 0, 3},
         }) {
        SCOPED_TRACE(c.version);
        StartSim(std::string(c.version) + "\nbuild 7\n");
        ASSERT_EQ(Run({"connect"}), 0) << m_out.str();
        ASSERT_EQ(Events("login").size(), 1u);
        ASSERT_EQ(Events("version").size(), 1u);
        for (const QJsonObject& e : {Events("login")[0], Events("version")[0], Result()}) {
            EXPECT_EQ(S(e.value("version")), c.version);
            EXPECT_EQ(S(e.value("layout")), c.layout);
            EXPECT_EQ(e.value("layout_flag").toInt(-1), c.flag);
            EXPECT_EQ(e.value("product_line").toInt(-1), c.productLine);
            EXPECT_EQ(e.value("protocol").toInt(), 0x300);
        }
        // The fields callers read before stay as they were.
        EXPECT_EQ(S(Events("version")[0].value("text")), c.version);
        EXPECT_EQ(Events("login")[0].value("port").toInt(), m_sim->Port());
        EXPECT_EQ(S(Events("login")[0].value("address")), "127.0.0.1");
        const QJsonObject r = Result();
        EXPECT_EQ(S(r.value("command")), "connect");
        EXPECT_TRUE(r.value("ok").toBool());
        EXPECT_EQ(S(r.value("version_before")), c.version);
        EXPECT_EQ(SentByLastRun(), kLoginOnly);
    }
}

TEST_F(CliJson, SkipCurrentSendsNothingButTheLogin) {
    struct Case {
        const char* gateway;  // what the gateway reports
        const char* package;  // the package's "appversion"
        bool current;
    };
    for (const Case& c : std::vector<Case>{
             {"KELMORA GW V301", "KELMORA GW V301", true},
             {"dravel GW V301", "Kelmora GW V301\r", true},
             {"KELMORA GW V300R001", "KELMORA GW V301", false},
             {"KELMORA GW V3011", "KELMORA GW V301", false},
         }) {
        SCOPED_TRACE(std::string(c.gateway) + " / " + c.package);
        StartSim(std::string(c.gateway) + "\n");
        const std::string pkg =
            Package("p.ssu", {{"appversion", std::string(c.package) + "\n"},
                              {"app1", std::string("#sim: version ") + c.package + "\nimage"}});
        ASSERT_EQ(Run({"update", pkg, "--yes", "--skip-current"}), 0) << m_out.str();
        const QJsonObject r = Result();
        EXPECT_EQ(r.value("current").toBool(), c.current);
        EXPECT_EQ(r.value("skipped").toBool(), c.current);
        EXPECT_EQ(r.value("changed").toBool(), !c.current);
        EXPECT_EQ(S(r.value("version_before")), NormalizeVendorName(c.gateway));
        if (c.current) {
            EXPECT_EQ(SentByLastRun(), kLoginOnly);
            EXPECT_EQ(m_sim->RebootCount(), 0);
        } else {
            EXPECT_TRUE(SimReceivedAfter("put\nfile:/stmp/app\n"));
        }
        // connect --package asks the same question and sends only the login.
        StartSim(std::string(c.gateway) + "\n");
        ASSERT_EQ(Run({"connect", "--package", pkg}), 0) << m_out.str();
        EXPECT_EQ(Result().value("current").toBool(), c.current);
        EXPECT_EQ(S(Result().value("package_version")), NormalizeVendorName(c.package));
        EXPECT_EQ(SentByLastRun(), kLoginOnly);
        if (!c.current)
            continue;
        // The check compares with the same rule and runs no pre-upgrade check when current.
        ASSERT_EQ(Run({"check", pkg, "--skip-current"}), 0) << m_out.str();
        EXPECT_TRUE(Result().value("current").toBool());
        EXPECT_FALSE(Result().value("check_run").toBool());
        EXPECT_TRUE(Result().value("passed").isNull());
        EXPECT_EQ(SentByLastRun(), kLoginOnly);
    }
}

TEST_F(CliJson, UpdateResultFields) {
    struct Case {
        const char* name;
        std::map<std::string, std::string> members;
        std::vector<std::string> flags;
        int exit;
        bool changed;
        QJsonValue versionAfter;
        bool read;
        const char* failure;  // a text the failure list holds, or ""
    };
    const std::vector<Case> cases = {
        {"verified", {}, {"--yes", "--verify", "--reboot-timeout", "20"}, 0, true,
         "KELMORA GW V301", true, ""},
        {"assumed", {}, {"--yes"}, 0, true, "KELMORA GW V301", false, ""},
        {"install script fails",
         {{"appsh1", "#sim: fail flash write error\n"}},
         {"--yes"},
         1,
         true,
         QJsonValue::Null,
         false,
         "flash write error"},
        {"read back differs",
         {{"app1", "no version marker"}},
         {"--yes", "--verify", "--reboot-timeout", "20"},
         1,
         true,
         "KELMORA GW V300R001",
         true,
         "expected 'KELMORA GW V301'"},
        {"not confirmed", {}, {}, 1, false, QJsonValue::Null, false, ""},
        {"pre-check refuses",
         {{"apppre", "#sim: fail wrong hardware\n"}},
         {"--yes", "--pre-check"},
         1,
         false,
         QJsonValue::Null,
         false,
         "wrong hardware"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StartSim("KELMORA GW V300R001\n");
        std::vector<std::string> line = {"update", Package("v301.ssu", c.members)};
        line.insert(line.end(), c.flags.begin(), c.flags.end());
        EXPECT_EQ(Run(line), c.exit) << m_out.str();
        const QJsonObject r = Result();
        EXPECT_EQ(S(r.value("command")), "update");
        EXPECT_EQ(r.value("ok").toBool(), c.exit == 0);
        EXPECT_EQ(r.value("exit_code").toInt(), c.exit);
        EXPECT_EQ(S(r.value("kind")), "single");
        EXPECT_EQ(S(r.value("package")), (Dir() / "v301.ssu").string());
        EXPECT_EQ(S(r.value("version_before")), "KELMORA GW V300R001");
        EXPECT_EQ(r.value("changed").toBool(), c.changed);
        EXPECT_EQ(r.value("version_after"), c.versionAfter) << m_out.str();
        EXPECT_EQ(r.value("version_after_read").toBool(), c.read);
        EXPECT_TRUE(r.value("backup_file").isNull());
        EXPECT_FALSE(r.value("skipped").toBool());
        EXPECT_EQ(Failures().empty(), c.exit == 0);
        if (*c.failure) {
            EXPECT_TRUE(FailureHas(c.failure)) << m_out.str();
        }
        if (!c.changed) {
            EXPECT_FALSE(SimReceivedAfter("put\nfile:/stmp/app\n"));
        }
    }
}

TEST_F(CliJson, SwitchPackageReportsItsAutomaticBackup) {
    Write(m_sim->LocalPath("/config/cfg"), "hostname=site1\n");
    ASSERT_EQ(Run({"update", Package("switch_v301.ssu"), "--yes"}), 0) << m_out.str();
    const QJsonObject r = Result();
    const fs::path backup = S(r.value("backup_file"));
    EXPECT_EQ(backup.parent_path(), Dir() / "prog" / "autobak") << m_out.str();
    EXPECT_TRUE(fs::is_regular_file(backup));
    EXPECT_EQ(Read(backup).substr(0, 2), "PK");
}

TEST_F(CliJson, CheckResult) {
    ASSERT_EQ(Run({"check", Package("good.ssu")}), 0) << m_out.str();
    EXPECT_TRUE(Result().value("passed").toBool());
    EXPECT_TRUE(Result().value("check_run").toBool());
    EXPECT_EQ(S(Result().value("package_version")), "KELMORA GW V301");

    ASSERT_EQ(Run({"check", Package("bad.ssu", {{"apppre", "#sim: fail no space left\n"}})}), 1);
    EXPECT_FALSE(Result().value("passed").toBool());
    EXPECT_TRUE(Result().value("check_run").toBool());
    EXPECT_TRUE(FailureHas("no space left")) << m_out.str();
    EXPECT_FALSE(SimReceivedAfter("put\nfile:/stmp/app\n"));
}

TEST_F(CliJson, BackupAndRestoreResults) {
    Write(m_sim->LocalPath("/config/cfg"), "hostname=mine\n");
    const fs::path bcf = Dir() / "saved.bcf";
    ASSERT_EQ(Run({"backup", "-o", bcf.string()}), 0) << m_out.str();
    EXPECT_EQ(S(Result().value("backup_file")), bcf.string());

    // A gateway that runs another version: the restore's version question decides.
    struct Case {
        std::vector<std::string> flags;
        int exit;
        bool restored;
    };
    for (const Case& c : std::vector<Case>{
             {{"--yes", "--other-version", "no"}, 1, false},
             {{"--other-version", "yes"}, 1, false},  // the first question still needs --yes
             {{"--yes", "--other-version", "yes"}, 0, true},
             {{"--yes"}, 0, true},  // --yes alone answers both, as before
         }) {
        SCOPED_TRACE(::testing::PrintToString(c.flags));
        StartSim("KELMORA GW V301\n");
        Write(m_sim->LocalPath("/config/cfg"), "hostname=changed\n");
        std::vector<std::string> line = {"restore", bcf.string()};
        line.insert(line.end(), c.flags.begin(), c.flags.end());
        EXPECT_EQ(Run(line), c.exit) << m_out.str();
        const QJsonObject r = Result();
        EXPECT_EQ(S(r.value("backup_version")), "KELMORA GW V300R001");
        EXPECT_TRUE(r.value("other_version").toBool());
        EXPECT_EQ(r.value("changed").toBool(), c.restored);
        EXPECT_EQ(Read(m_sim->LocalPath("/config/cfg")),
                  c.restored ? "hostname=mine\n" : "hostname=changed\n");
        if (!c.restored) {
            EXPECT_EQ(SentByLastRun(), kLoginOnly);
        }
    }
    EXPECT_EQ(Run({"restore", bcf.string(), "--other-version", "maybe"}), kExitUsage);
}

TEST_F(CliJson, CombinedUpdateVerifiesTheLastMembersVersion) {
    const std::string pkg = Combined("two.cssu", "KELMORA GW V305");
    ASSERT_EQ(Run({"update", pkg, "--yes", "--verify", "--reboot-timeout", "20"}), 0)
        << m_out.str();
    QJsonObject r = Result();
    EXPECT_EQ(S(r.value("kind")), "combined");
    EXPECT_EQ(S(r.value("version_after")), "KELMORA GW V305");
    EXPECT_TRUE(r.value("version_after_read").toBool());
    EXPECT_TRUE(r.value("changed").toBool());
    EXPECT_EQ(S(r.value("package_version")), "KELMORA GW V305");

    ASSERT_EQ(Run({"update", pkg, "--yes", "--skip-current"}), 0) << m_out.str();
    r = Result();
    EXPECT_TRUE(r.value("skipped").toBool());
    EXPECT_EQ(S(r.value("package_version")), "KELMORA GW V305");
    EXPECT_EQ(SentByLastRun(), kLoginOnly);
    // A combined package has no pre-upgrade check: its check compares the versions only.
    ASSERT_EQ(Run({"check", pkg}), 0) << m_out.str();
    EXPECT_TRUE(Result().value("current").toBool());
    EXPECT_FALSE(Result().value("check_run").toBool());
    EXPECT_EQ(SentByLastRun(), kLoginOnly);
}

TEST_F(CliJson, InspectReportsKindAndTargetVersion) {
    ASSERT_EQ(Run({"backup", "-o", (Dir() / "b.bcf").string()}), 0) << m_out.str();
    Write(Dir() / "junk.bcf", "not an archive");
    Write(Dir() / "junk.ssu", "not a package at all, but long enough to be read as one......");
    struct Case {
        std::string file;
        int exit;
        const char* kind;
        QJsonValue version;
    };
    for (const Case& c : std::vector<Case>{
             {Package("one.ssu"), 0, "single", "KELMORA GW V301"},
             {Combined("c.cssu", "KELMORA GW V309"), 0, "combined", "KELMORA GW V309"},
             {(Dir() / "b.bcf").string(), 0, "backup", "KELMORA GW V300R001"},
             {(Dir() / "junk.bcf").string(), 1, "backup", QJsonValue::Null},
             {(Dir() / "junk.ssu").string(), 1, "single", QJsonValue::Null},
         }) {
        SCOPED_TRACE(c.file);
        EXPECT_EQ(Run({"inspect", c.file}, false), c.exit) << m_out.str();
        ASSERT_EQ(Events("package").size(), 1u);
        const QJsonObject p = Events("package")[0];
        EXPECT_EQ(S(p.value("kind")), c.kind);
        EXPECT_EQ(p.value("version"), c.version);
        EXPECT_EQ(p.value("valid").toBool(), c.exit == 0);
        EXPECT_EQ(p.value("reason").isNull(), c.exit == 0);
        EXPECT_EQ(Result().value("ok").toBool(), c.exit == 0);
    }
    // Inspecting never touches the program's own package store.
    EXPECT_FALSE(fs::exists(Dir() / "prog" / "curpkg" / "one.ssu"));
}

TEST_F(CliJson, UsageErrorsEndWithAResult) {
    EXPECT_EQ(Run({"update"}, false), kExitUsage);
    EXPECT_EQ(S(Result().value("command")), "update");
    EXPECT_FALSE(Result().value("ok").toBool());
    EXPECT_EQ(Result().value("exit_code").toInt(), kExitUsage);
    EXPECT_FALSE(Failures().empty());
}

}  // namespace
}  // namespace vorn::cli
