// Combined packages: recognition, the load from the user's path, the plan listing and the
// step list, and the loads of the combined update.
#include "lib/StringTable.h"
#include "lib/Text.h"
#include "packages/CombinedPackage.h"
#include "packages/Envelope.h"
#include "packages/SinglePackage.h"
#include "tests/packages/PackageTestSupport.h"

namespace vorn::test {
namespace {

class CombinedTest : public PackageTest {
protected:
    std::string Plan(const std::vector<std::map<std::string, std::string>>& entries,
                     int count = -1) {
        std::string text =
            "[Total]\ncount = " + std::to_string(count < 0 ? entries.size() : count) + "\n";
        for (size_t i = 0; i < entries.size(); ++i) {
            text += "[" + std::to_string(i + 1) + "]\n";
            for (const auto& [k, v] : entries[i]) text += k + "=" + v + "\n";
        }
        return text;
    }
    std::string MakeCombined(const std::string& file, const std::string& plan,
                             const std::string& password = "") {
        std::string member =
            MakePackage("member.ssu", {{"appversion", "KELMORA-GW V9\n"}, {"cfgversion", "c\n"}});
        return MakePackage(file,
                           {{"upgrade.conf", plan},
                            {"readme.txt", "Combined tips."},
                            {"member.ssu", ReadFile(member)},
                            {"run.sh", "echo"}},
                           password);
    }
};

TEST_F(CombinedTest, Recognition) {
    std::string cssu = MakeCombined("c.cssu", Plan({}));
    std::string ssu = MakePackage("s.ssu", {{"appversion", "V1"}});
    EXPECT_TRUE(IsCombinedPackage(cssu));
    EXPECT_FALSE(IsCombinedPackage(ssu));
    EXPECT_FALSE(IsCombinedPackage((Work() / "missing.cssu").string()));
    EXPECT_TRUE(IsCombinedPackage((Work() / "*.cssu").string()));
    EXPECT_FALSE(IsCombinedPackage((Work() / "*.ssu").string()));
    EXPECT_FALSE(IsCombinedPackage(""));
    EXPECT_EQ(FindStoredCombinedPackage(), "");
    fs::create_directories(Folder("compose_pkg"));
    fs::copy_file(cssu, Folder("compose_pkg") / "c.cssu");
    EXPECT_TRUE(IsCombinedPackage(""));
    EXPECT_EQ(FindStoredCombinedPackage(), (Folder("compose_pkg") / "c.cssu").string());
}

TEST_F(CombinedTest, LoadListsThePlan) {
    std::string pkg =
        MakeCombined("c.cssu",
                     Plan({{{"type", "2"}},
                           {{"type", ""}},
                           {{"type", "1"}, {"name", "member.ssu"}, {"appversion", "V9"}},
                           {{"type", "7"}},
                           {{"type", "3"}, {"name", "run.sh"}}}),
                     kOlderPackagePassword);
    ASSERT_TRUE(LoadLocalPackage(state, op, host, pkg)) << op.ConsoleText();
    EXPECT_EQ(state.m_packageVersion, LoadStr(6796));
    EXPECT_EQ(state.m_needRestart, 0);
    EXPECT_EQ(state.m_combinedTotal, 5);
    const std::string expected = std::string(LoadStr(6576)) + "Combined tips." + LoadStr(6617) +
                                 FormatStr(6577, 1) + FormatStr(6578, 2, "member.ssu", "V9") +
                                 FormatStr(6579, 3, "run.sh") + LoadStr(6573);
    EXPECT_EQ(state.m_updateTips, expected);
    EXPECT_EQ(host.pageTexts, std::vector<std::string>{"SUCCEED:"});
    EXPECT_FALSE(fs::exists(Folder("compose_unpkg") / "run.sh"));  // member set only
    // The plan with an untyped and an unknown entry is refused as a whole.
    EXPECT_FALSE(ReadCombinedPlan(state));
    EXPECT_TRUE(state.m_combinedSteps.empty());
}

TEST_F(CombinedTest, UpperCaseExtensionRefused) {
    std::string pkg = MakeCombined("c.cssu", Plan({}));
    fs::path upper = Work() / "C.CSSU";
    fs::copy_file(pkg, upper);
    EXPECT_FALSE(LoadLocalPackage(state, op, host, upper.string()));
    EXPECT_EQ(state.m_lastErrorText, "Loaded fail!(not a .cssu file)\n");
    EXPECT_EQ(host.pageTexts.back(), "FAILEDLOAD:Loaded fail!(not a .cssu file)\n");
}

TEST_F(CombinedTest, CssuWithoutHeaderIsTreatedAsSingle) {
    std::string ssu = MakePackage("s.ssu", {{"appversion", "KELMORA-GW V3\n"}});
    fs::path renamed = Work() / "plain.cssu";
    fs::copy_file(ssu, renamed);
    ASSERT_TRUE(LoadLocalPackage(state, op, host, renamed.string())) << op.ConsoleText();
    EXPECT_EQ(state.m_packageVersion, "KELMORA-GW V3");
}

TEST_F(CombinedTest, BrokenPlanOrEnvelope) {
    // No upgrade.conf: the member set fails on the first member, the whole extraction runs,
    // then the listing cannot open the plan.
    std::string pkg = MakePackage("n.cssu", {{"readme.txt", "r"}});
    WriteFile(Folder("curpkg") / "x.ssu", "x");
    EXPECT_FALSE(LoadLocalPackage(state, op, host, pkg));
    EXPECT_TRUE(op.ShowedInRed(LoadStr(6575)));
    EXPECT_EQ(host.pageTexts.back(), std::string("FAILEDLOAD:") + LoadStr(6572));
    EXPECT_TRUE(fs::is_empty(Folder("curpkg")));
    EXPECT_TRUE(fs::is_empty(Folder("compose_unpkg")));

    std::string good = MakeCombined("g.cssu", Plan({}));
    std::string data = ReadFile(good);
    data[100] ^= 0x55;
    WriteFile(Work() / "d.cssu", data);
    EXPECT_FALSE(LoadLocalPackage(state, op, host, (Work() / "d.cssu").string()));
    EXPECT_EQ(host.pageTexts.back(), std::string("FAILEDLOAD:") + LoadStr(6570));
}

struct PlanCase {
    const char* name;
    std::vector<std::map<std::string, std::string>> entries;
    int count;
    bool ok;
    std::deque<CombinedStep> steps;
};

TEST_F(CombinedTest, PlanToSteps) {
    const std::vector<PlanCase> cases = {
        {"CountZero", {{{"type", "1"}, {"name", "a.ssu"}}}, 0, true, {}},
        {"OnePackage", {{{"type", "1"}, {"name", "a.ssu"}}}, -1, true, {{4, ""}, {1, "a.ssu"}}},
        {"AllTypes",
         {{{"type", "3"}, {"name", "s.sh"}}, {{"type", "2"}}, {{"type", "1"}, {"name", "b.ssu"}}},
         -1,
         true,
         {{3, "s.sh"}, {2, ""}, {4, ""}, {1, "b.ssu"}}},
        {"Untyped",
         {{{"type", "2"}}, {{"name", "x"}}, {{"type", "3"}, {"name", "s"}}},
         -1,
         false,
         {}},
        {"UnknownType", {{{"type", "9"}}}, -1, false, {}},
        {"NameLeavesThePackage", {{{"type", "1"}, {"name", "../../curpkg/x.ssu"}}}, -1, false, {}},
        {"AbsoluteScriptName", {{{"type", "3"}, {"name", "/bin/sh"}}}, -1, false, {}},
        {"EmptyName", {{{"type", "1"}, {"name", ""}}}, -1, false, {}},
        {"CountBeyondEntries", {{{"type", "2"}}}, 2, false, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFile(Folder("compose_unpkg") / "upgrade.conf", Plan(c.entries, c.count));
        state.m_combinedSteps = {{9, "stale"}};
        EXPECT_EQ(ReadCombinedPlan(state), c.ok);
        EXPECT_EQ(state.m_combinedSteps, c.ok ? c.steps : std::deque<CombinedStep>{});
    }
    ClearWorkFolder("compose_unpkg");
    EXPECT_FALSE(ReadCombinedPlan(state));
}

TEST_F(CombinedTest, LoadForUpdatePrepareAndMemberLoad) {
    std::string pkg = MakeCombined("u.cssu", Plan({{{"type", "1"}, {"name", "member.ssu"}},
                                                   {{"type", "3"}, {"name", "run.sh"}}}));
    WriteFile(Folder("compose_pkg") / "older.cssu", "x");
    ASSERT_TRUE(LoadCombinedPackageForUpdate(state, op, pkg, "u.cssu")) << op.ConsoleText();
    EXPECT_TRUE(fs::exists(Folder("compose_unpkg") / "run.sh"));
    EXPECT_EQ(ReadFile(Folder("compose_pkg") / "u.cssu"), ReadFile(pkg));
    EXPECT_FALSE(fs::exists(Folder("compose_pkg") / "older.cssu"));
    EXPECT_TRUE(fs::is_empty(Folder("tmp")));

    ClearWorkFolder("compose_unpkg");
    state.m_needRestart = 1;
    ASSERT_TRUE(PrepareCombinedUpdate(state, op)) << op.ConsoleText();
    EXPECT_EQ(state.m_needRestart, 0);
    EXPECT_EQ(state.m_combinedSteps,
              (std::deque<CombinedStep>{{4, ""}, {1, "member.ssu"}, {3, "run.sh"}}));

    StartMemberPackageLoad(host, "member.ssu");
    ASSERT_EQ(host.loaderPaths.size(), 1u);
    EXPECT_EQ(host.loaderPaths[0], (Folder("compose_unpkg") / "member.ssu").string());
    // The member package loads as a single package for the update.
    host.combinedRunning = true;
    EXPECT_TRUE(LoadSinglePackageForUpdate(state, op, host, host.loaderPaths[0], "member.ssu"));
    EXPECT_EQ(state.m_packageVersion, "KELMORA-GW V9");
}

TEST_F(CombinedTest, UpdateLoadFailures) {
    std::string pkg = MakeCombined("f.cssu", Plan({}), "unknown-password");
    EXPECT_FALSE(LoadCombinedPackageForUpdate(state, op, pkg, "f.cssu"));
    EXPECT_TRUE(op.ShowedInRed(LoadStr(6571)));
    EXPECT_EQ(op.UpdateEvents().back(), std::make_pair(7, std::string(LoadStr(6571))));
    EXPECT_TRUE(fs::is_empty(Folder("compose_unpkg")));

    EXPECT_FALSE(PrepareCombinedUpdate(state, op));  // nothing stored
    EXPECT_TRUE(op.ShowedInRed(LoadStr(6582)));

    WriteFile(Work() / "p" / "upgrade.conf", Plan({{{"type", "5"}}}));
    std::string error;
    std::string zip = (Work() / "p.zip").string();
    ASSERT_TRUE(WriteZip(zip, {{"upgrade.conf", (Work() / "p" / "upgrade.conf").string(), ""}},
                         kPackagePassword, "", error));
    ASSERT_TRUE(WriteCombinedEnvelope(zip, (Folder("compose_pkg") / "p.cssu").string(), error));
    EXPECT_FALSE(PrepareCombinedUpdate(state, op));
    EXPECT_TRUE(op.ShowedInRed(LoadStr(6583)));
}

}  // namespace
}  // namespace vorn::test
