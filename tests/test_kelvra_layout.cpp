// KelvraV12's panels as a person sees them: every control inside its panel,
// clear of the others and wide enough for its text; each data panel saved as
// a picture when SCREENSHOT_DIR is set.
#include "kelvra/gui.h"
#include "tests/test_kelvra_program.h"
#include "tests/test_screens.h"

#include <QAbstractButton>
#include <QLabel>

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
        // The data panel fits the main panel.
        const QRect place = PanelWidget(panel)->geometry();
        EXPECT_TRUE(PanelWidget(kpanels.mainpanel)->rect().contains(place)) << "P" << n;
        screens::SaveScreenshot(kpanels.mainpanel, "KelvraV12_P" + std::to_string(n));
    }
    EXPECT_EQ(screens::LayoutFaults(kpanels.mainpanel), std::vector<std::string>{});
    EXPECT_EQ(CutTexts(kpanels.mainpanel), std::vector<std::string>{});
    // The main panel's own controls stay above the data panels' place.
    QWidget *main = PanelWidget(kpanels.mainpanel);
    for (int id = 1; id <= GetNumCtrls(kpanels.mainpanel); ++id) {
        QWidget *w = CtrlWidget(kpanels.mainpanel, id);
        if (!w || !w->isVisibleTo(main)) continue;
        EXPECT_LE(w->geometry().bottom(), 105) << GetCtrlName(kpanels.mainpanel, id);
    }

    DisplayPanel(kpanels.interfacepanel);
    EXPECT_EQ(screens::LayoutFaults(kpanels.interfacepanel), std::vector<std::string>{});
    screens::SaveScreenshot(kpanels.interfacepanel, "KelvraV12_connection");
}

} // namespace
