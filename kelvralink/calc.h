// The compensation arithmetic: curves from coefficients, set points, correction
// factors and chart ranges. Plain functions on the program data; no widgets.
#pragma once

#include "kelvralink/paneltable.h"

#include <cstdint>

namespace kelvralink {

// Lowest and highest value seen, as whole numbers truncated toward zero,
// starting from 10000 and -10000 so that a chart never spans less than that.
struct WholeBounds {
    int32_t min = 10000;
    int32_t max = -10000;
    // Takes a value into the bounds (NaN leaves them as they are).
    void Take(double v);
    // Widens these bounds by other ones.
    void Take(const WholeBounds &other);
};

// The same with fractional values kept.
struct FractionalBounds {
    double min = 10000.0;
    double max = -10000.0;
    void Take(double v);
};

// A chart's y-axis range.
struct AxisRange {
    double min;
    double max;
    bool operator==(const AxisRange &) const = default;
};

// The y-axis of a chart holding values within the bounds: 50 to spare on each side.
AxisRange ChartRange(const WholeBounds &b);
AxisRange ChartRange(const FractionalBounds &b);

// Polynomial c[0]·t^4 + c[1]·t^3 + c[2]·t^2 + c[3]·t + c[4], highest power first.
double PolynomialAt(const double (&c)[kCoefs], int t);

// A value as a 16-bit sensor word: truncated toward zero, the low 16 bits of
// the two's complement; infinite or undefined values give 0.
uint16_t SensorWord(double v);

// Correction factor (1024 = 1.0) scaling curve value v to set point s.
uint16_t CorrectionFactor(uint16_t setPoint, double curveValue);

// Highest reference temperature; larger ones are clamped to it.
constexpr uint16_t kMaxTemp = kTemps - 1;
inline uint16_t ClampTemperature(uint16_t t) {
    return t > kMaxTemp ? kMaxTemp : t;
}

// Chart ranges of one calculation: one per channel (in the panel's channel
// order) and one for the combined chart.
struct PanelRanges {
    AxisRange channel[kMaxChannels];
    AxisRange combined;
};

// Evaluates the panel's channels from the coefficient variables into their
// curves and the side-by-side copy; returns the chart ranges.
PanelRanges ComputeCurves(const PanelDesc &p);

// Set point of each of the panel's channels at temperature t (clamped to 0..99):
// the curve value and its sensor word.
void ComputeSetPoints(const PanelDesc &p, uint16_t t, double values[kMaxChannels],
                      uint16_t words[kMaxChannels]);

// Turns the panel's curves into correction factors for the given set-point
// words (one per channel), into the factor arrays and the side-by-side copy;
// returns the chart ranges.
PanelRanges ComputeFactors(const PanelDesc &p, const uint16_t setPoints[kMaxChannels]);

} // namespace kelvralink
