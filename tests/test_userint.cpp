// The user-interface layer with real widgets offscreen: panels from a resource
// file, user input reaching callbacks, program-set values reaching none.
#include "platform/testhooks.h"
#include "platform/userint.h"
#include "runtime/utility.h"
#include "tests/test_support.h"
#include "tests/test_uipanel.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace runtime;

namespace {

TEST(UserInterfaceLoad, MissingFileOrPanelGivesNegativeResult) {
    SetProjectDir(TEST_DATA_DIR);
    EXPECT_EQ(LoadPanel(0, "NoSuchFile.uir", 1), UIE_FILE_NOT_FOUND);
    EXPECT_EQ(LoadPanel(0, "UiTest.uir", 77), UIE_PANEL_NOT_FOUND);
    EXPECT_EQ(LoadPanel(12345, "UiTest.uir", 2), UIE_INVALID_PANEL);
    SetProjectDir("");
}

TEST_F(UserInterface, ButtonClickCommitsButProgramSetValuesRaiseNoEvent) {
    QTest::mouseClick(CtrlWidget(panel, "ButtonGo"), Qt::LeftButton);
    EXPECT_EQ(EventsOf(id("ButtonGo")).back(), EVENT_COMMIT);

    events.clear();
    EXPECT_EQ(SetCtrlVal(panel, "EditNum", 42), 0);
    EXPECT_EQ(SetCtrlVal(panel, "EditText", "abc"), 0);
    EXPECT_EQ(SetCtrlVal(panel, "Ring", 300), 0);
    EXPECT_EQ(SetCtrlVal(panel, "Switch", 1), 0);
    EXPECT_EQ(SetTableCellVal(panel, "Grid", MakePoint(2, 3), 7), 0);
    EXPECT_TRUE(events.empty());

    int n = 0;
    std::string s;
    EXPECT_EQ(GetCtrlVal(panel, "EditNum", n), 0);
    EXPECT_EQ(n, 42);
    EXPECT_EQ(GetCtrlVal(panel, "EditText", s), 0);
    EXPECT_EQ(s, "abc");
    EXPECT_EQ(GetCtrlVal(panel, "Ring", n), 0);
    EXPECT_EQ(n, 300);
    EXPECT_EQ(GetTableCellVal(panel, "Grid", MakePoint(2, 3), n), 0);
    EXPECT_EQ(n, 7);
}

TEST_F(UserInterface, RightClickReachesCallbackWithoutContextMenu) {
    for (const char *name : {"EditText", "EditNum", "Msg", "Grid"}) {
        events.clear();
        QWidget *w = CtrlWidget(panel, name);
        QWidget *target = w->focusProxy() ? w->focusProxy() : w;
        if (auto *t = qobject_cast<QTableWidget *>(w)) target = t->viewport();
        QTest::mouseClick(target, Qt::RightButton, {}, QPoint(5, 5));
        EXPECT_EQ(EventsOf(id(name)), std::vector<int>{EVENT_RIGHT_CLICK}) << name;
        EXPECT_EQ(QApplication::activePopupWidget(), nullptr) << name;
    }
}

TEST_F(UserInterface, CloseReachesPanelCallbackAndLeavesWindowOpen) {
    QWidget *w = PanelWidget(panel);
    EXPECT_FALSE(w->close());
    EXPECT_TRUE(w->isVisible());
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back().event, EVENT_CLOSE);
    EXPECT_EQ(events.back().panel, panel);
}

TEST_F(UserInterface, TypedValuesCommitOnEnter) {
    auto *spin = qobject_cast<QSpinBox *>(CtrlWidget(panel, "EditNum"));
    spin->setFocus();
    spin->selectAll();
    QTest::keyClicks(spin, "123");
    EXPECT_TRUE(EventsOf(id("EditNum")).empty() ||
                EventsOf(id("EditNum")) == std::vector<int>(EventsOf(id("EditNum")).size(), EVENT_KEYPRESS));
    QTest::keyClick(spin, Qt::Key_Return);
    auto got = EventsOf(id("EditNum"));
    ASSERT_GE(got.size(), 2u);
    EXPECT_EQ(got[got.size() - 2], EVENT_VAL_CHANGED);
    EXPECT_EQ(got.back(), EVENT_COMMIT);
    unsigned short v = 0;
    GetCtrlVal(panel, "EditNum", v);
    EXPECT_EQ(v, 123);

    auto *coef = qobject_cast<QLineEdit *>(CtrlWidget(panel, "EditCoef"));
    SetCtrlVal(panel, "EditCoef", 1.2345678e-07);
    double d = 0;
    GetCtrlVal(panel, "EditCoef", d);
    EXPECT_EQ(d, 1.2345678e-07);
    coef->setFocus();
    coef->selectAll();
    QTest::keyClicks(coef, "-2.5e3");
    QTest::keyClick(coef, Qt::Key_Return);
    GetCtrlVal(panel, "EditCoef", d);
    EXPECT_EQ(d, -2500.0);
    EXPECT_EQ(EventsOf(id("EditCoef")).back(), EVENT_COMMIT);
}

TEST_F(UserInterface, KeyPressCanBeSwallowedByCallback) {
    auto *edit = qobject_cast<QLineEdit *>(CtrlWidget(panel, "EditText"));
    edit->setFocus();
    swallowKey = Qt::Key_X;
    QTest::keyClicks(edit, "axb");
    EXPECT_EQ(edit->text(), "ab");
    auto got = EventsOf(id("EditText"));
    EXPECT_NE(std::find(got.begin(), got.end(), EVENT_VAL_CHANGED), got.end());
}

TEST_F(UserInterface, RingItemsCarryTheirValues) {
    EXPECT_EQ(SetCtrlVal(panel, "Ring", 200), 0);
    int v = 0;
    GetCtrlVal(panel, "Ring", v);
    EXPECT_EQ(v, 200);
    InsertListItem(panel, "Ring", -1, "D", 400);
    int index = -2;
    GetIndexFromValue(panel, "Ring", index, 400);
    EXPECT_EQ(index, 3);
    DeleteListItem(panel, "Ring", 1, -1);
    int count = 0;
    GetNumListItems(panel, "Ring", count);
    EXPECT_EQ(count, 1);
}

TEST_F(UserInterface, TableEditByUserReportsCellAndRowLabelsTakeColours) {
    auto *grid = qobject_cast<QTableWidget *>(CtrlWidget(panel, "Grid"));
    SetTableCellVal(panel, "Grid", MakePoint(1, 2), 5);
    grid->item(1, 0)->setData(Qt::EditRole, 9);  // what an editor commit does
    ASSERT_FALSE(events.empty());
    const Event &e = events.front();
    EXPECT_EQ(e.event, EVENT_VAL_CHANGED);
    EXPECT_EQ(e.data1, 2);
    EXPECT_EQ(e.data2, 1);
    EXPECT_EQ(SetTableRowAttribute(panel, "Grid", 3, ATTR_LABEL_COLOR, MakeColor(0, 128, 0)), 0);
    int color = 0;
    GetTableRowAttribute(panel, "Grid", 3, ATTR_LABEL_COLOR, color);
    EXPECT_EQ(color, MakeColor(0, 128, 0));
    EXPECT_EQ(SetTableRowAttribute(panel, "Grid", 4, ATTR_LABEL_COLOR, 0), UIE_INDEX_OUT_OF_RANGE);
}

TEST_F(UserInterface, AttributesReadBackAsSet) {
    SetCtrlAttribute(panel, "ButtonGo", ATTR_DIMMED, 1);
    SetCtrlAttribute(panel, "ButtonGo", ATTR_CTRL_COLOR, VAL_RED);
    SetCtrlAttribute(panel, "EditText", ATTR_MAX_ENTRY_LENGTH, 5);
    SetCtrlAttribute(panel, "Msg", ATTR_VISIBLE, 0);
    int v = 0;
    GetCtrlAttribute(panel, "ButtonGo", ATTR_DIMMED, v);
    EXPECT_EQ(v, 1);
    GetCtrlAttribute(panel, "ButtonGo", ATTR_CTRL_COLOR, v);
    EXPECT_EQ(v, VAL_RED);
    GetCtrlAttribute(panel, "EditText", ATTR_MAX_ENTRY_LENGTH, v);
    EXPECT_EQ(v, 5);
    GetCtrlAttribute(panel, "Msg", ATTR_VISIBLE, v);
    EXPECT_EQ(v, 0);
    GetCtrlAttribute(panel, "ButtonGo", ATTR_SHORTCUT_KEY, v);
    EXPECT_EQ(v, Qt::Key_F11);
    GetCtrlAttribute(panel, "DispStatus", ATTR_CTRL_MODE, v);
    EXPECT_EQ(v, VAL_INDICATOR);
    GetCtrlAttribute(panel, "EditText", ATTR_CTRL_STYLE, v);
    EXPECT_EQ(v, CTRL_STRING);
    EXPECT_EQ(SetCtrlAttribute(panel, "Msg", ATTR_POINTS_PER_SCREEN, 5), UIE_INVALID_ATTRIBUTE);
    SetCtrlAttribute(panel, "ButtonGo", ATTR_TOOLTIP_TEXT, std::string(" Starts data transfer."));
    EXPECT_EQ(CtrlWidget(panel, "ButtonGo")->toolTip(), " Starts data transfer.");
    EXPECT_EQ(CtrlWidget(panel, "EditNum")->accessibleName(), "EditNum");
}

TEST_F(UserInterface, ControlsInsideContainersAreFoundAndUnknownNamesRecorded) {
    EXPECT_NE(CtrlWidget(panel, "Switch"), nullptr);
    int v = 0;
    EXPECT_EQ(GetCtrlVal(panel, "NoSuchControl", v), UIE_INVALID_CONTROL);
    ASSERT_EQ(UnknownControlNames().size(), 1u);
    EXPECT_EQ(UnknownControlNames()[0], "NoSuchControl");
    std::string s;
    EXPECT_EQ(GetCtrlVal(panel, "EditNum", s), UIE_WRONG_TYPE);
}

TEST_F(UserInterface, ChildPanelsSitInsideTheirParentAndGoWithIt) {
    int child = LoadPanel(panel, "UiTest.uir", 2);
    ASSERT_GT(child, 0);
    SetPanelPos(child, 105, 8);
    DisplayPanel(child);
    EXPECT_EQ(PanelWidget(child)->parentWidget(), PanelWidget(panel));
    EXPECT_EQ(PanelWidget(child)->pos(), QPoint(8, 105));
    QTest::mouseClick(CtrlWidget(child, "ButtonChild"), Qt::LeftButton);
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back().panel, child);
    DiscardPanel(panel);
    EXPECT_EQ(PanelWidget(child), nullptr);
    panel = LoadPanel(0, "UiTest.uir", 1);
}

TEST_F(UserInterface, NewControlsJoinTheTabOrderAndCallbacksCanBeSwapped) {
    int button = NewCtrl(panel, CTRL_LIST_BUTTON, "", 10, 300);
    ASSERT_GT(button, 0);
    int style = 0;
    GetCtrlAttribute(panel, button, ATTR_CTRL_STYLE, style);
    EXPECT_EQ(style, CTRL_LIST_BUTTON);
    int textPos = 0;
    GetCtrlAttribute(panel, "EditText", ATTR_CTRL_TAB_POSITION, textPos);
    SetCtrlAttribute(panel, button, ATTR_CTRL_TAB_POSITION, textPos);
    EXPECT_EQ(GetCtrlAtTabPosition(panel, textPos), button);
    EXPECT_EQ(GetCtrlAtTabPosition(panel, textPos + 1), id("EditText"));

    CtrlCallbackPtr old = nullptr;
    GetCtrlAttribute(panel, "EditText", ATTR_CALLBACK_FUNCTION_POINTER, old);
    EXPECT_EQ(old, &CBF_Record);
    InstallCtrlCallback(panel, "EditText", CBF_PANEL, nullptr);
    GetCtrlAttribute(panel, "EditText", ATTR_CALLBACK_FUNCTION_POINTER, old);
    EXPECT_EQ(old, &CBF_PANEL);
}

TEST_F(UserInterface, TextMessagesMadeAtRunTimeGrowWithTheirText) {
    int label = NewCtrl(panel, CTRL_TEXT_MSG, "", 300, 10);
    SetCtrlVal(panel, label, "a");
    int narrow = CtrlWidget(panel, label)->width();
    SetCtrlVal(panel, label, "a much longer line of text");
    SetCtrlAttribute(panel, label, ATTR_TEXT_POINT_SIZE, 18);
    EXPECT_GT(CtrlWidget(panel, label)->width(), 4 * narrow);
    EXPECT_GE(CtrlWidget(panel, label)->height(), 18);
}

TEST_F(UserInterface, PopupResponderAnswersAndRecords) {
    ClearRecordedPopups();
    SetPopupResponder([](const PopupRecord &p, std::string &path) {
        if (p.kind == PopupRecord::FileSelect) {
            path = "/tmp/x.equ";
            return static_cast<int>(VAL_NEW_FILE_SELECTED);
        }
        return 1;
    });
    MessagePopup("INFO!", " Help text.");
    EXPECT_EQ(ConfirmPopup("Q", "Sure?"), 1);
    std::string path;
    EXPECT_EQ(FileSelectPopup("/tmp", "equation.equ", "*.equ", "equation", VAL_OK_BUTTON, 0, 1, 1, 1, path),
              VAL_NEW_FILE_SELECTED);
    EXPECT_EQ(path, "/tmp/x.equ");
    ASSERT_EQ(RecordedPopups().size(), 3u);
    EXPECT_EQ(RecordedPopups()[0].title, "INFO!");
    EXPECT_EQ(RecordedPopups()[0].text, " Help text.");
}

TEST(EventLoop, WaitForSystemEventsSleepsUntilAnEventComes) {
    bool fired = false;
    QTimer::singleShot(20, [&] { fired = true; });
    int wakes = 0;
    while (!fired && wakes < 1000) {
        WaitForSystemEvents(10.0);
        ++wakes;
    }
    EXPECT_TRUE(fired);
    EXPECT_LE(wakes, 3); // a loop that spun would have come round many times
}

TEST(EventLoop, QuitFromInsideANestedWaitEndsTheLoop) {
    bool quitSeen = false;
    QTimer::singleShot(0, [&] {
        // A callback that waits, as the programs' answer waits do, while the quit arrives.
        QTimer::singleShot(10, [] { QuitUserInterface(7); });
        double t0 = Timer();
        while (Timer() - t0 < 0.1)
            WaitForSystemEvents(0.1);
        quitSeen = true;
    });
    EXPECT_EQ(RunUserInterface(), 7);
    EXPECT_TRUE(quitSeen);
}

} // namespace
