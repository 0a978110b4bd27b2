#include "kelvralink/paneltable.h"

namespace kelvralink {

namespace {

using enum Channel;

constexpr TransferPlan kPagedPlan{100, {0x1400, 0x1500, 0x1600}, 3, true, 33.33};

// P1, P2, P4 and P5 differ only in their transfer plan.
const PanelDesc kPanels[kDataPanels] = {
    {1, {Red, Green, Blue}, 3, true, false, kPagedPlan},
    {2, {Red, Green, Blue}, 3, true, false, {80, {0x1600}, 1, false, 41.66}},
    {3, {Red, Green, Blue, Ref, Dir, Dif}, 6, false, true, {80, {0x1500, 0x1600}, 2, false, 20.83}},
    {4, {Red, Green, Blue}, 3, true, false, kPagedPlan},
    {5, {Red, Green, Blue}, 3, true, false, kPagedPlan},
    {6, {Raw}, 1, false, false, {100, {0x1400}, 1, false, 100.0}},
};

const char *const kPowerSuffix[kCoefs] = {"X4", "X3", "X2", "X1", "T"};

const char *const kRoleNames[kDataRoles] = {
    "ButtonSendCF",    "ButtonSaveEquation", "ButtonGetEquation", "ButtonCalcCurves",
    "ButtonShowRed",   "ButtonShowGreen",    "ButtonShowBlue",    "ButtonCalcCalib",
    "ButtonShowCfRed", "ButtonShowCfGreen",  "ButtonShowCfBlue",  "EditTemp",
};

} // namespace

const PanelDesc &DataPanelDesc(int n) {
    return kPanels[n >= 1 && n <= kDataPanels ? n - 1 : 0];
}

int TransferFrames(const PanelDesc &p) {
    return p.channelCount * p.plan.wordsPerChannel / kWordsPerFrame;
}

const char *ChannelName(Channel c) {
    switch (c) {
    case Red:
        return "Red";
    case Green:
        return "Green";
    case Blue:
        return "Blue";
    case Ref:
        return "Ref";
    case Dir:
        return "Dir";
    case Dif:
        return "Dif";
    case Raw:
        return "Raw";
    }
    return "";
}

const char *CoefficientPrefix(Channel c) {
    switch (c) {
    case Red:
    case Raw:
        return "R";
    case Green:
        return "G";
    case Blue:
        return "B";
    case Ref:
        return "REF";
    case Dir:
        return "DIR";
    case Dif:
        return "DIF";
    }
    return "";
}

std::string CoefficientName(Channel c, int k) {
    return std::string(CoefficientPrefix(c)) + (k >= 0 && k < kCoefs ? kPowerSuffix[k] : "");
}

std::string CoefficientCtrl(Channel c, int k) {
    return "Edit" + CoefficientName(c, k);
}
std::string SetPointValueCtrl(Channel c) {
    return std::string("DispSetPoint") + ChannelName(c);
}
std::string SetPointWordCtrl(Channel c) {
    return std::string("EditSetPointWord") + ChannelName(c);
}
std::string CurveChartCtrl(Channel c) {
    return std::string("ChartCurve") + ChannelName(c);
}
std::string CfChartCtrl(Channel c) {
    return std::string("ChartCf") + ChannelName(c);
}

const char *DataRoleName(DataRole r) {
    return kRoleNames[static_cast<int>(r)];
}

bool PanelHasRole(const PanelDesc &p, DataRole r) {
    switch (r) {
    case DataRole::ButtonShowRed:
    case DataRole::ButtonShowGreen:
    case DataRole::ButtonShowBlue:
    case DataRole::ButtonShowCfRed:
    case DataRole::ButtonShowCfGreen:
    case DataRole::ButtonShowCfBlue:
        return p.chartChoice;
    default:
        return true;
    }
}

std::string DataCallbackName(int n, DataRole r) {
    return "CBF_DataP" + std::to_string(n) + DataRoleName(r);
}

std::string CoefficientCallbackName(int n) {
    return "CBF_DataP" + std::to_string(n) + "Coefficient";
}

std::string DataPanelCallbackName(int n) {
    return "CBF_DATAP" + std::to_string(n);
}

} // namespace kelvralink
