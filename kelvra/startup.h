// KelvraV12's start-up and shutdown, and the choice of the data panel that
// fits the connected sensor.
#pragma once

#include <cstdint>

namespace kelvraprogram {

// The panel resource file beside the program.
constexpr const char *kKelvraProgram = "KelvraV12"; // also names its per-user settings folder
constexpr const char *kKelvraUir = "KelvraV12.uir";
constexpr const char *kKelvraTitle = "KELVRA-Scope V1.2";

// Loads the panels in order, places the data panels, shows the main panel and
// runs InitAll. Result 0, or -1 when a panel cannot be loaded.
int StartKelvra();
// Closes an open TCP connection and discards the panels.
void ShutdownKelvra();

// Start values, brand area, server list, stored settings and the first connection attempt.
void InitAll();

// Selects the sensor named in the version text and shows its data panel.
void SetChildPanel();
// Shows the data panel of the sensor chosen in the selector, hiding the others first.
void ShowChildPanel();

} // namespace kelvraprogram
