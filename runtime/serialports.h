// Serial port numbers and the devices behind them. Ports are numbered from 1; a
// number maps to a device (ComPortDeviceName) unless a test has mapped it
// elsewhere. The port itself is opened by the sensor's serial transport.
#pragma once

#include <string>
#include <vector>

namespace runtime {

constexpr int MAX_COM_PORT = 48;

// The device behind a port number on this platform: 1-16 /dev/ttyS0-15,
// 17-32 /dev/ttyUSB0-15, 33-48 /dev/ttyACM0-15 (COMn on Windows); "" outside.
std::string ComPortDeviceName(int port);
// The device a port number opens: the one mapped to it, else ComPortDeviceName.
std::string ComPortDevice(int port);

// A serial device present on this machine.
struct SerialDeviceInfo {
    std::string device; // system location, e.g. /dev/ttyUSB0
    std::string description;
    std::string manufacturer;
    std::string serialNumber;
    std::string byIdPath; // its stable /dev/serial/by-id name, "" when it has none
};
// The serial devices present now, in the order of their device names.
std::vector<SerialDeviceInfo> ListSerialDevices();
// Whether a device path names something that exists now.
bool SerialDeviceExists(const std::string &device);

// Lets tests (and the simulated sensor) put any device, e.g. a pseudo-terminal,
// behind a port number. An empty device removes the mapping.
void MapComPort(int port, const std::string &device);

} // namespace runtime
