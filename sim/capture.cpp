#include "sim/capture.h"

#include <cstdio>

namespace sim {

std::string hexLine(const CaptureEntry &e) {
    char head[48];
    std::snprintf(head, sizeof head, "%.6f %s", e.seconds,
                  e.direction == Direction::ToSensor ? "in " : "out");
    std::string line = head;
    for (std::uint8_t b : e.bytes) {
        char hex[4];
        std::snprintf(hex, sizeof hex, " %02X", b);
        line += hex;
    }
    return line;
}

void Capture::add(CaptureEntry e) {
    if (m_listener) m_listener(e);
    if (m_entries.size() >= kMaxEntries) m_entries.pop_front();
    m_entries.push_back(std::move(e));
}

} // namespace sim
