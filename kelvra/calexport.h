// The calibration export: one data panel's coefficients, set points, curves and
// correction-factor tables as one CSV file that a technician files with the
// calibration and that spreadsheets read as is.
#pragma once

#include "kelvralink/paneltable.h"

#include <cstdint>
#include <string>

namespace kelvraprogram {

// Everything one export shows, channels in the panel's order.
struct CalibrationSheet {
    std::string family; // the sensor family as the selector names it
    int panel = 1;
    uint16_t refTemp = 0;
    std::string date; // ISO 8601
    int channelCount = 0;
    kelvralink::Channel channels[kelvralink::kMaxChannels] = {};
    double coefs[kelvralink::kMaxChannels][kelvralink::kCoefs] = {};
    double setPointValue[kelvralink::kMaxChannels] = {};
    uint16_t setPointWord[kelvralink::kMaxChannels] = {};
    double curves[kelvralink::kMaxChannels][kelvralink::kTemps] = {};
    uint16_t factors[kelvralink::kMaxChannels][kelvralink::kTemps] = {};
};

// The sheet as RFC 4180 CSV (CR LF, "." decimals, doubles in their shortest exact
// form): a header naming family, panel, reference temperature and date, then the
// coefficient, set-point, curve and correction-factor tables, each under a title
// row and separated by an empty line.
std::string CalibrationCsv(const CalibrationSheet &s);

// Reads data panel n as shown: its coefficients, reference temperature and set
// points; the curves from those coefficients and the factors from the set-point words,
// by the same rules as the panel's own calculation.
CalibrationSheet ReadCalibrationSheet(int n, const std::string &family);

// Whether the sheet's set points are its curves' values at its reference temperature,
// that is, were calculated from the coefficients it shows (and not left from before).
bool SetPointsFollowCurves(const CalibrationSheet &s);

// The export button: asks for a file and writes the shown data panel into it, unless
// its set points were never calculated from its coefficients.
void ExportDataPanel();

} // namespace kelvraprogram
