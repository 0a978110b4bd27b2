// The helpers all callbacks share, and the registration of every callback by name.
#include "vexa/gui.h"

#include "platform/userint.h"

void ShowHelp(const char *text) {
    MessagePopup("INFO!", text);
}

int CommitOrHelp(int event, const char *help, void (*action)()) {
    if (event == EVENT_COMMIT && action) action();
    if (event == EVENT_RIGHT_CLICK) ShowHelp(help);
    return 0;
}

void RegisterVexaCallbacks() {
    const struct {
        const char *name;
        CtrlCallbackPtr function;
    } callbacks[] = {
        {"CBF_MAINP", CBF_MAINP},
        {"CBF_COLBIGP", CBF_COLBIGP},
        {"CBF_ButtonPara", CBF_ButtonPara},
        {"CBF_ButtonTeachTable", CBF_ButtonTeachTable},
        {"CBF_ButtonRecorder", CBF_ButtonRecorder},
        {"CBF_ButtonSend", CBF_ButtonSend},
        {"CBF_ButtonGet", CBF_ButtonGet},
        {"CBF_ButtonGo", CBF_ButtonGo},
        {"CBF_ButtonStop", CBF_ButtonStop},
        {"CBF_EditID", CBF_EditID},
        {"CBF_SelectRAM", CBF_SelectRAM},
        {"CBF_SelectEEPROM", CBF_SelectEEPROM},
        {"CBF_SelectFILE", CBF_SelectFILE},
        {"CBF_Evalmode", CBF_Evalmode},
        {"CBF_ExternTeach", CBF_ExternTeach},
        {"CBF_EditChannelMode", CBF_EditChannelMode},
        {"CBF_EditTrigger", CBF_EditTrigger},
        {"CBF_EditOutmode", CBF_EditOutmode},
        {"CBF_EditMaxNo", CBF_EditMaxNo},
        {"CBF_EditMaxUp", CBF_EditMaxUp},
        {"CBF_EditMaxDown", CBF_EditMaxDown},
        {"CBF_EditAverage", CBF_EditAverage},
        {"CBF_EditIntlim", CBF_EditIntlim},
        {"CBF_EditHold", CBF_EditHold},
        {"CBF_SlidePower", CBF_SlidePower},
    };
    for (const auto &c : callbacks)
        RegisterCallback(c.name, c.function);
}
