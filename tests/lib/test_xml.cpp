// The XML reader on the rule-file shapes and on the malformed inputs it must refuse.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <fstream>

#include "lib/CXmlUI.h"

namespace vorn {
namespace {

struct ParseCase {
    const char* name;
    std::string text;
    int code;
};

class XmlParse : public ::testing::TestWithParam<ParseCase> {};

TEST_P(XmlParse, ReturnsCode) {
    CXmlUI xml;
    EXPECT_EQ(xml.Parse(GetParam().text), GetParam().code) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Codes, XmlParse,
    ::testing::Values(
        ParseCase{"Minimal", "<a/>", 0},
        ParseCase{"DeclarationAndElement", "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<a></a>",
                  0},
        ParseCase{"CommentCdataText", "<a><!-- c --><![CDATA[<x&amp;>]]>t&lt;</a>", 0},
        ParseCase{"LeadingSpaceThenElement", "  \n\t<a/>  \n", 0},
        ParseCase{"ByteOrderMark", "\xEF\xBB\xBF<a/>", 5}, ParseCase{"TextFirst", "hello<a/>", 5},
        ParseCase{"Name64", "<" + std::string(64, 'n') + "/>", 0},
        ParseCase{"Name65", "<" + std::string(65, 'n') + "/>", 6},
        ParseCase{"SingleQuotedAttribute", "<a x='1'/>", 6},
        ParseCase{"AttributeWithoutValue", "<a x/>", 6},
        ParseCase{"UnterminatedAttribute", "<a x=\"1/>", 6},
        ParseCase{"UnterminatedComment", "<a><!-- c </a>", 6},
        ParseCase{"UnterminatedCdata", "<a><![CDATA[x</a>", 6},
        ParseCase{"MissingEndTag", "<a><b/>", 6}, ParseCase{"EndTagWithoutGreater", "<a></a", 6},
        ParseCase{"TrailingGarbageAfterEndTag", "<a/></b>", 6},
        ParseCase{"BangWithoutComment", "<a><!DOCTYPE a></a>", 7},
        ParseCase{"LessThanBlankInText", "<a>x < y</a>", 8},
        ParseCase{"MismatchedEndTag", "<a></b>", 8}, ParseCase{"ColonIsNotANameChar", "<a:b/>", 8},
        ParseCase{"NameStartsBadly", "<=a/>", 8},
        ParseCase{"DeepNesting",
                  [] {
                      std::string s;
                      for (int i = 0; i < 1000; ++i) s += "<a>";
                      return s;
                  }(),
                  6}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Xml, EntitiesDecodeOneAfterAnother) {
    CXmlUI xml;
    ASSERT_EQ(xml.Parse("<a v=\"&amp;lt;|&amp;quot;|&lt;&gt;&apos;&#65;\">&amp;lt;&amp;quot;</a>"),
              0);
    const XmlNode* a = xml.FindElement("a");
    ASSERT_NE(a, nullptr);
    std::string v;
    EXPECT_EQ(xml.GetAttribute(a, "v", v), 0);
    EXPECT_EQ(v, "&lt;|\"|<>'&#65;");
    ASSERT_EQ(xml.Children(a).size(), 1u);
    EXPECT_EQ(xml.Children(a)[0]->kind, XmlNode::Text);
    EXPECT_EQ(xml.Children(a)[0]->text, "&lt;\"");
}

TEST(Xml, FindsSelfClosedAndEndTagElementsByIndexAndPath) {
    CXmlUI xml;
    ASSERT_EQ(
        xml.Parse("<?xml version=\"1.0\"?>\n<root>\n  <rule name=\"one\"/>\n  "
                  "<other/>\n  <rule name=\"two\"><cond k=\"v\" k=\"w\"></cond></rule>\n</root>"),
        0);
    const XmlNode* root = xml.FindElement("root");
    ASSERT_NE(root, nullptr);
    std::string v;
    EXPECT_EQ(xml.GetAttribute(xml.FindElement("rule", 0, root), "name", v), 0);
    EXPECT_EQ(v, "one");
    const XmlNode* second = xml.FindElement("rule", 1, root);
    ASSERT_NE(second, nullptr);
    EXPECT_FALSE(second->selfClosed);
    EXPECT_EQ(xml.FindElement("rule", 2, root), nullptr);
    const XmlNode* cond = xml.FindElement("root/cond", 0);
    EXPECT_EQ(cond, nullptr);  // "cond" is not a child of the first "rule"
    cond = xml.FindElement("cond", 0, second);
    ASSERT_NE(cond, nullptr);
    EXPECT_EQ(xml.GetAttribute(cond, "k", v), 0);
    EXPECT_EQ(v, "v");  // the first of two equal names counts
    EXPECT_EQ(xml.GetAttribute(cond, "missing", v), 3);
    EXPECT_EQ(v, "");
    EXPECT_EQ(xml.GetAttribute(nullptr, "k", v), 8);
    EXPECT_EQ(xml.FindElement("root/rule", 1), second);
    // White space alone between tags makes no text node.
    for (const auto& child : xml.Children(root)) {
        EXPECT_EQ(child->kind, XmlNode::Element);
    }
}

TEST(Xml, LoadFromFile) {
    QTemporaryDir dir;
    std::string path = dir.filePath("rules.xml").toStdString();
    CXmlUI xml;
    EXPECT_EQ(xml.Load(""), 9);
    EXPECT_EQ(xml.Load(path), 10);  // missing
    std::ofstream(path).close();
    EXPECT_EQ(xml.Load(path), 10);  // empty
    std::ofstream(path) << "<filecontent><r name=\"x\"/></filecontent>\n";
    EXPECT_EQ(xml.Load(""), 0);  // the stored path is reused
    EXPECT_NE(xml.FindElement("filecontent/r"), nullptr);
    EXPECT_EQ(xml.Path(), path);
}

}  // namespace
}  // namespace vorn
