#include "app/cli/CmdDiscover.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>

#include "app/cli/CliOperator.h"
#include "app/cli/CliRun.h"
#include "lib/StringTable.h"
#include "lib/Text.h"

namespace vorn::cli {
namespace {

constexpr int kMaxTimeoutMs = 600000;
// How long past its own timer the search may take before the command gives up waiting.
constexpr int kTimerSlackMs = 5000;

struct FinishedListener : CWizardSearch::Listener {
    bool finished = false;
    std::vector<std::uint32_t> sorted;
    void OnSearchFinished(const std::vector<std::uint32_t>& s) override {
        sorted = s;
        finished = true;
    }
};

}  // namespace

int RunDiscover(CWizardSearch& search, CliOperator& op, bool json, int timeoutMs,
                CliEnvironment& env) {
    FinishedListener listener;
    search.SetListener(&listener);
    if (!search.Open()) {
        search.SetListener(nullptr);
        env.err << "vornupdater discover: cannot create the search socket\n";
        op.Exit(kExitFailed);
        return kExitFailed;
    }
    if (!json) {
        op.AppendConsole(LoadStr(6453), kBlack);
    }
    search.SetSearchTime(timeoutMs);
    search.Start();
    QElapsedTimer t;
    t.start();
    while (!listener.finished && t.elapsed() < timeoutMs + kTimerSlackMs) {
        PumpEvents(20);
    }
    search.SetListener(nullptr);

    int position = 0;
    if (json) {
        for (const std::uint32_t address : listener.sorted) {
            QJsonObject o;
            o["type"] = "gateway";
            o["index"] = ++position;
            o["address"] = QString::fromStdString(DottedAddress(address));
            env.out << QJsonDocument(o).toJson(QJsonDocument::Compact).toStdString() << "\n";
        }
    } else if (listener.sorted.empty()) {
        op.AppendConsole(LoadStr(6499), kBlack);
    } else {
        std::string lines;
        for (const std::uint32_t address : listener.sorted) {
            lines += StrPrintf("Gateway(%d) Ip ------- %s\n", ++position,
                               DottedAddress(address).c_str());
        }
        op.AppendConsole(lines, kBlue);
        op.AppendConsole(FormatStr(6498, static_cast<int>(listener.sorted.size())), kBlack);
    }
    op.Exit(kExitOk);
    return kExitOk;
}

int CmdDiscover(const CliArgs& args, CliEnvironment& env) {
    int timeoutMs = kSearchTimeMs;
    if (args.values.count("timeout-ms") && (!ParseCount(args.Value("timeout-ms"), timeoutMs) ||
                                            timeoutMs < 1 || timeoutMs > kMaxTimeoutMs)) {
        env.err << "vornupdater discover: --timeout-ms takes 1 to " << kMaxTimeoutMs << "\n";
        return kExitUsage;
    }
    const bool json = args.Has("json");
    CliOperator op(env.out, {json, env.outIsTerminal && !json}, env.terminal);
    CWizardSearch search(&op);
    return RunDiscover(search, op, json, timeoutMs, env);
}

}  // namespace vorn::cli
