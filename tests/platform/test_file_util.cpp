#include <gtest/gtest.h>
#include <unistd.h>

#include <QTemporaryDir>

#include <fstream>
#include <sstream>

#include "platform/FileUtil.h"

namespace vorn {
namespace {

namespace fs = std::filesystem;

void WriteFile(const fs::path& p, const std::string& text) { std::ofstream(p, std::ios::binary) << text; }

std::string ReadFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

class FileUtilTest : public ::testing::Test {
protected:
    QTemporaryDir tmp;
    fs::path dir() const { return tmp.path().toStdString(); }
};

TEST_F(FileUtilTest, ReadOnlyAttribute) {
    const fs::path f = dir() / "a.txt";
    WriteFile(f, "x");
    EXPECT_FALSE(IsReadOnly(f));
    ASSERT_TRUE(SetReadOnly(f, true));
    EXPECT_TRUE(IsReadOnly(f));
    EXPECT_EQ(fs::status(f).permissions() &
                  (fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write),
              fs::perms::none);
    if (geteuid() != 0) {  // root writes regardless of permission bits
        EXPECT_FALSE(std::ofstream(f, std::ios::app).is_open());
    }
    ASSERT_TRUE(ClearReadOnly(f));
    EXPECT_FALSE(IsReadOnly(f));
    EXPECT_TRUE(std::ofstream(f, std::ios::app) << "y");
    EXPECT_EQ(ReadFile(f), "xy");

    std::error_code ec;
    EXPECT_FALSE(SetReadOnly(dir() / "missing", true, &ec));
    EXPECT_TRUE(ec);
    EXPECT_FALSE(IsReadOnly(dir() / "missing"));
}

TEST_F(FileUtilTest, MoveReplaceOverwritesInOneStep) {
    const fs::path from = dir() / "new.bin", to = dir() / "old.bin";
    WriteFile(from, "fresh");
    WriteFile(to, "stale content that is longer");
    std::error_code ec = std::make_error_code(std::errc::io_error);
    ASSERT_TRUE(MoveReplace(from, to, &ec));
    EXPECT_FALSE(ec);
    EXPECT_EQ(ReadFile(to), "fresh");
    EXPECT_FALSE(fs::exists(from));
    // A read-only target is replaced too (the folder's permissions decide, as for rename).
    WriteFile(from, "again");
    ASSERT_TRUE(SetReadOnly(to, true));
    ASSERT_TRUE(MoveReplace(from, to));
    EXPECT_EQ(ReadFile(to), "again");
}

TEST_F(FileUtilTest, MoveReplaceReportsFailure) {
    const fs::path to = dir() / "keep.txt";
    WriteFile(to, "keep");
    std::error_code ec;
    EXPECT_FALSE(MoveReplace(dir() / "absent", to, &ec));
    EXPECT_EQ(ec, std::errc::no_such_file_or_directory);
    EXPECT_EQ(ReadFile(to), "keep");
    WriteFile(dir() / "src", "s");
    EXPECT_FALSE(MoveReplace(dir() / "src", dir() / "no" / "dst", &ec));
    EXPECT_TRUE(ec);
    EXPECT_TRUE(fs::exists(dir() / "src"));
}

}  // namespace
}  // namespace vorn
