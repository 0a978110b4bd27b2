// What distinguishes the six data panels: their channels, their charts, the
// names of their controls and where their correction factors go in the sensor.
// Every per-panel operation and the panel layout are driven by this table.
#pragma once

#include <cstdint>
#include <string>

namespace kelvralink {

constexpr int kTemps = 100;     // whole degrees 0..99
constexpr int kCoefs = 5;       // t^4, t^3, t^2, t, constant
constexpr int kMaxChannels = 6; // the six-channel panel
constexpr int kDataPanels = 6;

enum class Channel { Red, Green, Blue, Ref, Dir, Dif, Raw };

// How one data panel's correction factors are written into the sensor.
struct TransferPlan {
    int wordsPerChannel; // temperatures sent per channel, from 0 degrees on
    uint16_t blocks[3];  // block addresses announced, in this order
    int blockCount;
    bool paged;          // each channel into a block of its own, else one run from blocks[0]
    double progressStep; // growth of the progress indicator per confirmed frame
};

struct PanelDesc {
    int number;                     // 1..6, also the resource number
    Channel channels[kMaxChannels]; // in field, staging and trace order
    int channelCount;
    bool chartChoice;     // per-channel charts beside the combined one, with buttons to choose
    bool fractionalRange; // the combined curve chart keeps fractional bounds
    TransferPlan plan;
};

constexpr int kWordsPerFrame = 10;

// The table row of data panel n (1..6); out-of-range numbers give panel 1.
const PanelDesc &DataPanelDesc(int n);

// Number of block-write frames of a plan.
int TransferFrames(const PanelDesc &p);

// Whether the panel has one curve chart and one CF chart per channel.
inline bool HasChannelCharts(const PanelDesc &p) {
    return p.chartChoice || p.channelCount == 1;
}
// Whether the panel has combined curve and CF charts of all its channels.
inline bool HasCombinedCharts(const PanelDesc &p) {
    return p.channelCount > 1;
}

// ---- names ---------------------------------------------------------------

// The channel's name as it appears in control names ("Red", "Ref", "Raw").
const char *ChannelName(Channel c);
// The prefix of the channel's coefficient variables ("R", "REF"); Raw uses red's.
const char *CoefficientPrefix(Channel c);
// Name of coefficient k (0 = t^4 .. 4 = constant) of a channel: "RX4" .. "RT".
std::string CoefficientName(Channel c, int k);

// Role names of the data-panel controls.
std::string CoefficientCtrl(Channel c, int k); // "EditRX4"
std::string SetPointValueCtrl(Channel c);      // "DispSetPointRed"
std::string SetPointWordCtrl(Channel c);       // "EditSetPointWordRed"
std::string CurveChartCtrl(Channel c);         // "ChartCurveRed"
std::string CfChartCtrl(Channel c);            // "ChartCfRed"
inline constexpr const char *kCurveChartAll = "ChartCurveAll";
inline constexpr const char *kCfChartAll = "ChartCfAll";
inline constexpr const char *kEditTemp = "EditTemp";
inline constexpr const char *kTransferStatus = "DispTransferStatus";
inline constexpr const char *kTransferProgress = "ProgressTransfer";
inline constexpr const char *kCoefState = "DispCoefState"; // where the coefficients stand
inline constexpr const char *kCoefStateCallback = "CBF_DispCoefState";
inline constexpr const char *kCalCheck = "DispCalCheck"; // degrees whose values cannot be right
inline constexpr const char *kCalCheckCallback = "CBF_DispCalCheck";

// The buttons and fields with callbacks, in the order the callbacks are listed.
enum class DataRole {
    ButtonSendCF,
    ButtonSaveEquation,
    ButtonGetEquation,
    ButtonCalcCurves,
    ButtonShowRed,
    ButtonShowGreen,
    ButtonShowBlue,
    ButtonCalcCalib,
    ButtonShowCfRed,
    ButtonShowCfGreen,
    ButtonShowCfBlue,
    EditTemp,
};
constexpr int kDataRoles = 12;

// The control's role name ("ButtonSendCF").
const char *DataRoleName(DataRole r);
// Whether panel p carries the control (the chart-choice buttons only where charts are chosen).
bool PanelHasRole(const PanelDesc &p, DataRole r);
// The name of the control's callback on panel n: "CBF_DataP1ButtonSendCF".
std::string DataCallbackName(int n, DataRole r);
// The name of the callback data panel n's coefficient fields share: "CBF_DataP1Coefficient".
std::string CoefficientCallbackName(int n);
// The name of data panel n's panel callback: "CBF_DATAP1".
std::string DataPanelCallbackName(int n);

} // namespace kelvralink
