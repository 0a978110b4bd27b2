// The serial transport: a serial device at 19200 baud, 8 data bits, no
// parity, 1 stop bit, no handshake, opened without waiting.
#include "runtime/utility.h"
#include "sensor/fdtransport.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>

#include <atomic>
#include <csignal>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace sensor {
namespace {

constexpr int kInputQueueBytes = 1024;

OpenResult OpenError(int error) {
    const std::string text = runtime::SystemErrorText(error);
    switch (error) {
    case ENOENT:
    case ENXIO:
    case ENODEV:
        return {kSerialNoPortFound, OpenFailure::NoSuchDevice, text};
    case EACCES:
    case EPERM:
        return {kSerialCannotOpen, OpenFailure::PermissionDenied, text};
    case EBUSY:
    case EWOULDBLOCK:
        return {kSerialCannotOpen, OpenFailure::Busy, text};
    default:
        return {kSerialUnknownSystemError, OpenFailure::Other, text};
    }
}

// The line settings; false when the device is no serial line.
bool Configure(int fd) {
    termios t{};
    if (tcgetattr(fd, &t) != 0) return false;
    cfmakeraw(&t);
    cfsetispeed(&t, B19200);
    cfsetospeed(&t, B19200);
    t.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
    t.c_cflag |= CS8 | CLOCAL | CREAD;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    if (tcsetattr(fd, TCSANOW, &t) != 0) return false;
    // Pseudo-terminals and some adapters have no modem lines: no reason to refuse the port.
    int lines = TIOCM_DTR | TIOCM_RTS;
    ioctl(fd, TIOCMBIS, &lines);
    tcflush(fd, TCIOFLUSH);
    return true;
}

// Lock files held by this process, for a termination signal to remove: a slot
// holds a path while its flag is set. Fixed-size, as a signal handler may not allocate.
struct HeldLock {
    std::atomic<bool> held{false};
    char path[256] = "";
};
HeldLock heldLocks[16];

// SIGTERM or SIGINT ends the process as before, without leaving its locks behind.
void RemoveLocksAndEnd(int signal) {
    for (HeldLock &lock : heldLocks)
        if (lock.held.load()) ::unlink(lock.path);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// Where a program has not chosen what its termination signals do, they remove our locks.
void RemoveLocksOnTermination() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    for (int signal : {SIGTERM, SIGINT}) {
        struct sigaction now {};
        if (sigaction(signal, nullptr, &now) != 0 || now.sa_handler != SIG_DFL) continue;
        struct sigaction action {};
        action.sa_handler = RemoveLocksAndEnd;
        sigemptyset(&action.sa_mask);
        sigaction(signal, &action, nullptr);
    }
}

HeldLock *NoteHeld(const QString &path) {
    RemoveLocksOnTermination();
    const QByteArray bytes = path.toLocal8Bit();
    for (HeldLock &lock : heldLocks) {
        if (lock.held.load() || bytes.size() >= static_cast<int>(sizeof lock.path)) continue;
        std::memcpy(lock.path, bytes.constData(), bytes.size() + 1);
        lock.held.store(true);
        return &lock;
    }
    return nullptr; // more devices than slots: the lock works, a signal leaves it behind
}

// Who holds a lock file: "the lock file F of process P (name)"; "" when unknown.
std::string LockHolder(const QLockFile &lock, const QString &path) {
    qint64 pid = 0;
    QString host, app;
    if (!lock.getLockInfo(&pid, &host, &app) || pid <= 0) return {};
    if (app.isEmpty()) { // a lock of a non-Qt program holds the process number only
        QFile comm(QString("/proc/%1/comm").arg(pid));
        if (comm.open(QIODevice::ReadOnly)) app = QString::fromLocal8Bit(comm.readLine(64)).trimmed();
    }
    return QString("the lock file %1 of process %2%3")
        .arg(path)
        .arg(pid)
        .arg(app.isEmpty() ? QString() : " (" + app + ")")
        .toStdString();
}

// The device's lock, taken; or why not. A lock file left by a process that no longer
// runs is taken over, and said so in note.
bool TakeLock(const std::string &device, std::unique_ptr<QLockFile> &taken, OpenResult &refusal,
              std::string &note) {
    const QString path = QString::fromStdString(SerialLockFile(device));
    if (path.isEmpty()) return true;
    auto lock = std::make_unique<QLockFile>(path);
    qint64 stalePid = 0;
    QString host, app;
    const bool leftBehind = QFileInfo::exists(path) && lock->getLockInfo(&stalePid, &host, &app);
    if (!lock->tryLock(0)) {
        refusal = {kSerialCannotOpen, OpenFailure::Busy, "locked", LockHolder(*lock, path)};
        return false;
    }
    if (leftBehind && stalePid != QCoreApplication::applicationPid())
        note = "Took over the lock file " + path.toStdString() + " of process " + std::to_string(stalePid) +
               ", which no longer runs.";
    taken = std::move(lock);
    return true;
}

} // namespace

std::string SerialLockFile(const std::string &device) {
    QString name = QString::fromStdString(device);
    if (name.startsWith("/dev/")) name.remove(0, 5);
    name.replace('/', '_');
    for (const char *folder : {"/var/lock", "/etc/locks", "/var/spool/locks", "/var/spool/uucp", "/tmp", "/var/tmp",
                               "/var/lock/lockdev", "/run/lock"}) {
        const QFileInfo info(folder);
        const QString path = QString(folder) + "/LCK.." + name;
        if (info.isReadable() && (QFileInfo::exists(path) || info.isWritable())) return path.toStdString();
    }
    return {};
}

namespace {

class SerialTransport final : public FdTransport {
  public:
    explicit SerialTransport(std::string device) : m_device(std::move(device)) {}

    void open(std::function<void(const OpenResult &)> done) override {
        close();
        if (m_device.empty()) return report(std::move(done), {kSerialInvalidPort, OpenFailure::NoSuchDevice, "no device given"});
        const int fd = ::open(m_device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) return report(std::move(done), OpenError(errno));
        OpenResult refusal;
        std::string note;
        if (!TakeLock(m_device, m_lock, refusal, note)) {
            ::close(fd);
            return report(std::move(done), refusal);
        }
        m_held = m_lock ? NoteHeld(m_lock->fileName()) : nullptr;
        // A device that another program holds is busy, not ours to share.
        if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno == EWOULDBLOCK ? EBUSY : errno;
            ::close(fd);
            return report(std::move(done), OpenError(error));
        }
        if (!Configure(fd)) {
            const std::string text = runtime::SystemErrorText(errno);
            ::close(fd);
            return report(std::move(done), {kSerialCannotOpen, OpenFailure::Other, "not a serial device: " + text});
        }
        std::string problem;
        if (!adopt(fd, problem)) return report(std::move(done), {kSerialUnknownSystemError, OpenFailure::Other, problem});
        m_open = true;
        OpenResult opened;
        opened.note = note;
        report(std::move(done), opened);
    }

    void close() override {
        FdTransport::close();
        if (m_held) m_held->held.store(false);
        m_held = nullptr;
        m_lock.reset();
    }
    void discardInput() override {
        if (isOpen()) tcflush(m_fd, TCIFLUSH);
    }
    void discardOutput() override {
        if (isOpen()) tcflush(m_fd, TCOFLUSH);
        FdTransport::discardOutput();
    }

  private:
    int queueLimit() const override { return kInputQueueBytes; }
    int closedCode() const override { return kSerialPortNotOpen; }

    std::string m_device;
    std::unique_ptr<QLockFile> m_lock;
    HeldLock *m_held = nullptr; // the lock's slot for termination signals
};

} // namespace

std::unique_ptr<Transport> MakeSerialTransport(const std::string &device) {
    return std::make_unique<SerialTransport>(device);
}

} // namespace sensor
