// Callbacks of the graph panel and of the data panel's button that brings it up.
#include "platform/userint.h"
#include "vexa/graphpanel.h"
#include "vexa/gui.h"
#include "vexa/program.h"

namespace {

constexpr char InfoButtonShowGraph[] = " Switch to a graphical display for each signal.";
constexpr char InfoButtonGpClose[] = " Close PANEL and return to MAIN PANEL. ";
constexpr char InfoEditSignal[] = " Select Signal to be displayed in the graph. ";
constexpr char InfoPanelGraphGraph[] = " Displays the signals selected with SIGNAL. ";

// The graph panel and the data panel share one place on the main panel.
void ShowGraphPanel() {
    DisplayPanel(vexa.graphpanel);
    HidePanel(vexa.datapanel);
}

void ShowDataPanel() {
    DisplayPanel(vexa.datapanel);
    HidePanel(vexa.graphpanel);
}

int CBF_ButtonShowGraph(int, int, int event, void *, int, int) {
    return CommitOrHelp(event, InfoButtonShowGraph, ShowGraphPanel);
}

int CBF_ButtonGpClose(int, int, int event, void *, int, int) {
    return CommitOrHelp(event, InfoButtonGpClose, ShowDataPanel);
}

int CBF_EditSignal(int, int, int event, void *, int, int) {
    return CommitOrHelp(event, InfoEditSignal, SetGraphVisible);
}

} // namespace

void RegisterGraphCallbacks() {
    const NamedCallback callbacks[] = {
        {"CBF_ButtonShowGraph", CBF_ButtonShowGraph},
        {"CBF_ButtonGpClose", CBF_ButtonGpClose},
        {"CBF_EditSignal", CBF_EditSignal},
        {"CBF_PanelGraphGraph", HelpOnly<kInfoTitle, InfoPanelGraphGraph>},
    };
    RegisterAll(callbacks);
}
