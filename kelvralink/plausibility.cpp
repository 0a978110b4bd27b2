#include "kelvralink/plausibility.h"

#include "kelvralink/calc.h"
#include "kelvralink/kelvradata.h"

#include <cmath>

namespace kelvralink {

DegreeFault CheckDegree(uint16_t setPoint, double curveValue) {
    if (std::isnan(curveValue)) return DegreeFault::CurveNotANumber;
    if (std::isinf(curveValue)) return DegreeFault::CurveInfinite;
    if (curveValue <= 0.0) return DegreeFault::CurveNotPositive;
    // The factor as the calculation forms it, before it keeps the low 16 bits.
    const double factor = std::trunc(static_cast<double>(uint32_t{setPoint} << 10) / curveValue);
    return factor > 65535.0 ? DegreeFault::FactorWraps : DegreeFault::None;
}

CalibrationCheck CheckCalibration(const PanelDesc &p, const uint16_t setPoints[kMaxChannels]) {
    CalibrationCheck c;
    for (int t = 0; t < kTemps; ++t) {
        bool faulty = false;
        for (int k = 0; k < p.channelCount; ++k) {
            const DegreeFault f = CheckDegree(setPoints[k], Curve(p.channels[k])[t]);
            c.fault[k][t] = f;
            if (f == DegreeFault::None) continue;
            faulty = true;
            ++(IsCurveFault(f) ? c.badCurveValues : c.wrappedFactors);
        }
        if (faulty) ++c.degrees;
    }
    return c;
}

bool SetPointWraps(double value, uint16_t word) {
    if (!std::isfinite(value)) return false; // a curve fault at that degree says more
    const double whole = std::trunc(value);
    return (whole > 65535.0 || whole < 0.0) && word == SensorWord(value);
}

void CheckSetPoints(const PanelDesc &p, const double values[kMaxChannels], const uint16_t words[kMaxChannels],
                    CalibrationCheck &c) {
    c.wrappedSetPoints = 0;
    for (int k = 0; k < p.channelCount; ++k)
        if (SetPointWraps(values[k], words[k])) ++c.wrappedSetPoints;
}

namespace {

std::string SetPointWords(int count) {
    return std::to_string(count) + " set point" + (count == 1 ? " wraps" : "s wrap") +
           " around (above 65535 or below 0, the sensor word cannot hold it)";
}

} // namespace

std::string DescribeCheck(const CalibrationCheck &c) {
    if (c.ok()) return {};
    if (c.degrees == 0) return "The calibration cannot be right: " + SetPointWords(c.wrappedSetPoints) + ".";
    std::string what;
    if (c.wrappedFactors > 0)
        what = std::to_string(c.wrappedFactors) + " correction factor" + (c.wrappedFactors == 1 ? "" : "s") +
               " wrap" + (c.wrappedFactors == 1 ? "s" : "") +
               " around (above 65535, the sensor gets 65536 less)";
    if (c.badCurveValues > 0)
        what += (what.empty() ? "" : " and ") + std::to_string(c.badCurveValues) + " curve value" +
                (c.badCurveValues == 1 ? " is" : "s are") +
                " 0 or below, not a number or infinite (no factor can scale them)";
    if (c.wrappedSetPoints > 0) what += "; and " + SetPointWords(c.wrappedSetPoints);
    return "At " + std::to_string(c.degrees) + " of the " + std::to_string(kTemps) +
           " degrees the calibration cannot be right: " + what + ".";
}

} // namespace kelvralink
