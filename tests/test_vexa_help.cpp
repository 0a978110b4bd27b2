// VexaV32's help where people look for it: tooltips that repeat the right-click
// help, and accessible names on every control, those made at run time included.
#include "link/connectpanel.h"
#include "tests/test_help.h"
#include "tests/test_vexa_harness.h"
#include "vexa/gui.h"

using namespace vexatest;
using namespace programlink;
using namespace vexaprogram;

namespace {

std::vector<int> AllPanels() {
    return {vexa.mainpanel,      vexa.parapanel, vexa.ttpanel,    vexa.datapanel,
            vexa.interfacepanel, vexa.recpanel,  vexa.graphpanel, vexa.colbigpanel};
}

} // namespace

TEST(VexaHelp, EveryHelpPopupTextIsAlsoTheControlsTooltip) {
    VexaRun run;
    ASSERT_EQ(run.start(), 0);
    help::Findings found;
    for (int panel : AllPanels())
        help::RightClickEveryControl(panel, found);
    EXPECT_EQ(found.faults, std::vector<std::string>{});
    // Every entry of the two tables reached a control that explains itself.
    EXPECT_EQ(found.popups, static_cast<int>(LinkHelpTexts().size() + VexaHelpTexts().size()));
}

TEST(VexaHelp, EveryControlHasAnAccessibleName) {
    VexaRun run;
    ASSERT_EQ(run.start(), 0);
    for (int panel : AllPanels())
        EXPECT_EQ(help::UnnamedControls(panel), std::vector<std::string>{}) << "panel " << panel;
    // The server combo box's parts, made at run time, are named after the server field.
    for (const char *part : {"StringIpAdressList", "StringIpAdressFrame"}) {
        bool seen = false;
        for (int id = 1; id <= GetNumCtrls(vexa.interfacepanel); ++id)
            seen |= CtrlWidget(vexa.interfacepanel, id)->accessibleName() == part;
        EXPECT_TRUE(seen) << part;
    }
}
