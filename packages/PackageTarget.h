#pragma once
// What a package leaves on a gateway, read without a gateway: its kind and the version the
// gateway reports once the package is installed. Callers that want to skip a gateway which is
// already current (the update's and the fleet's --skip-current, the check's "current" field)
// read it here and compare with SameVersion.
#include <string>

#include "packages/ArchiveAccess.h"

namespace vorn {

struct PackageTarget {
    PackageKind kind = PackageKind::Single;
    // Single: the package's version. Combined: the version of the last package its plan
    // installs (the one the gateway reports at the end); empty when the plan installs none.
    std::string version;
    bool needRestart = false;  // the package (or any member package) restarts the gateway
};

// Checks and reads the package through the working folders "tmp", "unpkg" and
// "compose_unpkg" (which every load clears before use); shows nothing. False with a reason in
// `error` when the package is invalid.
bool ReadPackageTarget(const std::string& path, PackageTarget& target, std::string& error);

}  // namespace vorn
