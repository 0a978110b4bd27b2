// KelvraV12's help where people look for it: tooltips that repeat the
// right-click help, and accessible names on every control.
#include "kelvra/gui.h"
#include "link/connectpanel.h"
#include "tests/test_help.h"
#include "tests/test_kelvra_program.h"

using kelvralink::kDataPanels;
using kelvralink::kpanels;

using namespace programlink;
using namespace kelvraprogram;

namespace {

using KelvraHelp = KelvraProgram;

std::vector<int> AllPanels() {
    std::vector<int> panels = {kpanels.mainpanel, kpanels.interfacepanel};
    for (int n = 1; n <= kDataPanels; ++n)
        panels.push_back(kpanels.datapanel[n]);
    return panels;
}

TEST_F(KelvraHelp, EveryHelpPopupTextIsAlsoTheControlsTooltip) {
    ASSERT_EQ(Start("HUEMA3 V6.3"), 0);
    help::Findings found;
    for (int panel : AllPanels())
        help::RightClickEveryControl(panel, found);
    EXPECT_EQ(found.faults, std::vector<std::string>{});
    EXPECT_EQ(found.popups, static_cast<int>(LinkHelpTexts().size() + KelvraHelpTexts().size()));
}

TEST_F(KelvraHelp, EveryControlHasAnAccessibleName) {
    ASSERT_EQ(Start("HUEMA3 V6.3"), 0);
    for (int panel : AllPanels())
        EXPECT_EQ(help::UnnamedControls(panel), std::vector<std::string>{}) << "panel " << panel;
}

} // namespace
