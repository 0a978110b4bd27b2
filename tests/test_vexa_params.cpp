// The parameter set: its record, its transfer to and from the simulated
// sensor, the parameter panel's dependency rules and the memory selectors.
#include "tests/test_vexa_harness.h"
#include "vexa/parapanel.h"

#include <cstring>

using vexalink::ParaState;

using namespace vexatest;
using namespace programlink;
using namespace vexaprogram;

namespace {

std::vector<int> WriteSequence() {
    std::vector<int> codes{1};
    codes.insert(codes.end(), 31, 2);
    return codes;
}

std::vector<int> ReadSequence() {
    std::vector<int> codes{3};
    codes.insert(codes.end(), 31, 4);
    return codes;
}

std::string Status() {
    std::string status;
    GetCtrlVal(vexa.datapanel, "DispStatus", status);
    return status;
}

// An answer frame image in pp: marker, command code, then the words given.
void PutAnswer(uint16_t marker, uint16_t command, std::initializer_list<uint16_t> words) {
    para.pp[0] = marker;
    para.pp[1] = command;
    int k = 2;
    for (uint16_t w : words)
        para.pp[k++] = w;
}

// A set that differs from DistinctSet in every word.
sim::ParameterSet OtherSet() {
    sim::ParameterSet s = DistinctSet();
    s.params = {300, 2, 7, 1, 90, 400, 20, 1, 2, 0, 50, 60, 1, 2, 3, 4};
    for (auto &row : s.teach)
        for (auto &v : row)
            v = static_cast<uint16_t>(v + 7);
    return s;
}

} // namespace

TEST(VexaParaRecord, DecodingTakesOnlyParameterAndTeachRowAnswersWithinTheTable) {
    const struct {
        uint16_t marker, command, row;
        bool rowTaken;
    } cases[] = {
        {0x00AA, 4, 0, true},      {0x00AA, 4, 30, true}, {0x00AA, 4, 31, false},
        {0x00AA, 4, 65535, false}, {0x00AB, 4, 3, false}, {0x00AA, 5, 3, false},
    };
    for (const auto &c : cases) {
        para = ParaState{};
        PutAnswer(c.marker, c.command, {c.row, 11, 12, 13, 14, 15, 16});
        ParaState expected = para;
        if (c.rowTaken)
            for (int j = 0; j < 6; ++j)
                expected.paraTeachVec[c.row][j] = static_cast<uint16_t>(11 + j);
        CopyPPtoVars();
        // Nothing else may change: not a variable, not a word of the record.
        EXPECT_EQ(std::memcmp(&para, &expected, sizeof para), 0)
            << "row " << c.row << " command " << c.command;
    }
}

TEST(VexaParaRecord, MaxVecAboveTheTableIsLimitedTo31) {
    const struct { uint16_t read, kept; } cases[] = {{40, 31}, {31, 31}, {30, 30}, {65535, 31}};
    for (const auto &c : cases) {
        PutAnswer(0x00AA, 3, {1, 2, 3, 4, 5, 6, c.read});
        CopyPPtoVars();
        EXPECT_EQ(para.paraMaxNr, c.kept) << "from a sensor";
        CopyVarsToPP();
        para.pp[6] = c.read;
        CopyFileParatoVars();
        EXPECT_EQ(para.paraMaxNr, c.kept) << "from a file";
    }
}

TEST(VexaParaTransfer, SendWithRamWrites32FramesAndTheSensorHoldsThePanelsSet) {
    VexaRun run;
    sim::ParameterSet set = DistinctSet();
    run.sensor.setMemory({set, {}});
    ASSERT_EQ(run.start(), 0);
    TypeNumber(vexa.parapanel, "EditHold", 55);
    ChooseItem(vexa.parapanel, "EditTrigger", 2);
    SetTableCellVal(vexa.ttpanel, "GridCtt", MakePoint(6, 31), 4096);
    run.sensor.clearCapture();

    Click(vexa.mainpanel, "ButtonSend");
    EXPECT_EQ(CommandsToSensor(run.sensor), WriteSequence());
    set.params[4] = 55;
    set.params[8] = 2;
    set.teach[30][5] = 4096;
    EXPECT_EQ(run.sensor.memory().ram, set) << "the spare words go back as they came";
    EXPECT_EQ(run.sensor.memory().eeprom, sim::ParameterSet{});
    EXPECT_EQ(Attr(vexa.mainpanel, "ButtonSend", ATTR_DIMMED), 0);
}

TEST(VexaParaTransfer, ValuesBeyondTheControlsSurviveGetThenSendWordForWord) {
    for (Transport transport : {Transport::Tcp, Transport::Pty}) {
        VexaRun run(transport);
        sim::ParameterSet set = DistinctSet();
        set.params[0] = 1500;   // LED power above the slide's 1000
        set.params[2] = 15;     // an averaging code the list does not offer
        set.params[4] = 5000;   // HOLD above its field's 1000
        set.params[10] = 65000; // MAX UP above 60000
        run.sensor.setMemory({set, {}});
        ASSERT_EQ(run.start(), 0);
        EXPECT_EQ(Val(vexa.parapanel, "EditHold"), 5000);
        EXPECT_TRUE(Widget(vexa.parapanel, "EditHold")->toolTip().contains("outside the usual range"));
        EXPECT_TRUE(Widget<QComboBox>(vexa.parapanel, "EditAverage")->currentText().contains("15"));
        run.sensor.clearCapture();
        Click(vexa.mainpanel, "ButtonSend");
        EXPECT_EQ(run.sensor.memory().ram, set) << "nothing the user did not change may change";

        // What the user changes is sent, and the field is back in its usual range.
        TypeNumber(vexa.parapanel, "EditHold", 55);
        Click(vexa.mainpanel, "ButtonSend");
        set.params[4] = 55;
        EXPECT_EQ(run.sensor.memory().ram, set);
        EXPECT_EQ(Widget<QSpinBox>(vexa.parapanel, "EditHold")->maximum(), 1000);
    }
}

TEST(VexaParaTransfer, SendWithEepromAddsCommand6AndTheSensorStoresTheSet) {
    VexaRun run;
    run.sensor.setMemory({DistinctSet(), {}});
    ASSERT_EQ(run.start(), 0);
    Click(vexa.mainpanel, "SelectEEPROM");
    ASSERT_EQ(vexa.target, EEPROM);
    run.sensor.clearCapture();
    Click(vexa.mainpanel, "ButtonSend");
    std::vector<int> expected = WriteSequence();
    expected.push_back(6);
    EXPECT_EQ(CommandsToSensor(run.sensor), expected);
    EXPECT_EQ(run.sensor.memory().eeprom, DistinctSet());
}

TEST(VexaParaTransfer, SendStopsAtTheFirstFailedEcho) {
    VexaRun run;
    ASSERT_EQ(run.start(), 0);
    Click(vexa.mainpanel, "SelectEEPROM");
    run.sensor.setFault({.kind = sim::FaultKind::WrongMarker, .command = 2, .frame = 4});
    run.sensor.clearCapture();
    Click(vexa.mainpanel, "ButtonSend");
    EXPECT_EQ(CommandsToSensor(run.sensor), (std::vector<int>{1, 2, 2, 2}));
    EXPECT_EQ(Status(), "TIMEOUT");
    EXPECT_FALSE(LinkSensor().echoOk());
}

TEST(VexaParaTransfer, GetWithEepromLoadsTheStoredSetFirst) {
    VexaRun run;
    run.sensor.setMemory({DistinctSet(), OtherSet()});
    ASSERT_EQ(run.start(), 0);
    Click(vexa.mainpanel, "SelectEEPROM");
    run.sensor.clearCapture();
    Click(vexa.mainpanel, "ButtonGet");
    std::vector<int> expected{8};
    for (int code : ReadSequence())
        expected.push_back(code);
    EXPECT_EQ(CommandsToSensor(run.sensor), expected);
    EXPECT_EQ(Val(vexa.parapanel, "SlidePower"), 300);
    EXPECT_EQ(Cell(1, 1), OtherSet().teach[0][0]);
}

TEST(VexaParaTransfer, GetWithEepromStopsWhenTheLoadIsNotEchoed) {
    VexaRun run;
    run.sensor.setMemory({DistinctSet(), OtherSet()});
    ASSERT_EQ(run.start(), 0);
    Click(vexa.mainpanel, "SelectEEPROM");
    run.sensor.setFault({.kind = sim::FaultKind::WrongMarker, .command = 8});
    run.sensor.clearCapture();
    Click(vexa.mainpanel, "ButtonGet");
    EXPECT_EQ(CommandsToSensor(run.sensor), (std::vector<int>{8}));
    EXPECT_EQ(Status(), "TIMEOUT");
    EXPECT_EQ(Val(vexa.parapanel, "SlidePower"), 700);
}

TEST(VexaParaTransfer, GetWhoseCommand3TimesOutStillExchangesRow0ThenStops) {
    VexaRun run;
    run.sensor.setMemory({DistinctSet(), {}});
    ASSERT_EQ(run.start(), 0);
    run.sensor.setMemory({OtherSet(), {}});
    run.sensor.setFault({.kind = sim::FaultKind::NoAnswer, .command = 3});
    run.sensor.clearCapture();
    Click(vexa.mainpanel, "ButtonGet");
    const std::vector<sim::Bytes> frames = FramesToSensor(run.sensor);
    ASSERT_EQ(CommandsToSensor(run.sensor), (std::vector<int>{3, 4}));
    EXPECT_EQ(frames[1][5], 0) << "row 0";
    EXPECT_EQ(Status(), "TIMEOUT");
    // Row 0's answer was taken into the variables, but nothing reached the panels.
    EXPECT_EQ(para.paraTeachVec[0][0], OtherSet().teach[0][0]);
    EXPECT_EQ(Cell(1, 1), DistinctSet().teach[0][0]);
    EXPECT_EQ(Val(vexa.parapanel, "SlidePower"), 700);
}

TEST(VexaParaTransfer, MaxVec40FromTheSensorShows31WithEveryRowActive) {
    VexaRun run;
    sim::ParameterSet set = DistinctSet();
    set.params[6] = 40;
    run.sensor.setMemory({set, {}});
    ASSERT_EQ(run.start(), 0);
    EXPECT_EQ(para.paraMaxNr, 31);
    EXPECT_EQ(Val(vexa.parapanel, "EditMaxNo"), 31);
    for (int row = 1; row <= 31; ++row) {
        int colour = 0;
        GetTableRowAttribute(vexa.ttpanel, "GridCtt", row, ATTR_LABEL_COLOR, colour);
        EXPECT_EQ(colour, MakeColor(0, 128, 0)) << "row " << row;
    }
}

TEST(VexaParaPanel, ExternalTeachAndTriggerModesExcludeEachOther) {
    VexaRun run;
    sim::ParameterSet set = DistinctSet();
    set.params[8] = 1; // EXT1
    set.params[9] = 1; // external teach on
    run.sensor.setMemory({set, {}});
    ASSERT_EQ(run.start(), 0);
    // Read with both on: external teach wins, the trigger falls back to CONT.
    EXPECT_EQ(Val(vexa.parapanel, "ExternTeach"), 1);
    EXPECT_EQ(Attr(vexa.parapanel, "ExternTeach", ATTR_DIMMED), 0);
    EXPECT_EQ(Val(vexa.parapanel, "EditTrigger"), 0);
    EXPECT_EQ(Attr(vexa.parapanel, "EditTrigger", ATTR_DIMMED), 1);
    EXPECT_EQ(Attr(vexa.datapanel, "DispTrigger", ATTR_VISIBLE), 0);

    ChooseItem(vexa.parapanel, "ExternTeach", 0);
    EXPECT_EQ(Attr(vexa.parapanel, "EditTrigger", ATTR_DIMMED), 0);
    ChooseItem(vexa.parapanel, "EditTrigger", 2);
    EXPECT_EQ(Val(vexa.parapanel, "ExternTeach"), 0);
    EXPECT_EQ(Attr(vexa.parapanel, "ExternTeach", ATTR_DIMMED), 1);
    EXPECT_EQ(Attr(vexa.datapanel, "DispTrigger", ATTR_VISIBLE), 1);
    ChooseItem(vexa.parapanel, "EditTrigger", 0);
    EXPECT_EQ(Attr(vexa.parapanel, "ExternTeach", ATTR_DIMMED), 0);
    EXPECT_EQ(Attr(vexa.datapanel, "DispTrigger", ATTR_VISIBLE), 0);
}

TEST(VexaParaPanel, EvaluationMode0HidesTheMaximaButTheDelaysAreStillSent) {
    VexaRun run;
    run.sensor.setMemory({DistinctSet(), {}});
    ASSERT_EQ(run.start(), 0);
    ChooseItem(vexa.parapanel, "Evalmode", 0);
    for (const char *name : {"DispAktMaxChL", "DispAktMaxChC", "DispAktMaxChR"})
        EXPECT_EQ(Attr(vexa.datapanel, name, ATTR_VISIBLE), 0) << name;
    EXPECT_EQ(Attr(vexa.parapanel, "EditMaxUp", ATTR_DIMMED), 1);
    EXPECT_EQ(Attr(vexa.parapanel, "EditMaxDown", ATTR_DIMMED), 1);
    Click(vexa.mainpanel, "ButtonSend");
    EXPECT_EQ(run.sensor.memory().ram.params[3], 0);
    EXPECT_EQ(run.sensor.memory().ram.params[10], 1234);
    EXPECT_EQ(run.sensor.memory().ram.params[11], 4321);

    ChooseItem(vexa.parapanel, "Evalmode", 1);
    EXPECT_EQ(Attr(vexa.datapanel, "DispAktMaxChL", ATTR_VISIBLE), 1);
    EXPECT_EQ(Attr(vexa.parapanel, "EditMaxUp", ATTR_DIMMED), 0);
}

TEST(VexaParaPanel, MemorySelectorsFallBackToRam) {
    VexaRun run;
    ASSERT_EQ(run.start(), 0);
    auto selectors = [] {
        return std::vector<int>{Val(vexa.mainpanel, "SelectRAM"), Val(vexa.mainpanel, "SelectEEPROM"),
                                Val(vexa.mainpanel, "SelectFILE")};
    };
    const struct {
        const char *click;
        uint16_t target;
        std::vector<int> shown;
    } steps[] = {
        {"SelectFILE", DATFILE, {0, 0, 1}},  {"SelectFILE", RAM, {1, 0, 0}},
        {"SelectEEPROM", EEPROM, {0, 1, 0}}, {"SelectFILE", DATFILE, {0, 0, 1}},
        {"SelectRAM", RAM, {1, 0, 0}},       {"SelectRAM", RAM, {1, 0, 0}},
        {"SelectEEPROM", EEPROM, {0, 1, 0}}, {"SelectEEPROM", RAM, {1, 0, 0}},
    };
    for (const auto &s : steps) {
        Click(vexa.mainpanel, s.click);
        EXPECT_EQ(vexa.target, s.target) << "after " << s.click;
        EXPECT_EQ(selectors(), s.shown) << "after " << s.click;
    }
}

TEST(VexaParaPanel, MaxVecAboveFiveWarnsOutsideBinaryModeAndColoursTheRows) {
    VexaRun run;
    ASSERT_EQ(run.start(), 0);
    const std::string warning =
        "INFO!| ATTENTION! \n \n MAXVEC-No. IS TOO HIGH \n DECREASE MAXVEC-No. OR SWITCH TO "
        "OUTMODE=BINARY";
    const struct {
        int maxNo, outMode;
        bool warns;
    } cases[] = {{6, 0, true}, {6, 2, true}, {6, 1, false}, {5, 0, false}, {0, 2, false}, {31, 1, false}};
    for (const auto &c : cases) {
        ChooseItem(vexa.parapanel, "EditOutmode", 1);
        TypeNumber(vexa.parapanel, "EditMaxNo", c.maxNo);
        ClearRecordedPopups();
        ChooseItem(vexa.parapanel, "EditOutmode", c.outMode);
        EXPECT_EQ(run.messages(), c.warns ? std::vector<std::string>{warning} : std::vector<std::string>{})
            << c.maxNo << " in mode " << c.outMode;
        // Committing MAXVEC-No. itself warns the same way and colours the rows.
        TypeNumber(vexa.parapanel, "EditMaxNo", c.maxNo == 31 ? 30 : c.maxNo + 1);
        ClearRecordedPopups();
        TypeNumber(vexa.parapanel, "EditMaxNo", c.maxNo);
        EXPECT_EQ(run.messages().size(), c.warns ? 1u : 0u);
        for (int row = 1; row <= 31; ++row) {
            int colour = 0;
            GetTableRowAttribute(vexa.ttpanel, "GridCtt", row, ATTR_LABEL_COLOR, colour);
            EXPECT_EQ(colour, row <= c.maxNo ? MakeColor(0, 128, 0) : MakeColor(255, 0, 0)) << "row " << row;
        }
    }
}
