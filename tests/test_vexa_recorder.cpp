// The data recorder and the graph panel against the simulated sensor: record
// files, the four modes, file selection, failures, and the graphs they feed.
#include "platform/chartwidgets.h"
#include "tests/test_vexa_harness.h"
#include "vexa/dimming.h"
#include "vexa/graphpanel.h"
#include "vexalink/recordfile.h"

#include <QImage>
#include <charconv>
#include <regex>

using vexalink::RecordHeader;
using vexalink::RecordRow;

using namespace runtime;

using namespace vexatest;
using namespace vexaprogram;

namespace {

const std::string kSaved = "INFO!|File has been saved!";
const std::string kLock36 = "ATTENTION!| Make sure, that the file is not opened by any other program." +
                            std::string(36, ' ') + "\n Otherwise it can not be saved.";
const std::string kLock42 = "ATTENTION!| Make sure, that the file is not opened by any other program." +
                            std::string(42, ' ') + "\n Otherwise it can not be saved.";
const sim::Measurement kValues{
    .chL = 11, .chC = 22, .chR = 33, .density = 4444, .sym1 = 555, .sym2 = 666, .temp = 65535};
const std::string kRowValues = "\t11\t22\t33\t4444\t555\t666\t255\t65535";

// The lines of a record file without their CR LF ends.
std::vector<std::string> Lines(const std::string &path) {
    std::vector<std::string> lines;
    const std::string text = ReadFileBytes(path);
    for (std::size_t at = 0, end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2)
        lines.push_back(text.substr(at, end - at));
    return lines;
}

// The values part of a data row, after checking its date and time.
std::string ValuesOf(const std::string &row) {
    EXPECT_TRUE(std::regex_search(row, std::regex(R"(^\d\d-\d\d-\d{4}\t\d\d:\d\d:\d\d\t)"))) << row;
    return row.size() > 20 ? row.substr(19) : row;
}

bool Shown(const VexaRun &run, const std::string &message) {
    const auto m = run.messages();
    return std::find(m.begin(), m.end(), message) != m.end();
}

// Opens the recorder in a mode with a new record file selected.
void OpenRecorder(VexaRun &run, int mode, const std::string &file = "rec.dat") {
    Click(vexa.mainpanel, "ButtonRecorder");
    ChooseItem(vexa.recpanel, "EditSelectDataRec", mode);
    run.answers.fileResult = VAL_NEW_FILE_SELECTED;
    run.answers.filePath = run.path(file);
    Click(vexa.recpanel, "ButtonSelRecFile");
}

int Plots(const char *graph) {
    return Widget<Graph>(vexa.graphpanel, graph)->plotCount();
}

} // namespace

TEST(VexaRecordFile, HeaderAndRowsAreTabSeparatedWithCrLf) {
    EXPECT_EQ(RecordHeader(), "DATE\tTIME\tCH_L\tCH_C\tCH_R\tDENS\tSYM1\tSYM2\tVECTOR\tTEMP\t\r\n");
    EXPECT_EQ(RecordRow("01-02-2024", "13:04:05", {0, 1, 65535, 4096, 1000, 7, 255, 300}),
              "01-02-2024\t13:04:05\t0\t1\t65535\t4096\t1000\t7\t255\t300\r\n");
}

TEST(VexaRecorder, Mode0WritesExactlyCountRowsAndCountsTheRemainingDown) {
    VexaRun run;
    ASSERT_EQ(run.start(), 0);
    run.sensor.setMeasurement(kValues);
    OpenRecorder(run, 0);
    TypeNumber(vexa.recpanel, "EditInterval", 1);
    TypeNumber(vexa.recpanel, "EditRecVal", 3);
    std::vector<int> remaining;
    ClickWhile(vexa.recpanel, "ButtonStartRecord", [&] {
        const int r = Val(vexa.recpanel, "DispRemaining");
        if (remaining.empty() || remaining.back() != r) remaining.push_back(r);
        return false;
    });
    // The last count may be shown only as the recording ends, after the last look inside it.
    const int last = Val(vexa.recpanel, "DispRemaining");
    if (remaining.empty() || remaining.back() != last) remaining.push_back(last);
    if (!remaining.empty() && remaining.front() == 3) remaining.erase(remaining.begin()); // seen before row 1
    EXPECT_EQ(remaining, (std::vector<int>{2, 1, 0}));
    const auto lines = Lines(run.path("rec.dat"));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0] + "\r\n", RecordHeader());
    for (int k = 1; k <= 3; ++k)
        EXPECT_EQ(ValuesOf(lines[k]), kRowValues);
    EXPECT_EQ(Val(vexa.recpanel, "DispRecordedValues"), 3);
    EXPECT_EQ(CountOf(CommandsToSensor(run.sensor), 5), 3);
    EXPECT_TRUE(Shown(run, kLock36));
    EXPECT_EQ(run.messages().back(), kSaved);
    EXPECT_EQ(gp.graphcnt, 3) << "every row is a sample of the graph panel";
    EXPECT_EQ(Attr(vexa.recpanel, "ButtonStartRecord", ATTR_CTRL_COLOR), 0xE0E0E0);
    EXPECT_EQ(Attr(vexa.recpanel, "EditInterval", ATTR_CTRL_MODE), VAL_HOT);
}

TEST(VexaRecorder, RecordTimeIsIntervalTimesCountInDaysHoursMinutesSeconds) {
    VexaRun run;
    ASSERT_EQ(run.start(), 0);
    Click(vexa.mainpanel, "ButtonRecorder");
    const struct {
        int interval, count, days, hours, minutes, seconds;
    } cases[] = {{10, 9000, 1, 1, 0, 0}, {1, 100, 0, 0, 1, 40}, {3600, 65535, 2730, 15, 0, 0}};
    for (const auto &c : cases) {
        TypeNumber(vexa.recpanel, "EditInterval", c.interval);
        TypeNumber(vexa.recpanel, "EditRecVal", c.count);
        EXPECT_EQ(Val(vexa.recpanel, "DispRecordTimeDays"), c.days) << c.interval << " x " << c.count;
        EXPECT_EQ(Val(vexa.recpanel, "DispRecordTimeHours"), c.hours);
        EXPECT_EQ(Val(vexa.recpanel, "DispRecordTimeMinutes"), c.minutes);
        EXPECT_EQ(Val(vexa.recpanel, "DispRecordTimeSeconds"), c.seconds);
        EXPECT_EQ(Val(vexa.recpanel, "DispRemaining"), c.count);
    }
}

TEST(VexaRecorder, Mode1RecordsUntilStop) {
    VexaRun run;
    ASSERT_EQ(run.start(), 0);
    run.sensor.setMeasurement(kValues);
    OpenRecorder(run, 1);
    TypeNumber(vexa.recpanel, "EditInterval", 0);
    ClickWhile(vexa.recpanel, "ButtonStartRecord", [&] {
        if (Val(vexa.recpanel, "DispCounter") < 5) return false;
        Click(vexa.recpanel, "ButtonStopRecord");
        return true;
    });
    const int counted = Val(vexa.recpanel, "DispCounter");
    EXPECT_GE(counted, 5);
    EXPECT_EQ(Lines(run.path("rec.dat")).size(), static_cast<std::size_t>(counted + 1));
    EXPECT_EQ(run.messages().back(), kSaved);
}

TEST(VexaRecorder, ATimeoutInMode0WritesTheLastRowAgainAndEndsWithTimeout) {
    VexaRun run;
    ASSERT_EQ(run.start(), 0);
    run.sensor.setMeasurement(kValues);
    OpenRecorder(run, 0);
    TypeNumber(vexa.recpanel, "EditInterval", 0);
    TypeNumber(vexa.recpanel, "EditRecVal", 5);
    run.sensor.setFault({.kind = sim::FaultKind::NoAnswer, .command = 5, .frame = 2});
    Click(vexa.recpanel, "ButtonStartRecord");
    const auto lines = Lines(run.path("rec.dat"));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(ValuesOf(lines[2]), ValuesOf(lines[1]));
    std::string status;
    GetCtrlVal(vexa.datapanel, "DispStatus", status);
    EXPECT_EQ(status, "TIMEOUT");
    EXPECT_EQ(run.messages().back(), kSaved);
}

TEST(VexaRecorder, Mode2RowsRepeatTheLastLiveValuesAndAdvanceTheGraphs) {
    VexaRun run;
    ASSERT_EQ(run.start(), 0);
    run.sensor.setMeasurement(kValues);
    PollFrames(run.sensor, 1);
    run.sensor.setMeasurement({.chL = 9});
    OpenRecorder(run, 2);
    const long frames = run.sensor.framesReceived();
    Click(vexa.recpanel, "ButtonManualRecord");
    Click(vexa.recpanel, "ButtonManualRecord");
    const auto lines = Lines(run.path("rec.dat"));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(ValuesOf(lines[1]), kRowValues);
    EXPECT_EQ(ValuesOf(lines[2]), kRowValues);
    EXPECT_EQ(run.sensor.framesReceived(), frames) << "no frame is requested";
    EXPECT_EQ(Val(vexa.recpanel, "DispRecordedValues"), 2);
    EXPECT_EQ(gp.graphcnt, 2);
    EXPECT_EQ(Plots("GpGraphTemp"), 2);
}

class VexaTriggeredOver : public ::testing::TestWithParam<Transport> {};

TEST_P(VexaTriggeredOver, Mode3WritesOnlyValidAutoSentFramesUntilStopTrig) {
    VexaRun run(GetParam());
    ASSERT_EQ(run.start(), 0);
    run.sensor.setMeasurement(kValues);
    OpenRecorder(run, 3);
    int step = 0;
    bool nothingBeforeTrigger = false;
    ClickWhile(vexa.recpanel, "ButtonStartTrigRec", [&] {
        const int counted = Val(vexa.recpanel, "DispCounter");
        if (step == 0 && run.sensor.autoSend()) {
            nothingBeforeTrigger = Lines(run.path("rec.dat")).size() == 1;
            run.sensor.setFault(
                {.kind = sim::FaultKind::WrongMarker, .command = sim::Fault::kAutoSendFrames});
            run.sensor.fireTrigger();
            step = 1;
        } else if ((step == 1 && live.databuf[0] == 0x00AB) || (step == 2 && counted == 1)) {
            run.sensor.fireTrigger(); // one frame at a time, each once the last one was taken
            ++step;
        } else if (step == 3 && counted == 2) {
            Click(vexa.recpanel, "ButtonStopTrigRec");
            return true;
        }
        return false;
    });
    EXPECT_TRUE(nothingBeforeTrigger);
    const auto lines = Lines(run.path("rec.dat"));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(ValuesOf(lines[2]), kRowValues);
    EXPECT_TRUE(WaitFor([&] { return !run.sensor.autoSend(); }));
    const std::vector<sim::Bytes> frames = FramesToSensor(run.sensor);
    EXPECT_EQ(CommandOf(frames.back()), 50);
    EXPECT_EQ(frames.back()[5], 0) << "auto-send off";
    EXPECT_TRUE(Shown(run, kLock42));
    EXPECT_EQ(run.messages().back(), kSaved);
    EXPECT_EQ(Attr(vexa.mainpanel, "ButtonGo", ATTR_DIMMED), 0);
}

TEST_P(VexaTriggeredOver, FramesThatArriveTogetherAreEachRecorded) {
    VexaRun run(GetParam());
    ASSERT_EQ(run.start(), 0);
    run.sensor.setMeasurement(kValues);
    OpenRecorder(run, 3);
    bool fired = false;
    double firedAt = 0;
    ClickWhile(vexa.recpanel, "ButtonStartTrigRec", [&] {
        if (!fired && run.sensor.autoSend()) {
            for (int k = 0; k < 3; ++k)
                run.sensor.fireTrigger(); // three frames back to back
            fired = true;
            firedAt = Timer();
        } else if (fired && (Val(vexa.recpanel, "DispCounter") == 3 || Timer() - firedAt > 5)) {
            Click(vexa.recpanel, "ButtonStopTrigRec");
            return true;
        }
        return false;
    });
    const auto lines = Lines(run.path("rec.dat"));
    ASSERT_EQ(lines.size(), 4u) << "a header and all three frames";
    for (std::size_t k = 1; k < lines.size(); ++k)
        EXPECT_EQ(ValuesOf(lines[k]), kRowValues);
}

INSTANTIATE_TEST_SUITE_P(Transports, VexaTriggeredOver, ::testing::Values(Transport::Tcp, Transport::Pty));

TEST(VexaRecorder, ATriggeredQueueOfMoreThanABufferIsDroppedOverASerialLine) {
    VexaRun run(Transport::Pty);
    ASSERT_EQ(run.start(), 0);
    run.sensor.setMeasurement(kValues);
    OpenRecorder(run, 3);
    double lastFire = 0;
    ClickWhile(vexa.recpanel, "ButtonStartTrigRec", [&] {
        if (!run.sensor.autoSend()) return false;
        if (lastFire == 0) {
            sim::Fault flood{.kind = sim::FaultKind::UnsolicitedBytes,
                             .command = sim::Fault::kAutoSendFrames};
            flood.unsolicited.assign(1500, 0x00);
            run.sensor.setFault(flood);
        }
        if (Val(vexa.recpanel, "DispCounter") >= 1 || Timer() - lastFire > 10) {
            Click(vexa.recpanel, "ButtonStopTrigRec");
            return true;
        }
        if (Timer() - lastFire > 0.05) {
            run.sensor.fireTrigger();
            lastFire = lastFire == 0 ? Timer() + 0.2 : Timer(); // the flood takes a while to arrive
        }
        return false;
    });
    const auto lines = Lines(run.path("rec.dat"));
    ASSERT_GE(lines.size(), 2u);
    for (std::size_t k = 1; k < lines.size(); ++k)
        EXPECT_EQ(ValuesOf(lines[k]), kRowValues) << "only whole frames are recorded";
}

TEST(VexaRecorder, SelectingAFileWritesAFreshHeaderOnlyWhenConfirmed) {
    VexaRun run;
    ASSERT_EQ(run.start(), 0);
    Click(vexa.mainpanel, "ButtonRecorder");
    const std::string old = run.path("old.dat");
    const struct {
        int result, confirm;
        bool taken;
        const char *message;
    } cases[] = {
        {VAL_EXISTING_FILE_SELECTED, 0, false, nullptr},
        {VAL_EXISTING_FILE_SELECTED, 1, true, nullptr},
        {VAL_NO_FILE_SELECTED, 1, false,
         "ATTENTION!|No filename was choosen! \nRecording will not be done! "},
    };
    for (const auto &c : cases) {
        WriteFileBytes(old, "earlier rows\r\n");
        ResetTextBox(vexa.recpanel, "DispRecFile", "before");
        run.answers.confirm = c.confirm;
        run.answers.fileResult = c.result;
        run.answers.filePath = old;
        ClearRecordedPopups();
        Click(vexa.recpanel, "ButtonSelRecFile");
        std::string box;
        GetCtrlVal(vexa.recpanel, "DispRecFile", box);
        EXPECT_EQ(box, c.taken ? old : "before") << c.result << c.confirm;
        EXPECT_EQ(ReadFileBytes(old), c.taken ? RecordHeader() : "earlier rows\r\n");
        const std::string expected = c.message ? c.message : c.taken ? kLock36 : "";
        if (!expected.empty()) {
            EXPECT_EQ(run.messages().back(), expected);
        }
    }
}

TEST(VexaRecorder, StartAnsweredNoRecordsNothingButHasClearedTheGraphs) {
    VexaRun run;
    ASSERT_EQ(run.start(), 0);
    OpenRecorder(run, 0);
    TypeNumber(vexa.recpanel, "EditInterval", 0);
    TypeNumber(vexa.recpanel, "EditRecVal", 1);
    Click(vexa.recpanel, "ButtonStartRecord");
    ASSERT_EQ(gp.graphcnt, 1);
    const long frames = run.sensor.framesReceived();
    run.answers.confirm = 0;
    Click(vexa.recpanel, "ButtonStartRecord");
    EXPECT_EQ(Lines(run.path("rec.dat")).size(), 2u);
    EXPECT_EQ(run.sensor.framesReceived(), frames);
    EXPECT_EQ(gp.graphcnt, 0);
    EXPECT_EQ(Plots("GpGraphChL"), 0);
}

// Each way of recording, started as a user does: mode and the button that records.
struct RecordStart {
    int mode;
    const char *button;
};
constexpr RecordStart kRecordStarts[] = {
    {0, "ButtonStartRecord"}, {1, "ButtonStartRecord"}, {2, "ButtonManualRecord"}, {3, "ButtonStartTrigRec"}};

TEST(VexaRecorder, NoRecordingStartsWithoutAFileThatTakesRows) {
    VexaRun run;
    ASSERT_EQ(run.start(), 0);
    OpenRecorder(run, 0, "missing-folder/rec.dat");
    const std::string missing = run.path("missing-folder/rec.dat");
    ASSERT_FALSE(run.messages().empty());
    EXPECT_NE(run.messages().back().find(missing), std::string::npos) << "said when the file is chosen";
    TypeNumber(vexa.recpanel, "EditInterval", 0);
    TypeNumber(vexa.recpanel, "EditRecVal", 2);
    for (const bool chosen : {false, true}) {
        for (const RecordStart &start : kRecordStarts) {
            ChooseItem(vexa.recpanel, "EditSelectDataRec", start.mode);
            ResetTextBox(vexa.recpanel, "DispRecFile", chosen ? missing : "");
            ClearRecordedPopups();
            const long frames = run.sensor.framesReceived();
            Click(vexa.recpanel, start.button);
            ASSERT_EQ(run.sensor.framesReceived(), frames)
                << "mode " << start.mode << ": nothing is requested";
            ASSERT_EQ(run.messages().size(), 1u) << "mode " << start.mode;
            const std::string message = run.messages().front();
            if (chosen) {
                EXPECT_NE(message.find(missing), std::string::npos) << message;
                EXPECT_NE(message.find("Nothing was recorded"), std::string::npos) << message;
                // The system's reason in the message's language, also in a German desktop.
                EXPECT_NE(message.find("No such file or directory"), std::string::npos) << message;
            } else {
                EXPECT_EQ(message, "ATTENTION!|No record file chosen: choose one with SELECT FILE first");
            }
            EXPECT_TRUE(run.questions().empty());
            EXPECT_EQ(Val(vexa.recpanel, "DispRecordedValues"), 0);
        }
    }
    EXPECT_FALSE(QFile::exists(QString::fromStdString(missing)));
}

TEST(VexaRecorder, AFileRemovedSinceItWasChosenStartsAgainWithItsHeader) {
    VexaRun run;
    ASSERT_EQ(run.start(), 0);
    run.sensor.setMeasurement(kValues);
    PollFrames(run.sensor, 1);
    OpenRecorder(run, 2);
    ASSERT_TRUE(QFile::remove(QString::fromStdString(run.path("rec.dat"))));
    Click(vexa.recpanel, "ButtonManualRecord");
    const auto lines = Lines(run.path("rec.dat"));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0] + "\r\n", RecordHeader());
    EXPECT_EQ(ValuesOf(lines[1]), kRowValues);
}

TEST(VexaRecorder, IntervalRowsFollowEachOtherAtTheChosenInterval) {
    VexaRun run;
    ASSERT_EQ(run.start(), 0);
    Click(vexa.mainpanel, "ButtonRecorder");
    ChooseItem(vexa.recpanel, "EditRecFormat", 1); // CSV rows carry their seconds to the microsecond
    OpenRecorder(run, 0, "paced.csv");
    TypeNumber(vexa.recpanel, "EditInterval", 1);
    TypeNumber(vexa.recpanel, "EditRecVal", 3);
    Click(vexa.recpanel, "ButtonStartRecord");
    const auto lines = Lines(run.path("paced.csv"));
    ASSERT_EQ(lines.size(), 4u);
    std::vector<double> elapsed;
    for (std::size_t k = 1; k < lines.size(); ++k) {
        const char *column = lines[k].c_str() + lines[k].find(',') + 1; // elapsed_s, "." in every locale
        double seconds = -1;
        std::from_chars(column, lines[k].c_str() + lines[k].size(), seconds);
        elapsed.push_back(seconds);
    }
    // Start to start, whatever a cycle takes; a loaded machine may wake a little late.
    for (std::size_t k = 1; k < elapsed.size(); ++k)
        EXPECT_NEAR(elapsed[k] - elapsed[k - 1], 1.0, 0.25) << "row " << k + 1;
}

TEST(VexaRecorder, EachModeShowsItsOwnControls) {
    VexaRun run;
    ASSERT_EQ(run.start(), 0);
    Click(vexa.mainpanel, "ButtonRecorder");
    const char *controls[] = {"EditInterval",       "EditRecVal",       "DispRecordTimeDays",
                              "DispRecordedValues", "DispRemaining",    "DispCounter",
                              "ButtonStartRecord",  "ButtonStopRecord", "ButtonManualRecord",
                              "ButtonStartTrigRec", "ButtonStopTrigRec"};
    const char *shown[] = {"11111011000", "10000111000", "00010000100", "00000100011"};
    for (int mode : {1, 2, 3, 0}) {
        ChooseItem(vexa.recpanel, "EditSelectDataRec", mode);
        for (int k = 0; k < 11; ++k)
            EXPECT_EQ(Attr(vexa.recpanel, controls[k], ATTR_VISIBLE), shown[mode][k] - '0')
                << controls[k] << " in mode " << mode;
    }
}

TEST(VexaRecorder, ItsCloseButtonClosesItAndSwitchesAutoSendOff) {
    VexaRun run;
    ASSERT_EQ(run.start(), 0);
    Click(vexa.mainpanel, "ButtonRecorder");
    const long frames = run.sensor.framesReceived();
    Click(vexa.recpanel, "ButtonCloseRecorder");
    EXPECT_TRUE(WaitFor([&] { return run.sensor.framesReceived() == frames + 1; }));
    const sim::Bytes sent = FramesToSensor(run.sensor).back();
    EXPECT_EQ(CommandOf(sent), 50);
    EXPECT_EQ(sent[5], 0) << "auto-send off";
    int shown = 1;
    GetPanelAttribute(vexa.recpanel, ATTR_VISIBLE, shown);
    EXPECT_EQ(shown, 0);
    GetPanelAttribute(vexa.parapanel, ATTR_VISIBLE, shown);
    EXPECT_EQ(shown, 1);
    // While a recording runs it stays: its frame would break into the recording's exchanges.
    Click(vexa.mainpanel, "ButtonRecorder");
    SetButtonsDimmed(1);
    EXPECT_EQ(Attr(vexa.recpanel, "ButtonCloseRecorder", ATTR_DIMMED), 1);
    SetButtonsDimmed(0);
}

TEST(VexaGraphPanel, FirstSampleAfterAClearIsAPointAtX0AndTheSecondJoinsIt) {
    VexaRun run;
    ASSERT_EQ(run.start(), 0);
    run.sensor.setMeasurement(kValues);
    PollFrames(run.sensor, 1);
    OpenRecorder(run, 2); // the mode change clears the graphs
    Click(vexa.recpanel, "ButtonManualRecord");
    EXPECT_EQ(std::vector<int>(gp.GpBufCnt, gp.GpBufCnt + 2), (std::vector<int>{0, 0}));
    EXPECT_EQ(std::vector<int>(gp.GpBufDensity, gp.GpBufDensity + 2), (std::vector<int>{4444, 4444}));
    live.dataDensity = 100;
    Click(vexa.recpanel, "ButtonManualRecord");
    EXPECT_EQ(std::vector<int>(gp.GpBufCnt, gp.GpBufCnt + 2), (std::vector<int>{0, 1}));
    EXPECT_EQ(std::vector<int>(gp.GpBufDensity, gp.GpBufDensity + 2), (std::vector<int>{4444, 100}));
    EXPECT_EQ(Val(vexa.graphpanel, "GpDispDensity"), 100);
    for (const char *graph : {"GpGraphChL", "GpGraphDensity", "GpGraphTemp"})
        EXPECT_EQ(Plots(graph), 2) << graph;
}

TEST(VexaGraphPanel, AfterTheXCounterWrapsTheGraphsStartAfreshAtX0) {
    VexaRun run;
    ASSERT_EQ(run.start(), 0);
    auto *graph = Widget<Graph>(vexa.graphpanel, "GpGraphChL");
    gp.graphcnt = 65535;
    SetPanelGraphData();
    EXPECT_GE(graph->xMax(), 65535);
    SetPanelGraphData();
    EXPECT_EQ(graph->plotCount(), 1);
    EXPECT_EQ(graph->xMax(), 100) << "the page starts again from the resource's range";
    EXPECT_EQ(std::vector<int>(gp.GpBufCnt, gp.GpBufCnt + 2), (std::vector<int>{0, 0}));
    EXPECT_EQ(gp.graphcnt, 1);
}

TEST(VexaGraphPanel, ItsPictureButtonSavesTheShownGraphAsPngOrSvg) {
    VexaRun run;
    ASSERT_EQ(run.start(), 0);
    run.sensor.setMeasurement(kValues);
    PollFrames(run.sensor, 1);
    OpenRecorder(run, 2);
    Click(vexa.recpanel, "ButtonManualRecord");
    Click(vexa.recpanel, "ButtonManualRecord");
    Click(vexa.datapanel, "ButtonShowGraph");
    QWidget *graph = Widget(vexa.graphpanel, "GpGraphChL");
    ASSERT_NE(graph, nullptr);
    for (const char *name : {"graph.png", "graph.svg"}) {
        run.answers.filePath = run.path(name);
        QTest::mouseClick(graph, Qt::LeftButton, Qt::NoModifier, ChartPictureButton(*graph).center());
        const std::string bytes = ReadFileBytes(run.path(name));
        EXPECT_NE(bytes.find(std::string(name).ends_with(".png") ? "PNG" : "<svg"), std::string::npos)
            << name;
    }
    const QImage png(QString::fromStdString(run.path("graph.png")));
    EXPECT_EQ(png.size(), graph->size());
}

TEST(VexaGraphPanel, SwitchingTheSignalShowsItsWholeHistory) {
    VexaRun run;
    ASSERT_EQ(run.start(), 0);
    OpenRecorder(run, 2);
    for (int k = 0; k < 3; ++k)
        Click(vexa.recpanel, "ButtonManualRecord");
    Click(vexa.datapanel, "ButtonShowGraph");
    int visible = 0;
    GetPanelAttribute(vexa.datapanel, ATTR_VISIBLE, visible);
    EXPECT_EQ(visible, 0);
    ChooseItem(vexa.graphpanel, "EditSignal", 4);
    const char *graphs[] = {"GpGraphChL",  "GpGraphChC",  "GpGraphChR", "GpGraphDensity",
                            "GpGraphSym1", "GpGraphSym2", "GpGraphTemp"};
    for (int k = 0; k < 7; ++k)
        EXPECT_EQ(Attr(vexa.graphpanel, graphs[k], ATTR_VISIBLE), k == 4) << graphs[k];
    EXPECT_EQ(Plots("GpGraphSym1"), 3);
    Click(vexa.graphpanel, "ButtonGpClose");
    GetPanelAttribute(vexa.graphpanel, ATTR_VISIBLE, visible);
    EXPECT_EQ(visible, 0);
    GetPanelAttribute(vexa.datapanel, ATTR_VISIBLE, visible);
    EXPECT_EQ(visible, 1);
}

TEST(VexaRecorder, RightClickShowsEachHelpText) {
    VexaRun run;
    ASSERT_EQ(run.start(), 0);
    Click(vexa.mainpanel, "ButtonRecorder");
    const auto r = &VexaState::recpanel, g = &VexaState::graphpanel;
    const HelpCase cases[] = {
        {r, "ButtonSelRecFile", "INFO!", " Select a record file for data save. "},
        {r, "DispRecFile", "INFO!", " Shows the path of the record file. "},
        {r, "EditSelectDataRec", "INFO!", " Select how to record data frame. "},
        {r, "EditInterval", "INFO!",
         " Choose a even interval for recording. \n Minimum interval is 1 second. "},
        {r, "EditRecVal", "INFO!", " Choose how many Data should be recorded. "},
        {r, "DispRecordTimeHours", "INFO!",
         " Displays the time for recording \n when all VALUES will be recorded."},
        {r, "DispRecordedValues", "INFO!", " Displays how many values are already recorded."},
        {r, "DispRemaining", "INFO!", " Displays how many values remain to be recorded."},
        {r, "ButtonStartRecord", "INFO!", " Start data record."},
        {r, "ButtonStopRecord", "INFO!", " Stop data record."},
        {r, "ButtonCloseRecorder", "INFO!", " Close the recorder and switch the sensor's auto-send off. "},
        {&VexaState::datapanel, "ButtonShowGraph", "INFO!",
         " Switch to a graphical display for each signal."},
        {g, "ButtonGpClose", "INFO!", " Close PANEL and return to MAIN PANEL. "},
        {g, "EditSignal", "INFO!", " Select Signal to be displayed in the graph. "},
        {g, "GpGraphChL", "INFO!", " Displays the signals selected with SIGNAL. "},
    };
    ExpectHelpTexts(cases);
    ChooseItem(vexa.recpanel, "EditSelectDataRec", 2);
    const HelpCase manual[] = {
        {r, "ButtonManualRecord", "INFO!", " Record one frame manually \n and append to existing file. "}};
    ExpectHelpTexts(manual);
    ChooseItem(vexa.recpanel, "EditSelectDataRec", 3);
    const HelpCase triggered[] = {{r, "ButtonStartTrigRec", "INFO!", " Start data record."},
                                  {r, "ButtonStopTrigRec", "INFO!", " Stop data record."}};
    ExpectHelpTexts(triggered);
}
