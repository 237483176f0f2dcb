#include "platform/QtEventPump.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QThread>
#include <chrono>
#include <thread>

namespace zorv {

QtEventPump::QtEventPump() {
    wakeUp_.setSingleShot(true);
    wakeUp_.setInterval(kIdleWaitMs);
}

void QtEventPump::DoEvents() {
    QAbstractEventDispatcher* dispatcher = QThread::currentThread()->eventDispatcher();
    if (!dispatcher) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return;
    }
    QCoreApplication::sendPostedEvents();
    if (dispatcher->processEvents(QEventLoop::AllEvents)) return;
    // Nothing was pending: block until something happens, the timer at the latest.
    wakeUp_.start();
    dispatcher->processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    wakeUp_.stop();
}

double QtEventPump::TimeOfDay() { return SystemTimeOfDay(); }

void QtEventPump::SleepBlocking(int milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace zorv
