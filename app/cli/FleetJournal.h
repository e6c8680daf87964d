#pragma once
// The journal of a fleet run ("journal" in the run folder): one JSON object per line, each
// written in one write and flushed to the disk, so a run that was killed can be finished by a
// later one (`fleet ... --resume RUN`).
//
//   {"type":"run", "action", "package", "package_name", "gateways": [{"gateway","text","name",
//    "line"}], "options": {...}}                         once, when the run starts
//   {"type":"resume"}                                    each time a later run takes it over
//   {"type":"start", "index", "gateway", "folder", "pid"} a worker started on a gateway
//   {"type":"end", "index", "gateway", "outcome": {...}} its outcome, after its files were
//                                                        merged into the data folder
//   {"type":"skip", "index", "gateway", "outcome": {...}} decided without a worker (locked)
//
// Passwords are never written.
#include <QJsonObject>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace vorn::cli {

inline constexpr const char* kJournalName = "journal";

class CFleetJournal {
public:
    CFleetJournal() = default;
    ~CFleetJournal();
    CFleetJournal(const CFleetJournal&) = delete;
    CFleetJournal& operator=(const CFleetJournal&) = delete;

    // Opens (creates) the journal of `runFolder` for appending. Error text or "".
    std::string Open(const std::filesystem::path& runFolder);
    // Appends one record; false (and the reason) when it could not be written in full.
    bool Write(const QJsonObject& record, std::string* error = nullptr);

private:
    int m_fd = -1;
};

// What an earlier run left: its first record and, per gateway index, its last "start" and
// "end"/"skip" records.
struct FleetJournalState {
    QJsonObject run;
    std::map<int, QJsonObject> started;
    std::map<int, QJsonObject> ended;
};
// Reads the journal of `runFolder`. A last line cut off by a kill is ignored. Error text or "".
std::string ReadFleetJournal(const std::filesystem::path& runFolder, FleetJournalState& state);

}  // namespace vorn::cli
