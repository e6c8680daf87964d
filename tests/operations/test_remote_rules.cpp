// Remote paths per layout, shell quoting, the helper scripts and the wizard's update events.
#include <gtest/gtest.h>

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "lib/StringTable.h"
#include "lib/WorkFolders.h"
#include "operations/CMainFrame.h"
#include "operations/CUpdateEvents.h"
#include "operations/RemotePaths.h"
#include "tests/common/RecordingOperator.h"
#include "tests/common/TempProgramFolder.h"
#include "tools/gateway-sim/SimScripts.h"

namespace vorn::test {
namespace {

namespace fs = std::filesystem;

TEST(RemotePaths, LayoutsAndHelperFolders) {
    struct Case {
        int flag, productLine;
        const char* prefix;
        const char* helper;
        const char* history;
    } cases[] = {
        {0, 0, "/var/vorncmd/", "arm_bin", "/sbin/updhistory.sh"},
        {0, 4, "/var/vorncmd/", "arm_bin", "/sbin/updhistory.sh"},
        {1, 0, "/etc/vorncmd/", "bin", "/usr/sbin/updhistory.sh"},
        {1, 4, "/etc/vorncmd/", "bin_harddisk", "/usr/sbin/updhistory.sh"},
        {1, 5, "/etc/vorncmd/", "bin_harddisk", "/usr/sbin/updhistory.sh"},
        {1, 8, "/etc/vorncmd/", "bin", "/usr/sbin/updhistory.sh"},
    };
    for (const Case& c : cases) {
        const RemotePaths p = RemotePathsFor(c.flag, c.productLine);
        const std::string pre = c.prefix;
        for (const auto& [slot, name] :
             std::vector<std::pair<std::string, std::string>>{{p.apppre, "apppre"},
                                                              {p.appsh, "appsh"},
                                                              {p.cfgpre, "cfgpre"},
                                                              {p.cfgsh, "cfgsh"},
                                                              {p.prercovcfgsh, "prercovcfgsh"},
                                                              {p.rcovcfgsh, "rcovcfgsh"},
                                                              {p.bakcfgsh, "bakcfgsh"},
                                                              {p.result, "result"},
                                                              {p.resultTime, "result_time"},
                                                              {p.composeScript, "compose.sh"}}) {
            EXPECT_EQ(slot, pre + name);
        }
        EXPECT_EQ(p.helperFolder, c.helper);
        EXPECT_EQ(p.historyScript, c.history);
    }
}

TEST(RemotePaths, QuotingKeepsNamesWhole) {
    EXPECT_EQ(HistoryScriptCommand("/sbin/updhistory.sh", "a.ssu"), "/sbin/updhistory.sh 'a.ssu'");
    EXPECT_EQ(ShellQuote("it's"), "'it'\\''s'");
    for (const std::string name :
         {"plain.ssu", "it's.ssu", "'; reboot; '.ssu", "a b$(x)`y`\".ssu", "%s%n"}) {
        const auto words = SplitShellWords(HistoryScriptCommand("/x", name));
        ASSERT_EQ(words.size(), 2u) << name;
        EXPECT_EQ(words[1], name);
    }
    EXPECT_NE(FactoryHistoryCommand("it's.ssu").find("echo 'package name: it'\\''s.ssu' >> "),
              std::string::npos);
}

// ---------------------------------------------------------------------------------------------
// The helper scripts shipped for gateways.

const char* const kScripts[] = {"updhistory.sh", "bakcfgsh", "prercovcfgsh", "rcovcfgsh"};

fs::path Script(const char* name) {
    return fs::path(VORN_SOURCE_DIR) / "helper-scripts" / "gateway" / name;
}

int RunSh(const QStringList& args, const QString& root, std::string* out = nullptr) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("GW_ROOT", root);
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start("sh", args);
    if (!p.waitForFinished(30000))
        return -1;
    if (out)
        *out = p.readAll().toStdString();
    return p.exitCode();
}

std::string Read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(HelperScripts, ParseAndPassShellcheck) {
    for (const char* name : kScripts) {
        std::string out;
        EXPECT_EQ(RunSh({"-n", QString::fromStdString(Script(name).string())}, "", &out), 0)
            << name << out;
    }
    const QString shellcheck = QStandardPaths::findExecutable("shellcheck");
    if (shellcheck.isEmpty())
        GTEST_SKIP() << "shellcheck not installed";
    QProcess p;
    QStringList args{"-s", "sh"};
    for (const char* name : kScripts) args << QString::fromStdString(Script(name).string());
    p.start(shellcheck, args);
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardOutput().toStdString();
}

TEST(HelperScripts, BackupRestoreAndHistoryInAScratchGateway) {
    QTemporaryDir dir;
    const fs::path root = dir.path().toStdString();
    const QString r = dir.path();
    fs::create_directories(root / "config");
    fs::create_directories(root / "app");
    fs::create_directories(root / "etc/vorncmd");
    std::ofstream(root / "config/cfg") << "hostname=one\n";
    std::ofstream(root / "app/appversion") << "KELMORA GW V300R001\nbuild 7\n";
    auto run = [&](const char* name, QStringList extra = {}) {
        // Run from the layout folder, as after an upload, so failures land in its result file.
        const fs::path at = root / "etc/vorncmd" / name;
        fs::copy_file(Script(name), at, fs::copy_options::overwrite_existing);
        return RunSh(QStringList{QString::fromStdString(at.string())} + extra, r);
    };

    ASSERT_EQ(run("bakcfgsh"), 0);
    EXPECT_TRUE(fs::file_size(root / "stmp/cfgbk") > 0);
    EXPECT_EQ(Read(root / "config/cfgversion"), "KELMORA GW V300R001\n");
    std::ofstream(root / "config/cfg") << "hostname=two\n";
    ASSERT_EQ(run("prercovcfgsh"), 0);
    ASSERT_EQ(run("rcovcfgsh"), 0);
    EXPECT_EQ(Read(root / "config/cfg"), "hostname=one\n");  // back to the saved one

    // A damaged backup changes nothing and says why in the result file.
    std::ofstream(root / "stmp/cfgbk") << "not an archive";
    EXPECT_EQ(run("rcovcfgsh"), 1);
    EXPECT_EQ(Read(root / "config/cfg"), "hostname=one\n");
    EXPECT_EQ(Read(root / "etc/vorncmd/result"), "/stmp/cfgbk is not a configuration backup\n");

    ASSERT_EQ(run("updhistory.sh", {"it's 100%.ssu"}), 0);
    const std::string history = Read(root / "updhistory");
    EXPECT_EQ(history.rfind("update time: ", 0), 0u) << history;
    EXPECT_NE(history.find("\npackage name: it's 100%.ssu\n\n"), std::string::npos) << history;
    fs::create_directory_symlink("../etc", root / "config/etc");
    ASSERT_EQ(run("updhistory.sh", {"b.ssu"}), 0);
    EXPECT_NE(Read(root / "app/updhistory").find("package name: b.ssu\n"), std::string::npos);

    fs::remove_all(root / "config");
    EXPECT_EQ(run("bakcfgsh"), 1);
    EXPECT_EQ(Read(root / "etc/vorncmd/result"), "no configuration folder /config\n");
}

// ---------------------------------------------------------------------------------------------
// The wizard's reactions to update and check events.

class RecordingView : public CWizardView {
public:
    std::vector<std::pair<std::string, std::uint32_t>> details;
    std::vector<std::string> statuses, messages, checkStatuses;
    bool confirm = true;
    std::function<void()> duringDialog;
    void AppendDetail(const std::string& t, std::uint32_t c) override {
        details.emplace_back(t, c);
    }
    void ClearDetails() override { details.clear(); }
    void ShowProgress(const std::string&) override {}
    void SetStatus(const std::string& t) override { statuses.push_back(t); }
    void ShowMessage(const std::string& t) override { messages.push_back(t); }
    bool AskOkCancel(const std::string& t) override {
        messages.push_back(t);
        return confirm;
    }
    void SetBackEnabled(bool) override {}
    bool RunConfirmDialog(const CUpdateEvents&, const std::string&, const std::string&,
                          const std::string&, bool) override {
        if (duringDialog)
            duringDialog();
        return confirm;
    }
    void SetCheckStatus(const std::string& t) override { checkStatuses.push_back(t); }
};

class UpdateEvents : public ::testing::Test {
protected:
    void SetUp() override { SetLanguage(Language::English); }
    RecordingOperator op;
    CMainFrame frame{&op};
    RecordingView view;
    CUpdateEvents events{frame, view};
};

TEST_F(UpdateEvents, EventsOutsideAnUpdateAreIgnored) {
    EXPECT_EQ(events.NotifyUpdatePage(7, "x"), -1);
    EXPECT_EQ(events.NotifyCheckPage(13, "SUCCEED:"), -1);
    EXPECT_TRUE(view.details.empty());
    EXPECT_FALSE(events.CheckFinished());
}

TEST_F(UpdateEvents, ResultTokensEndTheUpdate) {
    struct Case {
        std::string text;
        CUpdateEvents::Outcome outcome;
        std::string status;
    } cases[] = {
        {"SUCCEED:Update completed.\n\n", CUpdateEvents::Outcome::Succeeded, "Update succeeded"},
        {"SUCCEED:ENDUpdate completed.\n\n", CUpdateEvents::Outcome::Succeeded, "Update succeeded"},
        {"FAILED:why", CUpdateEvents::Outcome::Failed, "Update failed"},
        {"ABORT:", CUpdateEvents::Outcome::Aborted, "Update cancelled"},
        {"FAILEDLOAD:bad", CUpdateEvents::Outcome::FailedLoad, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        view = RecordingView{};
        events.BeginUpdate();
        events.NotifyUpdatePage(9, "SINGLE:1");
        events.NotifyUpdatePage(12, "other text");
        EXPECT_FALSE(events.Finished());
        EXPECT_EQ(events.Status(), "other text");
        events.NotifyUpdatePage(12, c.text);
        EXPECT_EQ(events.Result(), c.outcome);
        EXPECT_EQ(events.ActivityState(), CUpdateEvents::kIdle);
        if (!c.status.empty()) {
            EXPECT_EQ(view.statuses.back(), c.status);
        }
        // The restart notice that follows a result is still shown.
        events.NotifyUpdatePage(13, "Restart device!\n");
        EXPECT_EQ(view.details.back().first, "Device is disconnected.");
    }
    EXPECT_EQ(view.messages.back(),
              "Error occurs while parsing update package. This package is invalid!\nbad");
}

TEST_F(UpdateEvents, ProgressStatusAndQuestion) {
    events.BeginUpdate();
    events.NotifyUpdatePage(9, "SINGLE:2");
    EXPECT_EQ(view.statuses.back(), "Updating 2/1. Please wait...");
    view.confirm = false;
    EXPECT_EQ(events.NotifyUpdatePage(2, "sure?"), 2);
    EXPECT_EQ(events.NotifyUpdatePage(11, ""), 1);  // no tips: no dialog, go on
    view.confirm = false;
    EXPECT_EQ(events.NotifyUpdatePage(11, "tips"), 0);
    EXPECT_EQ(events.ActivityState(), CUpdateEvents::kUpdating);  // the "ABORT:" still arrives
}

TEST_F(UpdateEvents, CombinedUpdateEndsOnlyWithItsEndToken) {
    TempProgramFolder prog(false);
    fs::create_directories(WorkPath("", "compose_unpkg"));
    std::ofstream(WorkPath("upgrade.conf", "compose_unpkg")) << "[Total]\ncount=2\n";
    events.BeginUpdate();
    events.NotifyUpdatePage(4, "");
    EXPECT_EQ(events.MemberCount(), 2);
    events.NotifyUpdatePage(9, "COMPOSE:1");
    EXPECT_EQ(events.Status(), "Updating 1/2. Please wait...");
    // Inside a combined update of several members the factory question is not asked: the
    // page shows it and the asker takes -1 as consent.
    view.confirm = false;
    EXPECT_EQ(events.NotifyUpdatePage(2, "Are you sure?"), -1);
    EXPECT_TRUE(view.messages.empty());
    EXPECT_EQ(view.details.back().first, "Are you sure?");
    EXPECT_EQ(view.details.back().second, std::uint32_t{kRed});
    // A member's result and the driver's summary line do not end the page's update; the end
    // token does, with "Update completed.".
    for (const char* text :
         {"SUCCEED:", "SUCCEED:Updating with combined update package completed!\n"}) {
        events.NotifyUpdatePage(12, text);
        EXPECT_FALSE(events.Finished()) << text;
    }
    events.NotifyUpdatePage(12, "SUCCEED:END");
    EXPECT_EQ(events.Result(), CUpdateEvents::Outcome::Succeeded);
    EXPECT_EQ(view.details.back().first, "Update completed.\n\n");
    // A single update with several app members ends with its own "SUCCEED:".
    events.BeginUpdate();
    events.NotifyUpdatePage(9, "SINGLE:1");
    events.NotifyUpdatePage(12, "SUCCEED:");
    EXPECT_EQ(events.Result(), CUpdateEvents::Outcome::Succeeded);
}

// The member count is the plan the load read: "compose_unpkg" is cleared and unpacked again
// by the loader thread while this event waits to be handled ("Updating 1/0" under load).
TEST_F(UpdateEvents, MemberCountComesFromTheLoadedPlan) {
    TempProgramFolder prog(false);
    ClearWorkFolder("compose_unpkg");
    frame.Package().m_combinedTotal = 3;
    events.BeginUpdate();
    events.NotifyUpdatePage(4, "");
    EXPECT_EQ(events.MemberCount(), 3);
    events.NotifyUpdatePage(9, "COMPOSE:1");
    EXPECT_EQ(events.Status(), "Updating 1/3. Please wait...");
}

TEST_F(UpdateEvents, CheckEventsWhileTheDialogIsOpen) {
    events.BeginUpdate();
    events.SetPreCheckMode(true);
    view.duringDialog = [&] {
        EXPECT_EQ(events.ActivityState(), CUpdateEvents::kChecking);
        EXPECT_EQ(view.checkStatuses.back(), "Performing pre-upgrade check,please wait... \n");
        events.NotifyCheckPage(13, "FAILED:needs V299\n");
        EXPECT_TRUE(events.CheckFinished());
        EXPECT_FALSE(events.CheckPassed());
        EXPECT_EQ(events.CheckStatus(), "Pre-upgrade check failed:needs V299\n");
        events.RetryCheck();
        EXPECT_FALSE(events.CheckFinished());
        events.NotifyCheckPage(13, "SUCCEED:");
        EXPECT_TRUE(events.CheckPassed());
        EXPECT_EQ(events.CheckStatus(),
                  "Check successful. Upgrade package can be installed on this device.\n");
    };
    EXPECT_EQ(events.NotifyUpdatePage(11, "tips"), 1);
    EXPECT_EQ(events.ActivityState(), CUpdateEvents::kUpdating);
}

TEST_F(UpdateEvents, ARetryAfterACheckThatCouldNotRunTakesItsResults) {
    events.BeginUpdate();
    events.SetPreCheckMode(true);
    view.duringDialog = [&] {
        events.NotifyCheckPage(0, "cannot store the package\n");
        EXPECT_EQ(events.ActivityState(), CUpdateEvents::kIdle);
        EXPECT_EQ(view.details.back(), std::make_pair(std::string("cannot store the package\n"),
                                                      std::uint32_t{kRed}));
        events.RetryCheck();
        EXPECT_EQ(events.ActivityState(), CUpdateEvents::kChecking);
        events.NotifyCheckPage(13, "SUCCEED:");
        EXPECT_TRUE(events.CheckPassed());
        EXPECT_TRUE(events.CheckFinished());
    };
    EXPECT_EQ(events.NotifyUpdatePage(11, "tips"), 1);
    EXPECT_EQ(events.ActivityState(), CUpdateEvents::kUpdating);
}

TEST(UpdateEventRules, LoadFailuresAreTheLoadResultsFailedAndTheFinalFailedLoad) {
    const struct {
        int code;
        const char* text;
        bool loadFailure;
    } cases[] = {
        {0, "FAILED:An operation is in process.", true},
        {12, "FAILEDLOAD:Check package(x) md5 failed", true},
        {0, "SUCCEED:", false},
        {12, "FAILED:Update failed", false},
        {0, "FAILEDLOAD:", false},
        {7, "FAILEDLOAD:", false},
        {12, "ABORT:", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CUpdateEvents::IsLoadFailure(c.code, c.text), c.loadFailure)
            << c.code << " " << c.text;
    }
}

}  // namespace
}  // namespace vorn::test
