// A record of every byte the simulated sensor received and sent.
#pragma once

#include "sim/frames.h"

#include <deque>
#include <functional>
#include <string>

namespace sim {

enum class Direction { ToSensor, FromSensor };

// One group of bytes on the wire: a command frame, a run of garbage, or what the
// sensor sent in one piece (an answer, unsolicited bytes, an auto-sent frame).
struct CaptureEntry {
    double seconds = 0; // sensor clock when the group was complete (received) or started (sent)
    Direction direction = Direction::ToSensor;
    Bytes bytes;
};

// The entry as one text line: seconds, "in" or "out", the bytes in hex.
std::string hexLine(const CaptureEntry &e);

// Bounded record of capture entries; the oldest are dropped when it is full.
class Capture {
  public:
    static constexpr std::size_t kDefaultLimit = 100000;
    using Listener = std::function<void(const CaptureEntry &)>;

    // Records an entry and hands it to the listener.
    void add(CaptureEntry e);
    const std::deque<CaptureEntry> &entries() const { return m_entries; }
    void clear() { m_entries.clear(); }
    // Keeps at most this many entries (0: none; the listener still sees each one).
    void setLimit(std::size_t entries);
    // Called for every new entry (on the sensor's thread).
    void setListener(Listener l) { m_listener = std::move(l); }

  private:
    std::deque<CaptureEntry> m_entries;
    std::size_t m_limit = kDefaultLimit;
    Listener m_listener;
};

} // namespace sim
