// The serial transport on QSerialPort.
#include "sensor/transport.h"

#include <QSerialPort>
#include <QTimer>

#include <cerrno>
#include <unistd.h>

namespace sensor {
namespace {

constexpr qint32 kBaudRate = 19200;
constexpr qint64 kInputQueueBytes = 1024;

// A device held by another program is reported as a permission error, so the
// access rights of the device file tell the two apart.
OpenFailure FailureOf(const QSerialPort &port, const std::string &device) {
    switch (port.error()) {
    case QSerialPort::DeviceNotFoundError:
        return OpenFailure::NoSuchDevice;
    case QSerialPort::PermissionError:
        if (::access(device.c_str(), R_OK | W_OK) != 0 && errno == EACCES) return OpenFailure::PermissionDenied;
        return OpenFailure::Busy;
    case QSerialPort::OpenError:
        return OpenFailure::Busy;
    default:
        return OpenFailure::Other;
    }
}

int CodeOf(QSerialPort::SerialPortError error) {
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
        return kSerialNoPortFound;
    case QSerialPort::PermissionError:
    case QSerialPort::OpenError:
        return kSerialCannotOpen;
    default:
        return kSerialUnknownSystemError;
    }
}

// Pseudo-terminals and some adapters have no modem lines; that is no reason to
// refuse the port.
void ClearUnsupported(QSerialPort &port) {
    if (port.error() == QSerialPort::UnsupportedOperationError) port.clearError();
}

class SerialTransport final : public Transport {
  public:
    explicit SerialTransport(std::string device) : m_device(std::move(device)) {}
    ~SerialTransport() override { close(); }

    void open(std::function<void(const OpenResult &)> done) override {
        close();
        auto port = new QSerialPort;
        port->setPortName(QString::fromStdString(m_device));
        port->setBaudRate(kBaudRate);
        port->setParity(QSerialPort::NoParity);
        port->setDataBits(QSerialPort::Data8);
        port->setStopBits(QSerialPort::OneStop);
        port->setFlowControl(QSerialPort::NoFlowControl);
        // The queue never holds more than its size; the rest waits in the system.
        port->setReadBufferSize(kInputQueueBytes);
        OpenResult result;
        if (m_device.empty()) {
            result = {kSerialInvalidPort, OpenFailure::NoSuchDevice, "no device given"};
            delete port;
        } else if (!port->open(QIODevice::ReadWrite)) {
            result = {CodeOf(port->error()), FailureOf(*port, m_device), port->errorString().toStdString()};
            delete port;
        } else {
            port->setDataTerminalReady(true);
            ClearUnsupported(*port);
            port->setRequestToSend(true);
            ClearUnsupported(*port);
            port->clear(QSerialPort::AllDirections);
            ClearUnsupported(*port);
            QObject::connect(port, &QSerialPort::readyRead, [this] {
                if (onReadable) onReadable();
            });
            QObject::connect(port, &QSerialPort::errorOccurred, [this](QSerialPort::SerialPortError e) {
                if (e == QSerialPort::ResourceError) Lost();
            });
            m_port = port;
        }
        // The outcome is told from the event loop, as a connect's is.
        QTimer::singleShot(0, &m_guard, [done = std::move(done), result] { done(result); });
    }

    void close() override {
        if (!m_port) return;
        QSerialPort *port = m_port;
        m_port = nullptr;
        QObject::disconnect(port, nullptr, nullptr, nullptr);
        port->close();
        // The port may be closed from inside one of its own signals.
        port->deleteLater();
    }

    bool isOpen() const override { return m_port != nullptr; }

    int write(const char *bytes, int count) override {
        if (!m_port) return kSerialPortNotOpen;
        const qint64 written = m_port->write(bytes, count);
        if (written < 0) {
            if (m_port) m_port->clearError(); // a device that went away has closed the port meanwhile
            return kSerialIoError;
        }
        return static_cast<int>(written);
    }

    int available() const override {
        return m_port ? static_cast<int>(std::min(m_port->bytesAvailable(), kInputQueueBytes)) : 0;
    }

    int read(char *into, int max) override {
        if (!m_port || max <= 0) return 0;
        const qint64 n = m_port->read(into, max);
        return n > 0 ? static_cast<int>(n) : 0;
    }

    void discardInput() override { Discard(QSerialPort::Input); }
    void discardOutput() override { Discard(QSerialPort::Output); }

  private:
    void Discard(QSerialPort::Directions directions) {
        if (!m_port) return;
        m_port->clear(directions);
        // A device that went away is reported from inside clear(), and its port closed.
        if (m_port) ClearUnsupported(*m_port);
    }

    void Lost() {
        close();
        if (onLost) onLost();
    }

    std::string m_device;
    QSerialPort *m_port = nullptr;
    QObject m_guard; // ends a pending report of an open when the transport goes
};

} // namespace

std::unique_ptr<Transport> MakeSerialTransport(const std::string &device) {
    return std::make_unique<SerialTransport>(device);
}

} // namespace sensor
