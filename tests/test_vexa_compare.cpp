// The compare view: the panels against the sensor's RAM, its EEPROM and a
// parameter file, with neither the sensor's memories nor the panels changed.
#include "tests/test_vexa_harness.h"
#include "vexa/compare.h"
#include "vexa/parapanel.h"

using vexalink::kAnzPara;
using vexalink::SetDifferences;

using namespace vexatest;
using namespace vexaprogram;

namespace {

// The compare view's text after a click on COMPARE.
std::string Compare() {
    ClearRecordedPopups();
    Click(vexa.mainpanel, "ButtonCompare");
    for (const PopupRecord &p : RecordedPopups())
        if (p.title == "Compare") return p.text;
    return "(no compare view)";
}

bool Lists(const std::string &text, const std::string &line) {
    return text.find(line) != std::string::npos;
}

struct PanelSnapshot {
    uint16_t words[kAnzPara];
    PanelSnapshot() { PanelRecord(words); }
    bool operator==(const PanelSnapshot &o) const {
        const auto [a, b] = std::mismatch(words, words + kAnzPara, o.words);
        EXPECT_EQ(a, words + kAnzPara) << "word " << (a - words) << ": " << *a << " then " << *b;
        return a == words + kAnzPara;
    }
};

} // namespace

TEST(VexaCompare, RamListsAChangedParameterTeachCellAndSpareWordAndChangesNothing) {
    VexaRun run;
    run.sensor.setMemory({DistinctSet(), {}});
    ASSERT_EQ(run.start(), 0);
    EXPECT_TRUE(Lists(Compare(), "hold the same set"));

    TypeNumber(vexa.parapanel, "EditHold", 55);
    Click(vexa.mainpanel, "ButtonTeachTable");
    EditCell(2, 31, 999);
    sim::SensorMemory memory = run.sensor.memory();
    memory.ram.params[12] = 1; // a spare word changed behind the program's back
    run.sensor.setMemory(memory);
    const PanelSnapshot panel;
    run.sensor.clearCapture();

    const std::string text = Compare();
    EXPECT_TRUE(Lists(text, " HOLD: panel 55 ms, sensor RAM 30 ms \n")) << text;
    EXPECT_TRUE(Lists(text, " Teach row 30: panel 3001+-999 / ")) << text;
    EXPECT_TRUE(Lists(text, ", sensor RAM 3001+-3002 / 3003+-3004 / 3005+-3006 \n")) << text;
    EXPECT_TRUE(Lists(text, " SPARE WORD 13: panel 43981, sensor RAM 1 \n")) << text;
    EXPECT_FALSE(Lists(text, "LED POWER")) << text;
    EXPECT_FALSE(Lists(text, "Teach row 29")) << text;

    std::vector<int> reads{3};
    reads.insert(reads.end(), 31, 4);
    EXPECT_EQ(CommandsToSensor(run.sensor), reads) << "the read of a Get, nothing more";
    EXPECT_EQ(run.sensor.memory(), memory);
    EXPECT_TRUE(PanelSnapshot() == panel);
    EXPECT_EQ(para.paraFrei13, 0xABCD) << "the panels' spare word stays";
}

TEST(VexaCompare, EepromIsReadThroughRamWhichEndsAsItWas) {
    VexaRun run;
    sim::ParameterSet stored = DistinctSet();
    stored.params[0] = 300;
    stored.teach[0][0] = 7;
    run.sensor.setMemory({DistinctSet(), stored});
    ASSERT_EQ(run.start(), 0);
    Click(vexa.mainpanel, "SelectEEPROM");
    const sim::SensorMemory before = run.sensor.memory();
    const PanelSnapshot panel;

    const std::string text = Compare();
    EXPECT_TRUE(Lists(text, " LED POWER: panel 700 /1000, sensor EEPROM 300 /1000 \n")) << text;
    EXPECT_TRUE(Lists(text, " Teach row 0: panel 1+-2 / 3+-4 / 5+-6, sensor EEPROM 7+-2 / 3+-4 / 5+-6 \n"))
        << text;
    EXPECT_EQ(run.sensor.memory(), before);
    EXPECT_TRUE(PanelSnapshot() == panel);
    EXPECT_EQ(vexa.target, EEPROM);
    EXPECT_EQ(Val(vexa.parapanel, "SlidePower"), 700);
}

TEST(VexaCompare, FileListsDifferencesAndEqualSetsNone) {
    VexaRun run;
    run.sensor.setMemory({DistinctSet(), {}});
    ASSERT_EQ(run.start(), 0);
    Click(vexa.mainpanel, "SelectFILE");
    run.answers.fileResult = VAL_NEW_FILE_SELECTED;
    run.answers.filePath = run.path("set.ini");
    Click(vexa.mainpanel, "ButtonSend");
    run.answers.fileResult = VAL_EXISTING_FILE_SELECTED;
    EXPECT_TRUE(Lists(Compare(), "The panels and the file hold the same set."));

    ChooseItem(vexa.parapanel, "EditTrigger", 2);
    const std::string text = Compare();
    EXPECT_TRUE(Lists(text, " TRIGGER: panel 2 (code), file 0 (code) \n")) << text;
    EXPECT_EQ(Val(vexa.parapanel, "EditTrigger"), 2);

    // Cancelling the file dialog compares nothing.
    run.answers.fileResult = VAL_NO_FILE_SELECTED;
    EXPECT_EQ(Compare(), "(no compare view)");
}

TEST(VexaCompare, ACompareWithAFileIsNoChange) {
    VexaRun run;
    run.sensor.setMemory({DistinctSet(), {}});
    ASSERT_EQ(run.start(), 0);
    Click(vexa.mainpanel, "SelectFILE");
    run.answers.fileResult = VAL_NEW_FILE_SELECTED;
    run.answers.filePath = run.path("sensor.ini");
    Click(vexa.mainpanel, "ButtonSend"); // the sensor's set
    ChooseItem(vexa.parapanel, "EditTrigger", 2);
    run.answers.filePath = run.path("mine.ini");
    Click(vexa.mainpanel, "ButtonSend"); // the panels' own set
    std::string before;
    GetCtrlVal(vexa.mainpanel, "DispParaState", before);
    EXPECT_EQ(before, "As in file mine.ini, not sent");

    run.answers.fileResult = VAL_EXISTING_FILE_SELECTED;
    run.answers.filePath = run.path("sensor.ini");
    EXPECT_TRUE(Lists(Compare(), " TRIGGER: panel 2 (code), file 0 (code) \n"));
    std::string after;
    GetCtrlVal(vexa.mainpanel, "DispParaState", after);
    EXPECT_EQ(after, before);
    // The panels' set is in mine.ini: quitting loses nothing and asks nothing.
    ClearRecordedPopups();
    EXPECT_EQ(CloseAndRun(vexa.mainpanel), 0);
    EXPECT_TRUE(run.questions().empty());
}

TEST(VexaCompare, DifferencesAreEmptyForEqualSets) {
    uint16_t a[kAnzPara] = {}, b[kAnzPara] = {};
    EXPECT_EQ(SetDifferences(a, b, "x"), "");
    b[kAnzPara - 1] = 5;
    EXPECT_EQ(SetDifferences(a, b, "x"), " Teach row 30: panel 0+-0 / 0+-0 / 0+-0, x 0+-0 / 0+-0 / 0+-5 \n");
}
