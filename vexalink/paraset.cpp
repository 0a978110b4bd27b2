#include "vexalink/paraset.h"

#include <algorithm>

namespace vexalink {

namespace {

// The sixteen variables in record order.
constexpr uint16_t ParaState::*kWords[kParaWords] = {
    &ParaState::paraPower,   &ParaState::paraChannelMode, &ParaState::paraAverage, &ParaState::paraEvalMode,
    &ParaState::paraHold,    &ParaState::paraIntlim,      &ParaState::paraMaxNr,   &ParaState::paraOutMode,
    &ParaState::paraTrigger, &ParaState::paraExtteach,    &ParaState::paraMaxUp,   &ParaState::paraMaxDown,
    &ParaState::paraFrei13,  &ParaState::paraFrei14,      &ParaState::paraFrei15,  &ParaState::paraFrei16,
};

// The sensor checks at most the rows the table has.
void LimitMaxNr(ParaState &p) {
    p.paraMaxNr = std::min(p.paraMaxNr, static_cast<uint16_t>(kTeachRows));
}

} // namespace

uint16_t &ParaState::word(int k) {
    return this->*kWords[std::clamp(k, 0, kParaWords - 1)];
}

uint16_t ParaState::word(int k) const {
    return this->*kWords[std::clamp(k, 0, kParaWords - 1)];
}

void ParaState::recordFromVars(uint16_t (&record)[kAnzPara]) const {
    for (int k = 0; k < kParaWords; ++k)
        record[k] = word(k);
    for (int r = 0; r < kTeachRows; ++r)
        for (int j = 0; j < kTeachValues; ++j)
            record[kParaWords + kTeachValues * r + j] = paraTeachVec[r][j];
}

void ParaState::varsFromRecord(const uint16_t (&record)[kAnzPara]) {
    for (int k = 0; k < kParaWords; ++k)
        word(k) = record[k];
    for (int r = 0; r < kTeachRows; ++r)
        for (int j = 0; j < kTeachValues; ++j)
            paraTeachVec[r][j] = record[kParaWords + kTeachValues * r + j];
}

void ParaState::copyVarsToPP() {
    recordFromVars(pp);
}

void ParaState::copyPPtoVars() {
    if (pp[0] != kAnswerMarker) return;
    if (pp[1] == 3) {
        for (int k = 0; k < kParaWords; ++k)
            word(k) = pp[2 + k];
        LimitMaxNr(*this);
    } else if (pp[1] == 4) {
        const uint16_t r = pp[2];
        if (r >= kTeachRows) return; // a row the table does not have
        for (int j = 0; j < kTeachValues; ++j)
            paraTeachVec[r][j] = pp[3 + j];
    }
}

void ParaState::copyFileParatoVars() {
    varsFromRecord(pp);
    LimitMaxNr(*this);
}

} // namespace vexalink
