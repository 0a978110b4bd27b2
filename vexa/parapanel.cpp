#include "vexa/parapanel.h"

#include "platform/userint.h"
#include "vexa/paravars.h"
#include "vexa/program.h"

#include <algorithm>

using vexalink::kAnzPara;
using vexalink::kBinaryOutMode;
using vexalink::kParaWords;
using vexalink::kTeachRows;
using vexalink::kTeachValues;

namespace vexaprogram {
namespace {

// The twelve parameters that have a control, by record word.
struct ParaControl {
    int word;
    const char *name;
};
constexpr ParaControl kControls[] = {
    {0, "SlidePower"},  {1, "EditChannelMode"}, {2, "EditAverage"}, {3, "Evalmode"},
    {4, "EditHold"},    {5, "EditIntlim"},      {6, "EditMaxNo"},   {7, "EditOutmode"},
    {8, "EditTrigger"}, {9, "ExternTeach"},     {10, "EditMaxUp"},  {11, "EditMaxDown"},
};

constexpr const char *kGrid = "GridCtt";
constexpr int kActiveRow = MakeColor(0, 128, 0);
constexpr int kInactiveRow = MakeColor(255, 0, 0);
constexpr const char *kMaxVecWarning =
    " ATTENTION! \n \n MAXVEC-No. IS TOO HIGH \n DECREASE MAXVEC-No. OR SWITCH TO OUTMODE=BINARY";

void ShowMaxima(int visible) {
    for (const char *name : {"DispAktMaxChL", "DispAktMaxChC", "DispAktMaxChR"})
        SetCtrlAttribute(vexa.datapanel, name, ATTR_VISIBLE, visible);
}

} // namespace

void PanelRecord(uint16_t (&record)[kAnzPara]) {
    RecordFromVars(record);
    for (const ParaControl &c : kControls)
        GetCtrlVal(vexa.parapanel, c.name, record[c.word]);
    for (int row = 1; row <= kTeachRows; ++row)
        for (int col = 1; col <= kTeachValues; ++col)
            GetTableCellVal(vexa.ttpanel, kGrid, MakePoint(col, row),
                            record[kParaWords + kTeachValues * (row - 1) + col - 1]);
}

void GetPanelValues() {
    uint16_t record[kAnzPara];
    PanelRecord(record);
    VarsFromRecord(record);
}

void SetPanelValues() {
    for (const ParaControl &c : kControls)
        SetCtrlVal(vexa.parapanel, c.name, ParaWord(c.word));
    for (int row = 1; row <= kTeachRows; ++row)
        for (int col = 1; col <= kTeachValues; ++col)
            SetTableCellVal(vexa.ttpanel, kGrid, MakePoint(col, row), para.paraTeachVec[row - 1][col - 1]);
}

void InitEval() {
    GetCtrlVal(vexa.parapanel, "Evalmode", para.paraEvalMode);
    if (para.paraEvalMode <= 1) {
        const int on = para.paraEvalMode;
        ShowMaxima(on);
        SetCtrlAttribute(vexa.parapanel, "EditMaxUp", ATTR_DIMMED, !on);
        SetCtrlAttribute(vexa.parapanel, "EditMaxDown", ATTR_DIMMED, !on);
    }
    // External teach first, so that it wins over a trigger mode.
    InitExteach();
    InitTrigger();
    GetCtrlVal(vexa.parapanel, "EditMaxNo", para.paraMaxNr);
    CheckMaxVec();
    ColourTeachRows();
}

void InitExteach() {
    GetCtrlVal(vexa.parapanel, "ExternTeach", para.paraExtteach);
    if (para.paraExtteach == 0) {
        SetCtrlAttribute(vexa.parapanel, "EditTrigger", ATTR_DIMMED, 0);
    } else if (para.paraExtteach == 1) {
        SetCtrlVal(vexa.parapanel, "EditTrigger", 0);
        SetCtrlAttribute(vexa.parapanel, "EditTrigger", ATTR_DIMMED, 1);
    }
}

void InitTrigger() {
    GetCtrlVal(vexa.parapanel, "EditTrigger", para.paraTrigger);
    if (para.paraTrigger == 0) {
        SetCtrlAttribute(vexa.parapanel, "ExternTeach", ATTR_DIMMED, 0);
        SetCtrlAttribute(vexa.datapanel, "DispTrigger", ATTR_VISIBLE, 0);
    } else if (para.paraTrigger <= 2) {
        SetCtrlVal(vexa.parapanel, "ExternTeach", 0);
        SetCtrlAttribute(vexa.parapanel, "ExternTeach", ATTR_DIMMED, 1);
        SetCtrlAttribute(vexa.datapanel, "DispTrigger", ATTR_VISIBLE, 1);
    }
}

void InitChannelMode() {
    GetCtrlVal(vexa.parapanel, "EditChannelMode", para.paraChannelMode);
}

void CheckMaxVec() {
    if (para.paraMaxNr > vexa.anzOut && para.paraOutMode != kBinaryOutMode)
        MessagePopup("INFO!", kMaxVecWarning);
}

void ColourTeachRows() {
    // A MAXVEC-No. beyond the table makes every row active, never a row that is not there.
    const int active = std::min<int>(para.paraMaxNr, kTeachRows);
    for (int row = 1; row <= kTeachRows; ++row)
        SetTableRowAttribute(vexa.ttpanel, kGrid, row, ATTR_LABEL_COLOR,
                             row <= active ? kActiveRow : kInactiveRow);
}

} // namespace vexaprogram
