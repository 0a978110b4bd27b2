#include "kelvra/gui.h"

#include "kelvra/calexport.h"
#include "kelvra/coefstate.h"
#include "kelvra/startup.h"
#include "kelvralink/kelvradata.h"
#include "platform/userint.h"

using kelvralink::CoefficientCallbackName;
using kelvralink::DataCallbackName;
using kelvralink::DataPanelCallbackName;
using kelvralink::DataRole;
using kelvralink::kCalCheck;
using kelvralink::kCalCheckCallback;
using kelvralink::kCoefState;
using kelvralink::kCoefStateCallback;
using kelvralink::kDataPanels;
using kelvralink::kpanels;

using namespace programlink;

namespace kelvraprogram {
namespace {

constexpr const char *kCoefStateHelp = " Where the coefficients and the reference temperature stand: \n"
                                       " Sensor and panel agree: the last transfer was made from them. \n"
                                       " As in file: the equation file saved or loaded last holds them. \n"
                                       " Changed, not sent: only the panel holds them. ";

constexpr const char *kCalCheckHelp =
    " How many of the 100 degrees hold values that cannot be right (after a calculation): a curve value of "
    "0, \n"
    " below 0, not a number or infinite, or a correction factor above 65535, which wraps \n"
    " around in the sensor. The charts mark those degrees; a transfer asks before it writes them. ";

// Right-click help, titled "INFO!". Of the data panels' controls only the state and
// check displays explain themselves.
const HelpText kKelvraHelp[] = {
    {&kpanels.mainpanel, kEditSelectSensor, "Select the sensor for temperature compensation."},
    {&kpanels.mainpanel, "ButtonExport",
     "Export the shown data panel (coefficients, set points, curves and correction factors) "
     "as a CSV file.\nThe picture button at a chart's top right corner saves that chart as a PNG or SVG "
     "picture."},
    {&kpanels.datapanel[1], kCoefState, kCoefStateHelp},
    {&kpanels.datapanel[2], kCoefState, kCoefStateHelp},
    {&kpanels.datapanel[3], kCoefState, kCoefStateHelp},
    {&kpanels.datapanel[4], kCoefState, kCoefStateHelp},
    {&kpanels.datapanel[5], kCoefState, kCoefStateHelp},
    {&kpanels.datapanel[6], kCoefState, kCoefStateHelp},
    {&kpanels.datapanel[1], kCalCheck, kCalCheckHelp},
    {&kpanels.datapanel[2], kCalCheck, kCalCheckHelp},
    {&kpanels.datapanel[3], kCalCheck, kCalCheckHelp},
    {&kpanels.datapanel[4], kCalCheck, kCalCheckHelp},
    {&kpanels.datapanel[5], kCalCheck, kCalCheckHelp},
    {&kpanels.datapanel[6], kCalCheck, kCalCheckHelp},
};

} // namespace

HelpTable KelvraHelpTexts() {
    return kKelvraHelp;
}

int CBF_MAINP(int, int, int event, void *, int, int) {
    if (event == EVENT_CLOSE && KelvraMayQuit()) QuitUserInterface(0);
    return 0;
}

// Every coefficient field of a data panel: a committed value changes where the panel stands.
int CBF_DataCoefficient(int panel, int, int event, void *, int, int) {
    if (event != EVENT_COMMIT) return 0;
    for (int n = 1; n <= kDataPanels; ++n)
        if (kpanels.datapanel[n] == panel) ShowCoefState(n);
    return 0;
}

int CBF_EditSelectSensor(int panel, int control, int event, void *, int, int) {
    if (event == EVENT_COMMIT) ShowChildPanel();
    if (event == EVENT_RIGHT_CLICK) ShowHelpText(kKelvraHelp, panel, control);
    return 0;
}

int CBF_ButtonExport(int panel, int control, int event, void *, int, int) {
    if (event == EVENT_COMMIT) ExportDataPanel();
    if (event == EVENT_RIGHT_CLICK) ShowHelpText(kKelvraHelp, panel, control);
    return 0;
}

int CBF_DispCoefState(int panel, int control, int event, void *, int, int) {
    if (event == EVENT_RIGHT_CLICK) ShowHelpText(kKelvraHelp, panel, control);
    return 0;
}

int CBF_DispStatus(int, int, int, void *, int, int) {
    return 0;
}

int CBF_INTERFACEP(int, int, int event, void *, int, int) {
    if (event == EVENT_CLOSE) HidePanel(kpanels.interfacepanel);
    return 0;
}

// The data panels' controls have callbacks of their own; the panels need none.
#define KELVRA_DATA_PANEL_CALLBACK(n)                                                                        \
    int CBF_DATAP##n(int, int, int, void *, int, int) {                                                      \
        return 0;                                                                                            \
    }
KELVRA_DATA_PANEL_CALLBACK(1)
KELVRA_DATA_PANEL_CALLBACK(2)
KELVRA_DATA_PANEL_CALLBACK(3)
KELVRA_DATA_PANEL_CALLBACK(4)
KELVRA_DATA_PANEL_CALLBACK(5)
KELVRA_DATA_PANEL_CALLBACK(6)

#define KELVRA_DEFINE_DATA_CALLBACK(n, role)                                                                 \
    int CBF_DataP##n##role(int, int, int event, void *, int, int) {                                          \
        return OnDataControl(n, DataRole::role, event);                                                      \
    }
KELVRA_DATA_CALLBACKS(KELVRA_DEFINE_DATA_CALLBACK)

void RegisterKelvraCallbacks() {
    RegisterCallback("CBF_MAINP", CBF_MAINP);
    RegisterCallback("CBF_EditSelectSensor", CBF_EditSelectSensor);
    RegisterCallback("CBF_DispStatus", CBF_DispStatus);
    RegisterCallback("CBF_ButtonExport", CBF_ButtonExport);
    RegisterCallback(kCoefStateCallback, CBF_DispCoefState);
    RegisterCallback(kCalCheckCallback, CBF_DispCoefState); // help on a right click, like the state
    RegisterCallback("CBF_INTERFACEP", CBF_INTERFACEP);
    const CtrlCallbackPtr panelCallbacks[kDataPanels] = {CBF_DATAP1, CBF_DATAP2, CBF_DATAP3,
                                                         CBF_DATAP4, CBF_DATAP5, CBF_DATAP6};
    for (int n = 1; n <= kDataPanels; ++n) {
        RegisterCallback(DataPanelCallbackName(n), panelCallbacks[n - 1]);
        RegisterCallback(CoefficientCallbackName(n), CBF_DataCoefficient);
    }
#define KELVRA_REGISTER_DATA_CALLBACK(n, role)                                                               \
    RegisterCallback(DataCallbackName(n, DataRole::role), CBF_DataP##n##role);
    KELVRA_DATA_CALLBACKS(KELVRA_REGISTER_DATA_CALLBACK)
#undef KELVRA_REGISTER_DATA_CALLBACK
}

} // namespace kelvraprogram
