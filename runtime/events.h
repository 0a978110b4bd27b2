// The event pump every wait of the link is built on. It needs only Qt Core, so
// a program without windows waits the same way as the two with windows.
#pragma once

namespace runtime {

// The result of both when there is no application object yet; the panel calls
// give the same code (UIE_NOT_INITIALISED).
constexpr int kNoEventLoop = -10;

// Runs the pending events and returns at once, also when none is pending.
int ProcessSystemEvents();
// Runs pending events; when none is pending, sleeps until the next one arrives,
// at most the given seconds. Every wait loop is built on it, so that it costs
// no CPU and wakes on the byte or click it waits for.
int WaitForSystemEvents(double seconds);

} // namespace runtime
