// The teach table: TEACH DATA TO, reset, the selected row's bands, hand edits
// during polling, and a taught row that the simulated sensor then detects.
#include "platform/chartwidgets.h"
#include "tests/test_vexa_harness.h"

#include <QImage>
#include <QLabel>
#include <QPointer>
#include <QTableWidget>

using namespace vexatest;
using namespace vexaprogram;

namespace {

constexpr QRgb kSym1Band = 0xFF0080;

// Whether symmetry graph 1 shows its band colour at symmetry value x.
bool Sym1BandAt(double x) {
    auto *graph = Widget<Graph>(vexa.datapanel, "GraphSym1");
    const QImage image = graph->grab().toImage();
    const QRect area = graph->plotArea();
    const int px = area.left() + qRound(x / 1000.0 * (area.width() - 1));
    return (image.pixel(px, area.top() + area.height() * 3 / 4) & 0xFFFFFF) == kSym1Band;
}

int PlotsOf(const char *graph) {
    return Widget<Graph>(vexa.datapanel, graph)->plotCount();
}

} // namespace

TEST(VexaTeachTable, TeachDataToWritesTheLiveValuesAndAdvancesNoUpTo30) {
    VexaRun run;
    ASSERT_EQ(run.start(), 0);
    run.sensor.setMeasurement({.density = 1234, .sym1 = 567, .sym2 = 890});
    PollFrames(run.sensor, 1);
    ShowChildPanel(3);
    const struct { int no, autoInc, noAfter; } cases[] = {{5, 1, 6}, {30, 1, 30}, {12, 0, 12}};
    for (const auto &c : cases) {
        SetCtrlVal(vexa.ttpanel, "EditNo", c.no);
        SetCtrlVal(vexa.ttpanel, "RadioInc", c.autoInc);
        Click(vexa.ttpanel, "ButtonTeachDataTo");
        for (int j = 0; j < 6; ++j)
            EXPECT_EQ(Cell(j + 1, c.no + 1), (std::array{1234, 100, 567, 50, 890, 50})[j]) << c.no;
        EXPECT_EQ(Val(vexa.ttpanel, "EditNo"), c.noAfter);
    }
}

TEST(VexaTeachTable, AProgramWriteKeepsPollingAndAHandEditEndsIt) {
    VexaRun run;
    ASSERT_EQ(run.start(), 0);
    ShowChildPanel(3);
    long taughtAt = 0, editedAt = 0;
    ClickWhile(vexa.mainpanel, "ButtonGo", [&] {
        const long frames = run.sensor.framesReceived();
        if (frames < 36) return false;
        if (taughtAt == 0) {
            Click(vexa.ttpanel, "ButtonTeachDataTo");
            Click(vexa.ttpanel, "ButtonResetTable");
            taughtAt = frames;
        }
        if (frames < taughtAt + 3) return false;
        editedAt = frames;
        EditCell(2, 4, 77);
        return true;
    });
    EXPECT_EQ(vexa.poll, 0);
    EXPECT_EQ(Cell(2, 4), 77);
    EXPECT_LE(run.sensor.framesReceived(), editedAt + 1) << "only the running cycle ends";
}

TEST(VexaTeachTable, ResetSetsEveryCellTo1AndTheBandsThenSpan0To2) {
    VexaRun run;
    run.sensor.setMemory({DistinctSet(), {}});
    ASSERT_EQ(run.start(), 0);
    ShowChildPanel(3);
    TypeNumber(vexa.ttpanel, "EditNo", 9);
    ASSERT_EQ(PlotsOf("GraphSym1"), 1);
    Click(vexa.ttpanel, "ButtonResetTable");
    EXPECT_EQ(Val(vexa.ttpanel, "EditNo"), 0);
    for (int row = 1; row <= 31; ++row)
        for (int col = 1; col <= 6; ++col)
            ASSERT_EQ(Cell(col, row), 1) << col << "," << row;
    EXPECT_EQ(PlotsOf("GraphSym1"), 0);
    EXPECT_EQ(PlotsOf("GraphSym2"), 0);
    PollFrames(run.sensor, 1); // polling draws the bands of "No." again
    EXPECT_EQ(PlotsOf("GraphSym1"), 1);
    EXPECT_EQ(PlotsOf("GraphSym2"), 1);
    EXPECT_TRUE(Sym1BandAt(1));
    EXPECT_FALSE(Sym1BandAt(10));
}

TEST(VexaTeachTable, CommittingNoDrawsTheRowsSymmetryBandClipped) {
    VexaRun run;
    ASSERT_EQ(run.start(), 0);
    ShowChildPanel(3);
    const struct {
        int no, set, tolerance;
        double inside, outside;
    } cases[] = {{3, 990, 50, 970, 900}, {4, 20, 50, 35, 120}};
    for (const auto &c : cases) {
        SetTableCellVal(vexa.ttpanel, "GridCtt", MakePoint(3, c.no + 1), c.set);
        SetTableCellVal(vexa.ttpanel, "GridCtt", MakePoint(4, c.no + 1), c.tolerance);
        TypeNumber(vexa.ttpanel, "EditNo", c.no);
        EXPECT_EQ(PlotsOf("GraphSym1"), 1);
        EXPECT_TRUE(Sym1BandAt(c.inside)) << c.set;
        EXPECT_FALSE(Sym1BandAt(c.outside)) << c.set;
    }
}

TEST(VexaTeachTable, ATaughtRowIsDetectedByTheSensorAndShownAsTheVectorNumber) {
    VexaRun run;
    run.sensor.setMemory({DistinctSet(), {}}); // twelve rows checked, binary outputs
    ASSERT_EQ(run.start(), 0);
    run.sensor.setMeasurement({.density = 3000, .sym1 = 500, .sym2 = 300}); // beyond every band
    PollFrames(run.sensor, 1);
    EXPECT_EQ(Val(vexa.datapanel, "DispVec"), 255);
    SetCtrlVal(vexa.ttpanel, "EditNo", 4);
    Click(vexa.ttpanel, "ButtonTeachDataTo");
    Click(vexa.mainpanel, "ButtonSend");
    PollFrames(run.sensor, 1);
    EXPECT_EQ(Val(vexa.datapanel, "DispVec"), 4);
}

TEST(VexaTeachTable, NoAndMaxVecBeyondTheTableNeverAddressAMissingRow) {
    VexaRun run;
    run.sensor.setMemory({DistinctSet(), {}});
    PatchForm(run, "name=\"EditNo\"", "<number>30</number>", "<number>99</number>");
    PatchForm(run, "name=\"EditMaxNo\"", "<number>31</number>", "<number>99</number>");
    ASSERT_EQ(run.start(), 0);
    run.sensor.setMeasurement({.density = 4321, .sym1 = 432, .sym2 = 321});
    PollFrames(run.sensor, 1);
    ShowChildPanel(3);
    TypeNumber(vexa.ttpanel, "EditNo", 40);
    Click(vexa.ttpanel, "ButtonTeachDataTo");
    EXPECT_EQ(Cell(1, 31), 4321) << "the last row stands in";
    EXPECT_EQ(Val(vexa.ttpanel, "EditNo"), 40);
    TypeNumber(vexa.parapanel, "EditMaxNo", 40);
    for (int row = 1; row <= 31; ++row) {
        int colour = 0;
        GetTableRowAttribute(vexa.ttpanel, "GridCtt", row, ATTR_LABEL_COLOR, colour);
        EXPECT_EQ(colour, 0x008000) << row;
    }
}

TEST(VexaTeachTable, ACellRefusesWhatIsNotAWholeNumberAndSendCarriesItsValue) {
    VexaRun run;
    run.sensor.setMemory({DistinctSet(), {}});
    ASSERT_EQ(run.start(), 0);
    ShowChildPanel(3);
    auto *table = Widget<QTableWidget>(vexa.ttpanel, "GridCtt");
    ASSERT_TRUE(ActivateWindowOf(table));
    const int kept = Cell(1, 3);
    enum class Leave { Enter, Tab, Click };
    const struct {
        const char *typed;
        Leave leave;
    } cases[] = {{"2,5", Leave::Enter}, {"2.5", Leave::Tab}, {"1.000", Leave::Click}, {"2,5", Leave::Click}};
    for (const auto &c : cases) {
        table->setFocus();
        table->setCurrentCell(2, 0);
        QTest::keyClick(table, Qt::Key_F2);
        // The open one: a closed editor may not be gone yet.
        QPointer<QSpinBox> editor = qobject_cast<QSpinBox *>(table->indexWidget(table->currentIndex()));
        ASSERT_NE(editor, nullptr);
        editor->selectAll();
        QTest::keyClicks(editor, c.typed);
        if (c.leave == Leave::Click)
            Click(vexa.ttpanel, "EditNo");
        else
            QTest::keyClick(editor, c.leave == Leave::Enter ? Qt::Key_Return : Qt::Key_Tab);
        // The view takes or refuses the editor's text once its own events have run.
        EXPECT_TRUE(WaitFor([&] { return !editor || !editor->isVisible(); })) << c.typed;
        EXPECT_EQ(Cell(1, 3), kept) << c.typed;
        auto *note = PanelWidget(vexa.mainpanel)->findChild<QLabel *>("refusalNote");
        ASSERT_NE(note, nullptr) << c.typed;
        EXPECT_TRUE(note->isVisible() && note->text().contains(c.typed)) << note->text().toStdString();
        note->hide();
    }
    Click(vexa.mainpanel, "ButtonSend");
    EXPECT_EQ(run.sensor.memory().ram.teach[2][0], kept);
}

TEST(VexaTeachTable, RightClickShowsEachHelpText) {
    VexaRun run;
    ASSERT_EQ(run.start(), 0);
    ShowChildPanel(3);
    const auto t = &VexaState::ttpanel;
    const HelpCase cases[] = {
        {t, "ButtonTeachDataTo", "INFO!",
         " Current measured values are assigned to the \n TEACH TABLE row selected in the No.: function "
         "field."},
        {t, "ButtonResetTable", "INFO!", " Reset the TEACH TABLE. \n All cells are set to 1."},
        {t, "EditNo", "INFO!", " Select the current number of a row in the TEACH TABLE for TEACH DATA TO."},
        {t, "RadioInc", "INFO!", " Auto increment of Edit Field No.:"},
    };
    ExpectHelpTexts(cases);
}

TEST(VexaTeachTable, EveryCellShowsAFiveDigitValueWhole) {
    VexaRun run;
    ASSERT_EQ(run.start(), 0);
    ShowChildPanel(3);
    auto *table = Widget<QTableWidget>(vexa.ttpanel, "GridCtt");
    for (int col = 1; col <= 6; ++col)
        SetTableCellVal(vexa.ttpanel, "GridCtt", MakePoint(col, 31), 65535);
    table->scrollToBottom();
    // The digits are drawn whole, never shortened to "65...", with room to the grid lines.
    EXPECT_EQ(table->textElideMode(), Qt::ElideNone);
    const int digits = QFontMetrics(table->font()).horizontalAdvance("65535");
    for (int c = 0; c < table->columnCount(); ++c) {
        EXPECT_EQ(table->item(30, c)->text(), "65535");
        EXPECT_GE(table->columnWidth(c), digits + 4) << "column " << c;
        EXPECT_LE(table->columnViewportPosition(c) + table->columnWidth(c), table->viewport()->width())
            << "column " << c << " lies outside the table";
    }
    // The panel stays in its place beside the data panel.
    EXPECT_LE(PanelWidget(vexa.ttpanel)->geometry().right(), PanelWidget(vexa.datapanel)->geometry().left());
}
