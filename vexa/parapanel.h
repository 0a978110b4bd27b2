// The parameter set on the panels: the parameter panel's controls, the
// teach-table grid, and the rules that dim or force dependent controls.
#pragma once

#include "vexalink/paraset.h"

#include <cstdint>

namespace vexaprogram {

// The whole record the panels show: controls and grid, the spare words from their
// variables. Changes no variable.
void PanelRecord(uint16_t (&record)[vexalink::kAnzPara]);
// Panel controls and grid -> variables (the spare words are not touched).
void GetPanelValues();
// Variables -> panel controls and grid.
void SetPanelValues();

// Evaluation mode: shows or hides the 60-second maxima and the tracing delays,
// then applies the teach and trigger rules, the MAXVEC check and the row colours.
void InitEval();
// External teach on forces the trigger to CONT and dims it.
void InitExteach();
// A trigger mode forces external teach off, dims it and shows the trigger display.
void InitTrigger();
// The channel mode has no dependent controls.
void InitChannelMode();
// Warns when more vectors are checked than outputs exist outside binary output mode.
void CheckMaxVec();
// Row labels of the active vectors (rows 1..paraMaxNr) dark green, the others red.
void ColourTeachRows();

} // namespace vexaprogram
