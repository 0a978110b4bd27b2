// The per-panel calculation steps: read the panel's fields, calculate into the
// program data (calc.h) and draw the results into the panel's charts.
#pragma once

#include "kelvralink/plausibility.h"
#include "kelvralink/transfer.h"

namespace kelvraprogram {

// Curves from the panel's coefficient fields, drawn into its curve charts, where the
// degrees whose curve values cannot be right are marked and counted.
void CalcCurvesData(int n);
// Whether the curve arrays hold panel n's curves of the coefficients it shows.
bool CurvesAreOfPanel(int n);
// Set points at the panel's reference temperature, shown as values and words.
void CalcSetPointData(int n);
// Correction factors from the panel's set-point words, drawn into its CF charts; the
// degrees that cannot be right are marked and counted, and returned.
kelvralink::CalibrationCheck CalcCfCurvesData(int n);

// The same steps under each data panel's own name.
void CalcCurvesDataP1();
void CalcCurvesDataP2();
void CalcCurvesDataP3();
void CalcCurvesDataP4();
void CalcCurvesDataP5();
void CalcCurvesDataP6();
void CalcSetPointDataP1();
void CalcSetPointDataP2();
void CalcSetPointDataP3();
void CalcSetPointDataP4();
void CalcSetPointDataP5();
void CalcSetPointDataP6();
void CalcCfCurvesDataP1();
void CalcCfCurvesDataP2();
void CalcCfCurvesDataP3();
void CalcCfCurvesDataP4();
void CalcCfCurvesDataP5();
void CalcCfCurvesDataP6();

// Sets the link up for the transfer: frames from dataCfSendBuf, a 2 s echo
// wait. Panels and the program's hooks are left to the caller.
void SetUpCompensationLink();
// Writes the factors of data panel n, showing progress on the panel. Outcome
// in the sensor's echo flag: set when every frame was confirmed; a failure has
// gone through SetPopupTimeout.
void SendParaData(int n);
// How far the last SendParaData came.
const kelvralink::TransferReach &LastTransferReach();
// The same under each data panel's own name.
void SendParaDataP1();
void SendParaDataP2();
void SendParaDataP3();
void SendParaDataP4();
void SendParaDataP5();
void SendParaDataP6();

} // namespace kelvraprogram
