#pragma once
// Text rules on version texts: vendor-name normalisation, the classification into a script
// layout and a product line, and the "updversion" rules that say from which gateway versions
// a package may be installed.
#include <map>
#include <string>

#include "lib/Text.h"  // NormalizeVendorName

namespace vorn {

class CXmlUI;


struct VersionClass {
    int layoutFlag = 1;   // 1: "/etc" layout, 0: "/var" layout
    int productLine = 0;  // 4 and 5: hard-disk products
    bool operator==(const VersionClass&) const = default;
};
VersionClass ClassifyVersion(const std::string& version);

// The gateway's version report: "plat" = first line; then "key value" lines.
std::map<std::string, std::string> ParseVersionReport(const std::string& report);

// Evaluates loaded rules against a version report ("notsupport" rules first, then "support").
bool EvaluateUpdateRules(const CXmlUI& rules, const std::string& report);
// Reads "updversion" from `folder` (the working folder "unpkg" by default): no file allows
// the update, an unreadable file refuses it.
bool UpdateFromCurrentVersionAllowed(const std::string& report,
                                     const std::string& folder = "unpkg");

// A pattern matches when it matches anywhere in the text (ECMAScript syntax with the POSIX
// bracket classes); a pattern that does not compile matches nothing.
bool PatternMatches(const std::string& pattern, const std::string& text);

}  // namespace vorn
