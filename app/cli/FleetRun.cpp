#include "app/cli/FleetRun.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <csignal>

#include "app/ConnectRules.h"
#include "app/cli/CliRun.h"
#include "app/cli/FleetMerge.h"
#include "app/cli/FleetSignals.h"
#include "lib/Log.h"
#include "platform/ProgramFolder.h"

namespace vorn::cli {
namespace {

namespace fs = std::filesystem;

constexpr int kRedrawMs = 200;
// How long a worker asked to stop (time limit) may take before it is told again, and again.
constexpr int kMaxStopGraceS = 30;

ConnectOutcome LoginOutcome(const FleetStatus& s) {
    if (s.loggedIn)
        return kWizardConnected;
    return s.wrongPassword ? kWizardLoginRefused : kWizardConnectFailed;
}

QString Q(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

}  // namespace

bool IsFleetFailure(FleetResult r) {
    return r == FleetResult::Failed || r == FleetResult::Unreachable || r == FleetResult::Locked;
}

CFleetRun::CFleetRun(const FleetOptions& options, const FleetRunSetup& setup, FleetWorkers& workers,
                     CFleetJournal& journal, CliOperator& op, std::ostream& out,
                     CFleetProgress* progress, const CFleetSignals& stopSignals)
    : m_o(options),
      m_setup(setup),
      m_workers(workers),
      m_journal(journal),
      m_op(op),
      m_out(out),
      m_progress(progress),
      m_signals(stopSignals) {}

void CFleetRun::Note(const std::string& text, bool error) {
    if (m_progress) {
        m_progress->Note(text);
        if (error)
            LogWrite(text, kLogError);
    } else {
        m_op.Note(text, error);
    }
}

int CFleetRun::Failures() const {
    int n = 0;
    for (const auto& w : m_workers) n += IsFleetFailure(w->Status().result);
    return n;
}

std::vector<std::string> CFleetRun::RunBackups() const {
    std::vector<std::string> all;
    for (const auto& w : m_workers)
        all.insert(all.end(), w->Status().backups.begin(), w->Status().backups.end());
    return all;
}

std::string CFleetRun::TakeOver(const FleetJournalState& earlier) {
    for (const auto& [index, record] : earlier.started) {
        if (index < 0 || static_cast<std::size_t>(index) >= m_workers.size() ||
            earlier.ended.count(index))
            continue;
        CFleetWorker& w = *m_workers[static_cast<std::size_t>(index)];
        if (EventsFileInUse(w.Scratch() / kWorkerEvents)) {
            return "the worker of " + w.Gateway().Key() + " (process " +
                   std::to_string(record.value("pid").toInt()) +
                   ") of that run still works; wait until it has ended";
        }
    }
    for (auto& wp : m_workers) {
        CFleetWorker& w = *wp;
        if (auto e = earlier.ended.find(w.Index()); e != earlier.ended.end()) {
            w.Restore(e->second.value("outcome").toObject());
            continue;
        }
        if (!earlier.started.count(w.Index()))
            continue;
        std::error_code ec;
        if (!fs::is_directory(w.Scratch(), ec))
            continue;  // it never got going: it runs again
        if (w.Adopt()) {
            // It finished on its own after the earlier run went away.
            w.Status().earlier = true;
            Merge(w);
            QJsonObject end{{"type", "end"}, {"index", w.Index()}, {"gateway", Q(w.Gateway().Key())},
                            {"outcome", FleetOutcomeJson(w, false)}};
            m_journal.Write(end);
            continue;
        }
        // Killed with its run: keep what it left (a backup taken before the update), then it
        // runs again in a fresh folder.
        std::string error;
        MergeHistory(w.Scratch(), error);
        std::vector<std::string> kept;
        MergeAutoBackups(w.Scratch(), w.Gateway(), w.Status().versionBefore, RunBackups(), kept,
                         error);
        w.Status() = FleetStatus{};
        w.Status().backups = kept;
        if (error.empty()) {
            fs::remove_all(w.Scratch(), ec);
        } else {
            const fs::path aside = w.Scratch().string() + "-earlier";
            fs::rename(w.Scratch(), aside, ec);
            Note("vornupdater: " + w.Gateway().Key() + ": " + error + "; its files stay in " +
                     aside.string(),
                 true);
            m_keptWork = true;
        }
    }
    return {};
}

bool CFleetRun::MayStart(std::size_t index) {
    // The canaries first: the others wait until all of them have ended well.
    const std::size_t canaries = std::min<std::size_t>(m_o.canary, m_workers.size());
    if (m_o.canary > 0 && index >= canaries) {
        for (std::size_t i = 0; i < canaries; ++i) {
            const FleetResult r = m_workers[i]->Status().result;
            if (r == FleetResult::Running || r == FleetResult::Waiting)
                return false;
            if (IsFleetFailure(r) && m_cut.empty()) {
                m_cut = "canary";
                Note("vornupdater: the canary gateway " + m_workers[i]->Gateway().Key() +
                         " did not succeed: no further gateway is started",
                     true);
                LogWrite("fleet run cut: a canary failed", kLogError);
            }
        }
    }
    if (m_o.maxFailures > 0 && Failures() >= m_o.maxFailures && m_cut.empty()) {
        m_cut = "max-failures";
        Note("vornupdater: " + std::to_string(Failures()) +
                 " gateways did not succeed (--max-failures " + std::to_string(m_o.maxFailures) +
                 "): no further gateway is started",
             true);
        LogWrite("fleet run cut: too many failures", kLogError);
    }
    return m_cut.empty();
}

void CFleetRun::Start(CFleetWorker& w) {
    // The login lockout of the connection page, kept in the real data folder.
    ConnectCheck check = CheckConnectAllowed(w.Gateway().text);
    if (!check.allowed) {
        w.Status().result = FleetResult::Locked;
        w.Status().failure.push_back(check.message);
        QJsonObject skip{{"type", "skip"}, {"index", w.Index()}, {"gateway", Q(w.Gateway().Key())},
                         {"outcome", FleetOutcomeJson(w, false)}};
        m_journal.Write(skip);
        return;
    }
    std::error_code ec;
    fs::remove_all(w.Scratch(), ec);
    if (std::string error = PrepareScratchFolder(ProgramFolder(), DataFolder(), w.Scratch());
        !error.empty()) {
        w.Status().result = FleetResult::Failed;
        w.Status().failure.push_back(error);
        return;
    }
    const std::string backupFile = (w.Scratch() / "backup.bcf").string();
    const std::string password = m_o.passwords.at(w.Gateway().Key());
    if (!w.Start(m_setup.program,
                 WorkerArguments(m_o, w.Gateway(), m_setup.package, m_setup.unpacked, backupFile),
                 password)) {
        QJsonObject skip{{"type", "skip"}, {"index", w.Index()}, {"gateway", Q(w.Gateway().Key())},
                         {"outcome", FleetOutcomeJson(w, false)}};
        m_journal.Write(skip);
        return;
    }
    m_checks[w.Index()] = check;
    ++m_running;
    QJsonObject start{{"type", "start"},
                      {"index", w.Index()},
                      {"gateway", Q(w.Gateway().Key())},
                      {"folder", Q(w.Scratch().filename().string())},
                      {"pid", static_cast<qint64>(w.Process().Pid())}};
    std::string error;
    if (!m_journal.Write(start, &error))
        Note("vornupdater: " + error, true);
}

void CFleetRun::StartNext() {
    while (!m_interrupted && m_running < static_cast<std::size_t>(m_o.parallel) &&
           m_next < m_workers.size()) {
        CFleetWorker& w = *m_workers[m_next];
        if (w.Status().result != FleetResult::Waiting) {
            ++m_next;  // decided by an earlier run
            continue;
        }
        if (!MayStart(m_next))
            return;
        Start(w);
        ++m_next;
        m_dirty = true;
    }
}

void CFleetRun::Merge(CFleetWorker& w) {
    FleetStatus& s = w.Status();
    std::string error;
    bool ok = true;
    if (m_o.action == "update") {
        ok &= MergeHistory(w.Scratch(), error);
        ok &= MergeAutoBackups(w.Scratch(), w.Gateway(), s.versionBefore, RunBackups(), s.backups,
                               error);
    } else if (m_o.action == "backup") {
        std::error_code ec;
        const fs::path written = w.Scratch() / "backup.bcf";
        if (fs::is_regular_file(written, ec)) {
            std::string why;
            const std::string kept =
                KeepFile(written, m_o.outputFolder,
                         FleetBackupName(w.Gateway(), s.versionBefore, FileWrittenAt(written)),
                         why);
            if (kept.empty()) {
                error = why;
                ok = false;
            } else {
                s.backups.push_back(kept);
            }
        }
    }
    if (!ok) {
        s.failure.push_back(error + "; the worker's files stay in " + w.Scratch().string());
        LogWrite("fleet merge " + w.Gateway().Key() + ": " + error, kLogError);
        if (s.result == FleetResult::Succeeded || s.result == FleetResult::Skipped)
            s.result = FleetResult::Failed;  // a backup that is not where it should be is lost
        m_keptWork = true;
        return;
    }
    if (!m_setup.keepWork) {
        // The worker's folder is no longer needed: free the space at once.
        std::error_code ec;
        fs::remove_all(w.Scratch(), ec);
    }
}

void CFleetRun::Conclude(CFleetWorker& w) {
    w.Finish();
    --m_running;
    m_dirty = true;
    const std::string warning =
        RecordLoginResult(m_checks[w.Index()], m_o.passwords.at(w.Gateway().Key()),
                          LoginOutcome(w.Status()), m_setup.remember);
    if (!warning.empty())
        w.Status().failure.push_back(warning);
    Merge(w);
    LogWrite("fleet " + m_o.action + " " + w.Gateway().Key() + ": " +
                 FleetResultText(w.Status().result),
             IsFleetFailure(w.Status().result) ? kLogError : kLogInfo);
    QJsonObject end{{"type", "end"}, {"index", w.Index()}, {"gateway", Q(w.Gateway().Key())},
                    {"outcome", FleetOutcomeJson(w, false)}};
    std::string error;
    if (!m_journal.Write(end, &error))
        Note("vornupdater: " + error, true);
    if (m_setup.json) {
        QJsonObject event = FleetOutcomeJson(w, false);
        event.insert("type", "gateway");
        m_out << QJsonDocument(event).toJson(QJsonDocument::Compact).toStdString() << "\n";
        m_out.flush();
    }
}

void CFleetRun::CheckTimeLimit(CFleetWorker& w) {
    if (m_o.timeoutSeconds <= 0)
        return;
    const qint64 limitMs = static_cast<qint64>(m_o.timeoutSeconds) * 1000;
    const qint64 graceMs = static_cast<qint64>(std::min(m_o.timeoutSeconds, kMaxStopGraceS)) * 1000;
    const qint64 ms = w.RunningMs();
    int& stage = m_timeStage[w.Index()];
    if (stage == 0 && ms > limitMs) {
        stage = 1;
        w.Status().failure.push_back("no result within " + std::to_string(m_o.timeoutSeconds) +
                                     " s (--timeout-per-gateway): asked to stop at the next safe "
                                     "point");
        w.Status().stopAsked = true;
        w.Process().SendSignal(SIGTERM);
        m_dirty = true;
    } else if (stage == 1 && ms > limitMs + graceMs) {
        stage = 2;
        w.Status().failure.push_back("it did not stop: ended");
        w.Process().SendSignal(SIGTERM);  // a second stop signal ends it at once
    } else if (stage == 2 && ms > limitMs + 2 * graceMs) {
        stage = 3;
        w.Process().SendSignal(SIGKILL);
    }
}

void CFleetRun::ForwardStop() {
    int asked = 0;
    for (auto& w : m_workers) {
        if (w->Status().result == FleetResult::Running && w->Process().SendSignal(SIGTERM)) {
            w->Status().stopAsked = true;
            ++asked;
        }
    }
    Note("vornupdater: asked " + std::to_string(asked) +
             " running gateways to stop at their next safe point",
         false);
    LogWrite("fleet run: running workers asked to stop", kLogInfo);
}

void CFleetRun::Run() {
    const auto forward = [this](const CFleetWorker& w) {
        return [this, &w](const std::string& line) {
            if (!m_setup.json)
                return;
            QJsonObject event = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
            event.insert("gateway", Q(w.Gateway().Key()));
            m_out << QJsonDocument(event).toJson(QJsonDocument::Compact).toStdString() << "\n";
            m_out.flush();
        };
    };
    QElapsedTimer redraw;
    redraw.start();
    StartNext();
    while (m_running > 0 || (!m_interrupted && m_cut.empty() && m_next < m_workers.size())) {
        for (; m_signalsSeen < m_signals.Count(); ++m_signalsSeen) {
            if (!m_interrupted) {
                m_interrupted = true;
                Note("vornupdater: interrupted: no further gateway is started; " +
                         std::to_string(m_running) + " running ones finish first (" +
                         ::strsignal(m_signals.Last()) +
                         "; another signal asks them to stop at their next safe point)",
                     false);
                LogWrite("fleet run interrupted", kLogInfo);
            } else {
                ForwardStop();
            }
        }
        StartNext();
        for (auto& wp : m_workers) {
            CFleetWorker& w = *wp;
            if (w.Status().result != FleetResult::Running)
                continue;
            m_dirty |= w.Poll(forward(w));
            if (w.Running()) {
                CheckTimeLimit(w);
                continue;
            }
            w.Poll(forward(w));  // what it wrote just before it ended
            Conclude(w);
        }
        if (m_progress && m_dirty && redraw.elapsed() >= kRedrawMs) {
            m_progress->Show(m_workers);
            m_dirty = false;
            redraw.restart();
        }
        PumpEvents(50);
    }
    for (auto& w : m_workers) {
        if (w->Status().result == FleetResult::Waiting)
            w->Status().result = FleetResult::NotStarted;
    }
    if (m_progress)
        m_progress->Show(m_workers);
}

}  // namespace vorn::cli
