#include "kelvra/compensation.h"

#include "kelvra/calc.h"
#include "kelvra/kelvradata.h"
#include "kelvra/transfer.h"
#include "link/com232.h"
#include "link/linkstate.h"
#include "platform/userint.h"

namespace {

constexpr double kKelvraEchoTimeout = 2.0;

// Each chart shows the 100 degrees plus one point of the previous drawing.
constexpr int kPointsPerScreen = 101;

// Appends values (interleaved by the chart's traces) with the chart scaled to range.
void DrawChart(int panel, const std::string &chart, const AxisRange &range, const double *values, int count) {
    SetCtrlAttribute(panel, chart, ATTR_POINTS_PER_SCREEN, kPointsPerScreen);
    SetAxisScalingMode(panel, chart, VAL_LEFT_YAXIS, VAL_MANUAL, range.min, range.max);
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

} // namespace

void CalcCurvesData(int n) {
    const PanelDesc &p = DataPanelDesc(n);
    const int panel = kpanels.datapanel[p.number];
    for (int k = 0; k < p.channelCount; ++k)
        for (int j = 0; j < kCoefs; ++j)
            GetCtrlVal(panel, CoefficientCtrl(p.channels[k], j), Coefficient(p.channels[k], j));
    const PanelRanges ranges = ComputeCurves(p);
    DrawCharts<double>(p, CurveChartCtrl, kCurveChartAll, ranges, Curve, SideBySideCurves(p));
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
}

void CalcCfCurvesData(int n) {
    const PanelDesc &p = DataPanelDesc(n);
    const int panel = kpanels.datapanel[p.number];
    uint16_t setPoints[kMaxChannels] = {};
    for (int k = 0; k < p.channelCount; ++k)
        GetCtrlVal(panel, SetPointWordCtrl(p.channels[k]), setPoints[k]);
    const PanelRanges ranges = ComputeFactors(p, setPoints);
    DrawCharts<uint16_t>(p, CfChartCtrl, kCfChartAll, ranges, Factors, SideBySideFactors(p));
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

void SendParaData(int n) {
    const PanelDesc &p = DataPanelDesc(n);
    const int panel = kpanels.datapanel[p.number];
    auto progress = [panel](double value) { SetCtrlVal(panel, kTransferProgress, value); };
    kelvralink::StageFactors(p, kdata.dataCfSendBuf);
    if (RunLinkOperation([&](sensor::Sensor::Done done) {
            kelvralink::WriteFactors(LinkSensor(), p, progress, SetPopupTimeout, std::move(done));
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
