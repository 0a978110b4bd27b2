#include "tests/test_support.h"

#include "platform/testhooks.h"
#include "platform/userint.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <stdexcept>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

bool WaitFor(const std::function<bool()> &cond, double timeoutSeconds) {
    QElapsedTimer t;
    t.start();
    while (!cond()) {
        if (t.elapsed() > timeoutSeconds * 1000) return cond();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

int ClosedPort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a);
    getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len);
    close(fd);
    return ntohs(a.sin_port);
}

PtyPair::PtyPair() {
    master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
        throw std::runtime_error("no pseudo-terminal");
    slavePath = ptsname(master);
    termios tio{};
    tcgetattr(master, &tio);
    cfmakeraw(&tio);
    tcsetattr(master, TCSANOW, &tio);
    // Raw mode on the slave side too, so that no byte value is translated before
    // the program under test opens it.
    int s = open(slavePath.c_str(), O_RDWR | O_NOCTTY);
    if (s >= 0) {
        tcgetattr(s, &tio);
        cfmakeraw(&tio);
        tcsetattr(s, TCSANOW, &tio);
        close(s);
    }
}

PtyPair::~PtyPair() {
    if (master >= 0) close(master);
}

std::string PtyPair::readMaster(std::size_t n, double timeoutSeconds) {
    std::string out;
    QElapsedTimer t;
    t.start();
    while (out.size() < n && t.elapsed() < timeoutSeconds * 1000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
        pollfd p{master, POLLIN, 0};
        if (poll(&p, 1, 2) > 0 && (p.revents & POLLIN)) {
            char buf[1024];
            ssize_t r = read(master, buf, std::min(sizeof buf, n - out.size()));
            if (r > 0) out.append(buf, static_cast<std::size_t>(r));
        }
    }
    return out;
}

void PtyPair::writeMaster(const std::string &bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t w = write(master, bytes.data() + done, bytes.size() - done);
        if (w < 0 && errno != EAGAIN && errno != EINTR) throw std::runtime_error("pty write failed");
        if (w > 0) done += static_cast<std::size_t>(w);
    }
}

std::string ReadFileBytes(const std::string &path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

void WriteFileBytes(const std::string &path, const std::string &bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f << bytes;
}

bool ActivateWindowOf(QWidget *w) {
    QWidget *window = w->window();
    window->show();
    window->activateWindow();
    QApplication::setActiveWindow(window);
    if (window->windowHandle()) window->windowHandle()->requestActivate();
    // Shortcut keys follow the focus window of the platform, not only Qt's active one.
    return WaitFor(
        [window] {
            return window->isActiveWindow() && QGuiApplication::focusWindow() == window->windowHandle();
        },
        2.0);
}

int CloseAndRun(int panel) {
    QTimer closer, stayed;
    closer.setSingleShot(true);
    stayed.setSingleShot(true);
    QObject::connect(&stayed, &QTimer::timeout, [] { QuitUserInterface(-1); });
    QObject::connect(&closer, &QTimer::timeout, [&] {
        PanelWidget(panel)->close();
        // Runs only when the close did not end the loop.
        stayed.start(0);
    });
    closer.start(0);
    return RunUserInterface();
}
