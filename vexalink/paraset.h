// The sensor's parameter set as the program holds it: sixteen parameter
// variables, the teach table, and the 202-word record pp that is both the
// frame image of the transfers and the content of a parameter file.
#pragma once

#include <cstdint>

namespace vexalink {

constexpr int kAnzPara = 202;   // words of the parameter record pp
constexpr int kParaWords = 16;  // parameters at the head of the record
constexpr int kTeachRows = 31;  // anzVec
constexpr int kTeachValues = 6; // density, tolerance, sym 1, tolerance, sym 2, tolerance
static_assert(kParaWords + kTeachRows * kTeachValues == kAnzPara);

constexpr uint16_t kAnswerMarker = 0x00AA;
constexpr uint16_t kBinaryOutMode = 1; // paraOutMode: vector number in binary on OUT0-OUT4

struct ParaState {
    uint16_t paraPower = 0;
    uint16_t paraChannelMode = 0;
    uint16_t paraAverage = 0;
    uint16_t paraEvalMode = 0;
    uint16_t paraHold = 0;
    uint16_t paraIntlim = 0;
    uint16_t paraMaxNr = 0;
    uint16_t paraOutMode = 0;
    uint16_t paraTrigger = 0;
    uint16_t paraExtteach = 0;
    uint16_t paraMaxUp = 0;
    uint16_t paraMaxDown = 0;
    uint16_t paraFrei13 = 0;
    uint16_t paraFrei14 = 0;
    uint16_t paraFrei15 = 0;
    uint16_t paraFrei16 = 0;
    uint16_t paraTeachVec[kTeachRows][kTeachValues] = {};
    uint16_t pp[kAnzPara] = {};

    // The variable of record word k (0..15), in record order.
    uint16_t &word(int k);
    uint16_t word(int k) const;
    // Builds a whole record from the variables.
    void recordFromVars(uint16_t (&record)[kAnzPara]) const;
    // Sets every variable from a whole record, as it stands.
    void varsFromRecord(const uint16_t (&record)[kAnzPara]);
    // Builds all 202 words of pp from the variables (CopyVarsToPP).
    void copyVarsToPP();
    // Decodes one answer frame held in pp words 0..17 (CopyPPtoVars): the
    // parameters (command 3) or one teach row (command 4). Anything else, or a
    // row beyond the table, is ignored.
    void copyPPtoVars();
    // Takes all 202 record words of pp (a parameter file) into the variables
    // (CopyFileParatoVars).
    void copyFileParatoVars();
};

} // namespace vexalink
