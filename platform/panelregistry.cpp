// The loaded panels and their controls: handles, role names, tab order, and the
// callbacks that resource files name.
#include "platform/panelregistry.h"
#include "platform/testhooks.h"

#include <algorithm>

namespace {

std::map<std::string, CtrlCallbackPtr> &CallbackRegistry() {
    static std::map<std::string, CtrlCallbackPtr> registry;
    return registry;
}

std::map<int, PanelInfo> panels;
int nextPanelHandle = 1;
std::vector<std::string> unknownNames;

} // namespace

void RegisterCallback(const std::string &name, CtrlCallbackPtr function) {
    CallbackRegistry()[name] = function;
}

CtrlCallbackPtr CallbackByName(const QVariant &name) {
    if (!name.isValid()) return nullptr;
    auto it = CallbackRegistry().find(name.toString().toStdString());
    return it == CallbackRegistry().end() ? nullptr : it->second;
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

const std::map<int, PanelInfo> &LoadedPanels() {
    return panels;
}

PanelInfo &AddPanel(int parent, QWidget *widget) {
    PanelInfo info;
    info.handle = nextPanelHandle++;
    info.parent = parent;
    info.widget = widget;
    return panels[info.handle] = info;
}

void ForgetPanel(int panel) {
    panels.erase(panel);
}

ControlInfo &AddCtrl(PanelInfo &panel, QWidget *w, CtrlStyle style) {
    ControlInfo info;
    info.panel = panel.handle;
    info.id = static_cast<int>(panel.controls.size()) + 1;
    info.name = w->objectName().toStdString();
    info.style = style;
    info.widget = w;
    w->setProperty("_uirPanel", panel.handle);
    w->setProperty("_uirCtrl", info.id);
    panel.ids[info.name] = info.id;
    panel.tabOrder.push_back(info.id);
    panel.controls.push_back(info);
    return panel.controls.back();
}

// ---- tab order ------------------------------------------------------------------

void ApplyTabOrder(PanelInfo &panel) {
    QWidget *prev = nullptr;
    for (int id : panel.tabOrder) {
        QWidget *w = panel.controls[id - 1].widget;
        if (!w) continue;
        if (prev) QWidget::setTabOrder(prev, w);
        prev = w;
    }
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
