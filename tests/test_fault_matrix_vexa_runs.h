// VexaV32's matrix scenarios: each runs its exchange with the fault armed,
// checks the outcome, what the sensor and the program hold, and that the next
// attempt with the fault cleared succeeds.
#pragma once

#include "tests/test_fault_matrix_vexa.h"

namespace vexamatrix {

// Start-up: the version query and the parameter read that follows it.
inline void VexaMatrix::RunStartup() {
    const sim::ParameterSet a = DistinctSet();
    const bool version = Ex().kind == Kind::StartVersion;
    Sensor().setMemory({a, {}});
    Sensor().setFault(matrix::MakeFault(GetParam().fault, Aim()));
    // A failed command 3 is followed by the wait for row 0, which a closed connection never answers.
    const bool rowZeroUnheard = !version && ClosedOverTcp();
    Timed([&] { EXPECT_EQ(run->start(), 0); }, rowZeroUnheard ? 2 : 1);
    const int hit = FrameIndex(Sensor(), from, Aim().command);
    const sim::Bytes answer = matrix::AnswerTo(Sensor(), from, hit);
    bool paramsTaken = true;
    for (int k = 0; k < vexalink::kParaWords; ++k)
        paramsTaken &= vexaprogram::ParaWord(k) == matrix::WordOf(answer, k + 2);
    observed = TimeoutShown() ? Outcome::Timeout : version || paramsTaken ? Outcome::Taken : Outcome::Ignored;
    EXPECT_EQ(observed, Expected());
    ExpectFailureShown(observed == Outcome::Timeout);
    EXPECT_EQ(Attr(vexaprogram::vexa.interfacepanel, "ButtonAccept", ATTR_DIMMED),
              observed == Outcome::Timeout);
    if (observed == Outcome::Timeout) {
        // A failed command 3 still exchanges row 0, then the read stops.
        std::vector<int> sent = version ? std::vector<int>{50, 7} : std::vector<int>{50, 7, 3, 4};
        if (rowZeroUnheard) sent.pop_back();
        EXPECT_EQ(CommandsToSensor(Sensor()), sent);
        EXPECT_NE(ShownTeach(), a.teach) << "the panels are not refreshed";
    } else if (version) {
        EXPECT_EQ(programlink::LinkSensor().version(),
                  std::string(answer.begin(), std::find(answer.begin(), answer.end(), 0)));
        EXPECT_EQ(ProgramSet(), a);
    } else {
        EXPECT_EQ(ProgramSet().teach, a.teach);
        EXPECT_EQ(ShownTeach(), a.teach);
    }
    ClearFault(matrix::FrameTime(Sensor(), from, hit));
    if (!ClosedOverTcp()) Reconnect();
    EXPECT_EQ(ProgramSet(), a);
    EXPECT_EQ(ShownTeach(), a.teach);
}

// Send: the panels hold set b, the sensor set a. A failure stops at the frame
// hit; the sensor keeps every frame it was sent, the one hit included.
inline void VexaMatrix::RunSend() {
    const sim::ParameterSet a = DistinctSet(), b = SecondSet();
    const bool eeprom = Ex().memory == vexalink::EEPROM;
    Sensor().setMemory({b, {}});
    ASSERT_EQ(run->start(), 0);
    ASSERT_EQ(ProgramSet(), b);
    Sensor().setMemory({a, {}});
    if (eeprom) Click(vexaprogram::vexa.mainpanel, "SelectEEPROM");
    Sensor().setFault(matrix::MakeFault(GetParam().fault, Aim()));
    Timed([] { Click(vexaprogram::vexa.mainpanel, "ButtonSend"); });
    observed = TimeoutShown() ? Outcome::Timeout : Outcome::Taken;
    EXPECT_EQ(observed, Expected());
    ExpectFailureShown(observed == Outcome::Timeout);
    const int sent = observed == Outcome::Timeout ? Aim().frame : eeprom ? 33 : 32;
    EXPECT_EQ(static_cast<int>(matrix::FramesSince(Sensor(), from).size()), sent);
    sim::SensorMemory held{a, {}};
    held.ram.params = b.params;
    for (int r = 0; r < std::min(sent - 1, vexalink::kTeachRows); ++r)
        held.ram.teach[static_cast<std::size_t>(r)] = b.teach[static_cast<std::size_t>(r)];
    if (sent == 33) held.eeprom = held.ram;
    EXPECT_EQ(Sensor().memory(), held) << "nothing is rolled back, nothing more is written";

    ClearFault(matrix::FrameTime(Sensor(), from, sent - 1));
    Timed([] { Click(vexaprogram::vexa.mainpanel, "ButtonSend"); });
    EXPECT_FALSE(TimeoutShown()) << "usable again";
    EXPECT_EQ(Sensor().memory().ram, ProgramSet());
    if (eeprom) {
        EXPECT_EQ(Sensor().memory().eeprom, ProgramSet());
    }
    if (!ClosedOverTcp()) {
        EXPECT_EQ(ProgramSet(), b) << "the panels still hold what was to be sent";
    }
}

// Get: the program holds set a, the sensor answers with set b. A failure
// leaves the panels as they were; an ignored answer leaves its row as it was.
inline void VexaMatrix::RunGet() {
    const sim::ParameterSet a = DistinctSet(), b = SecondSet();
    const bool eeprom = Ex().memory == vexalink::EEPROM;
    Sensor().setMemory({a, b});
    ASSERT_EQ(run->start(), 0);
    ASSERT_EQ(ProgramSet(), a);
    if (eeprom)
        Click(vexaprogram::vexa.mainpanel, "SelectEEPROM"); // the load brings b into RAM
    else
        Sensor().setMemory({b, b});
    Sensor().setFault(matrix::MakeFault(GetParam().fault, Aim()));
    Timed([] { Click(vexaprogram::vexa.mainpanel, "ButtonGet"); });
    const int hit = Aim().frame - 1;
    const sim::Bytes answer = matrix::AnswerTo(Sensor(), from, hit);
    bool rowTaken = true;
    for (int j = 0; j < vexalink::kTeachValues; ++j)
        rowTaken &= vexaprogram::para.paraTeachVec[15][j] == matrix::WordOf(answer, 3 + j);
    observed = TimeoutShown() ? Outcome::Timeout : eeprom || rowTaken ? Outcome::Taken : Outcome::Ignored;
    EXPECT_EQ(observed, Expected());
    ExpectFailureShown(observed == Outcome::Timeout);
    EXPECT_EQ(static_cast<int>(matrix::FramesSince(Sensor(), from).size()), observed == Outcome::Timeout
                                                                                ? Aim().frame
                                                                            : eeprom ? 33
                                                                                     : 32);
    sim::ParameterSet expected = b;
    auto shown = ShownTeach();
    if (observed == Outcome::Timeout) {
        EXPECT_EQ(shown, a.teach) << "the panels are not refreshed";
        expected = a;
        if (!eeprom) { // the variables keep what the answers before the failure brought
            expected.params = b.params;
            std::copy_n(b.teach.begin(), 15, expected.teach.begin());
        }
    } else if (observed == Outcome::Ignored) {
        expected.teach[15] = a.teach[15];
    } else if (!eeprom) {
        for (int j = 0; j < vexalink::kTeachValues; ++j)
            expected.teach[15][static_cast<std::size_t>(j)] = matrix::WordOf(answer, 3 + j);
        shown[15] = expected.teach[15]; // the grid may clip a value the sensor should not send
    }
    EXPECT_EQ(ProgramSet(), expected);
    if (observed != Outcome::Timeout) {
        EXPECT_EQ(shown, expected.teach);
    }

    ClearFault(matrix::FrameTime(Sensor(), from, hit));
    Timed([] { Click(vexaprogram::vexa.mainpanel, "ButtonGet"); });
    EXPECT_FALSE(TimeoutShown()) << "usable again";
    EXPECT_EQ(ProgramSet(), b);
    EXPECT_EQ(ShownTeach(), b.teach);
}

// Live data: a failed cycle ends polling; a frame taken as it came shows its words.
inline void VexaMatrix::RunLive() {
    Sensor().setMemory({DistinctSet(), {}});
    ASSERT_EQ(run->start(), 0);
    Sensor().setScript(NumberedFrames());
    Sensor().setFault(matrix::MakeFault(GetParam().fault, Aim()));
    Timed([&] { PollFrames(Sensor(), 5); });
    observed = TimeoutShown() ? Outcome::Timeout : Outcome::Taken;
    EXPECT_EQ(observed, Expected());
    ExpectFailureShown(observed == Outcome::Timeout);
    const int requests = static_cast<int>(matrix::FramesSince(Sensor(), from).size());
    if (observed == Outcome::Timeout) {
        EXPECT_EQ(requests, Aim().frame) << "no cycle after the failed one";
    } else {
        EXPECT_GE(requests, 4);
    }
    // One sample per answered request, CH_L as it came.
    const int answered = observed == Outcome::Timeout ? Aim().frame - 1 : requests;
    for (int i = 0; i < answered; ++i)
        EXPECT_EQ(
            vexaprogram::live.rawBuf[vexaprogram::kRawTraces * (vexaprogram::kHistorySamples - answered + i)],
            matrix::WordOf(matrix::AnswerTo(Sensor(), from, i), 2))
            << "request " << i;

    ClearFault(matrix::FrameTime(Sensor(), from, Aim().frame - 1));
    const double again = Sensor().now();
    PollFrames(Sensor(), 3);
    EXPECT_FALSE(TimeoutShown()) << "usable again";
    const int last = static_cast<int>(matrix::FramesSince(Sensor(), again).size()) - 1;
    EXPECT_EQ(vexaprogram::live.dataChL, matrix::WordOf(matrix::AnswerTo(Sensor(), again, last), 2));
}

// Interval recording, three rows back to back: a failed cycle writes the last
// good values once more and ends the recording.
inline void VexaMatrix::RunInterval() {
    ASSERT_EQ(run->start(), 0);
    Sensor().setScript(NumberedFrames());
    OpenRecorder(0);
    TypeNumber(vexaprogram::vexa.recpanel, "EditInterval", 0);
    TypeNumber(vexaprogram::vexa.recpanel, "EditRecVal", 3);
    Sensor().setFault(matrix::MakeFault(GetParam().fault, Aim()));
    Timed([] { Click(vexaprogram::vexa.recpanel, "ButtonStartRecord"); });
    observed = TimeoutShown() ? Outcome::Timeout : Outcome::Taken;
    EXPECT_EQ(observed, Expected());
    ExpectFailureShown(observed == Outcome::Timeout);
    const int requests = static_cast<int>(matrix::FramesSince(Sensor(), from).size());
    EXPECT_EQ(requests, observed == Outcome::Timeout ? Aim().frame : 3);
    const auto rows = DataRows(run->path("rec.dat"));
    ASSERT_EQ(static_cast<int>(rows.size()), requests);
    for (int i = 0; i < requests; ++i) {
        const bool repeated = observed == Outcome::Timeout && i == requests - 1;
        EXPECT_EQ(RowValues(rows[static_cast<std::size_t>(i)]),
                  FrameValues(matrix::AnswerTo(Sensor(), from, repeated ? i - 1 : i)))
            << "row " << i;
    }
    EXPECT_EQ(run->messages().back(), "INFO!|File has been saved!");

    ClearFault(matrix::FrameTime(Sensor(), from, Aim().frame - 1));
    Click(vexaprogram::vexa.mainpanel, "ButtonRecorder");
    const double again = Sensor().now();
    Click(vexaprogram::vexa.recpanel, "ButtonStartRecord");
    EXPECT_FALSE(TimeoutShown()) << "usable again";
    const auto more = DataRows(run->path("rec.dat"));
    ASSERT_EQ(more.size(), rows.size() + 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(RowValues(more[rows.size() + static_cast<std::size_t>(i)]),
                  FrameValues(matrix::AnswerTo(Sensor(), again, i)));
}

// Triggered recording: no time-out; a faulty auto-sent frame is recorded as it
// came or dropped, and the recording goes on until STOP TRIG.
inline void VexaMatrix::RunTriggered() {
    const FaultId fault = GetParam().fault;
    ASSERT_EQ(run->start(), 0);
    Sensor().setScript(NumberedFrames());
    OpenRecorder(3);
    const bool comesOut = fault != FaultId::NoAnswer && fault != FaultId::Closed;
    auto goodFrameTaken = [] { return vexaprogram::live.dataChL > 1000 && vexaprogram::live.dataChL < 1060; };
    enum { Arm, AwaitFaulty, Good } phase = Arm;
    const double started = Sensor().now();
    double firedAt = 0, goodAt = 0, lastFire = 0, stopAt = 0;
    int goodFired = 0;
    ClickWhile(vexaprogram::vexa.recpanel, "ButtonStartTrigRec", [&] {
        const double now = Sensor().now();
        bool stop = now - started > 30;
        if (phase == Arm && Sensor().autoSend()) {
            Sensor().setFault(matrix::MakeFault(fault, Aim()));
            firedAt = now;
            Sensor().fireTrigger();
            phase = AwaitFaulty;
        } else if (phase == AwaitFaulty) {
            // The faulty frame goes out first, however late; then good frames, one a second at most.
            if (!comesOut || SentSince(Sensor(), firedAt).size() >= 35 || now - firedAt > 6) phase = Good;
        } else if (phase == Good && ClosedOverTcp()) {
            stop |= ClosedAnnounced() || now - firedAt > 5;
        } else if (phase == Good) {
            stop |= goodFrameTaken() || (goodFired >= 5 && now - lastFire > 1);
            if (!stop && (goodFired == 0 || now - lastFire > 1)) {
                if (goodFired++ == 0) goodAt = now;
                lastFire = now;
                Sensor().fireTrigger();
            }
        }
        if (stop) {
            stopAt = Sensor().now();
            Click(vexaprogram::vexa.recpanel, "ButtonStopTrigRec");
        }
        return stop;
    });
    EXPECT_GT(stopAt, 0) << "the recording went on until STOP TRIG";
    EXPECT_LE(Sensor().now() - stopAt, matrix::kMargin) << "STOP TRIG ends the wait at once";

    const sim::Bytes faulty = SentBetween(Sensor(), firedAt, goodFired ? goodAt : Sensor().now());
    const auto rows = DataRows(run->path("rec.dat"));
    observed = ClosedOverTcp() && rows.empty()                              ? Outcome::Waits
               : !rows.empty() && RowValues(rows[0]) == FrameValues(faulty) ? Outcome::Taken
                                                                            : Outcome::Ignored;
    EXPECT_EQ(observed, Expected());
    ExpectFailureShown(false);
    // Every row holds the words of a frame the sensor sent, in the order sent.
    const auto sent = Sensor().capture();
    std::size_t next = 0;
    for (const std::string &row : rows) {
        const auto match =
            std::find_if(sent.begin() + static_cast<long>(next), sent.end(), [&](const auto &e) {
                return e.direction == sim::Direction::FromSensor && e.seconds >= firedAt &&
                       FrameValues(e.bytes) == RowValues(row);
            });
        EXPECT_NE(match, sent.end()) << row;
        if (match != sent.end()) next = static_cast<std::size_t>(match - sent.begin()) + 1;
    }
    if (!ClosedOverTcp()) {
        EXPECT_TRUE(goodFrameTaken()) << "the recording goes on after the fault";
        EXPECT_TRUE(WaitFor([&] { return !Sensor().autoSend(); })) << "auto-send switched off";
    }
    // A recording that took no frame says so rather than that a file was saved.
    if (rows.empty())
        EXPECT_NE(run->messages().back().find("No frame came from the sensor"), std::string::npos);
    else
        EXPECT_EQ(run->messages().back(), "INFO!|File has been saved!");

    Sensor().clearFaults();
    if (ClosedOverTcp()) {
        Reconnect();
        Click(vexaprogram::vexa.mainpanel, "ButtonRecorder");
    }
    const double again = Sensor().now();
    int fired = 0;
    ClickWhile(vexaprogram::vexa.recpanel, "ButtonStartTrigRec", [&] {
        // The counter display keeps the last run's count until a frame comes: count the rows.
        const int recorded = static_cast<int>(DataRows(run->path("rec.dat")).size() - rows.size());
        const bool stop = recorded >= 2 || Sensor().now() - again > 10;
        if (stop) {
            Click(vexaprogram::vexa.recpanel, "ButtonStopTrigRec");
        } else if (Sensor().autoSend() && fired == recorded) { // one frame at a time
            Sensor().fireTrigger();
            ++fired;
        }
        return stop;
    });
    EXPECT_EQ(DataRows(run->path("rec.dat")).size(), rows.size() + 2) << "usable again";
}

TEST_P(VexaMatrix, FaultEndsAsItMustAndTheNextAttemptSucceeds) {
    switch (Ex().kind) {
    case Kind::StartVersion:
    case Kind::StartRead:
        RunStartup();
        break;
    case Kind::Send:
        RunSend();
        break;
    case Kind::Get:
        RunGet();
        break;
    case Kind::Live:
        RunLive();
        break;
    case Kind::Interval:
        RunInterval();
        break;
    case Kind::Triggered:
        RunTriggered();
        break;
    }
}

// gtest's name for a scenario: exchange and fault.
inline std::string ScenarioName(const ::testing::TestParamInfo<Scenario> &info) {
    std::string name = std::string(kExchanges[info.param.exchange].name) + "_" + FaultName(info.param.fault);
    for (char &c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}

} // namespace vexamatrix
