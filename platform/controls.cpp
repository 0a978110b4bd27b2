// Controls: values, attributes, run-time creation, and the signals through
// which the user's changes reach the callbacks. Values set here never do.
#include "platform/chartwidgets.h"
#include "platform/uir_internal.h"
#include "runtime/numbers.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <charconv>
#include <cmath>

using namespace runtime;

namespace {

// The value a ring item carries: from the itemValues property, else its index.
void SeedRingValues(QComboBox *box) {
    const QStringList values = box->property("itemValues").toString().split(',', Qt::SkipEmptyParts);
    for (int i = 0; i < box->count(); ++i) {
        if (box->itemData(i).isValid()) continue;
        bool ok = false;
        int v = i < values.size() ? values[i].trimmed().toInt(&ok) : i;
        box->setItemData(i, ok || i >= values.size() ? QVariant(v) : QVariant(values[i].trimmed()));
    }
}

// Text messages made at run time grow with their text, as labels should.
void SizeToText(QWidget *w) {
    if (w->property("sizeToText").toBool()) w->adjustSize();
}

void SetRoleColor(QWidget *w, QPalette::ColorRole role, int rgb) {
    QPalette pal = w->palette();
    if (rgb == VAL_TRANSPARENT) {
        pal.setColor(role, Qt::transparent);
        if (role == QPalette::Window) w->setAutoFillBackground(false);
    } else {
        pal.setColor(role, ToQColor(rgb));
        if (role == QPalette::Window) w->setAutoFillBackground(true);
    }
    w->setPalette(pal);
}

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

// Table cells hold whole numbers within the table's cellMinimum..cellMaximum
// (0..65535 unless the resource file says otherwise), typed by the fields' rule.
class CellDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &, const QModelIndex &) const override {
        QSpinBox *spin = NewWholeNumberBox(parent);
        QObject *table = this->parent();
        QVariant lo = table->property("cellMinimum"), hi = table->property("cellMaximum");
        spin->setRange(lo.isValid() ? lo.toInt() : 0, hi.isValid() ? hi.toInt() : 65535);
        spin->setFrame(false);
        spin->setProperty("_cellEditor", true);
        // The value follows only a confirmed entry, never a half-typed "2" of "2,5".
        spin->setKeyboardTracking(false);
        return spin;
    }
    // The cell takes what was typed only when it is a whole number in range, however the
    // user left it (Enter, Tab, a click); otherwise it says why at the cell and keeps its value.
    void setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override {
        auto *spin = qobject_cast<QSpinBox *>(editor);
        if (!spin) return QStyledItemDelegate::setModelData(editor, model, index);
        if (spin->property("_refusedNow").toBool()) return; // refused, and said so, at Enter
        const QString typed = spin->cleanText();
        const std::optional<long long> v = ParseTypedWholeNumber(typed);
        if (v && *v >= spin->minimum() && *v <= spin->maximum()) {
            model->setData(index, static_cast<int>(*v), Qt::EditRole);
            return;
        }
        ShowRefusal(spin, WholeNumberRefusal(spin, typed, model->data(index, Qt::EditRole).toInt(), true));
    }
};

} // namespace

CtrlStyle StyleOfWidget(QWidget *w) {
    if (qobject_cast<StripChart *>(w)) return CTRL_STRIP_CHART;
    if (qobject_cast<Graph *>(w)) return CTRL_GRAPH;
    if (qobject_cast<QSpinBox *>(w)) return CTRL_NUMERIC;
    if (auto *e = qobject_cast<QLineEdit *>(w)) {
        if (e->property("dataType").toString() == "double") return CTRL_NUMERIC_DOUBLE;
        return e->hasFrame() ? CTRL_STRING : CTRL_STRING_FLAT;
    }
    if (qobject_cast<QPlainTextEdit *>(w)) return CTRL_TEXT_BOX;
    if (qobject_cast<QPushButton *>(w)) return CTRL_COMMAND_BUTTON;
    if (qobject_cast<QCheckBox *>(w)) return CTRL_BINARY_SWITCH;
    if (qobject_cast<QRadioButton *>(w)) return CTRL_RADIO_BUTTON;
    if (auto *r = qobject_cast<QComboBox *>(w))
        return r->property("listButton").toBool() ? CTRL_LIST_BUTTON : CTRL_RING;
    if (qobject_cast<QTableWidget *>(w)) return CTRL_TABLE;
    if (qobject_cast<QProgressBar *>(w)) return CTRL_PROGRESS_BAR;
    if (qobject_cast<QSlider *>(w)) return CTRL_SLIDE;
    if (auto *l = qobject_cast<QLabel *>(w))
        return l->property("picture").toBool() ? CTRL_PICTURE : CTRL_TEXT_MSG;
    return CTRL_DECORATION;
}

void ConnectCtrlSignals(ControlInfo &ctrl) {
    QWidget *w = ctrl.widget;
    const int panel = ctrl.panel, id = ctrl.id;
    // Looked up again at each signal: the control list may grow meanwhile.
    auto fire = [panel, id](int event, int d1 = 0, int d2 = 0) {
        if (ControlInfo *c = FindCtrl(panel, id, nullptr)) FireCtrlEvent(*c, event, d1, d2);
    };
    auto changedAndCommit = [fire] {
        fire(EVENT_VAL_CHANGED);
        fire(EVENT_COMMIT);
    };
    if (auto *b = qobject_cast<QPushButton *>(w)) {
        // A button acts on what the fields show: an edit still owed is committed first,
        // also when the button was pressed by its shortcut key.
        QObject::connect(b, &QPushButton::clicked, b, [panel, id, fire] {
            if (ControlInfo *c = FindCtrl(panel, id, nullptr)) CommitFocusedField(*c);
            fire(EVENT_COMMIT);
        });
    } else if (auto *b = qobject_cast<QAbstractButton *>(w)) {
        QObject::connect(b, &QAbstractButton::clicked, b, changedAndCommit);
    } else if (qobject_cast<QSpinBox *>(w) || qobject_cast<QLineEdit *>(w)) {
        ConnectField(ctrl);
    } else if (auto *r = qobject_cast<QComboBox *>(w)) {
        SeedRingValues(r);
        // A list button opens its list without taking the focus, so that the field it
        // serves is not left (and committed) by a click on it.
        if (ctrl.style == CTRL_LIST_BUTTON) r->setFocusPolicy(Qt::TabFocus);
        QObject::connect(r, &QComboBox::activated, r, [panel, id, r, changedAndCommit] {
            if (ControlInfo *c = FindCtrl(panel, id, nullptr))
                KeepOrRestoreRange(*c, r->currentData().toInt());
            changedAndCommit();
        });
    } else if (auto *t = qobject_cast<QTableWidget *>(w)) {
        t->setItemDelegate(new CellDelegate(t));
        QObject::connect(t, &QTableWidget::itemChanged, t, [fire](QTableWidgetItem *item) {
            fire(EVENT_VAL_CHANGED, item->row() + 1, item->column() + 1);
            fire(EVENT_COMMIT, item->row() + 1, item->column() + 1);
        });
    } else if (auto *sl = qobject_cast<QSlider *>(w)) {
        QObject::connect(sl, &QSlider::valueChanged, sl, [panel, id, sl, fire](int value) {
            if (ControlInfo *c = FindCtrl(panel, id, nullptr)) KeepOrRestoreRange(*c, value);
            fire(EVENT_VAL_CHANGED);
            if (!sl->isSliderDown()) fire(EVENT_COMMIT);
        });
        QObject::connect(sl, &QSlider::sliderReleased, sl, [fire] { fire(EVENT_COMMIT); });
    } else if (auto *tb = qobject_cast<QPlainTextEdit *>(w)) {
        QObject::connect(tb, &QPlainTextEdit::textChanged, tb, [fire] { fire(EVENT_VAL_CHANGED); });
    }
}

// ---- values -------------------------------------------------------------------

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

// ---- attributes -----------------------------------------------------------------

int SetCtrlAttribute(int panel, Ctrl c, int attribute, int value) {
    int err;
    ControlInfo *ctrl = FindCtrl(panel, c, &err);
    if (!ctrl) return err;
    QWidget *w = ctrl->widget;
    switch (attribute) {
    case ATTR_DIMMED:
        w->setEnabled(value == 0);
        return 0;
    case ATTR_VISIBLE:
        w->setVisible(value != 0);
        return 0;
    case ATTR_CTRL_COLOR:
        w->setProperty("_ctrlColor", value);
        if (qobject_cast<QAbstractButton *>(w) || qobject_cast<QComboBox *>(w))
            SetRoleColor(w, QPalette::Button, value);
        else if (qobject_cast<QLineEdit *>(w) || qobject_cast<QSpinBox *>(w) ||
                 qobject_cast<QTableWidget *>(w))
            SetRoleColor(w, QPalette::Base, value);
        else
            SetRoleColor(w, QPalette::Window, value);
        return 0;
    case ATTR_TEXT_COLOR:
        w->setProperty("_textColor", value);
        SetRoleColor(w, QPalette::WindowText, value);
        SetRoleColor(w, QPalette::Text, value);
        SetRoleColor(w, QPalette::ButtonText, value);
        return 0;
    case ATTR_TEXT_BGCOLOR:
        w->setProperty("_textBgColor", value);
        SetRoleColor(w, QPalette::Window, value);
        return 0;
    case ATTR_LABEL_COLOR:
    case ATTR_FRAME_COLOR:
        w->setProperty(attribute == ATTR_LABEL_COLOR ? "_labelColor" : "_frameColor", value);
        if (attribute == ATTR_FRAME_COLOR) SetRoleColor(w, QPalette::Window, value);
        return 0;
    case ATTR_CTRL_MODE:
        ctrl->mode = value;
        if (auto *e = qobject_cast<QLineEdit *>(w))
            e->setReadOnly(value == VAL_INDICATOR);
        else if (auto *s = qobject_cast<QAbstractSpinBox *>(w))
            s->setReadOnly(value == VAL_INDICATOR);
        else if (auto *t = qobject_cast<QTableWidget *>(w))
            t->setEditTriggers(value == VAL_INDICATOR ? QAbstractItemView::NoEditTriggers
                                                      : QAbstractItemView::AllEditTriggers);
        return 0;
    case ATTR_POINTS_PER_SCREEN:
        if (auto *chart = qobject_cast<StripChart *>(w)) {
            chart->setPointsPerScreen(value);
            return 0;
        }
        return UIE_INVALID_ATTRIBUTE;
    case ATTR_LEFT:
        w->move(value, w->y());
        return 0;
    case ATTR_TOP:
        w->move(w->x(), value);
        return 0;
    case ATTR_WIDTH:
        w->resize(value, w->height());
        return 0;
    case ATTR_HEIGHT:
        w->resize(w->width(), value);
        return 0;
    case ATTR_TEXT_POINT_SIZE:
    case ATTR_TEXT_BOLD:
    case ATTR_TEXT_ITALIC: {
        QFont f = w->font();
        if (attribute == ATTR_TEXT_POINT_SIZE) f.setPointSize(std::max(1, value));
        if (attribute == ATTR_TEXT_BOLD) f.setBold(value != 0);
        if (attribute == ATTR_TEXT_ITALIC) f.setItalic(value != 0);
        w->setFont(f);
        SizeToText(w);
        return 0;
    }
    case ATTR_MAX_ENTRY_LENGTH:
        if (auto *e = qobject_cast<QLineEdit *>(w)) {
            e->setMaxLength(value < 0 ? 32767 : value);
            return 0;
        }
        return UIE_INVALID_ATTRIBUTE;
    case ATTR_CTRL_TAB_POSITION:
        return SetCtrlTabPosition(*FindPanel(panel), ctrl->id, value);
    case ATTR_TEXT_SELECTION_START:
        if (auto *e = qobject_cast<QLineEdit *>(w)) {
            ctrl->selectionStart = std::clamp(value, 0, static_cast<int>(e->text().size()));
            e->setCursorPosition(ctrl->selectionStart);
            return 0;
        }
        return UIE_INVALID_ATTRIBUTE;
    case ATTR_TEXT_SELECTION_LENGTH:
        if (auto *e = qobject_cast<QLineEdit *>(w)) {
            // Cursor at the start, so that typing on replaces the selection.
            e->setSelection(ctrl->selectionStart + value, -value);
            return 0;
        }
        return UIE_INVALID_ATTRIBUTE;
    default:
        return UIE_INVALID_ATTRIBUTE;
    }
}

int SetCtrlAttribute(int panel, Ctrl c, int attribute, const std::string &value) {
    int err;
    ControlInfo *ctrl = FindCtrl(panel, c, &err);
    if (!ctrl) return err;
    QWidget *w = ctrl->widget;
    const QString text = QString::fromStdString(value);
    switch (attribute) {
    case ATTR_TEXT_FONT: {
        w->setProperty("_fontName", text);
        QFont f = w->font();
        // Unknown family names fall back to the application's font.
        if (QFontInfo(QFont(text)).family() == text) f.setFamily(text);
        w->setFont(f);
        SizeToText(w);
        return 0;
    }
    case ATTR_TOOLTIP_TEXT:
        // A control marked as holding an unusual value keeps that note until it is back in range.
        if (ctrl->marked)
            ctrl->usualTip = text;
        else
            w->setToolTip(text);
        return 0;
    case ATTR_LABEL_TEXT:
        if (auto *b = qobject_cast<QAbstractButton *>(w))
            b->setText(text);
        else if (auto *l = qobject_cast<QLabel *>(w))
            l->setText(text);
        w->setProperty("_labelText", text);
        return 0;
    default:
        return UIE_INVALID_ATTRIBUTE;
    }
}

int SetCtrlAttribute(int panel, Ctrl c, int attribute, void *pointer) {
    int err;
    ControlInfo *ctrl = FindCtrl(panel, c, &err);
    if (!ctrl) return err;
    if (attribute != ATTR_CALLBACK_DATA) return UIE_INVALID_ATTRIBUTE;
    ctrl->callbackData = pointer;
    return 0;
}

int SetCtrlAttribute(int panel, Ctrl c, int attribute, CtrlCallbackPtr callback) {
    int err;
    ControlInfo *ctrl = FindCtrl(panel, c, &err);
    if (!ctrl) return err;
    if (attribute != ATTR_CALLBACK_FUNCTION_POINTER) return UIE_INVALID_ATTRIBUTE;
    ctrl->callback = callback;
    return 0;
}

int GetCtrlAttribute(int panel, Ctrl c, int attribute, int &value) {
    int err;
    ControlInfo *ctrl = FindCtrl(panel, c, &err);
    if (!ctrl) return err;
    QWidget *w = ctrl->widget;
    auto colorProp = [&](const char *name, QPalette::ColorRole role) {
        QVariant v = w->property(name);
        if (v.isValid()) return v.toInt();
        QColor col = w->palette().color(role);
        return MakeColor(col.red(), col.green(), col.blue());
    };
    switch (attribute) {
    case ATTR_DIMMED:
        value = w->isEnabled() ? 0 : 1;
        return 0;
    case ATTR_VISIBLE:
        value = w->isHidden() ? 0 : 1;
        return 0;
    case ATTR_CTRL_COLOR:
        value =
            colorProp("_ctrlColor", qobject_cast<QAbstractButton *>(w) ? QPalette::Button : QPalette::Window);
        return 0;
    case ATTR_TEXT_COLOR:
        value = colorProp("_textColor", QPalette::WindowText);
        return 0;
    case ATTR_TEXT_BGCOLOR:
        value = colorProp("_textBgColor", QPalette::Window);
        return 0;
    case ATTR_LABEL_COLOR:
        value = colorProp("_labelColor", QPalette::WindowText);
        return 0;
    case ATTR_FRAME_COLOR:
        value = colorProp("_frameColor", QPalette::Window);
        return 0;
    case ATTR_CTRL_MODE:
        value = ctrl->mode;
        return 0;
    case ATTR_POINTS_PER_SCREEN:
        if (auto *chart = qobject_cast<StripChart *>(w)) {
            value = chart->pointsPerScreen();
            return 0;
        }
        return UIE_INVALID_ATTRIBUTE;
    case ATTR_LEFT:
        value = w->x();
        return 0;
    case ATTR_TOP:
        value = w->y();
        return 0;
    case ATTR_WIDTH:
        value = w->width();
        return 0;
    case ATTR_HEIGHT:
        value = w->height();
        return 0;
    case ATTR_TEXT_POINT_SIZE:
        value = w->font().pointSize();
        return 0;
    case ATTR_TEXT_BOLD:
        value = w->font().bold() ? 1 : 0;
        return 0;
    case ATTR_TEXT_ITALIC:
        value = w->font().italic() ? 1 : 0;
        return 0;
    case ATTR_MAX_ENTRY_LENGTH:
        if (auto *e = qobject_cast<QLineEdit *>(w)) {
            value = e->maxLength() >= 32767 ? -1 : e->maxLength();
            return 0;
        }
        return UIE_INVALID_ATTRIBUTE;
    case ATTR_CTRL_TAB_POSITION:
        value = GetCtrlTabPosition(*FindPanel(panel), ctrl->id);
        return 0;
    case ATTR_CTRL_STYLE:
        value = ctrl->style;
        return 0;
    case ATTR_TEXT_SELECTION_START:
    case ATTR_TEXT_SELECTION_LENGTH:
        if (auto *e = qobject_cast<QLineEdit *>(w)) {
            bool sel = e->hasSelectedText();
            if (attribute == ATTR_TEXT_SELECTION_START)
                value = sel ? e->selectionStart() : e->cursorPosition();
            else
                value = sel ? static_cast<int>(e->selectedText().size()) : 0;
            return 0;
        }
        return UIE_INVALID_ATTRIBUTE;
    case ATTR_SHORTCUT_KEY:
        if (auto *b = qobject_cast<QAbstractButton *>(w)) {
            value = b->shortcut().isEmpty() ? 0 : b->shortcut()[0].toCombined();
            return 0;
        }
        return UIE_INVALID_ATTRIBUTE;
    default:
        return UIE_INVALID_ATTRIBUTE;
    }
}

int GetCtrlAttribute(int panel, Ctrl c, int attribute, std::string &value) {
    int err;
    ControlInfo *ctrl = FindCtrl(panel, c, &err);
    if (!ctrl) return err;
    QWidget *w = ctrl->widget;
    switch (attribute) {
    case ATTR_TEXT_FONT: {
        QVariant name = w->property("_fontName");
        value = (name.isValid() ? name.toString() : w->font().family()).toStdString();
        return 0;
    }
    case ATTR_TOOLTIP_TEXT:
        value = w->toolTip().toStdString();
        return 0;
    case ATTR_LABEL_TEXT:
        if (auto *b = qobject_cast<QAbstractButton *>(w))
            value = b->text().toStdString();
        else if (auto *l = qobject_cast<QLabel *>(w))
            value = l->text().toStdString();
        else
            value = w->property("_labelText").toString().toStdString();
        return 0;
    default:
        return UIE_INVALID_ATTRIBUTE;
    }
}

int GetCtrlAttribute(int panel, Ctrl c, int attribute, void *&pointer) {
    int err;
    ControlInfo *ctrl = FindCtrl(panel, c, &err);
    if (!ctrl) return err;
    if (attribute != ATTR_CALLBACK_DATA) return UIE_INVALID_ATTRIBUTE;
    pointer = ctrl->callbackData;
    return 0;
}

int GetCtrlAttribute(int panel, Ctrl c, int attribute, CtrlCallbackPtr &callback) {
    int err;
    ControlInfo *ctrl = FindCtrl(panel, c, &err);
    if (!ctrl) return err;
    if (attribute != ATTR_CALLBACK_FUNCTION_POINTER) return UIE_INVALID_ATTRIBUTE;
    callback = ctrl->callback;
    return 0;
}

int InstallCtrlCallback(int panel, Ctrl c, CtrlCallbackPtr callback, void *callbackData) {
    int err;
    ControlInfo *ctrl = FindCtrl(panel, c, &err);
    if (!ctrl) return err;
    ctrl->callback = callback;
    ctrl->callbackData = callbackData;
    return 0;
}

int NewCtrl(int panel, int style, const std::string &label, int top, int left) {
    PanelInfo *p = FindPanel(panel);
    if (!p) return UIE_INVALID_PANEL;
    QWidget *parent = p->widget;
    QWidget *w = nullptr;
    const QString text = QString::fromStdString(label);
    switch (style) {
    case CTRL_NUMERIC:
        w = NewWholeNumberBox(parent);
        break;
    case CTRL_NUMERIC_DOUBLE: {
        auto *e = new QLineEdit(parent);
        e->setProperty("dataType", "double");
        w = e;
        break;
    }
    case CTRL_STRING:
        w = new QLineEdit(parent);
        break;
    case CTRL_STRING_FLAT: {
        auto *e = new QLineEdit(parent);
        e->setFrame(false);
        w = e;
        break;
    }
    case CTRL_TEXT_MSG:
        w = new QLabel(text, parent);
        w->setProperty("sizeToText", true);
        break;
    case CTRL_PICTURE: {
        auto *l = new QLabel(parent);
        l->setProperty("picture", true);
        w = l;
        break;
    }
    case CTRL_TEXT_BOX:
        w = new QPlainTextEdit(parent);
        break;
    case CTRL_COMMAND_BUTTON:
        w = new QPushButton(text, parent);
        break;
    case CTRL_BINARY_SWITCH:
        w = new QCheckBox(text, parent);
        break;
    case CTRL_RADIO_BUTTON:
        w = new QRadioButton(text, parent);
        break;
    case CTRL_RING:
        w = new QComboBox(parent);
        break;
    case CTRL_LIST_BUTTON: {
        auto *r = new QComboBox(parent);
        r->setProperty("listButton", true);
        w = r;
        break;
    }
    case CTRL_TABLE:
        w = new QTableWidget(parent);
        break;
    case CTRL_PROGRESS_BAR:
        w = new QProgressBar(parent);
        break;
    case CTRL_SLIDE:
        w = new QSlider(Qt::Horizontal, parent);
        break;
    case CTRL_DECORATION: {
        auto *f = new QFrame(parent);
        f->setFrameShape(QFrame::Box);
        // Decorations are drawn behind the controls they frame and never take their clicks.
        f->setAttribute(Qt::WA_TransparentForMouseEvents);
        w = f;
        break;
    }
    case CTRL_STRIP_CHART:
        w = new StripChart(parent);
        break;
    case CTRL_GRAPH:
        w = new Graph(parent);
        break;
    default:
        return UIE_WRONG_TYPE;
    }
    w->adjustSize();
    w->move(left, top);
    w->show();
    if (style == CTRL_DECORATION) w->lower();
    // The label names the control for screen readers, also where the kind shows none.
    if (!label.empty()) w->setAccessibleName(text);
    return NewCtrlOnPanel(*p, w, static_cast<CtrlStyle>(style));
}
