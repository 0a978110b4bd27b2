// Shared between the user-interface layer's own files; not for the programs.
#pragma once

#include "platform/userint.h"

class QWidget;

// The widget of a control, or nullptr with *error set to a UiError.
QWidget *LookupCtrl(int panel, Ctrl c, int *error);
