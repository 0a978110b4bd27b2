// Help where people look for it, for either program's tests: each control that
// explains itself on a right click shows the same text as its tooltip, and every
// control has an accessible name that says what it is.
#pragma once

#include "platform/testhooks.h"
#include "platform/userint.h"

#include <QAccessible>
#include <QRegularExpression>
#include <QTest>
#include <QWidget>
#include <string>
#include <vector>

namespace help {

struct Findings {
    int popups = 0; // controls whose right click showed a help popup
    std::vector<std::string> faults;
};

// Right-clicks every control of a panel as a person would and compares the help
// popup's text with the control's tooltip. Hidden and dimmed controls take no
// clicks, so each is shown and released first: only the texts are under test.
inline void RightClickEveryControl(int panel, Findings &found) {
    DisplayPanel(panel);
    for (int id = 1; id <= GetNumCtrls(panel); ++id) {
        QWidget *w = CtrlWidget(panel, id);
        if (!w) continue;
        const std::string name = GetCtrlName(panel, id);
        SetCtrlAttribute(panel, id, ATTR_VISIBLE, 1);
        SetCtrlAttribute(panel, id, ATTR_DIMMED, 0);
        ClearRecordedPopups();
        QTest::mouseClick(w, Qt::RightButton, Qt::NoModifier, w->rect().center());
        const std::string tip = w->toolTip().toStdString();
        const std::vector<PopupRecord> popups = RecordedPopups();
        if (popups.empty()) {
            if (!tip.empty()) found.faults.push_back(name + " has a tooltip but no help popup");
            continue;
        }
        ++found.popups;
        if (popups.size() != 1)
            found.faults.push_back(name + " shows " + std::to_string(popups.size()) + " popups");
        else if (popups[0].text != tip)
            found.faults.push_back(name + ": help \"" + popups[0].text + "\", tooltip \"" + tip + "\"");
    }
}

// Controls of a panel that a screen reader could not name, or only by a number.
inline std::vector<std::string> UnnamedControls(int panel) {
    static const QRegularExpression generated("^ctrl\\d+$");
    std::vector<std::string> unnamed;
    for (int id = 1; id <= GetNumCtrls(panel); ++id) {
        QWidget *w = CtrlWidget(panel, id);
        QAccessibleInterface *a = w ? QAccessible::queryAccessibleInterface(w) : nullptr;
        const QString name = a ? a->text(QAccessible::Name) : QString();
        if (name.trimmed().isEmpty() || generated.match(name).hasMatch())
            unnamed.push_back(GetCtrlName(panel, id) + " (\"" + name.toStdString() + "\")");
    }
    return unnamed;
}

} // namespace help
