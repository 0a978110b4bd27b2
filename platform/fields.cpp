// Fields: what a user types reaches the program as typed, or not at all, visibly.
// A field commits on Enter (changed or not), when the user leaves it after an
// edit (Tab, a click elsewhere, a button), and before a button acts on it.
// Floating-point and whole-number fields read text by the one number rule;
// a value the program sets beyond a control's usual range is shown as it is.
#include "platform/fields.h"
#include "platform/listsandtables.h"
#include "runtime/numbers.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QStyle>
#include <QTimer>

using namespace runtime;

namespace {

// Whether an entry was refused since the last look, forgetting it.
bool TakeRefusal(QWidget *w) {
    const bool refused = w->property("_refusedNow").toBool();
    w->setProperty("_refusedNow", QVariant());
    return refused;
}

constexpr const char *kRefusalNote = "refusalNote";
constexpr int kRefusalNoteMs = 8000;

// The note under a field that refused an entry. It is a label of the field's window,
// not a tooltip, so that it stays when the focus moves on (a tooltip closes at the
// next click or focus change): until the next refusal or a few seconds have passed.
void ShowRefusalNote(QWidget *field, const QRect &at, const QString &why) {
    QWidget *window = field->window();
    auto *note = window->findChild<QLabel *>(kRefusalNote, Qt::FindDirectChildrenOnly);
    if (!note) {
        note = new QLabel(window);
        note->setObjectName(kRefusalNote);
        note->setWordWrap(true);
        note->setFrameStyle(QFrame::Box | QFrame::Plain);
        note->setMargin(4);
        note->setBackgroundRole(QPalette::ToolTipBase);
        note->setForegroundRole(QPalette::ToolTipText);
        note->setAutoFillBackground(true);
        note->setAttribute(Qt::WA_TransparentForMouseEvents); // clicks reach what lies beneath
        auto *timer = new QTimer(note);
        timer->setSingleShot(true);
        QObject::connect(timer, &QTimer::timeout, note, &QWidget::hide);
    }
    note->setText(why);
    note->setMaximumWidth(std::min(360, window->width()));
    note->adjustSize();
    // Below the field, or above it where the window ends; always inside the window.
    const QRect place(field->mapTo(window, at.topLeft()), at.size());
    int y = place.bottom() + 3;
    if (y + note->height() > window->height()) y = place.top() - note->height() - 3;
    note->move(std::clamp(place.left(), 0, std::max(0, window->width() - note->width())), std::max(0, y));
    note->raise();
    note->show();
    note->findChild<QTimer *>()->start(kRefusalNoteMs);
}

// Control events fire through a fresh lookup: a callback may add or discard controls.
void Fire(int panel, int id, int event) {
    if (ControlInfo *c = FindCtrl(panel, id, nullptr)) FireCtrlEvent(*c, event);
}

} // namespace

QString WholeNumberRefusal(const QSpinBox *box, const QString &typed, int kept, bool cell) {
    const std::optional<long long> v = ParseTypedWholeNumber(typed);
    const QString why = v ? QObject::tr("%1 is outside the allowed range %2..%3")
                                .arg(*v)
                                .arg(box->minimum())
                                .arg(box->maximum())
                          : QObject::tr("\"%1\" is not a whole number").arg(typed);
    const QString refusal =
        (cell ? QObject::tr("%1; the cell keeps %2.") : QObject::tr("%1; the field keeps %2."))
            .arg(why)
            .arg(kept);
    const QString plainly = AmbiguousNumberNote(typed, true);
    return plainly.isEmpty() ? refusal : refusal + "\n" + plainly;
}

namespace {

// A whole-number field that reads typed text by the number rule. Anything may be
// typed; what is not a whole number in range is refused, visibly, when the user
// confirms or leaves the field, and the field keeps its value. (Qt's own reading
// would take "1.000" as 1000 in a German desktop and quietly undo the rest.)
class WholeNumberBox : public QSpinBox {
  public:
    using QSpinBox::QSpinBox;

  protected:
    QValidator::State validate(QString &input, int &) const override {
        const std::optional<long long> v = ParseTypedWholeNumber(Core(input));
        return v && *v >= minimum() && *v <= maximum() ? QValidator::Acceptable : QValidator::Intermediate;
    }
    // Called when a confirmed text is not acceptable: say why; the value stays. A table
    // cell's editor says it once, whether the cell or the editor noticed first.
    void fixup(QString &input) const override {
        const bool cell = property("_cellEditor").toBool();
        if (cell && property("_refusedNow").toBool()) return;
        ShowRefusal(const_cast<WholeNumberBox *>(this), WholeNumberRefusal(this, Core(input), value(), cell));
    }

  private:
    QString Core(QString text) const {
        if (!prefix().isEmpty() && text.startsWith(prefix())) text.remove(0, prefix().size());
        if (!suffix().isEmpty() && text.endsWith(suffix())) text.chop(suffix().size());
        return text.trimmed();
    }
};

// Reads a floating-point field's text; refuses unreadable text visibly and puts
// the last valid value back. Result: whether the value was taken.
bool TakeTypedNumber(ControlInfo &c, QLineEdit *e) {
    c.edited = false;
    const std::optional<double> v = ParseTypedNumber(e->text());
    QSignalBlocker block(e);
    if (!v) {
        const QString typed = e->text();
        e->setText(FormatTypedNumber(c.number));
        const QString plainly = AmbiguousNumberNote(typed, false);
        ShowRefusal(e, plainly.isEmpty()
                           ? QObject::tr("\"%1\" is not a number; the field keeps %2.\n"
                                         "Type digits with \"%3\" or \".\" before the decimals.")
                                 .arg(typed, e->text(), DecimalSeparator())
                           : QObject::tr("\"%1\" is ambiguous here, where \".\" also "
                                         "groups thousands; the field keeps %2.\n%3")
                                 .arg(typed, e->text(), plainly));
        return false;
    }
    c.number = *v;
    e->setText(FormatTypedNumber(*v));
    return true;
}

void CommitNumberField(ControlInfo &c, QLineEdit *e) {
    const int panel = c.panel, id = c.id;
    if (!TakeTypedNumber(c, e)) return;
    Fire(panel, id, EVENT_VAL_CHANGED);
    Fire(panel, id, EVENT_COMMIT);
}

// Runs the commit that an edit still owes: the user has left the field or pressed a button.
void CommitPending(ControlInfo &c) {
    QWidget *w = c.widget;
    if (auto *s = qobject_cast<QSpinBox *>(w)) {
        if (!c.edited) return;
        c.confirming = true;
        c.committed = false;
        s->interpretText(); // commits through valueChanged when the value changed
        if (ControlInfo *again = FindCtrl(c.panel, c.id, nullptr); again && again->confirming) {
            const bool owed = !again->committed && !TakeRefusal(s);
            again->confirming = again->edited = again->committed = false;
            if (owed) FireCtrlEvent(*again, EVENT_COMMIT);
        }
    } else if (auto *e = qobject_cast<QLineEdit *>(w); e && c.edited) {
        if (c.style == CTRL_NUMERIC_DOUBLE) {
            CommitNumberField(c, e);
        } else {
            c.edited = false;
            FireCtrlEvent(c, EVENT_COMMIT);
        }
    }
}

ControlInfo *ControlOfWidget(QWidget *w) {
    for (; w; w = w->parentWidget()) {
        QVariant id = w->property("_uirCtrl");
        if (id.isValid()) return FindCtrl(w->property("_uirPanel").toInt(), id.toInt(), nullptr);
    }
    return nullptr;
}

void WireSpinBox(ControlInfo &ctrl, QSpinBox *s) {
    const int panel = ctrl.panel, id = ctrl.id;
    s->setKeyboardTracking(false); // one event per entered value, not per keystroke
    QObject::connect(s, &QSpinBox::valueChanged, s, [panel, id](int value) {
        ControlInfo *c = FindCtrl(panel, id, nullptr);
        if (!c) return;
        c->committed = true;
        c->edited = false;
        KeepOrRestoreRange(*c, value);
        Fire(panel, id, EVENT_VAL_CHANGED);
        Fire(panel, id, EVENT_COMMIT);
    });
    if (auto *edit = s->findChild<QLineEdit *>())
        QObject::connect(edit, &QLineEdit::textEdited, s, [panel, id] {
            if (ControlInfo *c = FindCtrl(panel, id, nullptr)) c->edited = true;
        });
    // Enter, or leaving after an edit, confirms even a value that did not change;
    // an entry that was refused confirms nothing.
    QObject::connect(s, &QSpinBox::editingFinished, s, [panel, id, s] {
        ControlInfo *c = FindCtrl(panel, id, nullptr);
        if (!c) return;
        const bool owed = (c->confirming || c->edited) && !c->committed && !TakeRefusal(s);
        c->confirming = c->edited = c->committed = false;
        if (owed) FireCtrlEvent(*c, EVENT_COMMIT);
    });
}

void WireLineEdit(ControlInfo &ctrl, QLineEdit *e) {
    const int panel = ctrl.panel, id = ctrl.id;
    if (ctrl.style == CTRL_NUMERIC_DOUBLE) {
        // Resource files write their start values in the fixed "." form.
        ctrl.number = e->text().trimmed().toDouble();
        QSignalBlocker block(e);
        e->setText(FormatTypedNumber(ctrl.number));
        QObject::connect(e, &QLineEdit::textEdited, e, [panel, id] {
            if (ControlInfo *c = FindCtrl(panel, id, nullptr)) c->edited = true;
        });
        QObject::connect(e, &QLineEdit::returnPressed, e, [panel, id, e] {
            if (ControlInfo *c = FindCtrl(panel, id, nullptr)) CommitNumberField(*c, e);
        });
    } else {
        QObject::connect(e, &QLineEdit::textEdited, e, [panel, id] {
            if (ControlInfo *c = FindCtrl(panel, id, nullptr)) c->edited = true;
            Fire(panel, id, EVENT_VAL_CHANGED);
        });
        QObject::connect(e, &QLineEdit::returnPressed, e, [panel, id] {
            if (ControlInfo *c = FindCtrl(panel, id, nullptr)) c->edited = false;
            Fire(panel, id, EVENT_COMMIT);
        });
    }
}

// What the user did not change must not change: a value beyond the usual range
// stays as it is, marked so that the user sees it is unusual. why() gives the note.
template <typename Why> void MarkBeyondRange(ControlInfo &c, QWidget *w, bool beyond, Why why) {
    // A display shows the value; there is nothing the user could send back by mistake.
    if ((!beyond && !c.marked) || (beyond && c.mode != VAL_HOT)) return;
    if (beyond && c.marked) {
        w->setToolTip(why()); // another unusual value
        return;
    }
    if (!beyond) {
        w->setToolTip(c.usualTip);
        w->setPalette(c.usualPalette);
        c.marked = false;
        return;
    }
    c.usualTip = w->toolTip();
    c.usualPalette = w->palette();
    c.marked = true;
    QPalette pal = c.usualPalette;
    const QColor warn(255, 214, 153);
    pal.setColor(QPalette::Base, warn);
    pal.setColor(QPalette::Button, warn);
    pal.setColor(QPalette::Window, warn);
    w->setPalette(pal);
    w->setAutoFillBackground(true);
    w->setToolTip(why());
}

QString BeyondRangeText(long long value, int usualMin, int usualMax) {
    return QObject::tr("%1 is outside the usual range %2..%3.\n"
                       "It is kept as read and written back unchanged unless you change it.")
        .arg(value)
        .arg(usualMin)
        .arg(usualMax);
}

template <typename W> void SetRangedValue(ControlInfo &c, W *w, long long value) {
    const int usualMin = c.widened ? c.usualMin : w->minimum();
    const int usualMax = c.widened ? c.usualMax : w->maximum();
    const int v = static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
    const bool beyond = v < usualMin || v > usualMax;
    // Live displays are set at every cycle, mostly to what they show: nothing to lay out or draw.
    if (!beyond && !c.widened && !c.edited && w->value() == v) return;
    QSignalBlocker block(w);
    if (beyond) {
        c.widened = true;
        c.usualMin = usualMin;
        c.usualMax = usualMax;
        w->setRange(std::min(usualMin, v), std::max(usualMax, v));
    } else if (c.widened) {
        w->setRange(usualMin, usualMax);
        c.widened = false;
    }
    w->setValue(v);
    MarkBeyondRange(c, w, beyond, [&] { return BeyondRangeText(v, usualMin, usualMax); });
}

template <typename W> void RestoreUsualRange(ControlInfo &c, W *w, int value) {
    if (!c.widened || value < c.usualMin || value > c.usualMax) return;
    QSignalBlocker block(w);
    w->setRange(c.usualMin, c.usualMax);
    c.widened = false;
    MarkBeyondRange(c, w, false, [] { return QString(); });
}

constexpr int kHeldItemRole = Qt::UserRole + 1;

void DropHeldRingItem(ControlInfo &c, QComboBox *r) {
    for (int i = r->count() - 1; i >= 0; --i)
        if (r->itemData(i, kHeldItemRole).toBool() && i != r->currentIndex()) r->removeItem(i);
    if (r->currentIndex() < 0 || !r->itemData(r->currentIndex(), kHeldItemRole).toBool())
        MarkBeyondRange(c, r, false, [] { return QString(); });
}

} // namespace

int LineEditTextWidth(const QLineEdit *e) {
    const int frame = e->hasFrame() ? e->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, e) : 0;
    const QMargins margins = e->textMargins();
    constexpr int kInnerMargin = 2; // QLineEdit keeps this much on each side of its text
    return e->contentsRect().width() - 2 * (frame + kInnerMargin) - margins.left() - margins.right();
}

void ShowRefusal(QWidget *w, const QString &why, const QRect &at) {
    w->setProperty("_lastRefusal", why);
    w->setProperty("_refusedNow", true);
    QApplication::beep();
    ShowRefusalNote(w, at.isNull() ? w->rect() : at, why);
}

QSpinBox *NewWholeNumberBox(QWidget *parent) {
    return new WholeNumberBox(parent);
}

void ConnectField(ControlInfo &ctrl) {
    // A framed field covers its place: drawn opaque, the panel beneath it need not be
    // drawn again whenever its number changes. A flat one lets the panel show through.
    const auto *edit = qobject_cast<QLineEdit *>(ctrl.widget);
    const auto *spin = qobject_cast<QSpinBox *>(ctrl.widget);
    if ((edit && edit->hasFrame()) || (spin && spin->hasFrame())) ctrl.widget->setAutoFillBackground(true);
    if (auto *s = qobject_cast<QSpinBox *>(ctrl.widget))
        WireSpinBox(ctrl, s);
    else if (auto *e = qobject_cast<QLineEdit *>(ctrl.widget))
        WireLineEdit(ctrl, e);
}

void NoteFieldKey(ControlInfo &ctrl, int key) {
    if (key != Qt::Key_Return && key != Qt::Key_Enter) return;
    ctrl.confirming = true;
    ctrl.committed = false;
}

void CommitOnLeave(ControlInfo &ctrl, Qt::FocusReason reason) {
    // The user leaves a field with the keyboard or the mouse; a popup, another window
    // or the program moving the focus (a combo box opening its list) is no commit.
    const bool byUser = reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason ||
                        reason == Qt::MouseFocusReason || reason == Qt::ShortcutFocusReason;
    if (!byUser) return;
    if (qobject_cast<QLineEdit *>(ctrl.widget)) CommitPending(ctrl);
}

void CommitFocusedField(const ControlInfo &except) {
    ControlInfo *c = ControlOfWidget(QApplication::focusWidget());
    if (c && !(c->panel == except.panel && c->id == except.id)) CommitPending(*c);
}

double FieldNumber(const ControlInfo &ctrl) {
    return ctrl.number;
}

namespace {
// v for a display of the given width: whole, rounded to as many significant digits as
// fit when all of them do not.
QString NumberToFit(double v, const QFontMetrics &metrics, int width) {
    QString text = FormatTypedNumber(v);
    for (int digits = 15; digits >= 1 && metrics.horizontalAdvance(text) > width; --digits)
        text = FormatRoundedNumber(v, digits);
    return text;
}
} // namespace

void SetFieldNumber(ControlInfo &ctrl, double value) {
    auto *e = qobject_cast<QLineEdit *>(ctrl.widget);
    if (!e) return;
    ctrl.number = value;
    ctrl.edited = false;
    QSignalBlocker block(e);
    // A display shows its number whole, rounded where its width needs it (the value it
    // holds stays exact); a field shows what reads back exactly, as the user may confirm it.
    e->setText(ctrl.mode == VAL_INDICATOR ? NumberToFit(value, e->fontMetrics(), LineEditTextWidth(e))
                                          : FormatTypedNumber(value));
    e->setCursorPosition(0);
}

int SetWholeValue(ControlInfo &ctrl, double value) {
    const auto v = static_cast<long long>(std::clamp(value, -2147483648.0, 2147483647.0));
    QWidget *w = ctrl.widget;
    if (auto *s = qobject_cast<QSpinBox *>(w))
        SetRangedValue(ctrl, s, v);
    else if (auto *sl = qobject_cast<QSlider *>(w))
        SetRangedValue(ctrl, sl, v);
    else if (auto *r = qobject_cast<QComboBox *>(w)) {
        QSignalBlocker block(r);
        int i = RingIndexOf(r, QVariant(static_cast<int>(v)));
        if (i < 0) {
            // A code the list does not offer: shown and kept as it is, marked.
            r->addItem(QObject::tr("%1 (not in the list)").arg(v), QVariant(static_cast<int>(v)));
            i = r->count() - 1;
            r->setItemData(i, true, kHeldItemRole);
            r->setCurrentIndex(i);
            MarkBeyondRange(ctrl, r, true, [v] {
                return QObject::tr("%1 is not one of the listed codes.\n"
                                   "It is kept as read and written back unchanged unless you "
                                   "choose another.")
                    .arg(v);
            });
        } else {
            r->setCurrentIndex(i);
        }
        DropHeldRingItem(ctrl, r);
    } else
        return UIE_WRONG_TYPE;
    return 0;
}

void KeepOrRestoreRange(ControlInfo &ctrl, int value) {
    if (auto *s = qobject_cast<QSpinBox *>(ctrl.widget))
        RestoreUsualRange(ctrl, s, value);
    else if (auto *sl = qobject_cast<QSlider *>(ctrl.widget))
        RestoreUsualRange(ctrl, sl, value);
    else if (auto *r = qobject_cast<QComboBox *>(ctrl.widget))
        DropHeldRingItem(ctrl, r);
}
