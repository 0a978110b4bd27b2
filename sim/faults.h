// Faults the simulated sensor injects into its answers on request.
#pragma once

#include "sim/frames.h"

#include <optional>
#include <string>

namespace sim {

enum class FaultKind {
    NoAnswer,         // stays silent
    ShortAnswer,      // only the first 35 bytes
    LongAnswer,       // one byte too many (37 bytes)
    WrongMarker,      // 00 AB instead of 00 AA
    WrongCommand,     // echoed command code + 1
    CorruptEcho,      // one byte of the answer inverted (byteIndex)
    Delay,            // answer after delayMs
    CloseConnection,  // the server closes the TCP connection instead of answering (a pseudo-terminal stays
                      // silent)
    UnsolicitedBytes, // extra bytes sent before the answer
};

// A fault and the frames it hits.
struct Fault {
    static constexpr int kAnyCommand = -1;
    // Matches the frames auto-send puts out (no received frame carries this code).
    static constexpr int kAutoSendFrames = 0x10000;

    FaultKind kind = FaultKind::NoAnswer;
    int command = kAnyCommand; // command code whose answers are hit
    int frame = 0;             // hit only the n-th command frame received after arming (1 = next); 0 = any
    bool persistent = false;   // false: removed after it hit once
    int delayMs = 500;         // Delay: how late the answer comes
    std::size_t byteIndex = 4; // CorruptEcho: which answer byte (4 = first word after the command)
    Bytes unsolicited{0xFF, 0xFF}; // UnsolicitedBytes: what comes before the answer
};

// What goes on the wire in reply to one frame once the faults have been applied.
struct ReplyPlan {
    Bytes before; // sent at once
    Bytes answer; // sent after delayMs; empty for no answer
    int delayMs = 0;
    bool close = false; // close the connection (after delayMs) instead of answering
};

// The armed faults.
class FaultTable {
  public:
    // Arms a fault; `framesSoFar` is the number of command frames received until now.
    void add(const Fault &f, long framesSoFar);
    // Disarms every fault.
    void clear() { m_armed.clear(); }
    bool empty() const { return m_armed.empty(); }
    // Applies the faults that hit the answer to command `command`, received as frame
    // number `frameNumber` (use Fault::kAutoSendFrames and 0 for an auto-sent frame);
    // one-shot faults that hit are removed.
    ReplyPlan apply(int command, long frameNumber, Bytes answer);

  private:
    struct Armed {
        Fault fault;
        long targetFrame; // absolute frame number, 0 = any
    };
    static bool hits(const Armed &a, int command, long frameNumber);
    std::vector<Armed> m_armed;
};

// Parses a fault from text, as sensorsim takes it:
//   KIND[:cmd=N][:frame=N][:auto][:always][:ms=N][:byte=N]
// KIND is one of silent, short, long, marker, command, corrupt, delay, close, unsolicited.
// Returns nothing and sets *error on bad text.
std::optional<Fault> parseFault(const std::string &text, std::string *error);

} // namespace sim
