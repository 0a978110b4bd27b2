// The server-name combo box: an editable text field with a drop-down list of
// recent names beside it, built at run time from an existing text field. It
// completes typed text from the list and passes every event on to the text
// field's own callback.
#pragma once

#include "platform/userint.h"

#include <string>

namespace programlink {

// Error codes besides those of the run-time's control calls.
enum ComboError : int {
    COMBO_ERR_OUT_OF_MEMORY = -12,
    COMBO_ERR_NOT_A_COMBO = -45, // also: already a combo box, or not a text field
    COMBO_ERR_BAD_ATTRIBUTE = -46,
};

// Attribute codes of Combo_SetComboAttribute and Combo_GetComboAttribute.
enum ComboAttribute : int {
    COMBO_ATTR_HEIGHT = 1, // get only
    COMBO_ATTR_WIDTH = 2,
    COMBO_ATTR_TEXT_COLOR = 3,
    COMBO_ATTR_COLOR = 4,
    COMBO_ATTR_TEXT_FONT = 5,    // text value
    COMBO_ATTR_TEXT_BGCOLOR = 6, // get only
    COMBO_ATTR_TEXT_POINT_SIZE = 7,
    COMBO_ATTR_TEXT_BOLD = 8,
    COMBO_ATTR_TEXT_ITALIC = 9,
    COMBO_ATTR_LEFT = 10,
    COMBO_ATTR_TOP = 11,
    COMBO_ATTR_VISIBLE = 12,
    COMBO_ATTR_DIMMED = 13,
    COMBO_ATTR_MAX_ENTRY_LENGTH = 14,
};

// Turns a text field into a combo box. Result: the text field's id (the combo
// box's id in every other call), or an error code.
int Combo_NewComboBox(int panel, Ctrl textCtrl);
// Discards the list button, the frame and the text field itself.
int Combo_DiscardComboBox(int panel, int control);
// Inserts an item at index (-1 = at the end); its label and value are the text.
int Combo_InsertComboItem(int panel, int control, int index, const std::string &text);
// Deletes count items from index on (-1 = to the end of the list).
int Combo_DeleteComboItem(int panel, int control, int index, int count);
// Replaces the item at index.
int Combo_ReplaceComboItem(int panel, int control, int index, const std::string &text);
// Index of the first item equal to text, negative when there is none.
int Combo_GetIndexFromValue(int panel, int control, int &index, const std::string &text);
int Combo_SetComboAttribute(int panel, int control, int attribute, int value);
int Combo_SetComboAttribute(int panel, int control, int attribute, const std::string &value);
int Combo_GetComboAttribute(int panel, int control, int attribute, int &value);
int Combo_GetComboAttribute(int panel, int control, int attribute, std::string &value);

// Number of items in the list (not one of the eight calls; the server list needs it).
int Combo_GetNumComboItems(int panel, int control, int &count);
// The text of item index.
int Combo_GetComboItem(int panel, int control, int index, std::string &text);

// Turns completion back on, as at start-up.
void Combo_ResetCompletionSwitch();

} // namespace programlink
