#pragma once
// What a fleet run shows: one progress line per gateway (rewritten in place on a terminal,
// a new line per change otherwise), the final table and the JSON report.
#include <QJsonObject>

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "app/cli/FleetWorker.h"

namespace vorn::cli {

using FleetWorkers = std::vector<std::unique_ptr<CFleetWorker>>;

// Text from a gateway made safe for a terminal: control characters (C0, DEL, C1) become
// "\xNN", so a gateway cannot move the cursor, change colours or retitle the window.
std::string TerminalSafe(const std::string& text);

// "ADDR:PORT" and the name of a gateway, as the lines and the table show them.
std::string FleetLabel(const FleetGateway& gateway);
// The progress line of one gateway (without a line break).
std::string FleetProgressLine(const CFleetWorker& worker);

class CFleetProgress {
public:
    // `width`: columns of the terminal (lines are cut to fit so the block can be redrawn).
    CFleetProgress(std::ostream& out, bool terminal, int width)
        : m_out(out), m_terminal(terminal), m_width(width) {}
    // Terminal: redraws the block of lines. Otherwise: prints the line of each gateway whose
    // line changed since it was last printed.
    void Show(const FleetWorkers& workers);
    // A line of its own (notes); the block is drawn again below it.
    void Note(const std::string& text);

private:
    std::ostream& m_out;
    bool m_terminal;
    int m_width;
    std::size_t m_drawn = 0;             // lines of the block on the screen
    std::vector<std::string> m_printed;  // last line printed per gateway (no terminal)
};

// The final table: gateway, name, version before, version after, result, time.
std::string FleetTable(const FleetWorkers& workers);
// Failure texts of the gateways that did not succeed, one block per gateway.
std::string FleetFailures(const FleetWorkers& workers);
// One gateway's outcome as JSON (the report's entries and the --json result events).
QJsonObject FleetOutcomeJson(const CFleetWorker& worker, bool withLog);

}  // namespace vorn::cli
