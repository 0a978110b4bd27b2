// VexaV32 when its long operations meet clicks, a Send is cut short, or the link
// was lost before a triggered recording: every operation ends, the program stays
// usable, and what the sensor holds is said.
#include "tests/test_vexa_harness.h"
#include "vexa/recorder.h"

#include <QLineEdit>

using namespace vexatest;
using namespace programlink;
using namespace vexaprogram;

namespace {

std::string Text(int panel, const char *name) {
    std::string text;
    GetCtrlVal(panel, name, text);
    return text;
}

bool MessageHas(const VexaRun &run, const std::string &part) {
    for (const std::string &m : run.messages())
        if (m.find(part) != std::string::npos) return true;
    return false;
}

// Every button that starts an exchange, on the panel that holds it.
struct Press {
    int *panel;
    const char *button;
};
const Press kPresses[] = {
    {&vexa.interfacepanel, "ButtonTryToConnect"},
    {&vexa.interfacepanel, "ButtonDiscard"},
    {&vexa.mainpanel, "ButtonGet"},
    {&vexa.mainpanel, "ButtonCompare"},
    {&vexa.mainpanel, "ButtonSend"},
    {&vexa.mainpanel, "ButtonGo"},
    {&vexa.recpanel, "ButtonStartRecord"},
    {&vexa.recpanel, "ButtonStartTrigRec"},
};

// A long operation, started by a click, and how the test ends it (when it runs until stopped).
struct Operation {
    const char *name;
    int *panel;
    const char *button;
    int *stopPanel;
    const char *stop;
};

class VexaOperationClickedInto : public ::testing::TestWithParam<Operation> {};

// Clicks every exchange button in the middle of the operation: none starts a second
// exchange on the waiting one, the operation runs to its end, the program goes on.
TEST_P(VexaOperationClickedInto, NoSecondExchangeStartsAndTheOperationEnds) {
    const Operation op = GetParam();
    VexaRun run;
    run.sensor.setMemory({DistinctSet(), {}});
    ASSERT_EQ(run.start(), 0);
    Click(vexa.mainpanel, "ButtonRecorder");
    ChooseItem(vexa.recpanel, "EditSelectDataRec", 1);
    run.answers.fileResult = VAL_NEW_FILE_SELECTED;
    run.answers.filePath = run.path("rec.dat");
    Click(vexa.recpanel, "ButtonSelRecFile");
    run.sensor.setPacing(true); // each exchange takes a few milliseconds on the line
    ClearRecordedPopups();
    const long start = run.sensor.framesReceived();
    int phase = 0;
    long afterClicks = 0;
    ClickWhile(*op.panel, op.button, [&] {
        const long frames = run.sensor.framesReceived() - start;
        if (phase == 0 && frames >= 3) {
            for (const Press &p : kPresses)
                Click(*p.panel, p.button);
            afterClicks = run.sensor.framesReceived();
            phase = 1;
        } else if (phase == 1 && op.stop && run.sensor.framesReceived() >= afterClicks + 3) {
            Click(*op.stopPanel, op.stop);
            return true;
        }
        return phase == 1 && !op.stop;
    });
    EXPECT_EQ(phase, 1) << "the clicks came in the middle of the operation";
    EXPECT_TRUE(run.questions().empty());
    for (const std::string &m : run.messages())
        EXPECT_EQ(m.find("TIMEOUT"), std::string::npos) << m;
    EXPECT_NE(Text(vexa.datapanel, "DispStatus"), "TIMEOUT");
    EXPECT_TRUE(LinkSensor().echoOk() || std::string(op.name) == "Recording");
    EXPECT_FALSE(LinkSensor().busy());
    for (const char *b : {"ButtonSend", "ButtonGet", "ButtonGo"})
        EXPECT_EQ(Attr(vexa.mainpanel, b, ATTR_DIMMED), 0) << b;
    // The program answers the next operation as ever.
    run.sensor.setPacing(false);
    Click(vexa.mainpanel, "ButtonGet");
    EXPECT_TRUE(LinkSensor().echoOk());
    EXPECT_EQ(run.sensor.memory().ram, DistinctSet()) << "nothing but the operation itself wrote";
}

INSTANTIATE_TEST_SUITE_P(Operations, VexaOperationClickedInto,
                         ::testing::Values(Operation{"Send", &vexa.mainpanel, "ButtonSend", nullptr, nullptr},
                                           Operation{"Get", &vexa.mainpanel, "ButtonGet", nullptr, nullptr},
                                           Operation{"LiveData", &vexa.mainpanel, "ButtonGo", &vexa.mainpanel,
                                                     "ButtonStop"},
                                           Operation{"Recording", &vexa.recpanel, "ButtonStartRecord",
                                                     &vexa.recpanel, "ButtonStopRecord"}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(VexaSendCutShort, SaysTheRowItStoppedAtUntilACompleteSendOrGet) {
    VexaRun run;
    run.sensor.setMemory({DistinctSet(), {}});
    ASSERT_EQ(run.start(), 0);
    EditCell(1, 8, 1234); // row 7 of 0-30
    EditCell(1, 1, 4321); // row 0
    // Command 1, rows 0..6, then row 7 (the 9th frame) is not echoed.
    run.sensor.setFault({.kind = sim::FaultKind::NoAnswer, .command = 2, .frame = 9});
    Click(vexa.mainpanel, "ButtonSend");
    EXPECT_TRUE(MessageHas(run, "Send| The Send stopped at teach-table row 7 (rows 0 to 30)."));
    EXPECT_TRUE(
        MessageHas(run, "part new, part old values: the parameters and rows 0 to 6 new, row 7 perhaps"));
    const std::string note = "Send stopped at teach row 7: part new, part old";
    EXPECT_EQ(Text(vexa.mainpanel, "DispParaState"), note);
    EXPECT_EQ(Text(vexa.mainpanel, "DispTeachState"), note);
    EXPECT_EQ(run.sensor.memory().ram.teach[0][0], 4321) << "the rows before stayed written";
    // An edit changes nothing of what the sensor holds: the note stays.
    EditCell(2, 1, 77);
    EXPECT_EQ(Text(vexa.mainpanel, "DispTeachState"), note);
    // A complete Get replaces it with where the panels stand.
    run.answers.generic = 1; // take the sensor's set
    Click(vexa.mainpanel, "ButtonGet");
    EXPECT_EQ(Text(vexa.mainpanel, "DispTeachState"), "Sensor and panel agree");
}

// START TRIG opens a lost link again as GO and SEND do; a recording that took no
// frame says so; FRAMES counts each recording from 0.
TEST(VexaTriggerAfterLoss, StartTrigOpensTheLinkAgainAndCountsEachRecordingFrom0) {
    VexaRun run;
    ASSERT_EQ(run.start(), 0);
    // The server closes the connection at the next data request.
    run.sensor.setFault({.kind = sim::FaultKind::CloseConnection, .command = 5});
    PollFrames(run.sensor, 1);
    ASSERT_TRUE(com.linkLost);
    Click(vexa.mainpanel, "ButtonRecorder");
    ChooseItem(vexa.recpanel, "EditSelectDataRec", 3);
    run.answers.fileResult = VAL_NEW_FILE_SELECTED;
    run.answers.filePath = run.path("trig.dat");
    Click(vexa.recpanel, "ButtonSelRecFile");

    for (int recording = 0; recording < 2; ++recording) {
        int firstShown = -1;
        bool fired = false;
        ClickWhile(vexa.recpanel, "ButtonStartTrigRec", [&] {
            if (!run.sensor.autoSend()) return false;
            if (firstShown < 0) firstShown = Val(vexa.recpanel, "DispCounter");
            if (!fired) {
                run.sensor.fireTrigger();
                fired = true;
            } else if (fired && Val(vexa.recpanel, "DispCounter") == 1) {
                Click(vexa.recpanel, "ButtonStopTrigRec");
                return true;
            }
            return false;
        });
        EXPECT_TRUE(fired) << "auto-send went on over the opened link";
        EXPECT_EQ(firstShown, 0) << "recording " << recording;
        EXPECT_EQ(run.messages().back(), "INFO!|File has been saved!");
        ASSERT_TRUE(WaitFor([&] { return !run.sensor.autoSend(); }));
    }

    // A recording that takes nothing does not say that a file was saved.
    ClickWhile(vexa.recpanel, "ButtonStartTrigRec", [&] {
        if (!run.sensor.autoSend()) return false;
        Click(vexa.recpanel, "ButtonStopTrigRec");
        return true;
    });
    EXPECT_NE(run.messages().back().find("No frame came from the sensor: no row was recorded"),
              std::string::npos)
        << run.messages().back();
}

TEST(VexaTriggerAfterLoss, StartTrigOnALinkThatCannotOpenSaysSoAndRecordsNothing) {
    VexaRun run;
    ASSERT_EQ(run.start(), 0);
    // The user points the link at a port where nothing listens and tests it.
    Click(vexa.mainpanel, "ButtonConnect");
    auto *port = Widget<QLineEdit>(vexa.interfacepanel, "StringPortNumber");
    ASSERT_NE(port, nullptr);
    port->setFocus();
    port->selectAll();
    QTest::keyClicks(port, "1");
    QTest::keyClick(port, Qt::Key_Tab);
    Click(vexa.interfacepanel, "ButtonTryToConnect");
    ASSERT_FALSE(LinkSensor().isOpen());
    Click(vexa.mainpanel, "ButtonRecorder");
    ChooseItem(vexa.recpanel, "EditSelectDataRec", 3);
    run.answers.fileResult = VAL_NEW_FILE_SELECTED;
    run.answers.filePath = run.path("trig.dat");
    Click(vexa.recpanel, "ButtonSelRecFile");
    ClearRecordedPopups();
    Click(vexa.recpanel, "ButtonStartTrigRec");
    EXPECT_TRUE(MessageHas(run, "The link to the sensor is not open"));
    EXPECT_FALSE(MessageHas(run, "File has been saved!"));
    EXPECT_EQ(Text(vexa.datapanel, "DispStatus"), "TIMEOUT");
    EXPECT_EQ(Attr(vexa.recpanel, "ButtonStartTrigRec", ATTR_DIMMED), 0);
}

} // namespace
