// How the user's actions on panels and controls reach the program's callbacks.
#pragma once

#include "platform/panelregistry.h"

// Routes a panel's own close, mouse and context-menu events to its callback.
void WatchPanel(QWidget *panel);
// Wires a control so that the user's changes, clicks, keys and focus changes on it
// and on its parts reach its callback.
void ConnectCtrl(ControlInfo &ctrl);
