// The event loop services: run, quit, and the cheap event pump that every
// answer wait of the programs loops on.
#include "platform/userint.h"

#include <QApplication>
#include <QEventLoop>
#include <QTimer>

namespace {
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
    // Waiting for more events with a short guard timer lets a polling loop sleep
    // until a byte or a click arrives instead of spinning a core.
    QTimer guard;
    guard.setSingleShot(true);
    guard.setTimerType(Qt::PreciseTimer);
    guard.start(5);
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
