#include "app/cli/UpdateOutcome.h"

#include <QElapsedTimer>

#include <filesystem>

#include "app/cli/CliWizardView.h"
#include "packages/PreparedPackage.h"
#include "packages/VersionRules.h"

namespace vorn::cli {

void StartUpdateResult(CliRun& run, const std::string& path, bool combined) {
    CliOperator& op = run.Op();
    op.SetResult("package", JsonText(path));
    op.SetResult("kind", combined ? "combined" : "single");
    op.SetResult("package_version", QJsonValue::Null);
    op.SetResult("current", QJsonValue::Null);
    op.SetResult("skipped", false);
    op.SetResult("changed", false);
    op.SetResult("version_after", QJsonValue::Null);
    op.SetResult("version_after_read", false);
    op.SetResult("backup_file", QJsonValue::Null);
    op.SetResult("restart", false);
}

int ReadTargetBeforeLogin(CliRun& run, const std::string& path, PackageTarget& target) {
    std::string error;
    if (!ReadPackageTarget(path, target, error)) {
        run.Op().Note("vornupdater: invalid package: " + error, true);
        run.Op().Exit(kExitFailed);
        return kExitFailed;
    }
    run.Op().SetResult("package_version", JsonText(target.version));
    return 0;
}

int UseUnpackedPackage(CliRun& run, const CliArgs& args, const std::string& path) {
    if (!args.values.count("unpacked"))
        return 0;
    std::string error;
    if (!UsePreparedPackage(path, args.Value("unpacked"), error)) {
        run.Op().Note("vornupdater: " + error, true);
        run.Op().Exit(kExitFailed);
        return kExitFailed;
    }
    return 0;
}

bool GatewayIsCurrent(CliRun& run, const PackageTarget& target) {
    const bool current = SameVersion(run.Frame().DeviceVersion(), target.version);
    run.Op().SetResult("current", current);
    if (current) {
        run.Op().Note("The gateway already reports version " + target.version +
                          "; nothing to install",
                      false);
        run.Op().SetResult("skipped", true);
        run.Op().SetResult("version_after", JsonText(run.Frame().DeviceVersion()));
        run.Op().SetResult("version_after_read", true);
    }
    return current;
}

int VerifyVersion(CliRun& run, const std::string& expected, int timeoutS) {
    CliOperator& op = run.Op();
    op.Note("Waiting for the gateway to come back (up to " + std::to_string(timeoutS) + " s)...",
            false);
    QElapsedTimer t;
    t.start();
    while (!run.Frame().Connected) {
        if (t.elapsed() > static_cast<qint64>(timeoutS) * 1000) {
            op.Note("vornupdater: the gateway did not come back within " +
                        std::to_string(timeoutS) + " s; its version could not be checked",
                    true);
            op.SetResult("version_after", QJsonValue::Null);
            return kExitFailed;
        }
        RunUntil([] { return false; }, 1000);  // a second between the tries
        if (run.Login() == kExitOk)
            break;
    }
    const std::string now = NormalizeVendorName(run.Frame().DeviceVersion());
    const std::string want = NormalizeVendorName(expected);
    op.SetResult("version_after", JsonText(now));
    op.SetResult("version_after_read", true);
    if (!SameVersion(now, want)) {
        op.Note("vornupdater: after the update the gateway reports version '" + now +
                    "', expected '" + want + "'",
                true);
        return kExitFailed;
    }
    op.Note("Verified: the gateway now reports version " + now, false);
    return kExitOk;
}

void ReportUpdate(CliRun& run, bool ok, bool changed, bool confirmed) {
    CliOperator& op = run.Op();
    const CMainFrame& frame = run.Frame();
    if (!ok && !confirmed && op.Failures().empty()) {
        op.Note("vornupdater: the update was not confirmed (--yes confirms it)", true);
    }
    op.SetResult("changed", changed);
    op.SetResult("restart", frame.Package().m_needRestart != 0);
    // The automatic backup of a "switch_" package, when it was written in this run.
    std::error_code ec;
    if (!frame.m_backupPath.empty() && std::filesystem::is_regular_file(frame.m_backupPath, ec)) {
        op.SetResult("backup_file", JsonText(frame.m_backupPath));
    }
    // The package's version (for a combined package the last member installed), until a
    // read-back replaces it.
    if (ok && !frame.Package().m_packageVersion.empty()) {
        op.SetResult("version_after", JsonText(frame.Package().m_packageVersion));
    }
    if (ok && op.Result().value("package_version").isNull()) {
        op.SetResult("package_version", JsonText(frame.Package().m_packageVersion));
    }
}

int FinishUpdate(CliRun& run, bool ok, const CCliWizardView& view, bool verify,
                 int rebootTimeoutS) {
    ReportUpdate(run, ok, view.SentAfterConfirm(), view.Confirmed());
    if (!ok) {
        return run.Finish(kExitFailed);
    }
    if (verify) {
        return run.Finish(
            VerifyVersion(run, run.Frame().Package().m_packageVersion, rebootTimeoutS));
    }
    return run.Finish(kExitOk);
}

}  // namespace vorn::cli
