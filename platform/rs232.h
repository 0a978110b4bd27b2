// Serial port services on QSerialPort. Ports are numbered from 1; a number maps
// to a device (ComPortDeviceName) unless a test has mapped it elsewhere.
#pragma once

#include <string>
#include <vector>

// Error codes of the serial services.
enum ComError : int {
    COM_UNKNOWN_SYSTEM_ERROR = -1,
    COM_INVALID_PORT_NUMBER = -2,
    COM_PORT_NOT_OPEN = -3,
    COM_UNKNOWN_IO_ERROR = -4,
    COM_INTERNAL_ERROR = -5,
    COM_NO_PORT_FOUND = -6,
    COM_CANNOT_OPEN_PORT = -7,
    COM_INVALID_PARAMETER = -8, // a setting, count or buffer that cannot be used
    COM_TIMEOUT = -99,
};

constexpr int MAX_COM_PORT = 48;

// Opens a port (deviceName "" = the device of the port number). Parity 0 none,
// 1 odd, 2 even. The input queue holds at most inQueueSize bytes.
// Result 0, or a ComError.
int OpenComConfig(int port, const std::string &deviceName, long baudRate, int parity, int dataBits,
                  int stopBits, int inQueueSize, int outQueueSize);
int CloseCom(int port);                   // harmless on a closed port
int SetComTime(int port, double seconds); // time-out of single reads and writes
int SetCTSMode(int port, int mode);       // 0 = no hardware handshake, 1 = RTS/CTS
int FlushInQ(int port);
int FlushOutQ(int port);
int GetInQLen(int port); // bytes that have arrived, at most the queue size; or a ComError
// Writes count bytes; result: bytes written, or a ComError.
int ComWrt(int port, const char *buffer, int count);
// Reads count bytes, waiting up to the port's time-out; result: bytes read (fewer
// when the time ran out), COM_TIMEOUT when none came, or another ComError.
int ComRd(int port, char *buffer, int count);

// The device behind a port number on this platform: 1-16 /dev/ttyS0-15,
// 17-32 /dev/ttyUSB0-15, 33-48 /dev/ttyACM0-15 (COMn on Windows); "" outside.
std::string ComPortDeviceName(int port);
// The device a port number opens: the one mapped to it, else ComPortDeviceName.
std::string ComPortDevice(int port);

// Why the last failed OpenComConfig failed, beyond its code.
enum class ComOpenFailure { None, NoSuchDevice, PermissionDenied, Busy, Other };
struct ComOpenProblem {
    ComOpenFailure failure = ComOpenFailure::None;
    std::string device;     // the device it tried to open
    std::string systemText; // the system's own words
};
ComOpenProblem LastComOpenProblem();

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
