// Controls: the kinds there are, and what a kind made at run time does of its own.
#pragma once

#include "platform/panelregistry.h"

// The kind of control a widget is, from its class and properties.
CtrlStyle StyleOfWidget(QWidget *w);
// Text messages made at run time grow with their text, as labels should.
void SizeToText(QWidget *w);
