// The package tool: its packages load in the program and open with Info-ZIP.
#include "lib/StringTable.h"
#include "packages/CombinedPackage.h"
#include "packages/SinglePackage.h"
#include "tests/packages/PackageTestSupport.h"

namespace vorn::test {
namespace {

using MkpkgTest = PackageTest;

int Mkpkg(const QStringList& args, std::string* out = nullptr) {
    return RunTool(VORN_MKPKG_PATH, args, {}, out);
}

TEST_F(MkpkgTest, CombinedFromPlanExtractsWithUnzipAfterHeader) {
    fs::path dir = MakeFolder("plan", {{"upgrade.conf",
                                        "[Total]\ncount=3\n[1]\ntype=1\nname=a.ssu\nappversion=V1\n"
                                        "[2]\ntype=2\n[3]\ntype=3\nname=run.sh\n"},
                                       {"readme.txt", "tips"},
                                       {"a.ssu", "single package bytes"},
                                       {"run.sh", "#!/bin/sh\n"},
                                       {"unrelated", "not packed"}});
    std::string out = (Work() / "c.cssu").string();
    std::string text;
    ASSERT_EQ(Mkpkg({"--plan", Q((dir / "upgrade.conf").string()), Q(out)}, &text), 0) << text;

    std::string data = ReadFile(out);
    ASSERT_GT(data.size(), 48u);
    EXPECT_EQ(data.substr(0, 4), std::string("\x03\x72\x00\x00", 4));
    WriteFile(Work() / "body.zip", data.substr(48));
    fs::path x = Work() / "x";
    fs::create_directories(x);
    ASSERT_EQ(RunTool("unzip",
                      {"-q", "-P", kPackagePassword, Q((Work() / "body.zip").string()), "-d",
                       Q(x.string())},
                      {}, &text),
              0)
        << text;
    EXPECT_EQ(ReadFile(x / "a.ssu"), "single package bytes");
    EXPECT_EQ(ReadFile(x / "readme.txt"), "tips");
    EXPECT_FALSE(fs::exists(x / "unrelated"));

    ASSERT_TRUE(LoadLocalPackage(state, op, host, out)) << op.ConsoleText();
    EXPECT_EQ(state.m_combinedTotal, 3);
}

TEST_F(MkpkgTest, FolderPackagesAndErrors) {
    fs::path dir = MakeFolder("single", {{"appversion", "KELMORA-GW V1\n"}, {"sub/app1", "x"}});
    std::string ssu = (Work() / "s.ssu").string();
    ASSERT_EQ(Mkpkg({"--password", kOlderPackagePassword, Q(dir.string()), Q(ssu)}), 0);
    ASSERT_TRUE(LoadLocalPackage(state, op, host, ssu)) << op.ConsoleText();
    EXPECT_EQ(state.m_packageVersion, "KELMORA-GW V1");

    std::string text;
    EXPECT_EQ(Mkpkg({Q(dir.string()), Q((Work() / "s.zip").string())}, &text), 1);
    EXPECT_NE(text.find(".ssu, .cssu or .bcf"), std::string::npos);
    EXPECT_FALSE(fs::exists(Work() / "s.zip"));
    EXPECT_EQ(Mkpkg({Q((Work() / "nofolder").string()), Q((Work() / "n.ssu").string())}), 1);
    EXPECT_FALSE(fs::exists(Work() / "n.ssu"));
    EXPECT_EQ(Mkpkg({"--bogus"}), 2);

    fs::path plan =
        MakeFolder("bad", {{"upgrade.conf", "[Total]\ncount=1\n[1]\ntype=1\nname=../x.ssu\n"}});
    EXPECT_EQ(
        Mkpkg({"--plan", Q((plan / "upgrade.conf").string()), Q((Work() / "b.cssu").string())},
              &text),
        1);
    EXPECT_NE(text.find("plain file name"), std::string::npos);
}

}  // namespace
}  // namespace vorn::test
