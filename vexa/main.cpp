// VexaV32: parameterises and watches a three-channel optical sensor.
#include "link/linkstate.h"
#include "platform/userint.h"

#include "vexa/startup.h"
#include <cstdio>
#include <string>

using namespace programlink;
using namespace vexaprogram;

int main(int argc, char **argv) {
    if (InitRunTime(argc, argv) == 0) return -1;
    if (const std::string error = StartLinkTraceFromArguments(argc, argv); !error.empty()) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 2;
    }
    if (StartVexa() < 0) return -1;
    RunUserInterface();
    EndVexa();
    return 0;
}
