#include "app/cli/CmdUpdateCombined.h"

#include <filesystem>

#include "app/cli/CliRun.h"
#include "app/cli/CliWizardView.h"
#include "app/cli/UpdateOutcome.h"
#include "operations/CUpdateEvents.h"
#include "packages/ZipBridgeLoader.h"

namespace vorn::cli {

int RunCombinedUpdate(const CliArgs& args, CliEnvironment& env) {
    const std::string path = std::filesystem::absolute(args.positional[0]).string();
    CliRun run(args, env);
    if (args.Has("pre-check")) {
        return run.Usage("--pre-check applies to single packages (.ssu)");
    }
    int rebootTimeout = 300;
    if (args.values.count("reboot-timeout") &&
        !ParseCount(args.Value("reboot-timeout"), rebootTimeout)) {
        return run.Usage("--reboot-timeout takes a number of seconds");
    }
    StartUpdateResult(run, path, true);
    run.ShowTransferRate();
    if (int rc = run.Prepare()) {
        return rc;
    }
    PackageTarget target;
    if (int rc = UseUnpackedPackage(run, args, path)) {
        return rc;
    }
    if (args.Has("skip-current")) {
        std::string error;
        if (!LoadZipBridge(error)) {
            run.Op().Note("vornupdater: " + error, true);
            run.Op().Exit(kExitStartup);
            return kExitStartup;
        }
        if (int rc = ReadTargetBeforeLogin(run, path, target)) {
            return rc;
        }
    }
    if (int rc = run.Login()) {
        return run.Finish(rc);
    }
    if (args.Has("skip-current") && GatewayIsCurrent(run, target)) {
        return run.Finish(kExitOk);
    }
    CMainFrame& frame = run.Frame();
    // The same page state as the single update: the plan is listed by the load, the tips are
    // confirmed through the update page's confirmation, members report "COMPOSE:n".
    CCliWizardView view(run);
    CUpdateEvents events(frame, view);
    run.Op().SetUpdateEvents(&events);
    events.BeginUpdate();
    if (!frame.LoadLocalPackage(path)) {
        run.Op().SetUpdateEvents(nullptr);
        return run.Finish(kExitFailed);
    }
    // A member's own "FAILED:" ends the page's update before the driver stops; the run ends
    // when the driver has stopped too, or when the link is gone for good.
    const bool ended = WaitForUpdate(run, [&] {
        return (events.Finished() || !frame.Connected) && !frame.CombinedUpdateRunning() &&
               frame.SessionState == 0 && frame.LoaderIdle();
    });
    run.Op().SetUpdateEvents(nullptr);
    const bool ok = ended && events.Result() == CUpdateEvents::Outcome::Succeeded;
    return FinishUpdate(run, ok, view, args.Has("verify"), rebootTimeout);
}

}  // namespace vorn::cli
