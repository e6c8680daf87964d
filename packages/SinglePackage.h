#pragma once
// Single update packages (".ssu"): loading from the user's path, the local package store
// ("curpkg" holds the package in use, "oldpkg" the three before it), extraction into "unpkg",
// and the checks of a package against the connected gateway.
#include <string>

#include "lib/Operator.h"
#include "packages/ArchiveAccess.h"
#include "packages/CPackageHost.h"
#include "packages/PackageState.h"

namespace vorn {

// The user's load of a package; takes the combined branch for a file with the combined header.
bool LoadLocalPackage(PackageState& state, Operator& op, CPackageHost& host,
                      const std::string& path);
// Steps shared by both branches after a successful load: the tips dialog, the busy check,
// "SUCCEED:" and the update timer.
bool FinishLocalLoad(PackageState& state, Operator& op, CPackageHost& host);
// Envelope check, member extraction and version reading.
bool LoadPackageFromPath(PackageState& state, Operator& op, const std::string& path,
                         PackageKind kind);

struct StoreResult {
    std::string previous;  // file name of the package that was in "curpkg" before
    int error = 0;         // system error number; 0 on success
    std::string errorText;
};
StoreResult StorePackage(const std::string& selectedPath);
void PruneOldPackages();

// Extracts the package in "curpkg" into "unpkg" and reads its version texts.
bool LoadCurrentSinglePackage(PackageState& state, Operator& op, bool combinedUpdateRunning,
                              std::string& appVersion, std::string& cfgVersion,
                              std::string& fileName);
// StorePackage then LoadCurrentSinglePackage; a package that does not parse is rolled back.
bool LoadSinglePackageForUpdate(PackageState& state, Operator& op, CPackageHost& host,
                                const std::string& path, const std::string& fileName);

// "needrestart" of "package.conf" in "unpkg" through the profile-string reader.
bool PackageNeedsRestart();
// Shows "readme.txt" of "unpkg" (single) or "compose_unpkg" (combined) and adds it to the tips.
void ShowUpdateTips(PackageState& state, Operator& op, PackageKind kind);

// The checks before an update: layout of package and gateway (skipped for "ignore-plat"
// packages), then the "updversion" rules. A refusal is shown, sent to the update page with
// "FAILED:" and answers false.
bool CheckPackageForDevice(PackageState& state, Operator& op, CPackageHost& host);

// First line of a version member: up to 2048 bytes, cut at the first line feed when it is not
// the first character. false when the file cannot be opened.
bool ReadVersionMember(const std::string& path, bool trimLeading, std::string& version);

}  // namespace vorn
