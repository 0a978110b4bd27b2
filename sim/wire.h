// The POSIX ends of the simulated sensor's two transports.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace sim {

// Opens a non-blocking listening TCP socket on address:port (port 0 picks a free port)
// and stores the port it got in boundPort. Throws std::runtime_error on failure.
int openTcpListener(const std::string &address, int port, int &boundPort);

// Accepts a waiting client as a non-blocking socket with Nagle's algorithm off;
// -1 when none is waiting.
int acceptClient(int listenFd);

// A pseudo-terminal: the sensor works on the master, a program opens `path`.
struct PtyDevice {
    int master = -1;
    int slave = -1; // kept open so the master never sees a hang-up between program runs
    std::string path;
};

// Opens a pseudo-terminal with both ends in raw mode. Throws std::runtime_error on failure.
PtyDevice openPtyDevice();

// Writes what the descriptor takes without blocking: bytes written, 0 when it would
// block, -1 when the far end is gone.
long writeSome(int fd, bool isSocket, const std::uint8_t *data, std::size_t n);

// Closes a descriptor if open and marks it closed.
void closeFd(int &fd);

} // namespace sim
