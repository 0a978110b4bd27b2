// KelvraV12: prepares the temperature compensation of a sensor and writes it
// into the sensor's memory.
#include "kelvra/startup.h"
#include "platform/userint.h"

int main(int argc, char **argv) {
    if (InitRunTime(argc, argv) == 0) return -1;
    if (StartKelvra() < 0) return -1;
    RunUserInterface();
    ShutdownKelvra();
    return 0;
}
