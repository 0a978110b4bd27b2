// Controls: the kinds there are, made at run time or found in a resource file,
// and discarded.
#include "platform/controls.h"
#include "platform/fields.h"
#include "platform/graph.h"
#include "platform/stripchart.h"
#include "platform/userevents.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QTableWidget>

namespace {

// Adds a widget made at run time to a panel as a control; result: its id.
int NewCtrlOnPanel(PanelInfo &panel, QWidget *w, CtrlStyle style) {
    if (w->objectName().isEmpty())
        w->setObjectName(QString::fromStdString("ctrl" + std::to_string(panel.controls.size() + 1)));
    ControlInfo &stored = AddCtrl(panel, w, style);
    // A text message made at run time is named by its text, as Qt does by default.
    if (w->accessibleName().isEmpty() && style != CTRL_TEXT_MSG)
        w->setAccessibleName(QString::fromStdString(stored.name));
    ConnectCtrl(stored);
    ApplyTabOrder(panel);
    return stored.id;
}

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

void SizeToText(QWidget *w) {
    if (w->property("sizeToText").toBool()) w->adjustSize();
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
