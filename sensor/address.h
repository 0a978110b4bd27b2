// Where a sensor is: a serial device, or a serial-to-Ethernet server reached
// over TCP, as a person writes it ("/dev/ttyUSB0", "tcp://10.0.0.5:4001").
#pragma once

#include <string>

namespace sensor {

struct Address {
    bool tcp = false;
    std::string device; // serial: the device path
    std::string host;   // TCP: server name or address
    int port = 0;       // TCP: 1..65535

    // The device, or host:port: how messages name the place.
    std::string place() const;
    bool operator==(const Address &) const = default;
};

// Reads "tcp://HOST:PORT" or an absolute serial device path. False with the
// reason, and the form to write, in problem.
bool ParseAddress(const std::string &text, Address &address, std::string &problem);

} // namespace sensor
