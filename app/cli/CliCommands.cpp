#include "app/cli/CliCommands.h"

#include "app/cli/CliOperator.h"
#include "app/cli/CliRun.h"
#include "app/cli/UpdateOutcome.h"
#include "lib/StringTable.h"
#include "packages/CombinedPackage.h"
#include "packages/VersionRules.h"
#include "packages/ZipBridgeLoader.h"

#include <filesystem>

namespace vorn::cli {
namespace {

// Logs in and unlocks the console: 0 or an exit status.
int OpenConsole(CliRun& run, const CliArgs& args, CliEnvironment& env) {
    if (args.values.count("console-password-file")) {
        std::string error;
        std::optional<std::string> pw = ReadFirstLine(args.Value("console-password-file"), error);
        if (!pw) {
            return run.Usage(error);
        }
        run.Op().SetSecretAnswer(*pw);
    } else if (!env.terminal.Available()) {
        return run.Usage("no console password: use --console-password-file FILE or a terminal");
    }
    if (int rc = run.Prepare()) {
        return rc;
    }
    if (int rc = run.Login()) {
        return run.Finish(rc);
    }
    if (!run.Frame().CommandConsole()) {
        return run.Finish(kExitFailed);
    }
    return 0;
}

int RunConsoleProcedure(CliRun& run, bool started) {
    if (!started) {
        return run.Finish(kExitFailed);
    }
    const bool ended = run.WaitProcedure();
    const bool ok = ended && run.Frame().LastConsoleOk() && run.Frame().Connected;
    return run.Finish(ok ? kExitOk : kExitFailed);
}

}  // namespace

int CmdConnect(const CliArgs& args, CliEnvironment& env) {
    CliRun run(args, env);
    if (int rc = run.Prepare()) {
        return rc;
    }
    // --package PACKAGE: also say whether the gateway already runs it (nothing more is sent).
    const bool withPackage = args.values.count("package") != 0;
    PackageTarget target;
    if (withPackage) {
        const std::string path = std::filesystem::absolute(args.Value("package")).string();
        std::string error;
        if (!LoadZipBridge(error)) {
            run.Op().Note("vornupdater: " + error, true);
            run.Op().Exit(kExitStartup);
            return kExitStartup;
        }
        run.Op().SetResult("package", JsonText(path));
        run.Op().SetResult("kind", IsCombinedPackage(path) ? "combined" : "single");
        if (int rc = ReadTargetBeforeLogin(run, path, target)) {
            return rc;
        }
    }
    if (int rc = run.Login()) {
        return run.Finish(rc);
    }
    if (withPackage) {
        const bool current = SameVersion(run.Frame().DeviceVersion(), target.version);
        run.Op().SetResult("current", current);
        run.Op().Note(current ? "The gateway already reports the package's version " +
                                    target.version
                              : "The package installs version " + target.version,
                      false);
    }
    // "text" and "protocol" as before; the login's fields beside them.
    QJsonObject version = GatewayFields(run.Frame());
    version.insert("text", JsonText(run.Frame().DeviceVersion()));
    run.Op().Event("version", version);
    for (const QString& key : version.keys()) {
        if (key != "text")
            run.Op().SetResult(key.toUtf8().constData(), version.value(key));
    }
    return run.Finish(kExitOk);
}

int CmdPasswd(const CliArgs& args, CliEnvironment& env) {
    CliRun run(args, env);
    std::string password, confirm;
    if (args.values.count("new-password-file")) {
        std::string error;
        std::optional<std::string> pw = ReadFirstLine(args.Value("new-password-file"), error);
        if (!pw) {
            return run.Usage(error);
        }
        password = confirm = *pw;
    } else if (env.terminal.Available()) {
        password = env.terminal.ReadLine("New Password: ", true).value_or("");
        confirm = env.terminal.ReadLine("Confirm: ", true).value_or("");
    } else {
        return run.Usage("no new password: use --new-password-file FILE or a terminal");
    }
    if (const int refusal = CGatewaySession::CheckNewPassword(password, confirm)) {
        run.Op().AppendConsole(std::string(LoadStr(refusal)) + "\n", kRed);
        run.Op().Exit(kExitFailed);
        return kExitFailed;
    }
    if (int rc = run.Prepare()) {
        return rc;
    }
    if (int rc = run.Login()) {
        return run.Finish(rc);
    }
    run.Frame().ChangePassword(password);
    const bool ended = run.WaitProcedure();
    const bool ok = ended && run.Frame().LastPasswordResult() == 0;
    return run.Finish(ok ? kExitOk : kExitFailed);
}

int CmdPut(const CliArgs& args, CliEnvironment& env) {
    CliRun run(args, env);
    if (int rc = OpenConsole(run, args, env)) {
        return rc;
    }
    run.Op().SetOpenFile(args.positional[0]);
    return RunConsoleProcedure(run, run.Frame().ConsoleUpload(args.positional[1]));
}

int CmdGet(const CliArgs& args, CliEnvironment& env) {
    CliRun run(args, env);
    if (int rc = OpenConsole(run, args, env)) {
        return rc;
    }
    run.Op().SetSaveFile(args.positional[1]);
    return RunConsoleProcedure(run, run.Frame().ConsoleDownload(args.positional[0]));
}

int CmdExec(const CliArgs& args, CliEnvironment& env) {
    CliRun run(args, env);
    if (int rc = OpenConsole(run, args, env)) {
        return rc;
    }
    return RunConsoleProcedure(run, run.Frame().RunConsoleCommand(args.positional[0], true));
}

}  // namespace vorn::cli
