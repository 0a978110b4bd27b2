// VexaV32's control and panel callbacks, bound by name from VexaV32.uir.
#pragma once

#include "link/helptext.h"
#include "platform/userint.h"

namespace vexaprogram {

// A callback and the name the resource file gives it.
struct NamedCallback {
    const char *name;
    CtrlCallbackPtr function;
};

// Makes every callback of the program known by its name; call before loading the panels.
void RegisterVexaCallbacks();
// The callbacks of the main panel, the panels themselves and the sensor ID field.
void RegisterMainCallbacks();
// The callbacks of the memory selectors and the parameter panel.
void RegisterParaCallbacks();
// The callbacks of the data panel and the big vector display.
void RegisterDataCallbacks();
// The callbacks of the teach panel.
void RegisterTeachCallbacks();
// The callbacks of the recorder panel.
void RegisterRecorderCallbacks();
// The callbacks of the graph panel and of the button that brings it up.
void RegisterGraphCallbacks();

// The help texts of the program's own controls (the link keeps those of the connection panel).
programlink::HelpTable VexaHelpTexts();
// Shows the control's help text in its popup.
void ShowHelp(int panel, int control);
// The common callback pattern: action on commit, help text on a right click.
int CommitOrHelp(int panel, int control, int event, void (*action)());
// The callback of a control that has nothing to do but answer a right click with its help text.
int HelpOnly(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);

// Registers each callback of a list under its name.
template <std::size_t N> void RegisterAll(const NamedCallback (&callbacks)[N]) {
    for (const NamedCallback &c : callbacks)
        RegisterCallback(c.name, c.function);
}

} // namespace vexaprogram
