#pragma once
// What the update and check commands report in their "result" event (docs/cli-json.md): the
// package's version, whether the gateway already runs it (--skip-current), the version after
// the restart (read back with --verify, else the package's), the automatic backup.
#include <string>

#include "app/cli/CliRun.h"
#include "packages/PackageTarget.h"

namespace vorn::cli {

// Reads the package's kind and target version before the login (nothing is sent when the
// package is invalid) and puts "package", "kind" and "package_version" into the result. 0 or
// an exit status.
int ReadTargetBeforeLogin(CliRun& run, const std::string& path, PackageTarget& target);

// With --unpacked FOLDER (a fleet run's workers): the package is read as checked and unpacked
// there, not checked and unpacked again. 0 or an exit status (nothing was sent then).
int UseUnpackedPackage(CliRun& run, const CliArgs& args, const std::string& path);

// With --skip-current, after the login: true (the result says "current", "skipped") when the
// gateway already reports the target version by SameVersion, so the command ends here.
bool GatewayIsCurrent(CliRun& run, const PackageTarget& target);

// After the restart: log in again until the gateway answers, then compare its version with
// `expected` by SameVersion. Fills "version_after" and "version_after_read".
int VerifyVersion(CliRun& run, const std::string& expected, int timeoutS);

// The result fields of an update that ran (skipped ones have theirs): "changed", "restart",
// "backup_file" and, unless --verify filled it, "version_after" (the package's version after
// a success, null after a failure). An update that was not confirmed says so.
void ReportUpdate(CliRun& run, bool ok, bool changed, bool confirmed);

// The end of an update that ran, single or combined: ReportUpdate, then with `verify` the
// read-back of the package's version (a combined package's last member's), and Finish.
class CCliWizardView;
int FinishUpdate(CliRun& run, bool ok, const CCliWizardView& view, bool verify,
                 int rebootTimeoutS);

// The result fields every update starts with (overwritten as the run learns more).
void StartUpdateResult(CliRun& run, const std::string& path, bool combined);

}  // namespace vorn::cli
