#include "app/cli/CliUpdateCommands.h"

#include <QElapsedTimer>

#include <sys/stat.h>

#include <filesystem>
#include <optional>

#include "app/OptionsFile.h"
#include "app/cli/CliRun.h"
#include "app/cli/CliWizardView.h"
#include "app/cli/CmdUpdateCombined.h"
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

// After the restart: log in again until the gateway answers, then compare its version.
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
            return kExitFailed;
        }
        RunUntil([] { return false; }, 1000);  // a second between the tries
        if (run.Login() == kExitOk)
            break;
    }
    const std::string now = NormalizeVendorName(run.Frame().DeviceVersion());
    const std::string want = NormalizeVendorName(expected);
    if (now != want) {
        op.Note("vornupdater: after the update the gateway reports version '" + now +
                    "', expected '" + want + "'",
                true);
        return kExitFailed;
    }
    op.Note("Verified: the gateway now reports version " + now, false);
    return kExitOk;
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

int LoginForCommand(CliRun& run) {
    if (int rc = run.Prepare()) {
        return rc;
    }
    if (int rc = LoadArchiveComponent(run)) {
        return run.Finish(rc);
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
    CliRun run(args, env);
    int rebootTimeout = kDefaultRebootTimeoutS;
    if (args.values.count("reboot-timeout") &&
        !ParseCount(args.Value("reboot-timeout"), rebootTimeout)) {
        return run.Usage("--reboot-timeout takes a number of seconds");
    }
    if (int rc = LoginForCommand(run)) {
        return rc;
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
    if (!ok) {
        return run.Finish(kExitFailed);
    }
    if (args.Has("verify")) {
        return run.Finish(VerifyVersion(run, frame.Package().m_packageVersion, rebootTimeout));
    }
    return run.Finish(kExitOk);
}

int CmdCheck(const CliArgs& args, CliEnvironment& env) {
    CliRun run(args, env);
    if (int rc = LoginForCommand(run)) {
        return rc;
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
    const bool ended = WaitForUpdate(run, [&] {
        return (events.CheckFinished() && frame.SessionState == 0 && frame.LoaderIdle()) ||
               !frame.Connected;
    });
    run.Op().SetUpdateEvents(nullptr);
    return run.Finish(ended && events.CheckPassed() ? kExitOk : kExitFailed);
}

int CmdBackup(const CliArgs& args, CliEnvironment& env) {
    CliRun run(args, env);
    if (int rc = LoginForCommand(run)) {
        return rc;
    }
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
    return run.Finish(ok ? kExitOk : kExitFailed);
}

int CmdRestore(const CliArgs& args, CliEnvironment& env) {
    CliRun run(args, env);
    if (int rc = LoginForCommand(run)) {
        return rc;
    }
    run.Op().SetOpenFile(std::filesystem::absolute(args.positional[0]).string());
    if (!run.Frame().RestoreBackup()) {
        return run.Finish(kExitFailed);
    }
    const bool ended = run.WaitProcedure();
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
          {"reboot-timeout", 0, true, "SECONDS", "how long --verify waits for the gateway (300)"}},
         1,
         1,
         true,
         &CmdUpdate},
        {"check",
         "PACKAGE",
         "run the pre-upgrade check of a package on the gateway",
         {},
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
         {},
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
