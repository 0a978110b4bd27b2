#include "kelvra/compensation.h"

#include "kelvralink/calc.h"
#include "kelvralink/kelvradata.h"
#include "kelvralink/transfer.h"
#include "link/com232.h"
#include "link/linkstate.h"
#include "platform/userint.h"

using kelvralink::AxisRange;
using kelvralink::CalibrationCheck;
using kelvralink::CfChartCtrl;
using kelvralink::Channel;
using kelvralink::CheckCalibration;
using kelvralink::CheckSetPoints;
using kelvralink::Coefficient;
using kelvralink::CoefficientCtrl;
using kelvralink::ComputeCurves;
using kelvralink::ComputeFactors;
using kelvralink::ComputeSetPoints;
using kelvralink::Curve;
using kelvralink::CurveChartCtrl;
using kelvralink::DataPanelDesc;
using kelvralink::DegreeFault;
using kelvralink::DescribeCheck;
using kelvralink::Factors;
using kelvralink::HasChannelCharts;
using kelvralink::HasCombinedCharts;
using kelvralink::IsCurveFault;
using kelvralink::kCalCheck;
using kelvralink::kCfChartAll;
using kelvralink::kCoefs;
using kelvralink::kCurveChartAll;
using kelvralink::kdata;
using kelvralink::kEditTemp;
using kelvralink::kMaxChannels;
using kelvralink::kMaxTemp;
using kelvralink::kpanels;
using kelvralink::kTemps;
using kelvralink::kTransferProgress;
using kelvralink::PanelDesc;
using kelvralink::PanelRanges;
using kelvralink::SetPointValueCtrl;
using kelvralink::SetPointWordCtrl;
using kelvralink::SideBySideCurves;
using kelvralink::SideBySideFactors;

using namespace programlink;

namespace kelvraprogram {
namespace {

constexpr double kKelvraEchoTimeout = 2.0;

// Each chart shows exactly the 100 degrees of the last calculation, degree 0 at x = 0:
// a point of an earlier drawing would shift the curve one degree to the right.
constexpr int kPointsPerScreen = kTemps;
constexpr int kCheckQuiet = MakeColor(224, 224, 224);
constexpr int kCheckAlarm = MakeColor(255, 170, 170);

// Draws values (interleaved by the chart's traces) in place of the chart's points, scaled to range.
void DrawChart(int panel, const std::string &chart, const AxisRange &range, const double *values, int count) {
    SetCtrlAttribute(panel, chart, ATTR_POINTS_PER_SCREEN, kPointsPerScreen);
    SetAxisScalingMode(panel, chart, VAL_LEFT_YAXIS, VAL_MANUAL, range.min, range.max);
    ClearStripChart(panel, chart);
    PlotStripChart(panel, chart, values, count);
}

void DrawChart(int panel, const std::string &chart, const AxisRange &range, const uint16_t *words,
               int count) {
    double values[kTemps * kMaxChannels];
    for (int i = 0; i < count && i < kTemps * kMaxChannels; ++i)
        values[i] = words[i];
    DrawChart(panel, chart, range, values, count);
}

// The per-channel charts and the combined chart of one kind.
template <typename T>
void DrawCharts(const PanelDesc &p, std::string (*channelChart)(Channel), const char *combinedChart,
                const PanelRanges &ranges, T *(*channelValues)(Channel), const T *sideBySide) {
    const int panel = kpanels.datapanel[p.number];
    if (HasChannelCharts(p))
        for (int k = 0; k < p.channelCount; ++k)
            DrawChart(panel, channelChart(p.channels[k]), ranges.channel[k], channelValues(p.channels[k]),
                      kTemps);
    if (HasCombinedCharts(p) && sideBySide)
        DrawChart(panel, combinedChart, ranges.combined, sideBySide, kTemps * p.channelCount);
}

// Marks on the charts of one kind the degrees where pred finds a fault: each channel's
// chart its own, the combined chart those of any channel.
void MarkCharts(const PanelDesc &p, std::string (*channelChart)(Channel), const char *combinedChart,
                const CalibrationCheck &check, bool (*pred)(DegreeFault)) {
    const int panel = kpanels.datapanel[p.number];
    bool any[kTemps] = {};
    for (int k = 0; k < p.channelCount; ++k) {
        bool marked[kTemps] = {};
        for (int t = 0; t < kTemps; ++t)
            any[t] = (marked[t] = pred(check.fault[k][t])) || any[t];
        if (HasChannelCharts(p)) MarkStripChartPoints(panel, channelChart(p.channels[k]), marked, kTemps);
    }
    if (HasCombinedCharts(p)) MarkStripChartPoints(panel, combinedChart, any, kTemps);
}

// Says on the panel how many degrees cannot be right, in red, or that what was checked can be.
void ShowCheck(int n, const CalibrationCheck &check, const std::string &checked) {
    const int panel = kpanels.datapanel[n];
    SetCtrlVal(panel, kCalCheck,
               check.ok() ? checked + " can be right at all " + std::to_string(kTemps) + " degrees."
                          : DescribeCheck(check));
    SetCtrlAttribute(panel, kCalCheck, ATTR_CTRL_COLOR, check.ok() ? kCheckQuiet : kCheckAlarm);
}

bool AnyFault(DegreeFault f) {
    return f != DegreeFault::None;
}

// Counts the set points whose shown word wrapped from the shown value.
void CheckShownSetPoints(const PanelDesc &p, const uint16_t words[kMaxChannels], CalibrationCheck &check) {
    double values[kMaxChannels] = {};
    for (int k = 0; k < p.channelCount; ++k)
        GetCtrlVal(kpanels.datapanel[p.number], SetPointValueCtrl(p.channels[k]), values[k]);
    CheckSetPoints(p, values, words, check);
}

} // namespace

void CalcCurvesData(int n) {
    const PanelDesc &p = DataPanelDesc(n);
    const int panel = kpanels.datapanel[p.number];
    for (int k = 0; k < p.channelCount; ++k)
        for (int j = 0; j < kCoefs; ++j)
            GetCtrlVal(panel, CoefficientCtrl(p.channels[k], j), Coefficient(p.channels[k], j));
    const PanelRanges ranges = ComputeCurves(p);
    kdata.curvesPanel = n;
    DrawCharts<double>(p, CurveChartCtrl, kCurveChartAll, ranges, Curve, SideBySideCurves(p));
    // With no set point no factor wraps: what is found lies in the curves themselves.
    const uint16_t noSetPoints[kMaxChannels] = {};
    CalibrationCheck check = CheckCalibration(p, noSetPoints);
    MarkCharts(p, CurveChartCtrl, kCurveChartAll, check, IsCurveFault);
    // The set points shown stay until the temperature is confirmed; one that wraps is still said.
    uint16_t shownWords[kMaxChannels] = {};
    for (int k = 0; k < p.channelCount; ++k)
        GetCtrlVal(panel, SetPointWordCtrl(p.channels[k]), shownWords[k]);
    CheckShownSetPoints(p, shownWords, check);
    ShowCheck(n, check, "The curves");
}

bool CurvesAreOfPanel(int n) {
    if (kdata.curvesPanel != n) return false;
    const PanelDesc &p = DataPanelDesc(n);
    for (int k = 0; k < p.channelCount; ++k)
        for (int j = 0; j < kCoefs; ++j) {
            double shown = 0;
            GetCtrlVal(kpanels.datapanel[n], CoefficientCtrl(p.channels[k], j), shown);
            if (shown != Coefficient(p.channels[k], j)) return false;
        }
    return true;
}

void CalcSetPointData(int n) {
    const PanelDesc &p = DataPanelDesc(n);
    const int panel = kpanels.datapanel[p.number];
    uint16_t t = 0;
    GetCtrlVal(panel, kEditTemp, t);
    if (t > kMaxTemp) {
        t = kMaxTemp;
        SetCtrlVal(panel, kEditTemp, static_cast<int>(t));
    }
    double values[kMaxChannels];
    uint16_t words[kMaxChannels];
    ComputeSetPoints(p, t, values, words);
    for (int k = 0; k < p.channelCount; ++k)
        SetCtrlVal(panel, SetPointValueCtrl(p.channels[k]), values[k]);
    for (int k = 0; k < p.channelCount; ++k)
        SetCtrlVal(panel, SetPointWordCtrl(p.channels[k]), static_cast<int>(words[k]));
    // A set point that wraps is said at once, not only when the factors are calculated.
    const uint16_t noSetPoints[kMaxChannels] = {};
    CalibrationCheck check = CheckCalibration(p, noSetPoints);
    CheckSetPoints(p, values, words, check);
    ShowCheck(n, check, "The curves and set points");
}

CalibrationCheck CalcCfCurvesData(int n) {
    const PanelDesc &p = DataPanelDesc(n);
    const int panel = kpanels.datapanel[p.number];
    uint16_t setPoints[kMaxChannels] = {};
    for (int k = 0; k < p.channelCount; ++k)
        GetCtrlVal(panel, SetPointWordCtrl(p.channels[k]), setPoints[k]);
    const PanelRanges ranges = ComputeFactors(p, setPoints);
    DrawCharts<uint16_t>(p, CfChartCtrl, kCfChartAll, ranges, Factors, SideBySideFactors(p));
    CalibrationCheck check = CheckCalibration(p, setPoints);
    CheckShownSetPoints(p, setPoints, check);
    MarkCharts(p, CfChartCtrl, kCfChartAll, check, AnyFault);
    ShowCheck(n, check, "Curves and correction factors");
    return check;
}

#define KELVRA_CALC_ENTRIES(n)                                                                               \
    void CalcCurvesDataP##n() {                                                                              \
        CalcCurvesData(n);                                                                                   \
    }                                                                                                        \
    void CalcSetPointDataP##n() {                                                                            \
        CalcSetPointData(n);                                                                                 \
    }                                                                                                        \
    void CalcCfCurvesDataP##n() {                                                                            \
        CalcCfCurvesData(n);                                                                                 \
    }

KELVRA_CALC_ENTRIES(1)
KELVRA_CALC_ENTRIES(2)
KELVRA_CALC_ENTRIES(3)
KELVRA_CALC_ENTRIES(4)
KELVRA_CALC_ENTRIES(5)
KELVRA_CALC_ENTRIES(6)

void SetUpCompensationLink() {
    static kelvralink::CompensationFrames frames(kdata.dataCfSendBuf);
    linkProgram = LinkProgram{};
    linkProgram.frames = &frames;
    linkProgram.echoTimeout = kKelvraEchoTimeout;
}

namespace {
kelvralink::TransferReach lastReach;
} // namespace

const kelvralink::TransferReach &LastTransferReach() {
    return lastReach;
}

void SendParaData(int n) {
    const PanelDesc &p = DataPanelDesc(n);
    const int panel = kpanels.datapanel[p.number];
    auto progress = [panel](double value) { SetCtrlVal(panel, kTransferProgress, value); };
    kelvralink::StageFactors(p, kdata.dataCfSendBuf);
    lastReach = {};
    if (RunLinkOperation([&](sensor::Sensor::Done done) {
            kelvralink::WriteFactors(LinkSensor(), p, progress, SetPopupTimeout, std::move(done), &lastReach);
        }))
        SetCtrlVal(panel, kTransferProgress, 0);
}

#define KELVRA_SEND_ENTRY(n)                                                                                 \
    void SendParaDataP##n() {                                                                                \
        SendParaData(n);                                                                                     \
    }
KELVRA_SEND_ENTRY(1)
KELVRA_SEND_ENTRY(2)
KELVRA_SEND_ENTRY(3)
KELVRA_SEND_ENTRY(4)
KELVRA_SEND_ENTRY(5)
KELVRA_SEND_ENTRY(6)

} // namespace kelvraprogram
