// VexaV32's start-up and shutdown, and navigation between the child panels.
#pragma once

namespace vexaprogram {

// Loads the eight panels from VexaV32.uir, places and shows them and brings up
// the connection (InitAll). Result 0, or -1 when a panel cannot be loaded.
int StartVexa();
// After the event loop: disconnects, closes the serial port, discards the panels.
void EndVexa();
// Returns every program variable and the link to their start values, for a fresh start.
void ResetVexa();

// Start values, brand area, connection settings, then the first connection attempt.
void InitAll();
// Shows child panel n in the shared place and marks its navigation button:
// 1 connection, 2 parameters, 3 teach table, 5 recorder; any other n shows none.
void ShowChildPanel(int n);

} // namespace vexaprogram
