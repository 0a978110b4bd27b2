// Callbacks of the teach panel.
#include "platform/userint.h"
#include "vexa/gui.h"
#include "vexa/livedata.h"
#include "vexa/program.h"
#include "vexa/setstate.h"
#include "vexa/teachtable.h"

namespace vexaprogram {
namespace {

void TeachAndShowBands() {
    TeachDataTo();
    SetToleranceRangeSymmetry();
    ShowSetState();
}

void ResetAndShowState() {
    ResetTable();
    ShowSetState();
}

// Only a person's edit raises the event; values the program writes do not stop polling.
int CBF_GridCtt(int, int, int event, void *, int, int) {
    if (event != EVENT_VAL_CHANGED) return 0;
    vexa.poll = 0;
    ShowSetState();
    return 0;
}

int CBF_ButtonTeachDataTo(int panel, int control, int event, void *, int, int) {
    return CommitOrHelp(panel, control, event, TeachAndShowBands);
}

int CBF_ButtonResetTable(int panel, int control, int event, void *, int, int) {
    return CommitOrHelp(panel, control, event, ResetAndShowState);
}

int CBF_EditNo(int panel, int control, int event, void *, int, int) {
    return CommitOrHelp(panel, control, event, SetToleranceRangeSymmetry);
}

} // namespace

void RegisterTeachCallbacks() {
    const NamedCallback callbacks[] = {
        {"CBF_GridCtt", CBF_GridCtt},
        {"CBF_ButtonTeachDataTo", CBF_ButtonTeachDataTo},
        {"CBF_ButtonResetTable", CBF_ButtonResetTable},
        {"CBF_EditNo", CBF_EditNo},
        {"CBF_RadioInc", HelpOnly},
    };
    RegisterAll(callbacks);
}

} // namespace vexaprogram
