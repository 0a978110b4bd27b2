// Panels: loading from the resource file, showing and placing, discarding,
// and routing the user's mouse, key, focus and close events to callbacks.
#include "platform/chartwidgets.h"
#include "platform/testhooks.h"
#include "platform/uir_internal.h"
#include "runtime/utility.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScreen>
#include <QSpinBox>
#include <QTableWidget>
#include <QUiLoader>

using namespace runtime;

namespace {

std::map<std::string, CtrlCallbackPtr> &CallbackRegistry() {
    static std::map<std::string, CtrlCallbackPtr> registry;
    return registry;
}

std::map<int, PanelInfo> panels;
int nextPanelHandle = 1;
std::vector<std::string> unknownNames;

// Knows the two chart widgets, which QUiLoader would otherwise skip silently.
class PanelLoader : public QUiLoader {
  public:
    QWidget *createWidget(const QString &className, QWidget *parent, const QString &name) override {
        QWidget *w = nullptr;
        if (className == "StripChart")
            w = new StripChart(parent);
        else if (className == "Graph")
            w = new Graph(parent);
        else if (className == "QSpinBox")
            w = NewWholeNumberBox(parent);
        else
            return QUiLoader::createWidget(className, parent, name);
        w->setObjectName(name);
        return w;
    }
};

CtrlCallbackPtr CallbackByName(const QVariant &name) {
    if (!name.isValid()) return nullptr;
    auto it = CallbackRegistry().find(name.toString().toStdString());
    return it == CallbackRegistry().end() ? nullptr : it->second;
}

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

void WatchTree(QWidget *w) {
    w->installEventFilter(Router());
    w->setContextMenuPolicy(Qt::PreventContextMenu);
    for (QObject *child : w->children())
        if (auto *cw = qobject_cast<QWidget *>(child); cw && !cw->property("_uirCtrl").isValid())
            WatchTree(cw);
}

bool IsContainer(const QWidget *w) {
    const QString cls = w->metaObject()->className();
    return cls == "QWidget" || cls == "QFrame" || cls == "QGroupBox";
}

// ---- where windows open --------------------------------------------------------

// What a window manager adds around a window not yet shown: a title bar and a border.
constexpr QMargins kAssumedFrame(4, 32, 4, 4);
constexpr int kWindowGap = 8;

QRect FrameOf(const QWidget *w) {
    if (w->isVisible()) return w->frameGeometry();
    return QRect(w->pos(), w->size()).marginsAdded(kAssumedFrame);
}

// A frame of the given size moved into the area (its top left corner when it is larger).
QRect Within(QRect frame, const QRect &area) {
    frame.moveLeft(std::max(area.left(), std::min(frame.left(), area.right() + 1 - frame.width())));
    frame.moveTop(std::max(area.top(), std::min(frame.top(), area.bottom() + 1 - frame.height())));
    return frame;
}

int OverlapArea(const QRect &a, const QRect &b) {
    const QRect both = a.intersected(b);
    return both.isEmpty() ? 0 : both.width() * both.height();
}

// The first window the program shows is its main window; the others open beside it.
int mainWindow = 0;

// The program's other windows, loaded and not yet shown: the main window leaves them room.
int WidestOtherWindow(int except) {
    int widest = 0;
    for (const auto &[handle, info] : panels)
        if (handle != except && info.parent == 0 && info.widget)
            widest = std::max(widest, info.widget->width() + kAssumedFrame.left() + kAssumedFrame.right());
    return widest;
}

// Places a window on the screen when it is first shown, with its title bar and frame
// on the screen (a move() places the frame, so a window manager keeps it where it is
// put). The main window opens centred with room beside it for the program's other
// windows; another window opens beside the main window, never over it where the
// screen has room, else over as little of it as the screen allows.
void PlaceWindow(PanelInfo &p) {
    QWidget *w = p.widget;
    p.placed = true;
    QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect area = screen->availableGeometry();
    QRect frame = FrameOf(w);
    PanelInfo *main = FindPanel(mainWindow);
    if (!main || !main->widget->isVisible()) {
        mainWindow = p.handle;
        const int pairWidth = frame.width() + kWindowGap + WidestOtherWindow(p.handle);
        const int width = pairWidth <= area.width() ? pairWidth : frame.width();
        frame.moveTopLeft(QPoint(area.left() + (area.width() - width) / 2,
                                 area.top() + (area.height() - frame.height()) / 2));
    } else {
        const QRect beside = FrameOf(main->widget);
        const QPoint places[] = {
            {beside.right() + 1 + kWindowGap, beside.top()},
            {beside.left() - kWindowGap - frame.width(), beside.top()},
            {beside.left(), beside.bottom() + 1 + kWindowGap},
            {beside.left(), beside.top() - kWindowGap - frame.height()},
        };
        QRect best;
        for (const QPoint &at : places) {
            const QRect candidate = Within(QRect(at, frame.size()), area);
            if (best.isNull() || OverlapArea(candidate, beside) < OverlapArea(best, beside)) best = candidate;
        }
        frame = best;
    }
    w->move(Within(frame, area).topLeft());
}

void ApplyTabOrder(PanelInfo &panel) {
    QWidget *prev = nullptr;
    for (int id : panel.tabOrder) {
        QWidget *w = panel.controls[id - 1].widget;
        if (!w) continue;
        if (prev) QWidget::setTabOrder(prev, w);
        prev = w;
    }
}

// Registers every named child widget of a freshly loaded panel as a control.
void RegisterControls(PanelInfo &panel) {
    const QList<QWidget *> all = panel.widget->findChildren<QWidget *>();
    for (QWidget *w : all) {
        if (w->objectName().isEmpty() || w->objectName().startsWith("qt_")) continue;
        // Named widgets inside a control (not inside a mere container) are its parts.
        bool nested = false;
        for (QWidget *p = w->parentWidget(); p && p != panel.widget; p = p->parentWidget())
            if (p->property("_uirCtrl").isValid() && !IsContainer(p)) nested = true;
        if (nested) continue;
        ControlInfo info;
        info.panel = panel.handle;
        info.id = static_cast<int>(panel.controls.size()) + 1;
        info.name = w->objectName().toStdString();
        info.style = StyleOfWidget(w);
        info.widget = w;
        info.callback = CallbackByName(w->property("callback"));
        bool readOnly = w->property("readOnly").toBool();
        info.mode = readOnly ? VAL_INDICATOR : VAL_HOT;
        w->setProperty("_uirPanel", panel.handle);
        w->setProperty("_uirCtrl", info.id);
        panel.ids[info.name] = info.id;
        panel.tabOrder.push_back(info.id);
        panel.controls.push_back(info);
    }
    for (ControlInfo &c : panel.controls) {
        // Screen readers and GUI automation find each control by its role.
        if (c.widget->accessibleName().isEmpty()) c.widget->setAccessibleName(QString::fromStdString(c.name));
        ConnectCtrlSignals(c);
        WatchTree(c.widget);
    }
    ApplyTabOrder(panel);
}

} // namespace

void RegisterCallback(const std::string &name, CtrlCallbackPtr function) {
    CallbackRegistry()[name] = function;
}

PanelInfo *FindPanel(int panel) {
    auto it = panels.find(panel);
    return it == panels.end() || !it->second.widget ? nullptr : &it->second;
}

ControlInfo *FindCtrl(int panel, Ctrl c, int *error) {
    int dummy;
    int &err = error ? *error : dummy;
    PanelInfo *p = FindPanel(panel);
    if (!p) {
        err = UIE_INVALID_PANEL;
        return nullptr;
    }
    int id = c.id;
    if (c.name) {
        auto it = p->ids.find(c.name);
        if (it == p->ids.end()) {
            unknownNames.push_back(std::string(c.name));
            qWarning("control %s is not on panel %d", c.name, panel);
            err = UIE_INVALID_CONTROL;
            return nullptr;
        }
        id = it->second;
    }
    if (id < 1 || id > static_cast<int>(p->controls.size()) || !p->controls[id - 1].widget) {
        err = UIE_INVALID_CONTROL;
        return nullptr;
    }
    err = UIE_NO_ERROR;
    return &p->controls[id - 1];
}

QWidget *LookupCtrl(int panel, Ctrl c, int *error) {
    ControlInfo *ctrl = FindCtrl(panel, c, error);
    return ctrl ? ctrl->widget.data() : nullptr;
}

int FireCtrlEvent(ControlInfo &ctrl, int event, int eventData1, int eventData2) {
    if (!ctrl.callback) return 0;
    // Copy what the call needs: the callback may discard the control.
    CtrlCallbackPtr cb = ctrl.callback;
    return cb(ctrl.panel, ctrl.id, event, ctrl.callbackData, eventData1, eventData2);
}

int LoadPanel(int parentPanel, const std::string &resourceFile, int resourceNumber) {
    if (!QCoreApplication::instance()) return UIE_NOT_INITIALISED;
    PanelInfo *parent = nullptr;
    if (parentPanel != 0 && !(parent = FindPanel(parentPanel))) return UIE_INVALID_PANEL;
    std::string dir;
    GetProjectDir(dir);
    QString path = QString::fromStdString(resourceFile);
    if (QFileInfo(path).isRelative()) path = QString::fromStdString(JoinPath(dir, resourceFile));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return UIE_FILE_NOT_FOUND;
    PanelLoader loader;
    QWidget *form = loader.load(&file);
    if (!form) return UIE_FILE_NOT_FOUND;
    QWidget *widget = nullptr;
    for (QObject *child : form->children()) {
        auto *w = qobject_cast<QWidget *>(child);
        if (w && w->property("resourceNumber").isValid() &&
            w->property("resourceNumber").toInt() == resourceNumber) {
            widget = w;
            break;
        }
    }
    if (!widget) {
        delete form;
        return UIE_PANEL_NOT_FOUND;
    }
    const QRect geometry = widget->geometry();
    if (parent) {
        widget->setParent(parent->widget);
        widget->setGeometry(geometry);
    } else {
        // A window gets its size here and its place on the screen when first shown.
        widget->setParent(nullptr, Qt::Window);
        widget->setWindowTitle(widget->windowTitle());
        widget->resize(geometry.size());
    }
    widget->hide();
    delete form;

    PanelInfo info;
    info.handle = nextPanelHandle++;
    info.parent = parentPanel;
    info.widget = widget;
    info.callback = CallbackByName(widget->property("callback"));
    widget->setProperty("_uirPanelOf", info.handle);
    widget->installEventFilter(Router());
    widget->setContextMenuPolicy(Qt::PreventContextMenu);
    widget->setAutoFillBackground(true);
    PanelInfo &stored = panels[info.handle] = info;
    RegisterControls(stored);
    return stored.handle;
}

int DisplayPanel(int panel) {
    PanelInfo *p = FindPanel(panel);
    if (!p) return UIE_INVALID_PANEL;
    if (p->parent == 0 && !p->placed) PlaceWindow(*p);
    p->widget->show();
    if (p->parent == 0)
        p->widget->activateWindow();
    else
        p->widget->raise();
    return 0;
}

int HidePanel(int panel) {
    PanelInfo *p = FindPanel(panel);
    if (!p) return UIE_INVALID_PANEL;
    p->widget->hide();
    return 0;
}

int SetPanelPos(int panel, int top, int left) {
    PanelInfo *p = FindPanel(panel);
    if (!p) return UIE_INVALID_PANEL;
    p->widget->move(left, top);
    p->placed = true; // the program's own place
    return 0;
}

int DiscardPanel(int panel) {
    PanelInfo *p = FindPanel(panel);
    if (!p) return UIE_INVALID_PANEL;
    std::vector<int> children;
    for (auto &[handle, info] : panels)
        if (info.parent == panel) children.push_back(handle);
    for (int child : children)
        DiscardPanel(child);
    QWidget *w = p->widget;
    panels.erase(panel);
    w->hide();
    // A panel may be discarded from inside one of its own callbacks.
    w->deleteLater();
    return 0;
}

int SetPanelAttribute(int panel, int attribute, int value) {
    PanelInfo *p = FindPanel(panel);
    if (!p) return UIE_INVALID_PANEL;
    switch (attribute) {
    case ATTR_VISIBLE:
        p->widget->setVisible(value != 0);
        return 0;
    case ATTR_LEFT:
        p->widget->move(value, p->widget->y());
        return 0;
    case ATTR_TOP:
        p->widget->move(p->widget->x(), value);
        return 0;
    case ATTR_WIDTH:
        p->widget->resize(value, p->widget->height());
        return 0;
    case ATTR_HEIGHT:
        p->widget->resize(p->widget->width(), value);
        return 0;
    case ATTR_DIMMED:
        p->widget->setEnabled(value == 0);
        return 0;
    default:
        return UIE_INVALID_ATTRIBUTE;
    }
}

int SetPanelAttribute(int panel, int attribute, const std::string &value) {
    PanelInfo *p = FindPanel(panel);
    if (!p) return UIE_INVALID_PANEL;
    if (attribute != ATTR_LABEL_TEXT) return UIE_INVALID_ATTRIBUTE;
    p->widget->setWindowTitle(QString::fromStdString(value));
    return 0;
}

int GetPanelAttribute(int panel, int attribute, int &value) {
    PanelInfo *p = FindPanel(panel);
    if (!p) return UIE_INVALID_PANEL;
    switch (attribute) {
    case ATTR_VISIBLE:
        value = p->widget->isVisible() ? 1 : 0;
        return 0;
    case ATTR_LEFT:
        value = p->widget->x();
        return 0;
    case ATTR_TOP:
        value = p->widget->y();
        return 0;
    case ATTR_WIDTH:
        value = p->widget->width();
        return 0;
    case ATTR_HEIGHT:
        value = p->widget->height();
        return 0;
    default:
        return UIE_INVALID_ATTRIBUTE;
    }
}

int InstallPanelCallback(int panel, PanelCallbackPtr callback, void *callbackData) {
    PanelInfo *p = FindPanel(panel);
    if (!p) return UIE_INVALID_PANEL;
    p->callback = callback;
    p->callbackData = callbackData;
    return 0;
}

int SetWaitCursor(int on) {
    if (!qApp) return UIE_NOT_INITIALISED;
    if (on)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        while (QApplication::overrideCursor())
            QApplication::restoreOverrideCursor();
    return 0;
}

int NewCtrlOnPanel(PanelInfo &panel, QWidget *w, CtrlStyle style) {
    ControlInfo info;
    info.panel = panel.handle;
    info.id = static_cast<int>(panel.controls.size()) + 1;
    info.name = "ctrl" + std::to_string(info.id);
    if (w->objectName().isEmpty()) w->setObjectName(QString::fromStdString(info.name));
    info.name = w->objectName().toStdString();
    info.style = style;
    info.widget = w;
    w->setProperty("_uirPanel", panel.handle);
    w->setProperty("_uirCtrl", info.id);
    panel.ids[info.name] = info.id;
    panel.tabOrder.push_back(info.id);
    panel.controls.push_back(info);
    ControlInfo &stored = panel.controls.back();
    // A text message made at run time is named by its text, as Qt does by default.
    if (w->accessibleName().isEmpty() && style != CTRL_TEXT_MSG)
        w->setAccessibleName(QString::fromStdString(info.name));
    ConnectCtrlSignals(stored);
    WatchTree(w);
    ApplyTabOrder(panel);
    return stored.id;
}

int SetCtrlTabPosition(PanelInfo &panel, int id, int position) {
    auto &order = panel.tabOrder;
    auto it = std::find(order.begin(), order.end(), id);
    if (it == order.end()) return UIE_INVALID_CONTROL;
    order.erase(it);
    position = std::clamp(position, 0, static_cast<int>(order.size()));
    order.insert(order.begin() + position, id);
    ApplyTabOrder(panel);
    return 0;
}

int GetCtrlTabPosition(const PanelInfo &panel, int id) {
    auto it = std::find(panel.tabOrder.begin(), panel.tabOrder.end(), id);
    return it == panel.tabOrder.end() ? UIE_INVALID_CONTROL : static_cast<int>(it - panel.tabOrder.begin());
}

int GetCtrlAtTabPosition(int panel, int position) {
    PanelInfo *p = FindPanel(panel);
    if (!p) return UIE_INVALID_PANEL;
    if (position < 0 || position >= static_cast<int>(p->tabOrder.size())) return UIE_INDEX_OUT_OF_RANGE;
    return p->tabOrder[position];
}

int GetNumCtrls(int panel) {
    PanelInfo *p = FindPanel(panel);
    return p ? static_cast<int>(p->tabOrder.size()) : UIE_INVALID_PANEL;
}

std::string GetCtrlName(int panel, int control) {
    ControlInfo *c = FindCtrl(panel, control, nullptr);
    return c ? c->name : std::string();
}

int DiscardCtrl(int panel, Ctrl c) {
    int err;
    ControlInfo *ctrl = FindCtrl(panel, c, &err);
    if (!ctrl) return err;
    PanelInfo *p = FindPanel(panel);
    p->ids.erase(ctrl->name);
    p->tabOrder.erase(std::remove(p->tabOrder.begin(), p->tabOrder.end(), ctrl->id), p->tabOrder.end());
    QWidget *w = ctrl->widget;
    ctrl->widget = nullptr;
    ctrl->callback = nullptr;
    w->hide();
    w->deleteLater();
    return 0;
}

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

// ---- test hooks -------------------------------------------------------------

QWidget *PanelWidget(int panel) {
    PanelInfo *p = FindPanel(panel);
    return p ? p->widget.data() : nullptr;
}

QWidget *CtrlWidget(int panel, int control) {
    return LookupCtrl(panel, control, nullptr);
}

QWidget *CtrlWidget(int panel, const std::string &roleName) {
    return LookupCtrl(panel, roleName, nullptr);
}

const std::vector<std::string> &UnknownControlNames() {
    return unknownNames;
}

void ClearUnknownControlNames() {
    unknownNames.clear();
}
