// Serial port services on QSerialPort. All calls run on the user-interface
// thread and block their caller; none of them processes events.
#include "platform/rs232.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QSerialPort>
#include <QSerialPortInfo>
#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <memory>
#include <unistd.h>

namespace {

struct ComPort {
    std::unique_ptr<QSerialPort> serial;
    int timeoutMs = 5000; // until SetComTime
    qint64 inQueueSize = 0;
};

std::array<ComPort, MAX_COM_PORT + 1> comPorts;
std::array<std::string, MAX_COM_PORT + 1> mappedDevices;
ComOpenProblem lastOpenProblem;

bool ValidPort(int port) {
    return port >= 1 && port <= MAX_COM_PORT;
}

// The open port behind a number, or nullptr; code tells why not.
QSerialPort *OpenPort(int port, int &code) {
    if (!ValidPort(port)) {
        code = COM_INVALID_PORT_NUMBER;
        return nullptr;
    }
    QSerialPort *serial = comPorts[port].serial.get();
    code = serial ? 0 : COM_PORT_NOT_OPEN;
    return serial;
}

int OpenErrorCode(QSerialPort::SerialPortError error) {
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
        return COM_NO_PORT_FOUND;
    case QSerialPort::PermissionError: // also a port that someone else holds
    case QSerialPort::OpenError:
        return COM_CANNOT_OPEN_PORT;
    default:
        return COM_UNKNOWN_SYSTEM_ERROR;
    }
}

// The port reports a device held by another program as a permission error, so
// the access rights of the device file tell the two apart.
ComOpenFailure OpenFailure(const QSerialPort &serial, const std::string &device) {
    switch (serial.error()) {
    case QSerialPort::DeviceNotFoundError:
        return ComOpenFailure::NoSuchDevice;
    case QSerialPort::PermissionError:
        if (::access(device.c_str(), R_OK | W_OK) != 0 && errno == EACCES)
            return ComOpenFailure::PermissionDenied;
        return ComOpenFailure::Busy;
    case QSerialPort::OpenError:
        return ComOpenFailure::Busy;
    default:
        return ComOpenFailure::Other;
    }
}

// Pseudo-terminals and some adapters have no modem lines; that is no reason to
// refuse the port.
void ClearUnsupported(QSerialPort &serial) {
    if (serial.error() == QSerialPort::UnsupportedOperationError) serial.clearError();
}

bool ApplySettings(QSerialPort &serial, long baudRate, int parity, int dataBits, int stopBits) {
    static constexpr QSerialPort::Parity parities[] = {QSerialPort::NoParity, QSerialPort::OddParity,
                                                       QSerialPort::EvenParity, QSerialPort::MarkParity,
                                                       QSerialPort::SpaceParity};
    if (baudRate <= 0 || baudRate > INT_MAX || parity < 0 || parity > 4 || dataBits < 5 || dataBits > 8 ||
        stopBits < 1 || stopBits > 2)
        return false;
    serial.setBaudRate(static_cast<qint32>(baudRate));
    serial.setParity(parities[parity]);
    serial.setDataBits(static_cast<QSerialPort::DataBits>(dataBits));
    serial.setStopBits(stopBits == 1 ? QSerialPort::OneStop : QSerialPort::TwoStop);
    serial.setFlowControl(QSerialPort::NoFlowControl);
    return true;
}

// Ports still open when the application object goes away are closed with it,
// while their notifiers can still be taken down.
void CloseAllPorts() {
    for (ComPort &p : comPorts)
        p.serial.reset();
}

// Moves whatever the system holds for the port into its queue, without waiting.
void TakeArrivedBytes(const ComPort &p) {
    if (p.serial->bytesAvailable() < p.inQueueSize) p.serial->waitForReadyRead(0);
}

int RemainingMs(const QDeadlineTimer &deadline) {
    return static_cast<int>(std::min<qint64>(deadline.remainingTime(), INT_MAX));
}

} // namespace

// Opens a port with the given line settings; result 0 or a ComError.
int OpenComConfig(int port, const std::string &deviceName, long baudRate, int parity, int dataBits,
                  int stopBits, int inQueueSize, int outQueueSize) {
    if (!ValidPort(port)) return COM_INVALID_PORT_NUMBER;
    // Whatever the outcome, the port is closed first: a failed open leaves it closed.
    CloseCom(port);
    if (inQueueSize <= 0 || outQueueSize < 0) return COM_INVALID_PARAMETER;
    const std::string device = deviceName.empty() ? ComPortDevice(port) : deviceName;

    auto serial = std::make_unique<QSerialPort>();
    serial->setPortName(QString::fromStdString(device));
    if (!ApplySettings(*serial, baudRate, parity, dataBits, stopBits)) return COM_INVALID_PARAMETER;
    // The queue never holds more than its size; the rest waits in the system.
    serial->setReadBufferSize(inQueueSize);
    if (!serial->open(QIODevice::ReadWrite)) {
        lastOpenProblem = {OpenFailure(*serial, device), device, serial->errorString().toStdString()};
        return OpenErrorCode(serial->error());
    }
    serial->setDataTerminalReady(true);
    ClearUnsupported(*serial);
    serial->setRequestToSend(true);
    ClearUnsupported(*serial);

    static bool cleanupRegistered = false;
    if (!cleanupRegistered && QCoreApplication::instance()) {
        qAddPostRoutine(CloseAllPorts);
        cleanupRegistered = true;
    }
    comPorts[port] = ComPort{std::move(serial)};
    comPorts[port].inQueueSize = inQueueSize;
    return 0;
}

// Closes a port; harmless when it is not open.
int CloseCom(int port) {
    if (!ValidPort(port)) return COM_INVALID_PORT_NUMBER;
    comPorts[port].serial.reset();
    return 0;
}

// Sets the time-out of single reads and writes.
int SetComTime(int port, double seconds) {
    int code = 0;
    if (!OpenPort(port, code)) return code;
    if (!(seconds >= 0.0 && seconds <= INT_MAX / 1000.0)) return COM_INVALID_PARAMETER;
    comPorts[port].timeoutMs = static_cast<int>(seconds * 1000.0 + 0.5);
    return 0;
}

// Switches the hardware handshake: 0 none, 1 RTS/CTS.
int SetCTSMode(int port, int mode) {
    int code = 0;
    QSerialPort *serial = OpenPort(port, code);
    if (!serial) return code;
    if (mode != 0 && mode != 1) return COM_INVALID_PARAMETER;
    if (!serial->setFlowControl(mode ? QSerialPort::HardwareControl : QSerialPort::NoFlowControl)) {
        serial->clearError();
        return COM_UNKNOWN_IO_ERROR;
    }
    return 0;
}

// Drops all received bytes that have not been read, including those the system holds.
int FlushInQ(int port) {
    int code = 0;
    QSerialPort *serial = OpenPort(port, code);
    if (!serial) return code;
    serial->clear(QSerialPort::Input);
    ClearUnsupported(*serial);
    return 0;
}

// Drops all bytes that are waiting to be sent.
int FlushOutQ(int port) {
    int code = 0;
    QSerialPort *serial = OpenPort(port, code);
    if (!serial) return code;
    serial->clear(QSerialPort::Output);
    ClearUnsupported(*serial);
    return 0;
}

// Number of received bytes in the input queue (at most its size), or a ComError.
int GetInQLen(int port) {
    int code = 0;
    QSerialPort *serial = OpenPort(port, code);
    if (!serial) return code;
    // The port only moves bytes into its queue while events run; a wait loop must
    // see them at once, so take what has arrived now.
    TakeArrivedBytes(comPorts[port]);
    qint64 queued = serial->bytesAvailable();
    if (queued == 0 && serial->error() == QSerialPort::ResourceError) {
        serial->clearError();
        return COM_UNKNOWN_IO_ERROR;
    }
    serial->clearError();
    return static_cast<int>(std::min(queued, comPorts[port].inQueueSize));
}

// Writes count bytes, waiting up to the port's time-out for them to leave;
// result: bytes written, or a ComError.
int ComWrt(int port, const char *buffer, int count) {
    int code = 0;
    QSerialPort *serial = OpenPort(port, code);
    if (!serial) return code;
    if (count < 0 || (count > 0 && !buffer)) return COM_INVALID_PARAMETER;
    if (count == 0) return 0;
    if (serial->write(buffer, count) != count) {
        serial->clearError();
        return COM_UNKNOWN_IO_ERROR;
    }
    QDeadlineTimer deadline(comPorts[port].timeoutMs);
    while (serial->bytesToWrite() > 0 && !deadline.hasExpired()) {
        if (!serial->waitForBytesWritten(RemainingMs(deadline)) && serial->error() != QSerialPort::NoError &&
            serial->error() != QSerialPort::TimeoutError)
            break;
    }
    serial->clearError();
    qint64 sent = count - serial->bytesToWrite();
    return sent > 0 ? static_cast<int>(sent) : COM_TIMEOUT;
}

// Reads count bytes, waiting up to the port's time-out; result: bytes read (fewer
// when the time ran out), COM_TIMEOUT when none came, or another ComError.
int ComRd(int port, char *buffer, int count) {
    int code = 0;
    QSerialPort *serial = OpenPort(port, code);
    if (!serial) return code;
    if (count < 0 || (count > 0 && !buffer)) return COM_INVALID_PARAMETER;
    QDeadlineTimer deadline(comPorts[port].timeoutMs);
    int got = 0;
    bool failed = false;
    while (got < count) {
        qint64 n = serial->read(buffer + got, count - got);
        if (n > 0) got += static_cast<int>(n);
        if (got == count || deadline.hasExpired() || failed) break;
        if (!serial->waitForReadyRead(RemainingMs(deadline)))
            failed = serial->error() != QSerialPort::NoError && serial->error() != QSerialPort::TimeoutError;
    }
    serial->clearError();
    if (got > 0 || count == 0) return got;
    return failed ? COM_UNKNOWN_IO_ERROR : COM_TIMEOUT;
}

// The platform's device for a port number, "" outside the known range.
std::string ComPortDeviceName(int port) {
    if (!ValidPort(port)) return {};
#ifdef Q_OS_WIN
    return "COM" + std::to_string(port);
#else
    static const char *const families[] = {"/dev/ttyS", "/dev/ttyUSB", "/dev/ttyACM"};
    return families[(port - 1) / 16] + std::to_string((port - 1) % 16);
#endif
}

std::string ComPortDevice(int port) {
    if (!ValidPort(port)) return {};
    return mappedDevices[port].empty() ? ComPortDeviceName(port) : mappedDevices[port];
}

ComOpenProblem LastComOpenProblem() {
    return lastOpenProblem;
}

// Lists the devices with the by-id names that point at them.
std::vector<SerialDeviceInfo> ListSerialDevices() {
    std::vector<SerialDeviceInfo> devices;
    const QFileInfoList byId = QDir("/dev/serial/by-id").entryInfoList(QDir::System | QDir::Files);
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        SerialDeviceInfo d{info.systemLocation().toStdString(),
                           info.description().toStdString(),
                           info.manufacturer().toStdString(),
                           info.serialNumber().toStdString(),
                           {}};
        for (const QFileInfo &link : byId)
            if (link.canonicalFilePath() == info.systemLocation())
                d.byIdPath = link.absoluteFilePath().toStdString();
        devices.push_back(std::move(d));
    }
    std::sort(devices.begin(), devices.end(),
              [](const SerialDeviceInfo &a, const SerialDeviceInfo &b) { return a.device < b.device; });
    return devices;
}

bool SerialDeviceExists(const std::string &device) {
    return !device.empty() && QFileInfo::exists(QString::fromStdString(device));
}

// Puts a device of the caller's choice behind a port number ("" removes it).
void MapComPort(int port, const std::string &device) {
    if (ValidPort(port)) mappedDevices[port] = device;
}
