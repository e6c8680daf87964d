// The one member extractor behind both archive paths (single members over minizip and whole
// archives through the archive component): a member that does not match its stored length and
// CRC is refused, the earlier file stays and no temporary is left. Cross-checked with Info-ZIP.
#include <random>

#include "packages/ArchiveAccess.h"
#include "tests/packages/PackageTestSupport.h"

namespace vorn::test {
namespace {

// Made by Info-ZIP's zip with the older password; the first member's encryption header lets
// the current password pass the check byte and then inflate 337 bytes of garbage to a deflate
// end (tools/fixtures/find_crc_escape.py found it).
const fs::path kEscapeFixture =
    fs::path(VORN_SOURCE_DIR) / "tests/packages/data/wrong-password-escape.zip";

std::string Compressible() {
    std::string s;
    for (int i = 0; s.size() < 5000; ++i) s += "line " + std::to_string(i) + " of the image\n";
    s.resize(5000);
    return s;
}

std::uint32_t Le32(const std::string& s, size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(s[at + i]);
    return v;
}

void SetLe32(std::string& s, size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

enum class Damage { None, ShortCompressed, LongerUncompressed, FlipDataByte };

// Changes the first member of an archive in both its local and its central header.
void DamageFirstMember(const fs::path& zip, Damage damage) {
    std::string s = ReadFile(zip);
    size_t central = s.find(std::string("PK\x01\x02", 4));
    ASSERT_NE(central, std::string::npos);
    size_t data = 30 +
                  (static_cast<unsigned char>(s[26]) | static_cast<unsigned char>(s[27]) << 8) +
                  (static_cast<unsigned char>(s[28]) | static_cast<unsigned char>(s[29]) << 8);
    std::uint32_t packed = Le32(s, central + 20);
    switch (damage) {
        case Damage::None:
            break;
        case Damage::ShortCompressed:  // the member's data ends halfway
            SetLe32(s, 18, packed / 2);
            SetLe32(s, central + 20, packed / 2);
            break;
        case Damage::LongerUncompressed:  // the deflate stream ends before the stored size
            SetLe32(s, 22, Le32(s, 22) + 100);
            SetLe32(s, central + 24, Le32(s, central + 24) + 100);
            break;
        case Damage::FlipDataByte:
            s[data + packed / 2] = static_cast<char>(s[data + packed / 2] ^ 0x10);
            break;
    }
    std::ofstream(zip, std::ios::binary | std::ios::trunc) << s;
}

class CheckedMemberTest : public PackageTest {
protected:
    // Info-ZIP's zip over one member "appversion"; `level` "-0" stores, "-6" deflates.
    fs::path InfoZip(const std::string& name, const std::string& level, const std::string& pw,
                     const std::string& content) {
        fs::path dir = MakeFolder(name + ".d", {{"appversion", content}});
        fs::path zip = Work() / name;
        QStringList args{"-q", "-X", Q(level)};
        if (!pw.empty())
            args << "-P" << Q(pw);
        args << Q(zip.string()) << "appversion";
        EXPECT_EQ(RunTool("zip", args, Q(dir.string())), 0);
        return zip;
    }
    int ExtractWhole(const std::string& archive, const fs::path& dest, const std::string& pw) {
        ZbText names[2] = {};
        ZbText comment{};
        return ZipBridgeApi()->ExtractFile(ZbIn(archive), names, 2, 0, &comment,
                                           ZbIn(dest.string()), 1, ZbIn(pw));
    }
};

// Each damaged member is refused by both paths: the earlier file stays, no temporary is left.
TEST_F(CheckedMemberTest, DamagedMembersAreRefusedByBothPaths) {
    const std::string content = Compressible();
    struct Case {
        const char* name;
        fs::path archive;
        const char* password;
    };
    fs::path storedWrong = InfoZip("stored.zip", "-0", kOlderPackagePassword, content);
    fs::path shortData = InfoZip("short.zip", "-6", "", content);
    DamageFirstMember(shortData, Damage::ShortCompressed);
    fs::path longer = InfoZip("longer.zip", "-6", "", content);
    DamageFirstMember(longer, Damage::LongerUncompressed);
    fs::path flipped = InfoZip("flipped.zip", "-6", "", content);
    DamageFirstMember(flipped, Damage::FlipDataByte);
    const Case cases[] = {
        {"wrong password passing the check byte, deflate ends early", kEscapeFixture,
         kPackagePassword},
        {"wrong password on a stored member", storedWrong, kPackagePassword},
        {"member data cut short", shortData, ""},
        {"deflate ends before the stored size", longer, ""},
        {"flipped byte in a deflated member", flipped, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(fs::exists(c.archive));
        fs::path single = Work() / "single";
        fs::path whole = Work() / "whole";
        for (const fs::path& dir : {single, whole}) {
            fs::remove_all(dir);
            WriteFile(dir / "appversion", "earlier");
        }
        EXPECT_NE(ExtractSingleMember(c.archive.string(), c.password, "appversion",
                                      (single / "appversion").string()),
                  0);
        EXPECT_EQ(ExtractWhole(c.archive.string(), whole, c.password), ZB_ERR_READ);
        EXPECT_NE(std::string(ZipBridgeApi()->LastError()).find("appversion"), std::string::npos);
        for (const fs::path& dir : {single, whole}) {
            EXPECT_EQ(ReadFile(dir / "appversion"), "earlier") << dir;
            EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1)
                << dir;
        }
    }
}

// With the fixture the current password is refused, the older one then extracts every member,
// matching Info-ZIP's unzip byte for byte; both fallback paths end with the right files.
TEST_F(CheckedMemberTest, PasswordFallbackExtractsTheEscapeFixture) {
    const std::string archive = kEscapeFixture.string();
    fs::path reference = Work() / "unzip";
    fs::create_directories(reference);
    std::string out;
    ASSERT_EQ(RunTool("unzip",
                      {"-q", "-P", kOlderPackagePassword, Q(archive), "-d", Q(reference.string())},
                      {}, &out),
              0)
        << out;
    const char* members[] = {"appversion", "package.conf", "readme.txt"};

    fs::path whole = Work() / "whole";
    fs::create_directories(whole);
    EXPECT_EQ(ExtractWhole(archive, whole, kOlderPackagePassword), ZB_OK);
    for (const char* m : members) {
        EXPECT_EQ(ExtractSingleMember(archive, kOlderPackagePassword, m, (Work() / m).string()), 0);
        EXPECT_EQ(ReadFile(Work() / m), ReadFile(reference / m)) << m;
        EXPECT_EQ(ReadFile(whole / m), ReadFile(reference / m)) << m;
    }
    EXPECT_EQ(ReadFile(reference / "appversion").size(), 5000u);

    ClearWorkFolder("unpkg");
    EXPECT_TRUE(ExtractMemberSet(PackageKind::Single, archive));
    EXPECT_TRUE(ExtractWholePackage(state, op, archive, "compose_unpkg"));
    for (const char* m : members) {
        EXPECT_EQ(ReadFile(Folder("unpkg") / m), ReadFile(reference / m)) << m;
        EXPECT_EQ(ReadFile(Folder("compose_unpkg") / m), ReadFile(reference / m)) << m;
    }
}

// Undamaged Info-ZIP archives, stored and deflated, extract through both paths.
TEST_F(CheckedMemberTest, InfoZipMembersExtract) {
    const std::string content = Compressible();
    for (const char* level : {"-0", "-6"}) {
        for (const char* pw : {"", kPackagePassword}) {
            SCOPED_TRACE(std::string(level) + " password " + pw);
            fs::path zip = InfoZip("ok.zip", level, pw, content);
            fs::path whole = Work() / "w";
            fs::remove_all(whole);
            fs::create_directories(whole);
            EXPECT_EQ(ExtractWhole(zip.string(), whole, pw), ZB_OK);
            EXPECT_EQ(ReadFile(whole / "appversion"), content);
            EXPECT_EQ(ExtractSingleMember(zip.string(), pw, "appversion", (Work() / "s").string()),
                      0);
            EXPECT_EQ(ReadFile(Work() / "s"), content);
            fs::remove(zip);
        }
    }
}

// Our writer's members, an empty one included (its check byte is the time's: the CRC is 0),
// extract through both paths behind the package's leading bytes.
TEST_F(CheckedMemberTest, OwnWriterMembersExtract) {
    const std::map<std::string, std::string> members = {{"appversion", ""},
                                                        {"readme.txt", Compressible()}};
    const std::string package = MakePackage("own.ssu", members, kPackagePassword);
    fs::path whole = Work() / "w";
    fs::create_directories(whole);
    EXPECT_EQ(ExtractWhole(package, whole, kPackagePassword), ZB_OK);
    for (const auto& [name, content] : members) {
        SCOPED_TRACE(name);
        EXPECT_EQ(ReadFile(whole / name), content);
        EXPECT_EQ(ExtractSingleMember(package, kPackagePassword, name, (Work() / "s").string()), 0);
        EXPECT_EQ(ReadFile(Work() / "s"), content);
    }
}

// Several MB: compressible text, then bytes that do not compress, so that the deflated member
// holds both kinds of blocks and every buffer of the extractor fills more than once.
std::string LargeImage() {
    std::string s = Compressible();
    while (s.size() < 1200 * 1000) s += s.substr(0, 4096);
    std::mt19937 random(17);
    while (s.size() < 3 * 1024 * 1024 + 12345) s += static_cast<char>(random() & 0xFF);
    return s;
}

// Info-ZIP's zip writing the archive to a pipe: it cannot go back to the local header, which
// then holds no sizes for a deflated member; they follow the data in its descriptor.
fs::path InfoZipStreamed(const fs::path& dir, const fs::path& zip, const std::string& level,
                         const std::string& pw) {
    QProcess p;
    p.setWorkingDirectory(Q(dir.string()));
    p.start("zip", {"-q", "-X", Q(level), "-P", Q(pw), "-", "appversion"});
    EXPECT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 0);
    WriteFile(zip, p.readAllStandardOutput().toStdString());
    return zip;
}

// Info-ZIP marks every encrypted member as followed by a data descriptor, and its password
// check byte is then the top byte of the modification time instead of the CRC's.
bool HasDataDescriptor(const fs::path& zip) {
    const std::string s = ReadFile(zip);
    return s.size() > 30 && (static_cast<unsigned char>(s[6]) & 8) != 0;
}

bool LocalHeaderHasSizes(const fs::path& zip) {
    const std::string s = ReadFile(zip);
    return s.size() > 30 && Le32(s, 18) != 0;
}

// Large members, stored and deflated, written to a file or to a pipe (data descriptor), come
// out whole through both paths; Info-ZIP's unzip agrees; a wrong password is refused.
TEST_F(CheckedMemberTest, LargeAndStreamedInfoZipMembers) {
    const std::string content = LargeImage();
    fs::path dir = MakeFolder("large.d", {{"appversion", content}});
    for (const char* level : {"-0", "-6"}) {
        for (bool streamed : {false, true}) {
            SCOPED_TRACE(std::string(level) + (streamed ? " to a pipe" : " to a file"));
            fs::path zip = Work() / "large.zip";
            fs::remove(zip);
            if (streamed) {
                InfoZipStreamed(dir, zip, level, kPackagePassword);
            } else {
                ASSERT_EQ(RunTool("zip",
                                  {"-q", "-X", level, "-P", kPackagePassword, Q(zip.string()),
                                   "appversion"},
                                  Q(dir.string())),
                          0);
            }
            EXPECT_TRUE(HasDataDescriptor(zip));
            if (std::string(level) == "-6") {  // a stored member's sizes are known up front
                EXPECT_EQ(LocalHeaderHasSizes(zip), !streamed);
            }

            fs::path reference = Work() / "unzip";
            fs::remove_all(reference);
            ASSERT_EQ(RunTool("unzip", {"-q", "-P", kPackagePassword, Q(zip.string()), "-d",
                                        Q(reference.string())}),
                      0);
            EXPECT_TRUE(ReadFile(reference / "appversion") == content);

            fs::path whole = Work() / "w";
            fs::remove_all(whole);
            fs::create_directories(whole);
            EXPECT_EQ(ExtractWhole(zip.string(), whole, kPackagePassword), ZB_OK);
            EXPECT_TRUE(ReadFile(whole / "appversion") == content);
            EXPECT_EQ(ExtractSingleMember(zip.string(), kPackagePassword, "appversion",
                                          (Work() / "s").string()),
                      0);
            EXPECT_TRUE(ReadFile(Work() / "s") == content);

            WriteFile(whole / "appversion", "earlier");
            EXPECT_EQ(ExtractWhole(zip.string(), whole, kOlderPackagePassword), ZB_ERR_READ);
            EXPECT_NE(ExtractSingleMember(zip.string(), kOlderPackagePassword, "appversion",
                                          (whole / "appversion").string()),
                      0);
            EXPECT_EQ(ReadFile(whole / "appversion"), "earlier");
            EXPECT_EQ(std::distance(fs::directory_iterator(whole), fs::directory_iterator()), 1);
        }
    }
}

}  // namespace
}  // namespace vorn::test
