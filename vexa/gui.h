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

// Shows a help text in a message popup titled "INFO!".
void ShowHelp(const char *text);
// The common callback pattern: action on commit, help text on a right click.
int CommitOrHelp(int event, const char *help, void (*action)());
