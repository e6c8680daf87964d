// mkpkg: builds update packages and configuration backups for release engineering and tests.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/mkpkg/PackageWriter.h"

namespace {

const char kUsage[] =
    "Usage: mkpkg [--password PW] FOLDER OUTPUT\n"
    "       mkpkg [--password PW] --plan PLAN OUTPUT.cssu\n"
    "\n"
    "Builds a package from the files of FOLDER; the kind follows OUTPUT's extension:\n"
    "  .ssu   single update package (MD5 flag + encrypted zip)\n"
    "  .cssu  combined update package (48-byte header + encrypted zip)\n"
    "  .bcf   configuration backup (\"cfgversion\" and \"cfgbk\"; fixed comment and password)\n"
    "With --plan, PLAN is stored as \"upgrade.conf\" with the files it names (taken from the\n"
    "plan's folder) and \"readme.txt\"/\"package.conf\" when they lie beside it.\n"
    "--password sets the member password of .ssu/.cssu (default: the current package password).\n";

}  // namespace

int main(int argc, char** argv) {
    std::string password, plan;
    std::vector<std::string> rest;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if ((a == "--password" || a == "--plan") && i + 1 < argc) {
            (a == "--password" ? password : plan) = argv[++i];
        } else if (!a.empty() && a[0] == '-') {
            std::fprintf(stderr, "mkpkg: unknown option '%s'\n%s", a.c_str(), kUsage);
            return 2;
        } else {
            rest.push_back(a);
        }
    }
    if (rest.size() != (plan.empty() ? 2u : 1u)) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    std::string error;
    bool ok = plan.empty() ? vorn::BuildPackage(rest[0], rest[1], password, error)
                           : vorn::BuildCombinedFromPlan(plan, rest[0], password, error);
    if (!ok) {
        std::fprintf(stderr, "mkpkg: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s\n", (plan.empty() ? rest[1] : rest[0]).c_str());
    return 0;
}
