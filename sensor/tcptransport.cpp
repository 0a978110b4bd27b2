// The TCP transport on QTcpSocket, for serial-to-Ethernet servers.
#include "sensor/transport.h"

#include <QTcpSocket>
#include <QTimer>

namespace sensor {
namespace {

OpenResult ResultOf(const QTcpSocket &socket) {
    switch (socket.error()) {
    case QAbstractSocket::ConnectionRefusedError:
        return {kTcpUnableToEstablishConnection, OpenFailure::Refused, socket.errorString().toStdString()};
    case QAbstractSocket::HostNotFoundError:
        return {kTcpFailedToConnect, OpenFailure::HostNotFound, socket.errorString().toStdString()};
    case QAbstractSocket::SocketTimeoutError:
        return {kTcpTimeOut, OpenFailure::TimedOut, socket.errorString().toStdString()};
    default:
        return {kTcpFailedToConnect, OpenFailure::Other, socket.errorString().toStdString()};
    }
}

class TcpTransport final : public Transport {
  public:
    TcpTransport(std::string host, int port, int connectTimeoutMs)
        : m_host(std::move(host)), m_port(port), m_connectTimeoutMs(connectTimeoutMs) {
        // A timer of the transport's own: one tied to the socket would outlive the
        // transport while the socket waits for its deferred delete.
        m_connectTimer.setSingleShot(true);
        QObject::connect(&m_connectTimer, &QTimer::timeout, [this] {
            Opened({kTcpTimeOut, OpenFailure::TimedOut, "connection timed out"});
        });
    }
    ~TcpTransport() override { close(); }

    void open(std::function<void(const OpenResult &)> done) override {
        close();
        if (m_host.empty() || m_port < 1 || m_port > 65535) {
            const OpenResult invalid{kTcpInvalidParameter, OpenFailure::Other, "no server name or port"};
            QTimer::singleShot(0, &m_guard, [done = std::move(done), invalid] { done(invalid); });
            return;
        }
        auto socket = new QTcpSocket;
        m_socket = socket;
        m_connected = false;
        m_opening = std::move(done);
        QObject::connect(socket, &QTcpSocket::connected, [this] {
            m_connected = true;
            // Frames are small and every exchange waits for its answer.
            m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
            Opened({});
        });
        QObject::connect(socket, &QTcpSocket::errorOccurred, [this](QAbstractSocket::SocketError) {
            if (!m_connected) Opened(ResultOf(*m_socket));
        });
        QObject::connect(socket, &QTcpSocket::readyRead, [this] {
            if (onReadable) onReadable();
        });
        QObject::connect(socket, &QTcpSocket::disconnected, [this] {
            if (!m_connected) return;
            // What came before the close stays readable; only further writes fail.
            m_connected = false;
            if (onLost) onLost();
        });
        m_connectTimer.start(m_connectTimeoutMs);
        socket->connectToHost(QString::fromStdString(m_host), static_cast<quint16>(m_port));
    }

    void close() override {
        m_connectTimer.stop();
        m_opening = nullptr;
        m_connected = false;
        if (!m_socket) return;
        QTcpSocket *socket = m_socket;
        m_socket = nullptr;
        QObject::disconnect(socket, nullptr, nullptr, nullptr);
        socket->abort();
        // The socket may be closed from inside one of its own signals.
        socket->deleteLater();
    }

    bool isOpen() const override { return m_socket && m_connected; }

    int write(const char *bytes, int count) override {
        if (!m_socket || !m_connected) return kTcpNoConnectionEstablished;
        const qint64 written = m_socket->write(bytes, count);
        return written < 0 ? kTcpWriteFailed : static_cast<int>(written);
    }

    int available() const override { return m_socket ? static_cast<int>(m_socket->bytesAvailable()) : 0; }

    int read(char *into, int max) override {
        if (!m_socket || max <= 0) return 0;
        const qint64 n = m_socket->read(into, max);
        return n > 0 ? static_cast<int>(n) : 0;
    }

    void discardInput() override {
        if (m_socket) m_socket->skip(m_socket->bytesAvailable());
    }

    void discardOutput() override {}

  private:
    // Reports the end of a connect once; a failed one leaves nothing open.
    void Opened(const OpenResult &result) {
        m_connectTimer.stop();
        auto done = std::move(m_opening);
        m_opening = nullptr;
        if (!done) return;
        if (result.code != 0) close();
        done(result);
    }

    std::string m_host;
    int m_port;
    int m_connectTimeoutMs;
    QTcpSocket *m_socket = nullptr;
    bool m_connected = false;
    std::function<void(const OpenResult &)> m_opening;
    QTimer m_connectTimer;
    QObject m_guard; // ends a pending report of a refused open when the transport goes
};

} // namespace

std::unique_ptr<Transport> MakeTcpTransport(const std::string &host, int port, int connectTimeoutMs) {
    return std::make_unique<TcpTransport>(host, port, connectTimeoutMs);
}

} // namespace sensor
