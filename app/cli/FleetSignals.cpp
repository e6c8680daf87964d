#include "app/cli/FleetSignals.h"

namespace vorn::cli {
namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

volatile std::sig_atomic_t g_count = 0;
volatile std::sig_atomic_t g_last = 0;

extern "C" void OnStopSignal(int sig) {
    g_count = g_count + 1;
    g_last = sig;
}

}  // namespace

CFleetSignals::CFleetSignals() {
    g_count = 0;
    g_last = 0;
    for (int i = 0; i < 4; ++i) {
        struct sigaction sa {};
        sa.sa_handler = kSignals[i] == SIGPIPE ? SIG_IGN : OnStopSignal;
        sigemptyset(&sa.sa_mask);
        ::sigaction(kSignals[i], &sa, &m_previous[i]);
    }
}

CFleetSignals::~CFleetSignals() {
    for (int i = 0; i < 4; ++i) ::sigaction(kSignals[i], &m_previous[i], nullptr);
}

int CFleetSignals::Count() const {
    return g_count;
}

int CFleetSignals::Last() const {
    return g_last;
}

}  // namespace vorn::cli
