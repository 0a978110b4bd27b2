// KelvraV12 in the fault matrix: the start-up version query and the six
// transfer plans, each against every fault of the simulated sensor. Each test
// binary instantiates the scenarios of one link.
#pragma once

#include "kelvra/gui.h"
#include "kelvralink/sensorkinds.h"
#include "kelvralink/transfer.h"
#include "link/linkstate.h"
#include "tests/test_fault_matrix.h"
#include "tests/test_kelvra_program.h"

#include <cctype>
#include <cmath>
#include <map>

namespace kelvramatrix {

using matrix::Answer;
using matrix::FaultId;
using matrix::Outcome;
using matrix::Scenario;
using matrix::Target;

constexpr double kEchoTimeout = 2.0;

struct Exchange {
    const char *name;
    int plan;          // 0 = the start-up version query, else the data panel whose plan is sent
    bool announcement; // the fault hits the last block announcement instead of a middle write frame
};
constexpr Exchange kExchanges[] = {
    {"start-up version query", 0, false},
    {"transfer P1", 1, false},
    {"transfer P2", 2, false},
    {"transfer P3", 3, false},
    {"transfer P4", 4, false},
    {"transfer P5", 5, false},
    {"transfer P6", 6, false},
    {"transfer P3, block announcement", 3, true},
};

// A version answer that selects each data panel (index = panel number).
constexpr const char *kVersions[] = {"HUEMA-PX V1.1", "HUEMA3 V6.3", "PRISMO3 V3.0", "HUEMA-PX V1.1",
                                     "TRV-PX V4.4",   "VEXA V3.2",   "RQA/RQB V2.0 "};

// The words a plan puts into the sensor with its first `frames` write frames.
inline std::map<uint16_t, uint16_t> PlannedWords(const kelvralink::PanelDesc &p, int frames) {
    std::map<uint16_t, uint16_t> words;
    const int n = p.plan.wordsPerChannel;
    for (int f = 0; f < frames; ++f) {
        const kelvralink::FrameSlot slot = kelvralink::TransferFrame(p, f);
        for (int j = 0; j < kelvralink::kWordsPerFrame; ++j) {
            const int s = slot.source + j;
            words[static_cast<uint16_t>(slot.address + j)] = kelvralink::Factors(p.channels[s / n])[s % n];
        }
    }
    return words;
}

class KelvraMatrix : public KelvraProgram, public ::testing::WithParamInterface<Scenario> {
  protected:
    void TearDown() override {
        KelvraProgram::TearDown();
        const Scenario s = GetParam();
        matrix::Table::Add(std::string("KelvraV12 over ") + (s.tcp ? "TCP" : "a pseudo-terminal"),
                           kExchanges[s.exchange].name, s.fault, observed, !HasFailure());
    }

    Transport Link() const { return GetParam().tcp ? Transport::Tcp : Transport::Serial; }
    static std::string Text(int panel, const char *name) {
        std::string s;
        GetCtrlVal(panel, name, s);
        return s;
    }
    static int Attribute(int panel, const char *name, int attribute) {
        int v = -1;
        GetCtrlAttribute(panel, name, attribute, v);
        return v;
    }
    static bool ConnectPanelShown() {
        int v = 0;
        GetPanelAttribute(kelvralink::kpanels.interfacepanel, ATTR_VISIBLE, v);
        return v == 1;
    }
    bool ClosedPopupShown() const {
        for (const PopupRecord &p : RecordedPopups())
            if (p.title == "TCP Client" && p.text == "Server has closed connection!") return true;
        return false;
    }

    // What every failed exchange shows, or that none of it shows.
    void ExpectFailureShown(bool failed) const {
        EXPECT_EQ(Text(kelvralink::kpanels.mainpanel, "DispStatus") == "TIMEOUT", failed);
        EXPECT_EQ(Text(kelvralink::kpanels.interfacepanel, "DispConnectStatus") == "TIMEOUT", failed);
        EXPECT_EQ(ConnectPanelShown(), failed);
        if (failed) {
            EXPECT_FALSE(programlink::LinkSensor().echoOk());
        }
        const Scenario s = GetParam();
        EXPECT_EQ(ClosedPopupShown(), s.tcp && s.fault == FaultId::Closed)
            << "the server's close is announced";
    }

    // After a failure the user opens the connection panel and tries again.
    void Reconnect(int plan) {
        Click(kelvralink::kpanels.mainpanel, "ButtonConnect");
        Click(kelvralink::kpanels.interfacepanel, "ButtonTryToConnect");
        EXPECT_EQ(programlink::LinkSensor().version(), kVersions[plan]);
        EXPECT_EQ(VisibleDataPanel(), plan);
        EXPECT_EQ(Attribute(kelvralink::kpanels.interfacepanel, "ButtonAccept", ATTR_DIMMED), 0);
    }

    void RunStartup();
    void RunTransfer(const Exchange &e);

    Outcome observed = Outcome::Taken;
};

// The version query at start-up: a failure leaves no data panel and the
// connection panel up; whatever 36 bytes come are the version text.
inline void KelvraMatrix::RunStartup() {
    const Scenario s = GetParam();
    const Target t{sim::CmdVersion, 0, s.tcp ? 5.0 : 3.0, 4};
    sensor.setFault(matrix::MakeFault(s.fault, t));
    const double from = sensor.now();
    ASSERT_EQ(Start(kVersions[3], Link()), 0);
    const double to = sensor.now();
    EXPECT_LE(matrix::LongestWait(sensor, from, to), t.timeout + matrix::kMargin);
    observed =
        Text(kelvralink::kpanels.mainpanel, "DispStatus") == "TIMEOUT" ? Outcome::Timeout : Outcome::Taken;
    EXPECT_EQ(observed, matrix::Expected(Answer::Version, s.fault, s.tcp));
    ExpectFailureShown(observed == Outcome::Timeout);
    if (observed == Outcome::Timeout) {
        EXPECT_EQ(VisibleDataPanel(), 0);
        EXPECT_EQ(Attribute(kelvralink::kpanels.interfacepanel, "ButtonAccept", ATTR_DIMMED), 1);
    } else {
        const sim::Bytes answer = matrix::AnswerTo(sensor, from, 0);
        const std::string text(answer.begin(), std::find(answer.begin(), answer.end(), 0));
        EXPECT_EQ(programlink::LinkSensor().version(), text) << "the version is whatever came";
        EXPECT_EQ(VisibleDataPanel(),
                  kelvralink::DataPanelOfSensor(kelvralink::SensorCodeFromVersion(text.c_str(), 0)));
    }
    matrix::AwaitLateAnswer(sensor, s.fault, t, matrix::FrameTime(sensor, from, 0), s.tcp);
    sensor.clearFaults();
    Reconnect(3);
}

// A transfer: a failure stops at the frame hit, reports "FAILURE" and leaves
// the sensor with the frames sent up to it; the next transfer writes all.
inline void KelvraMatrix::RunTransfer(const Exchange &e) {
    const Scenario s = GetParam();
    ASSERT_EQ(Start(kVersions[e.plan], Link()), 0);
    ASSERT_EQ(VisibleDataPanel(), e.plan);
    const int panel = kelvralink::kpanels.datapanel[e.plan];
    const kelvralink::PanelDesc &p = kelvralink::DataPanelDesc(e.plan);
    for (int k = 0; k < p.channelCount; ++k) {
        SetCtrlVal(panel, kelvralink::CoefficientCtrl(p.channels[k], 4), 500.0 * (k + 1));
        SetCtrlVal(panel, kelvralink::CoefficientCtrl(p.channels[k], 3), k + 1.0);
    }
    const int blocks = p.plan.blockCount, frames = kelvralink::TransferFrames(p);
    // Frames counted from arming: the announcements, then the writes; the fault
    // hits the last announcement or the middle write frame.
    const int hit = e.announcement ? blocks : blocks + frames / 2 + 1;
    const int len = e.announcement ? 2 : kelvralink::kWordsPerFrame + 4;
    const Target t{e.announcement ? sim::CmdBlock : sim::CmdWriteWords, hit, kEchoTimeout,
                   static_cast<std::size_t>(2 * len - 1)};
    sensor.setFault(matrix::MakeFault(s.fault, t));
    const double from = sensor.now();
    Click(panel, "ButtonSendCF");
    const double to = sensor.now();

    EXPECT_LE(matrix::LongestWait(sensor, from, to), t.timeout + matrix::kMargin);
    const std::string status = Text(panel, kelvralink::kTransferStatus);
    observed = status == "FAILURE" ? Outcome::Timeout : Outcome::Taken;
    EXPECT_EQ(observed, matrix::Expected(Answer::Echo, s.fault, s.tcp));
    ExpectFailureShown(observed == Outcome::Timeout);
    EXPECT_EQ(Attribute(panel, "ButtonSendCF", ATTR_CTRL_COLOR), 0xE0E0E0);
    EXPECT_EQ(Attribute(panel, "ButtonSendCF", ATTR_DIMMED), 0);
    // The sensor holds the words of every frame it was sent, the one hit included, and no more.
    const int written = observed == Outcome::Timeout ? std::max(0, hit - blocks) : frames;
    const int sent = observed == Outcome::Timeout ? hit : blocks + frames;
    EXPECT_EQ(static_cast<int>(matrix::FramesSince(sensor, from).size()), sent);
    EXPECT_EQ(sensor.compMemory().words, PlannedWords(p, written));
    int progress = -1;
    GetCtrlVal(panel, kelvralink::kTransferProgress, progress);
    const int confirmed = observed == Outcome::Timeout ? std::max(0, written - 1) : 0;
    EXPECT_EQ(progress, std::lround(confirmed * p.plan.progressStep)) << "the confirmed frames";

    matrix::AwaitLateAnswer(sensor, s.fault, t, matrix::FrameTime(sensor, from, hit - 1), s.tcp);
    sensor.clearFaults();
    if (s.tcp && s.fault == FaultId::Closed) Reconnect(e.plan);
    sensor.clearCompMemory();
    Click(panel, "ButtonSendCF");
    EXPECT_EQ(Text(panel, kelvralink::kTransferStatus), "SUCCESS") << "usable again";
    EXPECT_EQ(sensor.compMemory().words, PlannedWords(p, frames));
    EXPECT_EQ(sensor.compMemory().blocks,
              std::vector<uint16_t>(p.plan.blocks, p.plan.blocks + p.plan.blockCount));
}

TEST_P(KelvraMatrix, FaultEndsAsItMustAndTheNextAttemptSucceeds) {
    const Exchange &e = kExchanges[GetParam().exchange];
    if (e.plan == 0)
        RunStartup();
    else
        RunTransfer(e);
}

// gtest's name for a scenario: exchange and fault.
inline std::string ScenarioName(const ::testing::TestParamInfo<Scenario> &info) {
    std::string name = std::string(kExchanges[info.param.exchange].name) + "_" + FaultName(info.param.fault);
    for (char &c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}

} // namespace kelvramatrix
