// Control attributes: look, place, mode, text and callback of a control, set and
// read by the program.
#include "platform/controls.h"
#include "platform/stripchart.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QTableWidget>

namespace {

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

} // namespace

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
