#include "runtime/events.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <cmath>

namespace runtime {

namespace {
// A sleep is cut short after this long, so that a caller sees its own
// conditions again now and then even when nothing happens.
constexpr double kMaxEventWait = 1.0;
} // namespace

int ProcessSystemEvents() {
    if (!QCoreApplication::instance()) return kNoEventLoop;
    // Never waits: a caller that only lets events run between two frames must not
    // lose time when nothing is pending. Loops that wait use WaitForSystemEvents.
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    return 0;
}

int WaitForSystemEvents(double seconds) {
    if (!QCoreApplication::instance()) return kNoEventLoop;
    if (!(seconds > 0.0)) return ProcessSystemEvents();
    // Sleeps until an event arrives (a byte on a port, a click, a timer) or the
    // guard timer ends the sleep, so a wait loop built on it neither spins nor
    // notices its answer late.
    QTimer guard;
    guard.setSingleShot(true);
    guard.setTimerType(Qt::PreciseTimer);
    guard.start(static_cast<int>(std::ceil(std::min(seconds, kMaxEventWait) * 1000.0)));
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    return 0;
}

} // namespace runtime
