#pragma once
// The XML reader for the package rule files: elements, attributes, text, comments, CDATA and
// one declaration; no namespaces, document types or character references. Names are up to 64
// characters of [#$%\-.0-9@A-Z_`a-z~]; attribute values must be double-quoted; the five
// predefined entities are decoded one after another (&lt; &gt; &amp; &quot; &apos;).
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace vorn {

struct XmlNode {
    enum Kind { Declaration, Element, Text, Comment, CData };
    Kind kind = Element;
    std::string name;  // declaration and element
    std::vector<std::pair<std::string, std::string>> attributes;
    std::vector<std::unique_ptr<XmlNode>> children;  // element content
    std::string text;                                // text, comment, CDATA
    bool selfClosed = false;
    int line = 0;
};

class CXmlUI {
public:
    // Load error codes.
    enum {
        kOk = 0,
        kNotXml = 5,   // does not begin with "<" after white space
        kSyntax = 6,   // unexpected end, missing ">", malformed attribute
        kBadBang = 7,  // "<!" that opens neither a comment nor CDATA
        kBadName = 8,  // bad name start, mismatched end tag, no document
        kNoFileName = 9,
        kCannotOpen = 10,  // cannot open, or empty
        kNoMemory = 11,
    };
    static constexpr size_t kMaxName = 64;
    // Nesting deeper than this is refused with kSyntax instead of exhausting the stack.
    static constexpr int kMaxDepth = 256;

    // Reads and parses a file; an empty path reuses the stored path.
    int Load(const std::string& path);
    // Parses text already in memory (the file loader and the fuzz target use it).
    int Parse(const std::string& text);

    // The index-th element named `name` among the children of `parent` (top level when null);
    // "a/b" descends one level per part, the index applying to the last part.
    const XmlNode* FindElement(const std::string& name, int index = 0,
                               const XmlNode* parent = nullptr) const;
    // Child nodes of an element, every kind, in order.
    const std::vector<std::unique_ptr<XmlNode>>& Children(const XmlNode* element) const;
    // 0 found; 3 no such attribute (value emptied); 8 no document or no element.
    int GetAttribute(const XmlNode* element, const std::string& name, std::string& value) const;

    const std::vector<std::unique_ptr<XmlNode>>& TopLevel() const { return m_nodes; }
    const std::string& Path() const { return m_path; }

private:
    std::vector<std::unique_ptr<XmlNode>> m_nodes;
    std::string m_path;
    bool m_loaded = false;
};

// Decodes the five predefined entities, each everywhere and in the fixed order.
std::string XmlDecodeEntities(std::string text);

}  // namespace vorn
