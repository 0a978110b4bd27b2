// KelvraV12's program-wide state: coefficients, curves, correction factors,
// the selected sensor, paths and panel handles. All data panels share it;
// whichever panel calculated last owns its contents.
#pragma once

#include "kelvralink/paneltable.h"
#include <cstdint>
#include <string>

namespace kelvralink {

constexpr int kCfSendWords = 600; // words of dataCfSendBuf

struct KelvraData {
    // Polynomial coefficients last read from a data panel, highest power first.
    double RX4 = 0, RX3 = 0, RX2 = 0, RX1 = 0, RT = 0;
    double GX4 = 0, GX3 = 0, GX2 = 0, GX1 = 0, GT = 0;
    double BX4 = 0, BX3 = 0, BX2 = 0, BX1 = 0, BT = 0;
    double REFX4 = 0, REFX3 = 0, REFX2 = 0, REFX1 = 0, REFT = 0;
    double DIRX4 = 0, DIRX3 = 0, DIRX2 = 0, DIRX1 = 0, DIRT = 0;
    double DIFX4 = 0, DIFX3 = 0, DIFX2 = 0, DIFX1 = 0, DIFT = 0;

    // Curves, index = temperature in degrees.
    double dataRot[kTemps] = {};
    double dataGruen[kTemps] = {};
    double dataBlau[kTemps] = {};
    double dataRef[kTemps] = {};
    double dataDir[kTemps] = {};
    double dataDif[kTemps] = {};
    double dataRaw[kTemps] = {};
    double dataRGB[kTemps][3] = {};
    double dataRGBRDD[kTemps][6] = {};

    // Correction factors, 1024 = 1.0.
    uint16_t dataCfRot[kTemps] = {};
    uint16_t dataCfGruen[kTemps] = {};
    uint16_t dataCfBlau[kTemps] = {};
    uint16_t dataCfRef[kTemps] = {};
    uint16_t dataCfDir[kTemps] = {};
    uint16_t dataCfDif[kTemps] = {};
    uint16_t dataCfRaw[kTemps] = {};
    uint16_t dataCfRGB[kTemps][3] = {};
    uint16_t dataCfRGBRDD[kTemps][6] = {};
    uint16_t dataCfSendBuf[kCfSendWords] = {}; // words being written to the sensor

    int curvesPanel = 0; // data panel whose coefficients the curve arrays hold; 0 before any

    uint16_t selSensor = 0; // selected sensor code
    std::string proj_dir;   // start directory of the file dialogs
    std::string file_name;  // last chosen equation file
};

// Panel handles, set once at start-up.
struct KelvraPanels {
    int mainpanel = 0;
    int datapanel[kDataPanels + 1] = {}; // datapanel1 .. datapanel6 at their numbers; [0] unused
    int interfacepanel = 0;
};

extern KelvraData kdata;
extern KelvraPanels kpanels;

// Returns the data and the panel handles to their start values.
void ResetKelvraData();

// The coefficient variable k (0 = t^4 .. 4 = constant) of a channel.
double &Coefficient(Channel c, int k);
// The channel's curve array.
double *Curve(Channel c);
// The channel's correction-factor array.
uint16_t *Factors(Channel c);
// The side-by-side copies of a panel's curves and factors (channelCount per
// degree), or nullptr for the one-channel panel.
double *SideBySideCurves(const PanelDesc &p);
uint16_t *SideBySideFactors(const PanelDesc &p);

} // namespace kelvralink
