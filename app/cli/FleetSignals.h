#pragma once
// The stop signals of a fleet run. SIGINT (Ctrl-C), SIGTERM (a `timeout` wrapper, a service
// manager) and SIGHUP (a closed SSH session) are counted instead of ending the program, while
// the object lives: the first one starts no further gateway, every later one asks the running
// workers to stop at their next safe point. SIGPIPE is ignored, so a closed output never ends
// the run.
#include <csignal>

namespace vorn::cli {

class CFleetSignals {
public:
    CFleetSignals();
    ~CFleetSignals();
    CFleetSignals(const CFleetSignals&) = delete;
    CFleetSignals& operator=(const CFleetSignals&) = delete;

    // Signals received so far, and the last one.
    int Count() const;
    int Last() const;

private:
    struct sigaction m_previous[4] {};
};

}  // namespace vorn::cli
