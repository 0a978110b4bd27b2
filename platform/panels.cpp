// Panels: loading from the resource file, showing and placing windows on the
// screen, their attributes, and discarding.
#include "platform/controls.h"
#include "platform/fields.h"
#include "platform/graph.h"
#include "platform/stripchart.h"
#include "platform/userevents.h"
#include "runtime/utility.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QScreen>
#include <QSpinBox>
#include <QUiLoader>

using namespace runtime;

namespace {

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
    for (const auto &[handle, info] : LoadedPanels())
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
        ControlInfo &info = AddCtrl(panel, w, StyleOfWidget(w));
        info.callback = CallbackByName(w->property("callback"));
        bool readOnly = w->property("readOnly").toBool();
        info.mode = readOnly ? VAL_INDICATOR : VAL_HOT;
    }
    for (ControlInfo &c : panel.controls) {
        // Screen readers and GUI automation find each control by its role.
        if (c.widget->accessibleName().isEmpty()) c.widget->setAccessibleName(QString::fromStdString(c.name));
        ConnectCtrl(c);
    }
    ApplyTabOrder(panel);
}

} // namespace

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

    PanelInfo &stored = AddPanel(parentPanel, widget);
    stored.callback = CallbackByName(widget->property("callback"));
    widget->setProperty("_uirPanelOf", stored.handle);
    WatchPanel(widget);
    widget->setAutoFillBackground(true);
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
    for (const auto &[handle, info] : LoadedPanels())
        if (info.parent == panel) children.push_back(handle);
    for (int child : children)
        DiscardPanel(child);
    QWidget *w = p->widget;
    ForgetPanel(panel);
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
