// Shared between the user-interface layer's own files; not for the programs.
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

PanelInfo *FindPanel(int panel);
ControlInfo *FindCtrl(int panel, Ctrl c, int *error);
// The widget of a control, or nullptr with *error set to a UiError.
QWidget *LookupCtrl(int panel, Ctrl c, int *error);
// Calls a control's callback for an event; result of the callback, or 0.
int FireCtrlEvent(ControlInfo &ctrl, int event, int eventData1 = 0, int eventData2 = 0);
// Wires a control's widget so that user input reaches its callback.
void ConnectCtrlSignals(ControlInfo &ctrl);
// The kind of control a widget is, from its class and properties.
CtrlStyle StyleOfWidget(QWidget *w);
// Adds a widget made at run time to a panel as a control; result: its id.
int NewCtrlOnPanel(PanelInfo &panel, QWidget *w, CtrlStyle style);
int SetCtrlTabPosition(PanelInfo &panel, int id, int position);
int GetCtrlTabPosition(const PanelInfo &panel, int id);

// ---- fields (fields.cpp) ----
class QSpinBox;
// A whole-number field that reads typed text by the number rule.
QSpinBox *NewWholeNumberBox(QWidget *parent);
// Why typed text is not a whole number the box takes, and the value it keeps
// (a field's, or a table cell's).
QString WholeNumberRefusal(const QSpinBox *box, const QString &typed, int kept, bool cell);
// Wires a text or number field: commit on Enter, changed or not, and after an edit
// when the user leaves it.
void ConnectField(ControlInfo &ctrl);
// A key reached a field before the field handles it.
void NoteFieldKey(ControlInfo &ctrl, int key);
// The field lost the focus for a reason: commits an edit not yet committed.
void CommitOnLeave(ControlInfo &ctrl, Qt::FocusReason reason);
// Commits the pending edit of the field with the focus, unless it is `except`
// (a button about to act on the fields).
void CommitFocusedField(const ControlInfo &except);
class QLineEdit;
// The width a line edit has for its text, inside its frame and margins.
int LineEditTextWidth(const QLineEdit *e);
// Value of a floating-point field: the last one typed and taken, or set.
double FieldNumber(const ControlInfo &ctrl);
void SetFieldNumber(ControlInfo &ctrl, double value);
// Sets a spin box, slide or ring; a value beyond its usual range or list is shown
// as it is and marked instead of being changed.
int SetWholeValue(ControlInfo &ctrl, double value);
// The user chose a value: back to the usual range once the value lies in it.
void KeepOrRestoreRange(ControlInfo &ctrl, int value);
// Tells the user, at the control (or at a part of it, in w's coordinates), why what
// was typed was not taken; the note stays however the user left the control.
void ShowRefusal(QWidget *w, const QString &why, const QRect &at = QRect());

// The index of the ring item carrying a value (int or text), or -1.
class QComboBox;
int RingIndexOf(QComboBox *box, const QVariant &value);
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
