#include "vexalink/livecalc.h"

#include <algorithm>
#include <cstdlib>

namespace vexalink {

namespace {
constexpr double kDensityTop = 4096.0;
constexpr double kZoomMargin = 25.0;
} // namespace

int Copy1D(const double *x, int n, double *y) {
    if (n < 1) return kArraySizeError;
    std::copy_n(x, n, y);
    return 0;
}

int Shift(const double *x, int n, int shifts, double *y) {
    if (n < 1) return kArraySizeError;
    if (std::abs(shifts) >= n) return kShiftRangeError;
    if (shifts > 0) {
        // From the end backwards, so that x and y may be one array.
        for (int i = n - 1 - shifts; i >= 0; --i)
            y[i + shifts] = x[i];
        std::fill_n(y, shifts, 0.0);
    } else {
        const int s = -shifts;
        for (int i = 0; i + s < n; ++i)
            y[i] = x[i + s];
        std::fill_n(y + n - s, s, 0.0);
    }
    return 0;
}

Band ToleranceBand(int set, int tolerance, int top) {
    return {std::max(set - tolerance, 0), std::min(set + tolerance, top)};
}

YRange DensityYRange(const double *values, int n, int scale) {
    if (scale != 1) return {0.0, kDensityTop};
    YRange r{kDensityTop, 0.0};
    for (int i = 0; i < n; ++i) {
        r.min = std::min(r.min, values[i]);
        r.max = std::max(r.max, values[i]);
    }
    if (r.min > kZoomMargin) r.min -= kZoomMargin;
    if (r.max < kDensityTop - kZoomMargin) r.max += kZoomMargin;
    return r;
}

} // namespace vexalink
