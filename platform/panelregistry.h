// The loaded panels and their controls, found by handle and role name, with the
// callbacks known by name and each panel's tab order. Shared by the
// user-interface layer's own files; not for the programs.
#pragma once

#include "platform/userint.h"

#include <QColor>
#include <QPointer>
#include <QWidget>
#include <map>
#include <string>
#include <vector>

// One control of a loaded panel.
struct ControlInfo {
    int panel = 0;
    int id = 0;
    std::string name;
    CtrlStyle style = CTRL_DECORATION;
    QPointer<QWidget> widget;
    CtrlCallbackPtr callback = nullptr;
    void *callbackData = nullptr;
    int mode = VAL_HOT;
    int selectionStart = 0;
    // Field commit state (fields.cpp): typed since the last commit, Enter pressed,
    // commit already fired for this Enter; the last valid floating-point value.
    bool edited = false;
    bool confirming = false;
    bool committed = false;
    double number = 0;
    // A value set beyond the usual range or list (fields.cpp) is held as it is and
    // marked: the range widened to hold it, the usual range, look and help kept.
    bool widened = false;
    int usualMin = 0;
    int usualMax = 0;
    bool marked = false;
    QString usualTip;
    QPalette usualPalette;
};

// One loaded panel with its controls; ids index `controls` from 1.
struct PanelInfo {
    int handle = 0;
    int parent = 0;
    QPointer<QWidget> widget;
    CtrlCallbackPtr callback = nullptr;
    void *callbackData = nullptr;
    std::vector<ControlInfo> controls; // controls[id - 1]; a discarded control keeps its slot
    std::map<std::string, int> ids;    // role name -> id
    std::vector<int> tabOrder;         // ids in tab order
    bool placed = false;               // a window: given its place on the screen
};

// ---- the loaded panels ----
PanelInfo *FindPanel(int panel);
ControlInfo *FindCtrl(int panel, Ctrl c, int *error);
// The widget of a control, or nullptr with *error set to a UiError.
QWidget *LookupCtrl(int panel, Ctrl c, int *error);
// Calls a control's callback for an event; result of the callback, or 0.
int FireCtrlEvent(ControlInfo &ctrl, int event, int eventData1 = 0, int eventData2 = 0);
// Every loaded panel by handle.
const std::map<int, PanelInfo> &LoadedPanels();
// Keeps a freshly loaded panel under a new handle; the stored record.
PanelInfo &AddPanel(int parent, QWidget *widget);
// Forgets a panel; its widget is the caller's to delete.
void ForgetPanel(int panel);
// Adds a widget to a panel as its next control, under its object name, last in tab
// order. The record returned stays valid until the panel gains another control.
ControlInfo &AddCtrl(PanelInfo &panel, QWidget *w, CtrlStyle style);
// The function registered under a resource file's callback name, or nullptr.
CtrlCallbackPtr CallbackByName(const QVariant &name);
// Gives the panel's widgets the tab order that the panel keeps.
void ApplyTabOrder(PanelInfo &panel);
int SetCtrlTabPosition(PanelInfo &panel, int id, int position);
int GetCtrlTabPosition(const PanelInfo &panel, int id);

// A 0xRRGGBB colour as Qt's.
inline QColor ToQColor(int rgb) {
    return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

// A control's widget as kind W, or nullptr with *err set.
template <typename W> W *As(int panel, Ctrl c, int *err) {
    QWidget *w = LookupCtrl(panel, c, err);
    if (!w) return nullptr;
    auto *typed = qobject_cast<W *>(w);
    if (!typed) *err = UIE_WRONG_TYPE;
    return typed;
}

// Runs f on a control's widget of kind W; the lookup error otherwise.
template <typename W, typename F> int WithCtrl(int panel, Ctrl c, F f) {
    int err;
    W *w = As<W>(panel, c, &err);
    return w ? f(w) : err;
}
