// Callbacks of the teach panel.
#include "platform/userint.h"
#include "vexa/gui.h"
#include "vexa/livedata.h"
#include "vexa/program.h"
#include "vexa/teachtable.h"

namespace {

constexpr char InfoButtonTeachDataTo[] = " Current measured values are assigned to the \n"
                                         " TEACH TABLE row selected in the No.: function field.";
constexpr char InfoButtonResetTable[] = " Reset the TEACH TABLE. \n All cells are set to 1.";
constexpr char InfoEditNo[] = " Select the current number of a row in the TEACH TABLE for TEACH DATA TO.";
constexpr char InfoRadioInc[] = " Auto increment of Edit Field No.:";

void TeachAndShowBands() {
    TeachDataTo();
    SetToleranceRangeSymmetry();
}

// Only a person's edit raises the event; values the program writes do not stop polling.
int CBF_GridCtt(int, int, int event, void *, int, int) {
    if (event == EVENT_VAL_CHANGED) vexa.poll = 0;
    return 0;
}

int CBF_ButtonTeachDataTo(int, int, int event, void *, int, int) {
    return CommitOrHelp(event, InfoButtonTeachDataTo, TeachAndShowBands);
}

int CBF_ButtonResetTable(int, int, int event, void *, int, int) {
    return CommitOrHelp(event, InfoButtonResetTable, ResetTable);
}

int CBF_EditNo(int, int, int event, void *, int, int) {
    return CommitOrHelp(event, InfoEditNo, SetToleranceRangeSymmetry);
}

} // namespace

void RegisterTeachCallbacks() {
    const NamedCallback callbacks[] = {
        {"CBF_GridCtt", CBF_GridCtt},
        {"CBF_ButtonTeachDataTo", CBF_ButtonTeachDataTo},
        {"CBF_ButtonResetTable", CBF_ButtonResetTable},
        {"CBF_EditNo", CBF_EditNo},
        {"CBF_RadioInc", HelpOnly<kInfoTitle, InfoRadioInc>},
    };
    RegisterAll(callbacks);
}
