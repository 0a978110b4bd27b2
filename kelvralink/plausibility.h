// Calibration values that cannot be right. A curve value of 0, below 0, not a
// number or infinite has no factor that scales it to its set point; a factor
// above 65535 wraps around when it becomes a sensor word. The words are still
// calculated as described; these checks tell the user, before a transfer, where.
#pragma once

#include "kelvralink/paneltable.h"

#include <cstdint>
#include <string>

namespace kelvralink {

// What cannot be right at one degree of one channel.
enum class DegreeFault : uint8_t {
    None,
    CurveNotPositive, // the curve value is 0 or below
    CurveNotANumber,
    CurveInfinite,
    FactorWraps, // set point x 1024 / curve value is above 65535
};

// The fault of one degree: its curve value, else the factor it gives for the set point.
DegreeFault CheckDegree(uint16_t setPoint, double curveValue);

// Whether a fault lies in the curve itself (the curve charts show those).
inline bool IsCurveFault(DegreeFault f) {
    return f != DegreeFault::None && f != DegreeFault::FactorWraps;
}

struct CalibrationCheck {
    DegreeFault fault[kMaxChannels][kTemps] = {}; // per channel, in the panel's order
    int badCurveValues = 0;                       // channel-degrees with a curve fault
    int wrappedFactors = 0;                       // channel-degrees whose factor wraps
    int degrees = 0;                              // degrees with any fault in any channel
    int wrappedSetPoints = 0;                     // channels whose set-point word wrapped
    bool ok() const { return degrees == 0 && wrappedSetPoints == 0; }
};

// Whether a set point's word is its value wrapped around: the value lies above
// 65535 or below 0 and the word is what it became (not a word typed since).
bool SetPointWraps(double value, uint16_t word);
// Counts into c the channels of panel p whose set-point word wrapped from its value.
void CheckSetPoints(const PanelDesc &p, const double values[kMaxChannels], const uint16_t words[kMaxChannels],
                    CalibrationCheck &c);

// Checks panel p's curves (the curve arrays as the last curve calculation left
// them) against its set-point words, one per channel.
CalibrationCheck CheckCalibration(const PanelDesc &p, const uint16_t setPoints[kMaxChannels]);

// The faults in words, for a person: "At 7 of the 100 degrees the calibration cannot
// be right: 12 correction factors wrap around (above 65535) ...", and the set points
// that wrap. Empty when none.
std::string DescribeCheck(const CalibrationCheck &c);

} // namespace kelvralink
