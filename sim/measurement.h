// What the simulated sensor measures: drifting values, fixed values or a script.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace sim {

// One set of values the sensor evaluates; the words of a data frame come from it.
struct Measurement {
    std::uint16_t chL = 0, chC = 0, chR = 0; // raw channel intensities
    std::uint16_t density = 0;               // 0..4096
    std::uint16_t sym1 = 0, sym2 = 0;        // 0..1000
    std::uint16_t temp = 0;                  // raw temperature value
    std::uint16_t trigger = 0;               // trigger input state
    bool operator==(const Measurement &) const = default;
};

// Supplies the measurement for each data frame.
class MeasurementSource {
  public:
    // Slowly varying, plausible values (the default). Each seed runs the waves shifted by
    // a time of its own, so that sensors with different seeds send different values.
    void setDrift(unsigned seed = 0);
    // The same values for every frame.
    void setFixed(const Measurement &m);
    // One entry per frame in order; the last entry repeats once the script is used up.
    // An empty script falls back to drifting values.
    void setScript(std::vector<Measurement> script);
    // The measurement at time `seconds` (sensor clock); advances a script.
    Measurement next(double seconds);

  private:
    enum class Mode { Drift, Fixed, Script } m_mode = Mode::Drift;
    Measurement m_fixed;
    double m_driftShift = 0; // seconds added to the clock of drifting values
    std::vector<Measurement> m_script;
    std::size_t m_pos = 0;
};

// Parses "CHL,CHC,CHR,DENS,SYM1,SYM2,TEMP" (seven words 0..65535); nothing on bad text.
std::optional<Measurement> parseMeasurement(const std::string &text);

// Drifting measurement at time `seconds`: channels on slow sine waves, density and
// symmetries evaluated from them.
Measurement driftingMeasurement(double seconds);

// Keeps the maximum of each channel over the last 60 seconds.
class ChannelMaxima {
  public:
    static constexpr double kWindowSeconds = 60.0;
    // Records the channels measured at `seconds`.
    void add(double seconds, std::uint16_t l, std::uint16_t c, std::uint16_t r);
    // Maxima over the samples of the last 60 seconds before `seconds`.
    void maxima(double seconds, std::uint16_t &l, std::uint16_t &c, std::uint16_t &r) const;

  private:
    struct Sample {
        double t;
        std::uint16_t l, c, r;
    };
    static constexpr std::size_t kMaxSamples = 8192; // about 2 minutes of polling at full speed
    std::deque<Sample> m_samples;
};

} // namespace sim
