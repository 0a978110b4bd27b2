// Fields: the numeric and text controls a user types into, their commits, and the
// values beyond a control's usual range that are shown as they are.
#pragma once

#include "platform/panelregistry.h"

#include <QRect>
#include <QString>

class QLineEdit;
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
