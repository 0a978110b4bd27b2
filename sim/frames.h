// Frame layout as the simulated sensor sees it: 36-byte frames of 18 big-endian words.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace sim {

using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kFrameBytes = 36;
constexpr std::size_t kFrameWords = kFrameBytes / 2;
constexpr std::uint16_t kSync = 0x0055;
constexpr std::uint16_t kMarker = 0x00AA;

using Frame = std::array<std::uint8_t, kFrameBytes>;

// Command codes the sensor understands.
enum Command : std::uint16_t {
    CmdWriteParameters = 1,
    CmdWriteTeachRow = 2,
    CmdReadParameters = 3,
    CmdReadTeachRow = 4,
    CmdReadData = 5,
    CmdStoreEeprom = 6,
    CmdVersion = 7,
    CmdLoadEeprom = 8,
    CmdAutoSend = 50,
    CmdBlock = 180,
    CmdWriteWords = 182,
};

// Word i of a frame, high byte first.
inline std::uint16_t wordAt(const Frame &f, std::size_t i) {
    return static_cast<std::uint16_t>(f[2 * i] << 8 | f[2 * i + 1]);
}

// Stores word i of a frame, high byte first.
inline void putWord(Frame &f, std::size_t i, std::uint16_t w) {
    f[2 * i] = static_cast<std::uint8_t>(w >> 8);
    f[2 * i + 1] = static_cast<std::uint8_t>(w & 0xFF);
}

} // namespace sim
