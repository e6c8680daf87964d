// ConfSectionReader: exact names, short lines and comments, header section, trimming.
#include <gtest/gtest.h>

#include "lib/ConfSectionReader.h"
#include "tests/common/FileText.h"
#include "tests/common/TempProgramFolder.h"

namespace vorn {
namespace {

TEST(ConfSectionReader, ShortLinesCommentsAndKeys) {
    test::TempProgramFolder dir(false);
    auto p = dir / "upgrade.conf";
    test::WriteFile(p,
                    "top = 1\r\n"
                    "[ plan ]\r\n"
                    "a=\r\n"   // two characters: a comment line
                    "b=2\r\n"  // three characters: a key
                    "  # c=3\r\n"
                    "; d=4\r\n"
                    "// e=5\r\n"
                    "\tkey with blanks  =  value with blanks \t\r\n"
                    "no equals sign here\r\n"
                    "b=second\r\n"
                    "x=y=z\r\n"
                    "[Other]\r\n"
                    "Key=v\r\n"
                    "ok\r\n");
    ConfSectionReader r;
    ASSERT_TRUE(r.Load(p));
    EXPECT_EQ(r.Get(ConfSectionReader::kHeaderSection, "top"), "1");
    EXPECT_EQ(r.Get("plan", "a"), "");
    EXPECT_EQ(r.Get("plan", "b"), "second");  // a repeated key replaces the earlier value
    EXPECT_EQ(r.Get("plan", "c"), "");
    EXPECT_EQ(r.Get("plan", "# c"), "");
    EXPECT_EQ(r.Get("plan", "// e"), "");
    EXPECT_EQ(r.Get("plan", "key with blanks"), "value with blanks");
    EXPECT_EQ(r.Get("plan", "x"), "y=z");
    EXPECT_EQ(r.Get("Other", "Key"), "v");
    EXPECT_EQ(r.Get("other", "Key"), "");  // names are exact
    EXPECT_EQ(r.Get("Other", "key"), "");
    // Comment and short lines are kept as notes numbered per section.
    EXPECT_EQ(r.Get("plan", "__m_note0"), "a=");
    EXPECT_EQ(r.Get("plan", "__m_note3"), "// e=5");
    EXPECT_EQ(r.Get("Other", "__m_note0"), "ok");
}

TEST(ConfSectionReader, MissingFileOrFolder) {
    test::TempProgramFolder dir(false);
    ConfSectionReader r;
    EXPECT_FALSE(r.Load(dir / "missing.conf"));
    EXPECT_FALSE(r.Load(dir.path()));
}

TEST(ConfSectionReader, LongLineIsNotCutIntoASecondKey) {
    test::TempProgramFolder dir(false);
    auto p = dir / "package.conf";
    test::WriteFile(p, "[s]\nnote=" + std::string(1100, 'x') + "forged=1\n");
    ConfSectionReader r;
    ASSERT_TRUE(r.Load(p));
    EXPECT_EQ(r.Get("s", "forged"), "");
    EXPECT_EQ(r.Get("s", "note").size(), 1100u + 8u);
}

}  // namespace
}  // namespace vorn
