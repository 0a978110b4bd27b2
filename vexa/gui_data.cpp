// Callbacks of the data panel: help texts, the density chart's zoom, the view
// selector and the big vector display.
#include "platform/userint.h"
#include "vexa/gui.h"
#include "vexa/livedata.h"
#include "vexa/program.h"

namespace vexaprogram {
namespace {

int CBF_DispVec(int panel, int control, int event, void *, int, int) {
    if (event == EVENT_LEFT_DOUBLE_CLICK) DisplayPanel(vexa.colbigpanel);
    if (event == EVENT_RIGHT_CLICK) ShowHelp(panel, control);
    return 0;
}

// A click fixes the axis, a double click (which passes through the click first) zooms.
int CBF_GraphDensity(int panel, int control, int event, void *, int, int) {
    if (event == EVENT_LEFT_CLICK) live.scale = 0;
    if (event == EVENT_LEFT_DOUBLE_CLICK) live.scale = 1;
    if (event == EVENT_RIGHT_CLICK) ShowHelp(panel, control);
    return 0;
}

int CBF_SelectSource(int panel, int control, int event, void *, int, int) {
    return CommitOrHelp(panel, control, event, DispVis);
}

} // namespace

void RegisterDataCallbacks() {
    const NamedCallback callbacks[] = {
        {"CBF_DispDensity", HelpOnly},
        {"CBF_DispSym1", HelpOnly},
        {"CBF_DispSym2", HelpOnly},
        {"CBF_DispChL", HelpOnly},
        {"CBF_DispChC", HelpOnly},
        {"CBF_DispChR", HelpOnly},
        {"CBF_DispAktMaxChL", HelpOnly},
        {"CBF_DispAktMaxChC", HelpOnly},
        {"CBF_DispAktMaxChR", HelpOnly},
        {"CBF_BarChL", HelpOnly},
        {"CBF_BarChC", HelpOnly},
        {"CBF_BarChR", HelpOnly},
        {"CBF_DispStatus", HelpOnly},
        {"CBF_GraphRaw1", HelpOnly},
        {"CBF_GraphSym1", HelpOnly},
        {"CBF_GraphSym2", HelpOnly},
        {"CBF_DispVec", CBF_DispVec},
        {"CBF_GraphDensity", CBF_GraphDensity},
        {"CBF_SelectSource", CBF_SelectSource},
    };
    RegisterAll(callbacks);
}

} // namespace vexaprogram
