#include "link/helptext.h"

#include "platform/userint.h"

#include <string>

namespace programlink {

std::string FullHelpText(const HelpText &help) {
    std::string text = help.text;
    if (help.file && !help.file->empty()) text += "\n Saved in " + *help.file;
    return text;
}

void SetHelpTooltips(HelpTable table) {
    for (const HelpText &h : table)
        SetCtrlAttribute(*h.panel, h.control, ATTR_TOOLTIP_TEXT, FullHelpText(h));
}

const HelpText *FindHelpText(HelpTable table, int panel, int control) {
    const std::string name = GetCtrlName(panel, control);
    for (const HelpText &h : table)
        if (*h.panel == panel && name == h.control) return &h;
    return nullptr;
}

bool ShowHelpText(HelpTable table, int panel, int control) {
    const HelpText *h = FindHelpText(table, panel, control);
    if (h) MessagePopup(h->title, FullHelpText(*h));
    return h != nullptr;
}

} // namespace programlink
