// The help text of every VexaV32 control that explains itself: shown on a right
// click and as the control's tooltip. The texts are the sensor maker's, quoted
// exactly, blanks included; a few graphs title their popup "Info".
#include "vexa/gui.h"
#include "vexa/program.h"

using namespace programlink;

namespace vexaprogram {
namespace {

constexpr const char *kSelectMemory =
    " Select the source respectively the target for the parameter transfer.";
constexpr const char *kSetState =
    " Where the set on the panels stands: \n"
    " Sensor and panel agree: the sensor holds it in RAM and keeps it when switched off. \n"
    " In RAM, not stored in EEPROM: the sensor loses it when switched off; Send with EEPROM. \n"
    " Changed, not sent: only the panels hold it. \n"
    " As in file: the parameter file holds it, the sensor does not. ";
constexpr const char *kDispCh = " Displays the current intensity of CH_L, CH_C, CH_R. ";
constexpr const char *kDispAktMax =
    " Displays the present maximum of \n CH_L, CH_C, CH_R within the last 60 seconds.";
constexpr const char *kBarCh = " Displays the RAW values of CH_L, CH_C  and CH_R.";
constexpr const char *kRecordTime = " Displays the time for recording \n when all VALUES will be recorded.";
constexpr const char *kStartRecord = " Start data record.";
constexpr const char *kStopRecord = " Stop data record.";
constexpr const char *kGraphPanelGraph = " Displays the signals selected with SIGNAL. ";

const int *const mainP = &vexa.mainpanel;
const int *const paraP = &vexa.parapanel;
const int *const teachP = &vexa.ttpanel;
const int *const dataP = &vexa.datapanel;
const int *const connP = &vexa.interfacepanel;
const int *const recP = &vexa.recpanel;
const int *const graphP = &vexa.graphpanel;

const HelpText kVexaHelp[] = {
    // main panel
    {mainP, "ButtonPara", " Switch to sensor parameters."},
    {mainP, "ButtonTeachTable", " Switch to color teach table."},
    {mainP, "ButtonRecorder", " Switch to data recorder."},
    {mainP, "ButtonSend",
     " All the parameters of the PC-User-Interface are transferred to the sensor or to a selectable file. \n"
     " The target of the parameter transfer is determined by the select button (RAM, EEPROM, FILE). \n"
     " Shortcut Key: F9. "},
    {mainP, "ButtonGet",
     " Sensor or file parameters are transferred to the PC-User-Interface. \n"
     " The source of the parameter transfer is determined by the select button (RAM, EEPROM, FILE). \n"
     " Shortcut Key: F10. "},
    {mainP, "ButtonGo",
     " Starts data transfer (CH_REF, CH_DIR, CH_DIF, NORM, INT, V-No:) from sensor to PC. \n"
     " The data are shown in the displays, bars and in the graph.\n"
     " Shortcut Key: F11. "},
    {mainP, "ButtonStop", " Stops data transfer from sensor to PC.\n Shortcut Key: F12. "},
    {mainP, "SelectRAM", kSelectMemory},
    {mainP, "SelectEEPROM", kSelectMemory},
    {mainP, "SelectFILE", kSelectMemory},
    {mainP, "DispParaState", kSetState},
    {mainP, "DispTeachState", kSetState},
    {mainP, "ButtonCompare",
     " Lists, parameter by parameter and teach row by row, where the panels differ from \n"
     " the memory selected with RAM, EEPROM or FILE. Changes neither the sensor nor the panels. "},

    // parameter panel
    {paraP, "SlidePower",
     " Select the intensity of the transmitter LED. \n 0 = no intensity,  1000 = full intensity."},
    {paraP, "EditChannelMode", "Select the number of connected channels.\nSee Manual!"},
    {paraP, "EditAverage",
     " Select the number of scanning values (measurement values) over which the raw signal is averaged."},
    {paraP, "EditHold", " Select the minimum pulse length when a digital output changes."},
    {paraP, "EditIntlim",
     " Select an intensity limit. \n"
     " Evaluation is stopped, if the current intensity INT falls below this limit. \n"
     " ERROR STATE is output (V-No: = 255)."},
    {paraP, "EditOutmode",
     "Select how to control the 5 digital outputs. \n"
     "BINARY   : If a vector (row 0-30 in the TEACH TABLE) is detected, \n"
     "  this vector is displayed in V-No: and is set binary to the digital outputs (OUT0-OUT4). \n"
     "DIRECT LO: The maximum number of vectors to be taught is 5. \n"
     "  If a vector (row 0-4 in the TEACH TABLE) is detected, \n"
     "  the special digital output is set to LO, all others are HI. \n"
     "DIRECT HI: The maximum number of vectors to be taught is 5. \n"
     "  If a vector (row 0-4 in the TEACH TABLE) is detected, \n"
     "  the special digital output is set to HI, all others are LO. \n"
     "If no vector is detected, V-No: is 255."},
    {paraP, "EditMaxNo",
     " Select the number of vectors in the TEACH TABLE to be checked (beginning from row 0). \n"
     " Aktive rows are labelled green, inaktive are labelled red. \n"
     " If OUTMODE = BINARY the maximum number of vectors to be checked is 31. \n"
     " If OUTMODE = DIRECT HI or DIRECT LO the maximum number of vectors is 5."},
    {paraP, "EditTrigger",
     "Select the trigger mode for the sensor. \n"
     "CONT: Continuous evaluation (no trigger event required). \n"
     "EXT1: Evaluation as long as trigger (IN0) is high. \n"
     "  When trigger goes low, the last detected row (vector) will be hold at the output. \n"
     "EXT2: Evaluation as long as trigger (IN0) is high. \n"
     "  When trigger goes low, fail condition is output."},
    {paraP, "ExternTeach", "See Manual!"},
    {paraP, "Evalmode", "See Manual!"},
    {paraP, "EditMaxUp",
     "Select a time delay for maximum value tracing up. \n"
     "Range goes from 0 to 60000. \n"
     "Resolution is 10 Microseconds per step. \n"
     "0: Tracing up is very fast. \n"
     "60000: Tracing up is very slow."},
    {paraP, "EditMaxDown",
     "Select a time delay for maximum value tracing down. \n"
     "Range goes from 0 to 60000. \n"
     "Resolution is 10 Microseconds per step. \n"
     "0: Tracing down is very fast. \n"
     "60000: Tracing down is very slow."},

    // teach panel
    {teachP, "EditNo", " Select the current number of a row in the TEACH TABLE for TEACH DATA TO."},
    {teachP, "RadioInc", " Auto increment of Edit Field No.:"},
    {teachP, "ButtonTeachDataTo",
     " Current measured values are assigned to the \n TEACH TABLE row selected in the No.: function field."},
    {teachP, "ButtonResetTable", " Reset the TEACH TABLE. \n All cells are set to 1."},

    // data panel
    {dataP, "BarChL", kBarCh},
    {dataP, "BarChC", kBarCh},
    {dataP, "BarChR", kBarCh},
    {dataP, "DispChL", kDispCh},
    {dataP, "DispChC", kDispCh},
    {dataP, "DispChR", kDispCh},
    {dataP, "DispAktMaxChL", kDispAktMax},
    {dataP, "DispAktMaxChC", kDispAktMax},
    {dataP, "DispAktMaxChR", kDispAktMax},
    {dataP, "DispDensity", " Displays the calculated density. \n Formula for calculation: See Manual."},
    {dataP, "DispSym1", " Displays the calculated symmetry 1. \n Formula for calculation: See Manual."},
    {dataP, "DispSym2", " Displays the calculated symmetry 2. \n Formula for calculation: See Manual.",
     "Info"},
    {dataP, "DispVec",
     " Displays the currently detected vector number in\n"
     " accordance with the row in the COLOR TEACH TABLE. \n"
     " Double click opens a big display. \n"
     " Close the big display with a right mouse click. \n\n"
     " Failure condition is 255."},
    {dataP, "SelectSource", " Select a signal to be displayed in the graph."},
    {dataP, "ButtonShowGraph", " Switch to a graphical display for each signal."},
    {dataP, "GraphDensity",
     " Displays the present density. \n"
     " Left mouse double click on the Y-AXIS starts an auto zoom. \n"
     " Left mouse click scales the Y-AXIS fix."},
    {dataP, "GraphSym1",
     "Shows the tolerance range \nselected with No.: of SYMMETRY 1 \nand the actual value of SYMMETRY 1.",
     "Info"},
    {dataP, "GraphSym2",
     "Shows the tolerance range \nselected with No.: of SYMMETRY 2 \nand the actual value of SYMMETRY 2.",
     "Info"},
    {dataP, "GraphRaw1", " Displays a signal selected with SOURCE."},
    {dataP, "DispStatus", " Displays serial interface status messages."},

    // connection panel: the sensor ID is this program's own field
    {connP, "EditID",
     " Insert sensor identification. \n This ID will be displayed in some panels of the software."},

    // recorder panel
    {recP, "EditSelectDataRec", " Select how to record data frame. "},
    {recP, "EditInterval", " Choose a even interval for recording. \n Minimum interval is 1 second. "},
    {recP, "EditRecVal", " Choose how many Data should be recorded. "},
    {recP, "DispRecordTimeDays", kRecordTime},
    {recP, "DispRecordTimeHours", kRecordTime},
    {recP, "DispRecordTimeMinutes", kRecordTime},
    {recP, "DispRecordTimeSeconds", kRecordTime},
    {recP, "DispRecordedValues", " Displays how many values are already recorded."},
    {recP, "DispRemaining", " Displays how many values remain to be recorded."},
    {recP, "ButtonStartRecord", kStartRecord},
    {recP, "ButtonStopRecord", kStopRecord},
    {recP, "ButtonManualRecord", " Record one frame manually \n and append to existing file. "},
    {recP, "ButtonStartTrigRec", kStartRecord},
    {recP, "ButtonStopTrigRec", kStopRecord},
    {recP, "ButtonSelRecFile", " Select a record file for data save. "},
    {recP, "ButtonCloseRecorder", " Close the recorder and switch the sensor's auto-send off. "},
    {recP, "DispRecFile", " Shows the path of the record file. "},
    {recP, "EditRecFormat",
     " Choose the format of new record files: \n TAB-SEPARATED as always, or CSV with ISO 8601 \n time "
     "stamps "
     "for spreadsheets and data tools. \n Select the file again after a change. "},

    // graph panel
    {graphP, "EditSignal", " Select Signal to be displayed in the graph. "},
    {graphP, "ButtonGpClose", " Close PANEL and return to MAIN PANEL. "},
    {graphP, "GpGraphChL", kGraphPanelGraph},
    {graphP, "GpGraphChC", kGraphPanelGraph},
    {graphP, "GpGraphChR", kGraphPanelGraph},
    {graphP, "GpGraphDensity", kGraphPanelGraph},
    {graphP, "GpGraphSym1", kGraphPanelGraph},
    {graphP, "GpGraphSym2", kGraphPanelGraph},
    {graphP, "GpGraphTemp", kGraphPanelGraph},
};

} // namespace

HelpTable VexaHelpTexts() {
    return kVexaHelp;
}

} // namespace vexaprogram
