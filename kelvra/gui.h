// KelvraV12's control callbacks: the main panel's, the connection panel's
// close, and every data panel's buttons and temperature field.
#pragma once

#include "kelvralink/paneltable.h"
#include "link/helptext.h"

namespace kelvraprogram {

constexpr const char *kEditSelectSensor = "EditSelectSensor";

// The help texts of the program's own controls (the link keeps those of the connection panel).
programlink::HelpTable KelvraHelpTexts();

// Makes every KelvraV12 callback known by the name the panel resource gives it.
void RegisterKelvraCallbacks();

// What a data panel's control does on commit; every other event is ignored.
int OnDataControl(int n, kelvralink::DataRole role, int event);

#define KELVRA_CALLBACK_ARGS                                                                                 \
    int panel, int control, int event, void *callbackData, int eventData1, int eventData2

// Closing the main panel ends the event loop.
int CBF_MAINP(KELVRA_CALLBACK_ARGS);
// Every coefficient field of a data panel: a committed value changes where the panel stands.
int CBF_DataCoefficient(KELVRA_CALLBACK_ARGS);
// The coefficient state and check displays of every data panel explain themselves on a right click.
int CBF_DispCoefState(KELVRA_CALLBACK_ARGS);
// The sensor selector shows its sensor's data panel, and explains itself on a right click.
int CBF_EditSelectSensor(KELVRA_CALLBACK_ARGS);
// The export button writes the shown data panel into a CSV file, and explains itself on a right click.
int CBF_ButtonExport(KELVRA_CALLBACK_ARGS);
// The status display only shows.
int CBF_DispStatus(KELVRA_CALLBACK_ARGS);
// Closing the connection panel hides it.
int CBF_INTERFACEP(KELVRA_CALLBACK_ARGS);

// The data panels' callbacks as X(panel number, role), for the controls each
// panel has: P3 and P6 choose no charts.
// clang-format off
#define KELVRA_PANEL_ROLES(X, n) \
    X(n, ButtonSendCF) X(n, ButtonSaveEquation) X(n, ButtonGetEquation) \
    X(n, ButtonCalcCurves) X(n, ButtonCalcCalib) X(n, EditTemp)
#define KELVRA_CHOICE_ROLES(X, n) \
    X(n, ButtonShowRed) X(n, ButtonShowGreen) X(n, ButtonShowBlue) \
    X(n, ButtonShowCfRed) X(n, ButtonShowCfGreen) X(n, ButtonShowCfBlue)
#define KELVRA_DATA_CALLBACKS(X) \
    KELVRA_PANEL_ROLES(X, 1) KELVRA_CHOICE_ROLES(X, 1) \
    KELVRA_PANEL_ROLES(X, 2) KELVRA_CHOICE_ROLES(X, 2) \
    KELVRA_PANEL_ROLES(X, 3) \
    KELVRA_PANEL_ROLES(X, 4) KELVRA_CHOICE_ROLES(X, 4) \
    KELVRA_PANEL_ROLES(X, 5) KELVRA_CHOICE_ROLES(X, 5) \
    KELVRA_PANEL_ROLES(X, 6)
// clang-format on

// CBF_DataP1ButtonSendCF .. CBF_DataP6EditTemp, and the panels' own CBF_DATAP1 .. CBF_DATAP6.
#define KELVRA_DECLARE_DATA_CALLBACK(n, role) int CBF_DataP##n##role(KELVRA_CALLBACK_ARGS);
KELVRA_DATA_CALLBACKS(KELVRA_DECLARE_DATA_CALLBACK)
#undef KELVRA_DECLARE_DATA_CALLBACK
int CBF_DATAP1(KELVRA_CALLBACK_ARGS);
int CBF_DATAP2(KELVRA_CALLBACK_ARGS);
int CBF_DATAP3(KELVRA_CALLBACK_ARGS);
int CBF_DATAP4(KELVRA_CALLBACK_ARGS);
int CBF_DATAP5(KELVRA_CALLBACK_ARGS);
int CBF_DATAP6(KELVRA_CALLBACK_ARGS);

} // namespace kelvraprogram
