#include "app/cli/CmdFleet.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>

#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "app/Startup.h"
#include "app/cli/CliOperator.h"
#include "app/cli/CliRun.h"
#include "app/cli/FleetJournal.h"
#include "app/cli/FleetList.h"
#include "app/cli/FleetMerge.h"
#include "app/cli/FleetOptions.h"
#include "app/cli/FleetProcess.h"
#include "app/cli/FleetReport.h"
#include "app/cli/FleetRun.h"
#include "app/cli/FleetSignals.h"
#include "app/cli/FleetWorker.h"
#include "lib/Log.h"
#include "packages/CombinedPackage.h"
#include "packages/Envelope.h"
#include "packages/PreparedPackage.h"
#include "packages/SinglePackage.h"

namespace vorn::cli {
namespace {

namespace fs = std::filesystem;

// Room kept free per running worker beside the package: its log, the configuration it
// fetches, the backup it writes.
constexpr std::uint64_t kWorkerReserve = 16ull << 20;

int Usage(CliEnvironment& env, const CliArgs& args, const std::string& error) {
    env.err << "vornupdater fleet: " << error << "\nTry 'vornupdater fleet --help'.\n";
    if (args.Has("json")) {
        env.out << JsonLine("error", error, "", 0) << JsonLine("exit", "", "code", kExitUsage);
    }
    return kExitUsage;
}

QString Q(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

std::string Mb(std::uint64_t bytes) {
    return std::to_string((bytes + (1 << 20) - 1) >> 20) + " MB";
}

// Columns and rows of the terminal on the output.
std::pair<int, int> TerminalSize() {
    struct winsize ws {};
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &ws) != 0 || ws.ws_col == 0 || ws.ws_row == 0) {
        return {80, 24};
    }
    return {ws.ws_col, ws.ws_row};
}

// The running program, as the kernel knows it (bytes as they are).
std::string ProgramFile() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : exe.string();
}

fs::path TempFolder() {
    const char* tmp = std::getenv("TMPDIR");
    return fs::absolute(tmp && *tmp ? tmp : "/tmp").lexically_normal();
}

// The unpacked package is read by every worker and changed by none.
void SetReadOnly(const fs::path& folder, bool readOnly) {
    std::error_code ec;
    std::vector<fs::path> folders = {folder};
    for (auto it = fs::recursive_directory_iterator(folder, ec);
         it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_symlink(ec))
            continue;
        if (it->is_directory(ec)) {
            folders.push_back(it->path());
        } else {
            ::chmod(it->path().c_str(), readOnly ? 0400 : 0600);
        }
    }
    // Folders last (deepest first), so the walk could still read them.
    for (auto f = folders.rbegin(); f != folders.rend(); ++f)
        ::chmod(f->c_str(), readOnly ? 0500 : 0700);
}

void RemoveRunFolder(const fs::path& folder) {
    std::error_code ec;
    if (fs::exists(folder / "unpacked", ec))
        SetReadOnly(folder / "unpacked", false);
    fs::remove_all(folder, ec);
}

// Runs `program inspect COPY --unpack FOLDER`: the package is checked once and unpacked once
// for all workers. Error text, or "".
std::string UnpackOnce(const std::string& program, const fs::path& runFolder,
                       const std::string& copy, const fs::path& unpacked) {
    CWorkerProcess p;
    const fs::path out = runFolder / "unpack.out", err = runFolder / "unpack.err";
    std::error_code ec;
    fs::remove(out, ec);
    fs::remove(err, ec);
    if (std::string e = p.Start(program, {"inspect", copy, "--unpack", unpacked.string()},
                                {{"VORN_NO_TTY", "1"}}, runFolder, out, err);
        !e.empty()) {
        return e;
    }
    while (p.Running()) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::ifstream in(err, std::ios::binary);
    std::string why{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    while (!why.empty() && (why.back() == '\n' || why.back() == '\r')) why.pop_back();
    fs::remove(out, ec);
    fs::remove(err, ec);
    if (p.ExitCode() == 0)
        return {};
    return why.empty() ? "its check ended with status " + std::to_string(p.ExitCode()) : why;
}

bool WriteReport(const std::string& path, const FleetOptions& o, const FleetWorkers& workers,
                 int code, const CFleetRun& run, const fs::path& runFolder, std::string& error) {
    QJsonArray list;
    for (const auto& w : workers) list.append(FleetOutcomeJson(*w, true));
    QJsonObject report;
    report.insert("action", Q(o.action));
    report.insert("package", Q(o.package));
    report.insert("parallel", o.parallel);
    report.insert("interrupted", run.Interrupted());
    report.insert("cut", run.Cut().empty() ? QJsonValue::Null : QJsonValue(Q(run.Cut())));
    report.insert("runFolder", Q(runFolder.string()));
    report.insert("resumed", !o.resume.empty());
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

// A worker of the earlier run that still works (its events file is locked): the run cannot
// be taken over yet. Error text or "".
std::string StillWorking(const fs::path& runFolder, const FleetJournalState& earlier) {
    for (const auto& [index, start] : earlier.started) {
        if (earlier.ended.count(index))
            continue;
        const fs::path events =
            runFolder / start.value("folder").toString().toStdString() / kWorkerEvents;
        if (EventsFileInUse(events)) {
            return "the worker of " + start.value("gateway").toString().toStdString() +
                   " (process " + std::to_string(start.value("pid").toInteger()) +
                   ") of that run still works";
        }
    }
    return {};
}

// What a run must be able to do before its first gateway is contacted. Error text or "".
std::string CheckRunFolder(const FleetOptions& o, const fs::path& runFolder,
                           const std::string& program) {
    // Each worker's program folder is a folder of the run; the program refuses to start from
    // a path longer than the limit.
    const fs::path longest = runFolder / ("g" + std::to_string(o.gateways.size())) /
                             fs::path(program).filename();
    if (longest.string().size() > kMaxProgramPath) {
        return "the run folder " + runFolder.string() + " is too deep for the workers (" +
               std::to_string(longest.string().size()) + " characters in " + longest.string() +
               ", at most " + std::to_string(kMaxProgramPath) +
               "): set TMPDIR to a shorter folder";
    }
    if (o.package.empty() || !o.resume.empty())
        return {};
    std::error_code ec;
    std::uint64_t need = fs::file_size(o.package, ec), unpacked = 0, free = 0;
    if (UnpackedSize(o.package, unpacked))
        need += IsCombinedPackage(o.package) ? 2 * unpacked : unpacked;  // members unpacked too
    need += kWorkerReserve * static_cast<std::uint64_t>(o.parallel);
    if (FreeSpace(runFolder, free) && free < need) {
        return "not enough free space in " + runFolder.string() +
               " for the package and its unpacked files: " + Mb(need) + " needed, " + Mb(free) +
               " free (set TMPDIR to a folder with more room)";
    }
    return {};
}

}  // namespace

int CmdFleet(const CliArgs& args, CliEnvironment& env) {
    FleetOptions o;
    if (std::string error = ReadFleetOptions(args, env, o); !error.empty()) {
        return Usage(env, args, error);
    }
    const bool json = args.Has("json");
    CliOperator op(env.out, {json, env.outIsTerminal && !json}, env.terminal);
    CFleetSignals stopSignals;  // from here on a signal never ends the run half-way
    const auto fail = [&](const std::string& text) {
        op.Note("vornupdater: " + text, true);
        op.Exit(kExitFailed);
        return kExitFailed;
    };
    const std::string program = ProgramFile();
    if (program.empty())
        return fail("cannot find the program file of this process");

    // The run folder: the package as checked, its unpacked files, a folder per gateway and
    // the journal; a resumed run takes over the earlier run's folder.
    const bool resume = !o.resume.empty();
    fs::path runFolder;
    FleetJournalState earlier;
    if (resume) {
        runFolder = fs::absolute(o.resume).lexically_normal();
        if (std::string e = ReadFleetJournal(runFolder, earlier); !e.empty())
            return fail(e);
        if (std::string e = StillWorking(runFolder, earlier); !e.empty())
            return fail(e + "; nothing was done (run it again once it has ended)");
    } else {
        std::string pattern = (TempFolder() / "vornfleet-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            return fail("cannot create a run folder in " + TempFolder().string() + ": " +
                        std::strerror(errno));
        runFolder = pattern;
    }
    // A refusal before the first gateway: the text, then what explains it.
    const auto abandon = [&](const std::string& text, const std::string& why = {}) {
        if (!resume)
            RemoveRunFolder(runFolder);
        return fail(text + "; no gateway was contacted" + (why.empty() ? "" : "\n" + why));
    };
    if (std::string e = CheckRunFolder(o, runFolder, program); !e.empty())
        return abandon(e);
    // Where the run keeps its state, and how to finish it if it is ended: on standard error
    // with --json, whose output holds the gateways' events only.
    const std::string where = "Run folder: " + runFolder.string() +
                              " (should this run be killed, 'vornupdater fleet " + o.action +
                              " --resume " + runFolder.string() + "' finishes it)";
    if (json) {
        env.err << where << "\n";
        env.err.flush();
    } else {
        op.Note(where, false);
    }

    std::string package, unpacked;
    if (!o.package.empty()) {
        // Every gateway gets these bytes, checked and unpacked once here.
        std::error_code ec;
        if (resume) {
            package = o.package;
        } else {
            fs::create_directory(runFolder / "package", ec);
            package = (runFolder / "package" / fs::path(o.package).filename()).string();
            if (!fs::copy_file(o.package, package, ec))
                return abandon("cannot copy the package: " + ec.message());
        }
        const fs::path unpackFolder = runFolder / "unpacked";
        if (fs::exists(unpackFolder, ec))
            SetReadOnly(unpackFolder, false), fs::remove_all(unpackFolder, ec);
        if (std::string why = UnpackOnce(program, runFolder, package, unpackFolder); !why.empty())
            return abandon("the package cannot be used", why);
        SetReadOnly(unpackFolder, true);
        unpacked = unpackFolder.string();
        if (!resume && !IsCombinedPackage(package)) {
            // The local package store moves on as with a single update or check.
            if (const StoreResult stored = StorePackage(package); stored.error != 0) {
                LogWrite("storing the package failed: " + stored.errorText, kLogWarn);
            } else {
                PruneOldPackages();
            }
        }
    }
    // A resumed run was confirmed when it started.
    if (o.action == "update" && !args.Has("yes") && !resume) {
        const std::string question = "Install " + PackageFileName(o.package) + " on " +
                                     std::to_string(o.gateways.size()) + " gateways?";
        if (!op.AskYesNo(question)) {
            return abandon("not confirmed (--yes confirms)");
        }
    }

    CFleetJournal journal;
    if (std::string e = journal.Open(runFolder); !e.empty())
        return abandon(e);
    if (resume) {
        journal.Write({{"type", "resume"}, {"pid", static_cast<qint64>(::getpid())}});
    } else {
        QJsonArray list;
        for (const FleetGateway& g : o.gateways) {
            list.append(QJsonObject{{"gateway", Q(g.Key())},
                                    {"text", Q(g.text)},
                                    {"name", Q(g.name)},
                                    {"line", g.line}});
        }
        std::string error;
        if (!journal.Write({{"type", "run"},
                            {"action", Q(o.action)},
                            {"package", Q(package)},
                            {"package_name", Q(PackageFileName(o.package))},
                            {"gateways", list},
                            {"options", FleetOptionsJson(o)},
                            {"pid", static_cast<qint64>(::getpid())}},
                           &error)) {
            return abandon(error);
        }
    }

    FleetWorkers workers;
    for (std::size_t i = 0; i < o.gateways.size(); ++i) {
        workers.push_back(std::make_unique<CFleetWorker>(
            o.gateways[i], runFolder / ("g" + std::to_string(i + 1)), static_cast<int>(i)));
    }
    LogWrite("fleet " + o.action + ": " + std::to_string(workers.size()) + " gateways, " +
                 std::to_string(o.parallel) + " at a time" + (resume ? " (resumed)" : ""),
             kLogInfo);

    // Lines rewritten in place while the block fits on the screen; else a line per change.
    const auto [columns, rows] = TerminalSize();
    const bool inPlace = env.outIsTerminal && workers.size() + 2 <= static_cast<std::size_t>(rows);
    CFleetProgress progress(env.out, inPlace, columns);
    FleetRunSetup setup{program,        runFolder, package,
                        unpacked,       args.Has("keep-work"), args.Has("remember"),
                        json};
    CFleetRun run(o, setup, workers, journal, op, env.out, json ? nullptr : &progress, stopSignals);
    if (resume) {
        if (std::string e = run.TakeOver(earlier); !e.empty())
            return fail(e);
    }
    run.Run();

    bool anyReached = false, allOk = true;
    for (const auto& w : workers) {
        const FleetResult r = w->Status().result;
        allOk &= r == FleetResult::Succeeded || r == FleetResult::Skipped;
        anyReached |= r == FleetResult::Succeeded || r == FleetResult::Skipped ||
                      r == FleetResult::Failed;
    }
    const int code = allOk                                                ? kExitOk
                     : anyReached || run.Interrupted() || !run.Cut().empty() ? kExitFailed
                                                                          : kExitConnect;
    if (!json) {
        env.out << "\n" << FleetTable(workers);
        if (const std::string failures = FleetFailures(workers); !failures.empty())
            env.out << "\n" << failures;
        env.out.flush();
    }
    if (args.values.count("report")) {
        std::string error;
        if (!WriteReport(args.Value("report"), o, workers, code, run, runFolder, error))
            op.Note("vornupdater: " + error, true);
    }
    if (args.Has("keep-work") || run.KeptWork()) {
        op.Note("Working folders kept in " + runFolder.string(), false);
    } else {
        RemoveRunFolder(runFolder);
    }
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
         {"skip-current", 0, false, nullptr,
          "update, check: skip a gateway that already reports the package's version"},
         {"canary", 0, true, "N",
          "update: the first N gateways first; no other starts unless all of them succeed"},
         {"max-failures", 0, true, "K", "start no further gateway after K did not succeed"},
         {"timeout-per-gateway", 0, true, "SECONDS",
          "ask a gateway that has not ended after SECONDS to stop at its next safe point"},
         {"output", 'o', true, "FOLDER", "backup: folder of the backup files (default here)"},
         {"resume", 0, true, "RUN",
          "finish the run whose folder RUN it printed at its start (after it was killed)"},
         {"keep-work", 0, false, nullptr, "keep each gateway's working folder and say where"}},
        1,
        2,
        false,
        &CmdFleet};
}

}  // namespace vorn::cli
