// The rows of the project's performance table. Every benchmark prints its
// figures as lines "ROW<tab>figure<tab>measured<tab>goal<tab>measured against";
// scripts/bench gathers the rows of all benchmarks into one aligned table.
#pragma once

#include <cstdio>
#include <string>

namespace bench {

// Time one byte takes on a 19200-baud line: start bit, 8 data bits, stop bit.
constexpr double kByteSeconds = 10.0 / 19200;
constexpr int kFrameBytes = 36;

enum class Goal { AtMost, AtLeast };

struct Row {
    std::string figure;
    double value;
    const char *unit;
    int decimals;
    Goal kind;
    double goal;
    std::string against; // the floor or the peer the figure is measured against
};

// A number with a fixed count of decimals.
inline std::string Fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

// Whether a row's figure meets its goal.
inline bool Met(const Row &r) {
    return r.kind == Goal::AtMost ? r.value <= r.goal : r.value >= r.goal;
}

// Prints one row; a missed goal is marked in the measured column.
inline void Print(const Row &r) {
    const std::string unit = *r.unit ? std::string(" ") + r.unit : "";
    std::printf("ROW\t%s\t%s%s%s\t%s %s%s\t%s\n", r.figure.c_str(), Fixed(r.value, r.decimals).c_str(),
                unit.c_str(), Met(r) ? "" : " MISSED",
                r.kind == Goal::AtMost ? "<=" : ">=", Fixed(r.goal, r.decimals).c_str(), unit.c_str(),
                r.against.c_str());
    std::fflush(stdout);
}

// Prints a row for a figure that could not be measured.
inline void PrintFailure(const std::string &figure, const std::string &why) {
    std::printf("ROW\t%s\tFAILED: %s\t\t\n", figure.c_str(), why.c_str());
    std::fflush(stdout);
}

} // namespace bench
