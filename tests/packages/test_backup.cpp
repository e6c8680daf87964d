// Configuration backups: writing, verification, the restore check, names and rotation.
#include <sys/stat.h>
#include <utime.h>

#include "lib/Clock.h"
#include "lib/StringTable.h"
#include "lib/Text.h"
#include "packages/ArchiveAccess.h"
#include "packages/BackupFile.h"
#include "tests/packages/PackageTestSupport.h"

namespace vorn::test {
namespace {

class BackupTest : public PackageTest {
protected:
    void TearDown() override {
        SetClockForTests({});
        PackageTest::TearDown();
    }
    std::string WriteBackup(const std::string& version, const std::string& image = "CONFIG") {
        WriteFile(Folder("tmp") / "cfgversion", version);
        WriteFile(Folder("tmp") / "cfgbk", image);
        std::string target = (Work() / "b.bcf").string();
        EXPECT_EQ(WriteBackupFile(target), 0);
        return target;
    }
};

TEST_F(BackupTest, WrittenBackupVerifiesAndReadsWithInfoZip) {
    std::string target = WriteBackup("KELMORA-GW V5\nsecond line\n");
    std::string saved;
    ASSERT_TRUE(VerifyBackupFile(target, saved));
    EXPECT_EQ(saved, "KELMORA-GW V5");
    EXPECT_EQ(ReadFile(Folder("tmp") / "cfgbk"), "CONFIG");

    std::string out;
    ASSERT_EQ(RunTool("unzip", {"-z", Q(target)}, {}, &out), 0);
    EXPECT_NE(out.find("VORN GATEWAY CONFIG PKG"), std::string::npos) << out;
    fs::path x = Work() / "x";
    fs::create_directories(x);
    ASSERT_EQ(RunTool("unzip", {"-q", "-P", "plumhardens", Q(target), "-d", Q(x.string())}), 0);
    EXPECT_EQ(ReadFile(x / "cfgbk"), "CONFIG");
}

TEST_F(BackupTest, VerificationRefusals) {
    struct Case {
        const char* name;
        std::string comment;
        std::string password;
    };
    for (const Case& c :
         std::vector<Case>{{"CommentCase", "vorn gateway config pkg", kOlderPackagePassword},
                           {"OtherComment", "something", kOlderPackagePassword},
                           {"NoComment", "", kOlderPackagePassword},
                           {"CurrentPassword", kBackupComment, kPackagePassword}}) {
        SCOPED_TRACE(c.name);
        std::string path = (Work() / "v.bcf").string();
        std::string error;
        ASSERT_TRUE(WriteZip(path, {{"cfgversion", "", "V1\n"}, {"cfgbk", "", "x"}}, c.password,
                             c.comment, error));
        std::string saved = "unchanged";
        EXPECT_FALSE(VerifyBackupFile(path, saved));
    }
    std::string saved;
    EXPECT_FALSE(VerifyBackupFile((Work() / "missing.bcf").string(), saved));
    WriteFile(Work() / "junk.bcf", "not a zip");
    EXPECT_FALSE(VerifyBackupFile((Work() / "junk.bcf").string(), saved));
}

TEST_F(BackupTest, RestoreCheck) {
    std::string target = WriteBackup("V5\n");
    EXPECT_TRUE(RestoreCheck(op, target, "V5"));
    EXPECT_TRUE(op.messages.empty());

    EXPECT_FALSE(RestoreCheck(op, target, ""));
    EXPECT_TRUE(op.ShowedInRed(std::string(LoadStr(6514)) + "\n"));

    op.answerYes = false;
    EXPECT_FALSE(RestoreCheck(op, target, "V6"));
    ASSERT_EQ(op.messages.size(), 1u);
    EXPECT_EQ(op.messages[0], FormatStr(6521, "V5"));
    EXPECT_NE(op.ConsoleText().find(LoadStr(6505)), std::string::npos);
    op.answerYes = true;
    EXPECT_TRUE(RestoreCheck(op, target, "V6"));

    // An empty saved version differs from any gateway version.
    std::string empty = WriteBackup("");
    op.messages.clear();
    EXPECT_TRUE(RestoreCheck(op, empty, "V6"));
    EXPECT_EQ(op.messages.size(), 1u);

    EXPECT_FALSE(RestoreCheck(op, (Work() / "none.bcf").string(), "V6"));
    EXPECT_TRUE(op.ShowedInRed(LoadStr(6520)));
}

TEST_F(BackupTest, Names) {
    std::tm tm{};
    tm.tm_year = 2026 - 1900;
    tm.tm_mon = 2;
    tm.tm_mday = 4;
    tm.tm_hour = 5;
    tm.tm_min = 6;
    tm.tm_sec = 7;
    tm.tm_isdst = -1;
    SetClockForTests(std::chrono::system_clock::from_time_t(std::mktime(&tm)));
    EXPECT_EQ(DefaultBackupName("10.0.0.1"), "kelmora_10.0.0.1_20260304.bcf");
    EXPECT_EQ(
        AutoBackupPath("10.0.0.1", "A\\B/C*D?E:F<G>H|I\"J", "fallback"),
        (Folder("autobak") / "(10.0.0.1)A-B-C-D-E-F-G-H-I-J(26.03.04 05-06-07).bcf").string());
    EXPECT_EQ(AutoBackupPath("10.0.0.1", "", "Unknown:version"),
              (Folder("autobak") / "(10.0.0.1)Unknown-version(26.03.04 05-06-07).bcf").string());
}

// A name that is taken gets the first free counter; an earlier backup is never the one
// replaced. Links count as taken (a planted link is not written through).
TEST_F(BackupTest, FreeNamesCountOnFromTheTakenOne) {
    const fs::path dir = Work() / "names";
    fs::create_directories(dir);
    struct Case {
        std::vector<std::string> taken;
        std::string wanted;
        std::string expected;
    } cases[] = {
        {{}, "kelmora_10.0.0.1_20260304.bcf", "kelmora_10.0.0.1_20260304.bcf"},
        {{"kelmora_10.0.0.1_20260304.bcf"}, "kelmora_10.0.0.1_20260304.bcf",
         "kelmora_10.0.0.1_20260304-2.bcf"},
        {{"a.bcf", "a-2.bcf", "a-3.bcf"}, "a.bcf", "a-4.bcf"},
        {{"a-2.bcf"}, "a.bcf", "a.bcf"},
        {{"(1.2.3.4)V1(26.03.04 05-06-07).bcf"}, "(1.2.3.4)V1(26.03.04 05-06-07).bcf",
         "(1.2.3.4)V1(26.03.04 05-06-07)-2.bcf"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.wanted + " after " + std::to_string(c.taken.size()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        for (const std::string& t : c.taken) WriteFile(dir / t, "taken");
        EXPECT_EQ(FreeBackupName((dir / c.wanted).string()), (dir / c.expected).string());
    }
    fs::create_symlink(dir / "nowhere", dir / "link.bcf");
    EXPECT_EQ(FreeBackupName((dir / "link.bcf").string()), (dir / "link-2.bcf").string());
}

// The version part of an automatic backup's name is cut to a safe length, never inside a
// character; two backups in the same second get distinct names.
TEST_F(BackupTest, AutomaticNamesStayShortAndDistinct) {
    SetClockForTests(std::chrono::system_clock::from_time_t(1772600767));
    const std::string longAscii(300, 'v');
    const std::string han = "\xe7\x89\x88";  // three bytes
    std::string longHan;
    while (longHan.size() < 200) longHan += han;
    struct Case {
        std::string version;
        std::string kept;
    } cases[] = {
        {longAscii, longAscii.substr(0, kMaxVersionInBackupName)},
        // 64 = 21 whole characters and one byte: the cut falls back to 63 bytes.
        {longHan, longHan.substr(0, 63)},
        {"x" + longHan, "x" + longHan.substr(0, 63)},
        {"short", "short"},
    };
    for (const Case& c : cases) {
        const fs::path name = fs::path(AutoBackupPath("10.0.0.1", c.version, "unknown")).filename();
        EXPECT_EQ(name.string().rfind("(10.0.0.1)" + c.kept + "(", 0), 0u) << name;
        EXPECT_LE(name.string().size(), 120u);
    }
    // Written, a second one in the same second does not replace it.
    WriteFile(Folder("tmp") / "cfgversion", "V5\n");
    WriteFile(Folder("tmp") / "cfgbk", "CONFIG");
    const std::string first = AutoBackupPath("10.0.0.1", longAscii, "unknown");
    ASSERT_EQ(WriteBackupFile(first), 0);
    const std::string second = AutoBackupPath("10.0.0.1", longAscii, "unknown");
    EXPECT_NE(second, first);
    EXPECT_EQ(fs::path(second).filename().string(),
              fs::path(first).stem().string() + "-2.bcf");
}

// A failed write says why; the configuration copies in "tmp" go, the login-error record and
// anything else there stays.
TEST_F(BackupTest, FailureIsReportedAndCopiesAreRemovedAlone) {
    WriteFile(Folder("tmp") / "cfgversion", "V5\n");
    WriteFile(Folder("tmp") / "cfgbk", "CONFIG");
    WriteFile(Folder("tmp") / "loginerror", "[IP_CONFIG]\ncount=0\n");
    WriteFile(Folder("tmp") / "saved-by-the-console", "mine");
    std::string error;
    EXPECT_NE(WriteBackupFile((Work() / "no-such-folder" / "b.bcf").string(), &error), 0);
    EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;
    RemoveBackupCopies();
    EXPECT_FALSE(fs::exists(Folder("tmp") / "cfgbk"));
    EXPECT_FALSE(fs::exists(Folder("tmp") / "cfgversion"));
    EXPECT_TRUE(fs::exists(Folder("tmp") / "loginerror"));
    EXPECT_TRUE(fs::exists(Folder("tmp") / "saved-by-the-console"));
    // Without its sources no backup is written, and the earlier one stays.
    const std::string target = (Work() / "b.bcf").string();
    WriteFile(target, "earlier");
    EXPECT_NE(WriteBackupFile(target, &error), 0);
    EXPECT_EQ(ReadFile(target), "earlier");
}

TEST_F(BackupTest, PruneKeepsNewest) {
    fs::create_directories(Folder("autobak"));
    const std::time_t base = 1700000000;
    // Five backups, listed in an order unrelated to their ages.
    const std::vector<std::pair<std::string, int>> files = {
        {"c.bcf", 300}, {"a.bcf", 500}, {"e.bcf", 100}, {"b.bcf", 400}, {"d.bcf", 200}};
    for (const auto& [name, age] : files) {
        fs::path p = Folder("autobak") / name;
        WriteFile(p, name);
        struct utimbuf t {
            base - age, base - age
        };
        ::utime(p.c_str(), &t);
    }
    WriteFile(Folder("autobak") / "keep.txt", "not a backup");
    fs::permissions(Folder("autobak") / "a.bcf", fs::perms::owner_read);  // read-only
    PruneAutoBackups(3);
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(Folder("autobak")))
        left.push_back(e.path().filename());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"c.bcf", "d.bcf", "e.bcf", "keep.txt"}));
    PruneAutoBackups(-1);  // 10
    EXPECT_TRUE(fs::exists(Folder("autobak") / "c.bcf"));
    PruneAutoBackups(0);
    EXPECT_FALSE(fs::exists(Folder("autobak") / "e.bcf"));
}

}  // namespace
}  // namespace vorn::test
