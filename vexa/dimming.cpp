#include "vexa/dimming.h"

#include "platform/userint.h"
#include "runtime/events.h"
#include "vexa/program.h"

using namespace runtime;

namespace vexaprogram {

void SetButtonsDimmed(int flag) {
    for (const char *name :
         {"ButtonSend", "ButtonGet", "ButtonGo", "SelectRAM", "SelectEEPROM", "SelectFILE", "ButtonCompare"})
        SetCtrlAttribute(vexa.mainpanel, name, ATTR_DIMMED, flag);
    for (const char *name : {"ButtonTryToConnect", "ButtonDiscard"})
        SetCtrlAttribute(vexa.interfacepanel, name, ATTR_DIMMED, flag);
    // Closing the recorder sends a frame of its own: not while an exchange runs.
    for (const char *name : {"EditSelectDataRec", "ButtonStartRecord", "ButtonStartTrigRec",
                             "ButtonSelRecFile", "ButtonCloseRecorder"})
        SetCtrlAttribute(vexa.recpanel, name, ATTR_DIMMED, flag);
    ProcessSystemEvents();
}

} // namespace vexaprogram
