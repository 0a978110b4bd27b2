// User-interface services: panels loaded from a resource file, controls addressed
// by role name, events delivered to callbacks, popups, charts and graphs.
// Built on Qt Widgets; the only code of the programs that touches widgets.
#pragma once

#include "runtime/events.h"

#include <cstdint>
#include <string>

// ---- events and callbacks -------------------------------------------------

enum UiEvent : int {
    EVENT_NONE = 0,
    EVENT_COMMIT = 1,
    EVENT_VAL_CHANGED = 2,
    EVENT_LEFT_CLICK = 3,
    EVENT_LEFT_DOUBLE_CLICK = 4,
    EVENT_RIGHT_CLICK = 5,
    EVENT_KEYPRESS = 6, // eventData1 = key code (Qt key | Qt modifiers); non-zero result swallows it
    EVENT_GOT_FOCUS = 7,
    EVENT_LOST_FOCUS = 8,
    EVENT_CLOSE = 9,
};

// Key codes as delivered with EVENT_KEYPRESS and accepted by FakeKeystroke.
enum UiKey : int {
    VAL_SHIFT_MODIFIER = 0x02000000,
    VAL_MENUKEY_MODIFIER = 0x04000000, // Ctrl
    VAL_TAB_VKEY = 0x01000001,
    VAL_BACKTAB_VKEY = 0x01000002, // Shift+Tab as Qt reports it
    VAL_BACKSPACE_VKEY = 0x01000003,
    VAL_ENTER_VKEY = 0x01000004,
    VAL_FWD_DELETE_VKEY = 0x01000007,
    VAL_UP_ARROW_VKEY = 0x01000013,
    VAL_DOWN_ARROW_VKEY = 0x01000015,
    VAL_SPACE_KEY = 0x20,
};

// The run-time's callback form: panel, control (0 for a panel), event,
// callback data, two event data words. Result 0 unless a key is swallowed.
using CtrlCallbackPtr = int (*)(int panel, int control, int event, void *callbackData, int eventData1,
                                int eventData2);
using PanelCallbackPtr = CtrlCallbackPtr;

// Makes a function known under the name that resource files give as a control's
// or panel's "callback" property. Register before LoadPanel.
void RegisterCallback(const std::string &name, CtrlCallbackPtr function);

// ---- error codes ---------------------------------------------------------

enum UiError : int {
    UIE_NO_ERROR = 0,
    UIE_ERROR = -1,
    UIE_PANEL_NOT_FOUND = -2,   // resource number not in the resource file
    UIE_FILE_NOT_FOUND = -3,    // resource file missing or unreadable
    UIE_INVALID_PANEL = -4,     // bad panel handle
    UIE_INVALID_CONTROL = -5,   // bad control id or unknown role name
    UIE_INVALID_ATTRIBUTE = -6, // attribute not supported by this control
    UIE_WRONG_TYPE = -7,        // value type does not fit the control
    UIE_INDEX_OUT_OF_RANGE = -8,
    UIE_ITEM_NOT_FOUND = -9,
    UIE_NOT_INITIALISED = runtime::kNoEventLoop, // no application object yet
};

// ---- controls ------------------------------------------------------------

// A control, named either by its id or by its role name (the object name in the
// resource file). Names are looked up on the panel at each call.
struct Ctrl {
    int id = 0;
    const char *name = nullptr;
    Ctrl(int controlId) : id(controlId) {}
    Ctrl(const char *roleName) : name(roleName) {}
    Ctrl(const std::string &roleName) : name(roleName.c_str()) {}
};

// Control kinds, as created by NewCtrl and reported by ATTR_CTRL_STYLE.
// In resource files: QSpinBox = numeric (whole numbers, unsigned 16 bit when its
// maximum is 65535), QLineEdit with property dataType="double" = floating-point
// numeric, QLineEdit = string, QLineEdit frame=false = the flat string kind,
// QLabel = text message or picture, QPlainTextEdit = text box, QPushButton,
// QCheckBox = binary switch, QRadioButton, QComboBox = ring (item values from the
// property itemValues, a comma list, else the item index), QTableWidget = table,
// QProgressBar = progress indicator or bar, QSlider = slide, QFrame = decoration,
// StripChart and Graph = the charts of chartwidgets.h.
enum CtrlStyle : int {
    CTRL_NUMERIC = 1,
    CTRL_NUMERIC_DOUBLE,
    CTRL_STRING,
    CTRL_STRING_FLAT,
    CTRL_TEXT_MSG,
    CTRL_TEXT_BOX,
    CTRL_COMMAND_BUTTON,
    CTRL_BINARY_SWITCH,
    CTRL_RADIO_BUTTON,
    CTRL_RING,
    CTRL_LIST_BUTTON, // a ring that shows only its drop-down arrow
    CTRL_TABLE,
    CTRL_PROGRESS_BAR,
    CTRL_SLIDE,
    CTRL_DECORATION,
    CTRL_PICTURE,
    CTRL_STRIP_CHART,
    CTRL_GRAPH,
};

enum UiAttribute : int {
    ATTR_DIMMED = 1,        // int 0/1
    ATTR_VISIBLE,           // int 0/1
    ATTR_CTRL_COLOR,        // colour
    ATTR_TEXT_COLOR,        // colour
    ATTR_TEXT_BGCOLOR,      // colour
    ATTR_LABEL_COLOR,       // colour (table rows: SetTableRowAttribute)
    ATTR_CTRL_MODE,         // VAL_HOT or VAL_INDICATOR
    ATTR_POINTS_PER_SCREEN, // strip charts
    ATTR_LEFT,
    ATTR_TOP,
    ATTR_WIDTH,
    ATTR_HEIGHT,
    ATTR_TEXT_FONT, // text: font family
    ATTR_TEXT_POINT_SIZE,
    ATTR_TEXT_BOLD,
    ATTR_TEXT_ITALIC,
    ATTR_MAX_ENTRY_LENGTH,          // string controls; -1 = no limit
    ATTR_CTRL_TAB_POSITION,         // 0-based place in the panel's tab order
    ATTR_CTRL_STYLE,                // get only: CtrlStyle
    ATTR_CALLBACK_FUNCTION_POINTER, // pointer (CtrlCallbackPtr)
    ATTR_CALLBACK_DATA,             // pointer
    ATTR_LABEL_TEXT,                // text
    ATTR_FRAME_COLOR,               // colour
    ATTR_TEXT_SELECTION_START,      // string controls
    ATTR_TEXT_SELECTION_LENGTH,
    ATTR_SHORTCUT_KEY, // get only: key code of a button's shortcut, 0 when none
    ATTR_TOOLTIP_TEXT, // text shown when the mouse rests on the control
};

enum CtrlMode : int { VAL_HOT = 0, VAL_INDICATOR = 1 };

// Colours are 0xRRGGBB; VAL_TRANSPARENT marks no colour.
constexpr int MakeColor(int r, int g, int b) {
    return (r << 16) | (g << 8) | b;
}
enum UiColor : int {
    VAL_BLACK = 0x000000,
    VAL_WHITE = 0xFFFFFF,
    VAL_RED = 0xFF0000,
    VAL_GREEN = 0x00FF00,
    VAL_BLUE = 0x0000FF,
    VAL_LT_GRAY = 0xE0E0E0,
    VAL_GRAY = 0xC0C0C0,
    VAL_DK_GRAY = 0x808080,
    VAL_TRANSPARENT = 0x1000000,
};

// ---- panels and the event loop --------------------------------------------

// A resource file is a Qt Designer form. Its top-level widget holds one child
// QWidget per panel, marked by the int property resourceNumber; a panel's
// windowTitle is its title and its string property "callback" names its panel
// callback. A control's objectName is its role name and its string property
// "callback" names its callback (registered with RegisterCallback). Controls
// get ids 1, 2, ... in the order the file lists them, which is also their
// initial tab order.

// Creates the application object if there is none yet. Result 1, or 0 on failure.
int InitRunTime(int &argc, char **argv);
// Ends the application object that InitRunTime made; call before leaving main.
void CloseRunTime();

// Loads panel resourceNumber from the resource file (a path relative to the
// program directory, GetProjectDir). parentPanel 0 makes a top-level window.
// Result: panel handle > 0, or UIE_FILE_NOT_FOUND / UIE_PANEL_NOT_FOUND.
int LoadPanel(int parentPanel, const std::string &resourceFile, int resourceNumber);
int DisplayPanel(int panel);
int HidePanel(int panel);
int SetPanelPos(int panel, int top, int left);
int DiscardPanel(int panel);                                          // discards its child panels too
int SetPanelAttribute(int panel, int attribute, int value);           // ATTR_VISIBLE, ATTR_LEFT, ...
int SetPanelAttribute(int panel, int attribute, const std::string &); // ATTR_LABEL_TEXT = window title
int GetPanelAttribute(int panel, int attribute, int &value);

// Runs the event loop until QuitUserInterface; returns its code.
int RunUserInterface();
int QuitUserInterface(int code);
// Draws what is waiting to be drawn, at once; runs no other event.
int ProcessDrawEvents();
int SetWaitCursor(int on);

// ---- control values ------------------------------------------------------

int GetCtrlVal(int panel, Ctrl c, int &value);
int GetCtrlVal(int panel, Ctrl c, unsigned int &value);
int GetCtrlVal(int panel, Ctrl c, unsigned short &value);
int GetCtrlVal(int panel, Ctrl c, short &value);
int GetCtrlVal(int panel, Ctrl c, double &value);
int GetCtrlVal(int panel, Ctrl c, std::string &value);
// Text into a fixed buffer, cut to fit and always zero-terminated.
template <std::size_t N> int GetCtrlVal(int panel, Ctrl c, char (&buffer)[N]) {
    std::string s;
    int r = GetCtrlVal(panel, c, s);
    if (r < 0) return r;
    std::size_t n = s.size() < N - 1 ? s.size() : N - 1;
    s.copy(buffer, n);
    buffer[n] = '\0';
    return r;
}
// Values set by the program never raise events.
int SetCtrlVal(int panel, Ctrl c, int value);
int SetCtrlVal(int panel, Ctrl c, unsigned int value);
int SetCtrlVal(int panel, Ctrl c, double value);
int SetCtrlVal(int panel, Ctrl c, const char *value);
int SetCtrlVal(int panel, Ctrl c, const std::string &value);
int DefaultCtrl(int panel, Ctrl c); // back to the resource file's value

int SetCtrlAttribute(int panel, Ctrl c, int attribute, int value);
int SetCtrlAttribute(int panel, Ctrl c, int attribute, const std::string &value);
int SetCtrlAttribute(int panel, Ctrl c, int attribute, void *pointer); // callback data
int SetCtrlAttribute(int panel, Ctrl c, int attribute, CtrlCallbackPtr callback);
int GetCtrlAttribute(int panel, Ctrl c, int attribute, int &value);
int GetCtrlAttribute(int panel, Ctrl c, int attribute, std::string &value);
int GetCtrlAttribute(int panel, Ctrl c, int attribute, void *&pointer);
int GetCtrlAttribute(int panel, Ctrl c, int attribute, CtrlCallbackPtr &callback);

// Creates a control at run time; result: its id (> 0), or an error code. The label
// is also the control's accessible name; without one, a text message is named by
// its text and any other control by its role name.
int NewCtrl(int panel, int style, const std::string &label, int top, int left);
int DiscardCtrl(int panel, Ctrl c);
int InstallCtrlCallback(int panel, Ctrl c, CtrlCallbackPtr callback, void *callbackData);
int InstallPanelCallback(int panel, PanelCallbackPtr callback, void *callbackData);
int SetActiveCtrl(int panel, Ctrl c);
int GetActiveCtrl(int panel); // id of the control with the focus, or 0
// Sends a key to the control with the focus, as if typed.
int FakeKeystroke(int keyCode);
// Id of the control at a tab position of the panel, or UIE_INDEX_OUT_OF_RANGE.
int GetCtrlAtTabPosition(int panel, int position);
int GetNumCtrls(int panel);
// Role name of a control ("" for an unknown id).
std::string GetCtrlName(int panel, int control);

// ---- list items (rings, list buttons) -------------------------------------

int InsertListItem(int panel, Ctrl c, int index, const std::string &label, int value); // index -1 = end
int InsertListItem(int panel, Ctrl c, int index, const std::string &label, const std::string &value);
int ReplaceListItem(int panel, Ctrl c, int index, const std::string &label, const std::string &value);
int DeleteListItem(int panel, Ctrl c, int index, int count); // count -1 = to the end
int GetNumListItems(int panel, Ctrl c, int &count);
int GetIndexFromValue(int panel, Ctrl c, int &index, const std::string &value); // index -1 when none
int GetIndexFromValue(int panel, Ctrl c, int &index, int value);
int GetLabelFromIndex(int panel, Ctrl c, int index, std::string &label);
int GetValueFromIndex(int panel, Ctrl c, int index, std::string &value);
int GetValueFromIndex(int panel, Ctrl c, int index, int &value);
int GetCtrlIndex(int panel, Ctrl c, int &index);
int SetCtrlIndex(int panel, Ctrl c, int index);

// ---- text boxes ------------------------------------------------------------

int ResetTextBox(int panel, Ctrl c, const std::string &text);
int InsertTextBoxLine(int panel, Ctrl c, int index, const std::string &line); // index -1 = end
int GetNumTextBoxLines(int panel, Ctrl c, int &count);

// ---- tables ----------------------------------------------------------------

// Cells are addressed 1-based: x = column, y = row.
struct Point {
    int x;
    int y;
};
constexpr Point MakePoint(int x, int y) {
    return Point{x, y};
}
int GetTableCellVal(int panel, Ctrl c, Point cell, int &value);
int GetTableCellVal(int panel, Ctrl c, Point cell, unsigned short &value);
int GetTableCellVal(int panel, Ctrl c, Point cell, double &value);
int SetTableCellVal(int panel, Ctrl c, Point cell, int value);
int SetTableCellVal(int panel, Ctrl c, Point cell, double value);
int GetNumTableRows(int panel, Ctrl c, int &rows);
int GetNumTableColumns(int panel, Ctrl c, int &columns);
// ATTR_LABEL_COLOR or ATTR_LABEL_TEXT of a row's label; row 1-based.
int SetTableRowAttribute(int panel, Ctrl c, int row, int attribute, int value);
int GetTableRowAttribute(int panel, Ctrl c, int row, int attribute, int &value);

// ---- strip charts and graphs (chartwidgets.h draws them) -------------------

enum AxisId : int { VAL_LEFT_YAXIS = 1, VAL_BOTTOM_XAXIS = 2 };
enum AxisMode : int { VAL_MANUAL = 0, VAL_AUTOSCALE = 1 };
enum PlotStyle : int { VAL_THIN_LINE = 0, VAL_CONNECTED_POINTS = 1, VAL_SCATTER = 2 };
enum PointStyle : int { VAL_NO_POINT = 0, VAL_SOLID_SQUARE = 1, VAL_SIMPLE_DOT = 2, VAL_EMPTY_CIRCLE = 3 };
enum LineStyle : int { VAL_SOLID = 0, VAL_DASH = 1, VAL_DOT = 2 };
enum RedrawMode : int { VAL_IMMEDIATE_DRAW = 0, VAL_DELAYED_DRAW = 1 };

// Appends count values, interleaved by trace (count / traces points per trace).
int PlotStripChart(int panel, Ctrl c, const double *values, int count);
int ClearStripChart(int panel, Ctrl c);
// Marks the newest count points of a strip chart where marked is true, with a light
// red band behind them: values the program asks the user to look at.
int MarkStripChartPoints(int panel, Ctrl c, const bool *marked, int count);
int SetAxisScalingMode(int panel, Ctrl c, int axis, int mode, double min, double max);
// Result: plot handle > 0, or an error code.
int PlotXY(int panel, Ctrl c, const uint16_t *x, const uint16_t *y, int count, int plotStyle, int pointStyle,
           int lineStyle, int color);
int PlotXY(int panel, Ctrl c, const double *x, const double *y, int count, int plotStyle, int pointStyle,
           int lineStyle, int color);
int PlotRectangle(int panel, Ctrl c, double x1, double y1, double x2, double y2, int color, int fillColor);
int SetGraphCursor(int panel, Ctrl c, int cursor, double x, double y);
int DeleteGraphPlot(int panel, Ctrl c, int plotHandle, int redrawMode); // plotHandle -1 = all

// ---- popups and pictures ---------------------------------------------------

int MessagePopup(const std::string &title, const std::string &text);
int ConfirmPopup(const std::string &title, const std::string &text); // 1 yes, 0 no
// A question with two or three buttons (button3 empty: two). Result: the number of
// the button pressed; Enter, Escape and closing the popup press the last one.
int GenericMessagePopup(const std::string &title, const std::string &text, const std::string &button1,
                        const std::string &button2, const std::string &button3 = {});

enum FileSelectResult : int {
    VAL_NO_FILE_SELECTED = 0,
    VAL_EXISTING_FILE_SELECTED = 1,
    VAL_NEW_FILE_SELECTED = 2
};
enum FileSelectButton : int {
    VAL_OK_BUTTON = 0,
    VAL_SAVE_BUTTON = 1,
    VAL_SELECT_BUTTON = 2,
    VAL_LOAD_BUTTON = 3
};
// File dialog; the chosen path goes to pathName. Result: FileSelectResult.
// Unless the directory is restricted, it opens in the folder of the file chosen
// last by any file dialog of the program, else in defaultDirectory, unless that is
// read-only or hidden (a settings folder): then in the user's documents or home folder.
int FileSelectPopup(const std::string &defaultDirectory, const std::string &defaultFileName,
                    const std::string &fileTypeList, const std::string &title, int buttonLabel,
                    int restrictDirectory, int restrictExtension, int allowCancel, int allowMakeDirectory,
                    std::string &pathName);
// The same for a file about to be written: an existing file is replaced only
// after the user confirms it; No lets the user choose again.
int FileSaveSelectPopup(const std::string &defaultDirectory, const std::string &defaultFileName,
                        const std::string &fileTypeList, const std::string &title, int buttonLabel,
                        int restrictDirectory, int restrictExtension, int allowCancel, int allowMakeDirectory,
                        std::string &pathName);

// Loads a picture file into a picture control; negative when it cannot be read.
int DisplayImageFile(int panel, Ctrl c, const std::string &path);
