#include "lib/CXmlUI.h"

#include <fstream>
#include <iterator>
#include <new>
#include <sstream>

namespace vorn {
namespace {

bool IsNameChar(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '#' ||
           c == '$' || c == '%' || c == '-' || c == '.' || c == '@' || c == '_' || c == '`' ||
           c == '~';
}

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

class Parser {
public:
    explicit Parser(const std::string& s) : m_s(s) {}

    int Document(std::vector<std::unique_ptr<XmlNode>>& out) {
        SkipSpace();
        if (At() != '<') {
            return CXmlUI::kNotXml;
        }
        while (At() == '<' && Peek(1) == '?') {
            auto decl = NewNode(XmlNode::Declaration);
            m_pos += 2;
            if (int rc = Name(decl->name); rc) {
                return rc;
            }
            if (int rc = Attributes(*decl); rc) {
                return rc;
            }
            if (!Starts("?>")) {
                return CXmlUI::kSyntax;
            }
            m_pos += 2;
            out.push_back(std::move(decl));
            SkipSpace();
        }
        if (int rc = Sequence(out, 0); rc) {
            return rc;
        }
        return End() ? CXmlUI::kOk : CXmlUI::kSyntax;
    }

private:
    const std::string& m_s;
    size_t m_pos = 0;
    int m_line = 1;

    bool End() const { return m_pos >= m_s.size(); }
    char At() const { return End() ? '\0' : m_s[m_pos]; }
    char Peek(size_t k) const { return m_pos + k < m_s.size() ? m_s[m_pos + k] : '\0'; }
    bool Starts(const char* t) const {
        return m_s.compare(m_pos, std::char_traits<char>::length(t), t) == 0;
    }

    void Advance(size_t n) {
        for (size_t i = 0; i < n && m_pos < m_s.size(); ++i) {
            if (m_s[m_pos++] == '\n') {
                ++m_line;
            }
        }
    }
    void SkipSpace() {
        while (!End() && IsSpace(m_s[m_pos])) {
            Advance(1);
        }
    }
    std::unique_ptr<XmlNode> NewNode(XmlNode::Kind kind) {
        auto n = std::make_unique<XmlNode>();
        n->kind = kind;
        n->line = m_line;
        return n;
    }

    int Name(std::string& name) {
        if (!IsNameChar(At())) {
            return CXmlUI::kBadName;
        }
        size_t start = m_pos;
        while (m_pos - start < CXmlUI::kMaxName && IsNameChar(At())) {
            ++m_pos;
        }
        name.assign(m_s, start, m_pos - start);
        return CXmlUI::kOk;
    }

    // Attributes up to (not including) "/>", ">" or "?>".
    int Attributes(XmlNode& node) {
        for (;;) {
            SkipSpace();
            if (End()) {
                return CXmlUI::kSyntax;
            }
            char c = At();
            if (c == '>' || (c == '/' && Peek(1) == '>') || (c == '?' && Peek(1) == '>')) {
                return CXmlUI::kOk;
            }
            std::string name;
            if (int rc = Name(name); rc) {
                return rc;
            }
            SkipSpace();
            if (At() != '=') {
                return CXmlUI::kSyntax;
            }
            ++m_pos;
            SkipSpace();
            if (At() != '"') {
                return CXmlUI::kSyntax;
            }
            ++m_pos;
            size_t close = m_s.find('"', m_pos);
            if (close == std::string::npos) {
                return CXmlUI::kSyntax;
            }
            std::string raw = m_s.substr(m_pos, close - m_pos);
            Advance(close + 1 - m_pos);
            node.attributes.emplace_back(std::move(name), XmlDecodeEntities(std::move(raw)));
        }
    }

    // Nodes until the end of input or "</"; the caller checks which one ended it.
    int Sequence(std::vector<std::unique_ptr<XmlNode>>& out, int depth) {
        for (;;) {
            size_t textStart = m_pos;
            int textLine = m_line;
            SkipSpace();
            if (End() || Starts("</")) {
                return CXmlUI::kOk;
            }
            if (At() != '<') {
                size_t lt = m_s.find('<', m_pos);
                size_t stop = lt == std::string::npos ? m_s.size() : lt;
                auto text = NewNode(XmlNode::Text);
                text->line = textLine;
                text->text = XmlDecodeEntities(m_s.substr(textStart, stop - textStart));
                Advance(stop - m_pos);
                out.push_back(std::move(text));
                continue;
            }
            if (int rc = Node(out, depth); rc) {
                return rc;
            }
        }
    }

    int Delimited(std::vector<std::unique_ptr<XmlNode>>& out, XmlNode::Kind kind, size_t open,
                  const char* terminator) {
        auto node = NewNode(kind);
        Advance(open);
        size_t stop = m_s.find(terminator, m_pos);
        if (stop == std::string::npos) {
            return CXmlUI::kSyntax;
        }
        node->text = m_s.substr(m_pos, stop - m_pos);
        Advance(stop - m_pos + std::char_traits<char>::length(terminator));
        out.push_back(std::move(node));
        return CXmlUI::kOk;
    }

    int Node(std::vector<std::unique_ptr<XmlNode>>& out, int depth) {
        if (Starts("<!--")) {
            return Delimited(out, XmlNode::Comment, 4, "-->");
        }
        if (Starts("<![CDATA[")) {
            return Delimited(out, XmlNode::CData, 9, "]]>");
        }
        if (Starts("<!")) {
            return CXmlUI::kBadBang;
        }
        if (depth >= CXmlUI::kMaxDepth) {
            return CXmlUI::kSyntax;
        }
        auto element = NewNode(XmlNode::Element);
        ++m_pos;
        if (int rc = Name(element->name); rc) {
            return rc;
        }
        if (int rc = Attributes(*element); rc) {
            return rc;
        }
        if (At() == '/') {
            m_pos += 2;
            element->selfClosed = true;
            out.push_back(std::move(element));
            return CXmlUI::kOk;
        }
        if (At() != '>') {  // "?>" inside an element
            return CXmlUI::kSyntax;
        }
        ++m_pos;
        if (int rc = Sequence(element->children, depth + 1); rc) {
            return rc;
        }
        if (!Starts("</")) {
            return CXmlUI::kSyntax;
        }
        m_pos += 2;
        std::string endName;
        if (int rc = Name(endName); rc) {
            return rc;
        }
        if (endName != element->name) {
            return CXmlUI::kBadName;
        }
        if (At() != '>') {
            return CXmlUI::kSyntax;
        }
        ++m_pos;
        out.push_back(std::move(element));
        return CXmlUI::kOk;
    }
};

void ReplaceAll(std::string& s, const std::string& from, const std::string& to) {
    size_t pos = 0;
    while ((pos = s.find(from, pos)) != std::string::npos) {
        s.replace(pos, from.size(), to);
        pos += to.size();
    }
}

const std::vector<std::unique_ptr<XmlNode>> kNoChildren;

}  // namespace

std::string XmlDecodeEntities(std::string text) {
    if (text.find('&') == std::string::npos) {
        return text;
    }
    ReplaceAll(text, "&lt;", "<");
    ReplaceAll(text, "&gt;", ">");
    ReplaceAll(text, "&amp;", "&");
    ReplaceAll(text, "&quot;", "\"");
    ReplaceAll(text, "&apos;", "'");
    return text;
}

int CXmlUI::Load(const std::string& path) {
    std::string p = path.empty() ? m_path : path;
    m_nodes.clear();
    m_loaded = false;
    if (p.empty()) {
        return kNoFileName;
    }
    m_path = p;
    try {
        std::ifstream in(p, std::ios::in);
        if (!in) {
            return kCannotOpen;
        }
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (text.empty()) {
            return kCannotOpen;
        }
        return Parse(text);
    } catch (const std::bad_alloc&) {
        return kNoMemory;
    }
}

int CXmlUI::Parse(const std::string& text) {
    m_nodes.clear();
    m_loaded = false;
    try {
        Parser parser(text);
        std::vector<std::unique_ptr<XmlNode>> nodes;
        int rc = parser.Document(nodes);
        if (rc == kOk) {
            m_nodes = std::move(nodes);
            m_loaded = true;
        }
        return rc;
    } catch (const std::bad_alloc&) {
        return kNoMemory;
    }
}

const XmlNode* CXmlUI::FindElement(const std::string& name, int index,
                                   const XmlNode* parent) const {
    if (!m_loaded || index < 0) {
        return nullptr;
    }
    const XmlNode* current = parent;
    size_t start = 0;
    for (;;) {
        size_t slash = name.find('/', start);
        bool last = slash == std::string::npos;
        std::string part = name.substr(start, last ? std::string::npos : slash - start);
        const auto& list = current ? current->children : m_nodes;
        int want = last ? index : 0;
        const XmlNode* found = nullptr;
        for (const auto& node : list) {
            if (node->kind == XmlNode::Element && node->name == part && want-- == 0) {
                found = node.get();
                break;
            }
        }
        if (!found || last) {
            return found;
        }
        current = found;
        start = slash + 1;
    }
}

const std::vector<std::unique_ptr<XmlNode>>& CXmlUI::Children(const XmlNode* element) const {
    return element ? element->children : kNoChildren;
}

int CXmlUI::GetAttribute(const XmlNode* element, const std::string& name,
                         std::string& value) const {
    value.clear();
    if (!m_loaded || !element) {
        return 8;
    }
    for (const auto& [key, v] : element->attributes) {
        if (key == name) {
            value = v;
            return 0;
        }
    }
    return 3;
}

}  // namespace vorn
