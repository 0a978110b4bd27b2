// Hooks that let tests drive the user interface without a person: answer
// popups, reach the real widgets behind panels and controls.
#pragma once

#include <functional>
#include <string>
#include <vector>

class QWidget;

struct PopupRecord {
    enum Kind { Message, Confirm, FileSelect, Generic } kind;
    std::string title;
    std::string text;                 // file dialogs: the proposed file name
    std::string directory;            // file dialogs: the folder it opens in
    std::vector<std::string> buttons; // generic popups: the button labels, first to last
};

// Answers a popup instead of a person. Its result is the popup's result
// (ConfirmPopup: 1/0; FileSelectPopup: a FileSelectResult, with the path in path;
// GenericMessagePopup: the number of the button, anything else counts as Escape).
using PopupResponder = std::function<int(const PopupRecord &popup, std::string &path)>;
// Installs a responder (an empty one restores real dialogs). Every popup shown
// while a responder is installed is also recorded.
void SetPopupResponder(PopupResponder responder);
const std::vector<PopupRecord> &RecordedPopups();
void ClearRecordedPopups();
// File dialogs open in the folder used last; a test starts from the program's own.
void ForgetLastFileFolder();

// The widgets behind a panel and a control, for real input with QTest.
QWidget *PanelWidget(int panel);
QWidget *CtrlWidget(int panel, int control);
QWidget *CtrlWidget(int panel, const std::string &roleName);
// Role names looked up on a panel that does not have them, since start or the
// last clear; a test fails when a program asks for a control its resource lacks.
const std::vector<std::string> &UnknownControlNames();
void ClearUnknownControlNames();
