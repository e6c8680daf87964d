// The combined update against the simulator: the driver, its members (packages, factory
// defaults, scripts) and the version refresh, checked on the messages the gateway received.
#include "lib/Text.h"
#include "packages/SinglePackage.h"
#include "tests/operations/GatewayFixture.h"

namespace vorn::test {
namespace {

using Strings = std::vector<std::string>;

class Combined : public GatewayFixture {
protected:
    void SetUp() override {
        GatewayFixture::SetUp();
        StartAndLogin([](GatewaySimConfig& c) { c.rebootRefuseMs = 0; });
    }
    static std::string Plan(const std::vector<std::map<std::string, std::string>>& entries) {
        std::string text = "[Total]\ncount = " + std::to_string(entries.size()) + "\n";
        for (std::size_t i = 0; i < entries.size(); ++i) {
            text += "[" + std::to_string(i + 1) + "]\n";
            for (const auto& [k, v] : entries[i]) text += k + " = " + v + "\n";
        }
        return text;
    }
    // A combined package file from its members (".ssu" members given as built files).
    std::string MakeCombined(const std::string& name,
                             const std::map<std::string, std::string>& members) {
        return MakePackage(name, members);
    }
    // Puts a combined package where StartCombinedUpdate finds it.
    void StoreCombined(const std::map<std::string, std::string>& members) {
        const std::string file = MakeCombined("stored.cssu", members);
        fs::create_directories(Prog() / "compose_pkg");
        fs::copy_file(file, Prog() / "compose_pkg" / "stored.cssu",
                      fs::copy_options::overwrite_existing);
    }
    // A member package: one application pair; `restart` writes package.conf.
    std::string Member(const std::string& name, bool restart,
                       const std::string& apppre = "#!/bin/sh\nexit 0\n") {
        auto m = Members(1);
        m["apppre"] = apppre;
        m["package.conf"] =
            std::string("[restart]\nneedrestart = ") + (restart ? "Yes" : "No") + "\n";
        return ReadAll(MakePackage(name, m));
    }
    bool Ended(int timeoutMs = 30000) {
        return waitFor(
            [&] {
                return !m_frame->CombinedUpdateRunning() && m_frame->SessionState == 0 &&
                       m_frame->LoaderIdle();
            },
            timeoutMs);
    }
    // Loads the package as the load page does and waits for the end of the whole update.
    bool RunCombined(const std::string& package) {
        if (!m_frame->LoadLocalPackage(package))
            return false;
        if (!waitFor([&] { return m_frame->CombinedUpdateRunning(); }, 20000))
            return false;
        return Ended();
    }
    // Commands and transfers since the login, as "put PATH", "get PATH", "excute CMD".
    Strings Requests() const {
        Strings v;
        for (const std::string& t : Sent()) {
            if (t.rfind("put\nfile:", 0) == 0)
                v.push_back("put " + t.substr(9, t.size() - 10));
            else if (t.rfind("get\nfile:", 0) == 0)
                v.push_back("get " + t.substr(9, t.size() - 10));
            else if (t.rfind("excute\ncmd:", 0) == 0)
                v.push_back("excute " + t.substr(11, t.size() - 12));
        }
        return v;
    }
    // The member announcements (the single update adds its own "SINGLE:%d" ones).
    Strings Compose() const {
        Strings v;
        for (const std::string& e : Events(9)) {
            if (e.rfind("COMPOSE:", 0) == 0)
                v.push_back(e);
        }
        return v;
    }
    int Count(const Strings& v, const std::string& s) const {
        return static_cast<int>(std::count(v.begin(), v.end(), s));
    }
};

const Strings kPackageInstall = {"put /etc/vorncmd/apppre", "excute /etc/vorncmd/apppre",
                                 "put /stmp/app", "put /etc/vorncmd/appsh",
                                 "excute /etc/vorncmd/appsh"};

TEST_F(Combined, OnePackageRefreshesTheVersionThenInstalls) {
    const std::string pkg = MakeCombined(
        "one.cssu",
        {{"upgrade.conf", Plan({{{"type", "1"}, {"name", "m1.ssu"}, {"appversion", "V301"}}})},
         {"readme.txt", "tips"},
         {"m1.ssu", Member("m1.ssu", true)}});
    ASSERT_TRUE(RunCombined(pkg));
    const Strings r = Requests();
    ASSERT_GE(r.size(), 6u);
    EXPECT_EQ(r.front(), "get /app/appversion");  // the refresh comes first
    for (const std::string& step : kPackageInstall) EXPECT_EQ(Count(r, step), 1) << step;
    EXPECT_EQ(r.back(), "excute reboot");  // the member asked for a restart: once, at the end
    EXPECT_EQ(Count(r, "excute reboot"), 1);
    EXPECT_EQ(Compose(), (Strings{"COMPOSE:1", "COMPOSE:1"}));
    EXPECT_EQ(Events(12).back(), "SUCCEED:END");
    EXPECT_EQ(Events(13), Strings{LoadStr(6558)});
    EXPECT_TRUE(m_op.ShownIn(LoadStr(6585), kBlue));
    EXPECT_FALSE(m_frame->Connected);
}

TEST_F(Combined, PackageThenScriptWithoutRestart) {
    const std::string pkg = MakeCombined(
        "ps.cssu",
        {{"upgrade.conf", Plan({{{"type", "1"}, {"name", "m1.ssu"}, {"appversion", "V301"}},
                                {{"type", "3"}, {"name", "post.sh"}}})},
         {"m1.ssu", Member("m1.ssu", false)},
         {"post.sh", "#!/bin/sh\n# clean up\n"}});
    ASSERT_TRUE(RunCombined(pkg));
    const Strings r = Requests();
    EXPECT_EQ(Count(r, "excute reboot"), 0);
    EXPECT_EQ(r.back(), "excute /etc/vorncmd/compose.sh");
    EXPECT_EQ(SimFile("/etc/vorncmd/compose.sh"), "#!/bin/sh\n# clean up\n");
    EXPECT_EQ(Compose(), (Strings{"COMPOSE:1", "COMPOSE:1", "COMPOSE:2"}));
    EXPECT_EQ(Events(12).back(), "SUCCEED:END");
    EXPECT_EQ(Events(13), Strings{""});
    EXPECT_EQ(m_sim->RebootCount(), 0);
}

TEST_F(Combined, FactoryThenPackageRestartsOnceAtTheEnd) {
    // Factory defaults come from the current package: one is stored from an earlier load.
    auto current = Members(1);
    current["cfgversion"] = "KELMORA GW V299\n";  // differs from the gateway: the question comes
    current["cfgpre"] = "#!/bin/sh\n";
    current["cfg"] = "default configuration\n";
    current["cfgsh"] = "#!/bin/sh\n";
    ASSERT_EQ(StorePackage(MakePackage("current.ssu", current)).error, 0);
    const std::string pkg = MakeCombined(
        "fp.cssu",
        {{"upgrade.conf",
          Plan({{{"type", "2"}}, {{"type", "1"}, {"name", "m1.ssu"}, {"appversion", "V301"}}})},
         {"m1.ssu", Member("m1.ssu", true)}});
    ASSERT_TRUE(RunCombined(pkg));
    const Strings r = Requests();
    EXPECT_EQ(r.front(), "put /etc/vorncmd/cfgpre");
    EXPECT_EQ(Count(r, "put /stmp/cfg"), 1);
    EXPECT_EQ(Count(r, "excute /etc/vorncmd/cfgsh"), 1);
    EXPECT_EQ(Count(r, "excute reboot"), 1);
    EXPECT_EQ(r.back(), "excute reboot");
    EXPECT_EQ(SimFile("/config/cfg"), "default configuration\n");
    EXPECT_EQ(Events(2), Strings{FormatStr(6539, "KELMORA GW V300R001", "KELMORA GW V299")});
    EXPECT_TRUE(m_op.ShownIn(LoadStr(6587), kBlue));  // no restart after the factory member
    EXPECT_EQ(Compose(), (Strings{"COMPOSE:1", "COMPOSE:2", "COMPOSE:2"}));
    EXPECT_EQ(Events(12).back(), "SUCCEED:END");
}

TEST_F(Combined, FailingMemberStopsTheRest) {
    const std::string pkg = MakeCombined(
        "fail.cssu",
        {{"upgrade.conf", Plan({{{"type", "1"}, {"name", "m1.ssu"}, {"appversion", "V301"}},
                                {{"type", "3"}, {"name", "post.sh"}}})},
         {"m1.ssu", Member("m1.ssu", true, "#!/bin/sh\n#sim: fail needs V299 first\n")},
         {"post.sh", "#!/bin/sh\n"}});
    ASSERT_TRUE(RunCombined(pkg));
    const Strings r = Requests();
    EXPECT_EQ(Count(r, "put /stmp/app"), 0);
    EXPECT_EQ(Count(r, "put /etc/vorncmd/compose.sh"), 0);  // the script never ran
    EXPECT_EQ(Count(r, "excute reboot"), 0);
    EXPECT_TRUE(m_op.Shown("needs V299 first"));
    EXPECT_TRUE(m_op.ShownIn(LoadStr(6584), kRed));
    EXPECT_EQ(Events(12).back(), "FAILED:");
    EXPECT_EQ(Compose(), (Strings{"COMPOSE:1", "COMPOSE:1"}));
    EXPECT_TRUE(m_frame->Connected);
}

TEST_F(Combined, RefusedScriptShowsTheResultFile) {
    StoreCombined({{"upgrade.conf", Plan({{{"type", "3"}, {"name", "bad.sh"}},
                                          {{"type", "3"}, {"name", "next.sh"}}})},
                   {"bad.sh", "#!/bin/sh\n#sim: fail disk full on /app\n"},
                   {"next.sh", "#!/bin/sh\n"}});
    ASSERT_TRUE(m_frame->StartCombinedUpdate());
    ASSERT_TRUE(Ended());
    EXPECT_EQ(Requests(), (Strings{"put /etc/vorncmd/compose.sh", "excute /etc/vorncmd/compose.sh",
                                   "get /etc/vorncmd/result"}));
    EXPECT_TRUE(m_op.ShownIn("shell execute failed\n", kRed));
    EXPECT_TRUE(m_op.ShownIn("disk full on /app", kBlack));
    EXPECT_TRUE(m_op.ShownIn(LoadStr(6584), kRed));
    EXPECT_EQ(Events(12), Strings{"FAILED:"});
    EXPECT_EQ(Events(9), Strings{"COMPOSE:1"});
    EXPECT_TRUE(m_frame->Connected);
    EXPECT_FALSE(m_frame->TransferFileOpen());
}

TEST_F(Combined, ScriptUploadRefusalTakesTheUpdateFailurePath) {
    StoreCombined(
        {{"upgrade.conf", Plan({{{"type", "3"}, {"name", "a.sh"}}})}, {"a.sh", "#!/bin/sh\n"}});
    // A folder in the script's place: the gateway refuses the put (step 53).
    fs::create_directories(m_sim->LocalPath("/etc/vorncmd/compose.sh") / "blocker");
    ASSERT_TRUE(m_frame->StartCombinedUpdate());
    ASSERT_TRUE(Ended());
    EXPECT_TRUE(m_op.ShownIn("(49) error. Update failed!\n", kRed)) << m_op.screen;
    EXPECT_TRUE(m_op.ShownIn(LoadStr(6560), kRed));
    EXPECT_TRUE(m_op.ShownIn(LoadStr(6584), kRed));
    EXPECT_EQ(Events(12), (Strings{"FAILED:", "FAILED:"}));  // the member's, then the driver's
}

TEST_F(Combined, MemberNamesCannotLeaveThePackageFolder) {
    WriteAll(Prog() / "secret", "not for the gateway");
    m_frame->RunScriptMember("../secret");
    EXPECT_EQ(m_frame->SessionState, 0);
    EXPECT_FALSE(m_frame->m_memberFinished);
    EXPECT_TRUE(m_op.ShownIn("Invalid member name in the package plan: ../secret", kRed));
    EXPECT_TRUE(Requests().empty());
    EXPECT_EQ(Events(12), Strings{"FAILED:"});
}

TEST_F(Combined, VersionRefreshReplacesTheVersionText) {
    WriteAll(m_sim->LocalPath("/app/appversion"), "dravel-GW-2100 V5.3.0\nbuild 9\n");
    m_frame->RefreshGatewayVersion();
    EXPECT_EQ(m_frame->SessionState, kStateVersionRefresh);
    ASSERT_TRUE(waitFor([&] { return m_frame->SessionState == 0; }));
    EXPECT_TRUE(m_frame->m_memberFinished);
    EXPECT_EQ(m_frame->DeviceVersion(), "KELMORA-GW-2100 V5.3.0");
    EXPECT_EQ(m_frame->GatewayVersionReport(), "dravel-GW-2100 V5.3.0\nbuild 9\n");
    EXPECT_EQ(ReadAll(Prog() / "tmp" / "version.txt"), "dravel-GW-2100 V5.3.0\nbuild 9\n");
    EXPECT_EQ(Requests(), Strings{"get /app/appversion"});

    fs::remove(m_sim->LocalPath("/app/appversion"));
    m_frame->RefreshGatewayVersion();
    ASSERT_TRUE(waitFor([&] { return m_frame->SessionState == 0; }));
    EXPECT_FALSE(m_frame->m_memberFinished);
    EXPECT_TRUE(m_op.ShownIn(LoadStr(6458), kRed));
}

TEST_F(Combined, BrokenPlanDoesNotStart) {
    StoreCombined({{"upgrade.conf", Plan({{{"type", "7"}}})}});
    EXPECT_FALSE(m_frame->StartCombinedUpdate());
    EXPECT_FALSE(m_frame->CombinedUpdateRunning());
    EXPECT_EQ(Events(7), Strings{LoadStr(6739)});
    EXPECT_EQ(Events(12), Strings{"FAILED:"});
    EXPECT_TRUE(Requests().empty());
}

TEST_F(Combined, LinkLostBetweenMembersStopsTheUpdate) {
    StoreCombined(
        {{"upgrade.conf", Plan({{{"type", "3"}, {"name", "a.sh"}}})}, {"a.sh", "#!/bin/sh\n"}});
    ASSERT_TRUE(m_frame->StartCombinedUpdate());
    m_frame->Disconnect();  // before the first tick
    ASSERT_TRUE(Ended());
    EXPECT_TRUE(m_op.ShownIn(LoadStr(6584), kRed));
    EXPECT_EQ(Events(12).back(), "FAILED:");
    EXPECT_TRUE(Compose().empty());
    EXPECT_TRUE(Requests().empty());
}

TEST_F(Combined, StartsAfterAReconnectWhenTheLinkIsDown) {
    StoreCombined(
        {{"upgrade.conf", Plan({{{"type", "3"}, {"name", "a.sh"}}})}, {"a.sh", "#!/bin/sh\n"}});
    m_frame->Disconnect();
    ASSERT_FALSE(m_frame->Connected);
    ASSERT_TRUE(m_frame->StartCombinedUpdate());
    EXPECT_NE(m_frame->SessionState, 0);  // busy while reconnecting
    ASSERT_TRUE(waitFor([&] { return m_frame->CombinedUpdateRunning(); }, 10000));
    ASSERT_TRUE(Ended());
    EXPECT_EQ(Events(12).back(), "SUCCEED:END");
}

}  // namespace
}  // namespace vorn::test
