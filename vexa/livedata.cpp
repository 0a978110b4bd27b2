#include "vexa/livedata.h"

#include "link/com232.h"
#include "link/connectpanel.h"
#include "link/frame.h"
#include "platform/rs232.h"
#include "platform/userint.h"
#include "platform/utility.h"
#include "vexa/program.h"

LiveState live;

namespace {
constexpr int kCyclePauseMs = 50;
} // namespace

void GetData() {
    vexa.poll = 1;
    if (com.comprotocol == 0) {
        FlushInQ(com.comport);
        FlushOutQ(com.comport);
    }
    while (vexa.poll == 1) {
        com.order = 5;
        FillTxBuf(5, 0, 0, 0);
        if (ExchangeFrame())
            GetRxBufData();
        else
            SetPopupTimeout();
        ProcessSystemEvents();
        Sleep(kCyclePauseMs);
    }
}

void DispVis() {
    int source = 0;
    GetCtrlVal(vexa.datapanel, "SelectSource", source);
    if (source != 0 && source != 1) return;
    SetCtrlAttribute(vexa.datapanel, "GraphRaw1", ATTR_VISIBLE, source == 1);
    for (const char *name : {"GraphDensity", "GraphSym1", "GraphSym2"})
        SetCtrlAttribute(vexa.datapanel, name, ATTR_VISIBLE, source == 0);
}
