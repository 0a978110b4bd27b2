#include "kelvralink/calc.h"

#include "kelvralink/kelvradata.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kelvralink {

namespace {

// Truncation toward zero that saturates instead of overflowing.
int32_t TruncateToInt(double v) {
    constexpr double lo = std::numeric_limits<int32_t>::min();
    constexpr double hi = std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(std::clamp(std::trunc(v), lo, hi));
}

} // namespace

void WholeBounds::Take(double v) {
    if (min > v) min = TruncateToInt(v);
    if (max < v) max = TruncateToInt(v);
}

void WholeBounds::Take(const WholeBounds &other) {
    min = std::min(min, other.min);
    max = std::max(max, other.max);
}

void FractionalBounds::Take(double v) {
    if (min > v) min = v;
    if (max < v) max = v;
}

AxisRange ChartRange(const WholeBounds &b) {
    return {b.min - 50.0, b.max + 50.0};
}

AxisRange ChartRange(const FractionalBounds &b) {
    return {b.min - 50.0, b.max + 50.0};
}

double PolynomialAt(const double (&c)[kCoefs], int t) {
    const int32_t t2 = t * t, t3 = t2 * t, t4 = t3 * t;
    return c[0] * t4 + c[1] * t3 + c[2] * t2 + c[3] * t + c[4];
}

uint16_t SensorWord(double v) {
    if (!std::isfinite(v)) return 0;
    // fmod is exact, so this is the low 16 bits of any whole number a double holds.
    double r = std::fmod(std::trunc(v), 65536.0);
    if (r < 0) r += 65536.0;
    return static_cast<uint16_t>(r);
}

uint16_t CorrectionFactor(uint16_t setPoint, double curveValue) {
    const double numerator = static_cast<double>(static_cast<uint32_t>(setPoint) << 10);
    return SensorWord(numerator / curveValue);
}

PanelRanges ComputeCurves(const PanelDesc &p) {
    WholeBounds bounds[kMaxChannels];
    FractionalBounds all;
    double coefs[kMaxChannels][kCoefs];
    for (int k = 0; k < p.channelCount; ++k)
        for (int j = 0; j < kCoefs; ++j)
            coefs[k][j] = Coefficient(p.channels[k], j);

    double *sideBySide = SideBySideCurves(p);
    for (int t = 0; t < kTemps; ++t) {
        for (int k = 0; k < p.channelCount; ++k) {
            const double v = PolynomialAt(coefs[k], t);
            Curve(p.channels[k])[t] = v;
            if (sideBySide) sideBySide[t * p.channelCount + k] = v;
            bounds[k].Take(v);
            all.Take(v);
        }
    }
    PanelRanges ranges{};
    WholeBounds overall;
    for (int k = 0; k < p.channelCount; ++k) {
        ranges.channel[k] = ChartRange(bounds[k]);
        overall.Take(bounds[k]);
    }
    ranges.combined = p.fractionalRange ? ChartRange(all) : ChartRange(overall);
    return ranges;
}

void ComputeSetPoints(const PanelDesc &p, uint16_t t, double values[kMaxChannels],
                      uint16_t words[kMaxChannels]) {
    t = ClampTemperature(t);
    for (int k = 0; k < p.channelCount; ++k) {
        values[k] = Curve(p.channels[k])[t];
        words[k] = SensorWord(values[k]);
    }
}

PanelRanges ComputeFactors(const PanelDesc &p, const uint16_t setPoints[kMaxChannels]) {
    WholeBounds bounds[kMaxChannels];
    uint16_t *sideBySide = SideBySideFactors(p);
    for (int t = 0; t < kTemps; ++t) {
        for (int k = 0; k < p.channelCount; ++k) {
            const uint16_t f = CorrectionFactor(setPoints[k], Curve(p.channels[k])[t]);
            Factors(p.channels[k])[t] = f;
            if (sideBySide) sideBySide[t * p.channelCount + k] = f;
            bounds[k].Take(f);
        }
    }
    PanelRanges ranges{};
    WholeBounds overall;
    for (int k = 0; k < p.channelCount; ++k) {
        ranges.channel[k] = ChartRange(bounds[k]);
        overall.Take(bounds[k]);
    }
    ranges.combined = ChartRange(overall);
    return ranges;
}

} // namespace kelvralink
