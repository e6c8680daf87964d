#include "app/cli/CliRun.h"

#include <QTimer>

namespace vorn::cli {

QJsonObject GatewayFields(const CMainFrame& frame) {
    QJsonObject o;
    o.insert("version", JsonText(frame.DeviceVersion()));
    o.insert("protocol", frame.ProtocolVersion);
    const int flag = frame.GatewayLayoutFlag();
    o.insert("layout", flag == 0 ? "/var" : "/etc");
    o.insert("layout_flag", flag);
    o.insert("product_line", frame.GatewayProductLine());
    return o;
}

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
