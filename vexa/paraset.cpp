#include "vexa/paraset.h"

#include <algorithm>

ParaState para;

namespace {

// The sixteen variables in record order.
constexpr uint16_t ParaState::*kWords[kParaWords] = {
    &ParaState::paraPower,   &ParaState::paraChannelMode, &ParaState::paraAverage, &ParaState::paraEvalMode,
    &ParaState::paraHold,    &ParaState::paraIntlim,      &ParaState::paraMaxNr,   &ParaState::paraOutMode,
    &ParaState::paraTrigger, &ParaState::paraExtteach,    &ParaState::paraMaxUp,   &ParaState::paraMaxDown,
    &ParaState::paraFrei13,  &ParaState::paraFrei14,      &ParaState::paraFrei15,  &ParaState::paraFrei16,
};

// The sensor checks at most the rows the table has.
void LimitMaxNr() {
    para.paraMaxNr = std::min(para.paraMaxNr, static_cast<uint16_t>(kTeachRows));
}

} // namespace

uint16_t &ParaWord(int k) {
    return para.*kWords[std::clamp(k, 0, kParaWords - 1)];
}

void RecordFromVars(uint16_t (&record)[kAnzPara]) {
    for (int k = 0; k < kParaWords; ++k)
        record[k] = ParaWord(k);
    for (int r = 0; r < kTeachRows; ++r)
        for (int j = 0; j < kTeachValues; ++j)
            record[kParaWords + kTeachValues * r + j] = para.paraTeachVec[r][j];
}

void VarsFromRecord(const uint16_t (&record)[kAnzPara]) {
    for (int k = 0; k < kParaWords; ++k)
        ParaWord(k) = record[k];
    for (int r = 0; r < kTeachRows; ++r)
        for (int j = 0; j < kTeachValues; ++j)
            para.paraTeachVec[r][j] = record[kParaWords + kTeachValues * r + j];
}

void CopyVarsToPP() {
    RecordFromVars(para.pp);
}

void CopyPPtoVars() {
    if (para.pp[0] != kAnswerMarker) return;
    if (para.pp[1] == 3) {
        for (int k = 0; k < kParaWords; ++k)
            ParaWord(k) = para.pp[2 + k];
        LimitMaxNr();
    } else if (para.pp[1] == 4) {
        const uint16_t r = para.pp[2];
        if (r >= kTeachRows) return; // a row the table does not have
        for (int j = 0; j < kTeachValues; ++j)
            para.paraTeachVec[r][j] = para.pp[3 + j];
    }
}

void CopyFileParatoVars() {
    VarsFromRecord(para.pp);
    LimitMaxNr();
}
