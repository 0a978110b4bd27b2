// Help texts: each control's explanation, shown in a message popup on a right
// click and, so that it is found without knowing that, as the control's tooltip.
// Each module keeps one table of its texts; the right-click handlers and the
// tooltips both read it.
#pragma once

#include <span>
#include <string>

namespace programlink {

// One control's help text. panel points to the handle the program keeps for the
// control's panel, which is known only once the panels are loaded.
struct HelpText {
    const int *panel;
    const char *control; // role name
    const char *text;
    const char *title = "INFO!";
    const std::string *file = nullptr; // a file the control writes, named after the text
};

using HelpTable = std::span<const HelpText>;

// The text as shown: the help text, and the file the control writes, if any.
std::string FullHelpText(const HelpText &help);
// Gives every control of a table its help text as tooltip; call once the panels are loaded.
void SetHelpTooltips(HelpTable table);
// The table's entry for a control, or nullptr.
const HelpText *FindHelpText(HelpTable table, int panel, int control);
// Shows a control's help text in its popup; false when the table has none for it.
bool ShowHelpText(HelpTable table, int panel, int control);

} // namespace programlink
