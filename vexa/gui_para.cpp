// Callbacks of the memory selectors and of the parameter panel.
#include "platform/userint.h"
#include "vexa/gui.h"
#include "vexa/parapanel.h"
#include "vexa/paravars.h"
#include "vexa/program.h"
#include "vexa/setstate.h"

namespace vexaprogram {
namespace {

// A panel rule, then the set's standing, which an edit may have changed.
template <void (*Rule)()> void ThenShowState() {
    Rule();
    ShowSetState();
}

// The selectors of RAM, EEPROM and DATFILE, in that order.
constexpr const char *kSelectors[] = {"SelectRAM", "SelectEEPROM", "SelectFILE"};

// A selector switched on takes the target and switches the others off; one
// switched off falls back to RAM, so RAM cannot be switched off directly.
int SelectMemory(int panel, int control, int event, Memory memory) {
    if (event == EVENT_RIGHT_CLICK) ShowHelp(panel, control);
    if (event != EVENT_VAL_CHANGED) return 0;
    int on = 0;
    GetCtrlVal(vexa.mainpanel, kSelectors[memory - RAM], on);
    if (on) {
        vexa.target = memory;
        for (int m = RAM; m <= DATFILE; ++m)
            SetCtrlVal(vexa.mainpanel, kSelectors[m - RAM], m == memory ? 1 : 0);
    } else {
        vexa.target = RAM;
        SetCtrlVal(vexa.mainpanel, "SelectRAM", 1);
    }
    return 0;
}

void CheckOutmode() {
    GetCtrlVal(vexa.parapanel, "EditMaxNo", para.paraMaxNr);
    GetCtrlVal(vexa.parapanel, "EditOutmode", para.paraOutMode);
    CheckMaxVec();
}

void CheckAndColourRows() {
    CheckOutmode();
    ColourTeachRows();
}

int CBF_SelectRAM(int panel, int control, int event, void *, int, int) {
    return SelectMemory(panel, control, event, RAM);
}

int CBF_SelectEEPROM(int panel, int control, int event, void *, int, int) {
    return SelectMemory(panel, control, event, EEPROM);
}

int CBF_SelectFILE(int panel, int control, int event, void *, int, int) {
    return SelectMemory(panel, control, event, DATFILE);
}

int CBF_Evalmode(int panel, int control, int event, void *, int, int) {
    return CommitOrHelp(panel, control, event, ThenShowState<InitEval>);
}

int CBF_ExternTeach(int panel, int control, int event, void *, int, int) {
    return CommitOrHelp(panel, control, event, ThenShowState<InitExteach>);
}

int CBF_EditChannelMode(int panel, int control, int event, void *, int, int) {
    return CommitOrHelp(panel, control, event, ThenShowState<InitChannelMode>);
}

int CBF_EditTrigger(int panel, int control, int event, void *, int, int) {
    return CommitOrHelp(panel, control, event, ThenShowState<InitTrigger>);
}

int CBF_EditOutmode(int panel, int control, int event, void *, int, int) {
    return CommitOrHelp(panel, control, event, ThenShowState<CheckOutmode>);
}

int CBF_EditMaxNo(int panel, int control, int event, void *, int, int) {
    return CommitOrHelp(panel, control, event, ThenShowState<CheckAndColourRows>);
}

int CBF_EditMaxUp(int panel, int control, int event, void *, int, int) {
    return CommitOrHelp(panel, control, event, ShowSetState);
}

int CBF_EditMaxDown(int panel, int control, int event, void *, int, int) {
    return CommitOrHelp(panel, control, event, ShowSetState);
}

int CBF_EditAverage(int panel, int control, int event, void *, int, int) {
    return CommitOrHelp(panel, control, event, ShowSetState);
}

int CBF_EditIntlim(int panel, int control, int event, void *, int, int) {
    return CommitOrHelp(panel, control, event, ShowSetState);
}

int CBF_EditHold(int panel, int control, int event, void *, int, int) {
    return CommitOrHelp(panel, control, event, ShowSetState);
}

int CBF_SlidePower(int panel, int control, int event, void *, int, int) {
    return CommitOrHelp(panel, control, event, ShowSetState);
}

} // namespace

void RegisterParaCallbacks() {
    const NamedCallback callbacks[] = {
        {"CBF_SelectRAM", CBF_SelectRAM},     {"CBF_SelectEEPROM", CBF_SelectEEPROM},
        {"CBF_SelectFILE", CBF_SelectFILE},   {"CBF_Evalmode", CBF_Evalmode},
        {"CBF_ExternTeach", CBF_ExternTeach}, {"CBF_EditChannelMode", CBF_EditChannelMode},
        {"CBF_EditTrigger", CBF_EditTrigger}, {"CBF_EditOutmode", CBF_EditOutmode},
        {"CBF_EditMaxNo", CBF_EditMaxNo},     {"CBF_EditMaxUp", CBF_EditMaxUp},
        {"CBF_EditMaxDown", CBF_EditMaxDown}, {"CBF_EditAverage", CBF_EditAverage},
        {"CBF_EditIntlim", CBF_EditIntlim},   {"CBF_EditHold", CBF_EditHold},
        {"CBF_SlidePower", CBF_SlidePower},
    };
    RegisterAll(callbacks);
}

} // namespace vexaprogram
