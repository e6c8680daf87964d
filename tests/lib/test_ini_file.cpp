// IniFile: parsing rules, folding, order, change detection, comment placement and output.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <filesystem>

#include "lib/IniFile.h"
#include "tests/common/FileText.h"
#include "tests/common/TempProgramFolder.h"

namespace vorn {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::WriteFile;

class IniFileTest : public ::testing::Test {
protected:
    fs::path Write(const std::string& text, const char* name = "t.ini") {
        fs::path p = m_dir / name;
        WriteFile(p, text);
        return p;
    }
    test::TempProgramFolder m_dir{false};
};

TEST(IniFileTables, HashAndPrimeTable) {
    EXPECT_EQ(IniElfHash("abc"), 0x6783u);
    // A byte above 0x7f counts as a negative character; the top bits fold into bits 4-7.
    EXPECT_EQ(IniElfHash("\xff"), 0x0FFFFF0Fu);
    EXPECT_EQ(IniTableSize(50), 53u);
    EXPECT_EQ(IniTableSize(10), 11u);
    EXPECT_EQ(IniTableSize(53), 53u);
    EXPECT_EQ(IniTableSize(4000000000u), 2147483399u);
    EXPECT_EQ(IniNextTableSize(53), 107u);
    EXPECT_EQ(IniNextTableSize(2147483399u), 2147483399u);
    EXPECT_EQ(IniFoldName("AbC_Z"), "abc_z");
    EXPECT_EQ(IniFoldName(std::string(70, 'K')), std::string(64, 'k'));
}

TEST_F(IniFileTest, SectionNamesFoldAndKeepTheFirstSpelling) {
    IniFile ini;
    ASSERT_EQ(ini.Load(Write("[Total]\na=1\n[total]\nb=2\n[TOTAL]\nA=3\n")), 0);
    EXPECT_EQ(ini.ListSections(), std::vector<std::string>{"Total"});
    EXPECT_EQ(ini.ListKeys("tOTAL"), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(ini.Find("TOTAL", "A"), "1");  // the first value wins
    fs::path out = m_dir / "out.ini";
    ASSERT_EQ(ini.Save(out), 0);
    EXPECT_EQ(ReadFile(out), "[Total]\r\na = 1\r\nb = 2\r\n\r\n");
}

TEST_F(IniFileTest, KeyLineBlankRules) {
    struct Case {
        const char* line;
        const char* key;  // folded key, nullptr when the line is ignored
        const char* value;
    } cases[] = {
        {"key = value", "key", "value"},
        {"key=value", "key", "value"},
        {"key  =  value", "key ", " value"},
        {"   key=value\r", "key", "value"},
        {"key =", "key", ""},
        {"key = a = b ", "key", "a = b "},
        {"=value", nullptr, nullptr},
        {"no equals sign", nullptr, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        IniFile ini;
        ASSERT_EQ(ini.Load(Write(std::string("[s]\n") + c.line + "\n")), 0);
        auto keys = ini.ListKeys("s");
        if (!c.key) {
            EXPECT_TRUE(keys.empty());
            continue;
        }
        ASSERT_EQ(keys, std::vector<std::string>{c.key});
        EXPECT_EQ(ini.Find("s", c.key), c.value);
    }
}

TEST_F(IniFileTest, TwoBlanksRoundTripUnchanged) {
    IniFile ini;
    ASSERT_EQ(ini.Load(Write("[s]\r\nkey  =  value\r\n\r\n")), 0);
    fs::path out = m_dir / "out.ini";
    ASSERT_EQ(ini.Save(out), 0);
    EXPECT_EQ(ReadFile(out), "[s]\r\nkey  =  value\r\n\r\n");
}

TEST_F(IniFileTest, NamesAgreeingInTheirFirst64CharactersAreOne) {
    std::string a = std::string(64, 'x') + "A";
    std::string b = std::string(64, 'X') + "b";
    IniFile ini;
    ASSERT_EQ(ini.SetString("s", a, "1"), 0);
    ASSERT_EQ(ini.SetString("s", b, "2"), 0);
    EXPECT_EQ(ini.ListKeys("s"), std::vector<std::string>{std::string(64, 'x')});
    EXPECT_EQ(ini.Find("S", a), "2");
}

TEST_F(IniFileTest, SectionLineRules) {
    IniFile ini;
    // Blanks after the bracket: no bracket is directly followed by the line end.
    ASSERT_EQ(ini.Load(Write("[abc] \nk=1\n[x]y]\r\nk=2\n[open\nk=3\n[last]")), 0);
    EXPECT_EQ(ini.ListSections(), (std::vector<std::string>{"abc] ", "x]y", "open", "last"}));
    EXPECT_EQ(ini.Find("abc] ", "k"), "1");
    EXPECT_FALSE(ini.KeyExists("abc", "k"));
}

TEST_F(IniFileTest, LinesBeforeTheFirstSectionAreIgnored) {
    IniFile ini;
    ASSERT_EQ(ini.Load(Write("k=1\n[s]\nk=2\n")), 0);
    EXPECT_EQ(ini.ListSections(), std::vector<std::string>{"s"});
    EXPECT_EQ(ini.Find("s", "k"), "2");
}

TEST_F(IniFileTest, CommentBlocksAreWrittenUnderTheSectionAbove) {
    IniFile ini;
    ASSERT_EQ(ini.Load(Write("; header 1\n# header 2\n[one]\na=1\n; between\n  ; indented\n"
                             "[two]\nb=2\n; at the end\n")),
              0);
    fs::path out = m_dir / "out.ini";
    ASSERT_EQ(ini.Save(out), 0);
    const char* expected =
        "; header 1\r\n# header 2\r\n"
        "[one]\r\n; between\r\n; indented\r\na = 1\r\n\r\n"
        "[two]\r\n; at the end\r\nb = 2\r\n\r\n";
    EXPECT_EQ(ReadFile(out), expected);
    // What the store wrote reads back to the same file.
    IniFile again(out);
    fs::path out2 = m_dir / "out2.ini";
    ASSERT_EQ(again.Save(out2), 0);
    EXPECT_EQ(ReadFile(out2), expected);
}

TEST_F(IniFileTest, ReplacedKeyMovesToTheEnd) {
    IniFile ini;
    ASSERT_EQ(ini.Load(Write("[s]\na=1\nb=2\nc=3\n")), 0);
    EXPECT_FALSE(ini.IsDirty());
    ASSERT_EQ(ini.SetString("S", "A", "9"), 0);
    EXPECT_TRUE(ini.IsDirty());
    EXPECT_EQ(ini.ListKeys("s"), (std::vector<std::string>{"b", "c", "a"}));
    ASSERT_EQ(ini.Save(), 0);
    EXPECT_EQ(ReadFile(m_dir / "t.ini"), "[s]\r\nb = 2\r\nc = 3\r\nA = 9\r\n\r\n");
}

// Moves the file's modification time away from what Load recorded.
void Touch(const fs::path& p, int secondsBack) {
    fs::last_write_time(p, fs::last_write_time(p) - std::chrono::seconds(secondsBack));
}

TEST_F(IniFileTest, ReloadKeepsUnsavedChangesUntilTheFileChanges) {
    fs::path p = Write("[s]\na=1\n");
    IniFile ini(p);
    ASSERT_TRUE(ini.IsLoaded());
    ini.SetString("s", "a", "changed");
    ASSERT_EQ(ini.Load(p), 0);
    EXPECT_EQ(ini.Find("s", "a"), "changed");
    EXPECT_TRUE(ini.IsDirty());

    WriteFile(p, "[s]\na=2\n");
    Touch(p, 5);
    ASSERT_EQ(ini.Load(p), 0);
    EXPECT_EQ(ini.Find("s", "a"), "2");
    EXPECT_FALSE(ini.IsDirty());
}

TEST_F(IniFileTest, SaveWritesOnlyWhenDirtyExceptToAnotherPath) {
    fs::path p = Write("[s]\na=1\n");
    IniFile ini(p);
    fs::remove(p);
    ASSERT_EQ(ini.Save(), 0);
    EXPECT_FALSE(fs::exists(p));  // clean: nothing written
    ASSERT_EQ(ini.Save(p), 0);
    EXPECT_FALSE(fs::exists(p));
    fs::path other = m_dir / "other.ini";
    ASSERT_EQ(ini.Save(other), 0);
    EXPECT_EQ(ReadFile(other), "[s]\r\na = 1\r\n\r\n");
}

TEST_F(IniFileTest, UnreadableFileKeepsItsPathSoSaveCreatesIt) {
    fs::path p = m_dir / "missing.ini";
    IniFile ini;
    EXPECT_EQ(ini.Load(p), -1);
    EXPECT_FALSE(ini.IsLoaded());
    EXPECT_EQ(ini.Load(m_dir.path()), -1);  // a folder
    EXPECT_EQ(ini.Load(p), -1);
    ASSERT_EQ(ini.SetInt("IP_CONFIG", "count", 3), 0);
    ASSERT_EQ(ini.Save(), 0);
    EXPECT_EQ(ReadFile(p), "[IP_CONFIG]\r\ncount = 3\r\n\r\n");
}

TEST_F(IniFileTest, SaveFailureLeavesTheOldFileAndNoLeftovers) {
    IniFile ini;
    ini.SetString("s", "k", "v");
    EXPECT_EQ(ini.Save(m_dir / "no-such-folder" / "x.ini"), -1);
    EXPECT_TRUE(ini.IsDirty());
    fs::path p = Write("[old]\nk=1\n");
    ::chmod(m_dir.path().c_str(), 0500);
    if (::access(m_dir.path().c_str(), W_OK) != 0) {  // root ignores the mode
        EXPECT_EQ(ini.Save(p), -1);
        EXPECT_EQ(ReadFile(p), "[old]\nk=1\n");
    }
    ::chmod(m_dir.path().c_str(), 0700);
    EXPECT_EQ(std::distance(fs::directory_iterator(m_dir.path()), fs::directory_iterator()), 1);
}

TEST_F(IniFileTest, FileModeAppliesToCreatedFiles) {
    IniFile ini;
    ini.SetFileMode(0600);
    ini.SetString("s", "k", "v");
    fs::path p = m_dir / "secret.ini";
    ASSERT_EQ(ini.Save(p), 0);
    EXPECT_EQ(fs::status(p).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(IniFileTest, GetStringBufferRules) {
    IniFile ini;
    ini.SetString("s", "k", "abcdef");
    char buf[4] = "zz";
    EXPECT_STREQ(ini.GetString("s", "k", buf, sizeof buf, "dflt"), "abc");
    EXPECT_STREQ(ini.GetString("s", "k", nullptr, 0, nullptr), "abcdef");
    const char* r = ini.GetString("s", "missing", buf, sizeof buf, "de");
    EXPECT_STREQ(r, "");
    EXPECT_STREQ(buf, "de");
}

TEST_F(IniFileTest, IntegerReaders) {
    IniFile ini;
    ini.SetString("s", "n", "-12");
    ini.SetString("s", "e", "");
    ini.SetString("s", "big", "4294967295");
    EXPECT_EQ(ini.GetInt("s", "n", 7), -12);
    EXPECT_EQ(ini.GetInt("s", "e", 7), 7);
    EXPECT_EQ(ini.GetInt("s", "none", 7), 7);
    EXPECT_EQ(ini.GetUInt("s", "big", 0), 4294967295u);
}

TEST_F(IniFileTest, ValuesThatWouldChangeTheFileAreRefused) {
    IniFile ini;
    EXPECT_EQ(ini.SetString("s", "k", "1\r\n[injected]"), -2);
    EXPECT_EQ(ini.SetString("s\n", "k", "v"), -1);
    EXPECT_EQ(ini.SetString("s", "a=b", "v"), -2);
    EXPECT_EQ(ini.SetString("s", ";k", "v"), -2);
    EXPECT_EQ(ini.SetString("s", "", "v"), -2);
    EXPECT_TRUE(ini.ListKeys("s").empty());
}

TEST_F(IniFileTest, ManyKeysGrowTheTablesAndKeepOrder) {
    IniFile ini;
    for (int i = 0; i < 3000; ++i) {
        ASSERT_EQ(ini.SetInt(std::string("S").append(std::to_string(i % 7)),
                             std::string("Key").append(std::to_string(i)), i),
                  0);
    }
    for (int i = 0; i < 3000; ++i) {
        ASSERT_EQ(ini.GetInt(std::string("s").append(std::to_string(i % 7)),
                             std::string("KEY").append(std::to_string(i)), -1),
                  i);
    }
    auto keys = ini.ListKeys("s3");
    ASSERT_EQ(keys.size(), 429u);
    EXPECT_EQ(keys.front(), "key3");
    EXPECT_EQ(keys.back(), "key2999");
    ini.Clear();
    EXPECT_TRUE(ini.ListSections().empty());
}

TEST_F(IniFileTest, LongLinesStayOneLine) {
    std::string value(70000, 'v');
    IniFile ini;
    ASSERT_EQ(ini.Load(Write("[s]\nk=" + value + "[x]\nj=" + value + "\n")), 0);
    EXPECT_EQ(ini.ListSections(), std::vector<std::string>{"s"});
    EXPECT_EQ(ini.Find("s", "j")->size(), 70000u);
}

TEST_F(IniFileTest, RealOptionsFileRoundTrip) {
    const std::string text =
        "; written by the options dialog\r\n"
        "[OPTION_UPDATE_OPTION]\r\n"
        "SAVE_PACKAGE = yes\r\n"
        "\r\n"
        "[OPTION_NETWORK_CONFIG]\r\n"
        "UPDATE_SERVER = 0\r\n"
        "USE_HTTP_PROXY = yes\r\n"
        "PROXY_IP = 192.168.1.20\r\n"
        "PROXY_PORT = 8080\r\n"
        "NEED_AUTH = no\r\n"
        "TELCOM_SERVER = http://update1.vorn.example.com/updater/\r\n"
        "\r\n"
        "[UPDATE_DEVICE]\r\n"
        "UPDATE_TYPE = local\r\n"
        "\r\n"
        "[AUTO_BAK]\r\n"
        "AUTOBAK_NUM = 5\r\n"
        "\r\n";
    fs::path p = Write(text, "updaterconf.ini");
    IniFile ini(p);
    fs::path copy = m_dir / "copy.ini";
    ASSERT_EQ(ini.Save(copy), 0);
    EXPECT_EQ(ReadFile(copy), text);
    EXPECT_EQ(ini.GetInt("auto_bak", "autobak_num", 0), 5);
    ini.SetString("OPTION_NETWORK_CONFIG", "PROXY_PORT", "3128");
    ASSERT_EQ(ini.Save(), 0);
    IniFile again(p);
    EXPECT_EQ(again.Find("option_network_config", "proxy_port"), "3128");
    EXPECT_EQ(again.ListSections().size(), 4u);
}

}  // namespace
}  // namespace vorn
