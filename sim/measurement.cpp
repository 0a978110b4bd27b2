#include "sim/measurement.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <numbers>

namespace sim {

void MeasurementSource::setDrift(unsigned seed) {
    // An odd shift: no two seeds below many thousands bring all the waves into step.
    constexpr double kShiftPerSeed = 7.3;
    m_mode = Mode::Drift;
    m_driftShift = seed * kShiftPerSeed;
}

void MeasurementSource::setFixed(const Measurement &m) {
    m_mode = Mode::Fixed;
    m_fixed = m;
}

void MeasurementSource::setScript(std::vector<Measurement> script) {
    m_script = std::move(script);
    m_pos = 0;
    m_mode = m_script.empty() ? Mode::Drift : Mode::Script;
}

Measurement MeasurementSource::next(double seconds) {
    switch (m_mode) {
    case Mode::Fixed:
        return m_fixed;
    case Mode::Script: {
        const Measurement m = m_script[m_pos];
        if (m_pos + 1 < m_script.size()) ++m_pos;
        return m;
    }
    case Mode::Drift:
        break;
    }
    return driftingMeasurement(seconds + m_driftShift);
}

namespace {

std::uint16_t wave(double seconds, double mean, double amplitude, double period, double phase) {
    const double v = mean + amplitude * std::sin(2 * std::numbers::pi * seconds / period + phase);
    return static_cast<std::uint16_t>(std::lround(std::clamp(v, 0.0, 65535.0)));
}

} // namespace

std::optional<Measurement> parseMeasurement(const std::string &text) {
    std::uint16_t v[7];
    const char *p = text.data(), *end = text.data() + text.size();
    for (std::size_t i = 0; i < std::size(v); ++i) {
        if (i > 0 && (p == end || *p++ != ',')) return std::nullopt;
        auto [next, ec] = std::from_chars(p, end, v[i]);
        if (ec != std::errc()) return std::nullopt;
        p = next;
    }
    if (p != end) return std::nullopt;
    return Measurement{v[0], v[1], v[2], v[3], v[4], v[5], v[6]};
}

Measurement driftingMeasurement(double seconds) {
    Measurement m;
    m.chL = wave(seconds, 1800, 300, 40, 0);
    m.chC = wave(seconds, 2000, 250, 55, 1);
    m.chR = wave(seconds, 1600, 350, 47, 2);
    const unsigned sum = m.chL + m.chC + m.chR;
    m.density = static_cast<std::uint16_t>(std::min(4096u, sum / 3));
    m.sym1 = static_cast<std::uint16_t>(1000u * m.chL / std::max(1u, unsigned(m.chL + m.chR)));
    m.sym2 = static_cast<std::uint16_t>(1000u * m.chC / std::max(1u, unsigned(m.chC + m.chR)));
    m.temp = wave(seconds, 250, 8, 600, 0);
    return m;
}

void ChannelMaxima::add(double seconds, std::uint16_t l, std::uint16_t c, std::uint16_t r) {
    while (!m_samples.empty() &&
           (m_samples.size() >= kMaxSamples || m_samples.front().t < seconds - kWindowSeconds))
        m_samples.pop_front();
    m_samples.push_back({seconds, l, c, r});
}

void ChannelMaxima::maxima(double seconds, std::uint16_t &l, std::uint16_t &c, std::uint16_t &r) const {
    l = c = r = 0;
    for (const Sample &s : m_samples) {
        if (s.t < seconds - kWindowSeconds) continue;
        l = std::max(l, s.l);
        c = std::max(c, s.c);
        r = std::max(r, s.r);
    }
}

} // namespace sim
