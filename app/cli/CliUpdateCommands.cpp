#include "app/cli/CliUpdateCommands.h"

#include <QElapsedTimer>

#include <sys/stat.h>

#include <filesystem>
#include <optional>

#include "app/OptionsFile.h"
#include "app/cli/CliRun.h"
#include "app/cli/CliWizardView.h"
#include "app/cli/CmdUpdateCombined.h"
#include "app/cli/UpdateOutcome.h"
#include "lib/StringTable.h"
#include "lib/WorkFolders.h"
#include "operations/CUpdateEvents.h"
#include "packages/BackupFile.h"
#include "packages/CombinedPackage.h"
#include "packages/VersionRules.h"
#include "packages/ZipBridgeLoader.h"
#include "platform/ProfileString.h"

namespace vorn::cli {
namespace {

constexpr int kDefaultRebootTimeoutS = 300;

int LoadArchiveComponent(CliRun& run) {
    std::string error;
    if (!LoadZipBridge(error)) {
        run.Op().Note("vornupdater: " + error, true);
        return kExitStartup;
    }
    return 0;
}

// Which file a name holds: a replaced file is another inode.
struct FileIdentity {
    dev_t dev;
    ino_t ino;
    bool operator==(const FileIdentity&) const = default;
};

std::optional<FileIdentity> IdentityOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return std::nullopt;
    }
    return FileIdentity{st.st_dev, st.st_ino};
}

// `beforeLogin` runs once the archive component is loaded, before the gateway is contacted.
int LoginForCommand(CliRun& run, const std::function<int()>& beforeLogin = {}) {
    if (int rc = run.Prepare()) {
        return rc;
    }
    if (int rc = LoadArchiveComponent(run)) {
        return run.Finish(rc);
    }
    if (beforeLogin) {
        if (int rc = beforeLogin()) {
            return rc;
        }
    }
    if (int rc = run.Login()) {
        return run.Finish(rc);
    }
    return 0;
}

}  // namespace

int CmdUpdate(const CliArgs& args, CliEnvironment& env) {
    if (IsCombinedPackage(args.positional[0])) {
        return RunCombinedUpdate(args, env);
    }
    const std::string path = std::filesystem::absolute(args.positional[0]).string();
    CliRun run(args, env);
    int rebootTimeout = kDefaultRebootTimeoutS;
    if (args.values.count("reboot-timeout") &&
        !ParseCount(args.Value("reboot-timeout"), rebootTimeout)) {
        return run.Usage("--reboot-timeout takes a number of seconds");
    }
    StartUpdateResult(run, path, false);
    const bool skipCurrent = args.Has("skip-current");
    PackageTarget target;
    if (int rc = LoginForCommand(run, [&] {
            return skipCurrent ? ReadTargetBeforeLogin(run, path, target) : 0;
        })) {
        return rc;
    }
    if (skipCurrent && GatewayIsCurrent(run, target)) {
        return run.Finish(kExitOk);
    }
    CMainFrame& frame = run.Frame();
    CCliWizardView view(run);
    CUpdateEvents events(frame, view);
    run.Op().SetUpdateEvents(&events);
    events.SetPreCheckMode(args.Has("pre-check"));
    frame.SetAutoBackupLimit(AutoBackupLimit());
    events.BeginUpdate();
    if (!frame.LoadLocalPackage(args.positional[0])) {
        run.Op().SetUpdateEvents(nullptr);
        return run.Finish(kExitFailed);
    }
    const bool ended = WaitForUpdate(
        run, [&] { return events.Finished() && frame.SessionState == 0 && frame.LoaderIdle(); });
    run.Op().SetUpdateEvents(nullptr);
    const bool ok = ended && events.Result() == CUpdateEvents::Outcome::Succeeded;
    return FinishUpdate(run, ok, view, args.Has("verify"), rebootTimeout);
}

int CmdCheck(const CliArgs& args, CliEnvironment& env) {
    const std::string path = std::filesystem::absolute(args.positional[0]).string();
    CliRun run(args, env);
    const bool combined = IsCombinedPackage(path);
    run.Op().SetResult("package", JsonText(path));
    run.Op().SetResult("kind", combined ? "combined" : "single");
    run.Op().SetResult("package_version", QJsonValue::Null);
    run.Op().SetResult("current", QJsonValue::Null);
    run.Op().SetResult("check_run", false);
    run.Op().SetResult("passed", QJsonValue::Null);
    // A combined package has no pre-upgrade check: the check compares the versions only.
    const bool skipCurrent = args.Has("skip-current") || combined;
    PackageTarget target;
    if (int rc = LoginForCommand(run, [&] {
            return skipCurrent ? ReadTargetBeforeLogin(run, path, target) : 0;
        })) {
        return rc;
    }
    if (skipCurrent && GatewayIsCurrent(run, target)) {
        return run.Finish(kExitOk);
    }
    if (combined) {
        run.Op().Note("A combined package has no pre-upgrade check; the gateway reports " +
                          run.VersionBefore() + ", the package installs " + target.version,
                      false);
        return run.Finish(kExitOk);
    }
    CMainFrame& frame = run.Frame();
    CCliWizardView view(run);
    CUpdateEvents events(frame, view);
    run.Op().SetUpdateEvents(&events);
    events.BeginCheck();
    frame.SetLoadForCheckOnly(true);
    if (!frame.LoadLocalPackage(args.positional[0])) {
        run.Op().SetUpdateEvents(nullptr);
        return run.Finish(kExitFailed);
    }
    run.Op().SetResult("package_version", JsonText(frame.Package().m_packageVersion));
    const bool ended = WaitForUpdate(run, [&] {
        return (events.CheckFinished() && frame.SessionState == 0 && frame.LoaderIdle()) ||
               !frame.Connected;
    });
    run.Op().SetUpdateEvents(nullptr);
    const bool passed = ended && events.CheckPassed();
    run.Op().SetResult("check_run", events.CheckFinished());
    run.Op().SetResult("passed", passed);
    return run.Finish(passed ? kExitOk : kExitFailed);
}

int CmdBackup(const CliArgs& args, CliEnvironment& env) {
    CliRun run(args, env);
    if (int rc = LoginForCommand(run)) {
        return rc;
    }
    run.Op().SetResult("backup_file", QJsonValue::Null);
    // The day's name is made free (an earlier backup of the day stays); a name given with -o
    // is replaced, once the new file is complete.
    const std::string target = args.values.count("output")
                                   ? args.Value("output")
                                   : FreeBackupName(DefaultBackupName(run.Address()));
    const std::string path = std::filesystem::absolute(target).string();
    const std::optional<FileIdentity> before = IdentityOf(path);
    run.Op().SetSaveFile(path);
    if (!run.Frame().BackupConfig()) {
        return run.Finish(kExitFailed);
    }
    const bool ended = run.WaitProcedure();
    // Success is this run's file: the procedure wrote and checked it, and the name now
    // holds a file that was not there before (an older file of that name does not count).
    const std::optional<FileIdentity> after = IdentityOf(path);
    const bool ok = ended && run.Frame().LastProcedureOk() && after && after != before;
    if (ok) {
        run.Op().SetResult("backup_file", JsonText(path));
    }
    return run.Finish(ok ? kExitOk : kExitFailed);
}

int CmdRestore(const CliArgs& args, CliEnvironment& env) {
    const std::string file = std::filesystem::absolute(args.positional[0]).string();
    CliRun run(args, env);
    std::optional<bool> otherVersion;
    if (args.values.count("other-version")) {
        const std::string v = args.Value("other-version");
        if (v != "yes" && v != "no") {
            return run.Usage("--other-version takes yes or no");
        }
        otherVersion = v == "yes";
    }
    run.Op().SetResult("file", JsonText(file));
    run.Op().SetResult("backup_version", QJsonValue::Null);
    run.Op().SetResult("other_version", QJsonValue::Null);
    run.Op().SetResult("changed", false);
    if (int rc = LoginForCommand(run)) {
        return rc;
    }
    // The saved version decides whether the restore asks its version question; with
    // --other-version that question has a fixed answer, whatever --yes says.
    std::string saved;
    if (VerifyBackupFile(file, saved)) {
        run.Op().SetResult("backup_version", JsonText(saved));
        run.Op().SetResult("other_version", saved != run.Frame().DeviceVersion());
        if (otherVersion) {
            run.Op().SetAnswer(FormatStr(6521, saved.c_str()), *otherVersion);
        }
    }
    run.Op().SetOpenFile(file);
    const std::uint64_t sentBefore = run.Frame().BytesSent();
    if (!run.Frame().RestoreBackup()) {
        return run.Finish(kExitFailed);
    }
    const bool ended = run.WaitProcedure();
    run.Op().SetResult("changed", run.Frame().BytesSent() > sentBefore);
    return run.Finish(ended && run.Frame().LastProcedureOk() ? kExitOk : kExitFailed);
}

int CmdFactoryReset(const CliArgs& args, CliEnvironment& env) {
    CliRun run(args, env);
    if (int rc = LoginForCommand(run)) {
        return rc;
    }
    run.Op().SetOpenFile(std::filesystem::absolute(args.positional[0]).string());
    if (!run.Frame().RestoreFactoryDefaults()) {
        return run.Finish(kExitFailed);
    }
    // A reconnect may be pending before the procedure owns the link.
    const bool ended = WaitForUpdate(
        run, [&] { return run.Frame().SessionState == 0 && run.Frame().ConnectReason == 0; });
    return run.Finish(ended && run.Frame().LastProcedureOk() ? kExitOk : kExitFailed);
}

int CmdHistory(const CliArgs& args, CliEnvironment& env) {
    CliRun run(args, env);
    if (args.Has("local") || args.Has("delete-local")) {
        if (args.Has("local") && args.Has("delete-local")) {
            return run.Usage("--local and --delete-local exclude each other");
        }
        if (args.Has("local")) {
            run.Frame().ShowLocalHistory();
        } else {
            run.Frame().DeleteLocalHistory();
        }
        run.Op().Exit(kExitOk);
        return kExitOk;
    }
    if (!args.values.count("gateway")) {
        return run.Usage("the gateway address is required (-g ADDR[:PORT]), or --local");
    }
    if (int rc = run.Prepare()) {
        return rc;
    }
    if (int rc = run.Login()) {
        return run.Finish(rc);
    }
    if (!run.Frame().ShowGatewayHistory()) {
        return run.Finish(kExitFailed);
    }
    const bool ended = run.WaitProcedure();
    return run.Finish(ended && run.Frame().LastConsoleOk() ? kExitOk : kExitFailed);
}

std::vector<CliCommand> UpdateCommands() {
    return {
        {"update",
         "PACKAGE",
         "update the gateway from a single (.ssu) or combined (.cssu) package",
         {{"pre-check", 0, false, nullptr, "run the pre-upgrade check first; a failed check stops"},
          {"verify", 0, false, nullptr,
           "after the restart, log in again and check the gateway's new version"},
          {"reboot-timeout", 0, true, "SECONDS", "how long --verify waits for the gateway (300)"},
          {"skip-current", 0, false, nullptr,
           "do nothing when the gateway already reports the package's version"}},
         1,
         1,
         true,
         &CmdUpdate},
        {"check",
         "PACKAGE",
         "run the pre-upgrade check of a package on the gateway",
         {{"skip-current", 0, false, nullptr,
           "no check when the gateway already reports the package's version"}},
         1,
         1,
         true,
         &CmdCheck},
        {"backup",
         "",
         "back up the gateway's configuration into a .bcf file",
         {{"output", 'o', true, "FILE", "backup file (default kelmora_ADDR_YYYYMMDD.bcf here)"}},
         0,
         0,
         true,
         &CmdBackup},
        {"restore",
         "FILE",
         "restore a configuration backup (.bcf); the gateway restarts",
         {{"other-version", 0, true, "yes|no",
           "answer to restoring a backup saved from another gateway version (else --yes)"}},
         1,
         1,
         true,
         &CmdRestore},
        {"factory-reset",
         "PACKAGE",
         "restore factory defaults from a package; the gateway restarts",
         {},
         1,
         1,
         true,
         &CmdFactoryReset},
        {"history",
         "",
         "show the gateway's update history (or the local one)",
         {{"local", 0, false, nullptr, "show this workstation's update history instead"},
          {"delete-local", 0, false, nullptr, "delete this workstation's update history"}},
         0,
         0,
         false,
         &CmdHistory},
    };
}

}  // namespace vorn::cli
