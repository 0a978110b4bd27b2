// The event loop services: run, quit, and the cheap event pump that every
// answer wait of the programs loops on.
#include "platform/userint.h"

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <cmath>

namespace {
// A sleep is cut short after this long, so that a caller sees its own
// conditions again now and then even when nothing happens.
constexpr double kMaxEventWait = 1.0;
QEventLoop *runningLoop = nullptr;
int quitCode = 0;
bool quitRequested = false;
// Owned here but never destroyed by static clean-up, which runs after Qt's own
// globals are gone; CloseRunTime ends it in time.
QApplication *ownApplication = nullptr;
int ownArgc = 1;
char ownArgv0[] = "program";
char *ownArgv[] = {ownArgv0, nullptr};
} // namespace

int InitRunTime(int &argc, char **argv) {
    if (QCoreApplication::instance()) return 1;
    if (argc < 1 || !argv)
        ownApplication = new QApplication(ownArgc, ownArgv);
    else
        ownApplication = new QApplication(argc, argv);
    return QCoreApplication::instance() ? 1 : 0;
}

void CloseRunTime() {
    delete ownApplication;
    ownApplication = nullptr;
}

int RunUserInterface() {
    if (!QCoreApplication::instance()) return UIE_NOT_INITIALISED;
    QEventLoop loop;
    quitRequested = false;
    quitCode = 0;
    runningLoop = &loop;
    int code = loop.exec();
    runningLoop = nullptr;
    return quitRequested ? quitCode : code;
}

int QuitUserInterface(int code) {
    quitRequested = true;
    quitCode = code;
    // Leaving a nested wait first: the loop ends when control returns to it.
    if (runningLoop) runningLoop->exit(code);
    return 0;
}

int ProcessSystemEvents() {
    if (!QCoreApplication::instance()) return UIE_NOT_INITIALISED;
    // Never waits: a caller that only lets events run between two frames must not
    // lose time when nothing is pending. Loops that wait use WaitForSystemEvents.
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    return 0;
}

int WaitForSystemEvents(double seconds) {
    if (!QCoreApplication::instance()) return UIE_NOT_INITIALISED;
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

int ProcessDrawEvents() {
    if (!QCoreApplication::instance()) return UIE_NOT_INITIALISED;
    // Only the repaints: no input, no sockets, no waiting.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateLater);
    return 0;
}
