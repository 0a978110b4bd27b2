// VexaV32: parameterises and watches a three-channel optical sensor.
#include "platform/userint.h"
#include "vexa/startup.h"

int main(int argc, char **argv) {
    if (InitRunTime(argc, argv) == 0) return -1;
    if (StartVexa() < 0) return -1;
    RunUserInterface();
    EndVexa();
    return 0;
}
