#include "kelvralink/kelvradata.h"

namespace kelvralink {

KelvraData kdata;
KelvraPanels kpanels;

namespace {

using Coefs = double KelvraData::*;

struct ChannelData {
    Coefs coefs[kCoefs];
    double (KelvraData::*curve)[kTemps];
    uint16_t (KelvraData::*factors)[kTemps];
};

// Indexed by Channel; Raw evaluates the red coefficients into curves of its own.
const ChannelData kChannelData[] = {
    {{&KelvraData::RX4, &KelvraData::RX3, &KelvraData::RX2, &KelvraData::RX1, &KelvraData::RT},
     &KelvraData::dataRot,
     &KelvraData::dataCfRot},
    {{&KelvraData::GX4, &KelvraData::GX3, &KelvraData::GX2, &KelvraData::GX1, &KelvraData::GT},
     &KelvraData::dataGruen,
     &KelvraData::dataCfGruen},
    {{&KelvraData::BX4, &KelvraData::BX3, &KelvraData::BX2, &KelvraData::BX1, &KelvraData::BT},
     &KelvraData::dataBlau,
     &KelvraData::dataCfBlau},
    {{&KelvraData::REFX4, &KelvraData::REFX3, &KelvraData::REFX2, &KelvraData::REFX1, &KelvraData::REFT},
     &KelvraData::dataRef,
     &KelvraData::dataCfRef},
    {{&KelvraData::DIRX4, &KelvraData::DIRX3, &KelvraData::DIRX2, &KelvraData::DIRX1, &KelvraData::DIRT},
     &KelvraData::dataDir,
     &KelvraData::dataCfDir},
    {{&KelvraData::DIFX4, &KelvraData::DIFX3, &KelvraData::DIFX2, &KelvraData::DIFX1, &KelvraData::DIFT},
     &KelvraData::dataDif,
     &KelvraData::dataCfDif},
    {{&KelvraData::RX4, &KelvraData::RX3, &KelvraData::RX2, &KelvraData::RX1, &KelvraData::RT},
     &KelvraData::dataRaw,
     &KelvraData::dataCfRaw},
};

const ChannelData &DataOf(Channel c) {
    return kChannelData[static_cast<int>(c)];
}

} // namespace

void ResetKelvraData() {
    kdata = KelvraData{};
    kpanels = KelvraPanels{};
}

double &Coefficient(Channel c, int k) {
    return kdata.*(DataOf(c).coefs[k >= 0 && k < kCoefs ? k : 0]);
}

double *Curve(Channel c) {
    return kdata.*(DataOf(c).curve);
}

uint16_t *Factors(Channel c) {
    return kdata.*(DataOf(c).factors);
}

double *SideBySideCurves(const PanelDesc &p) {
    if (p.channelCount == 3) return &kdata.dataRGB[0][0];
    if (p.channelCount == 6) return &kdata.dataRGBRDD[0][0];
    return nullptr;
}

uint16_t *SideBySideFactors(const PanelDesc &p) {
    if (p.channelCount == 3) return &kdata.dataCfRGB[0][0];
    if (p.channelCount == 6) return &kdata.dataCfRGBRDD[0][0];
    return nullptr;
}

} // namespace kelvralink
