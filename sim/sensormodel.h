// The simulated sensor's memories and its answers to command frames.
#pragma once

#include "sim/frames.h"
#include "sim/measurement.h"

#include <map>
#include <string>

namespace sim {

constexpr std::size_t kParameterWords = 16;
constexpr std::size_t kTeachRows = 31;
constexpr std::size_t kTeachValues = 6;
// Parameter word holding MAXVEC-No., the number of teach rows checked from row 0.
constexpr std::size_t kMaxVecWord = 6;
// Vector number reported when no teach row matches.
constexpr std::uint16_t kNoVector = 255;

// Density, tolerance, symmetry 1, tolerance, symmetry 2, tolerance.
using TeachRow = std::array<std::uint16_t, kTeachValues>;

// The parameter words and the teach table, as held in RAM or in EEPROM.
struct ParameterSet {
    std::array<std::uint16_t, kParameterWords> params{};
    std::array<TeachRow, kTeachRows> teach{};
    bool operator==(const ParameterSet &) const = default;
};

// Working set (RAM) and stored set (EEPROM).
struct SensorMemory {
    ParameterSet ram, eeprom;
    bool operator==(const SensorMemory &) const = default;
};

// The compensation word memory: every word written and every block announced.
struct CompMemory {
    std::map<std::uint16_t, std::uint16_t> words; // address -> last word written there
    std::vector<std::uint16_t> blocks;            // block addresses in the order announced
};

// Number of the first active teach row whose three bands contain the values, else 255.
std::uint16_t detectVector(const ParameterSet &set, std::uint16_t density, std::uint16_t sym1,
                           std::uint16_t sym2);

// The sensor itself, without any transport: takes command frames, gives answers.
class SensorModel {
  public:
    static constexpr const char *kDefaultVersion = "VEXA V3.2";

    // Answer to one command frame received at `seconds` (sensor clock); empty when the
    // sensor stays silent (auto-send switch, unknown commands).
    Bytes handle(const Frame &cmd, double seconds);
    // A data frame measured at `seconds`: the answer to command 5, or with `triggered`
    // the frame auto-send puts out when the trigger fires.
    Bytes dataFrame(double seconds, bool triggered);

    bool autoSend() const { return m_autoSend; }
    const std::string &version() const { return m_version; }
    void setVersion(const std::string &text) { m_version = text; }
    SensorMemory &memory() { return m_memory; }
    const SensorMemory &memory() const { return m_memory; }
    CompMemory &comp() { return m_comp; }
    const CompMemory &comp() const { return m_comp; }
    MeasurementSource &source() { return m_source; }

  private:
    Bytes echo(const Frame &cmd) const;
    Bytes parameterAnswer() const;
    Bytes teachRowAnswer(std::uint16_t row) const;
    Bytes versionAnswer() const;
    void writeWords(const Frame &cmd);

    SensorMemory m_memory;
    CompMemory m_comp;
    MeasurementSource m_source;
    ChannelMaxima m_maxima;
    std::string m_version = kDefaultVersion;
    bool m_autoSend = false;
};

} // namespace sim
