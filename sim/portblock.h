// Consecutive TCP ports for many simulated sensors, so that sensor k is found at first + k.
#pragma once

#include "sim/simsensor.h"

#include <memory>
#include <span>
#include <string>

namespace sim {

// Has sensors[k] listen on address:firstPort + k; returns the first port. firstPort 0
// picks a block of free ports: the kernel's choice for one sensor; for more, a block
// outside the range the kernel hands out to clients, whose many connections (and their
// TIME_WAIT remains) would leave no long free run inside it. Throws std::runtime_error
// when a port is taken, no block is found or the block would run past 65535.
int listenOnConsecutivePorts(std::span<const std::unique_ptr<SimSensor>> sensors, int firstPort = 0,
                             const std::string &address = "127.0.0.1");

} // namespace sim
