#include "sensor/fdtransport.h"
#include "runtime/utility.h"

#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace sensor {
namespace {

constexpr std::size_t kOutputLimit = 1024; // as the serial output queue

// Writes what the system takes now; never raises SIGPIPE on a closed connection.
ssize_t WriteSome(int fd, const char *bytes, std::size_t count) {
    const ssize_t n = ::send(fd, bytes, count, MSG_NOSIGNAL | MSG_DONTWAIT);
    return n < 0 && errno == ENOTSOCK ? ::write(fd, bytes, count) : n; // a serial device is no socket
}

} // namespace

FdTransport::~FdTransport() {
    FdTransport::close();
}

void FdTransport::close() {
    ++m_epoch; // an open's outcome not told yet is not told any more
    m_watch.clear();
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    m_open = false;
    m_output.clear();
}

bool FdTransport::adopt(int fd, std::string &problem) {
    m_fd = fd;
    if (!m_watch.watch(fd, false, [this](unsigned events) { ready(events); })) {
        problem = std::string("the event loop cannot watch it: ") + runtime::SystemErrorText(errno);
        close();
        return false;
    }
    return true;
}

void FdTransport::report(std::function<void(const OpenResult &)> done, const OpenResult &result) {
    QTimer::singleShot(0, &m_guard, [this, epoch = m_epoch, done = std::move(done), result] {
        if (epoch == m_epoch) done(result);
    });
}

int FdTransport::write(const char *bytes, int count) {
    if (!isOpen()) return closedCode();
    if (m_output.size() + static_cast<std::size_t>(count) > kOutputLimit) return closedCode();
    int taken = 0;
    if (m_output.empty()) {
        const ssize_t w = WriteSome(m_fd, bytes, static_cast<std::size_t>(count));
        if (w < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return closedCode();
        taken = w > 0 ? static_cast<int>(w) : 0;
    }
    if (taken < count) {
        m_output.append(bytes + taken, static_cast<std::size_t>(count - taken));
        m_watch.wantWrite(true);
    }
    return count;
}

int FdTransport::available() const {
    int queued = 0;
    if (!isOpen() || ioctl(m_fd, FIONREAD, &queued) != 0) return 0;
    return std::min(queued, queueLimit());
}

int FdTransport::read(char *into, int max) {
    if (!isOpen() || max <= 0) return 0;
    const ssize_t n = ::read(m_fd, into, static_cast<std::size_t>(std::min(max, queueLimit())));
    return n > 0 ? static_cast<int>(n) : 0;
}

void FdTransport::ready(unsigned events) {
    const unsigned epoch = m_epoch;
    if (events & runtime::kIoWritable) flush();
    if ((events & runtime::kIoReadable) && onReadable) onReadable();
    // The reader may have closed and opened again: the events were the earlier descriptor's.
    if (epoch != m_epoch) return;
    // What came before a close has been offered to the reader first.
    if ((events & runtime::kIoHangup) && isOpen()) lost();
}

void FdTransport::flush() {
    while (!m_output.empty() && isOpen()) {
        const ssize_t n = WriteSome(m_fd, m_output.data(), m_output.size());
        if (n <= 0) return; // the system has no room yet: the next writable event goes on
        m_output.erase(0, static_cast<std::size_t>(n));
    }
    m_watch.wantWrite(false);
}

void FdTransport::lost() {
    close();
    if (onLost) onLost();
}

} // namespace sensor
