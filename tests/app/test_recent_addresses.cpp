// RecentAddressList: the "updater.ini" file, order, limit, stored passwords, bad entries.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/RecentAddressList.h"
#include "lib/IniFile.h"
#include "link/CDES.h"
#include "tests/common/FileText.h"
#include "tests/common/TempProgramFolder.h"

namespace vorn {
namespace {

namespace fs = std::filesystem;

class RecentAddressTest : public ::testing::Test {
protected:
    fs::path File() const { return m_dir / "updater.ini"; }
    std::vector<std::string> Texts(const RecentAddressList& l) const {
        std::vector<std::string> out;
        for (const auto& e : l.Entries()) {
            out.push_back(e.Text());
        }
        return out;
    }
    test::TempProgramFolder m_dir{false};
};

TEST_F(RecentAddressTest, MissingFileGivesTheDefaultAddress) {
    RecentAddressList l;
    l.Load(File());
    EXPECT_TRUE(l.Entries().empty());
    EXPECT_EQ(l.CurrentAddress(), "10.254.254.253");
    EXPECT_EQ(l.CurrentPassword(), "");
    EXPECT_FALSE(fs::exists(File()));
}

TEST_F(RecentAddressTest, EleventhAddressPushesOutTheOldestAndReuseMovesToFront) {
    RecentAddressList l;
    l.Load(File());
    for (int i = 1; i <= 11; ++i) {
        ASSERT_TRUE(l.Add("10.0.0." + std::to_string(i), "pw" + std::to_string(i)));
    }
    ASSERT_EQ(l.Entries().size(), 10u);
    EXPECT_EQ(l.Entries().front().address, "10.0.0.11");
    EXPECT_EQ(l.Entries().back().address, "10.0.0.2");  // 10.0.0.1 went out

    ASSERT_TRUE(l.Add("10.0.0.5", "new"));
    auto texts = Texts(l);
    ASSERT_EQ(texts.size(), 10u);
    EXPECT_EQ(texts[0], "10.0.0.5");
    EXPECT_EQ(std::count(texts.begin(), texts.end(), "10.0.0.5"), 1);

    // The file holds the same list; a new object reads it back.
    RecentAddressList again;
    again.Load(File());
    EXPECT_EQ(Texts(again), texts);
    EXPECT_EQ(again.CurrentAddress(), "10.0.0.5");
    EXPECT_EQ(again.CurrentPassword(), "new");
}

TEST_F(RecentAddressTest, PortIsPartOfTheEntry) {
    RecentAddressList l;
    l.Load(File());
    ASSERT_TRUE(l.Add("10.0.0.1:080", "a"));
    ASSERT_TRUE(l.Add("10.0.0.1", "b"));
    EXPECT_EQ(Texts(l), (std::vector<std::string>{"10.0.0.1", "10.0.0.1:80"}));
    EXPECT_EQ(l.Lookup("10.0.0.1:80").password, "a");
    EXPECT_EQ(l.Lookup("10.0.0.1").password, "b");
    EXPECT_FALSE(l.Add("10.0.0", "x"));
    EXPECT_FALSE(l.Lookup("10.0.0").valid);
    auto unknown = l.Lookup("10.0.0.9");
    EXPECT_TRUE(unknown.valid);
    EXPECT_EQ(unknown.password, "");
}

TEST_F(RecentAddressTest, PasswordsAreStoredEncipheredInAnOwnerOnlyFile) {
    RecentAddressList l;
    l.Load(File());
    ASSERT_TRUE(l.Add("10.1.1.1", "s3cret-password"));
    ASSERT_TRUE(l.Add("10.1.1.2", ""));
    std::string text = test::ReadFile(File());
    EXPECT_EQ(text.find("s3cret"), std::string::npos);
    EXPECT_EQ(fs::status(File()).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    IniFile ini(File());
    EXPECT_EQ(ini.GetInt("IP_CONFIG", "count", 0), 2);
    EXPECT_EQ(ini.Find("IP00", "IP"), "10.1.1.2");
    EXPECT_EQ(ini.Find("IP00", "PWD"), EncodeStoredPassword(""));
    std::string pwd;
    ASSERT_TRUE(DecodeStoredPassword(*ini.Find("IP01", "PWD"), pwd));
    EXPECT_EQ(pwd, "s3cret-password");
}

TEST_F(RecentAddressTest, ReadingStopsAtTheFirstBadEntry) {
    struct Case {
        const char* name;
        std::string badSection;
    } cases[] = {
        {"missing PWD", "[IP01]\r\nIP = 10.0.0.2\r\n"},
        {"missing IP", "[IP01]\r\nPWD = " + EncodeStoredPassword("x") + "\r\n"},
        {"invalid address", "[IP01]\r\nIP = 10.0.0\r\nPWD = " + EncodeStoredPassword("x") + "\r\n"},
        {"not hexadecimal", "[IP01]\r\nIP = 10.0.0.2\r\nPWD = XYZ\r\n"},
        {"no marker", "[IP01]\r\nIP = 10.0.0.2\r\nPWD = 0A00112233445566778899AABBCCDDEEFF00\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::WriteFile(File(), "[IP_CONFIG]\r\ncount = 3\r\n[IP00]\r\nIP = 10.0.0.1\r\nPWD = " +
                                    EncodeStoredPassword("one") + "\r\n" + c.badSection +
                                    "[IP02]\r\nIP = 10.0.0.3\r\nPWD = " +
                                    EncodeStoredPassword("three") + "\r\n");
        RecentAddressList l;
        l.Load(File());
        ASSERT_EQ(l.Entries().size(), 1u);
        EXPECT_EQ(l.CurrentAddress(), "10.0.0.1");
        EXPECT_EQ(l.CurrentPassword(), "one");
    }
}

TEST_F(RecentAddressTest, NoCountMeansAnEmptyListAndCountIsCappedAtTen) {
    test::WriteFile(File(),
                    "[IP00]\r\nIP = 10.0.0.1\r\nPWD = " + EncodeStoredPassword("") + "\r\n");
    RecentAddressList l;
    l.Load(File());
    EXPECT_TRUE(l.Entries().empty());
    EXPECT_EQ(l.CurrentAddress(), "10.254.254.253");

    std::string text = "[IP_CONFIG]\r\ncount = 50\r\n";
    for (int i = 0; i < 12; ++i) {
        char sec[8];
        std::snprintf(sec, sizeof sec, "IP%02d", i);
        text += std::string("[") + sec + "]\r\nIP = 10.0.1." + std::to_string(i + 1) +
                "\r\nPWD = " + EncodeStoredPassword("") + "\r\n";
    }
    test::WriteFile(File(), text);
    l.Load(File());
    EXPECT_EQ(l.Entries().size(), 10u);
}

}  // namespace
}  // namespace vorn
