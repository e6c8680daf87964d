#pragma once
// The scheduling of a fleet run: which gateway starts when (--parallel, --canary,
// --max-failures, the stop signals), the time limit per gateway, and what happens when a
// worker ends (its outcome, the login record, the merge of its files, the journal).
#include <filesystem>
#include <functional>
#include <map>
#include <string>

#include "app/ConnectRules.h"
#include "app/cli/CliOperator.h"
#include "app/cli/FleetJournal.h"
#include "app/cli/FleetOptions.h"
#include "app/cli/FleetReport.h"
#include "app/cli/FleetSignals.h"

namespace vorn::cli {

// A failure of a roll-out: the gateway did not end with what its action was to do (for an
// update: the package's version installed). Gateways never started are no failures.
bool IsFleetFailure(FleetResult result);

struct FleetRunSetup {
    std::string program;         // the vornupdater binary the workers run
    std::filesystem::path runFolder;
    std::string package;         // the checked copy in the run folder ("" for backup)
    std::string unpacked;        // its shared extraction ("" = each worker unpacks)
    bool keepWork = false;
    bool remember = false;
    bool json = false;
};

class CFleetRun {
public:
    CFleetRun(const FleetOptions& options, const FleetRunSetup& setup, FleetWorkers& workers,
              CFleetJournal& journal, CliOperator& op, std::ostream& out, CFleetProgress* progress,
              const CFleetSignals& stopSignals);

    // Takes over the gateways of an earlier run (--resume): the ones it finished keep their
    // outcome; workers that ended after it went away are concluded and merged now; the rest
    // run again. Error text (a worker still runs), or "".
    std::string TakeOver(const FleetJournalState& earlier);
    // Runs until every gateway that may start has ended.
    void Run();

    bool Interrupted() const { return m_interrupted; }
    // "canary", "max-failures" or "" : why the run started no further gateway.
    const std::string& Cut() const { return m_cut; }
    // Something of a worker could not be merged: its folder and the run folder are kept.
    bool KeptWork() const { return m_keptWork; }

private:
    void Note(const std::string& text, bool error);
    void StartNext();
    bool MayStart(std::size_t index);
    void Start(CFleetWorker& w);
    void Conclude(CFleetWorker& w);
    void Merge(CFleetWorker& w);
    void CheckTimeLimit(CFleetWorker& w);
    void ForwardStop();
    std::vector<std::string> RunBackups() const;
    int Failures() const;

    const FleetOptions& m_o;
    const FleetRunSetup& m_setup;
    FleetWorkers& m_workers;
    CFleetJournal& m_journal;
    CliOperator& m_op;
    std::ostream& m_out;
    CFleetProgress* m_progress;
    const CFleetSignals& m_signals;
    std::map<int, ConnectCheck> m_checks;
    std::map<int, int> m_timeStage;  // how far the time limit's stop went, per gateway
    std::size_t m_next = 0;
    std::size_t m_running = 0;
    bool m_interrupted = false;
    std::string m_cut;
    bool m_keptWork = false;
    int m_signalsSeen = 0;
    bool m_dirty = true;
};

}  // namespace vorn::cli
