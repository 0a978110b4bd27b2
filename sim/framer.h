// Splits the byte stream a sensor receives into command frames.
#pragma once

#include "sim/frames.h"

#include <functional>

namespace sim {

// Cuts a byte stream into 36-byte frames that begin with the sync word 00 55.
// Bytes that cannot start a frame are handed out as garbage, so the stream
// resynchronises on the next 00 55. At most one partial frame is held.
class Framer {
  public:
    using FrameHandler = std::function<void(const Frame &)>;
    using GarbageHandler = std::function<void(const Bytes &)>;

    // Feeds received bytes; calls onFrame for each complete frame and onGarbage
    // for each run of skipped bytes, in stream order.
    void push(const std::uint8_t *data, std::size_t n, const FrameHandler &onFrame,
              const GarbageHandler &onGarbage);
    // Forgets a partial frame (the connection behind the stream has changed).
    void reset() { m_held = 0; }
    // Number of bytes of a frame begun but not yet complete.
    std::size_t pending() const { return m_held; }

  private:
    Frame m_buf{};
    std::size_t m_held = 0;
};

} // namespace sim
