// Many targets at once: one child process of the tool per target, each with a
// connection of its own, so that sensors are served in parallel and one that
// hangs or fails holds up no other.
#pragma once

#include "ctl/target.h"

#include <QStringList>

#include <vector>

// Runs `program --json --name NAME TARGET arguments...` for every target, at
// most jobs at a time. Samples are printed as they come, prefixed with the
// target's name (or as JSON lines); then one result line per target, in the
// order of the list. The child's messages go to stderr with its name in front.
// Returns the highest exit code of the children.
int RunTargets(const QString &program, const std::vector<Target> &targets, const QStringList &arguments,
               bool json, int jobs);

// Asks every child to end (forwards SIGTERM); safe in a signal handler.
void StopTargets();
