// VexaV32 in the fault matrix: start-up, Send and Get with RAM and EEPROM, a
// live-data cycle, interval and triggered recording, each against every fault
// of the simulated sensor. Each test binary instantiates some exchanges over one link.
#pragma once

#include "tests/test_fault_matrix.h"
#include "tests/test_vexa_harness.h"

#include <cctype>
#include <memory>

namespace vexamatrix {

using matrix::Answer;
using matrix::FaultId;
using matrix::Outcome;
using matrix::Scenario;
using matrix::Target;
using namespace vexatest;

enum class Kind { StartVersion, StartRead, Send, Get, Live, Interval, Triggered };

struct Exchange {
    const char *name;
    Kind kind;
    Answer answer;
    uint16_t memory; // RAM or EEPROM for Send and Get
    Target target;   // a time-out of 0 stands for the version query's, which depends on the link
};

constexpr double kWait = 3.0;
constexpr int kAuto = sim::Fault::kAutoSendFrames;
constexpr Exchange kExchanges[] = {
    {"start-up version query", Kind::StartVersion, Answer::Version, vexalink::RAM, {7, 0, 0, 4}},
    {"start-up parameter read", Kind::StartRead, Answer::Read, vexalink::RAM, {3, 0, kWait, 4}},
    {"Send RAM, parameter frame", Kind::Send, Answer::Echo, vexalink::RAM, {1, 1, kWait, 35}},
    {"Send RAM, teach row 15", Kind::Send, Answer::Echo, vexalink::RAM, {2, 17, kWait, 11}},
    {"Send EEPROM, store", Kind::Send, Answer::Echo, vexalink::EEPROM, {6, 33, kWait, 3}},
    {"Get RAM, teach row 15", Kind::Get, Answer::Read, vexalink::RAM, {4, 17, kWait, 6}},
    {"Get EEPROM, load", Kind::Get, Answer::Echo, vexalink::EEPROM, {8, 1, kWait, 3}},
    {"live-data cycle", Kind::Live, Answer::Data, vexalink::RAM, {5, 3, kWait, 4}},
    {"interval recording", Kind::Interval, Answer::Data, vexalink::RAM, {5, 2, kWait, 4}},
    {"triggered recording", Kind::Triggered, Answer::Triggered, vexalink::RAM, {kAuto, 0, kWait, 4}},
};

// A set that differs from DistinctSet in every word and suits every control as well.
inline sim::ParameterSet SecondSet() {
    sim::ParameterSet s = DistinctSet();
    s.params = {300, 2, 7, 1, 90, 400, 20, 1, 2, 0, 50, 60, 1, 2, 3, 4};
    for (auto &row : s.teach)
        for (auto &v : row)
            v = static_cast<uint16_t>(v + 7);
    return s;
}

// Data frames that tell each other apart by CH_L (1000, 1001, ...).
inline std::vector<sim::Measurement> NumberedFrames() {
    std::vector<sim::Measurement> script;
    for (uint16_t k = 0; k < 60; ++k)
        script.push_back({.chL = static_cast<uint16_t>(1000 + k),
                          .chC = static_cast<uint16_t>(2000 + k),
                          .chR = static_cast<uint16_t>(3000 + k),
                          .density = static_cast<uint16_t>(100 + k),
                          .sym1 = static_cast<uint16_t>(200 + k),
                          .sym2 = static_cast<uint16_t>(300 + k),
                          .temp = static_cast<uint16_t>(400 + k)});
    return script;
}

// The parameter set as the program holds it in its variables.
inline sim::ParameterSet ProgramSet() {
    sim::ParameterSet s;
    for (int k = 0; k < vexalink::kParaWords; ++k)
        s.params[static_cast<std::size_t>(k)] = vexaprogram::ParaWord(k);
    for (int r = 0; r < vexalink::kTeachRows; ++r)
        for (int j = 0; j < vexalink::kTeachValues; ++j)
            s.teach[static_cast<std::size_t>(r)][static_cast<std::size_t>(j)] =
                vexaprogram::para.paraTeachVec[r][j];
    return s;
}

// The teach table as the grid shows it.
inline std::array<sim::TeachRow, sim::kTeachRows> ShownTeach() {
    std::array<sim::TeachRow, sim::kTeachRows> rows{};
    for (int r = 0; r < vexalink::kTeachRows; ++r)
        for (int j = 0; j < vexalink::kTeachValues; ++j)
            rows[static_cast<std::size_t>(r)][static_cast<std::size_t>(j)] =
                static_cast<uint16_t>(Cell(j + 1, r + 1));
    return rows;
}

// The eight values of a record row or of a data frame (words 2..9), as text.
inline std::string RowValues(const std::string &row) {
    return row.size() > 20 ? row.substr(20) : row;
}
inline std::string FrameValues(const sim::Bytes &frame) {
    std::string values;
    for (int j = 2; j <= 9; ++j)
        values += (j > 2 ? "\t" : "") + std::to_string(matrix::WordOf(frame, j));
    return values;
}

// The data rows of a record file (without the header), each checked for its form.
inline std::vector<std::string> DataRows(const std::string &path) {
    std::vector<std::string> rows;
    const std::string text = ReadFileBytes(path);
    for (std::size_t at = 0, end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2)
        if (at > 0) rows.push_back(text.substr(at, end - at));
    EXPECT_TRUE(text.size() >= 2 && text.substr(text.size() - 2) == "\r\n") << "no row is cut short";
    for (const std::string &r : rows)
        EXPECT_EQ(std::count(r.begin(), r.end(), '\t'), 9) << r;
    return rows;
}

// Everything the sensor sent in [from, to), in one string of bytes.
inline sim::Bytes SentBetween(const sim::SimSensor &sensor, double from, double to) {
    sim::Bytes bytes;
    for (const sim::CaptureEntry &e : sensor.capture())
        if (e.direction == sim::Direction::FromSensor && e.seconds >= from && e.seconds < to)
            bytes.insert(bytes.end(), e.bytes.begin(), e.bytes.end());
    return bytes;
}
inline sim::Bytes SentSince(const sim::SimSensor &sensor, double from) {
    return SentBetween(sensor, from, 1e300);
}

// Index (0-based) of the occurrence-th frame with a command code among those received since from; -1 if none.
inline int FrameIndex(const sim::SimSensor &sensor, double from, int command, int occurrence = 0) {
    const auto frames = matrix::FramesSince(sensor, from);
    for (std::size_t i = 0; i < frames.size(); ++i)
        if (CommandOf(frames[i].bytes) == command && occurrence-- == 0) return static_cast<int>(i);
    return -1;
}

class VexaMatrix : public ::testing::TestWithParam<Scenario> {
  protected:
    void SetUp() override {
        run = std::make_unique<VexaRun>(GetParam().tcp ? Transport::Tcp : Transport::Pty);
        run->answers.confirm = 1;
    }
    void TearDown() override {
        run.reset();
        const Scenario s = GetParam();
        matrix::Table::Add(std::string("VexaV32 over ") + (s.tcp ? "TCP" : "a pseudo-terminal"),
                           kExchanges[s.exchange].name, s.fault, observed, !HasFailure());
    }

    const Exchange &Ex() const { return kExchanges[GetParam().exchange]; }
    sim::SimSensor &Sensor() { return run->sensor; }
    Target Aim() const {
        Target t = Ex().target;
        if (t.timeout == 0) t.timeout = GetParam().tcp ? 5.0 : 3.0;
        return t;
    }
    bool ClosedOverTcp() const { return GetParam().tcp && GetParam().fault == FaultId::Closed; }
    Outcome Expected() const { return matrix::Expected(Ex().answer, GetParam().fault, GetParam().tcp); }

    static std::string Text(int panel, const char *name) {
        std::string s;
        GetCtrlVal(panel, name, s);
        return s;
    }
    static bool TimeoutShown() { return Text(vexaprogram::vexa.datapanel, "DispStatus") == "TIMEOUT"; }

    // What every failed exchange shows, or that none of it shows; the controls are free again.
    void ExpectFailureShown(bool failed) const {
        EXPECT_EQ(TimeoutShown(), failed);
        EXPECT_EQ(Text(vexaprogram::vexa.interfacepanel, "DispConnectStatus") == "TIMEOUT", failed);
        int shown = 0;
        GetPanelAttribute(vexaprogram::vexa.interfacepanel, ATTR_VISIBLE, shown);
        EXPECT_EQ(shown == 1, failed) << "the connection panel";
        if (failed) {
            EXPECT_FALSE(programlink::LinkSensor().echoOk());
        }
        EXPECT_EQ(vexaprogram::vexa.poll, 0);
        for (const char *b : {"ButtonSend", "ButtonGet", "ButtonGo"})
            EXPECT_EQ(Attr(vexaprogram::vexa.mainpanel, b, ATTR_DIMMED), 0) << b;
        EXPECT_EQ(ClosedAnnounced(), ClosedOverTcp()) << "the server's close is announced";
    }
    static bool ClosedAnnounced() {
        for (const PopupRecord &p : RecordedPopups())
            if (p.title == "TCP Client" && p.text == "Server has closed connection!") return true;
        return false;
    }

    // Brings up the recorder in a mode, with a new record file.
    void OpenRecorder(int mode) {
        Click(vexaprogram::vexa.mainpanel, "ButtonRecorder");
        ChooseItem(vexaprogram::vexa.recpanel, "EditSelectDataRec", mode);
        run->answers.fileResult = VAL_NEW_FILE_SELECTED;
        run->answers.filePath = run->path("rec.dat");
        Click(vexaprogram::vexa.recpanel, "ButtonSelRecFile");
    }

    // The user opens the connection panel and tries again: version and parameter set come anew.
    void Reconnect() {
        Click(vexaprogram::vexa.mainpanel, "ButtonConnect");
        Click(vexaprogram::vexa.interfacepanel, "ButtonTryToConnect");
        EXPECT_EQ(programlink::LinkSensor().version(), sim::SensorModel::kDefaultVersion);
        EXPECT_EQ(Attr(vexaprogram::vexa.interfacepanel, "ButtonAccept", ATTR_DIMMED), 0);
        EXPECT_EQ(ProgramSet(), Sensor().memory().ram);
    }

    // Lets a late answer go by, clears the fault and, where the server closed the link, reconnects.
    void ClearFault(double faultFrameTime) {
        matrix::AwaitLateAnswer(Sensor(), GetParam().fault, Aim(), faultFrameTime, GetParam().tcp);
        Sensor().clearFaults();
        if (ClosedOverTcp()) Reconnect();
        SetCtrlVal(vexaprogram::vexa.datapanel, "DispStatus", ""); // so that a new failure shows
    }

    // Runs an operation and checks that no wait in it outlasts the time-out of the
    // frame hit. The sensor sees the waits only between the frames it receives: waits
    // in a row with nothing received between them (frames written to a closed
    // connection) add up.
    void Timed(const std::function<void()> &operation, int waitsInARow = 1) {
        from = Sensor().now();
        operation();
        EXPECT_LE(matrix::LongestWait(Sensor(), from, Sensor().now()),
                  waitsInARow * Aim().timeout + matrix::kMargin);
    }

    void RunStartup();
    void RunSend();
    void RunGet();
    void RunLive();
    void RunInterval();
    void RunTriggered();

    std::unique_ptr<VexaRun> run;
    Outcome observed = Outcome::Taken;
    double from = 0;
};

} // namespace vexamatrix
