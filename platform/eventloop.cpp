// The event loop services: start, run, quit, and the repaints on demand.
#include "platform/userint.h"

#include <QApplication>
#include <QEventLoop>

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

int ProcessDrawEvents() {
    if (!QCoreApplication::instance()) return UIE_NOT_INITIALISED;
    // Only the repaints: no input, no sockets, no waiting.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateLater);
    return 0;
}
