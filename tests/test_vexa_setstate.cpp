// Where the panels' set stands against the sensor and the files, and the
// questions asked before a change made on the panels would be lost: driven as a
// user does, checked in the sensor's memories and in the files.
#include "tests/test_vexa_harness.h"

using namespace vexatest;
using namespace vexaprogram;

namespace {

constexpr const char *kAgree = "Sensor and panel agree";
constexpr const char *kChanged = "Changed, not sent";
constexpr const char *kRamOnly = "In RAM, not stored in EEPROM";
constexpr const char *kUnsent = "Unsent changes";
constexpr const char *kQuit = "Quit VexaV32";

std::string ParaStanding() {
    std::string text;
    GetCtrlVal(vexa.mainpanel, "DispParaState", text);
    return text;
}

std::string TeachStanding() {
    std::string text;
    GetCtrlVal(vexa.mainpanel, "DispTeachState", text);
    return text;
}

int ParaColour() {
    return Attr(vexa.mainpanel, "DispParaState", ATTR_CTRL_COLOR);
}

void Reconnect() {
    Click(vexa.mainpanel, "ButtonConnect");
    Click(vexa.interfacepanel, "ButtonTryToConnect");
}

void UseFile(VexaRun &run, const std::string &path, int result) {
    if (Val(vexa.mainpanel, "SelectFILE") == 0) Click(vexa.mainpanel, "SelectFILE");
    run.answers.fileResult = result;
    run.answers.filePath = path;
}

std::vector<int> ReadSequence() {
    std::vector<int> codes{3};
    codes.insert(codes.end(), 31, 4);
    return codes;
}

// The last frames sent, as many as expected has.
std::vector<int> LastCommands(const sim::SimSensor &sensor, std::size_t n) {
    const std::vector<int> all = CommandsToSensor(sensor);
    return {all.end() - static_cast<long>(std::min(n, all.size())), all.end()};
}

} // namespace

TEST(VexaSetState, EachActionLeavesTheStandingItBringsInWordsAndColour) {
    VexaRun run;
    run.sensor.setMemory({DistinctSet(), {}});
    ASSERT_EQ(run.start(), 0);
    EXPECT_TRUE(run.questions().empty()) << "start-up reads the sensor without asking";
    EXPECT_EQ(ParaStanding(), kAgree);
    EXPECT_EQ(TeachStanding(), kAgree);
    const int agreeColour = ParaColour();

    TypeNumber(vexa.parapanel, "EditHold", 55);
    EXPECT_EQ(ParaStanding(), kChanged);
    EXPECT_EQ(TeachStanding(), kAgree);
    EXPECT_NE(ParaColour(), agreeColour);

    Click(vexa.mainpanel, "ButtonSend");
    EXPECT_EQ(run.sensor.memory().ram.params[4], 55);
    EXPECT_EQ(ParaStanding(), kRamOnly);
    EXPECT_EQ(TeachStanding(), kRamOnly);

    Click(vexa.mainpanel, "SelectEEPROM");
    Click(vexa.mainpanel, "ButtonSend");
    EXPECT_EQ(run.sensor.memory().eeprom, run.sensor.memory().ram);
    EXPECT_EQ(ParaStanding(), kAgree);
    EXPECT_EQ(TeachStanding(), kAgree);
    EXPECT_EQ(ParaColour(), agreeColour);

    Click(vexa.mainpanel, "ButtonTeachTable");
    EditCell(2, 5, 1234);
    EXPECT_EQ(Cell(2, 5), 1234);
    EXPECT_EQ(TeachStanding(), kChanged);
    EXPECT_EQ(ParaStanding(), kAgree);
    Click(vexa.ttpanel, "ButtonTeachDataTo");
    EXPECT_EQ(TeachStanding(), kChanged);

    UseFile(run, run.path("taught.ini"), VAL_NEW_FILE_SELECTED);
    Click(vexa.mainpanel, "ButtonSend");
    EXPECT_EQ(TeachStanding(), "As in file taught.ini, not sent");
    EXPECT_EQ(ParaStanding(), kAgree);

    // The taught rows are in the file, so reading the sensor loses nothing and asks nothing.
    Click(vexa.mainpanel, "SelectRAM");
    Click(vexa.mainpanel, "ButtonGet");
    EXPECT_TRUE(run.questions().empty());
    EXPECT_EQ(Cell(1, 5), DistinctSet().teach[4][0]);
    EXPECT_EQ(TeachStanding(), kAgree);

    // A read with EEPROM selected learns both memories.
    TypeNumber(vexa.parapanel, "EditHold", 77);
    Click(vexa.mainpanel, "ButtonSend");
    ASSERT_EQ(ParaStanding(), kRamOnly);
    Click(vexa.mainpanel, "SelectEEPROM");
    Click(vexa.mainpanel, "ButtonGet");
    EXPECT_EQ(Val(vexa.parapanel, "EditHold"), 55);
    EXPECT_EQ(ParaStanding(), kAgree);
}

TEST(VexaSetState, WithoutASensorThePanelsAreNotReadUntilEdited) {
    VexaRun run;
    run.sensor.setFault({.kind = sim::FaultKind::CloseConnection, .command = 7});
    ASSERT_EQ(run.start(), 0);
    EXPECT_EQ(ParaStanding(), "Not read from a sensor");
    EXPECT_EQ(CloseAndRun(vexa.mainpanel), 0) << "the resource's values are nothing to lose";
    TypeNumber(vexa.parapanel, "EditHold", 55);
    EXPECT_EQ(ParaStanding(), kChanged);
    run.answers.generic = 3;
    EXPECT_EQ(CloseAndRun(vexa.mainpanel), -1);
    EXPECT_EQ(run.questions(), std::vector<std::string>{kQuit});
}

TEST(VexaSetState, ClosingAsksExactlyWhenSomethingWouldBeLostAndDoesWhatTheAnswerSays) {
    VexaRun run;
    run.sensor.setMemory({DistinctSet(), {}});
    ASSERT_EQ(run.start(), 0);
    EXPECT_EQ(CloseAndRun(vexa.mainpanel), 0);
    EXPECT_TRUE(run.questions().empty());

    // Cancel: the program stays and nothing is sent.
    TypeNumber(vexa.parapanel, "EditHold", 55);
    run.answers.generic = 3;
    run.sensor.clearCapture();
    EXPECT_EQ(CloseAndRun(vexa.mainpanel), -1);
    EXPECT_EQ(run.questions(), std::vector<std::string>{kQuit});
    EXPECT_TRUE(CommandsToSensor(run.sensor).empty());
    EXPECT_EQ(Val(vexa.parapanel, "EditHold"), 55);

    // Store in EEPROM: the sensor keeps the set, then the program quits.
    run.answers.generic = 2;
    EXPECT_EQ(CloseAndRun(vexa.mainpanel), 0);
    EXPECT_EQ(run.sensor.memory().eeprom.params[4], 55);
    EXPECT_EQ(run.sensor.memory().ram, run.sensor.memory().eeprom);
    EXPECT_EQ(run.questions().size(), 2u);

    // A set in RAM only is lost at the next power cycle: asked as well.
    TypeNumber(vexa.parapanel, "EditHold", 66);
    Click(vexa.mainpanel, "ButtonSend");
    ClearRecordedPopups();
    run.answers.generic = 3;
    EXPECT_EQ(CloseAndRun(vexa.mainpanel), -1);
    ASSERT_EQ(RecordedPopups().size(), 1u);
    EXPECT_NE(RecordedPopups()[0].text.find("in RAM only"), std::string::npos);

    // Quit: nothing is sent.
    run.answers.generic = 1;
    run.sensor.clearCapture();
    EXPECT_EQ(CloseAndRun(vexa.mainpanel), 0);
    EXPECT_TRUE(CommandsToSensor(run.sensor).empty());
    EXPECT_EQ(run.sensor.memory().eeprom.params[4], 55);
}

TEST(VexaSetState, ReadingOverUnsentChangesAsksAfterTheUnchangedReadAndKeepsOrReplaces) {
    VexaRun run;
    run.sensor.setMemory({DistinctSet(), {}});
    ASSERT_EQ(run.start(), 0);

    // Nothing changed: a reconnect reads and asks nothing.
    Reconnect();
    EXPECT_TRUE(run.questions().empty());

    TypeNumber(vexa.parapanel, "EditHold", 55);
    run.answers.generic = 2;
    run.sensor.clearCapture();
    Reconnect();
    EXPECT_EQ(run.questions(), std::vector<std::string>{kUnsent});
    EXPECT_EQ(LastCommands(run.sensor, 32), ReadSequence()) << "the read is the one described";
    EXPECT_EQ(Val(vexa.parapanel, "EditHold"), 55);
    EXPECT_EQ(ParaStanding(), kChanged);
    // What was kept is what a Send now writes, spare words included.
    Click(vexa.mainpanel, "ButtonSend");
    sim::ParameterSet expected = DistinctSet();
    expected.params[4] = 55;
    EXPECT_EQ(run.sensor.memory().ram, expected);

    // Get over a taught row: Replace takes the sensor's set.
    Click(vexa.mainpanel, "ButtonTeachTable");
    EditCell(3, 2, 999);
    run.answers.generic = 1;
    Click(vexa.mainpanel, "ButtonGet");
    EXPECT_EQ(run.questions().size(), 2u);
    ASSERT_FALSE(RecordedPopups().empty());
    EXPECT_NE(RecordedPopups().back().text.find("the teach table holds changes"), std::string::npos)
        << RecordedPopups().back().text;
    EXPECT_EQ(Cell(3, 2), DistinctSet().teach[1][2]);
    EXPECT_EQ(TeachStanding(), kRamOnly);
}

TEST(VexaSetState, LoadingAFileOverUnsentChangesAsksAndTheFileStaysAsItWas) {
    VexaRun run;
    run.sensor.setMemory({DistinctSet(), {}});
    ASSERT_EQ(run.start(), 0);
    const std::string file = run.path("kept.ini");
    UseFile(run, file, VAL_NEW_FILE_SELECTED);
    Click(vexa.mainpanel, "ButtonSend");
    const std::string saved = ReadFileBytes(file);

    Click(vexa.mainpanel, "ButtonTeachTable");
    EditCell(2, 7, 4321);
    run.answers.generic = 2;
    UseFile(run, file, VAL_EXISTING_FILE_SELECTED);
    Click(vexa.mainpanel, "ButtonGet");
    EXPECT_EQ(run.questions(), std::vector<std::string>{kUnsent});
    EXPECT_EQ(Cell(2, 7), 4321);
    EXPECT_EQ(TeachStanding(), kChanged);

    run.answers.generic = 1;
    Click(vexa.mainpanel, "ButtonGet");
    EXPECT_EQ(Cell(2, 7), DistinctSet().teach[6][1]);
    EXPECT_EQ(TeachStanding(), kAgree) << "the file holds what the sensor's RAM holds";

    // Nothing unsent: loading asks nothing.
    Click(vexa.mainpanel, "ButtonGet");
    EXPECT_EQ(run.questions().size(), 2u);
    EXPECT_EQ(ReadFileBytes(file), saved);
}

TEST(VexaSetState, ClosingWhileLiveDataRunsOffersNoStoreThatWouldBreakIntoTheExchange) {
    VexaRun run;
    run.sensor.setMemory({DistinctSet(), {}});
    ASSERT_EQ(run.start(), 0);
    TypeNumber(vexa.parapanel, "EditHold", 55);
    run.answers.generic = 2; // Cancel, the last of two
    const long start = run.sensor.framesReceived();
    ClickWhile(vexa.mainpanel, "ButtonGo", [&] {
        if (run.sensor.framesReceived() - start < 3) return false;
        PanelWidget(vexa.mainpanel)->close();
        Click(vexa.mainpanel, "ButtonStop");
        return true;
    });
    ASSERT_EQ(run.questions(), std::vector<std::string>{kQuit});
    EXPECT_EQ(RecordedPopups().back().buttons, (std::vector<std::string>{"Quit", "Cancel"}));
    EXPECT_EQ(run.sensor.memory().eeprom, sim::ParameterSet{});
    EXPECT_EQ(Val(vexa.parapanel, "EditHold"), 55);
}
