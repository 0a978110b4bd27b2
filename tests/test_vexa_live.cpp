// Live data: the array and range arithmetic, and the polling loop against the
// simulated sensor with the data panel's displays, histories and charts.
#include "platform/chartwidgets.h"
#include "tests/test_vexa_harness.h"
#include "vexalink/livecalc.h"

#include <QImage>

using vexalink::Band;
using vexalink::Copy1D;
using vexalink::DensityYRange;
using vexalink::kArraySizeError;
using vexalink::kShiftRangeError;
using vexalink::Shift;
using vexalink::ToleranceBand;
using vexalink::YRange;

using namespace vexatest;
using namespace programlink;
using namespace vexaprogram;

namespace {

StripChart *Chart(const char *name) {
    return Widget<StripChart>(vexa.datapanel, name);
}

// Values that differ from each other and from every default.
sim::Measurement Distinct() {
    return {.chL = 5000,
            .chC = 1002,
            .chR = 1003,
            .density = 2004,
            .sym1 = 305,
            .sym2 = 406,
            .temp = 507,
            .trigger = 1};
}

} // namespace

TEST(VexaLiveCalc, ShiftAndCopyMoveInPlaceAndRefuseBadSizes) {
    const struct {
        int n, shifts, result;
        std::vector<double> out;
    } cases[] = {
        {4, -1, 0, {2, 3, 4, 0}},
        {4, 2, 0, {0, 0, 1, 2}},
        {4, 0, 0, {1, 2, 3, 4}},
        {4, 4, kShiftRangeError, {1, 2, 3, 4}},
        {4, -5, kShiftRangeError, {1, 2, 3, 4}},
        {0, 0, kArraySizeError, {1, 2, 3, 4}},
    };
    for (const auto &c : cases) {
        double a[4] = {1, 2, 3, 4};
        EXPECT_EQ(Shift(a, c.n, c.shifts, a), c.result) << c.shifts;
        EXPECT_EQ(std::vector<double>(a, a + 4), c.out) << c.shifts;
    }
    double x[3] = {7, 8, 9}, y[3] = {};
    EXPECT_EQ(Copy1D(x, 0, y), kArraySizeError);
    EXPECT_EQ(y[0], 0);
    EXPECT_EQ(Copy1D(x, 3, y), 0);
    EXPECT_EQ(std::vector<double>(y, y + 3), (std::vector<double>{7, 8, 9}));
}

TEST(VexaLiveCalc, BandsAreClippedToTheirRange) {
    const struct {
        int set, tolerance, top;
        Band band;
    } cases[] = {
        {990, 50, 1000, {940, 1000}},    {20, 50, 1000, {0, 70}},   {1, 1, 1000, {0, 2}},
        {4000, 200, 4096, {3800, 4096}}, {50, 100, 4096, {0, 150}}, {65535, 65535, 4096, {0, 4096}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(ToleranceBand(c.set, c.tolerance, c.top), c.band) << c.set << " +- " << c.tolerance;
}

TEST(VexaLiveCalc, AutoZoomWidensBy25OnlyInsideTheRange) {
    const struct {
        double lo, hi;
        int scale;
        YRange range;
    } cases[] = {
        {0, 0, 1, {0, 25}},       {100, 2000, 1, {75, 2025}}, {25, 4071, 1, {25, 4071}},
        {26, 4070, 1, {1, 4095}}, {100, 2000, 0, {0, 4096}},  {5000, 6000, 1, {4071, 6000}},
    };
    for (const auto &c : cases) {
        std::vector<double> values(300, c.lo);
        values[150] = c.hi;
        EXPECT_EQ(DensityYRange(values.data(), 300, c.scale), c.range) << c.lo << ".." << c.hi;
    }
}

class VexaPollingOver : public ::testing::TestWithParam<Transport> {};

TEST_P(VexaPollingOver, GoFillsEveryDisplayFromTheFramesWords) {
    VexaRun run(GetParam());
    run.sensor.setMemory({DistinctSet(), {}}); // row 0: density 1 +- 2; row 11 matches first
    ASSERT_EQ(run.start(), 0);
    run.sensor.setMeasurement(Distinct());
    PollFrames(run.sensor, 2);
    const struct {
        const char *control;
        int value;
    } shown[] = {{"DispChL", 5000},       {"DispChC", 1002},       {"DispChR", 1003},
                 {"BarChL", 4095},        {"BarChC", 1002},        {"BarChR", 1003},
                 {"DispDensity", 2004},   {"DispSym1", 305},       {"DispSym2", 406},
                 {"DispVec", 11},         {"DispTemp", 507},       {"DispAktMaxChL", 5000},
                 {"DispAktMaxChC", 1002}, {"DispAktMaxChR", 1003}, {"DispTrigger", 1}};
    for (const auto &s : shown)
        EXPECT_EQ(Val(vexa.datapanel, s.control), s.value) << s.control;
    EXPECT_EQ(Val(vexa.colbigpanel, "DispBigVec"), 11);
    EXPECT_EQ(std::vector<double>(std::end(live.rawBuf) - 6, std::end(live.rawBuf)),
              (std::vector<double>{5000, 1002, 1003, 5000, 1002, 1003}));
    EXPECT_EQ(std::vector<double>(std::end(live.densityBuf) - 3, std::end(live.densityBuf)),
              (std::vector<double>{2004, 3, 0}));
    // The chart shows the samples taken of the history, and no point of the drawing before
    // at its left edge.
    QVector<double> history;
    for (std::size_t i = std::size(live.densityBuf) - 3 * live.samplesTaken; i < std::size(live.densityBuf);
         i += 3)
        history.append(live.densityBuf[i]);
    EXPECT_GT(live.samplesTaken, 0);
    EXPECT_EQ(Chart("GraphDensity")->tracePoints(0), history);
    EXPECT_EQ(history.back(), 2004);
    EXPECT_EQ(Widget<Graph>(vexa.datapanel, "GraphSym2")->cursorPosition(1), QPointF(406, 50));
}

INSTANTIATE_TEST_SUITE_P(Transports, VexaPollingOver, ::testing::Values(Transport::Tcp, Transport::Pty));

TEST(VexaPolling, StopEndsAfterTheCurrentCycleAndNoFurtherFrameIsSent) {
    VexaRun run;
    ASSERT_EQ(run.start(), 0);
    run.sensor.setScript({{.density = 11}, {.density = 12}, {.density = 13}, {.density = 14}});
    long atStop = -1;
    ClickWhile(vexa.mainpanel, "ButtonGo", [&] {
        // Between cycles, so that every request written so far has reached the sensor; start-up took 34.
        if (run.sensor.framesReceived() < 36 || LinkSensor().bytesToRead() != 0) return false;
        atStop = run.sensor.framesReceived();
        Click(vexa.mainpanel, "ButtonStop");
        return true;
    });
    EXPECT_EQ(run.sensor.framesReceived(), atStop);
    EXPECT_FALSE(WaitFor([&] { return run.sensor.framesReceived() > atStop; }, 0.3));
    EXPECT_EQ(live.dataDensity, 10 + atStop - 34) << "the cycle running at Stop is shown";
}

TEST(VexaPolling, HistoriesContinueAcrossStopAndRestart) {
    VexaRun run;
    ASSERT_EQ(run.start(), 0);
    std::vector<sim::Measurement> script;
    for (uint16_t d = 1; d <= 20; ++d)
        script.push_back({.density = d});
    run.sensor.setScript(script);
    PollFrames(run.sensor, 3);
    PollFrames(run.sensor, 3);
    const int total = static_cast<int>(run.sensor.framesReceived() - 34);
    ASSERT_GE(total, 6);
    for (int k = 0; k < total; ++k)
        EXPECT_EQ(live.densityBuf[300 - 3 * (total - k)], k + 1) << "sample " << k;
    EXPECT_EQ(live.densityBuf[300 - 3 * (total + 1)], 0) << "zeros from before the first cycle";
    // The chart draws the samples taken, not the zeros before them: no line up from 0.
    const QVector<double> shown = Chart("GraphDensity")->tracePoints(0);
    ASSERT_EQ(shown.size(), total);
    for (int k = 0; k < total; ++k)
        EXPECT_EQ(shown[k], k + 1) << "point " << k;
    ChooseItem(vexa.datapanel, "SelectSource", 1);
    PollFrames(run.sensor, 1);
    EXPECT_EQ(Chart("GraphRaw1")->tracePoints(0).size(), total + 1);
}

TEST(VexaPolling, ClicksOnTheDensityChartChooseFixedOrAutomaticZoom) {
    VexaRun run;
    ASSERT_EQ(run.start(), 0); // teach rows of zeros: limits 0 and 0
    run.sensor.setMeasurement({});
    StripChart *chart = Chart("GraphDensity");
    QTest::mouseDClick(chart, Qt::LeftButton, Qt::NoModifier, chart->rect().center());
    EXPECT_EQ(live.scale, 1);
    EXPECT_EQ(chart->yMax(), 4096) << "the axis changes only at the next cycle";
    PollFrames(run.sensor, 1);
    EXPECT_EQ(chart->yMin(), 0);
    EXPECT_EQ(chart->yMax(), 25);
    QTest::mouseClick(chart, Qt::LeftButton, Qt::NoModifier, chart->rect().center());
    EXPECT_EQ(live.scale, 0);
    PollFrames(run.sensor, 1);
    EXPECT_EQ(chart->yMax(), 4096);
}

TEST(VexaPolling, DensityLimitsOfTheSelectedRowAreClippedTo0And4096) {
    VexaRun run;
    ASSERT_EQ(run.start(), 0);
    const struct {
        int no, set, tolerance, upper, lower;
    } cases[] = {{0, 4000, 200, 4096, 3800}, {7, 50, 100, 150, 0}};
    for (const auto &c : cases) {
        SetTableCellVal(vexa.ttpanel, "GridCtt", MakePoint(1, c.no + 1), c.set);
        SetTableCellVal(vexa.ttpanel, "GridCtt", MakePoint(2, c.no + 1), c.tolerance);
        SetCtrlVal(vexa.ttpanel, "EditNo", c.no);
        PollFrames(run.sensor, 1);
        EXPECT_EQ(live.densityBuf[298], c.upper) << c.set;
        EXPECT_EQ(live.densityBuf[299], c.lower) << c.set;
    }
}

TEST(VexaPolling, SwitchingSourceWhilePollingShowsTheRawViewAndStillAdvancesBothHistories) {
    VexaRun run;
    ASSERT_EQ(run.start(), 0);
    QVector<double> densityShown;
    long switchedAt = 0;
    ClickWhile(vexa.mainpanel, "ButtonGo", [&] {
        const long frames = run.sensor.framesReceived();
        if (switchedAt == 0 && frames >= 36 && LinkSensor().bytesToRead() == 0) {
            ChooseItem(vexa.datapanel, "SelectSource", 1);
            densityShown = Chart("GraphDensity")->tracePoints(0);
            switchedAt = frames;
        }
        if (switchedAt == 0 || frames < switchedAt + 3) return false;
        Click(vexa.mainpanel, "ButtonStop");
        return true;
    });
    EXPECT_TRUE(Chart("GraphRaw1")->isVisible());
    for (const char *hidden : {"GraphDensity", "GraphSym1", "GraphSym2"})
        EXPECT_EQ(Attr(vexa.datapanel, hidden, ATTR_VISIBLE), 0) << hidden;
    EXPECT_EQ(Chart("GraphDensity")->tracePoints(0), densityShown) << "the hidden view is not redrawn";
    EXPECT_EQ(Chart("GraphRaw1")->tracePoints(0).back(), live.rawBuf[594]);
    EXPECT_EQ(live.densityBuf[297], live.dataDensity) << "the hidden view's history still advances";
}

TEST(VexaPolling, AQueueOfMoreThanABufferOverASerialLineEndsInTimeout) {
    VexaRun run(Transport::Pty);
    ASSERT_EQ(run.start(), 0);
    run.sensor.setMeasurement(Distinct());
    sim::Fault flood{.kind = sim::FaultKind::UnsolicitedBytes, .command = 5, .frame = 2};
    flood.unsolicited.assign(1500, 0x00);
    run.sensor.setFault(flood);
    Click(vexa.mainpanel, "ButtonGo"); // returns once polling has ended
    std::string status;
    GetCtrlVal(vexa.datapanel, "DispStatus", status);
    EXPECT_EQ(status, "TIMEOUT");
    EXPECT_EQ(Val(vexa.datapanel, "DispDensity"), 2004) << "the last good frame stays shown";
}

TEST(VexaPolling, StatusShowsTheVersionAgainOnceDataFlowsAfterATimeout) {
    VexaRun run(Transport::Pty);
    ASSERT_EQ(run.start(), 0);
    run.sensor.setFault({.kind = sim::FaultKind::LongAnswer, .command = 5, .frame = 2});
    Click(vexa.mainpanel, "ButtonGo"); // returns once polling has ended
    std::string status;
    GetCtrlVal(vexa.datapanel, "DispStatus", status);
    ASSERT_EQ(status, "TIMEOUT");
    const long before = run.sensor.framesReceived();
    ClickWhile(vexa.mainpanel, "ButtonGo", [&] {
        if (run.sensor.framesReceived() < before + 2 || LinkSensor().bytesToRead() != 0) return false;
        Click(vexa.mainpanel, "ButtonStop");
        return true;
    });
    GetCtrlVal(vexa.datapanel, "DispStatus", status);
    EXPECT_EQ(status, "VEXA V3.2");
}

TEST(VexaDataPanel, DoubleClickOnTheVectorNumberOpensTheBigDisplay) {
    VexaRun run;
    ASSERT_EQ(run.start(), 0);
    QWidget *vec = Widget(vexa.datapanel, "DispVec");
    QTest::mouseDClick(vec, Qt::LeftButton, Qt::NoModifier, vec->rect().center());
    int visible = 0;
    GetPanelAttribute(vexa.colbigpanel, ATTR_VISIBLE, visible);
    EXPECT_EQ(visible, 1);
}

TEST(VexaDataPanel, RightClickShowsEachHelpTextWithItsTitle) {
    VexaRun run;
    ASSERT_EQ(run.start(), 0);
    const auto d = &VexaState::datapanel;
    const char *ch = " Displays the current intensity of CH_L, CH_C, CH_R. ";
    const char *max = " Displays the present maximum of \n CH_L, CH_C, CH_R within the last 60 seconds.";
    const char *bar = " Displays the RAW values of CH_L, CH_C  and CH_R.";
    const HelpCase cases[] = {
        {d, "DispDensity", "INFO!",
         " Displays the calculated density. \n Formula for calculation: See Manual."},
        {d, "DispSym1", "INFO!",
         " Displays the calculated symmetry 1. \n Formula for calculation: See Manual."},
        {d, "DispSym2", "Info",
         " Displays the calculated symmetry 2. \n Formula for calculation: See Manual."},
        {d, "DispChL", "INFO!", ch},
        {d, "DispChC", "INFO!", ch},
        {d, "DispChR", "INFO!", ch},
        {d, "DispAktMaxChL", "INFO!", max},
        {d, "DispAktMaxChC", "INFO!", max},
        {d, "DispAktMaxChR", "INFO!", max},
        {d, "BarChL", "INFO!", bar},
        {d, "BarChC", "INFO!", bar},
        {d, "BarChR", "INFO!", bar},
        {d, "DispVec", "INFO!",
         " Displays the currently detected vector number in\n accordance with the row in the COLOR TEACH "
         "TABLE. "
         "\n Double click opens a big display. \n Close the big display with a right mouse click. \n\n"
         " Failure condition is 255."},
        {d, "DispStatus", "INFO!", " Displays serial interface status messages."},
        {d, "GraphRaw1", "INFO!", " Displays a signal selected with SOURCE."},
        {d, "GraphDensity", "INFO!",
         " Displays the present density. \n Left mouse double click on the Y-AXIS starts an auto zoom. \n"
         " Left mouse click scales the Y-AXIS fix."},
        {d, "GraphSym1", "Info",
         "Shows the tolerance range \nselected with No.: of SYMMETRY 1 \nand the actual value of SYMMETRY "
         "1."},
        {d, "GraphSym2", "Info",
         "Shows the tolerance range \nselected with No.: of SYMMETRY 2 \nand the actual value of SYMMETRY "
         "2."},
        {d, "SelectSource", "INFO!", " Select a signal to be displayed in the graph."},
    };
    ShowChildPanel(2);
    for (const char *graph : {"GraphSym1", "GraphSym2", "GraphRaw1"})
        SetCtrlAttribute(vexa.datapanel, graph, ATTR_VISIBLE, 1); // a right click needs the control shown
    ExpectHelpTexts(cases);
}
