// KelvraV12's panels as a person sees them: every control inside its panel,
// clear of the others and wide enough for its text; each data panel saved as
// a picture when SCREENSHOT_DIR is set.
#include "kelvra/gui.h"
#include "tests/test_kelvra_program.h"
#include "tests/test_screens.h"

#include <QAbstractButton>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>

using kelvralink::CoefficientCtrl;
using kelvralink::DataPanelDesc;
using kelvralink::DataRole;
using kelvralink::DataRoleName;
using kelvralink::kCoefs;
using kelvralink::kDataPanels;
using kelvralink::kEditTemp;
using kelvralink::kpanels;
using kelvralink::PanelDesc;

using namespace kelvraprogram;

namespace {

using KelvraLayout = KelvraProgram;

// Labels and buttons whose text does not fit their width.
std::vector<std::string> CutTexts(int panel) {
    std::vector<std::string> cut;
    QWidget *p = PanelWidget(panel);
    for (int id = 1; id <= GetNumCtrls(panel); ++id) {
        QWidget *w = CtrlWidget(panel, id);
        if (!w || !w->isVisibleTo(p)) continue;
        // A button needs room for its text and its bevel.
        const auto *button = qobject_cast<QAbstractButton *>(w);
        const auto *label = qobject_cast<QLabel *>(w);
        const int needed = button  ? w->fontMetrics().horizontalAdvance(button->text()) + 12
                           : label ? label->sizeHint().width()
                                   : 0;
        if (needed > w->width()) cut.push_back(GetCtrlName(panel, id));
    }
    return cut;
}

TEST_F(KelvraLayout, EveryPanelIsTidy) {
    ASSERT_EQ(Start("HUEMA3 V6.3"), 0);
    const int codes[kDataPanels] = {100, 300, 400, 500, 600, 700};
    for (int n = 1; n <= kDataPanels; ++n) {
        SetCtrlVal(kpanels.mainpanel, kEditSelectSensor, codes[n - 1]);
        ShowChildPanel();
        ASSERT_EQ(VisibleDataPanel(), n);
        const int panel = kpanels.datapanel[n];
        EXPECT_EQ(screens::LayoutFaults(panel), std::vector<std::string>{}) << "P" << n;
        EXPECT_EQ(CutTexts(panel), std::vector<std::string>{}) << "P" << n;
        EXPECT_EQ(screens::CutNumbers(panel), std::vector<std::string>{}) << "P" << n;
        // The data panel fits the main panel.
        const QRect place = PanelWidget(panel)->geometry();
        EXPECT_TRUE(PanelWidget(kpanels.mainpanel)->rect().contains(place)) << "P" << n;
        screens::SaveScreenshot(kpanels.mainpanel, "KelvraV12_P" + std::to_string(n));
    }
    EXPECT_EQ(screens::LayoutFaults(kpanels.mainpanel), std::vector<std::string>{});
    EXPECT_EQ(CutTexts(kpanels.mainpanel), std::vector<std::string>{});
    EXPECT_EQ(screens::CutNumbers(kpanels.mainpanel), std::vector<std::string>{});
    // The main panel's own controls stay above the data panels' place.
    QWidget *main = PanelWidget(kpanels.mainpanel);
    for (int id = 1; id <= GetNumCtrls(kpanels.mainpanel); ++id) {
        QWidget *w = CtrlWidget(kpanels.mainpanel, id);
        if (!w || !w->isVisibleTo(main)) continue;
        EXPECT_LE(w->geometry().bottom(), 105) << GetCtrlName(kpanels.mainpanel, id);
    }

    // P1 after a calculation and a transfer: curves and factors drawn inside their charts.
    SetCtrlVal(kpanels.mainpanel, kEditSelectSensor, codes[0]);
    ShowChildPanel();
    const int p1 = kpanels.datapanel[1];
    const PanelDesc &desc = DataPanelDesc(1);
    const char *coefficients[3][kCoefs] = {{"0", "0.0002", "-0.06", "6", "1800"},
                                           {"0", "0", "0.03", "2", "2000"},
                                           {"0", "-0.0001", "0", "-4", "2400"}};
    for (int c = 0; c < desc.channelCount; ++c)
        for (int k = 0; k < kCoefs; ++k)
            Type(p1, CoefficientCtrl(desc.channels[c], k), coefficients[c][k]);
    Click(p1, DataRoleName(DataRole::ButtonCalcCurves));
    Type(p1, kEditTemp, "25"); // the set points at 25 degrees
    Click(p1, DataRoleName(DataRole::ButtonCalcCalib));
    Click(p1, DataRoleName(DataRole::ButtonSendCF));
    EXPECT_EQ(screens::LayoutFaults(p1), std::vector<std::string>{});
    screens::SaveScreenshot(kpanels.mainpanel, "KelvraV12_P1_calculated");

    DisplayPanel(kpanels.interfacepanel);
    EXPECT_EQ(screens::LayoutFaults(kpanels.interfacepanel), std::vector<std::string>{});
    screens::SaveScreenshot(kpanels.interfacepanel, "KelvraV12_connection");
}

// Run by ctest on the screen of a small laptop, 1366 x 768.
bool LaptopScreen() {
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    return area.width() >= 1366 && area.height() >= 768;
}

TEST_F(KelvraLayout, WindowsOpenOnTheScreenAndTheConnectionPanelBesideTheMainWindow) {
    if (!LaptopScreen()) GTEST_SKIP() << "run by ctest, on a screen of 1366 x 768";
    ASSERT_EQ(Start("HUEMA3 V6.3"), 0);
    Click(kpanels.mainpanel, "ButtonConnect");
    QWidget *main = PanelWidget(kpanels.mainpanel), *connection = PanelWidget(kpanels.interfacepanel);
    ASSERT_TRUE(connection->isVisible());
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_TRUE(area.contains(main->frameGeometry()));
    EXPECT_TRUE(area.contains(connection->frameGeometry()));
    EXPECT_FALSE(connection->frameGeometry().intersects(main->frameGeometry()));
}

} // namespace
