// Live data from the sensor: the polling loop behind the Go button, the data
// frame's words as live variables, the data panel's displays and charts, and
// the two sample histories they draw.
#pragma once

#include "vexalink/paralink.h"

#include <cstdint>

namespace vexaprogram {

constexpr int kHistorySamples = 100;
constexpr int kRawTraces = 6;     // CH_L, CH_C, CH_R and their 60-second maxima
constexpr int kDensityTraces = 3; // density, upper and lower limit

// The last data frame's words (databuf and the live variables), the view and
// the two histories the charts draw.
struct LiveState : vexalink::LiveValues {
    uint16_t source = 0; // SOURCE: 0 density view, 1 raw view
    uint16_t scale = 0;  // density chart: 0 fixed 0..4096, 1 automatic zoom

    // Oldest sample first; never cleared, so polling and recording continue them.
    double rawBuf[kHistorySamples * kRawTraces] = {};
    double densityBuf[kHistorySamples * kDensityTraces] = {};
    int samplesTaken = 0; // the newest samples of both histories that were taken (0..kHistorySamples)
};

extern LiveState live;

// Polls the sensor for data frames until poll is cleared; 50 ms between cycles.
void GetData();
// Live variables into the displays; one sample onto both histories.
void SetPanelData();
// Redraws the charts of the view chosen with SOURCE from the histories.
void ShowGraph();
// Shows the controls of the view chosen with SOURCE: 0 density, 1 raw.
void DispVis();
// Draws the symmetry tolerance bands of the teach row selected in "No.".
void SetToleranceRangeSymmetry();

} // namespace vexaprogram
