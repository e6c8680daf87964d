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

// The equality of a gateway's version and a package's version, the one rule for "this gateway
// already runs this package" (the update's --verify and --skip-current, the fleet, the
// check's "current" field): both vendor-name normalised, blanks, tabs and carriage returns at
// either end ignored, the rest compared exactly (letter case included). An empty version
// never equals anything: a gateway with damaged firmware is never current.
bool SameVersion(const std::string& gatewayVersion, const std::string& packageVersion);

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
