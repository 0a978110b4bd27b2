// Modbus TCP as the gateway serves it: one unit id per sensor, each with the same
// read-only table of holding registers (function 3), which function 4 reads as
// input registers too. Registers are computed when read, from the sensor's latest
// sample, so the sample's age is current.
//
//   register  content
//    0        CH_L                    live values of the latest sample
//    1        CH_C
//    2        CH_R
//    3        DENS
//    4        SYM1
//    5        SYM2
//    6        VECTOR
//    7        TRIGGER
//    8        TEMP_raw                the raw temperature word
//    9        sequence, high word     the sample's sequence number, 32 bits
//   10        sequence, low word
//   11        age                     since the sample was taken, in 100 ms (65535 = longer)
//   12        state                   1 = online (an offline sensor answers exception 0x0B)
//
// Exceptions: 0x01 any function but 3 and 4 (writes included: nothing is ever
// written to a sensor), 0x02 a range beyond register 12, 0x03 a quantity outside
// 1..125, 0x0A a unit id that no sensor has, 0x0B a sensor that is offline or has
// not answered yet. A request that breaks the framing (protocol id not 0, a length
// outside 2..253, a read whose PDU is not 5 bytes) is no request at all.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace gateway {

using SteadyTime = std::chrono::steady_clock::time_point;

constexpr int kLiveValues = 8; // CH_L, CH_C, CH_R, DENS, SYM1, SYM2, VECTOR, TRIGGER
constexpr int kRegisterCount = 13;
constexpr int kMaxReadQuantity = 125;
constexpr std::size_t kMaxAduBytes = 6 + 253; // the length field counts the unit and at most 252 PDU bytes

// What the table of one unit is made from: the sensor's state and latest sample.
struct UnitSnapshot {
    bool online = false; // false also before the sensor's first answer
    std::array<uint16_t, kLiveValues> live{};
    uint16_t tempRaw = 0;
    uint32_t sequence = 0;
    SteadyTime takenAt{};
};

// What the Modbus server counts, for the metrics.
struct ModbusCounters {
    int64_t requests = 0;   // well-formed requests answered
    int64_t exceptions = 0; // of those, answered with an exception
    int64_t closed = 0;     // connections closed for a malformed request or unread answers
    int64_t refused = 0;    // connections from clients outside [modbus] allow, closed at once
    int64_t evicted = 0;    // connections idle longest, closed to take a new one when full
    int64_t timedOut = 0;   // connections idle, or with a request unfinished, for too long
    int open = 0;           // connections open now
};

// The snapshot of a unit id, or nullptr when no sensor has that unit.
using UnitLookup = std::function<const UnitSnapshot *(uint8_t unit)>;

// The register table of a snapshot at time now.
std::array<uint16_t, kRegisterCount> RegistersOf(const UnitSnapshot &unit, SteadyTime now);

enum class ModbusException : uint8_t {
    None = 0x00,
    IllegalFunction = 0x01,
    IllegalDataAddress = 0x02,
    IllegalDataValue = 0x03,
    GatewayPathUnavailable = 0x0A,
    GatewayTargetFailed = 0x0B,
};

struct ModbusRequest {
    uint16_t transaction = 0;
    uint8_t unit = 0;
    uint8_t function = 0;
    uint16_t address = 0;  // functions 3 and 4 only
    uint16_t quantity = 0; // functions 3 and 4 only
};

enum class ParseOutcome {
    NeedMore,  // the bytes so far start a request; wait for the rest
    Complete,  // request holds one request of `size` bytes
    Malformed, // no valid request starts here: close the connection
};

struct ParsedRequest {
    ParseOutcome outcome = ParseOutcome::NeedMore;
    std::size_t size = 0;
    ModbusRequest request;
};

// Reads the first request from bytes received on a connection.
ParsedRequest ParseRequest(std::span<const uint8_t> bytes);

// Appends the answer to request to out (MBAP header and PDU); returns the exception
// it carries, None for registers.
ModbusException AppendAnswer(const ModbusRequest &request, const UnitLookup &lookup, SteadyTime now,
                             std::vector<uint8_t> &out);

} // namespace gateway
