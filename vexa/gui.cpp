// The helpers all callbacks share, and the registration of every callback by name.
#include "vexa/gui.h"

#include "platform/userint.h"

using namespace programlink;

namespace vexaprogram {

void ShowHelp(int panel, int control) {
    ShowHelpText(VexaHelpTexts(), panel, control);
}

int CommitOrHelp(int panel, int control, int event, void (*action)()) {
    if (event == EVENT_COMMIT && action) action();
    if (event == EVENT_RIGHT_CLICK) ShowHelp(panel, control);
    return 0;
}

int HelpOnly(int panel, int control, int event, void *, int, int) {
    return CommitOrHelp(panel, control, event, nullptr);
}

void RegisterVexaCallbacks() {
    RegisterMainCallbacks();
    RegisterParaCallbacks();
    RegisterDataCallbacks();
    RegisterTeachCallbacks();
    RegisterRecorderCallbacks();
    RegisterGraphCallbacks();
}

} // namespace vexaprogram
