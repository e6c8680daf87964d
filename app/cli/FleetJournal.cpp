#include "app/cli/FleetJournal.h"

#include <QJsonDocument>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

namespace vorn::cli {

namespace fs = std::filesystem;

CFleetJournal::~CFleetJournal() {
    if (m_fd >= 0)
        ::close(m_fd);
}

std::string CFleetJournal::Open(const fs::path& runFolder) {
    const fs::path path = runFolder / kJournalName;
    m_fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (m_fd < 0)
        return "cannot write the run's journal '" + path.string() + "': " + std::strerror(errno);
    return {};
}

bool CFleetJournal::Write(const QJsonObject& record, std::string* error) {
    const QByteArray line = QJsonDocument(record).toJson(QJsonDocument::Compact) + '\n';
    const ssize_t n = m_fd < 0 ? -1 : ::write(m_fd, line.constData(), line.size());
    if (n != line.size() || ::fdatasync(m_fd) != 0) {
        if (error)
            *error = std::string("cannot write the run's journal: ") +
                     (n < 0 || m_fd < 0 ? std::strerror(errno) : "the disk is full");
        return false;
    }
    return true;
}

std::string ReadFleetJournal(const fs::path& runFolder, FleetJournalState& state) {
    const fs::path path = runFolder / kJournalName;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return "'" + runFolder.string() + "' is not the folder of a fleet run (no journal)";
    for (std::string line; std::getline(in, line);) {
        const QJsonObject r = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
        const QString type = r.value("type").toString();
        const int index = r.value("index").toInt(-1);
        if (type == "run" && state.run.isEmpty()) {
            state.run = r;
        } else if (type == "start" && index >= 0) {
            state.started[index] = r;
            state.ended.erase(index);
        } else if ((type == "end" || type == "skip") && index >= 0) {
            state.ended[index] = r;
        }
    }
    if (state.run.isEmpty())
        return "the journal of '" + runFolder.string() + "' does not describe a run";
    return {};
}

}  // namespace vorn::cli
