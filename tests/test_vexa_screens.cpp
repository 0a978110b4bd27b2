// VexaV32's panels as a person sees them, connected to the simulated sensor.
#include "tests/test_screens.h"
#include "tests/test_vexa_harness.h"
#include "vexa/graphpanel.h"

#include <QGuiApplication>
#include <QScreen>

using namespace vexatest;
using namespace vexaprogram;

namespace {

// Run by ctest on the screen of a small laptop, 1366 x 768.
bool LaptopScreen() {
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    return area.width() >= 1366 && area.height() >= 768;
}

void ExpectTidy(int panel, const char *what) {
    for (const std::string &fault : screens::LayoutFaults(panel))
        ADD_FAILURE() << what << ": " << fault;
    for (const std::string &fault : screens::CutNumbers(panel))
        ADD_FAILURE() << what << ": " << fault;
}

} // namespace

TEST(VexaScreens, EveryPanelKeepsItsControlsInsideAndApart) {
    VexaRun run;
    run.sensor.setMemory({DistinctSet(), DistinctSet()});
    ASSERT_EQ(run.start(), 0);
    // Live values, a tolerance band and a few samples of history, as a person sees them while polling.
    SetCtrlVal(vexa.ttpanel, "EditNo", 4);
    PollFrames(run.sensor, 12);

    const struct {
        int child;
        int VexaState::*handle;
        const char *name;
    } children[] = {
        {1, &VexaState::interfacepanel, "connection"},
        {2, &VexaState::parapanel, "parameters"},
        {3, &VexaState::ttpanel, "teachtable"},
        {5, &VexaState::recpanel, "recorder"},
    };
    for (const auto &c : children) {
        ShowChildPanel(c.child);
        ExpectTidy(vexa.*c.handle, c.name);
        screens::SaveScreenshot(vexa.*c.handle, c.name);
        screens::SaveScreenshot(vexa.mainpanel, std::string("main_") + c.name);
    }
    for (int mode : {1, 2, 3}) {
        ShowChildPanel(5);
        ChooseItem(vexa.recpanel, "EditSelectDataRec", mode);
        const std::string name = "recorder_mode" + std::to_string(mode);
        ExpectTidy(vexa.recpanel, name.c_str());
        screens::SaveScreenshot(vexa.recpanel, name);
    }
    ShowChildPanel(2);
    ExpectTidy(vexa.mainpanel, "main");
    ExpectTidy(vexa.datapanel, "data");
    screens::SaveScreenshot(vexa.datapanel, "data");

    HidePanel(vexa.datapanel);
    DisplayPanel(vexa.graphpanel);
    for (int k = 0; k < 40; ++k) { // a recording's course
        live.dataChL = static_cast<uint16_t>(1800 + 15 * k + (k % 5) * 60);
        SetPanelGraphData();
    }
    ExpectTidy(vexa.graphpanel, "graph");
    screens::SaveScreenshot(vexa.graphpanel, "graph");
    screens::SaveScreenshot(vexa.mainpanel, "main_graph");

    DisplayPanel(vexa.colbigpanel);
    ExpectTidy(vexa.colbigpanel, "big vector display");
    screens::SaveScreenshot(vexa.colbigpanel, "bigvector");
}

TEST(VexaScreens, WindowsOpenOnTheScreenAndTheBigVectorDisplayBesideTheMainWindow) {
    if (!LaptopScreen()) GTEST_SKIP() << "run by ctest, on a screen of 1366 x 768";
    VexaRun run;
    ASSERT_EQ(run.start(), 0);
    QWidget *vector = Widget(vexa.datapanel, "DispVec");
    QTest::mouseDClick(vector, Qt::LeftButton, Qt::NoModifier, vector->rect().center());
    QWidget *main = PanelWidget(vexa.mainpanel), *big = PanelWidget(vexa.colbigpanel);
    ASSERT_TRUE(big->isVisible());
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_TRUE(area.contains(main->frameGeometry()));
    EXPECT_TRUE(area.contains(big->frameGeometry()));
    EXPECT_FALSE(big->frameGeometry().intersects(main->frameGeometry()));
}
