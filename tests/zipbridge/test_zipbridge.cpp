// The archive component through its C interface, loaded like the program loads it, checked
// against Info-ZIP's zip and unzip.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include "packages/ArchiveAccess.h"
#include "packages/BackupFile.h"
#include "tests/packages/PackageTestSupport.h"

namespace vorn::test {
namespace {

// Runs first in its process (declaration order; ctest runs each test alone): nothing is
// loaded yet, and a wrong location is reported with the file it looked for.
TEST(ZipBridgeLoad, MissingComponentIsReported) {
    if (ZipBridgeApi())
        GTEST_SKIP() << "already loaded in this process";
    std::string error;
    EXPECT_FALSE(LoadZipBridge(error, "/nonexistent/libzipbridge.so"));
    EXPECT_NE(error.find("libzipbridge.so"), std::string::npos) << error;
    EXPECT_EQ(ZipBridgeApi(), nullptr);
    EXPECT_TRUE(LoadZipBridge(error, VORN_ZIPBRIDGE_PATH)) << error;
    EXPECT_NE(ZipBridgeApi(), nullptr);
}

class ZipBridgeTest : public PackageTest {
protected:
    const ZipBridgeFunctions& zb() { return *ZipBridgeApi(); }
    int Extract(const std::string& archive, const std::string& dest, const std::string& password) {
        ZbText names[2] = {};
        ZbText comment{};
        return zb().ExtractFile(ZbIn(archive), names, 2, 0, &comment, ZbIn(dest), 1,
                                ZbIn(password));
    }
};

TEST_F(ZipBridgeTest, ReadsCommentAndFirstNames) {
    std::string zip = (Work() / "c.zip").string();
    std::string error;
    ASSERT_TRUE(WriteZip(zip, {{"cfgversion", "", "V1"}, {"cfgbk", "", "img"}, {"third", "", "3"}},
                         kOlderPackagePassword, "Some Comment", error));
    char n0[64], n1[3], c[64];
    ZbText names[2] = {{n0, 0, sizeof n0}, {n1, 0, sizeof n1}};
    ZbText comment{c, 0, sizeof c};
    ASSERT_EQ(zb().GetExtractFileInfo(ZbIn(zip), names, 2, 0, &comment), ZB_OK);
    EXPECT_EQ(std::string(comment.data, comment.size), "Some Comment");
    EXPECT_EQ(std::string(n0), "cfgversion");
    EXPECT_EQ(std::string(n1), "cf");  // cut to the slot's capacity
    std::string missing = (Work() / "missing.zip").string();
    EXPECT_EQ(zb().GetExtractFileInfo(ZbIn(missing), names, 2, 0, &comment), ZB_ERR_OPEN);
    EXPECT_NE(std::string(zb().LastError()), "");
}

TEST_F(ZipBridgeTest, ExtractsBehindLeadingBytesAndReplacesFiles) {
    std::string pkg = MakePackage("whole.cssu", {{"upgrade.conf", "[Total]\ncount=0\n"},
                                                 {"sub/dir/app1", std::string(100000, 'z')}});
    fs::path dest = Work() / "dest";
    fs::create_directories(dest);
    WriteFile(dest / "upgrade.conf", "old");
    ASSERT_EQ(Extract(pkg, dest.string() + "/", kPackagePassword), ZB_OK) << zb().LastError();
    EXPECT_EQ(ReadFile(dest / "upgrade.conf"), "[Total]\ncount=0\n");
    EXPECT_EQ(ReadFile(dest / "sub/dir/app1"), std::string(100000, 'z'));
}

TEST_F(ZipBridgeTest, WrongPasswordLeavesNoFile) {
    std::string zip = (Work() / "w.zip").string();
    std::string error;
    ASSERT_TRUE(WriteZip(zip, {{"a", "", std::string(5000, 'a')}}, kPackagePassword, "", error));
    fs::path dest = Work() / "dest";
    fs::create_directories(dest);
    WriteFile(dest / "a", "previous");
    EXPECT_EQ(Extract(zip, dest.string(), kOlderPackagePassword), ZB_ERR_READ);
    EXPECT_EQ(ReadFile(dest / "a"), "previous");
    EXPECT_EQ(std::distance(fs::directory_iterator(dest), fs::directory_iterator()), 1);
}

TEST_F(ZipBridgeTest, HostileNamesRefusedBeforeWriting) {
    std::string zip = (Work() / "h.zip").string();
    std::string error;
    ASSERT_TRUE(WriteZip(
        zip, {{"good", "", "g"}, {"../x", "", "1"}, {"/abs/x", "", "2"}, {"a/../../x", "", "3"}},
        "", "", error));
    fs::path dest = Work() / "inner" / "dest";
    fs::create_directories(dest);
    EXPECT_EQ(Extract(zip, dest.string(), ""), ZB_ERR_UNSAFE_NAME);
    EXPECT_NE(std::string(zb().LastError()).find("../x"), std::string::npos);
    EXPECT_TRUE(fs::is_empty(dest));
    EXPECT_FALSE(fs::exists(Work() / "inner" / "x"));
    EXPECT_FALSE(fs::exists("/abs/x"));
}

TEST_F(ZipBridgeTest, WrittenArchiveReadsWithInfoZip) {
    fs::path a = Work() / "src" / "cfgversion";
    fs::path b = Work() / "src" / "cfgbk";
    WriteFile(a, "KELMORA-GW V1\n");
    std::string image;
    for (int i = 0; i < 200000; ++i) image.push_back(static_cast<char>(i % 251));
    WriteFile(b, image);
    std::string files[2] = {a.string(), b.string()};
    ZbText list[2] = {ZbIn(files[0]), ZbIn(files[1])};
    std::string target = (Work() / "out.bcf").string();
    std::string comment = kBackupComment, password = kOlderPackagePassword;
    ASSERT_EQ(zb().AddTozipFile(list, 2, ZbIn(target), ZbIn(comment), ZbIn(password)), ZB_OK);

    std::string out;
    ASSERT_EQ(RunTool("unzip", {"-z", Q(target)}, {}, &out), 0) << out;
    EXPECT_NE(out.find(kBackupComment), std::string::npos) << out;
    fs::path x = Work() / "x";
    fs::create_directories(x);
    ASSERT_EQ(RunTool("unzip", {"-q", "-P", Q(password), Q(target), "-d", Q(x.string())}, {}, &out),
              0)
        << out;
    EXPECT_EQ(ReadFile(x / "cfgversion"), "KELMORA-GW V1\n");
    EXPECT_EQ(ReadFile(x / "cfgbk"), image);
    // The other password does not open it.
    fs::path y = Work() / "y";
    fs::create_directories(y);
    EXPECT_NE(RunTool("unzip", {"-q", "-P", kPackagePassword, Q(target), "-d", Q(y.string())}), 0);
    EXPECT_FALSE(fs::exists(y / "cfgbk") && ReadFile(y / "cfgbk") == image);

    // A missing source leaves no archive and no temporary behind.
    std::string bad[2] = {a.string(), (Work() / "src" / "missing").string()};
    ZbText badList[2] = {ZbIn(bad[0]), ZbIn(bad[1])};
    std::string target2 = (Work() / "out2.bcf").string();
    EXPECT_EQ(zb().AddTozipFile(badList, 2, ZbIn(target2), ZbIn(comment), ZbIn(password)),
              ZB_ERR_SOURCE);
    EXPECT_FALSE(fs::exists(target2));
    for (const auto& e : fs::directory_iterator(Work())) {
        EXPECT_EQ(e.path().filename().string().find(".zbnew"), std::string::npos);
    }
}

// The archive is complete or it is not there: a write cut off anywhere (a file size limit
// stands in for a full disk) fails, leaves the earlier file of that name as it was and no
// temporary file. The last cases cut inside the central directory and its end record, which
// only the read-back notices.
TEST_F(ZipBridgeTest, CutOffWriteFailsAndKeepsTheEarlierFile) {
    fs::path src = Work() / "src";
    WriteFile(src / "cfgversion", "KELMORA-GW V1\n");
    std::string image;
    std::uint32_t x = 12345;
    for (int i = 0; i < 100000; ++i) {  // incompressible: the archive is larger than the image
        x = x * 1103515245u + 12345u;
        image.push_back(static_cast<char>(x >> 24));
    }
    WriteFile(src / "cfgbk", image);
    std::string files[2] = {(src / "cfgversion").string(), (src / "cfgbk").string()};
    ZbText list[2] = {ZbIn(files[0]), ZbIn(files[1])};
    std::string comment = kBackupComment, password = kOlderPackagePassword;
    const fs::path folder = Work() / "out";
    fs::create_directories(folder);
    const std::string target = (folder / "saved.bcf").string();
    ASSERT_EQ(zb().AddTozipFile(list, 2, ZbIn(target), ZbIn(comment), ZbIn(password)), ZB_OK);
    const auto whole = static_cast<rlim_t>(fs::file_size(target));

    struct sigaction ignore {}, old {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGXFSZ, &ignore, &old);
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    for (rlim_t limit : {rlim_t(1024), whole / 2, whole - 40, whole - 1}) {
        SCOPED_TRACE("limit " + std::to_string(limit) + " of " + std::to_string(whole));
        WriteFile(target, "earlier backup");
        rlimit r = saved;
        r.rlim_cur = limit;
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &r), 0);
        const int rc = zb().AddTozipFile(list, 2, ZbIn(target), ZbIn(comment), ZbIn(password));
        const std::string error = zb().LastError();
        ::setrlimit(RLIMIT_FSIZE, &saved);
        EXPECT_EQ(rc, ZB_ERR_WRITE) << error;
        EXPECT_NE(error.find(target), std::string::npos) << error;
        EXPECT_EQ(ReadFile(target), "earlier backup");
        std::vector<std::string> left;
        for (const auto& e : fs::directory_iterator(folder)) left.push_back(e.path().filename());
        EXPECT_EQ(left, std::vector<std::string>{"saved.bcf"});
    }
    ::sigaction(SIGXFSZ, &old, nullptr);
    // Without the limit the same call replaces the earlier file.
    ASSERT_EQ(zb().AddTozipFile(list, 2, ZbIn(target), ZbIn(comment), ZbIn(password)), ZB_OK);
    EXPECT_EQ(fs::file_size(target), whole);
}

// An archive holds a gateway's configuration: owner-only whatever the umask, and a stricter
// umask takes away what it takes away.
TEST_F(ZipBridgeTest, WrittenArchiveIsOwnerOnly) {
    WriteFile(Work() / "src" / "cfgbk", "CONFIG");
    std::string file = (Work() / "src" / "cfgbk").string();
    ZbText list[1] = {ZbIn(file)};
    std::string comment = kBackupComment, password = kOlderPackagePassword;
    struct Case {
        mode_t umask;
        mode_t mode;
    } cases[] = {{022, 0600}, {077, 0600}, {0277, 0400}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.umask);
        const std::string target = (Work() / ("m" + std::to_string(c.umask) + ".bcf")).string();
        const mode_t old = ::umask(c.umask);
        const int rc = zb().AddTozipFile(list, 1, ZbIn(target), ZbIn(comment), ZbIn(password));
        ::umask(old);
        ASSERT_EQ(rc, ZB_OK) << zb().LastError();
        struct stat st {};
        ASSERT_EQ(::stat(target.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, c.mode);
    }
}

}  // namespace
}  // namespace vorn::test
