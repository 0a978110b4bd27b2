#include "kelvralink/plausibility.h"

#include "kelvralink/kelvradata.h"

#include <cmath>

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

std::string DescribeCheck(const CalibrationCheck &c) {
    if (c.ok()) return {};
    std::string what;
    if (c.wrappedFactors > 0)
        what = std::to_string(c.wrappedFactors) + " correction factor" + (c.wrappedFactors == 1 ? "" : "s") +
               " wrap" + (c.wrappedFactors == 1 ? "s" : "") +
               " around (above 65535, the sensor gets 65536 less)";
    if (c.badCurveValues > 0)
        what += (what.empty() ? "" : " and ") + std::to_string(c.badCurveValues) + " curve value" +
                (c.badCurveValues == 1 ? " is" : "s are") +
                " 0 or below, not a number or infinite (no factor can scale them)";
    return "At " + std::to_string(c.degrees) + " of the " + std::to_string(kTemps) + " degree" +
           (c.degrees == 1 ? "" : "s") + " the calibration cannot be right: " + what + ".";
}
