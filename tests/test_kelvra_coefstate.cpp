// Where each KelvraV12 data panel's coefficients stand, and the question asked
// before quitting would lose typed coefficients: driven as a user does, checked
// in the sensor's memory and in the equation file.
#include "kelvra/coefstate.h"
#include "kelvralink/kelvradata.h"
#include "tests/test_kelvra_program.h"

using kelvralink::kCoefState;
using kelvralink::kEditTemp;
using kelvralink::kpanels;

namespace {

class KelvraCoefState : public KelvraProgram {
  protected:
    void SetUp() override {
        KelvraProgram::SetUp();
        ASSERT_EQ(Start("HUEMA3 V6.3"), 0);
        ASSERT_EQ(VisibleDataPanel(), 1);
    }
    int AnswerPopup(const PopupRecord &popup, std::string &path) override {
        if (popup.kind != PopupRecord::Generic) return KelvraProgram::AnswerPopup(popup, path);
        questions.push_back(popup.title);
        return answer;
    }
    static std::string State() {
        std::string text;
        GetCtrlVal(kpanels.datapanel[1], kCoefState, text);
        return text;
    }
    static int Colour() {
        int colour = -1;
        GetCtrlAttribute(kpanels.datapanel[1], kCoefState, ATTR_CTRL_COLOR, colour);
        return colour;
    }
    static double RT() {
        double value = 0;
        GetCtrlVal(kpanels.datapanel[1], "EditRT", value);
        return value;
    }

    int answer = 1;
    std::vector<std::string> questions;
};

TEST_F(KelvraCoefState, TypedTransferredSavedAndLoadedCoefficientsAreMarked) {
    const int p1 = kpanels.datapanel[1];
    EXPECT_EQ(State(), "Not sent to a sensor");
    const int untouched = Colour();
    Type(p1, "EditRT", "1000");
    EXPECT_EQ(State(), "Changed, not sent");
    EXPECT_NE(Colour(), untouched);

    Click(p1, "ButtonSendCF");
    ASSERT_FALSE(sensor.compMemory().words.empty());
    EXPECT_EQ(State(), "Sensor and panel agree");
    Type(p1, kEditTemp, "30");
    EXPECT_EQ(State(), "Changed, not sent") << "the factors sent were made at another temperature";

    filePath = InDir("p1.equ");
    Click(p1, "ButtonSaveEquation");
    EXPECT_EQ(State(), "As in file p1.equ, not sent");
    Type(p1, "EditRT", "5");
    EXPECT_EQ(State(), "Changed, not sent");
    Click(p1, "ButtonGetEquation");
    EXPECT_EQ(RT(), 1000.0);
    EXPECT_EQ(State(), "As in file p1.equ, not sent");
}

TEST_F(KelvraCoefState, QuittingAsksExactlyWhenCoefficientsWouldBeLost) {
    const int p1 = kpanels.datapanel[1];
    EXPECT_EQ(CloseAndRun(kpanels.mainpanel), 0);
    EXPECT_TRUE(questions.empty());

    Type(p1, "EditRT", "1000");
    answer = 3;
    EXPECT_EQ(CloseAndRun(kpanels.mainpanel), -1);
    EXPECT_EQ(questions, std::vector<std::string>{"Quit KelvraV12"});

    // Save: the file holds them, then the program quits.
    answer = 2;
    filePath = InDir("kept.equ");
    EXPECT_EQ(CloseAndRun(kpanels.mainpanel), 0);
    EXPECT_NE(ReadFileBytes(filePath).find("1000"), std::string::npos);
    EXPECT_EQ(questions.size(), 2u);

    // Transferred: nothing to lose. (Every channel has a curve a factor can scale.)
    Type(p1, "EditRT", "2000");
    Type(p1, "EditGT", "2000");
    Type(p1, "EditBT", "2000");
    Click(p1, "ButtonSendCF");
    EXPECT_EQ(CloseAndRun(kpanels.mainpanel), 0);
    EXPECT_EQ(questions.size(), 2u);

    // Quit: nothing is written.
    Type(p1, "EditRT", "3000");
    answer = 1;
    EXPECT_EQ(CloseAndRun(kpanels.mainpanel), 0);
    EXPECT_EQ(questions.size(), 3u);
    EXPECT_EQ(ReadFileBytes(filePath).find("3000"), std::string::npos);
}

} // namespace
