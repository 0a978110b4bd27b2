// The data panels' buttons and temperature field: the transfer sequence,
// equation files, calculation steps and the choice of the visible chart.
#include "kelvra/coefstate.h"
#include "kelvra/compensation.h"
#include "kelvra/equation.h"
#include "kelvra/gui.h"
#include "kelvralink/kelvradata.h"
#include "kelvralink/sensorkinds.h"
#include "kelvralink/transfer.h"
#include "link/linkstate.h"
#include "platform/userint.h"

#include <algorithm>
#include <string>

using kelvralink::CalibrationCheck;
using kelvralink::CfChartCtrl;
using kelvralink::Curve;
using kelvralink::CurveChartCtrl;
using kelvralink::DataPanelDesc;
using kelvralink::DataPanelOfSensor;
using kelvralink::DataRole;
using kelvralink::DataRoleName;
using kelvralink::DescribeCheck;
using kelvralink::FamilyOfSensor;
using kelvralink::kCfChartAll;
using kelvralink::kCurveChartAll;
using kelvralink::kdata;
using kelvralink::kDataPanels;
using kelvralink::kpanels;
using kelvralink::kTransferStatus;
using kelvralink::ModelTextOfSensor;
using kelvralink::PanelDesc;
using kelvralink::SensorCodeFromVersion;
using kelvralink::TransferFrames;

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
    const std::string marked = check.degrees > 0 ? " \n The charts mark those degrees." : "";
    return GenericMessagePopup("Transfer", " " + DescribeCheck(check) + marked + " \n\n Transfer anyway? ",
                               "Yes", "No") == 1;
}

// A table of another family than the connected sensor reports is written only when
// the user says so; No is the default.
bool FamilyAgrees(int n) {
    const uint16_t reported = SensorCodeFromVersion(LinkSensor().version().c_str(), 0);
    const int reportedPanel = DataPanelOfSensor(reported);
    if (reportedPanel == 0 || reportedPanel == n) return true;
    const uint16_t chosen = DataPanelOfSensor(kdata.selSensor) == n ? kdata.selSensor : 0;
    const std::string family = chosen ? FamilyOfSensor(chosen) : "P" + std::to_string(n);
    return GenericMessagePopup("Transfer",
                               " The sensor reports " + ModelTextOfSensor(reported) + "; write the " +
                                   family + " table into it? ",
                               "Yes", "No") == 1;
}

// What a transfer cut short while writing left in the sensor: on the panel's state
// display, and said at once.
std::string PartialNote(int n, const kelvralink::TransferReach &reach) {
    if (!reach.writing) return {};
    const int total = TransferFrames(DataPanelDesc(n));
    const int stopped = std::min(reach.framesConfirmed + 1, total);
    MessagePopup("Transfer",
                 " The transfer stopped at data frame " + std::to_string(stopped) + " of " +
                     std::to_string(total) +
                     ". \n The sensor now holds part new, part old correction factors: " + "frames 1 to " +
                     std::to_string(stopped - 1) + " new, frame " + std::to_string(stopped) +
                     " perhaps, the rest as before. \n Transfer the table again before the sensor is used. ");
    return "Part new, part old: stopped at frame " + std::to_string(stopped) + " of " + std::to_string(total);
}

// Recalculates everything from the coefficients and writes the factors into the sensor.
void TransferSequence(int n) {
    const int panel = kpanels.datapanel[n];
    const char *button = DataRoleName(DataRole::ButtonSendCF);
    SetCtrlVal(panel, kTransferStatus, "");
    SetOperationButtonsDimmed(1);
    CalcCurvesData(n);
    CalcSetPointData(n);
    const CalibrationCheck check = CalcCfCurvesData(n);
    const bool send = (check.ok() || TransferAnyway(check)) && FamilyAgrees(n);
    if (send) {
        // Said once the questions are answered: only now does the transfer start.
        SetCtrlVal(panel, kTransferStatus, "TRY TO SAVE");
        SetCtrlAttribute(panel, button, ATTR_CTRL_COLOR, MakeColor(255, 0, 0));
        SendParaData(n);
        const bool complete = LinkSensor().echoOk();
        NoteCoefTransfer(n, complete, complete ? std::string() : PartialNote(n, LastTransferReach()));
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
