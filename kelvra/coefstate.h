// Whether each data panel's coefficients and reference temperature are what
// the last transfer wrote into the sensor, what an equation file holds, or
// typed and kept nowhere else; and the question asked before quitting would
// lose them.
#pragma once

#include "kelvralink/paneltable.h"

#include <string>

namespace kelvraprogram {

// The coefficient fields of a panel, then its reference temperature.
constexpr int kCoefValues = kelvralink::kMaxChannels * kelvralink::kCoefs + 1;

struct CoefRecord {
    bool known = false;
    double values[kCoefValues] = {};
};

struct CoefState {
    CoefRecord start[kelvralink::kDataPanels + 1]; // as the panels came up; [0] unused
    CoefRecord sent[kelvralink::kDataPanels + 1];  // what the last complete transfer was made from
    CoefRecord file[kelvralink::kDataPanels + 1];  // the equation file saved or loaded last
    std::string fileName[kelvralink::kDataPanels + 1];
    // What a transfer cut short while writing left in the sensor, said on its panel
    // until a transfer completes; "" when none.
    std::string partial[kelvralink::kDataPanels + 1];
};

extern CoefState coefState;

// Forgets everything and takes every panel's start values; shows them.
void NoteCoefStart();
// After a transfer from panel n: complete, or cut short (partialNote says what the
// sensor holds when data frames had gone out, else ""). The sensor holds one table:
// the other panels no longer agree with it.
void NoteCoefTransfer(int n, bool complete, const std::string &partialNote = {});
// After panel n's coefficients were saved to or loaded from path.
void NoteCoefFile(int n, const std::string &path);
// Shows where panel n's coefficients stand, in words and colour.
void ShowCoefState(int n);
// Before the program ends: true when it may, after asking if coefficients would be lost.
bool KelvraMayQuit();

} // namespace kelvraprogram
