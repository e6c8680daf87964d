// An update from a package that was checked and unpacked once (for the workers of a fleet
// run): the gateway receives exactly what an update that unpacks the package itself sends,
// the unpacked folder is only read, and a package that does not pass the checks is never
// unpacked for use.
#include "tests/operations/GatewayFixture.h"

#include <sys/stat.h>

#include "lib/QuietOperator.h"
#include "packages/PreparedPackage.h"
#include "packages/SinglePackage.h"
#include "platform/ProgramFolder.h"

namespace vorn::test {
namespace {

// Every file below `folder` with its content.
std::map<std::string, std::string> Tree(const fs::path& folder) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(folder)) {
        if (e.is_regular_file())
            files[fs::relative(e.path(), folder).string()] = ReadAll(e.path());
    }
    return files;
}

class PreparedPackage : public GatewayFixture {
protected:
    void TearDown() override {
        StopUsingPreparedPackage();
        GatewayFixture::TearDown();
    }
    // Unpacks `package` into `folder` as the fleet's one check does (the folder is the data
    // folder meanwhile); the frame's own folder returns afterwards.
    bool Unpack(const std::string& package, const fs::path& folder, std::string& error) {
        fs::create_directories(folder);
        SetProgramFolderForTests(folder);
        CQuietOperator quiet;
        const bool ok = UnpackPackage(package, folder, quiet, error);
        SetProgramFolderForTests(Prog());
        return ok;
    }
    // Loads the package and waits for the end of its update, single or combined.
    bool Update(const std::string& package) {
        if (!m_frame->LoadLocalPackage(package))
            return false;
        return waitFor(
            [&] {
                return FinalEvent() && !m_frame->CombinedUpdateRunning() &&
                       m_frame->SessionState == 0 && m_frame->LoaderIdle();
            },
            30000);
    }
    // A gateway as it was before any update (the first one left its history script there),
    // logged in; the transcript starts anew.
    void FreshGateway() {
        ASSERT_TRUE(waitFor([&] { return m_frame->SessionState == 0 && !m_frame->Connected; }));
        m_sim->Stop();
        fs::remove_all(SimRoot());
        m_sim = StartGatewaySim(SimRoot(), {}, 0,
                                [](CGatewaySim& sim) { AddScriptCommands(sim, {}); });
        ASSERT_TRUE(m_sim);
        Login();
        m_loginEntries = m_sim->Transcript().size();
        m_op.updatePage.clear();
    }
    std::string Combined() {
        auto member = Members(2);
        member["package.conf"] = "[restart]\nneedrestart = No\n";
        const std::string plan =
            "[Total]\ncount = 3\n[1]\ntype = 1\nname = m1.ssu\nappversion = V301\n"
            "[2]\ntype = 3\nname = post.sh\n[3]\ntype = 1\nname = m2.ssu\nappversion = V302\n";
        auto second = Members(1, "KELMORA GW V302");
        return MakePackage("fleet.cssu", {{"upgrade.conf", plan},
                                          {"m1.ssu", ReadAll(MakePackage("m1.ssu", member))},
                                          {"m2.ssu", ReadAll(MakePackage("m2.ssu", second))},
                                          {"post.sh", "#!/bin/sh\n"}});
    }
};

TEST_F(PreparedPackage, GatewayReceivesWhatAnOwnUnpackingSends) {
    const struct {
        const char* name;
        std::string package;
    } kCases[] = {
        {"single, two pairs", MakePackage("two.ssu", Members(2))},
        {"combined: packages and a script", Combined()},
    };
    StartAndLogin({}, {});
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        const std::string& package = c.package;
        ASSERT_TRUE(Update(package));
        EXPECT_EQ(Events(12).back().rfind("SUCCEED:", 0), 0u);
        const std::vector<std::string> own = Sent();
        ASSERT_GT(own.size(), 10u);

        const fs::path folder = Dir() / (std::string("unpacked-") + c.name);
        std::string error;
        ASSERT_TRUE(Unpack(package, folder, error)) << error;
        const auto before = Tree(folder);
        for (const char* folderName : {"unpkg", "curpkg", "compose_unpkg", "compose_pkg"})
            fs::remove_all(Prog() / folderName);
        FreshGateway();
        ASSERT_TRUE(UsePreparedPackage(package, folder, error)) << error;
        ASSERT_TRUE(Update(package));
        EXPECT_EQ(Events(12).back().rfind("SUCCEED:", 0), 0u);
        EXPECT_EQ(Sent(), own);
        EXPECT_EQ(Tree(folder), before);  // only read
        for (const char* folderName : {"unpkg", "curpkg", "compose_pkg"}) {
            std::error_code ec;
            EXPECT_TRUE(fs::is_empty(Prog() / folderName, ec) || !fs::exists(Prog() / folderName))
                << folderName;
        }
        StopUsingPreparedPackage();
        FreshGateway();
    }
}

TEST_F(PreparedPackage, PackagesThatFailTheChecksAreNotUnpacked) {
    std::string damaged = ReadAll(MakePackage("d.ssu", Members(1)));
    damaged[damaged.size() / 2] ^= 0x20;
    WriteAll(Dir() / "damaged.ssu", damaged);
    const std::string plan = "[Total]\ncount = 1\n[1]\ntype = 1\nname = gone.ssu\n";
    const std::string damagedMember = "[Total]\ncount = 1\n[1]\ntype = 1\nname = m.ssu\n";
    const struct {
        const char* name;
        std::string package;
        const char* error;
    } kCases[] = {
        {"damaged envelope", (Dir() / "damaged.ssu").string(), "md5"},
        {"member missing", MakePackage("gone.cssu", {{"upgrade.conf", plan}}),
         "member gone.ssu is missing"},
        {"damaged member", MakePackage("dm.cssu", {{"upgrade.conf", damagedMember}, {"m.ssu", damaged}}),
         "member package m.ssu: "},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        std::string error;
        EXPECT_FALSE(Unpack(c.package, Dir() / (std::string("u-") + c.name), error));
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
        EXPECT_FALSE(UsePreparedPackage(c.package, Dir() / "nowhere", error));
    }
}

}  // namespace
}  // namespace vorn::test
