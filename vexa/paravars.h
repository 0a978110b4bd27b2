// VexaV32's parameter set, and the operations on it under the names the
// program uses.
#pragma once

#include "vexalink/paraset.h"

namespace vexaprogram {

extern vexalink::ParaState para;

// The variable of record word k (0..15), in record order.
inline uint16_t &ParaWord(int k) {
    return para.word(k);
}
inline void RecordFromVars(uint16_t (&record)[vexalink::kAnzPara]) {
    para.recordFromVars(record);
}
inline void VarsFromRecord(const uint16_t (&record)[vexalink::kAnzPara]) {
    para.varsFromRecord(record);
}
inline void CopyVarsToPP() {
    para.copyVarsToPP();
}
inline void CopyPPtoVars() {
    para.copyPPtoVars();
}
inline void CopyFileParatoVars() {
    para.copyFileParatoVars();
}

} // namespace vexaprogram
