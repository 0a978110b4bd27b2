// The data panels' buttons and temperature field: the transfer sequence,
// equation files, calculation steps and the choice of the visible chart.
#include "kelvra/coefstate.h"
#include "kelvra/compensation.h"
#include "kelvra/equation.h"
#include "kelvra/gui.h"
#include "kelvralink/kelvradata.h"
#include "kelvralink/transfer.h"
#include "link/linkstate.h"
#include "platform/userint.h"

#include <string>

using namespace programlink;

namespace kelvraprogram {
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

// The buttons that start a transfer or an equation-file operation, on every data panel.
constexpr DataRole kOperationButtons[] = {DataRole::ButtonSendCF, DataRole::ButtonSaveEquation,
                                          DataRole::ButtonGetEquation};

// A transfer's echo waits run user input, and a second transfer or a file
// dialog started meanwhile would break into it: dim what could start one.
void SetOperationButtonsDimmed(int dimmed) {
    for (int n = 1; n <= kDataPanels; ++n)
        for (DataRole r : kOperationButtons)
            SetCtrlAttribute(kpanels.datapanel[n], DataRoleName(r), ATTR_DIMMED, dimmed);
}

// Factors that cannot be right go to the sensor only when the user says so; No is the default.
bool TransferAnyway(const CalibrationCheck &check) {
    return GenericMessagePopup("Transfer",
                               " " + DescribeCheck(check) +
                                   " \n The charts mark those degrees. \n\n Transfer anyway? ",
                               "Yes", "No") == 1;
}

// Recalculates everything from the coefficients and writes the factors into the sensor.
void TransferSequence(int n) {
    const int panel = kpanels.datapanel[n];
    const char *button = DataRoleName(DataRole::ButtonSendCF);
    SetCtrlVal(panel, kTransferStatus, "TRY TO SAVE");
    SetCtrlAttribute(panel, button, ATTR_CTRL_COLOR, MakeColor(255, 0, 0));
    SetOperationButtonsDimmed(1);
    CalcCurvesData(n);
    CalcSetPointData(n);
    const CalibrationCheck check = CalcCfCurvesData(n);
    const bool send = check.ok() || TransferAnyway(check);
    if (send) {
        SendParaData(n);
        NoteCoefTransfer(n, LinkSensor().echoOk());
    }
    SetOperationButtonsDimmed(0);
    SetCtrlVal(panel, kTransferStatus, !send ? "NOT SENT" : LinkSensor().echoOk() ? "SUCCESS" : "FAILURE");
    SetCtrlAttribute(panel, button, ATTR_CTRL_COLOR, MakeColor(224, 224, 224));
}

// The set points are the values of the panel's curves: curves of other coefficients,
// or none yet, are calculated first, so that no set point silently stays at 0.
void ConfirmTemperature(int n) {
    if (!CurvesAreOfPanel(n)) CalcCurvesData(n);
    CalcSetPointData(n);
}

} // namespace

int OnDataControl(int n, DataRole role, int event) {
    if (event != EVENT_COMMIT) return 0;
    const bool choice = DataPanelDesc(n).chartChoice;
    switch (role) {
    case DataRole::ButtonSendCF:
        TransferSequence(n);
        break;
    case DataRole::ButtonSaveEquation:
        if (SaveEquation(n)) NoteCoefFile(n, kdata.file_name);
        break;
    case DataRole::ButtonGetEquation:
        if (GetEquation(n)) NoteCoefFile(n, kdata.file_name);
        break;
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
        ConfirmTemperature(n);
        ShowCoefState(n);
        break;
    default:
        break;
    }
    return 0;
}

} // namespace kelvraprogram
