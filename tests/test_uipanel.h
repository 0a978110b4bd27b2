// A test panel from tests/data/UiTest.uir, shown, with every event its controls
// raise recorded: the fixture of the user-interface layer's tests.
#pragma once

#include "platform/testhooks.h"
#include "platform/userint.h"
#include "runtime/utility.h"

#include <QWidget>
#include <gtest/gtest.h>
#include <vector>

struct Event {
    int panel, control, event, data1, data2;
};
inline std::vector<Event> events;
inline int swallowKey = 0;

inline int CBF_Record(int panel, int control, int event, void *, int d1, int d2) {
    events.push_back({panel, control, event, d1, d2});
    return event == EVENT_KEYPRESS && d1 == swallowKey ? 1 : 0;
}

inline int CBF_PANEL(int panel, int, int event, void *, int d1, int d2) {
    events.push_back({panel, 0, event, d1, d2});
    return 0;
}

inline std::vector<int> EventsOf(int control) {
    std::vector<int> out;
    for (const Event &e : events)
        if (e.control == control) out.push_back(e.event);
    return out;
}

class UserInterface : public ::testing::Test {
  protected:
    void SetUp() override {
        RegisterCallback("CBF_Record", CBF_Record);
        RegisterCallback("CBF_PANEL", CBF_PANEL);
        runtime::SetProjectDir(TEST_DATA_DIR);
        panel = LoadPanel(0, "UiTest.uir", 1);
        ASSERT_GT(panel, 0);
        DisplayPanel(panel);
        PanelWidget(panel)->activateWindow();
        events.clear();
        swallowKey = 0;
        ClearUnknownControlNames();
    }
    void TearDown() override {
        DiscardPanel(panel);
        SetPopupResponder({});
        runtime::SetProjectDir("");
    }
    int id(const char *name) { return CtrlWidget(panel, name)->property("_uirCtrl").toInt(); }
    int panel = 0;
};
