// Live values for a simulated sensor of a test: each sensor its own, within the
// ranges a sensor sends, so that a value seen on an output tells which sensor it came from.
#pragma once

#include "sim/simsensor.h"

#include <cstdint>

namespace testsim {

inline sim::Measurement Values(uint16_t base) {
    return {.chL = base,
            .chC = uint16_t(base + 1),
            .chR = uint16_t(base + 2),
            .density = uint16_t(base % 4000 + 3),
            .sym1 = uint16_t(base % 900 + 4),
            .sym2 = uint16_t(base % 900 + 5),
            .temp = uint16_t(base + 6),
            .trigger = 1};
}

} // namespace testsim
