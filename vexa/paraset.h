// The sensor's parameter set as the program holds it: sixteen parameter
// variables, the teach table, and the 202-word record pp that is both the
// frame image of the transfers and the content of a parameter file.
#pragma once

#include "link/linkstate.h"

#include <cstdint>

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
};

extern ParaState para;

// The variable of record word k (0..15), in record order.
uint16_t &ParaWord(int k);

// Builds a whole record from the variables.
void RecordFromVars(uint16_t (&record)[kAnzPara]);
// Sets every variable from a whole record, as it stands.
void VarsFromRecord(const uint16_t (&record)[kAnzPara]);
// Builds all 202 words of pp from the variables.
void CopyVarsToPP();
// Decodes one answer frame held in pp words 0..17: the parameters (command 3)
// or one teach row (command 4). Anything else, or a row beyond the table, is ignored.
void CopyPPtoVars();
// Takes all 202 record words of pp (a parameter file) into the variables.
void CopyFileParatoVars();
