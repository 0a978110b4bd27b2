// Control values: what a control shows, read and set by the program. Values set
// here never raise events.
#include "platform/controls.h"
#include "platform/fields.h"
#include "platform/listsandtables.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <cmath>

namespace {

// Whole-number value of a numeric kind of control.
bool NumericValue(const ControlInfo &c, double &value) {
    QWidget *w = c.widget;
    if (auto *s = qobject_cast<QSpinBox *>(w))
        value = s->value();
    else if (qobject_cast<QLineEdit *>(w) && c.style == CTRL_NUMERIC_DOUBLE)
        value = FieldNumber(c);
    else if (auto *sl = qobject_cast<QSlider *>(w))
        value = sl->value();
    else if (auto *pb = qobject_cast<QProgressBar *>(w))
        value = pb->value();
    else if (auto *b = qobject_cast<QAbstractButton *>(w); b && b->isCheckable())
        value = b->isChecked() ? 1 : 0;
    else if (auto *r = qobject_cast<QComboBox *>(w)) {
        if (r->currentIndex() < 0 || r->currentData().typeId() == QMetaType::QString) return false;
        value = r->currentData().toInt();
    } else
        return false;
    return true;
}

int SetNumericValue(ControlInfo &c, double value) {
    QWidget *w = c.widget;
    QSignalBlocker block(w);
    if (qobject_cast<QSpinBox *>(w) || qobject_cast<QSlider *>(w) || qobject_cast<QComboBox *>(w))
        return SetWholeValue(c, value);
    if (qobject_cast<QLineEdit *>(w) && c.style == CTRL_NUMERIC_DOUBLE)
        SetFieldNumber(c, value);
    else if (auto *pb = qobject_cast<QProgressBar *>(w))
        pb->setValue(static_cast<int>(std::lround(value)));
    else if (auto *b = qobject_cast<QAbstractButton *>(w); b && b->isCheckable())
        b->setChecked(value != 0);
    else
        return UIE_WRONG_TYPE;
    return 0;
}

int GetNumber(int panel, Ctrl c, double &value) {
    int err;
    ControlInfo *ctrl = FindCtrl(panel, c, &err);
    if (!ctrl) return err;
    return NumericValue(*ctrl, value) ? 0 : UIE_WRONG_TYPE;
}

int SetNumber(int panel, Ctrl c, double value) {
    int err;
    ControlInfo *ctrl = FindCtrl(panel, c, &err);
    if (!ctrl) return err;
    return SetNumericValue(*ctrl, value);
}

} // namespace

int GetCtrlVal(int panel, Ctrl c, double &value) {
    return GetNumber(panel, c, value);
}

int GetCtrlVal(int panel, Ctrl c, int &value) {
    double v = 0;
    int r = GetNumber(panel, c, v);
    if (r == 0) value = static_cast<int>(v);
    return r;
}

int GetCtrlVal(int panel, Ctrl c, unsigned int &value) {
    double v = 0;
    int r = GetNumber(panel, c, v);
    if (r == 0) value = static_cast<unsigned int>(static_cast<long long>(v));
    return r;
}

int GetCtrlVal(int panel, Ctrl c, unsigned short &value) {
    double v = 0;
    int r = GetNumber(panel, c, v);
    if (r == 0) value = static_cast<unsigned short>(static_cast<long long>(v));
    return r;
}

int GetCtrlVal(int panel, Ctrl c, short &value) {
    double v = 0;
    int r = GetNumber(panel, c, v);
    if (r == 0) value = static_cast<short>(static_cast<long long>(v));
    return r;
}

int GetCtrlVal(int panel, Ctrl c, std::string &value) {
    int err;
    ControlInfo *ctrl = FindCtrl(panel, c, &err);
    if (!ctrl) return err;
    QWidget *w = ctrl->widget;
    if (auto *e = qobject_cast<QLineEdit *>(w))
        value = e->text().toStdString();
    else if (auto *l = qobject_cast<QLabel *>(w))
        value = l->text().toStdString();
    else if (auto *t = qobject_cast<QPlainTextEdit *>(w))
        value = t->toPlainText().toStdString();
    else if (auto *r = qobject_cast<QComboBox *>(w); r && r->currentData().typeId() == QMetaType::QString)
        value = r->currentData().toString().toStdString();
    else
        return UIE_WRONG_TYPE;
    return 0;
}

int SetCtrlVal(int panel, Ctrl c, int value) {
    return SetNumber(panel, c, value);
}
int SetCtrlVal(int panel, Ctrl c, unsigned int value) {
    return SetNumber(panel, c, value);
}
int SetCtrlVal(int panel, Ctrl c, double value) {
    return SetNumber(panel, c, value);
}
int SetCtrlVal(int panel, Ctrl c, const char *value) {
    return SetCtrlVal(panel, c, std::string(value ? value : ""));
}

int SetCtrlVal(int panel, Ctrl c, const std::string &value) {
    int err;
    ControlInfo *ctrl = FindCtrl(panel, c, &err);
    if (!ctrl) return err;
    QWidget *w = ctrl->widget;
    QSignalBlocker block(w);
    const QString text = QString::fromStdString(value);
    if (auto *e = qobject_cast<QLineEdit *>(w); e && ctrl->style != CTRL_NUMERIC_DOUBLE)
        e->setText(text);
    else if (auto *l = qobject_cast<QLabel *>(w)) {
        l->setText(text);
        SizeToText(l);
    } else if (auto *t = qobject_cast<QPlainTextEdit *>(w))
        t->setPlainText(text);
    else if (auto *r = qobject_cast<QComboBox *>(w)) {
        int i = RingIndexOf(r, QVariant(text));
        if (i < 0) return UIE_ITEM_NOT_FOUND;
        r->setCurrentIndex(i);
    } else
        return UIE_WRONG_TYPE;
    return 0;
}

int DefaultCtrl(int panel, Ctrl c) {
    int err;
    ControlInfo *ctrl = FindCtrl(panel, c, &err);
    if (!ctrl) return err;
    QVariant d = ctrl->widget->property("defaultValue");
    if (!d.isValid()) return 0;
    if (d.typeId() == QMetaType::QString) return SetCtrlVal(panel, c, d.toString().toStdString());
    return SetNumericValue(*ctrl, d.toDouble());
}
