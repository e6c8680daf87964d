#pragma once
// Runs the event loop until `cond` holds or the time-out passes; returns the last value.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <functional>

namespace vorn::test {

inline bool waitFor(const std::function<bool()>& cond, int timeoutMs = 5000) {
    QElapsedTimer t;
    t.start();
    while (!cond()) {
        if (t.elapsed() > timeoutMs) {
            return cond();
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

}  // namespace vorn::test
