#include "fuzz/fuzz_support.h"
#include "link/frame.h"
#include "link/linkstate.h"
#include "vexa/livedata.h"
#include "vexa/paravars.h"
#include "vexa/program.h"

namespace fuzz {

void CheckParameterAnswer() {
    linkProgram.pp = &para.pp;
    linkProgram.databuf = &live.databuf;
    GetRxBufData();
    GetRxBufPara();
    CopyPPtoVars();
    FUZZ_CHECK(para.paraMaxNr <= vexa.anzVec);
}

} // namespace fuzz
