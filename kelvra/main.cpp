// KelvraV12: prepares the temperature compensation of a sensor and writes it
// into the sensor's memory.
#include "kelvra/startup.h"
#include "link/linkstate.h"
#include "platform/userint.h"

#include <cstdio>
#include <string>

using namespace programlink;
using namespace kelvraprogram;

int main(int argc, char **argv) {
    if (InitRunTime(argc, argv) == 0) return -1;
    if (const std::string error = StartLinkTraceFromArguments(argc, argv); !error.empty()) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 2;
    }
    if (StartKelvra() < 0) return -1;
    RunUserInterface();
    ShutdownKelvra();
    return 0;
}
