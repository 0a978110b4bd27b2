// Helpers shared by the tests: bounded waits, temporary directories, pseudo-terminals.
#pragma once

#include <QTemporaryDir>
#include <functional>
#include <string>

// Processes events until cond() holds or timeoutSeconds pass; returns cond().
bool WaitFor(const std::function<bool()> &cond, double timeoutSeconds = 5.0);

// A loopback TCP port on which nobody listens.
int ClosedPort();

// A pseudo-terminal pair: the slave path is what a program opens as its serial
// port, the master file descriptor is the far end (a sensor or a test).
struct PtyPair {
    int master = -1;
    std::string slavePath;
    PtyPair(); // raw mode on both ends
    ~PtyPair();
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;
    // Reads from the master until n bytes have come or the time is up.
    std::string readMaster(std::size_t n, double timeoutSeconds = 3.0);
    void writeMaster(const std::string &bytes);
};

class QWidget;
// Makes the window of w the active one, as a person's click would, so that focus
// moves between its fields as it does on a desktop. False if it did not happen.
bool ActivateWindowOf(QWidget *w);

// Closes a panel's window as a user does and runs the event loop: 0 when the
// program quit, -1 when it stayed.
int CloseAndRun(int panel);

// Reads a whole file as bytes ("" when missing).
std::string ReadFileBytes(const std::string &path);
void WriteFileBytes(const std::string &path, const std::string &bytes);

#include <QLocale>

// The desktop locale in which typed numbers are read, for one scope.
class ScopedLocale {
  public:
    explicit ScopedLocale(const char *name) { QLocale::setDefault(QLocale(QString::fromLatin1(name))); }
    ~ScopedLocale() { QLocale::setDefault(previous); }
    ScopedLocale(const ScopedLocale &) = delete;
    ScopedLocale &operator=(const ScopedLocale &) = delete;

  private:
    QLocale previous;
};
