#include "app/cli/CliRun.h"

#include <QTimer>

namespace vorn::cli {

void PumpEvents(int maxWaitMs) {
    // processEvents() with a time limit never blocks (it drops WaitForMoreEvents), so a loop
    // around it would keep a core busy; the timer ends the blocking wait instead.
    QTimer wake;
    wake.setSingleShot(true);
    wake.start(maxWaitMs);
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

bool RunUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs) {
            return done();
        }
        PumpEvents(20);
    }
    return true;
}

}  // namespace vorn::cli
