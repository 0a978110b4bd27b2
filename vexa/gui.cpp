// The helpers all callbacks share, and the registration of every callback by name.
#include "vexa/gui.h"

#include "platform/userint.h"

void ShowHelp(const char *text) {
    MessagePopup(kInfoTitle, text);
}

int CommitOrHelp(int event, const char *help, void (*action)()) {
    if (event == EVENT_COMMIT && action) action();
    if (event == EVENT_RIGHT_CLICK) ShowHelp(help);
    return 0;
}

void RegisterVexaCallbacks() {
    RegisterMainCallbacks();
    RegisterParaCallbacks();
    RegisterDataCallbacks();
    RegisterTeachCallbacks();
    RegisterRecorderCallbacks();
    RegisterGraphCallbacks();
}
