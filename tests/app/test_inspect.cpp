// `vornupdater inspect` end to end: the real program, packages built by the package writer.
#include "tests/packages/PackageTestSupport.h"

namespace vorn::test {
namespace {

class InspectTest : public PackageTest {
protected:
    int Inspect(const QStringList& args, std::string* out) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("VORN_HOME", home.path());  // must stay untouched
        env.insert("VORN_LANG", "en");
        p.setProcessEnvironment(env);
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(VORN_UPDATER_PATH, QStringList{"inspect"} + args);
        if (!p.waitForFinished(60000))
            return -1;
        *out = p.readAll().toStdString();
        return p.exitCode();
    }
    std::string Report(const std::string& text) {
        WriteFile(Work() / "report", text);
        return (Work() / "report").string();
    }
};

TEST_F(InspectTest, SinglePackageWithRules) {
    std::string pkg = MakePackage("a.ssu", {{"appversion", "kelmora-GW-2100 V6\n"},
                                            {"readme.txt", "Mind the gap."},
                                            {"updversion",
                                             "<filecontent><r name=\"GW\" checktype=\"support\">"
                                             "<c name=\"build\" versionnum=\"1\" "
                                             "version1=\"^r[[:digit:]]\"/></r></filecontent>"}});
    std::string out;
    ASSERT_EQ(Inspect({Q(pkg)}, &out), 0) << out;
    EXPECT_NE(out.find("Version: KELMORA-GW-2100 V6"), std::string::npos) << out;
    EXPECT_NE(out.find("Restart: yes"), std::string::npos);
    EXPECT_NE(out.find("Mind the gap."), std::string::npos);
    EXPECT_NE(out.find("updversion"), std::string::npos);

    EXPECT_EQ(
        Inspect({Q(pkg), "--gateway-version-file", Q(Report("KELMORA-GW-2100 V5\nbuild r3\n"))},
                &out),
        0)
        << out;
    EXPECT_NE(out.find("allowed on this gateway"), std::string::npos);
    EXPECT_EQ(
        Inspect({Q(pkg), "--gateway-version-file", Q(Report("KELMORA-GW-2100 V5\nbuild x3\n"))},
                &out),
        1);
    EXPECT_NE(out.find("does not support update from the current version"), std::string::npos)
        << out;
    EXPECT_EQ(Inspect({Q(pkg), "--gateway-version-file", Q(Report("UX2000 V1\n"))}, &out), 1);
    EXPECT_NE(out.find("does not match your device"), std::string::npos) << out;
    EXPECT_TRUE(fs::is_empty(Home()));
}

TEST_F(InspectTest, InvalidPackagesAndArguments) {
    std::string pkg = MakePackage("a.ssu", {{"appversion", "V1\n"}});
    std::string data = ReadFile(pkg);
    data[40] ^= 1;
    WriteFile(Work() / "bad.ssu", data);
    std::string out;
    EXPECT_EQ(Inspect({Q((Work() / "bad.ssu").string())}, &out), 1);
    EXPECT_NE(out.find("invalid package: Check package("), std::string::npos) << out;
    EXPECT_EQ(Inspect({Q((Work() / "none.ssu").string())}, &out), 1);
    EXPECT_EQ(Inspect({}, &out), 2);
    EXPECT_EQ(Inspect({Q(pkg), "--bogus"}, &out), 2);

    std::string cssu =
        MakePackage("c.cssu", {{"upgrade.conf", "[Total]\ncount=2\n[1]\ntype=2\n[2]\nname=x\n"}});
    EXPECT_EQ(Inspect({Q(cssu)}, &out), 1);
    EXPECT_NE(out.find("invalid package"), std::string::npos) << out;
}

}  // namespace
}  // namespace vorn::test
