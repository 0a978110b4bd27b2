// Callbacks of the memory selectors and of the parameter panel.
#include "platform/userint.h"
#include "vexa/gui.h"
#include "vexa/parapanel.h"
#include "vexa/paraset.h"
#include "vexa/program.h"

namespace {

constexpr const char *InfoSelectMemory =
    " Select the source respectively the target for the parameter transfer.";
constexpr const char *InfoEvalmode = "See Manual!";
constexpr const char *InfoExternTeach = "See Manual!";
constexpr const char *InfoEditChannelMode = "Select the number of connected channels.\nSee Manual!";
constexpr const char *InfoEditTrigger =
    "Select the trigger mode for the sensor. \n"
    "CONT: Continuous evaluation (no trigger event required). \n"
    "EXT1: Evaluation as long as trigger (IN0) is high. \n"
    "  When trigger goes low, the last detected row (vector) will be hold at the output. \n"
    "EXT2: Evaluation as long as trigger (IN0) is high. \n"
    "  When trigger goes low, fail condition is output.";
constexpr const char *InfoEditOutmode =
    "Select how to control the 5 digital outputs. \n"
    "BINARY   : If a vector (row 0-30 in the TEACH TABLE) is detected, \n"
    "  this vector is displayed in V-No: and is set binary to the digital outputs (OUT0-OUT4). \n"
    "DIRECT LO: The maximum number of vectors to be taught is 5. \n"
    "  If a vector (row 0-4 in the TEACH TABLE) is detected, \n"
    "  the special digital output is set to LO, all others are HI. \n"
    "DIRECT HI: The maximum number of vectors to be taught is 5. \n"
    "  If a vector (row 0-4 in the TEACH TABLE) is detected, \n"
    "  the special digital output is set to HI, all others are LO. \n"
    "If no vector is detected, V-No: is 255.";
constexpr const char *InfoEditMaxUp = "Select a time delay for maximum value tracing up. \n"
                                      "Range goes from 0 to 60000. \n"
                                      "Resolution is 10 Microseconds per step. \n"
                                      "0: Tracing up is very fast. \n"
                                      "60000: Tracing up is very slow.";
constexpr const char *InfoEditMaxDown = "Select a time delay for maximum value tracing down. \n"
                                        "Range goes from 0 to 60000. \n"
                                        "Resolution is 10 Microseconds per step. \n"
                                        "0: Tracing down is very fast. \n"
                                        "60000: Tracing down is very slow.";
constexpr const char *InfoEditAverage =
    " Select the number of scanning values (measurement values) over which the raw signal is averaged.";
constexpr const char *InfoEditIntlim =
    " Select an intensity limit. \n"
    " Evaluation is stopped, if the current intensity INT falls below this "
    "limit. \n ERROR STATE is output (V-No: = 255).";
constexpr const char *InfoEditHold = " Select the minimum pulse length when a digital output changes.";
constexpr const char *InfoSlidePower =
    " Select the intensity of the transmitter LED. \n 0 = no intensity,  1000 = full intensity.";
constexpr const char *InfoEditMaxNo =
    " Select the number of vectors in the TEACH TABLE to be checked (beginning from row 0). \n"
    " Aktive rows are labelled green, inaktive are labelled red. \n"
    " If OUTMODE = BINARY the maximum number of vectors to be checked is 31. \n"
    " If OUTMODE = DIRECT HI or DIRECT LO the maximum number of vectors is 5.";

// The selectors of RAM, EEPROM and DATFILE, in that order.
constexpr const char *kSelectors[] = {"SelectRAM", "SelectEEPROM", "SelectFILE"};

// A selector switched on takes the target and switches the others off; one
// switched off falls back to RAM, so RAM cannot be switched off directly.
int SelectMemory(int event, Memory memory) {
    if (event == EVENT_RIGHT_CLICK) ShowHelp(InfoSelectMemory);
    if (event != EVENT_VAL_CHANGED) return 0;
    int on = 0;
    GetCtrlVal(vexa.mainpanel, kSelectors[memory - RAM], on);
    if (on) {
        vexa.target = memory;
        for (int m = RAM; m <= DATFILE; ++m)
            SetCtrlVal(vexa.mainpanel, kSelectors[m - RAM], m == memory ? 1 : 0);
    } else {
        vexa.target = RAM;
        SetCtrlVal(vexa.mainpanel, "SelectRAM", 1);
    }
    return 0;
}

void CheckOutmode() {
    GetCtrlVal(vexa.parapanel, "EditMaxNo", para.paraMaxNr);
    GetCtrlVal(vexa.parapanel, "EditOutmode", para.paraOutMode);
    CheckMaxVec();
}

void CheckAndColourRows() {
    CheckOutmode();
    ColourTeachRows();
}

int CBF_SelectRAM(int, int, int event, void *, int, int) {
    return SelectMemory(event, RAM);
}

int CBF_SelectEEPROM(int, int, int event, void *, int, int) {
    return SelectMemory(event, EEPROM);
}

int CBF_SelectFILE(int, int, int event, void *, int, int) {
    return SelectMemory(event, DATFILE);
}

int CBF_Evalmode(int, int, int event, void *, int, int) {
    return CommitOrHelp(event, InfoEvalmode, InitEval);
}

int CBF_ExternTeach(int, int, int event, void *, int, int) {
    return CommitOrHelp(event, InfoExternTeach, InitExteach);
}

int CBF_EditChannelMode(int, int, int event, void *, int, int) {
    return CommitOrHelp(event, InfoEditChannelMode, InitChannelMode);
}

int CBF_EditTrigger(int, int, int event, void *, int, int) {
    return CommitOrHelp(event, InfoEditTrigger, InitTrigger);
}

int CBF_EditOutmode(int, int, int event, void *, int, int) {
    return CommitOrHelp(event, InfoEditOutmode, CheckOutmode);
}

int CBF_EditMaxNo(int, int, int event, void *, int, int) {
    return CommitOrHelp(event, InfoEditMaxNo, CheckAndColourRows);
}

int CBF_EditMaxUp(int, int, int event, void *, int, int) {
    return CommitOrHelp(event, InfoEditMaxUp, nullptr);
}

int CBF_EditMaxDown(int, int, int event, void *, int, int) {
    return CommitOrHelp(event, InfoEditMaxDown, nullptr);
}

int CBF_EditAverage(int, int, int event, void *, int, int) {
    return CommitOrHelp(event, InfoEditAverage, nullptr);
}

int CBF_EditIntlim(int, int, int event, void *, int, int) {
    return CommitOrHelp(event, InfoEditIntlim, nullptr);
}

int CBF_EditHold(int, int, int event, void *, int, int) {
    return CommitOrHelp(event, InfoEditHold, nullptr);
}

int CBF_SlidePower(int, int, int event, void *, int, int) {
    return CommitOrHelp(event, InfoSlidePower, nullptr);
}

} // namespace

void RegisterParaCallbacks() {
    const NamedCallback callbacks[] = {
        {"CBF_SelectRAM", CBF_SelectRAM},     {"CBF_SelectEEPROM", CBF_SelectEEPROM},
        {"CBF_SelectFILE", CBF_SelectFILE},   {"CBF_Evalmode", CBF_Evalmode},
        {"CBF_ExternTeach", CBF_ExternTeach}, {"CBF_EditChannelMode", CBF_EditChannelMode},
        {"CBF_EditTrigger", CBF_EditTrigger}, {"CBF_EditOutmode", CBF_EditOutmode},
        {"CBF_EditMaxNo", CBF_EditMaxNo},     {"CBF_EditMaxUp", CBF_EditMaxUp},
        {"CBF_EditMaxDown", CBF_EditMaxDown}, {"CBF_EditAverage", CBF_EditAverage},
        {"CBF_EditIntlim", CBF_EditIntlim},   {"CBF_EditHold", CBF_EditHold},
        {"CBF_SlidePower", CBF_SlidePower},
    };
    RegisterAll(callbacks);
}
