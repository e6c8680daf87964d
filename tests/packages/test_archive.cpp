// Archive access: MD5 against md5sum, single-member extraction, the member sets with their
// password fallback, whole extraction through the archive component, and the envelopes.
#include <unistd.h>

#include "lib/StringTable.h"
#include "packages/ArchiveAccess.h"
#include "packages/Envelope.h"
#include "packages/Md5.h"
#include "tests/packages/PackageTestSupport.h"

namespace vorn::test {
namespace {

using ArchiveTest = PackageTest;

TEST_F(ArchiveTest, Md5MatchesMd5sum) {
    EXPECT_EQ(Md5Hex(std::string_view("")), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(Md5Hex(std::string_view("abc")), "900150983cd24fb0d6963f7d28e17f72");
    std::string data;
    for (int i = 0; i < 300000; ++i) data.push_back(static_cast<char>(i * 7 + (i >> 9)));
    fs::path file = Work() / "data.bin";
    WriteFile(file, data);
    std::string hex, out;
    ASSERT_TRUE(Md5Hex(file, hex));
    ASSERT_EQ(RunTool("md5sum", {Q(file.string())}, {}, &out), 0);
    EXPECT_EQ(hex, out.substr(0, 32));
    EXPECT_EQ(hex, Md5Hex(std::string_view(data)));
    EXPECT_FALSE(Md5Hex(Work() / "missing", hex));
}

TEST_F(ArchiveTest, SingleMemberOutcomes) {
    std::string zip = (Work() / "a.zip").string();
    std::string error;
    ASSERT_TRUE(WriteZip(zip, {{"appversion", "", "V1\n"}, {"dir/readme.txt", "", "tips"}},
                         kPackagePassword, "", error))
        << error;
    fs::path dest = Work() / "out";
    fs::create_directories(dest);
    EXPECT_EQ(ExtractSingleMember(zip, kPackagePassword, "dir/readme.txt", (dest / "r").string()),
              0);
    EXPECT_EQ(ReadFile(dest / "r"), "tips");
    // Names compare exactly: case and path matter.
    EXPECT_EQ(ExtractSingleMember(zip, kPackagePassword, "readme.txt", (dest / "x").string()), 2);
    EXPECT_EQ(ExtractSingleMember(zip, kPackagePassword, "AppVersion", (dest / "x").string()), 2);
    // A wrong password is an error and leaves neither the file nor a temporary behind.
    WriteFile(dest / "v", "old");
    EXPECT_NE(ExtractSingleMember(zip, kOlderPackagePassword, "appversion", (dest / "v").string()),
              0);
    EXPECT_EQ(ReadFile(dest / "v"), "old");
    EXPECT_EQ(std::distance(fs::directory_iterator(dest), fs::directory_iterator()), 2);
    EXPECT_NE(ExtractSingleMember((Work() / "none.zip").string(), kPackagePassword, "appversion",
                                  (dest / "x").string()),
              0);
}

// Bodies made by Info-ZIP with either password load through both extraction paths.
TEST_F(ArchiveTest, InfoZipBodiesWithEitherPassword) {
    for (const char* password : {kPackagePassword, kOlderPackagePassword}) {
        SCOPED_TRACE(password);
        std::string pkg = MakeWithInfoZip("p.ssu",
                                          {{"appversion", "KELMORA-GW V1\n"},
                                           {"package.conf", "[restart]\nneedrestart=no\n"},
                                           {"app1", "payload"}},
                                          password);
        ClearWorkFolder("unpkg");
        ASSERT_TRUE(CheckSinglePackageEnvelope(state, op, pkg, "p.ssu"));
        std::string body = WorkPath("p.ssu", "tmp").string();
        EXPECT_TRUE(ExtractMemberSet(PackageKind::Single, body));
        EXPECT_EQ(ReadFile(Folder("unpkg") / "appversion"), "KELMORA-GW V1\n");
        EXPECT_FALSE(fs::exists(Folder("unpkg") / "app1"));
        ClearWorkFolder("unpkg");
        EXPECT_TRUE(ExtractWholePackage(state, op, body, "unpkg"));
        EXPECT_EQ(ReadFile(Folder("unpkg") / "app1"), "payload");
        // The package itself, flag in front, extracts the same: the archive is found behind it.
        ClearWorkFolder("unpkg");
        EXPECT_TRUE(ExtractWholePackage(state, op, pkg, "unpkg"));
        EXPECT_EQ(ReadFile(Folder("unpkg") / "app1"), "payload");
        EXPECT_EQ(ReadFile(Folder("unpkg") / "appversion"), "KELMORA-GW V1\n");
    }
}

TEST_F(ArchiveTest, FirstMemberAbsentFailsTheSetButNotTheWholeExtraction) {
    std::string zip = (Work() / "b.zip").string();
    std::string error;
    ASSERT_TRUE(WriteZip(zip, {{"readme.txt", "", "r"}, {"cfgversion", "", "c"}}, kPackagePassword,
                         "", error));
    EXPECT_FALSE(ExtractMemberSet(PackageKind::Single, zip));
    EXPECT_TRUE(ExtractWholePackage(state, op, zip, "unpkg"));
    EXPECT_EQ(ReadFile(Folder("unpkg") / "cfgversion"), "c");
}

TEST_F(ArchiveTest, UnknownPasswordFailsBothPaths) {
    std::string zip = (Work() / "c.zip").string();
    std::string error;
    ASSERT_TRUE(WriteZip(zip, {{"upgrade.conf", "", "[Total]\ncount=0\n"}}, "other", "", error));
    EXPECT_FALSE(ExtractMemberSet(PackageKind::Combined, zip));
    EXPECT_FALSE(ExtractWholePackage(state, op, zip, "compose_unpkg"));
    EXPECT_FALSE(fs::exists(Folder("compose_unpkg") / "upgrade.conf"));
}

TEST_F(ArchiveTest, HostileArchiveWritesNothingOutside) {
    for (const char* name : {"../x", "/abs/x", "a/../../x", "..\\x"}) {
        SCOPED_TRACE(name);
        std::string zip = (Work() / "h.zip").string();
        std::string error;
        ASSERT_TRUE(
            WriteZip(zip, {{"ok", "", "fine"}, {name, "", "bad"}}, kPackagePassword, "", error));
        ClearWorkFolder("unpkg");
        op.console.clear();
        EXPECT_FALSE(ExtractWholePackage(state, op, zip, "unpkg"));
        EXPECT_FALSE(fs::exists(Home() / "x"));
        EXPECT_FALSE(fs::exists(Work() / "x"));
        EXPECT_FALSE(fs::exists("/abs/x"));
        EXPECT_FALSE(fs::exists(Folder("unpkg") / "ok"));  // refused before anything is written
        EXPECT_TRUE(op.ShowedInRed(std::string("member name \"") + name));
        EXPECT_NE(state.m_lastErrorText.find(name), std::string::npos);
    }
}

struct EnvelopeCase {
    const char* name;
    std::string content;  // whole package file
    bool ok;
    std::string error;  // m_lastErrorText prefix on failure
};

std::string Flag(const std::string& body) {
    return Md5Hex(std::string_view(body)) + std::string(1, '\0');
}

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

TEST_F(ArchiveTest, SingleEnvelopeCases) {
    const std::string body = "PK-not-really-a-zip-but-any-bytes";
    const std::vector<EnvelopeCase> cases = {
        {"Valid", Flag(body) + body, true, ""},
        {"ExactlyFlagEmptyBody", Flag(""), true, ""},
        {"Short", Flag(body).substr(0, 20), false, "Read package md5 flag failed!"},
        {"UpperCaseFlag", Upper(Md5Hex(std::string_view(body))) + std::string(1, '\0') + body,
         false, "Check package("},
        {"FlagWithoutZero", Md5Hex(std::string_view(body)) + "x" + body, false, "Check package("},
        {"BodyChanged", Flag(body) + body + "!", false, "Check package("},
    };
    // Without the body copy the verdict and the messages are the same, and "tmp" gets nothing.
    for (const bool keepBody : {true, false}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (keepBody ? "" : " (digest only)"));
            fs::path pkg = Work() / "e.ssu";
            WriteFile(pkg, c.content);
            fs::remove(Folder("tmp") / "e.ssu");
            state.m_lastErrorText.clear();
            EXPECT_EQ(CheckSinglePackageEnvelope(state, op, pkg.string(), "e.ssu", keepBody), c.ok);
            if (!keepBody) {
                EXPECT_FALSE(fs::exists(Folder("tmp") / "e.ssu"));
            } else if (c.ok) {
                EXPECT_EQ(ReadFile(Folder("tmp") / "e.ssu"), c.content.substr(33));
            }
            if (!c.ok) {
                EXPECT_EQ(state.m_lastErrorText.rfind(c.error, 0), 0u) << state.m_lastErrorText;
                EXPECT_TRUE(op.ShowedInRed(c.error));
            }
        }
    }
    // A short package leaves an empty body file behind.
    WriteFile(Work() / "s.ssu", "abc");
    EXPECT_FALSE(CheckSinglePackageEnvelope(state, op, (Work() / "s.ssu").string(), "s.ssu"));
    EXPECT_TRUE(fs::exists(Folder("tmp") / "s.ssu"));
    EXPECT_EQ(fs::file_size(Folder("tmp") / "s.ssu"), 0u);
    // A missing package shows the system's text.
    EXPECT_FALSE(CheckSinglePackageEnvelope(state, op, (Work() / "missing.ssu").string(), "m.ssu"));
    EXPECT_EQ(state.m_lastErrorText, std::strerror(ENOENT));
}

std::string CombinedHeader(const std::string& body, std::uint32_t magic = kCombinedMagic) {
    std::string h(kCombinedHeaderSize, '\0');
    for (int i = 0; i < 4; ++i) h[i] = static_cast<char>((magic >> (8 * i)) & 0xff);
    std::string hex = Md5Hex(std::string_view(body));
    std::copy(hex.begin(), hex.end(), h.begin() + kCombinedMd5Offset);
    return h;
}

TEST_F(ArchiveTest, CombinedEnvelopeCases) {
    const std::string body = "combined body bytes";
    const std::vector<std::pair<std::string, int>> cases = {
        {CombinedHeader(body) + body, 0},
        {CombinedHeader(body).substr(0, 47), 6567},
        {CombinedHeader(body, 0x00007204) + body, 6567},
        {CombinedHeader(body) + body + "x", 6570},
    };
    for (const auto& [content, id] : cases) {
        SCOPED_TRACE(id);
        WriteFile(Work() / "c.cssu", content);
        WriteFile(Folder("tmp") / "stale", "s");
        bool ok = CheckCombinedPackageEnvelope(state, op, (Work() / "c.cssu").string(), "c.cssu");
        EXPECT_EQ(ok, id == 0);
        EXPECT_FALSE(fs::exists(Folder("tmp") / "stale"));  // "tmp" is cleared first
        if (id == 0) {
            EXPECT_EQ(ReadFile(Folder("tmp") / "c.cssu"), body);
        } else {
            EXPECT_EQ(state.m_lastErrorText, LoadStr(id));
        }
        if (id == 6567) {
            EXPECT_TRUE(fs::is_empty(Folder("tmp")));  // cleared again after a header failure
        }
    }
    EXPECT_FALSE(
        CheckCombinedPackageEnvelope(state, op, (Work() / "none.cssu").string(), "n.cssu"));
    EXPECT_EQ(state.m_lastErrorText, LoadStr(6565));
}

TEST_F(ArchiveTest, WorkPathCreatesOneLevelAndToleratesExisting) {
    fs::path p = WorkPath("f", "autobak");
    EXPECT_EQ(p, Folder("autobak") / "f");
    EXPECT_TRUE(fs::is_directory(Folder("autobak")));
    EXPECT_EQ(WorkPath("g", "autobak"), Folder("autobak") / "g");
    EXPECT_EQ(WorkPath("h", ""), Home() / "h");
}

TEST_F(ArchiveTest, ClearWorkFolderDoesNotFollowLinksOut) {
    fs::path outside = Work() / "keep.txt";
    WriteFile(outside, "keep");
    fs::permissions(outside, fs::perms::owner_read);
    WriteFile(Folder("tmp") / "a", "a");
    fs::create_symlink(outside, Folder("tmp") / "link");
    ClearWorkFolder("tmp");
    EXPECT_TRUE(fs::is_empty(Folder("tmp")));
    EXPECT_EQ(ReadFile(outside), "keep");
    EXPECT_EQ(fs::status(outside).permissions() & fs::perms::owner_write, fs::perms::none);
    fs::permissions(outside, fs::perms::owner_all);
}

}  // namespace
}  // namespace vorn::test
