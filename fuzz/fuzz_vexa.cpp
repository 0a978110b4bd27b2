#include "fuzz/fuzz_support.h"
#include "vexa/livedata.h"
#include "vexa/paravars.h"
#include "vexa/program.h"

using namespace vexaprogram;

namespace fuzz {

void CheckParameterAnswer(const sensor::Sensor &s) {
    live.takeFrame(s);
    live.copyDatatoVars();
    // As a read of the parameter set takes a parameter or teach-row answer.
    for (int j = 0; j < sensor::kFrameWords; ++j)
        para.pp[j] = s.answerWord(j);
    CopyPPtoVars();
    FUZZ_CHECK(para.paraMaxNr <= vexa.anzVec);
}

} // namespace fuzz
