// Runs one command for every target on the calling thread's event loop: all
// jobs at once, apart from commands that write into sensors, of which at most
// a given number run at a time. SIGINT and SIGTERM ask every job to end, and
// the run ends within a second after the signal.
#pragma once

#include "ctl/commands.h"
#include "ctl/output.h"
#include "ctl/target.h"

#include <vector>

namespace ctl {

// Prints each target's result in the list's order; returns the highest exit code.
int RunFleet(const Command &command, const std::vector<Target> &targets, const Request &request,
             const Output &output, int writersAtOnce);

} // namespace ctl
