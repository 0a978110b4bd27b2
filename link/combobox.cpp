#include "link/combobox.h"

#include "runtime/utility.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <new>
#include <vector>

using namespace runtime;

namespace programlink {
namespace {

constexpr int32_t kComboMarker = 0x5574;
constexpr int kKeyMask = 0x01FFFFFF; // key code without its modifiers

// One combo box; the callback data of both its text field and its list button.
struct ComboRecord {
    int panel = 0;
    int listCtrl = 0;
    int textCtrl = 0;
    int frameCtrl = 0;
    CtrlCallbackPtr ownCallback = nullptr;
    void *ownCallbackData = nullptr;
    int lock = 0;
    int maxLength = -1; // entry length + 1, or -1 for no limit
    bool listOpenedByKey = false;
    int32_t marker = kComboMarker;
};

// The records of all combo boxes; a record lives until its combo box is discarded.
std::vector<std::unique_ptr<ComboRecord>> records;
int completionSwitch = 1;

// Holds a combo box's lock for a scope; the handle is copied, since the record
// may be discarded by a callback meanwhile.
class HeldLock {
  public:
    explicit HeldLock(int handle) : handle_(handle) { CmtGetLock(handle_); }
    ~HeldLock() { CmtReleaseLock(handle_); }
    HeldLock(const HeldLock &) = delete;
    HeldLock &operator=(const HeldLock &) = delete;

  private:
    int handle_;
};

// A record only if the pointer is one of ours and carries the marker.
ComboRecord *RecordFromData(void *data) {
    for (auto &r : records)
        if (r.get() == data && r->marker == kComboMarker) return r.get();
    return nullptr;
}

ComboRecord *RecordOf(int panel, int control) {
    void *data = nullptr;
    if (GetCtrlAttribute(panel, control, ATTR_CALLBACK_DATA, data) < 0) return nullptr;
    ComboRecord *r = RecordFromData(data);
    return r && r->panel == panel && r->textCtrl == control ? r : nullptr;
}

template <typename Op> int WithCombo(int panel, int control, Op op) {
    ComboRecord *rec = RecordOf(panel, control);
    if (!rec) return COMBO_ERR_NOT_A_COMBO;
    HeldLock held(rec->lock);
    return op(*rec);
}

// The id of a control given by id or by role name, or UIE_INVALID_CONTROL.
int CtrlId(int panel, Ctrl c) {
    if (!c.name) return GetCtrlName(panel, c.id).empty() ? UIE_INVALID_CONTROL : c.id;
    const int n = GetNumCtrls(panel);
    for (int pos = 0; pos < n; ++pos) {
        const int id = GetCtrlAtTabPosition(panel, pos);
        if (GetCtrlName(panel, id) == c.name) return id;
    }
    return UIE_INVALID_CONTROL;
}

// ---- text of several bytes per character -------------------------------------

std::size_t Utf8Chars(const std::string &s) {
    return static_cast<std::size_t>(std::count_if(
        s.begin(), s.end(), [](char ch) { return (static_cast<unsigned char>(ch) & 0xC0) != 0x80; }));
}

// The first maxChars characters of s.
std::string Utf8Prefix(const std::string &s, std::size_t maxChars) {
    std::size_t chars = 0, i = 0;
    for (; i < s.size(); ++i) {
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80 && chars++ == maxChars) break;
    }
    return s.substr(0, i);
}

bool StartsWithIgnoringCase(const std::string &item, const std::string &typed) {
    if (item.size() < typed.size()) return false;
    return std::equal(typed.begin(), typed.end(), item.begin(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
    });
}

// Text cut to the record's maximum entry length.
std::string FitToField(const ComboRecord &rec, const std::string &text) {
    return rec.maxLength > 0 ? Utf8Prefix(text, static_cast<std::size_t>(rec.maxLength - 1)) : text;
}

// ---- layout ----------------------------------------------------------------------

int FrameMargin(const ComboRecord &rec) {
    int style = CTRL_STRING;
    GetCtrlAttribute(rec.panel, rec.textCtrl, ATTR_CTRL_STYLE, style);
    return style == CTRL_STRING_FLAT ? 4 : 2;
}

int SetRect(int panel, int ctrl, int left, int top, int width, int height) {
    const int results[] = {
        SetCtrlAttribute(panel, ctrl, ATTR_LEFT, left), SetCtrlAttribute(panel, ctrl, ATTR_TOP, top),
        SetCtrlAttribute(panel, ctrl, ATTR_WIDTH, width), SetCtrlAttribute(panel, ctrl, ATTR_HEIGHT, height)};
    return *std::min_element(std::begin(results), std::end(results));
}

// Places list button and frame from the text field: the list button a square
// beside its right edge, the frame around both.
int Layout(const ComboRecord &rec) {
    int left = 0, top = 0, width = 0, height = 0;
    int r = std::min({GetCtrlAttribute(rec.panel, rec.textCtrl, ATTR_LEFT, left),
                      GetCtrlAttribute(rec.panel, rec.textCtrl, ATTR_TOP, top),
                      GetCtrlAttribute(rec.panel, rec.textCtrl, ATTR_WIDTH, width),
                      GetCtrlAttribute(rec.panel, rec.textCtrl, ATTR_HEIGHT, height)});
    if (r < 0) return r;
    const int margin = FrameMargin(rec);
    r = SetRect(rec.panel, rec.listCtrl, left + width, top, height, height);
    if (r < 0) return r;
    return SetRect(rec.panel, rec.frameCtrl, left - 1, top - margin / 2, width + height + 2, height + margin);
}

int SetOnParts(const ComboRecord &rec, std::initializer_list<int> parts, int attribute, int value) {
    for (int part : parts)
        if (int r = SetCtrlAttribute(rec.panel, part, attribute, value); r < 0) return r;
    return 0;
}

// ---- making ------------------------------------------------------------------------

int CreateParts(ComboRecord &rec) {
    int top = 0, left = 0, color = 0;
    int r = std::min({GetCtrlAttribute(rec.panel, rec.textCtrl, ATTR_TOP, top),
                      GetCtrlAttribute(rec.panel, rec.textCtrl, ATTR_LEFT, left),
                      GetCtrlAttribute(rec.panel, rec.textCtrl, ATTR_CTRL_COLOR, color)});
    if (r < 0) return r;
    // Labels name the parts for screen readers and GUI automation after the text field's role.
    const std::string role = GetCtrlName(rec.panel, rec.textCtrl);
    if ((rec.frameCtrl = NewCtrl(rec.panel, CTRL_DECORATION, role + "Frame", top, left)) < 0)
        return rec.frameCtrl;
    if ((rec.listCtrl = NewCtrl(rec.panel, CTRL_LIST_BUTTON, role + "List", top, left)) < 0)
        return rec.listCtrl;
    if ((r = Layout(rec)) < 0) return r;
    return SetCtrlAttribute(rec.panel, rec.listCtrl, ATTR_CTRL_COLOR, color);
}

int TakeOverTextField(ComboRecord &rec, CtrlCallbackPtr textCallback, CtrlCallbackPtr listCallback) {
    int length = -1, tab = 0;
    int r =
        std::min({GetCtrlAttribute(rec.panel, rec.textCtrl, ATTR_CALLBACK_FUNCTION_POINTER, rec.ownCallback),
                  GetCtrlAttribute(rec.panel, rec.textCtrl, ATTR_CALLBACK_DATA, rec.ownCallbackData),
                  GetCtrlAttribute(rec.panel, rec.textCtrl, ATTR_MAX_ENTRY_LENGTH, length),
                  GetCtrlAttribute(rec.panel, rec.textCtrl, ATTR_CTRL_TAB_POSITION, tab)});
    if (r < 0) return r;
    rec.maxLength = length < 0 ? -1 : length + 1;
    return std::min({InstallCtrlCallback(rec.panel, rec.textCtrl, textCallback, &rec),
                     InstallCtrlCallback(rec.panel, rec.listCtrl, listCallback, &rec),
                     SetCtrlAttribute(rec.panel, rec.listCtrl, ATTR_CTRL_TAB_POSITION, tab)});
}

void Forget(const ComboRecord *rec) {
    records.erase(std::remove_if(records.begin(), records.end(), [rec](auto &r) { return r.get() == rec; }),
                  records.end());
}

// ---- events ------------------------------------------------------------------------

// Moves the focus back to the nearest earlier control that takes input, skipping
// the list button just before the text field.
void FocusPreviousCtrl(const ComboRecord &rec) {
    int pos = 0;
    GetCtrlAttribute(rec.panel, rec.textCtrl, ATTR_CTRL_TAB_POSITION, pos);
    const int n = GetNumCtrls(rec.panel);
    for (int step = 2; step <= n; ++step) {
        const int id = GetCtrlAtTabPosition(rec.panel, ((pos - step) % n + n) % n);
        int visible = 0, dimmed = 1, mode = VAL_INDICATOR, style = CTRL_DECORATION;
        GetCtrlAttribute(rec.panel, id, ATTR_VISIBLE, visible);
        GetCtrlAttribute(rec.panel, id, ATTR_DIMMED, dimmed);
        GetCtrlAttribute(rec.panel, id, ATTR_CTRL_MODE, mode);
        GetCtrlAttribute(rec.panel, id, ATTR_CTRL_STYLE, style);
        const bool display = style == CTRL_DECORATION || style == CTRL_TEXT_MSG || style == CTRL_PICTURE;
        if (visible && !dimmed && mode == VAL_HOT && !display) {
            SetActiveCtrl(rec.panel, id);
            return;
        }
    }
}

// Result: non-zero when the key is used up here.
int OnTextKey(ComboRecord &rec, int keyCode) {
    const int key = keyCode & kKeyMask;
    if (key == VAL_UP_ARROW_VKEY || key == VAL_DOWN_ARROW_VKEY) {
        rec.listOpenedByKey = true;
        SetActiveCtrl(rec.panel, rec.listCtrl);
        FakeKeystroke(VAL_SPACE_KEY); // opens the list
        return 0;
    }
    if (key == VAL_BACKTAB_VKEY || (key == VAL_TAB_VKEY && (keyCode & VAL_SHIFT_MODIFIER))) {
        FocusPreviousCtrl(rec);
        return 1;
    }
    completionSwitch = key == VAL_BACKSPACE_VKEY || key == VAL_FWD_DELETE_VKEY ? 0 : 1;
    return 0;
}

// Completes the typed text with the first list item it begins, the added
// characters selected so that typing on replaces them. False when memory ran out.
bool Complete(const ComboRecord &rec) try {
    std::string typed, item;
    int count = 0;
    if (GetCtrlVal(rec.panel, rec.textCtrl, typed) < 0 || GetNumListItems(rec.panel, rec.listCtrl, count) < 0)
        return true;
    for (int i = 0; i < count; ++i) {
        if (GetValueFromIndex(rec.panel, rec.listCtrl, i, item) < 0 || !StartsWithIgnoringCase(item, typed))
            continue;
        if (Utf8Chars(item) <= 1) return true;
        const std::string text = FitToField(rec, typed + item.substr(typed.size()));
        const auto typedChars = static_cast<int>(Utf8Chars(typed));
        SetCtrlVal(rec.panel, rec.textCtrl, text);
        SetCtrlAttribute(rec.panel, rec.textCtrl, ATTR_TEXT_SELECTION_START, typedChars);
        SetCtrlAttribute(rec.panel, rec.textCtrl, ATTR_TEXT_SELECTION_LENGTH,
                         static_cast<int>(Utf8Chars(text)) - typedChars);
        return true;
    }
    return true;
} catch (const std::bad_alloc &) {
    return false;
}

int ComboTextCallback(int panel, int control, int event, void *data, int eventData1, int eventData2) {
    ComboRecord *rec = RecordFromData(data);
    if (!rec) return 0;
    HeldLock held(rec->lock);
    int usedUp = 0;
    if (event == EVENT_KEYPRESS) usedUp = OnTextKey(*rec, eventData1);
    if (event == EVENT_VAL_CHANGED && completionSwitch && !Complete(*rec)) return 0;
    const CtrlCallbackPtr own = rec->ownCallback;
    const int result = own ? own(panel, control, event, rec->ownCallbackData, eventData1, eventData2) : 0;
    return usedUp ? usedUp : result;
}

int ComboListCallback(int panel, int, int event, void *data, int eventData1, int eventData2) {
    ComboRecord *rec = RecordFromData(data);
    if (!rec) return 0;
    HeldLock held(rec->lock);
    const CtrlCallbackPtr own = rec->ownCallback;
    if (event == EVENT_COMMIT) {
        try {
            std::string item;
            GetCtrlVal(panel, rec->listCtrl, item);
            SetCtrlVal(panel, rec->textCtrl, FitToField(*rec, item));
        } catch (const std::bad_alloc &) {
            return 0;
        }
        if (own) own(panel, rec->textCtrl, EVENT_COMMIT, rec->ownCallbackData, eventData1, eventData2);
    } else if (event == EVENT_VAL_CHANGED) {
        SetActiveCtrl(panel, rec->textCtrl);
        if (own) own(panel, rec->textCtrl, EVENT_VAL_CHANGED, rec->ownCallbackData, eventData1, eventData2);
    } else if (event == EVENT_GOT_FOCUS) {
        // Only the Up and Down keys open the list from the keyboard; a tab stops in the text.
        if (!rec->listOpenedByKey) SetActiveCtrl(panel, rec->textCtrl);
        rec->listOpenedByKey = false;
    }
    return 0;
}

int SetTextStyle(const ComboRecord &rec, int attribute, int value) {
    int r = SetOnParts(rec, {rec.textCtrl, rec.listCtrl}, attribute, value);
    return r < 0 ? r : Layout(rec);
}

} // namespace

int Combo_NewComboBox(int panel, Ctrl textCtrl) {
    const int id = CtrlId(panel, textCtrl);
    if (id < 0) return id;
    if (RecordOf(panel, id)) return COMBO_ERR_NOT_A_COMBO;
    int style = 0;
    if (int r = GetCtrlAttribute(panel, id, ATTR_CTRL_STYLE, style); r < 0) return r;
    if (style != CTRL_STRING && style != CTRL_STRING_FLAT) return COMBO_ERR_NOT_A_COMBO;

    std::unique_ptr<ComboRecord> owned(new (std::nothrow) ComboRecord);
    if (!owned || CmtNewLock("combo", 0, &owned->lock) < 0) return COMBO_ERR_OUT_OF_MEMORY;
    ComboRecord *rec = owned.get();
    rec->panel = panel;
    rec->textCtrl = id;
    records.push_back(std::move(owned));

    CmtGetLock(rec->lock);
    int r = CreateParts(*rec);
    if (r >= 0) r = TakeOverTextField(*rec, ComboTextCallback, ComboListCallback);
    CmtReleaseLock(rec->lock);
    if (r >= 0) return id;

    // Undo what was made, so that a failure leaves the text field as it was.
    InstallCtrlCallback(panel, id, rec->ownCallback, rec->ownCallbackData);
    if (rec->listCtrl > 0) DiscardCtrl(panel, rec->listCtrl);
    if (rec->frameCtrl > 0) DiscardCtrl(panel, rec->frameCtrl);
    CmtDiscardLock(rec->lock);
    Forget(rec);
    return r;
}

int Combo_DiscardComboBox(int panel, int control) {
    ComboRecord *rec = RecordOf(panel, control);
    if (!rec) return COMBO_ERR_NOT_A_COMBO;
    const int lock = rec->lock;
    CmtGetLock(lock);
    const int r = std::min({DiscardCtrl(panel, rec->listCtrl), DiscardCtrl(panel, rec->frameCtrl),
                            DiscardCtrl(panel, rec->textCtrl)});
    CmtReleaseLock(lock);
    CmtDiscardLock(lock);
    Forget(rec);
    return std::min(r, 0);
}

int Combo_InsertComboItem(int panel, int control, int index, const std::string &text) {
    return WithCombo(panel, control, [&](ComboRecord &rec) {
        return InsertListItem(panel, rec.listCtrl, index, text, text);
    });
}

int Combo_DeleteComboItem(int panel, int control, int index, int count) {
    return WithCombo(panel, control,
                     [&](ComboRecord &rec) { return DeleteListItem(panel, rec.listCtrl, index, count); });
}

int Combo_ReplaceComboItem(int panel, int control, int index, const std::string &text) {
    return WithCombo(panel, control, [&](ComboRecord &rec) {
        return ReplaceListItem(panel, rec.listCtrl, index, text, text);
    });
}

int Combo_GetIndexFromValue(int panel, int control, int &index, const std::string &text) {
    return WithCombo(panel, control,
                     [&](ComboRecord &rec) { return GetIndexFromValue(panel, rec.listCtrl, index, text); });
}

int Combo_GetNumComboItems(int panel, int control, int &count) {
    return WithCombo(panel, control,
                     [&](ComboRecord &rec) { return GetNumListItems(panel, rec.listCtrl, count); });
}

int Combo_GetComboItem(int panel, int control, int index, std::string &text) {
    return WithCombo(panel, control,
                     [&](ComboRecord &rec) { return GetValueFromIndex(panel, rec.listCtrl, index, text); });
}

int Combo_SetComboAttribute(int panel, int control, int attribute, int value) {
    return WithCombo(panel, control, [&](ComboRecord &rec) {
        const int text = rec.textCtrl;
        switch (attribute) {
        case COMBO_ATTR_WIDTH: {
            int height = 0;
            GetCtrlAttribute(panel, text, ATTR_HEIGHT, height);
            int r = SetCtrlAttribute(panel, text, ATTR_WIDTH, std::max(1, value - height - 2));
            return r < 0 ? r : Layout(rec);
        }
        case COMBO_ATTR_TEXT_COLOR:
            return SetCtrlAttribute(panel, text, ATTR_TEXT_COLOR, value);
        case COMBO_ATTR_COLOR: // the frame stays an outline: filled, it would hide the text field
            return SetOnParts(rec, {text, rec.listCtrl}, ATTR_CTRL_COLOR, value);
        case COMBO_ATTR_TEXT_POINT_SIZE:
            return SetTextStyle(rec, ATTR_TEXT_POINT_SIZE, value);
        case COMBO_ATTR_TEXT_BOLD:
            return SetOnParts(rec, {rec.listCtrl, text}, ATTR_TEXT_BOLD, value);
        case COMBO_ATTR_TEXT_ITALIC:
            return SetOnParts(rec, {rec.listCtrl, text}, ATTR_TEXT_ITALIC, value);
        case COMBO_ATTR_LEFT: {
            int r = SetCtrlAttribute(panel, text, ATTR_LEFT, value + 1);
            return r < 0 ? r : Layout(rec);
        }
        case COMBO_ATTR_TOP: {
            int r = SetCtrlAttribute(panel, text, ATTR_TOP, value + FrameMargin(rec) / 2);
            return r < 0 ? r : Layout(rec);
        }
        case COMBO_ATTR_VISIBLE:
            return SetOnParts(rec, {text, rec.listCtrl, rec.frameCtrl}, ATTR_VISIBLE, value);
        case COMBO_ATTR_DIMMED:
            return SetOnParts(rec, {text, rec.listCtrl, rec.frameCtrl}, ATTR_DIMMED, value);
        case COMBO_ATTR_MAX_ENTRY_LENGTH: {
            int r = SetCtrlAttribute(panel, text, ATTR_MAX_ENTRY_LENGTH, value);
            if (r >= 0) rec.maxLength = value == -1 ? -1 : value + 1;
            return r;
        }
        default:
            return static_cast<int>(COMBO_ERR_BAD_ATTRIBUTE);
        }
    });
}

int Combo_SetComboAttribute(int panel, int control, int attribute, const std::string &value) {
    return WithCombo(panel, control, [&](ComboRecord &rec) {
        if (attribute != COMBO_ATTR_TEXT_FONT) return static_cast<int>(COMBO_ERR_BAD_ATTRIBUTE);
        int r = std::min(SetCtrlAttribute(panel, rec.textCtrl, ATTR_TEXT_FONT, value),
                         SetCtrlAttribute(panel, rec.listCtrl, ATTR_TEXT_FONT, value));
        return r < 0 ? r : Layout(rec);
    });
}

int Combo_GetComboAttribute(int panel, int control, int attribute, int &value) {
    return WithCombo(panel, control, [&](ComboRecord &rec) {
        const int text = rec.textCtrl, frame = rec.frameCtrl;
        switch (attribute) {
        case COMBO_ATTR_HEIGHT:
            return GetCtrlAttribute(panel, frame, ATTR_HEIGHT, value);
        case COMBO_ATTR_WIDTH:
            return GetCtrlAttribute(panel, frame, ATTR_WIDTH, value);
        case COMBO_ATTR_TEXT_COLOR:
            return GetCtrlAttribute(panel, text, ATTR_TEXT_COLOR, value);
        case COMBO_ATTR_COLOR:
            return GetCtrlAttribute(panel, text, ATTR_CTRL_COLOR, value);
        case COMBO_ATTR_TEXT_BGCOLOR:
            return GetCtrlAttribute(panel, text, ATTR_TEXT_BGCOLOR, value);
        case COMBO_ATTR_TEXT_POINT_SIZE:
            return GetCtrlAttribute(panel, text, ATTR_TEXT_POINT_SIZE, value);
        case COMBO_ATTR_TEXT_BOLD:
            return GetCtrlAttribute(panel, text, ATTR_TEXT_BOLD, value);
        case COMBO_ATTR_TEXT_ITALIC:
            return GetCtrlAttribute(panel, text, ATTR_TEXT_ITALIC, value);
        case COMBO_ATTR_LEFT:
            return GetCtrlAttribute(panel, frame, ATTR_LEFT, value);
        case COMBO_ATTR_TOP:
            return GetCtrlAttribute(panel, frame, ATTR_TOP, value);
        case COMBO_ATTR_VISIBLE:
            return GetCtrlAttribute(panel, frame, ATTR_VISIBLE, value);
        case COMBO_ATTR_DIMMED:
            return GetCtrlAttribute(panel, frame, ATTR_DIMMED, value);
        case COMBO_ATTR_MAX_ENTRY_LENGTH:
            return GetCtrlAttribute(panel, text, ATTR_MAX_ENTRY_LENGTH, value);
        default:
            return static_cast<int>(COMBO_ERR_BAD_ATTRIBUTE);
        }
    });
}

int Combo_GetComboAttribute(int panel, int control, int attribute, std::string &value) {
    return WithCombo(panel, control, [&](ComboRecord &rec) {
        if (attribute != COMBO_ATTR_TEXT_FONT) return static_cast<int>(COMBO_ERR_BAD_ATTRIBUTE);
        return GetCtrlAttribute(panel, rec.textCtrl, ATTR_TEXT_FONT, value);
    });
}

void Combo_ResetCompletionSwitch() {
    completionSwitch = 1;
}

} // namespace programlink
