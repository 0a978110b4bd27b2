#include "sim/framer.h"

namespace sim {

void Framer::push(const std::uint8_t *data, std::size_t n, const FrameHandler &onFrame,
                  const GarbageHandler &onGarbage) {
    Bytes garbage;
    auto flushGarbage = [&] {
        if (!garbage.empty()) onGarbage(garbage);
        garbage.clear();
    };
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t b = data[i];
        if (m_held == 0) {
            // Only 0x00 can open a frame.
            if (b == 0x00) {
                m_buf[m_held++] = b;
            } else {
                garbage.push_back(b);
            }
            continue;
        }
        if (m_held == 1 && b != 0x55) {
            // 00 not followed by 55: the 00 was garbage, but this byte may open a frame.
            garbage.push_back(0x00);
            m_held = 0;
            if (b == 0x00) {
                m_buf[m_held++] = b;
            } else {
                garbage.push_back(b);
            }
            continue;
        }
        m_buf[m_held++] = b;
        if (m_held == kFrameBytes) {
            flushGarbage();
            onFrame(m_buf);
            m_held = 0;
        }
    }
    flushGarbage();
}

} // namespace sim
