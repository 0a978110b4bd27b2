// The byte stream to one sensor: a serial port or a TCP connection to a
// serial-to-Ethernet server, behind one interface. A transport belongs to one
// sensor, runs on the event loop of the thread that made it and reports what
// happens through callbacks from that loop; no call waits.
#pragma once

#include "sensor/address.h"

#include <functional>
#include <memory>
#include <string>

namespace sensor {

// Result codes of opening and writing, numbered as the run-time the programs
// were written for numbers them, since the status texts are chosen by code.
enum SerialCode : int {
    kSerialUnknownSystemError = -1,
    kSerialInvalidPort = -2,
    kSerialPortNotOpen = -3,
    kSerialIoError = -4,
    kSerialNoPortFound = -6,
    kSerialCannotOpen = -7,
    kSerialTimeout = -99,
};
enum TcpCode : int {
    kTcpUnableToEstablishConnection = -2,
    kTcpFailedToConnect = -4,
    kTcpWriteFailed = -8,
    kTcpInvalidParameter = -9,
    kTcpTimeOut = -11,
    kTcpNoConnectionEstablished = -12,
    kTcpConnectionClosed = -14,
};

// Why an open or connect failed, beyond its code.
enum class OpenFailure { None, NoSuchDevice, PermissionDenied, Busy, Refused, HostNotFound, TimedOut, Other };
struct OpenResult {
    int code = 0; // 0, or a SerialCode / TcpCode
    OpenFailure failure = OpenFailure::None;
    std::string systemText; // the system's own words
    std::string lockHolder = {}; // Busy by a lock file: the file and the live process that holds it
    std::string note = {};       // an open that worked and did more: a stale lock file taken over
};

class Transport {
  public:
    virtual ~Transport() = default;

    // Opens the port or connects to the server; done runs once, from the event
    // loop, also when the open failed at once.
    virtual void open(std::function<void(const OpenResult &)> done) = 0;
    // Closes; harmless when closed. No callback runs for it.
    virtual void close() = 0;
    virtual bool isOpen() const = 0;

    // Hands bytes to the system; the count taken, or a negative code.
    virtual int write(const char *bytes, int count) = 0;
    // Bytes received and not yet taken (a serial port holds at most its queue's size).
    virtual int available() const = 0;
    // Takes up to max received bytes; the count taken.
    virtual int read(char *into, int max) = 0;
    // Drops received bytes not yet taken, including those the system holds.
    virtual void discardInput() = 0;
    // Drops bytes not yet sent.
    virtual void discardOutput() = 0;
    // Bytes handed over by write() that have not left yet.
    virtual int pendingOutput() const = 0;

    // Runs when bytes have arrived.
    std::function<void()> onReadable;
    // Runs once when the server closed the connection or the device stopped working.
    std::function<void()> onLost;
};

// A transport for the address: serial at 19200 baud 8N1 without handshake and a
// 1024-byte input queue, or TCP without Nagle's delay and a connect time-out.
std::unique_ptr<Transport> MakeTransport(const Address &address, int connectTimeoutMs);
std::unique_ptr<Transport> MakeSerialTransport(const std::string &device);
// The lock file that serial programs of this system agree on for a device
// ("/var/lock/LCK..ttyUSB0"); "" where no lock folder may be written.
std::string SerialLockFile(const std::string &device);
std::unique_ptr<Transport> MakeTcpTransport(const std::string &host, int port, int connectTimeoutMs);

} // namespace sensor
