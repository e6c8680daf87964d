#include "packages/VersionRules.h"

#include <algorithm>
#include <cctype>
#include <regex>
#include <vector>

#include "lib/CXmlUI.h"
#include "lib/Text.h"
#include "lib/WorkFolders.h"
#include "packages/ProductTags.h"

namespace vorn {
namespace {

int Apply(const VersionTagRule* rules, int count, int fallback, const std::string& lower) {
    for (int i = 0; i < count; ++i) {
        const auto& r = rules[i];
        bool hit = r.prefixMatch ? lower.rfind(std::string(r.tag), 0) == 0
                                 : lower.find(r.tag) != std::string::npos;
        if (hit) {
            return r.result;
        }
    }
    return fallback;
}

std::string TrimBlanks(const std::string& s) {
    size_t b = s.find_first_not_of(' ');
    if (b == std::string::npos) {
        return {};
    }
    return s.substr(b, s.find_last_not_of(' ') - b + 1);
}

std::string Attr(const CXmlUI& xml, const XmlNode* node, const char* name) {
    std::string v;
    xml.GetAttribute(node, name, v);
    return v;
}

bool ConditionHolds(const CXmlUI& xml, const XmlNode* cond,
                    const std::map<std::string, std::string>& report) {
    auto it = report.find(Attr(xml, cond, "name"));
    if (it == report.end()) {
        return false;
    }
    long count = std::strtol(Attr(xml, cond, "versionnum").c_str(), nullptr, 10);
    for (long i = 1; i <= count; ++i) {
        // A missing pattern reads as empty, which matches any value, so the loop never runs
        // past the patterns the element actually has.
        std::string pattern;
        xml.GetAttribute(cond, StrPrintf("version%ld", i), pattern);
        if (PatternMatches(pattern, it->second)) {
            return true;
        }
    }
    return false;
}

bool RuleApplies(const CXmlUI& xml, const XmlNode* rule,
                 const std::map<std::string, std::string>& report) {
    auto plat = report.find("plat");
    if (!PatternMatches(Attr(xml, rule, "name"), plat == report.end() ? "" : plat->second)) {
        return false;
    }
    for (const auto& cond : xml.Children(rule)) {
        if (cond->kind != XmlNode::Element || Attr(xml, cond.get(), "name").empty()) {
            continue;
        }
        if (!ConditionHolds(xml, cond.get(), report)) {
            return false;
        }
    }
    return true;
}

std::string TrimEnds(const std::string& s) {
    const char* kEnds = " \t\r\n";
    const size_t b = s.find_first_not_of(kEnds);
    if (b == std::string::npos) {
        return {};
    }
    return s.substr(b, s.find_last_not_of(kEnds) - b + 1);
}

}  // namespace

bool SameVersion(const std::string& gatewayVersion, const std::string& packageVersion) {
    const std::string a = TrimEnds(NormalizeVendorName(gatewayVersion));
    const std::string b = TrimEnds(NormalizeVendorName(packageVersion));
    return !a.empty() && a == b;
}


VersionClass ClassifyVersion(const std::string& version) {
    const std::string lower = AsciiLower(version);
    const VersionTagTable& t = ProductTagTable();
    return {Apply(t.layoutRules, t.layoutCount, t.layoutFallback, lower),
            Apply(t.productRules, t.productCount, t.productFallback, lower)};
}

std::map<std::string, std::string> ParseVersionReport(const std::string& report) {
    std::string text;
    for (char c : report) {
        if (c != '\r') {
            text.push_back(c == '\t' ? ' ' : c);
        }
    }
    std::map<std::string, std::string> out;
    size_t start = 0;
    bool first = true;
    while (start <= text.size()) {
        size_t nl = text.find('\n', start);
        std::string line =
            text.substr(start, nl == std::string::npos ? std::string::npos : nl - start);
        if (first) {
            out["plat"] = TrimBlanks(line);
            first = false;
        } else if (!line.empty()) {
            size_t sp = line.find(' ');
            std::string key = line.substr(0, sp);
            key.erase(std::remove(key.begin(), key.end(), ' '), key.end());
            std::string value =
                sp == std::string::npos ? std::string() : TrimBlanks(line.substr(sp + 1));
            if (!key.empty() && !value.empty()) {
                out.emplace(key, value);
            }
        }
        if (nl == std::string::npos) {
            break;
        }
        start = nl + 1;
    }
    return out;
}

namespace {

// std::regex backtracks: a quantifier stacked on a quantifier, or a quantified group that itself
// holds a quantifier or an alternative, can take exponential time on a short text. Rule files
// come inside packages, so such patterns (and overlong ones) are refused instead of run.
constexpr std::size_t kMaxPatternLength = 256;
constexpr std::size_t kMaxMatchedText = 1024;

bool IsQuantifier(char c) { return c == '*' || c == '+' || c == '?' || c == '{'; }

bool IsSafePattern(const std::string& p) {
    if (p.size() > kMaxPatternLength) {
        return false;
    }
    std::vector<bool> groupRisky;  // per open group: holds a quantifier or an alternative
    bool afterQuantifier = false;  // the previous token was a quantifier
    bool lazyTaken = false;        // a single '?' after a quantifier (lazy) was seen
    bool afterRiskyGroup = false;  // the previous token closed a risky group
    for (std::size_t i = 0; i < p.size(); ++i) {
        const char c = p[i];
        if (IsQuantifier(c)) {
            if (afterQuantifier) {
                if (c != '?' || lazyTaken) {
                    return false;
                }
                lazyTaken = true;
                continue;
            }
            if (afterRiskyGroup) {
                return false;
            }
            if (c == '{') {
                const std::size_t close = p.find('}', i);
                if (close == std::string::npos) {
                    return false;
                }
                i = close;
            }
            if (!groupRisky.empty()) {
                groupRisky.back() = true;
            }
            afterQuantifier = true;
            lazyTaken = false;
            afterRiskyGroup = false;
            continue;
        }
        afterQuantifier = false;
        afterRiskyGroup = false;
        if (c == '\\') {
            ++i;
        } else if (c == '[') {
            // A bracket class, POSIX classes such as [:digit:] included; a ']' right after the
            // opening (or after '^') is a literal.
            std::size_t j = i + 1;
            if (j < p.size() && p[j] == '^') ++j;
            if (j < p.size() && p[j] == ']') ++j;
            while (j < p.size() && p[j] != ']') {
                if (p[j] == '[' && j + 1 < p.size() && p[j + 1] == ':') {
                    const std::size_t end = p.find(":]", j + 2);
                    if (end == std::string::npos) {
                        return false;
                    }
                    j = end + 2;
                } else {
                    j += p[j] == '\\' ? 2 : 1;
                }
            }
            if (j >= p.size()) {
                return false;
            }
            i = j;
        } else if (c == '(') {
            groupRisky.push_back(false);
        } else if (c == ')') {
            if (groupRisky.empty()) {
                return false;
            }
            afterRiskyGroup = groupRisky.back();
            groupRisky.pop_back();
            if (afterRiskyGroup && !groupRisky.empty()) {
                groupRisky.back() = true;
            }
        } else if (c == '|' && !groupRisky.empty()) {
            groupRisky.back() = true;
        }
    }
    return true;
}

}  // namespace

bool PatternMatches(const std::string& pattern, const std::string& text) {
    if (!IsSafePattern(pattern) || text.size() > kMaxMatchedText) {
        return false;
    }
    try {
        std::regex re(pattern, std::regex::ECMAScript);
        return std::regex_search(text, re);
    } catch (const std::exception&) {
        return false;
    }
}

bool EvaluateUpdateRules(const CXmlUI& rules, const std::string& report) {
    const auto values = ParseVersionReport(report);
    const XmlNode* root = rules.FindElement("filecontent");
    if (!root) {
        return false;
    }
    for (const char* wanted : {"notsupport", "support"}) {
        for (const auto& rule : rules.Children(root)) {
            if (rule->kind != XmlNode::Element || Attr(rules, rule.get(), "name").empty()) {
                continue;
            }
            if (Attr(rules, rule.get(), "checktype") == wanted &&
                RuleApplies(rules, rule.get(), values)) {
                return std::string(wanted) == "support";
            }
        }
    }
    return false;
}

bool UpdateFromCurrentVersionAllowed(const std::string& report, const std::string& folder) {
    const std::string path = WorkPath("updversion", folder).string();
    if (FILE* f = std::fopen(path.c_str(), "r")) {
        std::fclose(f);
    } else {
        return true;
    }
    CXmlUI xml;
    if (xml.Load(path) != 0) {
        return false;
    }
    return EvaluateUpdateRules(xml, report);
}

}  // namespace vorn
