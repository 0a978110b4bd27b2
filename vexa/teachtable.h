// The teach table on the teach panel: filling a row from the live values,
// resetting it, and the row that "No." selects.
#pragma once

namespace vexaprogram {

// Writes the live density and symmetries with their standard tolerances into
// the row selected in "No."; advances "No." when auto increment is on.
void TeachDataTo();
// Every cell to 1, "No." to 0, the symmetry bands removed.
void ResetTable();
// The teach vector selected in "No.", always one the table has (0..30).
int SelectedVector();
// Teach value j (0..5) of vector v as the grid holds it.
int TeachCell(int v, int j);

} // namespace vexaprogram
