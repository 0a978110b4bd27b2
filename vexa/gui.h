// VexaV32's control and panel callbacks, bound by name from VexaV32.uir.
#pragma once

#include "platform/userint.h"

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

// Shows a help text in a message popup titled "INFO!".
void ShowHelp(const char *text);
// The common callback pattern: action on commit, help text on a right click.
int CommitOrHelp(int event, const char *help, void (*action)());

inline constexpr char kInfoTitle[] = "INFO!";
inline constexpr char kInfoTitleLower[] = "Info"; // a few graphs' help popups

// The callback of a control that has nothing to do but answer a right click with its help text.
template <const char *Title, const char *Text> int HelpOnly(int, int, int event, void *, int, int) {
    if (event == EVENT_RIGHT_CLICK) MessagePopup(Title, Text);
    return 0;
}

// Registers each callback of a list under its name.
template <std::size_t N> void RegisterAll(const NamedCallback (&callbacks)[N]) {
    for (const NamedCallback &c : callbacks)
        RegisterCallback(c.name, c.function);
}
