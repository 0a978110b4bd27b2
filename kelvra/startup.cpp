#include "kelvra/startup.h"

#include "branding/logo.h"
#include "kelvra/coefstate.h"
#include "kelvra/compensation.h"
#include "kelvra/gui.h"
#include "kelvralink/kelvradata.h"
#include "kelvralink/sensorkinds.h"
#include "kelvralink/transfer.h"
#include "link/connectpanel.h"
#include "link/linkstate.h"
#include "link/servercombo.h"
#include "platform/programicon.h"
#include "platform/userint.h"
#include "runtime/utility.h"

using kelvralink::DataPanelOfSensor;
using kelvralink::kdata;
using kelvralink::kDataPanels;
using kelvralink::KelvraPanels;
using kelvralink::kpanels;
using kelvralink::ResetKelvraData;
using kelvralink::SensorCodeFromVersion;

using namespace runtime;
using namespace branding;
using namespace programlink;

namespace kelvraprogram {
namespace {

constexpr int kMainPanelResource = 8;
constexpr int kInterfacePanelResource = 7;
constexpr int kDataPanelTop = 105, kDataPanelLeft = 8;
constexpr int kKelvraBrand = 0;
constexpr int kKelvraTitleLeft = 240;
constexpr int kKelvraLastBrand = 10;

bool AfterVersion() {
    SetChildPanel();
    return true;
}

// Tells the shared link how KelvraV12 differs: its frames, echo wait, panels and hand-over.
void SetUpLink() {
    SetUpCompensationLink();
    linkProgram.mainpanel = kpanels.mainpanel;
    linkProgram.statusPanel = kpanels.mainpanel;
    linkProgram.interfacepanel = kpanels.interfacepanel;
    linkProgram.tcpErrorPopup = true;
    linkProgram.afterVersion = AfterVersion;
}

int LoadPanels() {
    if ((kpanels.mainpanel = LoadPanel(0, kKelvraUir, kMainPanelResource)) < 0) return -1;
    for (int n = 1; n <= kDataPanels; ++n)
        if ((kpanels.datapanel[n] = LoadPanel(kpanels.mainpanel, kKelvraUir, n)) < 0) return -1;
    if ((kpanels.interfacepanel = LoadPanel(0, kKelvraUir, kInterfacePanelResource)) < 0) return -1;
    return 0;
}

} // namespace

int StartKelvra() {
    SetProgramIcon(kKelvraProgram);
    ResetKelvraData();
    ResetLinkState();
    RegisterKelvraCallbacks();
    RegisterLinkCallbacks();
    if (LoadPanels() < 0) {
        ShutdownKelvra();
        return -1;
    }
    for (int n = 1; n <= kDataPanels; ++n)
        SetPanelPos(kpanels.datapanel[n], kDataPanelTop, kDataPanelLeft);
    DisplayPanel(kpanels.mainpanel);
    InitAll();
    return 0;
}

void ShutdownKelvra() {
    LinkSensor().close();
    com.tcpcon = 0;
    // The connection panel is a window of its own, so it does not go with the main panel.
    if (kpanels.interfacepanel > 0) DiscardPanel(kpanels.interfacepanel);
    if (kpanels.mainpanel > 0) DiscardPanel(kpanels.mainpanel);
    kpanels = KelvraPanels{};
}

void InitAll() {
    com.comport = 1;
    com.tcpcon = 0;
    kdata.selSensor = 0;
    GetProjectDir(kdata.proj_dir);
    SetLinkFileNames(GetSettingsDir(kdata.proj_dir, kKelvraProgram));
    SetUpLink();
    SetHelpTooltips(LinkHelpTexts());
    SetHelpTooltips(KelvraHelpTexts());

    brandProgram = BrandProgram{};
    brandProgram.mainpanel = kpanels.mainpanel;
    brandProgram.title = kKelvraTitle;
    brandProgram.titleLeft0 = kKelvraTitleLeft;
    brandProgram.lastBrand = kKelvraLastBrand;
    ShowLogo(kKelvraBrand);

    FillComPortSelector();
    InitServerComboBox();
    GetConnectionSettingsFromFile();
    InitConnectPanel();
    NoteCoefStart();
    TryToConnect();
}

void SetChildPanel() {
    kdata.selSensor = SensorCodeFromVersion(LinkSensor().version().c_str(), kdata.selSensor);
    SetCtrlVal(kpanels.mainpanel, kEditSelectSensor, static_cast<int>(kdata.selSensor));
    ShowChildPanel();
}

void ShowChildPanel() {
    GetCtrlVal(kpanels.mainpanel, kEditSelectSensor, kdata.selSensor);
    for (int n = 1; n <= kDataPanels; ++n)
        HidePanel(kpanels.datapanel[n]);
    if (const int n = DataPanelOfSensor(kdata.selSensor)) DisplayPanel(kpanels.datapanel[n]);
}

} // namespace kelvraprogram
