// Live data from the sensor: the polling loop behind the Go button and the
// data panel's two views.
#pragma once

#include "link/linkstate.h"

#include <cstdint>

struct LiveState {
    uint16_t databuf[kFrameWords] = {}; // the last data frame, word by word
};

extern LiveState live;

// Polls the sensor for data frames until poll is cleared; 50 ms between cycles.
void GetData();
// Shows the controls of the view chosen with SOURCE: 0 density, 1 raw.
void DispVis();
