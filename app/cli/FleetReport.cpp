#include "app/cli/FleetReport.h"

#include "app/cli/TerminalText.h"

#include <QJsonArray>

#include <algorithm>
#include <cstdio>

namespace vorn::cli {
namespace {

std::string Seconds(qint64 ms) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f s", static_cast<double>(ms) / 1000.0);
    return buf;
}

// Ended as asked: updated, backed up, checked, or already current.
bool Fine(FleetResult r) {
    return r == FleetResult::Succeeded || r == FleetResult::Skipped;
}

std::string VersionAfter(const FleetStatus& s) {
    if (s.result == FleetResult::Skipped)
        return s.versionAfter.empty() ? "-" : s.versionAfter + " (already)";
    if (s.result != FleetResult::Succeeded || s.versionAfter.empty())
        return "-";
    return s.verified ? s.versionAfter : s.versionAfter + " (not verified)";
}

QString Q(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// Cuts a line to `width` columns, counting UTF-8 lead bytes only.
std::string Fit(const std::string& text, int width) {
    if (width <= 0)
        return text;
    int columns = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && ++columns > width)
            return text.substr(0, i);
    }
    return text;
}

}  // namespace

std::string TerminalSafe(const std::string& text) {
    // A cell or a progress line is one line: line feeds and tabs are escaped as well.
    std::string out;
    for (const char c : EscapeControls(text)) {
        if (c == '\n') {
            out += "\\x0a";
        } else if (c == '\t') {
            out += "\\x09";
        } else if (c == '\r') {  // only left in a CR LF pair
            out += "\\x0d";
        } else {
            out += c;
        }
    }
    return out;
}

std::string FleetLabel(const FleetGateway& gateway) {
    return gateway.name.empty() ? gateway.Key() : gateway.Key() + " " + gateway.name;
}

std::string FleetProgressLine(const CFleetWorker& worker) {
    const FleetStatus& s = worker.Status();
    std::string line = FleetLabel(worker.Gateway()) + ": " + FleetResultText(s.result);
    if (s.result == FleetResult::Running) {
        if (!s.activity.empty())
            line += ", " + s.activity;
        if (s.percent >= 0)
            line += " " + std::to_string(s.percent) + "%";
    } else if (s.result != FleetResult::Waiting && s.result != FleetResult::NotStarted) {
        line += " (" + Seconds(s.elapsedMs) + ")";
        if (!Fine(s.result) && !s.failure.empty())
            line += ": " + s.failure.back();
    }
    return TerminalSafe(line);
}

void CFleetProgress::Show(const FleetWorkers& workers) {
    if (m_terminal) {
        // Back to the first line of the block, then every line again.
        if (m_drawn)
            m_out << "\033[" << m_drawn << "F";
        for (const auto& w : workers)
            m_out << "\033[2K" << Fit(FleetProgressLine(*w), m_width - 1) << "\n";
        m_drawn = workers.size();
        m_out.flush();
        return;
    }
    m_printed.resize(workers.size());
    for (std::size_t i = 0; i < workers.size(); ++i) {
        const FleetStatus& s = workers[i]->Status();
        if (s.result == FleetResult::Waiting)
            continue;
        std::string line = FleetProgressLine(*workers[i]);
        // Transfers are reported in steps of a tenth.
        if (s.percent >= 0 && s.percent % 10 != 0)
            continue;
        if (line != m_printed[i]) {
            m_out << line << "\n";
            m_printed[i] = std::move(line);
        }
    }
    m_out.flush();
}

void CFleetProgress::Note(const std::string& text) {
    m_out << TerminalSafe(text) << "\n";
    m_out.flush();
    m_drawn = 0;
}

std::string FleetTable(const FleetWorkers& workers) {
    bool backups = false;
    for (const auto& w : workers) backups |= !w->Status().backups.empty();
    std::vector<std::vector<std::string>> rows = {
        {"GATEWAY", "NAME", "VERSION BEFORE", "VERSION AFTER", "RESULT", "TIME"}};
    if (backups)
        rows[0].push_back("BACKUP");
    for (const auto& w : workers) {
        const FleetStatus& s = w->Status();
        const bool ran = s.result != FleetResult::NotStarted && s.result != FleetResult::Locked;
        rows.push_back({w->Gateway().Key(), w->Gateway().name.empty() ? "-" : w->Gateway().name,
                        s.versionBefore.empty() ? "-" : s.versionBefore, VersionAfter(s),
                        FleetResultText(s.result), ran ? Seconds(s.elapsedMs) : "-"});
        if (backups) {
            std::string kept;
            for (const std::string& b : s.backups) kept += (kept.empty() ? "" : ", ") + b;
            rows.back().push_back(kept.empty() ? "-" : kept);
        }
    }
    std::vector<std::size_t> width(rows[0].size(), 0);
    for (auto& row : rows) {
        for (std::size_t c = 0; c < row.size(); ++c) {
            row[c] = TerminalSafe(row[c]);
            width[c] = std::max(width[c], row[c].size());
        }
    }
    std::string out;
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t c = 0; c < row.size(); ++c) {
            line += row[c];
            if (c + 1 < row.size())
                line += std::string(width[c] - row[c].size() + 2, ' ');
        }
        out += line + "\n";
    }
    return out;
}

std::string FleetFailures(const FleetWorkers& workers) {
    std::string out;
    for (const auto& w : workers) {
        const FleetStatus& s = w->Status();
        if (Fine(s.result) || s.failure.empty())
            continue;
        out += TerminalSafe(FleetLabel(w->Gateway())) + ":\n";
        for (const std::string& f : s.failure) {
            std::size_t start = 0;
            for (std::size_t nl = 0; nl != std::string::npos; start = nl + 1) {
                nl = f.find('\n', start);
                out += "  " + TerminalSafe(f.substr(start, nl - start)) + "\n";
            }
        }
    }
    return out;
}

QJsonObject FleetOutcomeJson(const CFleetWorker& worker, bool withLog) {
    const FleetStatus& s = worker.Status();
    QJsonObject o;
    o.insert("gateway", Q(worker.Gateway().Key()));
    o.insert("line", worker.Gateway().line);
    o.insert("name", Q(worker.Gateway().name));
    o.insert("versionBefore", Q(s.versionBefore));
    const bool installed = s.result == FleetResult::Succeeded || s.result == FleetResult::Skipped;
    o.insert("versionAfter", Q(installed ? s.versionAfter : ""));
    o.insert("verified", s.verified);
    o.insert("result", FleetResultText(s.result));
    o.insert("exitCode", s.exitCode);
    o.insert("seconds", static_cast<double>(s.elapsedMs) / 1000.0);
    QJsonArray backups;
    for (const std::string& b : s.backups) backups.append(Q(b));
    o.insert("backupFiles", backups);
    o.insert("earlierRun", s.earlier);
    if (!Fine(s.result)) {
        QJsonArray failure;
        for (const std::string& f : s.failure) failure.append(Q(f));
        o.insert("failure", failure);
        if (withLog) {
            QJsonArray log;
            for (const std::string& l : s.log) log.append(Q(l));
            o.insert("log", log);
        }
    }
    return o;
}

}  // namespace vorn::cli
