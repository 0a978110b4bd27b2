// Equation files of any content, read into a data panel's coefficients and
// carried through what KelvraV12 does with them: curves, set points,
// correction factors, their plausibility and the frames that write them into the sensor.
// The first input byte picks the panel and the set-point temperature.
#include "fuzz/fuzz_support.h"
#include "kelvra/equation.h"
#include "kelvralink/calc.h"
#include "kelvralink/equationfile.h"
#include "kelvralink/kelvradata.h"
#include "kelvralink/plausibility.h"
#include "kelvralink/transfer.h"
#include "runtime/formatio.h"
#include "sensor/sensor.h"

#include <cmath>

using kelvralink::CalibrationCheck;
using kelvralink::CheckCalibration;
using kelvralink::Coefficient;
using kelvralink::ComputeCurves;
using kelvralink::ComputeFactors;
using kelvralink::ComputeSetPoints;
using kelvralink::DataPanelDesc;
using kelvralink::EquationSize;
using kelvralink::kCoefs;
using kelvralink::kdata;
using kelvralink::kDataPanels;
using kelvralink::kMaxChannels;
using kelvralink::kMaxEquation;
using kelvralink::kTemps;
using kelvralink::kWordsPerFrame;
using kelvralink::PanelDesc;
using kelvralink::ReadEquationFile;
using kelvralink::ResetKelvraData;
using kelvralink::TransferFrames;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1) return 0;
    const PanelDesc &p = DataPanelDesc(1 + data[0] % kDataPanels);
    const uint16_t temperature = data[0] / kDataPanels; // also beyond 99, which is clamped
    const std::string path = fuzz::WriteScratch(data + 1, size - 1, "equation.equ");

    double values[kMaxEquation] = {};
    std::string problem;
    if (!ReadEquationFile(path, p, values, problem)) {
        FUZZ_CHECK(!problem.empty()); // refused, and said why
        return 0;                     // the panel keeps its coefficients
    }
    for (int i = 0; i < EquationSize(p); ++i)
        FUZZ_CHECK(std::isfinite(values[i]));

    ResetKelvraData();
    for (int k = 0; k < p.channelCount; ++k)
        for (int j = 0; j < kCoefs; ++j)
            Coefficient(p.channels[k], j) = values[k * kCoefs + j];
    ComputeCurves(p);

    double setValues[kMaxChannels] = {};
    uint16_t setWords[kMaxChannels] = {};
    ComputeSetPoints(p, temperature, setValues, setWords);
    ComputeFactors(p, setWords);
    const CalibrationCheck check = CheckCalibration(p, setWords);
    FUZZ_CHECK(check.degrees >= 0 && check.degrees <= kTemps);
    kelvralink::StageFactors(p, kdata.dataCfSendBuf);

    static kelvralink::CompensationFrames frames(kdata.dataCfSendBuf);
    static sensor::Sensor s;
    s.setFrameSource(&frames);
    for (int f = 0; f < TransferFrames(p); ++f) {
        const kelvralink::FrameSlot slot = kelvralink::TransferFrame(p, f);
        FUZZ_CHECK(s.fillFrame(182, slot.source, slot.address, kWordsPerFrame));
    }
    return 0;
}
