// The data panels' buttons and temperature field: calculation steps and the
// choice of the visible chart.
#include "kelvra/compensation.h"
#include "kelvra/gui.h"
#include "kelvra/kelvradata.h"
#include "platform/userint.h"

#include <string>

namespace {

enum class ChartKind { Curve, Cf };
constexpr int kCombined = -1;

std::string ChartName(const PanelDesc &p, ChartKind kind, int which) {
    if (which == kCombined) return kind == ChartKind::Curve ? kCurveChartAll : kCfChartAll;
    return kind == ChartKind::Curve ? CurveChartCtrl(p.channels[which]) : CfChartCtrl(p.channels[which]);
}

// Shows one chart of a kind (a channel's, or the combined one) in the place the
// charts of that kind share, hiding the others. The charts keep their points.
void ShowChart(int n, ChartKind kind, int which) {
    const PanelDesc &p = DataPanelDesc(n);
    const int panel = kpanels.datapanel[p.number];
    for (int k = kCombined; k < p.channelCount; ++k)
        if (k != which) SetCtrlAttribute(panel, ChartName(p, kind, k), ATTR_VISIBLE, 0);
    SetCtrlAttribute(panel, ChartName(p, kind, which), ATTR_VISIBLE, 1);
}

} // namespace

int OnDataControl(int n, DataRole role, int event) {
    if (event != EVENT_COMMIT) return 0;
    const bool choice = DataPanelDesc(n).chartChoice;
    switch (role) {
    case DataRole::ButtonCalcCurves:
        if (choice) ShowChart(n, ChartKind::Curve, kCombined);
        CalcCurvesData(n);
        break;
    case DataRole::ButtonShowRed:
        ShowChart(n, ChartKind::Curve, 0);
        break;
    case DataRole::ButtonShowGreen:
        ShowChart(n, ChartKind::Curve, 1);
        break;
    case DataRole::ButtonShowBlue:
        ShowChart(n, ChartKind::Curve, 2);
        break;
    case DataRole::ButtonCalcCalib:
        if (choice) ShowChart(n, ChartKind::Cf, kCombined);
        CalcCfCurvesData(n);
        break;
    case DataRole::ButtonShowCfRed:
        ShowChart(n, ChartKind::Cf, 0);
        break;
    case DataRole::ButtonShowCfGreen:
        ShowChart(n, ChartKind::Cf, 1);
        break;
    case DataRole::ButtonShowCfBlue:
        ShowChart(n, ChartKind::Cf, 2);
        break;
    case DataRole::EditTemp:
        CalcSetPointData(n);
        break;
    default:
        break;
    }
    return 0;
}
