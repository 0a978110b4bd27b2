#include "vexa/teachtable.h"

#include "platform/userint.h"
#include "vexa/livedata.h"
#include "vexa/paravars.h"
#include "vexa/program.h"

#include <algorithm>

using vexalink::kTeachRows;
using vexalink::kTeachValues;

namespace vexaprogram {
namespace {

constexpr const char *kGrid = "GridCtt";
constexpr int kDensityTolerance = 100;
constexpr int kSymmetryTolerance = 50;

} // namespace

int SelectedVector() {
    int no = 0;
    GetCtrlVal(vexa.ttpanel, "EditNo", no);
    // "No." may come from a resource that admits more; only rows the table has are addressed.
    return std::clamp(no, 0, kTeachRows - 1);
}

int TeachCell(int v, int j) {
    int value = 0;
    GetTableCellVal(vexa.ttpanel, kGrid, MakePoint(j + 1, v + 1), value);
    return value;
}

void TeachDataTo() {
    const int n = SelectedVector();
    const int row[kTeachValues] = {live.dataDensity,   kDensityTolerance, live.dataSym1,
                                   kSymmetryTolerance, live.dataSym2,     kSymmetryTolerance};
    for (int j = 0; j < kTeachValues; ++j)
        SetTableCellVal(vexa.ttpanel, kGrid, MakePoint(j + 1, n + 1), row[j]);
    int autoInc = 0;
    GetCtrlVal(vexa.ttpanel, "RadioInc", autoInc);
    if (autoInc == 1 && n < kTeachRows - 1) SetCtrlVal(vexa.ttpanel, "EditNo", n + 1);
}

void ResetTable() {
    SetCtrlVal(vexa.ttpanel, "EditNo", 0);
    for (int row = 1; row <= kTeachRows; ++row)
        for (int col = 1; col <= kTeachValues; ++col)
            SetTableCellVal(vexa.ttpanel, kGrid, MakePoint(col, row), 1);
    for (const char *graph : {"GraphSym1", "GraphSym2"})
        DeleteGraphPlot(vexa.datapanel, graph, -1, VAL_IMMEDIATE_DRAW);
}

} // namespace vexaprogram
