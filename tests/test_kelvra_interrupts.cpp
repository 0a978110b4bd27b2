// KelvraV12 when a transfer is interrupted or should not run: a click on the
// connection panel in the middle of a transfer, a transfer cut short by the
// sensor, a table of another family than the sensor reports, set points that wrap.
#include "kelvra/gui.h"
#include "link/connectpanel.h"
#include "link/linkstate.h"
#include "tests/test_kelvra_program.h"

#include <QTimer>

using kelvralink::CoefficientCtrl;
using kelvralink::DataPanelDesc;
using kelvralink::kCalCheck;
using kelvralink::kCoefState;
using kelvralink::kDataPanels;
using kelvralink::kEditTemp;
using kelvralink::kpanels;
using kelvralink::kTransferStatus;
using kelvralink::PanelDesc;

using namespace programlink;
using namespace kelvraprogram;

namespace {

class KelvraInterrupt : public KelvraProgram {
  protected:
    // Questions get the answer the test sets; the status text is noted while each is open.
    int AnswerPopup(const PopupRecord &popup, std::string &path) override {
        if (popup.kind == PopupRecord::Generic) {
            statusDuringQuestion = Text(kpanels.datapanel[shownPanel], kTransferStatus);
            return questionAnswer;
        }
        return KelvraProgram::AnswerPopup(popup, path);
    }
    // Starts against a sensor reporting version and shows data panel n with curves
    // whose factors differ from degree to degree.
    int Prepare(const std::string &version, int n, Transport transport = Transport::Tcp) {
        const int codes[kDataPanels] = {100, 300, 400, 500, 600, 700};
        EXPECT_EQ(Start(version, transport), 0);
        return Show(n, codes[n - 1]);
    }
    int Show(int n, int code) {
        SetCtrlVal(kpanels.mainpanel, kEditSelectSensor, code);
        ShowChildPanel();
        shownPanel = n;
        const int panel = kpanels.datapanel[n];
        const PanelDesc &p = DataPanelDesc(n);
        for (int k = 0; k < p.channelCount; ++k) {
            SetCtrlVal(panel, CoefficientCtrl(p.channels[k], 4), 500.0 * (k + 1));
            SetCtrlVal(panel, CoefficientCtrl(p.channels[k], 3), k + 1.0);
        }
        return panel;
    }
    static std::string Text(int panel, const char *name) {
        std::string s;
        GetCtrlVal(panel, name, s);
        return s;
    }
    const PopupRecord *Popup(const std::string &title, const std::string &part) const {
        for (const PopupRecord &p : RecordedPopups())
            if (p.title == title && p.text.find(part) != std::string::npos) return &p;
        return nullptr;
    }
    // Runs action once the sensor has received `frames` more command frames, from inside
    // the wait of the operation that is running then.
    void WhenFramesReceived(long frames, std::function<void()> action) {
        const long before = sensor.framesReceived();
        watch.setInterval(1);
        QObject::disconnect(&watch, nullptr, nullptr, nullptr);
        QObject::connect(&watch, &QTimer::timeout, [this, before, frames, action] {
            if (sensor.framesReceived() < before + frames) return;
            watch.stop();
            action();
        });
        watch.start();
    }

    int questionAnswer = 1;
    int shownPanel = 1;
    std::string statusDuringQuestion = "none asked";
    QTimer watch;
};

// The user's way into the middle of a transfer: the main panel's connection button,
// then a button of the connection panel.
struct Interruption {
    const char *button;
    Transport transport;
};

class KelvraTransferInterrupted : public KelvraInterrupt,
                                  public ::testing::WithParamInterface<Interruption> {};

TEST_P(KelvraTransferInterrupted, TheTransferEndsSaysWhatTheSensorHoldsAndTheNextOneRuns) {
    const int panel = Prepare("HUEMA3 V6.3", 1, GetParam().transport);
    sensor.setPacing(true); // a transfer takes long enough to be clicked into
    sensor.clearCapture();
    bool clicked = false;
    // 3 announcements and 7 data frames confirmed: the 8th is on its way.
    WhenFramesReceived(11, [&] {
        Click(kpanels.mainpanel, "ButtonConnect");
        Click(kpanels.interfacepanel, GetParam().button);
        clicked = true;
    });
    Click(panel, "ButtonSendCF");
    ASSERT_TRUE(clicked);
    // The transfer's wait ended as its wait runs out, the connection panel's own exchange ran.
    EXPECT_EQ(Text(panel, kTransferStatus), "FAILURE");
    EXPECT_NE(Text(kpanels.interfacepanel, kConnectStatus).find("HUEMA3 V6.3"), std::string::npos)
        << Text(kpanels.interfacepanel, kConnectStatus);
    const PopupRecord *partial = Popup("Transfer", "part new, part old");
    ASSERT_NE(partial, nullptr);
    EXPECT_NE(partial->text.find("stopped at data frame"), std::string::npos) << partial->text;
    EXPECT_EQ(Text(panel, kCoefState).rfind("Part new, part old: stopped at frame", 0), 0u)
        << Text(panel, kCoefState);
    const std::size_t written = sensor.compMemory().words.size();
    EXPECT_GT(written, 0u);
    EXPECT_LT(written, 300u);
    int dimmed = 1;
    GetCtrlAttribute(panel, "ButtonSendCF", ATTR_DIMMED, dimmed);
    EXPECT_EQ(dimmed, 0);

    // The program is usable: the next transfer runs whole and the state says so.
    sensor.setPacing(false);
    Click(panel, "ButtonSendCF");
    EXPECT_EQ(Text(panel, kTransferStatus), "SUCCESS");
    EXPECT_EQ(sensor.compMemory().words.size(), 300u);
    EXPECT_EQ(Text(panel, kCoefState), "Sensor and panel agree");
}

INSTANTIATE_TEST_SUITE_P(Buttons, KelvraTransferInterrupted,
                         ::testing::Values(Interruption{"ButtonTryToConnect", Transport::Tcp},
                                           Interruption{"ButtonTryToConnect", Transport::Serial},
                                           Interruption{"ButtonDiscard", Transport::Tcp}),
                         [](const auto &info) {
                             return std::string(info.param.button) +
                                    (info.param.transport == Transport::Tcp ? "Tcp" : "Serial");
                         });

TEST_F(KelvraInterrupt, ASensorFallingSilentMidTableLeavesThePanelSayingPartNewPartOld) {
    const int panel = Prepare("HUEMA3 V6.3", 1);
    sensor.clearCapture();
    // Announcements are frames 1-3; write frame 12 (the 15th) gets no answer.
    sensor.setFault({.kind = sim::FaultKind::NoAnswer, .command = 182, .frame = 15});
    Click(panel, "ButtonSendCF");
    EXPECT_EQ(Text(panel, kTransferStatus), "FAILURE");
    const PopupRecord *partial = Popup("Transfer", "stopped at data frame 12 of 30");
    ASSERT_NE(partial, nullptr);
    EXPECT_NE(partial->text.find("frames 1 to 11 new"), std::string::npos) << partial->text;
    EXPECT_EQ(Text(panel, kCoefState), "Part new, part old: stopped at frame 12 of 30");
    // Typing or calculating does not make the sensor whole again; only a complete transfer does.
    Click(panel, "ButtonCalcCurves");
    Type(panel, "EditRT", "777");
    EXPECT_EQ(Text(panel, kCoefState), "Part new, part old: stopped at frame 12 of 30");
    Click(panel, "ButtonSendCF");
    EXPECT_EQ(Text(panel, kCoefState), "Sensor and panel agree");
}

TEST_F(KelvraInterrupt, ATableOfAnotherFamilyIsWrittenOnlyWhenTheUserSaysSo) {
    const int p1 = Prepare("HUEMA3 V6.3", 1);
    Click(p1, "ButtonSendCF");
    ASSERT_EQ(Text(p1, kCoefState), "Sensor and panel agree");
    EXPECT_TRUE(RecordedPopups().empty());
    EXPECT_EQ(statusDuringQuestion, "none asked");

    const int p3 = Show(3, 400);
    questionAnswer = 2; // No, the default
    const long before = sensor.framesReceived();
    Click(p3, "ButtonSendCF");
    const PopupRecord *question =
        Popup("Transfer", " The sensor reports HUEMA3 V6.3; write the HUEMA-PX table into it? ");
    ASSERT_NE(question, nullptr);
    EXPECT_EQ(question->buttons, (std::vector<std::string>{"Yes", "No"}));
    EXPECT_EQ(statusDuringQuestion, "") << "TRY TO SAVE only once the transfer starts";
    EXPECT_EQ(Text(p3, kTransferStatus), "NOT SENT");
    EXPECT_EQ(sensor.framesReceived(), before);
    EXPECT_EQ(Text(p1, kCoefState), "Sensor and panel agree");

    questionAnswer = 1;
    Click(p3, "ButtonSendCF");
    EXPECT_EQ(Text(p3, kTransferStatus), "SUCCESS");
    EXPECT_EQ(Text(p3, kCoefState), "Sensor and panel agree");
    EXPECT_NE(Text(p1, kCoefState), "Sensor and panel agree") << "the sensor holds the HUEMA-PX table now";
}

TEST_F(KelvraInterrupt, ASetPointThatWrapsIsSaidAndAskedAbout) {
    const int p1 = Prepare("HUEMA3 V6.3", 1);
    Type(p1, "EditRT", "70000");
    Type(p1, kEditTemp, "0");
    const std::string check = Text(p1, kCalCheck);
    EXPECT_EQ(check.find("can be right"), std::string::npos) << check;
    EXPECT_NE(check.find("1 set point wraps around"), std::string::npos) << check;
    Click(p1, "ButtonCalcCurves");
    EXPECT_NE(Text(p1, kCalCheck).find("1 set point wraps around"), std::string::npos) << Text(p1, kCalCheck);

    questionAnswer = 2;
    const long before = sensor.framesReceived();
    Click(p1, "ButtonSendCF");
    ASSERT_NE(Popup("Transfer", "1 set point wraps around"), nullptr);
    EXPECT_EQ(Text(p1, kTransferStatus), "NOT SENT");
    EXPECT_EQ(sensor.framesReceived(), before);

    // A word typed over the wrapped one is the user's own: nothing wraps any more.
    Type(p1, "EditSetPointWordRed", "1000");
    Click(p1, "ButtonCalcCalib");
    EXPECT_EQ(Text(p1, kCalCheck).find("set point"), std::string::npos) << Text(p1, kCalCheck);
}

} // namespace
