#include "sim/portblock.h"

#include <fstream>
#include <random>
#include <stdexcept>
#include <vector>

namespace sim {

namespace {

struct PortRange {
    int first, last;
    int size() const { return last - first + 1; }
};

// The ports the kernel hands out to clients.
PortRange ephemeralPorts() {
    PortRange r{0, 0};
    std::ifstream("/proc/sys/net/ipv4/ip_local_port_range") >> r.first >> r.last;
    if (r.first < 1024 || r.last > 65535 || r.first > r.last) return {32768, 60999};
    return r;
}

// Where a block of `count` ports may start: outside the ephemeral range where there is
// room, else anywhere above the privileged ports.
std::vector<PortRange> blockStarts(int count) {
    const PortRange ephemeral = ephemeralPorts();
    std::vector<PortRange> starts;
    for (const PortRange r : {PortRange{1024, ephemeral.first - 1}, PortRange{ephemeral.last + 1, 65535}})
        if (r.size() >= count) starts.push_back({r.first, r.last - count + 1});
    if (starts.empty()) starts.push_back({1024, 65535 - count + 1});
    return starts;
}

// A start drawn evenly from the ranges, so that programs looking at once rarely collide.
int randomStart(const std::vector<PortRange> &starts, std::mt19937 &random) {
    int total = 0;
    for (const PortRange &r : starts)
        total += r.size();
    int pick = std::uniform_int_distribution<int>(0, total - 1)(random);
    for (const PortRange &r : starts) {
        if (pick < r.size()) return r.first + pick;
        pick -= r.size();
    }
    return starts.front().first;
}

// Has the sensors listen from `first` on; false when a port was taken.
bool tryBlock(std::span<const std::unique_ptr<SimSensor>> sensors, int first, const std::string &address) {
    try {
        for (std::size_t k = 0; k < sensors.size(); ++k)
            sensors[k]->listenTcp(first + int(k), address);
    } catch (const std::runtime_error &) {
        return false;
    }
    return true;
}

} // namespace

int listenOnConsecutivePorts(std::span<const std::unique_ptr<SimSensor>> sensors, int firstPort,
                             const std::string &address) {
    const int count = static_cast<int>(sensors.size());
    if (count == 0) return firstPort;
    if (firstPort > 65535 - (count - 1))
        throw std::runtime_error(std::to_string(count) + " ports from " + std::to_string(firstPort) +
                                 " run past 65535");
    if (firstPort != 0 || count == 1) {
        const int first = sensors[0]->listenTcp(firstPort, address);
        for (int k = 1; k < count; ++k)
            sensors[k]->listenTcp(first + k, address);
        return first;
    }
    // Any port first: a bad address fails here, so that below only taken ports fail.
    sensors[0]->listenTcp(0, address);
    // A taken port sends the next try to a new random start: one just past it would
    // crawl through a block that another sensorsim holds, a port per try.
    constexpr int kAttempts = 64;
    const std::vector<PortRange> starts = blockStarts(count);
    std::mt19937 random{std::random_device{}()};
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        const int first = randomStart(starts, random);
        if (tryBlock(sensors, first, address)) return first;
    }
    throw std::runtime_error("found no " + std::to_string(count) + " consecutive free ports on " + address);
}

} // namespace sim
