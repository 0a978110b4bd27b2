// The arithmetic of the live view, free of widgets: scrolling the sample
// histories, the tolerance bands and the density chart's automatic zoom.
#pragma once

namespace vexalink {

// Error codes of the array operations.
constexpr int kArraySizeError = -20003;  // n < 1
constexpr int kShiftRangeError = -20102; // |shifts| >= n

// Copies n doubles from x to y. Result 0, or kArraySizeError (nothing copied).
int Copy1D(const double *x, int n, double *y);
// Moves n doubles by shifts places (towards the end when positive) from x to y,
// filling the freed places with 0; x and y may be the same array.
// Result 0, kArraySizeError or kShiftRangeError (nothing moved).
int Shift(const double *x, int n, int shifts, double *y);

// A tolerance band [set - tolerance, set + tolerance] clipped to 0..top.
struct Band {
    int lo;
    int hi;
    bool operator==(const Band &) const = default;
};
Band ToleranceBand(int set, int tolerance, int top);

// Y range of the density chart: fixed 0..4096 (scale 0), or with automatic zoom
// (scale 1) the values' extent widened by 25 where that stays inside 0..4096.
struct YRange {
    double min;
    double max;
    bool operator==(const YRange &) const = default;
};
YRange DensityYRange(const double *values, int n, int scale);

} // namespace vexalink
