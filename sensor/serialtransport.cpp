// The serial transport: a serial device at 19200 baud, 8 data bits, no
// parity, 1 stop bit, no handshake, opened without waiting.
#include "sensor/fdtransport.h"
#include "runtime/utility.h"

#include <QFileInfo>
#include <QLockFile>

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

// The lock file that serial programs on this system agree on (LCK..ttyUSB0 in
// the first lock folder there is), so that a terminal program or a second copy
// of ours finds the device busy, and we find theirs.
std::unique_ptr<QLockFile> DeviceLock(const std::string &device) {
    QString name = QString::fromStdString(device);
    if (name.startsWith("/dev/")) name.remove(0, 5);
    name.replace('/', '_');
    for (const char *folder : {"/var/lock", "/etc/locks", "/var/spool/locks", "/var/spool/uucp", "/tmp", "/var/tmp",
                               "/var/lock/lockdev", "/run/lock"}) {
        const QFileInfo info(folder);
        const QString path = QString(folder) + "/LCK.." + name;
        if (info.isReadable() && (QFileInfo::exists(path) || info.isWritable()))
            return std::make_unique<QLockFile>(path);
    }
    return nullptr;
}

class SerialTransport final : public FdTransport {
  public:
    explicit SerialTransport(std::string device) : m_device(std::move(device)) {}

    void open(std::function<void(const OpenResult &)> done) override {
        close();
        if (m_device.empty()) return report(std::move(done), {kSerialInvalidPort, OpenFailure::NoSuchDevice, "no device given"});
        const int fd = ::open(m_device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) return report(std::move(done), OpenError(errno));
        m_lock = DeviceLock(m_device);
        if (m_lock && !m_lock->tryLock(0)) {
            m_lock.reset();
            ::close(fd);
            return report(std::move(done), OpenError(EBUSY));
        }
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
        report(std::move(done), {});
    }

    void close() override {
        FdTransport::close();
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
};

} // namespace

std::unique_ptr<Transport> MakeSerialTransport(const std::string &device) {
    return std::make_unique<SerialTransport>(device);
}

} // namespace sensor
