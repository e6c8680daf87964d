#pragma once
// One gateway of a fleet run: its own scratch program folder, the vornupdater process that
// works on it (a single-gateway command with --json, its events appended to a file of its
// folder), and what that process reports in the documented events (docs/cli-json.md).
#include <QElapsedTimer>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/cli/FleetList.h"
#include "app/cli/FleetProcess.h"

class QJsonObject;

namespace vorn::cli {

enum class FleetResult {
    Waiting,
    Running,
    Succeeded,
    Skipped,  // the gateway already ran the package's version (--skip-current)
    Failed,
    Unreachable,
    Locked,
    NotStarted
};
// "waiting", "running", "ok", "skipped", "failed", "unreachable", "locked", "not started".
const char* FleetResultText(FleetResult result);
std::optional<FleetResult> FleetResultFromText(const std::string& text);

// The files of a worker's folder.
inline constexpr const char* kWorkerEvents = "events.jsonl";
inline constexpr const char* kWorkerErrors = "errors.txt";

struct FleetStatus {
    FleetResult result = FleetResult::Waiting;
    std::string activity;  // the gateway's current step, for the progress line
    int percent = -1;      // of the current transfer; -1 when none runs
    std::string versionBefore;
    std::string versionAfter;    // the package's version, or the one read back (verified)
    bool verified = false;       // versionAfter was read back from the gateway
    bool loggedIn = false;       // the worker logged in (a damaged firmware reports no version)
    bool wrongPassword = false;  // the login was refused
    qint64 elapsedMs = 0;
    int exitCode = -1;
    std::vector<std::string> failure;  // error texts, in order
    std::vector<std::string> log;      // the worker's log lines (kept for failed gateways)
    std::string workerBackup;          // the backup the worker wrote (in its own folder)
    std::vector<std::string> backups;  // where this gateway's backups were kept
    bool skipped = false;              // its result said it found the gateway current
    bool exitSeen = false;             // the worker's last event arrived
    bool stopAsked = false;            // asked to stop at the next safe point
    bool earlier = false;              // the outcome of an earlier run of this run (--resume)
};

// Makes `scratch` a program and data folder of its own: the installation's read-only parts
// ("openssl", the helper-script folders, the archive component) linked from `install`, the
// options file copied from `data`. Every working folder the worker creates is its own.
// Error text or "".
std::string PrepareScratchFolder(const std::filesystem::path& install,
                                 const std::filesystem::path& data,
                                 const std::filesystem::path& scratch);

class CFleetWorker {
public:
    CFleetWorker(FleetGateway gateway, std::filesystem::path scratch, int index = 0);
    CFleetWorker(const CFleetWorker&) = delete;
    CFleetWorker& operator=(const CFleetWorker&) = delete;

    int Index() const { return m_index; }
    const FleetGateway& Gateway() const { return m_gateway; }
    const std::filesystem::path& Scratch() const { return m_scratch; }
    FleetStatus& Status() { return m_status; }
    const FleetStatus& Status() const { return m_status; }
    CWorkerProcess& Process() { return m_process; }
    qint64 RunningMs() const { return m_clock.isValid() ? m_clock.elapsed() : 0; }

    // Runs `program args` with the scratch folder as its program folder, the password in its
    // environment (never on a command line), bytes unchanged. False when it cannot start.
    bool Start(const std::string& program, const std::vector<std::string>& args,
               const std::string& password);
    bool Running() { return m_process.Running(); }
    // Handles the events written since the last call; `onEvent` sees each line as written.
    // True when the status changed.
    bool Poll(const std::function<void(const std::string&)>& onEvent);
    // After the process ended: the result from its exit status and events, the log lines.
    void Finish();
    // A worker of an earlier run that ended on its own after that run went away: its events
    // file gives the outcome. False when it ended without its last event (it was killed).
    bool Adopt();
    // The outcome of an earlier run, from its journal.
    void Restore(const QJsonObject& outcome);

private:
    void Handle(const QJsonObject& event);
    void AddFailure(std::string text);
    void Conclude(int exitCode);

    int m_index;
    FleetGateway m_gateway;
    std::filesystem::path m_scratch;
    CWorkerProcess m_process;
    std::unique_ptr<CLineTail> m_events;
    QElapsedTimer m_clock;
    FleetStatus m_status;
};

}  // namespace vorn::cli
