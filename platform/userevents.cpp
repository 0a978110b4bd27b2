// The user's actions on panels and controls become the program's events: each
// control's signals wired to its callback, the raw mouse, key, focus and close
// events routed to it, and no context menu of Qt's own. Values the program sets
// raise none of them.
#include "platform/userevents.h"
#include "platform/fields.h"
#include "platform/listsandtables.h"
#include "platform/panelregistry.h"
#include "runtime/numbers.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QStyledItemDelegate>
#include <QTableWidget>

using namespace runtime;

namespace {

int KeyCode(const QKeyEvent *e) {
    return e->key() | static_cast<int>(e->modifiers() & ~Qt::KeypadModifier);
}

// Routes a panel's and its controls' raw input to the program's callbacks.
class EventRouter : public QObject {
  public:
    using QObject::QObject;

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        auto *w = qobject_cast<QWidget *>(watched);
        if (!w) return false;
        QVariant panelProp = w->property("_uirPanelOf");
        if (panelProp.isValid()) return panelEvent(panelProp.toInt(), w, event);
        ControlInfo *ctrl = ctrlOf(w);
        if (!ctrl) return false;
        return ctrlEvent(*ctrl, w, event);
    }

  private:
    static ControlInfo *ctrlOf(QWidget *w) {
        for (QWidget *p = w; p; p = p->parentWidget()) {
            QVariant id = p->property("_uirCtrl");
            if (id.isValid()) {
                PanelInfo *panel = FindPanel(p->property("_uirPanel").toInt());
                int i = id.toInt();
                if (!panel || i < 1 || i > static_cast<int>(panel->controls.size())) return nullptr;
                return &panel->controls[i - 1];
            }
            if (p->property("_uirPanelOf").isValid()) return nullptr;
        }
        return nullptr;
    }

    static bool panelEvent(int handle, QWidget *w, QEvent *event) {
        PanelInfo *panel = FindPanel(handle);
        if (!panel) return false;
        auto fire = [&](int ev) {
            return panel->callback ? panel->callback(handle, 0, ev, panel->callbackData, 0, 0) : 0;
        };
        switch (event->type()) {
        case QEvent::Close:
            // Closing is the program's decision, made in its panel callback.
            event->ignore();
            fire(EVENT_CLOSE);
            return true;
        case QEvent::ContextMenu:
            return true;
        case QEvent::MouseButtonPress: {
            auto *m = static_cast<QMouseEvent *>(event);
            if (w->childAt(m->position().toPoint())) return false;
            if (m->button() == Qt::RightButton) {
                fire(EVENT_RIGHT_CLICK);
                return true;
            }
            if (m->button() == Qt::LeftButton) fire(EVENT_LEFT_CLICK);
            return false;
        }
        default:
            return false;
        }
    }

    static bool ctrlEvent(ControlInfo &ctrl, QWidget *w, QEvent *event) {
        switch (event->type()) {
        case QEvent::ContextMenu:
            return true; // a right click is the program's event, never Qt's menu
        case QEvent::MouseButtonPress: {
            auto *m = static_cast<QMouseEvent *>(event);
            if (m->button() == Qt::RightButton) {
                FireCtrlEvent(ctrl, EVENT_RIGHT_CLICK, m->position().toPoint().y(),
                              m->position().toPoint().x());
                return true;
            }
            if (m->button() == Qt::LeftButton) {
                const int panel = ctrl.panel, id = ctrl.id;
                // A click on what takes no focus (a chart, a picture) leaves the field being
                // typed in all the same: its entry is taken, or refused and its value shown
                // again. A button commits it when it acts.
                if (!(w->focusPolicy() & Qt::ClickFocus) && !qobject_cast<QAbstractButton *>(w))
                    CommitFocusedField(ctrl);
                if (ControlInfo *c = FindCtrl(panel, id, nullptr))
                    FireCtrlEvent(*c, EVENT_LEFT_CLICK, m->position().toPoint().y(),
                                  m->position().toPoint().x());
            }
            return false;
        }
        case QEvent::MouseButtonDblClick: {
            auto *m = static_cast<QMouseEvent *>(event);
            if (m->button() == Qt::LeftButton)
                FireCtrlEvent(ctrl, EVENT_LEFT_DOUBLE_CLICK, m->position().toPoint().y(),
                              m->position().toPoint().x());
            return false;
        }
        case QEvent::KeyPress: {
            auto *k = static_cast<QKeyEvent *>(event);
            const int panel = ctrl.panel, id = ctrl.id;
            // Tab leaves the field even where the program moves the focus itself.
            if (k->key() == Qt::Key_Tab || k->key() == Qt::Key_Backtab)
                CommitOnLeave(ctrl, Qt::TabFocusReason);
            ControlInfo *c = FindCtrl(panel, id, nullptr);
            if (!c || FireCtrlEvent(*c, EVENT_KEYPRESS, KeyCode(k)) != 0) return true;
            if ((c = FindCtrl(panel, id, nullptr))) NoteFieldKey(*c, k->key());
            return false;
        }
        case QEvent::FocusIn:
        case QEvent::FocusOut: {
            QWidget *target =
                ctrl.widget && ctrl.widget->focusProxy() ? ctrl.widget->focusProxy() : ctrl.widget.data();
            if (w != target) return false;
            if (event->type() == QEvent::FocusIn) {
                FireCtrlEvent(ctrl, EVENT_GOT_FOCUS);
                return false;
            }
            // Leaving a field commits what was typed into it, before it counts as left.
            const int panel = ctrl.panel, id = ctrl.id;
            CommitOnLeave(ctrl, static_cast<QFocusEvent *>(event)->reason());
            if (ControlInfo *c = FindCtrl(panel, id, nullptr)) FireCtrlEvent(*c, EVENT_LOST_FOCUS);
            return false;
        }
        default:
            return false;
        }
    }
};

EventRouter *Router() {
    static EventRouter *router = new EventRouter(qApp);
    return router;
}

// Routes a widget's own events; it shows no context menu of Qt's own.
void Watch(QWidget *w) {
    w->installEventFilter(Router());
    w->setContextMenuPolicy(Qt::PreventContextMenu);
}

// A control and its parts, but not the controls inside it, which watch themselves.
void WatchTree(QWidget *w) {
    Watch(w);
    for (QObject *child : w->children())
        if (auto *cw = qobject_cast<QWidget *>(child); cw && !cw->property("_uirCtrl").isValid())
            WatchTree(cw);
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

// Wires a control's widget so that user input reaches its callback.
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

} // namespace

void WatchPanel(QWidget *panel) {
    Watch(panel);
}

void ConnectCtrl(ControlInfo &ctrl) {
    ConnectCtrlSignals(ctrl);
    WatchTree(ctrl.widget);
}

// ---- focus and keys ---------------------------------------------------------------

int SetActiveCtrl(int panel, Ctrl c) {
    int err;
    QWidget *w = LookupCtrl(panel, c, &err);
    if (!w) return err;
    w->setFocus(Qt::OtherFocusReason);
    return 0;
}

int GetActiveCtrl(int panel) {
    PanelInfo *p = FindPanel(panel);
    if (!p) return UIE_INVALID_PANEL;
    for (QWidget *w = QApplication::focusWidget(); w; w = w->parentWidget())
        if (w->property("_uirCtrl").isValid() && w->property("_uirPanel").toInt() == panel)
            return w->property("_uirCtrl").toInt();
    return 0;
}

int FakeKeystroke(int keyCode) {
    QWidget *target = QApplication::focusWidget();
    if (!target) return UIE_ERROR;
    auto key = static_cast<Qt::Key>(keyCode & ~Qt::KeyboardModifierMask);
    auto mods = static_cast<Qt::KeyboardModifiers>(keyCode & Qt::KeyboardModifierMask);
    QString text = (key >= 0x20 && key < 0x7f) ? QString(QChar(key)) : QString();
    QKeyEvent press(QEvent::KeyPress, key, mods, text);
    QKeyEvent release(QEvent::KeyRelease, key, mods, text);
    QApplication::sendEvent(target, &press);
    QApplication::sendEvent(target, &release);
    return 0;
}
