// Single packages: loading from the user's path, the package store, the load for an update
// with its roll-back, the restart flag and the checks against the gateway.
#include <sys/stat.h>

#include <thread>

#include "lib/StringTable.h"
#include "lib/Text.h"
#include "packages/ProductTags.h"
#include "packages/SinglePackage.h"
#include "packages/VersionRules.h"
#include "tests/packages/PackageTestSupport.h"

namespace vorn::test {
namespace {

class SingleTest : public PackageTest {
protected:
    std::map<std::string, std::string> Members(
        const std::string& version = "kelmora-GW-2100 V5.3\n", const std::string& restart = "no") {
        return {{"appversion", version},
                {"cfgversion", "cfg-5.3\n"},
                {"package.conf", "[restart]\nneedrestart = " + restart + "\n"},
                {"readme.txt", "Read me first."},
                {"app1", "image"}};
    }
    std::vector<std::string> Names(const std::string& folder) {
        std::vector<std::string> out;
        for (const auto& e : fs::directory_iterator(Folder(folder)))
            out.push_back(e.path().filename());
        std::sort(out.begin(), out.end());
        return out;
    }
};

TEST_F(SingleTest, LoadFromUserPath) {
    std::string pkg = MakePackage("switch_a.ssu", Members());
    WriteFile(Folder("compose_unpkg") / "stale", "x");
    ASSERT_TRUE(LoadLocalPackage(state, op, host, pkg)) << op.ConsoleText();
    EXPECT_EQ(state.m_packagePath, pkg);
    EXPECT_EQ(state.m_packageVersion, "KELMORA-GW-2100 V5.3");
    EXPECT_EQ(state.m_needRestart, 0);
    EXPECT_EQ(state.m_updateTips, std::string(LoadStr(6557)) + "Read me first.");
    EXPECT_FALSE(fs::exists(Folder("compose_unpkg") / "stale"));
    EXPECT_FALSE(fs::exists(Folder("unpkg") / "app1"));  // only the member set
    EXPECT_TRUE(fs::exists(Folder("unpkg") / "appversion"));
    ASSERT_EQ(host.tipsShown.size(), 1u);
    EXPECT_EQ(host.pageTexts, std::vector<std::string>{"SUCCEED:"});
    EXPECT_EQ(host.timerStarts, 1);
    EXPECT_NE(op.ConsoleText().find(FormatStr(6528, "KELMORA-GW-2100 V5.3")), std::string::npos);
}

TEST_F(SingleTest, LoadRefusals) {
    std::string pkg = MakePackage("a.ssu", Members());
    host.acceptTips = false;
    EXPECT_FALSE(LoadLocalPackage(state, op, host, pkg));
    EXPECT_TRUE(host.pageTexts.empty());
    host.acceptTips = true;
    host.busy = true;
    EXPECT_FALSE(LoadLocalPackage(state, op, host, pkg));
    EXPECT_EQ(host.pageTexts.back(), std::string("FAILED:") + LoadStr(6553));
    EXPECT_EQ(host.timerStarts, 0);

    // A damaged envelope: stores cleared, FAILEDLOAD with the reason, tips emptied.
    host.busy = false;
    WriteFile(Folder("curpkg") / "old.ssu", "x");
    WriteFile(Folder("oldpkg") / "older.ssu", "x");
    std::string data = ReadFile(pkg);
    data.back() ^= 1;
    WriteFile(Work() / "bad.ssu", data);
    EXPECT_FALSE(LoadLocalPackage(state, op, host, (Work() / "bad.ssu").string()));
    EXPECT_TRUE(fs::is_empty(Folder("curpkg")));
    EXPECT_TRUE(fs::is_empty(Folder("oldpkg")));
    EXPECT_EQ(host.pageTexts.back().rfind("FAILEDLOAD:Check package(", 0), 0u)
        << host.pageTexts.back();
    EXPECT_TRUE(state.m_updateTips.empty());
    EXPECT_TRUE(op.ShowedInRed(LoadStr(6739)));

    // No "appversion".
    std::string noVersion = MakePackage("nov.ssu", {{"package.conf", "[restart]\n"}});
    EXPECT_FALSE(LoadLocalPackage(state, op, host, noVersion));
    EXPECT_TRUE(op.ShowedInRed("Get appversion from package failed!("));
}

TEST_F(SingleTest, OlderPasswordOnlyPackageLoads) {
    std::string pkg = MakePackage("o.ssu", Members("\n  V2\r\nrest", "yes"), kOlderPackagePassword);
    ASSERT_TRUE(LoadLocalPackage(state, op, host, pkg)) << op.ConsoleText();
    EXPECT_EQ(state.m_packageVersion, "V2\r");  // leading white space trimmed, cut at the line feed
    EXPECT_EQ(state.m_needRestart, 1);
}

TEST_F(SingleTest, FirstMemberAbsentFallsBackToWholeArchive) {
    // "appversion" is not in the archive: the member set fails at once, the whole extraction
    // runs and the load then fails on the missing version.
    auto m = Members();
    m.erase("appversion");
    std::string pkg = MakePackage("n.ssu", m);
    EXPECT_FALSE(LoadPackageFromPath(state, op, pkg, PackageKind::Single));
    EXPECT_TRUE(fs::exists(Folder("unpkg") / "app1"));
}

TEST_F(SingleTest, RestartFlagReadings) {
    struct Case {
        std::string value;
        int afterLoad;      // m_needRestart after a load from the user's path
        bool needsRestart;  // PackageNeedsRestart during a combined update
    };
    for (const Case& c : std::vector<Case>{{"no", 0, false},
                                           {" NO ", 0, false},
                                           {"n o", 1, false},
                                           {"yes", 1, true},
                                           {"", 1, true}}) {
        SCOPED_TRACE(c.value);
        std::string pkg = MakePackage("r.ssu", Members("V1\n", c.value));
        ClearWorkFolder("unpkg");
        ASSERT_TRUE(LoadPackageFromPath(state, op, pkg, PackageKind::Single));
        EXPECT_EQ(state.m_needRestart, c.afterLoad);
        EXPECT_EQ(PackageNeedsRestart(), c.needsRestart);
    }
    ClearWorkFolder("unpkg");
    EXPECT_TRUE(PackageNeedsRestart());  // no package.conf: default "yes"
}

TEST_F(SingleTest, StoreRotatesAndKeepsThreeNewest) {
    std::vector<std::string> pkgs;
    for (int i = 0; i < 5; ++i) {
        pkgs.push_back(MakePackage("p" + std::to_string(i) + ".ssu", Members()));
    }
    for (int i = 0; i < 5; ++i) {
        StoreResult r = StorePackage(pkgs[i]);
        EXPECT_EQ(r.error, 0);
        EXPECT_EQ(r.previous, i == 0 ? "" : "p" + std::to_string(i - 1) + ".ssu");
    }
    EXPECT_EQ(Names("curpkg"), std::vector<std::string>{"p4.ssu"});
    EXPECT_EQ(Names("oldpkg"), (std::vector<std::string>{"p1.ssu", "p2.ssu", "p3.ssu"}));
}

TEST_F(SingleTest, StoringThePackageAlreadyInCurpkgCopiesNothing) {
    std::string pkg = MakePackage("same.ssu", Members());
    ASSERT_EQ(StorePackage(pkg).error, 0);
    fs::path stored = Folder("curpkg") / "same.ssu";
    struct stat before {};
    ::stat(stored.c_str(), &before);
    StoreResult r = StorePackage(stored.string());
    EXPECT_EQ(r.error, 0);
    EXPECT_EQ(r.previous, "same.ssu");
    struct stat after {};
    ::stat(stored.c_str(), &after);
    EXPECT_EQ(before.st_ino, after.st_ino);
    EXPECT_EQ(before.st_mtim.tv_nsec, after.st_mtim.tv_nsec);
    EXPECT_TRUE(fs::is_empty(Folder("oldpkg")));
}

TEST_F(SingleTest, StoreFailureReportsTheSystemText) {
    StoreResult r = StorePackage((Work() / "missing.ssu").string());
    EXPECT_NE(r.error, 0);
    EXPECT_EQ(r.errorText.rfind(FormatStr(6749, "").substr(0, 20), 0), 0u) << r.errorText;
}

TEST_F(SingleTest, LoadForUpdateAndRollBack) {
    std::string good = MakePackage("good.ssu", Members("KELMORA-GW V7\n"));
    state.m_updateTips = "Read me first.";  // from the user's load
    ASSERT_TRUE(LoadSinglePackageForUpdate(state, op, host, good, "good.ssu")) << op.ConsoleText();
    // The confirmation shows the load's tips and the version line.
    EXPECT_EQ(state.m_updateTips, "Read me first." + FormatStr(6531, "KELMORA-GW V7"));
    EXPECT_EQ(state.m_packageVersion, "KELMORA-GW V7");
    EXPECT_EQ(state.m_cfgVersion, "cfg-5.3");
    EXPECT_EQ(state.m_packageFileName, "good.ssu");
    EXPECT_TRUE(fs::exists(Folder("unpkg") / "app1"));
    EXPECT_TRUE(fs::is_empty(Folder("tmp")));
    ASSERT_FALSE(op.updatePage.empty());
    EXPECT_EQ(op.UpdateEvents().back(), std::make_pair(6, FormatStr(6531, "KELMORA-GW V7")));

    // No "cfgversion": invalid for an update; the previous package comes back.
    auto m = Members();
    m.erase("cfgversion");
    std::string bad = MakePackage("bad.ssu", m);
    EXPECT_FALSE(LoadSinglePackageForUpdate(state, op, host, bad, "bad.ssu"));
    EXPECT_TRUE(op.ShowedInRed("Get cfgversion from package failed!("));
    EXPECT_EQ(op.UpdateEvents().back(), std::make_pair(12, std::string("FAILED:")));
    EXPECT_EQ(Names("curpkg"), std::vector<std::string>{"good.ssu"});
    EXPECT_TRUE(fs::is_empty(Folder("oldpkg")));

    // Reloading the stored package itself and failing never deletes it.
    fs::path stored = Folder("curpkg") / "good.ssu";
    std::string data = ReadFile(stored);
    ASSERT_TRUE(LoadSinglePackageForUpdate(state, op, host, stored.string(), "good.ssu"));
    EXPECT_EQ(ReadFile(stored), data);

    // A member of a combined update starts with no tips: it is not confirmed again.
    host.combinedRunning = true;
    state.m_updateTips = "The combined plan.";
    ASSERT_TRUE(LoadSinglePackageForUpdate(state, op, host, stored.string(), "good.ssu"));
    EXPECT_EQ(state.m_updateTips, FormatStr(6531, "KELMORA-GW V7"));
}

TEST_F(SingleTest, CurrentPackageDuringCombinedUpdateRaisesRestartFlag) {
    std::string pkg = MakePackage("m.ssu", Members("V1\n", "n o"));
    ASSERT_EQ(StorePackage(pkg).error, 0);
    std::string app, cfg, name;
    state.m_needRestart = 0;
    ASSERT_TRUE(LoadCurrentSinglePackage(state, op, false, app, cfg, name));
    EXPECT_EQ(state.m_needRestart, 0);
    pkg = MakePackage("m.ssu", Members("\nV1\n", "maybe"));
    ASSERT_EQ(StorePackage(pkg).error, 0);
    ASSERT_TRUE(LoadCurrentSinglePackage(state, op, true, app, cfg, name));
    EXPECT_EQ(state.m_needRestart, 1);
    EXPECT_EQ(app, "\nV1\n");  // a line feed at position 0 does not cut, nothing is trimmed
    EXPECT_EQ(name, "m.ssu");
    ClearWorkFolder("curpkg");
    EXPECT_FALSE(LoadCurrentSinglePackage(state, op, false, app, cfg, name));
    EXPECT_TRUE(op.ShowedInRed("Find no file named *.ssu"));
}

TEST_F(SingleTest, PackageToDeviceChecks) {
    const std::string rules =
        "<?xml version=\"1.0\"?>\n<filecontent>\n"
        "  <rule name=\"^KELMORA-GW\" checktype=\"notsupport\">\n"
        "    <c name=\"build\" versionnum=\"1\" version1=\"^old\"/>\n  </rule>\n"
        "  <rule name=\"GW-[[:digit:]]+\" checktype=\"support\">\n"
        "    <c name=\"build\" versionnum=\"2\" version1=\"^r1\" version2=\"^r2\"/>\n"
        "    <c name=\"\" versionnum=\"1\" version1=\"never\"/>\n  </rule>\n"
        "</filecontent>\n";
    struct Case {
        const char* name;
        std::string packageVersion;
        bool withRules;
        int layoutFlag;
        std::string report;
        int refusal;  // 0 allowed
    };
    const std::vector<Case> cases = {
        {"NoRulesSameLayout", "KELMORA-GW-1 V1", false, 1, "x", 0},
        {"LayoutDiffers", "KELMORA-GW-1 V1", false, 0, "x", 6536},
        {"IgnorePlatSkipsLayout", "UX ignore-plat", false, 1, "x", 0},
        {"SupportedBuild", "KELMORA-GW-1 V1", true, 1, "KELMORA-GW-2100\nbuild\tr2.5\r\n", 0},
        {"NotSupportedBuild", "KELMORA-GW-1 V1", true, 1, "KELMORA-GW-2100\nbuild old-1\n", 6559},
        {"KeyMissing", "KELMORA-GW-1 V1", true, 1, "KELMORA-GW-2100\nother r1\n", 6559},
        {"NoRuleForPlatform", "KELMORA-GW-1 V1", true, 1, "UX2000\nbuild r1\n", 6559},
        {"IgnorePlatKeepsRules", "UX ignore-plat", true, 1, "UX2000\nbuild r1\n", 6559},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ClearWorkFolder("unpkg");
        if (c.withRules)
            WriteFile(Folder("unpkg") / "updversion", rules);
        state.m_packageVersion = c.packageVersion;
        host.layoutFlag = c.layoutFlag;
        host.versionReport = c.report;
        op.updatePage.clear();
        EXPECT_EQ(CheckPackageForDevice(state, op, host), c.refusal == 0);
        if (c.refusal) {
            EXPECT_TRUE(op.ShowedInRed(LoadStr(c.refusal)));
            ASSERT_EQ(op.updatePage.size(), 2u);
            EXPECT_EQ(op.updatePage[1].text, "FAILED:");
        }
    }
    WriteFile(Folder("unpkg") / "updversion", "<filecontent><rule name='x'/></filecontent>");
    EXPECT_FALSE(UpdateFromCurrentVersionAllowed("KELMORA-GW\n"));  // unreadable rules refuse
}

TEST(VersionText, NormalizeVendorName) {
    EXPECT_EQ(NormalizeVendorName("kelmora-GW Kelmora KELMORA kElMoRa"),
              "KELMORA-GW KELMORA KELMORA KELMORA");
    EXPECT_EQ(NormalizeVendorName("Dravel-M dravel x"), "KELMORA-M KELMORA x");
    EXPECT_EQ(NormalizeVendorName("plain"), "plain");
}

// The rule that says a gateway already runs a package (--skip-current, --verify, the fleet).
TEST(VersionText, SameVersion) {
    struct Case {
        const char* gateway;
        const char* package;
        bool same;
    };
    for (const Case& c : std::vector<Case>{
             {"KELMORA GW V301", "KELMORA GW V301", true},
             {"Dravel GW V301", "KELMORA GW V301", true},     // vendor spellings are one
             {"kelmora GW V301", "dravel GW V301", true},
             {"KELMORA GW V301\r", "KELMORA GW V301", true},  // a CRLF version member
             {" KELMORA GW V301\t", "KELMORA GW V301 ", true},
             {"KELMORA GW V301", "KELMORA GW V3010", false},  // no prefix match
             {"KELMORA GW V301", "KELMORA gw v301", false},   // case counts outside the name
             {"KELMORA GW  V301", "KELMORA GW V301", false},  // inner blanks count
             {"", "", false},                                 // damaged firmware: never current
             {"KELMORA GW V301", "", false},
             {" ", " ", false},
         }) {
        EXPECT_EQ(SameVersion(c.gateway, c.package), c.same) << c.gateway << " / " << c.package;
        EXPECT_EQ(SameVersion(c.package, c.gateway), c.same) << "symmetric: " << c.gateway;
    }
}

TEST(VersionText, VersionReport) {
    auto r =
        ParseVersionReport("  KELMORA-GW V1 \r\nbuild\t r2 \n\nnovalue\n  key  spaced value \n");
    EXPECT_EQ(r["plat"], "KELMORA-GW V1");
    EXPECT_EQ(r["build"], "r2");
    EXPECT_EQ(r.count("novalue"), 0u);
    EXPECT_EQ(r.count(""), 0u);
}

TEST(VersionText, ClassifyVersionRules) {
    struct Case {
        const char* version;
        VersionClass expected;
    };
    for (const Case& c : std::vector<Case>{
             {"KELMORA-GW-2100 V5", {1, 4}},
             {"DRAVEL-M1 V1", {1, 0}},
             {"KELMORA-MX-10", {1, 7}},
             {"KELMORA-TC-8", {1, 8}},
             {"KELMORA-SX-2", {1, 8}},
             {"KELMORA-SSD2", {1, 4}},
             {"KELMORA-HDD", {1, 4}},
             {"DRAVEL--X", {1, 4}},
             {"kelmora--x", {1, 4}},
             {"UX2000", {0, 0}},
             {"VX100", {0, 0}},
             {"EDGE-ARM", {0, 3}},
             {"S100-z1", {0, 5}},
             {"KELMORA-SERVER", {1, 5}},
             {"NV300", {1, 2}},
             {"MICRO", {1, 6}},
             {"other", {1, 0}},
         }) {
        EXPECT_EQ(ClassifyVersion(c.version), c.expected) << c.version;
    }
}

TEST(VersionText, CurrentDeviceListsMatchClassification) {
    for (int i = 0; i < static_cast<int>(std::size(kDeviceModels)); ++i) {
        EXPECT_EQ(ClassifyVersion(std::string(kDeviceModels[i].example)).layoutFlag, i);
    }
    for (int i = 0; i < static_cast<int>(std::size(kDeviceSeries)); ++i) {
        if (i == 1)
            continue;  // never produced
        EXPECT_EQ(ClassifyVersion(std::string(kDeviceSeries[i].example)).productLine, i)
            << kDeviceSeries[i].example;
    }
}

// Rule patterns come inside packages: ordinary ones run, ones that make the regex engine
// backtrack for ever are refused (no match) instead of hanging the loader.
TEST(VersionPatternTest, BacktrackingPatternsAreRefused) {
    struct Case {
        const char* pattern;
        const char* text;
        bool match;
    };
    const Case cases[] = {
        {"V5", "KELMORA-GW-2100 V5", true},
        {"^KELMORA-GW", "KELMORA-GW-2100 V5", true},
        {"V[[:digit:]]+R", "V300R001", true},
        {"V[0-9]{1,3}R", "V300R001", true},
        {"(V5|V6)", "V6", true},
        {"a+?b", "aab", true},
        {"(a+)+$", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa!", false},
        {"(a|a)*$", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa!", false},
        {"((a+))+", "aaaa", false},
        {"a**", "aaaa", false},
        {"G????+++++++++", "G", false},
        {"(V5", "V5", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PatternMatches(c.pattern, c.text), c.match) << c.pattern;
    }
    EXPECT_FALSE(PatternMatches(std::string(300, 'a'), std::string(300, 'a')));
}

}  // namespace
}  // namespace vorn::test
