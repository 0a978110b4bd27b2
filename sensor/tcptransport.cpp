// The TCP transport to a serial-to-Ethernet server: the name looked up without
// waiting, a non-blocking connect with its own time-out, no Nagle delay.
#include "runtime/utility.h"
#include "sensor/fdtransport.h"

#include "runtime/timers.h"

#include <QHostAddress>
#include <QHostInfo>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace sensor {
namespace {

constexpr int kQueueLimit =
    1 << 20; // what is awaited is taken at once; the rest is dropped or kept streaming

OpenResult ConnectError(int error) {
    const std::string text = runtime::SystemErrorText(error);
    switch (error) {
    case ECONNREFUSED:
        return {kTcpUnableToEstablishConnection, OpenFailure::Refused, text};
    case ETIMEDOUT:
        return {kTcpTimeOut, OpenFailure::TimedOut, text};
    default:
        return {kTcpFailedToConnect, OpenFailure::Other, text};
    }
}

class TcpTransport final : public FdTransport {
  public:
    TcpTransport(std::string host, int port, int connectTimeoutMs)
        : m_host(std::move(host)), m_port(port), m_connectTimeoutMs(connectTimeoutMs) {}

    void open(std::function<void(const OpenResult &)> done) override {
        close();
        if (m_host.empty() || m_port < 1 || m_port > 65535)
            return report(std::move(done),
                          {kTcpInvalidParameter, OpenFailure::Other, "no server name or port"});
        m_opening = std::move(done);
        ++m_attempt;
        m_connectDeadline.setHandler([this] {
            if (m_opening) opened({kTcpTimeOut, OpenFailure::TimedOut, "no connection in time"});
        });
        m_connectDeadline.start(std::chrono::milliseconds(m_connectTimeoutMs));
        const QHostAddress numeric(QString::fromStdString(m_host));
        if (!numeric.isNull()) return connectTo(numeric);
        QHostInfo::lookupHost(QString::fromStdString(m_host), &m_guard,
                              [this, attempt = m_attempt](const QHostInfo &info) {
                                  if (attempt != m_attempt || !m_opening) return;
                                  if (info.addresses().isEmpty())
                                      return opened({kTcpFailedToConnect, OpenFailure::HostNotFound,
                                                     info.errorString().toStdString()});
                                  connectTo(info.addresses().first());
                              });
    }

    void close() override {
        ++m_attempt;
        m_opening = nullptr;
        m_connectDeadline.stop();
        FdTransport::close();
    }

    void discardInput() override {
        char scratch[1024];
        // A short read has taken everything there was.
        while (isOpen() && ::recv(m_fd, scratch, sizeof scratch, MSG_DONTWAIT) == ssize_t(sizeof scratch)) {
        }
    }

  private:
    int queueLimit() const override { return kQueueLimit; }
    int closedCode() const override { return kTcpNoConnectionEstablished; }

    void connectTo(const QHostAddress &address) {
        sockaddr_storage to{};
        socklen_t length = 0;
        if (address.protocol() == QAbstractSocket::IPv6Protocol) {
            auto &a6 = reinterpret_cast<sockaddr_in6 &>(to);
            a6.sin6_family = AF_INET6;
            a6.sin6_port = htons(static_cast<uint16_t>(m_port));
            const Q_IPV6ADDR bytes = address.toIPv6Address();
            std::memcpy(&a6.sin6_addr, &bytes, sizeof a6.sin6_addr);
            length = sizeof a6;
        } else {
            auto &a4 = reinterpret_cast<sockaddr_in &>(to);
            a4.sin_family = AF_INET;
            a4.sin_port = htons(static_cast<uint16_t>(m_port));
            a4.sin_addr.s_addr = htonl(address.toIPv4Address());
            length = sizeof a4;
        }
        const int fd = ::socket(to.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) return opened(ConnectError(errno));
        // Frames are small and every exchange waits for its answer.
        const int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        std::string problem;
        if (!adopt(fd, problem)) return opened({kTcpFailedToConnect, OpenFailure::Other, problem});
        if (::connect(fd, reinterpret_cast<sockaddr *>(&to), length) == 0) return opened({});
        if (errno != EINPROGRESS) return opened(ConnectError(errno));
        m_watch.wantWrite(true); // the connect's outcome comes as room to write
    }

    void ready(unsigned events) override {
        if (!m_opening) return FdTransport::ready(events);
        if (!(events & (runtime::kIoWritable | runtime::kIoHangup))) return;
        int error = 0;
        socklen_t size = sizeof error;
        getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &size);
        m_watch.wantWrite(false);
        opened(error == 0 ? OpenResult{} : ConnectError(error));
    }

    // Reports the end of a connect once; a failed one leaves nothing open.
    void opened(const OpenResult &result) {
        auto done = std::move(m_opening);
        m_opening = nullptr;
        m_connectDeadline.stop();
        if (!done) return;
        if (result.code == 0) {
            m_open = true;
            // Never inside open(): a connect that succeeded at once is told from the loop too.
            return report(std::move(done), result);
        }
        close();
        report(std::move(done), result);
    }

    std::string m_host;
    int m_port;
    int m_connectTimeoutMs;
    unsigned m_attempt = 0;
    runtime::LoopTimer m_connectDeadline;
    std::function<void(const OpenResult &)> m_opening;
};

} // namespace

std::unique_ptr<Transport> MakeTcpTransport(const std::string &host, int port, int connectTimeoutMs) {
    return std::make_unique<TcpTransport>(host, port, connectTimeoutMs);
}

} // namespace sensor
