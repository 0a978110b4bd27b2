// sensorctl's commands, one table row each: name, usage, what it does, the
// options it takes, and the job that carries it out. --help, the checks of the
// command line and the dispatch are all made from this table.
#pragma once

#include "ctl/job.h"
#include "ctl/request.h"
#include "ctl/target.h"

#include <span>
#include <string>
#include <vector>

namespace ctl {

enum class FileUse {
    None,
    Reads,  // a FILE after the command
    Writes, // -o FILE
};

// A command that runs as a whole rather than once per target; its exit code.
using WholeRun = int (*)(const Request &);

struct Command {
    const char *name;
    const char *usage; // the command with its arguments and options
    const char *summary;
    unsigned options; // the Option bits it takes
    FileUse file;
    JobMaker make;  // per target; or
    WholeRun whole; // without a target
    bool writes;    // writes into sensors: --jobs limits how many at once
};

std::span<const Command> Commands();
// The row of a command, or nullptr.
const Command *FindCommand(const std::string &name);
// What is wrong with the request for its command; "" when nothing is. given:
// the Option bits the command line set.
std::string RequestProblem(const Command &command, const Request &request, unsigned given);
// What is wrong with the request for the given targets (their topics, their files), before any is touched;
// "" when nothing is.
std::string TargetsProblem(const Request &request, const std::vector<Target> &targets);
// publish: whether the run's targets share one broker connection (several
// targets without --connection-per-target); its last will is then the tool's own status.
bool SharesConnection(const Request &request);
// publish: the prefix of the tool's own status topic when targets share a
// connection: --topic with the --client-id, or "sensorctl", for %n.
std::string PublishToolTopic(const Request &request);
// The command list of --help.
std::string CommandHelp();

} // namespace ctl
