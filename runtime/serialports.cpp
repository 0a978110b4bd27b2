// Serial port numbers and the devices behind them, and the devices present.
#include "runtime/serialports.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>
#include <algorithm>
#include <array>

namespace runtime {

namespace {

std::array<std::string, MAX_COM_PORT + 1> mappedDevices;

bool ValidPort(int port) {
    return port >= 1 && port <= MAX_COM_PORT;
}

} // namespace

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

} // namespace runtime
