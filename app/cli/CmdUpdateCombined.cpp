#include "app/cli/CmdUpdateCombined.h"

#include <filesystem>

#include "app/cli/CliRun.h"
#include "lib/ResultTokens.h"
#include "lib/StringTable.h"
#include "lib/Text.h"
#include "operations/CUpdateEvents.h"
#include "packages/CombinedPackage.h"

namespace vorn::cli {
namespace {

// The whole update may take long; it is given up only when nothing at all moves (no byte on
// the link, no member started, no event) for this long.
constexpr int kUpdateSilenceMs = 300000;

}  // namespace

int RunCombinedUpdate(const CliArgs& args, CliEnvironment& env) {
    const std::string path = std::filesystem::absolute(args.positional[0]).string();
    CliRun run(args, env);
    if (args.Has("pre-check") || args.Has("verify")) {
        return run.Usage("--pre-check and --verify apply to single packages (.ssu)");
    }
    if (int rc = run.Prepare()) {
        return rc;
    }
    if (int rc = run.Login()) {
        return run.Finish(rc);
    }
    CMainFrame& frame = run.Frame();
    CliOperator& op = run.Op();

    // The plan has been listed on the console by the load; the tips dialog is the confirmation.
    op.SetTipsQuestion(true);

    bool succeeded = false;
    bool failed = false;
    int lastActivity = 0;
    op.SetUpdateObserver([&](int code, const std::string& text) {
        ++lastActivity;
        if (code == kUpdateMember && HasToken(text, kTokenCompose)) {
            // "Updating N/M. Please wait..." as the wizard's status line.
            const int member = std::atoi(text.c_str() + kTokenCompose.size());
            op.AppendConsole(
                UpdatingMemberText(std::to_string(member), frame.Package().m_combinedTotal) + "\n",
                kBlue);
        } else if (code == kUpdateFinal) {
            if (text == kTokenSucceedEnd) {
                succeeded = true;
            } else if (HasToken(text, "FAILED") || HasToken(text, kTokenAbort)) {
                failed = true;
            }
        }
    });

    if (!frame.LoadLocalPackage(path)) {
        return run.Finish(kExitFailed);
    }
    std::uint64_t moved = 0;
    int seen = lastActivity;
    QElapsedTimer quiet;
    quiet.start();
    for (;;) {
        const bool idle =
            !frame.CombinedUpdateRunning() && frame.SessionState == 0 && frame.LoaderIdle();
        if (idle && (succeeded || failed)) {
            break;
        }
        if (idle && !frame.Connected && quiet.elapsed() > 2000) {
            failed = true;  // the link went away before the update could finish
            break;
        }
        const std::uint64_t now = frame.BytesSent() + frame.BytesReceived();
        if (now != moved || seen != lastActivity) {
            moved = now;
            seen = lastActivity;
            quiet.restart();
        } else if (quiet.elapsed() > kUpdateSilenceMs) {
            op.Note("vornupdater: the update stopped making progress", true);
            failed = true;
            break;
        }
        PumpEvents(20);
    }
    return run.Finish(succeeded && !failed ? kExitOk : kExitFailed);
}

}  // namespace vorn::cli
