// The server-name combo box driven through real key input on its widgets:
// completion, the list button, focus moves, and the eight calls.
#include "link/combobox.h"
#include "platform/testhooks.h"
#include "platform/userint.h"
#include "tests/test_support.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#ifndef LINK_TEST_UIR
#error "LINK_TEST_UIR names the link tests' resource file (set by ui/CMakeLists.txt)"
#endif

using namespace programlink;

namespace {

struct OwnEvent {
    int control, event;
    void *data;
};
std::vector<OwnEvent> ownEvents;

int CBF_ComboOwn(int, int control, int event, void *data, int, int) {
    ownEvents.push_back({control, event, data});
    return 0;
}

class ComboBoxTest : public ::testing::Test {
  protected:
    void SetUp() override {
        RegisterCallback("CBF_ComboOwn", CBF_ComboOwn);
        panel = LoadPanel(0, LINK_TEST_UIR, 3);
        ASSERT_GT(panel, 0);
        ASSERT_EQ(InstallCtrlCallback(panel, "StringServer", CBF_ComboOwn, &ownData), 0);
        combo = Combo_NewComboBox(panel, "StringServer");
        ASSERT_GT(combo, 0);
        Combo_ResetCompletionSwitch();
        ownEvents.clear();
        edit = qobject_cast<QLineEdit *>(CtrlWidget(panel, combo));
        list = ListButton();
        ASSERT_TRUE(edit && list);
    }
    void TearDown() override {
        Combo_DiscardComboBox(panel, combo);
        DiscardPanel(panel);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    QComboBox *ListButton() {
        for (QComboBox *box : PanelWidget(panel)->findChildren<QComboBox *>())
            if (box->property("listButton").toBool() && box->isVisibleTo(PanelWidget(panel))) return box;
        return nullptr;
    }
    void AddItems(std::initializer_list<const char *> items) {
        for (const char *item : items)
            ASSERT_EQ(Combo_InsertComboItem(panel, combo, -1, item), 0);
    }
    void Show() {
        DisplayPanel(panel);
        QWidget *window = PanelWidget(panel);
        QApplication::setActiveWindow(window);
        ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    }
    std::string Typed() const { return edit->text().toStdString(); }
    std::string Selected() const { return edit->selectedText().toStdString(); }
    int ActiveCtrl() const { return GetActiveCtrl(panel); }
    int CtrlId(const char *name) const {
        for (int pos = 0; pos < GetNumCtrls(panel); ++pos)
            if (GetCtrlName(panel, GetCtrlAtTabPosition(panel, pos)) == name)
                return GetCtrlAtTabPosition(panel, pos);
        return 0;
    }

    int ownData = 0;
    int panel = 0;
    int combo = 0;
    QLineEdit *edit = nullptr;
    QComboBox *list = nullptr;
};

TEST_F(ComboBoxTest, TypingTheStartOfANameProposesTheRestSelected) {
    AddItems({"alpha", "myserver.local"});
    QTest::keyClicks(edit, "my");
    EXPECT_EQ(Typed(), "myserver.local");
    EXPECT_EQ(Selected(), "server.local");
    EXPECT_EQ(edit->selectionStart(), 2);
    QTest::keyClicks(edit, "sX"); // typing on replaces the proposal
    EXPECT_EQ(Typed(), "mysX");
    EXPECT_EQ(Selected(), "");
}

TEST_F(ComboBoxTest, BackspaceDropsTheProposalUntilAnotherKeyIsTyped) {
    AddItems({"myserver"});
    QTest::keyClicks(edit, "my");
    QTest::keyClick(edit, Qt::Key_Backspace);
    EXPECT_EQ(Typed(), "my");
    QTest::keyClick(edit, Qt::Key_Backspace);
    EXPECT_EQ(Typed(), "m");
    QTest::keyClicks(edit, "y");
    EXPECT_EQ(Typed(), "myserver");
    EXPECT_EQ(Selected(), "server");
}

TEST_F(ComboBoxTest, CompletionIgnoresCaseAndKeepsTheTypedCase) {
    AddItems({"SERVER-A"});
    QTest::keyClicks(edit, "se");
    EXPECT_EQ(Typed(), "seRVER-A");
    EXPECT_EQ(Selected(), "RVER-A");
}

TEST_F(ComboBoxTest, ItemOfOneCharacterIsNeverProposed) {
    AddItems({"x", "xylophone"});
    QTest::keyClicks(edit, "x");
    EXPECT_EQ(Typed(), "x");
    QTest::keyClicks(edit, "y");
    EXPECT_EQ(Typed(), "xylophone");
}

TEST_F(ComboBoxTest, FieldLeftEmptyIsFilledWithTheFirstItemAllSelected) {
    AddItems({"first.host", "second.host"});
    QTest::keyClicks(edit, "zz");
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_X, Qt::ControlModifier); // cut everything
    EXPECT_EQ(Typed(), "first.host");
    EXPECT_EQ(Selected(), "first.host");
}

TEST_F(ComboBoxTest, ProposalStaysWithinTheMaximumEntryLength) {
    int flat = Combo_NewComboBox(panel, "StringFlat"); // entry length 8
    ASSERT_GT(flat, 0);
    ASSERT_EQ(Combo_InsertComboItem(panel, flat, -1, "abcdefghijkl"), 0);
    auto *flatEdit = qobject_cast<QLineEdit *>(CtrlWidget(panel, flat));
    QTest::keyClicks(flatEdit, "ab");
    EXPECT_EQ(flatEdit->text().toStdString(), "abcdefgh");
    EXPECT_EQ(flatEdit->selectedText().toStdString(), "cdefgh");
    EXPECT_EQ(Combo_DiscardComboBox(panel, flat), 0);
}

TEST_F(ComboBoxTest, EveryEventOfTheTextFieldReachesItsOwnCallback) {
    QTest::keyClicks(edit, "a");
    QTest::keyClick(edit, Qt::Key_Return);
    std::vector<int> events;
    for (const OwnEvent &e : ownEvents) {
        EXPECT_EQ(e.control, combo);
        EXPECT_EQ(e.data, &ownData);
        events.push_back(e.event);
    }
    const std::vector<int> expected = {EVENT_KEYPRESS, EVENT_VAL_CHANGED, EVENT_KEYPRESS, EVENT_COMMIT};
    EXPECT_EQ(events, expected);
}

TEST_F(ComboBoxTest, DownKeyOpensTheListAndAChosenItemCommitsTheTextField) {
    AddItems({"one.host", "two.host"});
    Show();
    SetActiveCtrl(panel, combo);
    QTest::keyClick(edit, Qt::Key_Down);
    ASSERT_TRUE(WaitFor([&] { return list->view()->isVisible(); }));
    QTest::keyClick(list->view(), Qt::Key_Down);
    QTest::keyClick(list->view(), Qt::Key_Return);
    EXPECT_EQ(Typed(), "two.host");
    ASSERT_FALSE(ownEvents.empty());
    EXPECT_EQ(ownEvents.back().event, EVENT_COMMIT);
    EXPECT_EQ(ownEvents.back().control, combo);
    EXPECT_EQ(ActiveCtrl(), combo);
}

TEST_F(ComboBoxTest, ListButtonGivesTheFocusBackUnlessAKeyOpenedIt) {
    Show();
    SetActiveCtrl(panel, "ButtonFirst");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab); // the first stop after the button
    SetActiveCtrl(panel, combo);
    list->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(ActiveCtrl(), combo);
}

TEST_F(ComboBoxTest, ShiftTabSkipsTheListButtonAndControlsThatTakeNoInput) {
    Show();
    SetActiveCtrl(panel, combo);
    QTest::keyClick(edit, Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(ActiveCtrl(), CtrlId("ButtonFirst")); // past the label and the dimmed field
}

TEST_F(ComboBoxTest, ItemCallsKeepLabelAndValueEqual) {
    AddItems({"a.host", "b.host", "c.host", "d.host"});
    ASSERT_EQ(Combo_InsertComboItem(panel, combo, 0, "first"), 0);
    ASSERT_EQ(Combo_ReplaceComboItem(panel, combo, 1, "A.HOST"), 0);
    int index = 0;
    Combo_GetIndexFromValue(panel, combo, index, "A.HOST");
    EXPECT_EQ(index, 1);
    Combo_GetIndexFromValue(panel, combo, index, "a.host");
    EXPECT_LT(index, 0);
    ASSERT_EQ(Combo_DeleteComboItem(panel, combo, 3, -1), 0);
    int count = 0;
    Combo_GetNumComboItems(panel, combo, count);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(list->itemText(1).toStdString(), "A.HOST");
    EXPECT_EQ(list->itemData(1).toString().toStdString(), "A.HOST");
}

TEST_F(ComboBoxTest, AttributesApplyToTheRightParts) {
    int width = 0, height = 0, left = 0, top = 0;
    ASSERT_EQ(Combo_SetComboAttribute(panel, combo, COMBO_ATTR_WIDTH, 200), 0);
    Combo_GetComboAttribute(panel, combo, COMBO_ATTR_WIDTH, width);
    EXPECT_EQ(width, 200);
    Combo_GetComboAttribute(panel, combo, COMBO_ATTR_HEIGHT, height);
    EXPECT_EQ(height, edit->height() + 2);
    ASSERT_EQ(Combo_SetComboAttribute(panel, combo, COMBO_ATTR_LEFT, 30), 0);
    ASSERT_EQ(Combo_SetComboAttribute(panel, combo, COMBO_ATTR_TOP, 40), 0);
    Combo_GetComboAttribute(panel, combo, COMBO_ATTR_LEFT, left);
    Combo_GetComboAttribute(panel, combo, COMBO_ATTR_TOP, top);
    EXPECT_EQ(left, 30);
    EXPECT_EQ(top, 40);
    EXPECT_EQ(edit->y(), 41);
    EXPECT_EQ(list->y(), 41);
    EXPECT_EQ(list->x(), edit->x() + edit->width()); // the list button beside the text
    EXPECT_EQ(list->width(), edit->height());

    ASSERT_EQ(Combo_SetComboAttribute(panel, combo, COMBO_ATTR_VISIBLE, 0), 0);
    EXPECT_TRUE(edit->isHidden());
    EXPECT_TRUE(list->isHidden());
    int visible = 1;
    Combo_GetComboAttribute(panel, combo, COMBO_ATTR_VISIBLE, visible);
    EXPECT_EQ(visible, 0);
    ASSERT_EQ(Combo_SetComboAttribute(panel, combo, COMBO_ATTR_DIMMED, 1), 0);
    EXPECT_FALSE(edit->isEnabled());
    EXPECT_FALSE(list->isEnabled());

    int color = 0;
    ASSERT_EQ(Combo_SetComboAttribute(panel, combo, COMBO_ATTR_COLOR, MakeColor(224, 224, 224)), 0);
    Combo_GetComboAttribute(panel, combo, COMBO_ATTR_COLOR, color);
    EXPECT_EQ(color, MakeColor(224, 224, 224));
    int length = 0;
    ASSERT_EQ(Combo_SetComboAttribute(panel, combo, COMBO_ATTR_MAX_ENTRY_LENGTH, 12), 0);
    Combo_GetComboAttribute(panel, combo, COMBO_ATTR_MAX_ENTRY_LENGTH, length);
    EXPECT_EQ(length, 12);
}

TEST_F(ComboBoxTest, WrongControlsAndAttributesGiveTheirErrorCodes) {
    EXPECT_EQ(Combo_NewComboBox(panel, combo), COMBO_ERR_NOT_A_COMBO); // already one
    EXPECT_EQ(Combo_NewComboBox(panel, "EditNumber"), COMBO_ERR_NOT_A_COMBO);
    EXPECT_EQ(Combo_NewComboBox(panel, "NoSuchControl"), UIE_INVALID_CONTROL);
    ClearUnknownControlNames();
    const int number = CtrlId("EditNumber");
    EXPECT_EQ(Combo_InsertComboItem(panel, number, -1, "x"), COMBO_ERR_NOT_A_COMBO);
    EXPECT_EQ(Combo_SetComboAttribute(panel, number, COMBO_ATTR_DIMMED, 1), COMBO_ERR_NOT_A_COMBO);
    for (int code :
         std::initializer_list<int>{COMBO_ATTR_HEIGHT, COMBO_ATTR_TEXT_BGCOLOR, COMBO_ATTR_TEXT_FONT, 0, 15})
        EXPECT_EQ(Combo_SetComboAttribute(panel, combo, code, 1), COMBO_ERR_BAD_ATTRIBUTE) << code;
    int value = 0;
    EXPECT_EQ(Combo_GetComboAttribute(panel, combo, 99, value), COMBO_ERR_BAD_ATTRIBUTE);
    EXPECT_EQ(Combo_SetComboAttribute(panel, combo, COMBO_ATTR_WIDTH, std::string("x")),
              COMBO_ERR_BAD_ATTRIBUTE);
}

TEST_F(ComboBoxTest, DiscardRemovesAllThreeParts) {
    const int controlsBefore = GetNumCtrls(panel);
    ASSERT_EQ(Combo_DiscardComboBox(panel, combo), 0);
    EXPECT_EQ(GetNumCtrls(panel), controlsBefore - 3);
    EXPECT_EQ(CtrlWidget(panel, combo), nullptr);
    EXPECT_EQ(Combo_DiscardComboBox(panel, combo), COMBO_ERR_NOT_A_COMBO);
    combo = Combo_NewComboBox(panel, "StringFlat"); // for TearDown
    ASSERT_GT(combo, 0);
}

} // namespace
