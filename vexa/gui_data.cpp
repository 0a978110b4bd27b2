// Callbacks of the data panel: help texts, the density chart's zoom, the view
// selector and the big vector display.
#include "platform/userint.h"
#include "vexa/gui.h"
#include "vexa/livedata.h"
#include "vexa/program.h"

namespace {

constexpr char InfoDispDensity[] =
    " Displays the calculated density. \n Formula for calculation: See Manual.";
constexpr char InfoDispSym1[] =
    " Displays the calculated symmetry 1. \n Formula for calculation: See Manual.";
constexpr char InfoDispSym2[] =
    " Displays the calculated symmetry 2. \n Formula for calculation: See Manual.";
constexpr char InfoDispCh[] = " Displays the current intensity of CH_L, CH_C, CH_R. ";
constexpr char InfoDispAktMax[] =
    " Displays the present maximum of \n CH_L, CH_C, CH_R within the last 60 seconds.";
constexpr char InfoDispVec[] = " Displays the currently detected vector number in\n"
                               " accordance with the row in the COLOR TEACH TABLE. \n"
                               " Double click opens a big display. \n"
                               " Close the big display with a right mouse click. \n\n"
                               " Failure condition is 255.";
constexpr char InfoBarCh[] = " Displays the RAW values of CH_L, CH_C  and CH_R.";
constexpr char InfoDispStatus[] = " Displays serial interface status messages.";
constexpr char InfoGraphRaw1[] = " Displays a signal selected with SOURCE.";
constexpr char InfoGraphDensity[] = " Displays the present density. \n"
                                    " Left mouse double click on the Y-AXIS starts an auto zoom. \n"
                                    " Left mouse click scales the Y-AXIS fix.";
constexpr char InfoGraphSym1[] = "Shows the tolerance range \nselected with No.: of SYMMETRY 1 \n"
                                 "and the actual value of SYMMETRY 1.";
constexpr char InfoGraphSym2[] = "Shows the tolerance range \nselected with No.: of SYMMETRY 2 \n"
                                 "and the actual value of SYMMETRY 2.";
constexpr char InfoSelectSource[] = " Select a signal to be displayed in the graph.";

int CBF_DispVec(int, int, int event, void *, int, int) {
    if (event == EVENT_LEFT_DOUBLE_CLICK) DisplayPanel(vexa.colbigpanel);
    if (event == EVENT_RIGHT_CLICK) ShowHelp(InfoDispVec);
    return 0;
}

// A click fixes the axis, a double click (which passes through the click first) zooms.
int CBF_GraphDensity(int, int, int event, void *, int, int) {
    if (event == EVENT_LEFT_CLICK) live.scale = 0;
    if (event == EVENT_LEFT_DOUBLE_CLICK) live.scale = 1;
    if (event == EVENT_RIGHT_CLICK) ShowHelp(InfoGraphDensity);
    return 0;
}

int CBF_SelectSource(int, int, int event, void *, int, int) {
    return CommitOrHelp(event, InfoSelectSource, DispVis);
}

} // namespace

void RegisterDataCallbacks() {
    const NamedCallback callbacks[] = {
        {"CBF_DispDensity", HelpOnly<kInfoTitle, InfoDispDensity>},
        {"CBF_DispSym1", HelpOnly<kInfoTitle, InfoDispSym1>},
        {"CBF_DispSym2", HelpOnly<kInfoTitleLower, InfoDispSym2>},
        {"CBF_DispChL", HelpOnly<kInfoTitle, InfoDispCh>},
        {"CBF_DispChC", HelpOnly<kInfoTitle, InfoDispCh>},
        {"CBF_DispChR", HelpOnly<kInfoTitle, InfoDispCh>},
        {"CBF_DispAktMaxChL", HelpOnly<kInfoTitle, InfoDispAktMax>},
        {"CBF_DispAktMaxChC", HelpOnly<kInfoTitle, InfoDispAktMax>},
        {"CBF_DispAktMaxChR", HelpOnly<kInfoTitle, InfoDispAktMax>},
        {"CBF_BarChL", HelpOnly<kInfoTitle, InfoBarCh>},
        {"CBF_BarChC", HelpOnly<kInfoTitle, InfoBarCh>},
        {"CBF_BarChR", HelpOnly<kInfoTitle, InfoBarCh>},
        {"CBF_DispStatus", HelpOnly<kInfoTitle, InfoDispStatus>},
        {"CBF_GraphRaw1", HelpOnly<kInfoTitle, InfoGraphRaw1>},
        {"CBF_GraphSym1", HelpOnly<kInfoTitleLower, InfoGraphSym1>},
        {"CBF_GraphSym2", HelpOnly<kInfoTitleLower, InfoGraphSym2>},
        {"CBF_DispVec", CBF_DispVec},
        {"CBF_GraphDensity", CBF_GraphDensity},
        {"CBF_SelectSource", CBF_SelectSource},
    };
    RegisterAll(callbacks);
}
