// A 19200-baud serial line for the benchmarks: the program opens one end of a
// pseudo-terminal, the simulated sensor listens on its own, and two threads
// relay the bytes between them, each byte in either direction taking its wire
// time. So a figure measured through it can be held against the real line's floor.
#pragma once

#include "bench/benchtable.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace bench {

class PacedLine {
  public:
    // Connects a new pseudo-terminal to the sensor's device; throws when one cannot be opened.
    explicit PacedLine(const std::string &sensorDevice) {
        m_program = posix_openpt(O_RDWR | O_NOCTTY);
        if (m_program < 0 || grantpt(m_program) != 0 || unlockpt(m_program) != 0)
            throw std::runtime_error("no pseudo-terminal");
        m_programDevice = ptsname(m_program);
        m_sensor = open(sensorDevice.c_str(), O_RDWR | O_NOCTTY);
        if (m_sensor < 0) throw std::runtime_error("cannot open " + sensorDevice);
        MakeRaw(m_program);
        MakeRaw(m_sensor);
        m_toSensor = std::thread([this] { Relay(m_program, m_sensor); });
        m_toProgram = std::thread([this] { Relay(m_sensor, m_program); });
    }

    ~PacedLine() {
        m_stop = true;
        m_toSensor.join();
        m_toProgram.join();
        close(m_sensor);
        close(m_program);
    }

    PacedLine(const PacedLine &) = delete;
    PacedLine &operator=(const PacedLine &) = delete;

    // The device the program opens as its serial port.
    const std::string &programDevice() const { return m_programDevice; }

  private:
    static void MakeRaw(int fd) {
        termios tio{};
        tcgetattr(fd, &tio);
        cfmakeraw(&tio);
        tcsetattr(fd, TCSANOW, &tio);
    }

    // Passes bytes from one end to the other, none sooner than the line has carried the one before.
    void Relay(int from, int to) {
        using Clock = std::chrono::steady_clock;
        const auto byteTime =
            std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(kByteSeconds));
        Clock::time_point lineFree = Clock::now();
        while (!m_stop) {
            pollfd p{from, POLLIN, 0};
            if (poll(&p, 1, 20) <= 0) continue;
            unsigned char buffer[64];
            const ssize_t n = (p.revents & POLLIN) ? read(from, buffer, sizeof buffer) : -1;
            if (n <= 0) { // the far end is closed for now: wait for it to open again
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                continue;
            }
            // Bytes that queue up follow each other back to back, however late the thread wakes.
            lineFree = std::max(lineFree, Clock::now());
            for (ssize_t i = 0; i < n; ++i) {
                lineFree += byteTime;
                std::this_thread::sleep_until(lineFree);
                if (write(to, &buffer[i], 1) != 1) break;
            }
        }
    }

    int m_program = -1;
    int m_sensor = -1;
    std::string m_programDevice;
    std::atomic<bool> m_stop{false};
    std::thread m_toSensor;
    std::thread m_toProgram;
};

} // namespace bench
