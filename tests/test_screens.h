// Looking at a program's panels as a person would, for either program's tests:
// every visible control inside its panel and clear of the others, and each
// panel saved as a PNG when the environment variable SCREENSHOT_DIR names a
// folder (scripts/screenshots sets it).
#pragma once

#include "platform/testhooks.h"
#include "platform/userint.h"

#include <QDir>
#include <QGroupBox>
#include <QLineEdit>
#include <QSpinBox>
#include <QStyle>
#include <QWidget>
#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

namespace screens {

// A plain frame: the decoration a brand area is drawn on.
inline bool IsDecoration(const QWidget *w) {
    return QString(w->metaObject()->className()) == "QFrame";
}

// Faults a person would see on a panel: a visible control reaching outside the
// panel, or two visible controls covering each other. Controls drawn on a
// decoration (a brand area: picture and labels) are composed freely.
inline std::vector<std::string> LayoutFaults(int panel) {
    std::vector<std::string> faults;
    QWidget *p = PanelWidget(panel);
    if (!p) return {"no panel " + std::to_string(panel)};
    struct Placed {
        std::string name;
        QRect rect;
    };
    std::vector<Placed> placed;
    std::vector<QRect> decorations;
    auto rectOf = [p](QWidget *w) { return QRect(w->mapTo(p, QPoint(0, 0)), w->size()); };
    std::vector<QWidget *> shown;
    for (int id = 1; id <= GetNumCtrls(panel); ++id)
        if (QWidget *w = CtrlWidget(panel, id); w && w->isVisibleTo(p)) shown.push_back(w);
    for (QWidget *w : shown)
        if (IsDecoration(w)) decorations.push_back(rectOf(w));
    for (QWidget *w : shown) {
        // Group boxes hold controls; decorations lie under them.
        if (IsDecoration(w) || qobject_cast<QGroupBox *>(w)) continue;
        const QRect r = rectOf(w);
        if (std::any_of(decorations.begin(), decorations.end(),
                        [&](const QRect &d) { return d.contains(r); }))
            continue;
        const std::string name = w->objectName().toStdString();
        if (!p->rect().contains(r)) faults.push_back(name + " reaches outside the panel");
        for (const Placed &other : placed)
            if (other.rect.intersects(r)) faults.push_back(name + " overlaps " + other.name);
        placed.push_back({name, r});
    }
    return faults;
}

// Whether a line edit shows its whole text within its width, inside frame and margins.
inline bool ShowsWhole(const QLineEdit *e) {
    const int frame = e->hasFrame() ? e->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, e) : 0;
    const QMargins m = e->textMargins();
    return e->fontMetrics().horizontalAdvance(e->text()) <=
           e->width() - 2 * (frame + 2) - m.left() - m.right();
}

// The number fields and displays of a panel that cut a number, each tried with the
// widest values of its kind: a whole-number field's least and greatest, a display's
// long fractions, a field's long typed coefficients. Every control keeps its value.
inline std::vector<std::string> CutNumbers(int panel) {
    std::vector<std::string> cut;
    QWidget *p = PanelWidget(panel);
    for (int id = 1; id <= GetNumCtrls(panel); ++id) {
        QWidget *w = CtrlWidget(panel, id);
        if (!w || !w->isVisibleTo(p)) continue;
        int style = 0, mode = 0;
        GetCtrlAttribute(panel, id, ATTR_CTRL_STYLE, style);
        GetCtrlAttribute(panel, id, ATTR_CTRL_MODE, mode);
        std::vector<double> values;
        const QLineEdit *edit = nullptr;
        if (auto *spin = qobject_cast<QSpinBox *>(w)) {
            values = {double(spin->minimum()), double(spin->maximum())};
            edit = spin->findChild<QLineEdit *>();
        } else if (style == CTRL_NUMERIC_DOUBLE) {
            values = mode == VAL_INDICATOR ? std::vector<double>{674.2612345678901, -12345.678901234567}
                                           : std::vector<double>{-0.000123456789, -1234.56789};
            edit = qobject_cast<QLineEdit *>(w);
        }
        if (!edit) continue;
        double kept = 0;
        GetCtrlVal(panel, id, kept);
        for (double v : values) {
            SetCtrlVal(panel, id, v);
            if (!ShowsWhole(edit))
                cut.push_back(GetCtrlName(panel, id) + " cuts " + edit->text().toStdString());
        }
        SetCtrlVal(panel, id, kept);
    }
    return cut;
}

// Saves the panel as SCREENSHOT_DIR/<name>.png when that folder is given.
inline void SaveScreenshot(int panel, const std::string &name) {
    const char *dir = std::getenv("SCREENSHOT_DIR");
    QWidget *p = PanelWidget(panel);
    if (!dir || !*dir || !p) return;
    QDir().mkpath(dir);
    p->grab().save(QDir(dir).filePath(QString::fromStdString(name) + ".png"));
}

} // namespace screens
