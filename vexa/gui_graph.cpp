// Callbacks of the graph panel and of the data panel's button that brings it up.
#include "platform/userint.h"
#include "vexa/graphpanel.h"
#include "vexa/gui.h"
#include "vexa/program.h"

namespace vexaprogram {
namespace {

// The graph panel and the data panel share one place on the main panel.
void ShowGraphPanel() {
    DisplayPanel(vexa.graphpanel);
    HidePanel(vexa.datapanel);
}

void ShowDataPanel() {
    DisplayPanel(vexa.datapanel);
    HidePanel(vexa.graphpanel);
}

int CBF_ButtonShowGraph(int panel, int control, int event, void *, int, int) {
    return CommitOrHelp(panel, control, event, ShowGraphPanel);
}

int CBF_ButtonGpClose(int panel, int control, int event, void *, int, int) {
    return CommitOrHelp(panel, control, event, ShowDataPanel);
}

int CBF_EditSignal(int panel, int control, int event, void *, int, int) {
    return CommitOrHelp(panel, control, event, SetGraphVisible);
}

} // namespace

void RegisterGraphCallbacks() {
    const NamedCallback callbacks[] = {
        {"CBF_ButtonShowGraph", CBF_ButtonShowGraph},
        {"CBF_ButtonGpClose", CBF_ButtonGpClose},
        {"CBF_EditSignal", CBF_EditSignal},
        {"CBF_PanelGraphGraph", HelpOnly},
    };
    RegisterAll(callbacks);
}

} // namespace vexaprogram
