#pragma once
// Combined update packages (".cssu"): recognition, loading, the plan in "upgrade.conf" and the
// step list that the combined update runs.
#include <string>

#include "lib/Operator.h"
#include "packages/CPackageHost.h"
#include "packages/PackageState.h"

namespace vorn {

// True when a file matching `pattern` (a path, or a path whose file name holds * and ?
// wildcards; empty = "*.cssu" in "compose_pkg") carries the combined header.
bool IsCombinedPackage(const std::string& pattern);
// Full path of the first "*.cssu" in "compose_pkg", or "".
std::string FindStoredCombinedPackage();

// The combined branch of LoadLocalPackage.
bool LoadLocalCombinedPackage(PackageState& state, Operator& op, CPackageHost& host,
                              const std::string& path);
// LoadPackageFromPath for a combined package.
bool LoadCombinedPackageFromPath(PackageState& state, Operator& op, const std::string& path);

// Shows the plan of "upgrade.conf" in "compose_unpkg" and adds it to the tips.
bool ListCombinedPlan(PackageState& state, Operator& op);
// Used by the combined loader thread: extract into "compose_unpkg", store in "compose_pkg".
bool LoadCombinedPackageForUpdate(PackageState& state, Operator& op, const std::string& path,
                                  const std::string& fileName);
// Extracts the stored combined package and builds the step list.
bool PrepareCombinedUpdate(PackageState& state, Operator& op);
// Fills m_combinedSteps from "upgrade.conf"; an entry of missing or unknown type refuses all.
bool ReadCombinedPlan(PackageState& state);
// Starts the single-package loader for a member package of the combined package.
void StartMemberPackageLoad(CPackageHost& host, const std::string& member);

}  // namespace vorn
