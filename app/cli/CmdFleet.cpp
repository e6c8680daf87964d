#include "app/cli/CmdFleet.h"

#include <QCoreApplication>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/ioctl.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <map>

#include "app/ConnectRules.h"
#include "app/cli/CliOperator.h"
#include "app/cli/CliRun.h"
#include "app/cli/FleetList.h"
#include "app/cli/FleetMerge.h"
#include "app/cli/FleetOptions.h"
#include "app/cli/FleetReport.h"
#include "app/cli/FleetWorker.h"
#include "lib/Log.h"
#include "packages/CombinedPackage.h"
#include "packages/SinglePackage.h"
#include "platform/ProgramFolder.h"

namespace vorn::cli {
namespace {

namespace fs = std::filesystem;

constexpr int kRedrawMs = 200;

volatile std::sig_atomic_t g_interrupted = 0;
extern "C" void OnInterrupt(int) {
    g_interrupted = 1;
}

// Ctrl-C sets a flag for the run instead of ending the program, while the object lives.
class CInterruptGuard {
public:
    CInterruptGuard() {
        g_interrupted = 0;
        struct sigaction sa {};
        sa.sa_handler = OnInterrupt;
        sigemptyset(&sa.sa_mask);
        ::sigaction(SIGINT, &sa, &m_previous);
    }
    ~CInterruptGuard() { ::sigaction(SIGINT, &m_previous, nullptr); }

private:
    struct sigaction m_previous {};
};

int Usage(CliEnvironment& env, const CliArgs& args, const std::string& error) {
    env.err << "vornupdater fleet: " << error << "\nTry 'vornupdater fleet --help'.\n";
    if (args.Has("json")) {
        env.out << JsonLine("error", error, "", 0) << JsonLine("exit", "", "code", kExitUsage);
    }
    return kExitUsage;
}

ConnectOutcome LoginOutcome(const FleetStatus& s) {
    if (!s.versionBefore.empty())
        return kWizardConnected;
    return s.wrongPassword ? kWizardLoginRefused : kWizardConnectFailed;
}

// Columns and rows of the terminal on the output.
std::pair<int, int> TerminalSize() {
    struct winsize ws {};
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &ws) != 0 || ws.ws_col == 0 || ws.ws_row == 0) {
        return {80, 24};
    }
    return {ws.ws_col, ws.ws_row};
}

bool WriteReport(const std::string& path, const FleetOptions& o, const FleetWorkers& workers,
                 int code, bool interrupted, std::string& error) {
    QJsonArray list;
    for (const auto& w : workers) list.append(FleetOutcomeJson(*w, true));
    QJsonObject report;
    report.insert("action", QString::fromStdString(o.action));
    report.insert("package", QString::fromStdString(o.package));
    report.insert("parallel", o.parallel);
    report.insert("interrupted", interrupted);
    report.insert("exitCode", code);
    report.insert("gateways", list);
    QSaveFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(QJsonDocument(report).toJson(QJsonDocument::Indented)) < 0 || !file.commit()) {
        error = "cannot write the report '" + path + "': " + file.errorString().toStdString();
        return false;
    }
    return true;
}

}  // namespace

int CmdFleet(const CliArgs& args, CliEnvironment& env) {
    FleetOptions o;
    if (std::string error = ReadFleetOptions(args, env, o); !error.empty()) {
        return Usage(env, args, error);
    }
    const bool json = args.Has("json");
    CliOperator op(env.out, {json, env.outIsTerminal && !json}, env.terminal);
    const QString program = QCoreApplication::applicationFilePath();

    // One folder for the run: the package as checked, and a program folder per gateway.
    QTemporaryDir run(QDir::tempPath() + "/vornfleet-XXXXXX");
    if (!run.isValid()) {
        op.Note("vornupdater: cannot create a temporary folder", true);
        op.Exit(kExitFailed);
        return kExitFailed;
    }
    const fs::path runFolder = run.path().toStdString();
    run.setAutoRemove(!args.Has("keep-work"));
    std::string package;
    if (!o.package.empty()) {
        // Every gateway gets these bytes, checked once here.
        std::error_code ec;
        fs::create_directory(runFolder / "package", ec);
        package = (runFolder / "package" / fs::path(o.package).filename()).string();
        if (!fs::copy_file(o.package, package, ec)) {
            op.Note("vornupdater: cannot copy the package: " + ec.message(), true);
            op.Exit(kExitFailed);
            return kExitFailed;
        }
        QProcess inspect;
        inspect.start(program, {"inspect", QString::fromStdString(package)});
        const bool ended = inspect.waitForFinished(300000);
        if (!ended || inspect.exitStatus() != QProcess::NormalExit || inspect.exitCode() != 0) {
            std::string why = inspect.readAllStandardError().trimmed().toStdString();
            op.Note("vornupdater: the package cannot be used; no gateway was contacted" +
                        (why.empty() ? std::string() : "\n" + why),
                    true);
            op.Exit(kExitFailed);
            return kExitFailed;
        }
    }
    if (!o.package.empty() && !IsCombinedPackage(o.package)) {
        // The local package store moves on as with a single update or check.
        if (const StoreResult stored = StorePackage(package); stored.error != 0) {
            LogWrite("storing the package failed: " + stored.errorText, kLogWarn);
        } else {
            PruneOldPackages();
        }
    }
    if (o.action == "update" && !args.Has("yes")) {
        const std::string question = "Install " + fs::path(o.package).filename().string() + " on " +
                                     std::to_string(o.gateways.size()) + " gateways?";
        if (!op.AskYesNo(question)) {
            op.Note("vornupdater: not confirmed; no gateway was contacted (--yes confirms)", true);
            op.Exit(kExitFailed);
            return kExitFailed;
        }
    }

    FleetWorkers workers;
    for (std::size_t i = 0; i < o.gateways.size(); ++i) {
        const fs::path scratch = runFolder / ("g" + std::to_string(i + 1));
        if (std::string error = PrepareScratchFolder(ProgramFolder(), DataFolder(), scratch);
            !error.empty()) {
            op.Note("vornupdater: " + error, true);
            op.Exit(kExitFailed);
            return kExitFailed;
        }
        workers.push_back(std::make_unique<CFleetWorker>(o.gateways[i], scratch));
    }
    LogWrite("fleet " + o.action + ": " + std::to_string(workers.size()) + " gateways, " +
                 std::to_string(o.parallel) + " at a time",
             kLogInfo);

    // Lines rewritten in place while the block fits on the screen; else a line per change.
    const auto [columns, rows] = TerminalSize();
    const bool inPlace = env.outIsTerminal && workers.size() + 2 <= static_cast<std::size_t>(rows);
    CFleetProgress progress(env.out, inPlace, columns);
    const auto forward = [&](const CFleetWorker& w) {
        return [&env, &w, json](const std::string& line) {
            if (!json)
                return;
            QJsonObject event = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
            event.insert("gateway", QString::fromStdString(w.Gateway().Key()));
            env.out << QJsonDocument(event).toJson(QJsonDocument::Compact).toStdString() << "\n";
        };
    };
    CInterruptGuard interruptGuard;
    QTimer tick;  // wakes the loop for redraws and the interrupt flag
    tick.start(50);
    std::map<std::size_t, ConnectCheck> checks;
    std::size_t next = 0, running = 0;
    bool interrupted = false, dirty = true;
    QElapsedTimer redraw;
    redraw.start();
    while (running > 0 || (next < workers.size() && !interrupted)) {
        if (g_interrupted && !interrupted) {
            interrupted = true;
            const std::string text = "vornupdater: interrupted: no further gateway is started; " +
                                     std::to_string(running) + " running ones finish first";
            json ? op.Note(text, true) : progress.Note(text);
            LogWrite("fleet run interrupted", kLogInfo);
        }
        while (!interrupted && running < static_cast<std::size_t>(o.parallel) &&
               next < workers.size()) {
            CFleetWorker& w = *workers[next];
            // The login lockout of the connection page, kept in the real program folder.
            ConnectCheck check = CheckConnectAllowed(w.Gateway().text);
            if (!check.allowed) {
                w.Status().result = FleetResult::Locked;
                w.Status().failure.push_back(check.message);
            } else if (w.Start(program, WorkerArguments(o, args, w.Gateway(), package),
                               o.passwords[w.Gateway().Key()])) {
                checks[next] = check;
                ++running;
            }
            ++next;
            dirty = true;
        }
        for (std::size_t i = 0; i < next; ++i) {
            CFleetWorker& w = *workers[i];
            if (w.Status().result != FleetResult::Running)
                continue;
            dirty |= w.Poll(forward(w));
            if (w.Running())
                continue;
            w.Poll(forward(w));  // what it wrote just before it ended
            w.Finish();
            --running;
            dirty = true;
            const std::string warning =
                RecordLoginResult(checks[i], o.passwords[w.Gateway().Key()],
                                  LoginOutcome(w.Status()), args.Has("remember"));
            if (!warning.empty())
                w.Status().failure.push_back(warning);
            MergeHistory(w.Scratch());
            MergeAutoBackups(w.Scratch());
            if (!args.Has("keep-work")) {
                // Each worker unpacked the package: free the space as soon as it is done.
                std::error_code ec;
                fs::remove_all(w.Scratch(), ec);
            }
            LogWrite("fleet " + o.action + " " + w.Gateway().Key() + ": " +
                         FleetResultText(w.Status().result),
                     w.Status().result == FleetResult::Succeeded ? kLogInfo : kLogError);
            if (json) {
                QJsonObject event = FleetOutcomeJson(w, false);
                event.insert("type", "gateway");
                env.out << QJsonDocument(event).toJson(QJsonDocument::Compact).toStdString()
                        << "\n";
            }
        }
        if (!json && dirty && (!inPlace || redraw.elapsed() >= kRedrawMs)) {
            progress.Show(workers);
            dirty = false;
            redraw.restart();
        }
        PumpEvents(50);
    }
    for (auto& w : workers) {
        if (w->Status().result == FleetResult::Waiting)
            w->Status().result = FleetResult::NotStarted;
    }

    bool anyReached = false, allOk = true;
    for (const auto& w : workers) {
        const FleetResult r = w->Status().result;
        allOk &= r == FleetResult::Succeeded;
        anyReached |= r == FleetResult::Succeeded || r == FleetResult::Failed;
    }
    const int code = allOk ? kExitOk : anyReached || interrupted ? kExitFailed : kExitConnect;
    if (!json) {
        progress.Show(workers);
        env.out << "\n" << FleetTable(workers);
        if (const std::string failures = FleetFailures(workers); !failures.empty())
            env.out << "\n" << failures;
        env.out.flush();
    }
    if (args.values.count("report")) {
        std::string error;
        if (!WriteReport(args.Value("report"), o, workers, code, interrupted, error))
            op.Note("vornupdater: " + error, true);
    }
    if (args.Has("keep-work"))
        op.Note("Working folders kept in " + runFolder.string(), false);
    op.Exit(code);
    return code;
}

CliCommand FleetCommand() {
    return {
        "fleet",
        "update|backup|check [PACKAGE]",
        "run update, backup or check on every gateway of a list, several at a time",
        {{"gateways", 0, true, "FILE",
          "the gateways: one ADDR[:PORT] per line, optionally a blank and a name"},
         {"passwords", 0, true, "FILE",
          "per-gateway passwords, lines \"ADDR[:PORT] PASSWORD\" (owner-only file)"},
         {"parallel", 0, true, "N", "gateways at a time (default 4)"},
         {"report", 0, true, "FILE.json", "write the outcome of every gateway to FILE.json"},
         {"pre-check", 0, false, nullptr, "update: run the pre-upgrade check first"},
         {"verify", 0, false, nullptr, "update: log in again after the restart, check the version"},
         {"reboot-timeout", 0, true, "SECONDS", "update: how long --verify waits (300)"},
         {"output", 'o', true, "FOLDER", "backup: folder of the backup files (default here)"},
         {"keep-work", 0, false, nullptr, "keep each gateway's working folder and say where"}},
        1,
        2,
        false,
        &CmdFleet};
}

}  // namespace vorn::cli
