#include "kelvra/coefstate.h"

#include "kelvra/equation.h"
#include "kelvralink/kelvradata.h"
#include "platform/userint.h"

#include <algorithm>
#include <filesystem>

using kelvralink::CoefficientCtrl;
using kelvralink::DataPanelDesc;
using kelvralink::EquationSize;
using kelvralink::kCoefs;
using kelvralink::kCoefState;
using kelvralink::kdata;
using kelvralink::kDataPanels;
using kelvralink::kEditTemp;
using kelvralink::kpanels;
using kelvralink::PanelDesc;

namespace kelvraprogram {

CoefState coefState;

namespace {

constexpr int kGrey = MakeColor(224, 224, 224);
constexpr int kRed = MakeColor(255, 170, 170);
constexpr int kGreen = MakeColor(170, 230, 170);
constexpr int kBlue = MakeColor(180, 210, 255);

// The panel's coefficient fields in file order, then its reference temperature.
CoefRecord PanelValues(int n) {
    const PanelDesc &p = DataPanelDesc(n);
    const int panel = kpanels.datapanel[p.number];
    CoefRecord r;
    r.known = true;
    for (int k = 0; k < p.channelCount; ++k)
        for (int j = 0; j < kCoefs; ++j)
            GetCtrlVal(panel, CoefficientCtrl(p.channels[k], j), r.values[k * kCoefs + j]);
    GetCtrlVal(panel, kEditTemp, r.values[kCoefValues - 1]);
    return r;
}

// Equal in the first count values.
bool Holds(const CoefRecord &side, const CoefRecord &panel, int count) {
    return side.known && std::equal(panel.values, panel.values + count, side.values);
}

bool HoldsAll(const CoefRecord &side, const CoefRecord &panel) {
    return Holds(side, panel, kCoefValues);
}

// A file holds the coefficients only, not the temperature.
bool FileHolds(int n, const CoefRecord &panel) {
    return Holds(coefState.file[n], panel, EquationSize(DataPanelDesc(n)));
}

bool Unsaved(int n) {
    const CoefRecord panel = PanelValues(n);
    return !(HoldsAll(coefState.sent[n], panel) || FileHolds(n, panel) ||
             HoldsAll(coefState.start[n], panel));
}

} // namespace

void NoteCoefStart() {
    coefState = CoefState{};
    for (int n = 1; n <= kDataPanels; ++n) {
        coefState.start[n] = PanelValues(n);
        ShowCoefState(n);
    }
}

void NoteCoefTransfer(int n, bool complete, const std::string &partialNote) {
    // Tables went into the sensor: it holds no other panel's any more.
    if (complete || !partialNote.empty()) {
        for (int m = 1; m <= kDataPanels; ++m) {
            coefState.partial[m].clear();
            if (m != n) coefState.sent[m] = {};
        }
        coefState.partial[n] = partialNote;
    }
    coefState.sent[n] = complete ? PanelValues(n) : CoefRecord{};
    for (int m = 1; m <= kDataPanels; ++m)
        ShowCoefState(m);
}

void NoteCoefFile(int n, const std::string &path) {
    coefState.file[n] = PanelValues(n);
    coefState.fileName[n] = path;
    ShowCoefState(n);
}

void ShowCoefState(int n) {
    const CoefRecord panel = PanelValues(n);
    std::string words = "Changed, not sent";
    int colour = kRed;
    if (!coefState.partial[n].empty()) {
        words = coefState.partial[n];
    } else if (HoldsAll(coefState.sent[n], panel)) {
        words = "Sensor and panel agree";
        colour = kGreen;
    } else if (FileHolds(n, panel)) {
        words =
            "As in file " + std::filesystem::path(coefState.fileName[n]).filename().string() + ", not sent";
        colour = kBlue;
    } else if (HoldsAll(coefState.start[n], panel)) {
        words = "Not sent to a sensor";
        colour = kGrey;
    }
    const int dp = kpanels.datapanel[n];
    SetCtrlVal(dp, kCoefState, words);
    SetCtrlAttribute(dp, kCoefState, ATTR_CTRL_COLOR, colour);
}

bool KelvraMayQuit() {
    for (int n = 1; n <= kDataPanels; ++n) {
        while (Unsaved(n)) {
            const int answer = GenericMessagePopup(
                "Quit KelvraV12",
                " The coefficients on data panel P" + std::to_string(n) +
                    " were changed and are neither transferred nor saved in a file. \n Quit anyway? ",
                "Quit", "Save equation...", "Cancel");
            if (answer == 1) break;
            if (answer != 2) return false;
            if (!SaveEquation(n)) return false;
            NoteCoefFile(n, kdata.file_name);
        }
    }
    return true;
}

} // namespace kelvraprogram
