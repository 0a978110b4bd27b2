#include "sim/capture.h"

#include <charconv>
#include <cstdio>

namespace sim {

std::string hexLine(const CaptureEntry &e) {
    // to_chars ignores the C library's locale: capture files keep "." decimals in any desktop language.
    char seconds[32];
    const auto end =
        std::to_chars(seconds, seconds + sizeof seconds, e.seconds, std::chars_format::fixed, 6).ptr;
    std::string line(seconds, end);
    line += e.direction == Direction::ToSensor ? " in " : " out";
    for (std::uint8_t b : e.bytes) {
        char hex[4];
        std::snprintf(hex, sizeof hex, " %02X", b);
        line += hex;
    }
    return line;
}

void Capture::add(CaptureEntry e) {
    if (m_listener) m_listener(e);
    if (m_limit == 0) return;
    while (m_entries.size() >= m_limit)
        m_entries.pop_front();
    m_entries.push_back(std::move(e));
}

void Capture::setLimit(std::size_t entries) {
    m_limit = entries;
    while (m_entries.size() > m_limit)
        m_entries.pop_front();
}

} // namespace sim
