#include "kelvra/transfer.h"

#include "kelvra/kelvradata.h"
#include "link/com232.h"
#include "link/frame.h"
#include "link/linkstate.h"
#include "platform/rs232.h"
#include "platform/utility.h"

#include <algorithm>
#include <functional>

namespace {

constexpr uint16_t kBlockCommand = 180;
constexpr uint16_t kWriteCommand = 182;
constexpr double kBlockPause = 0.2;
constexpr double kEchoTimeout = 2.0;

// The pause the sensor needs after a block announcement. No user-interface
// events run meanwhile; the thread sleeps instead of spinning.
void BlockPause() {
    com.tstart = Timer();
    com.tdiff = 0.0;
    while (com.tdiff < kBlockPause) {
        Sleep(std::max(1, static_cast<int>((kBlockPause - com.tdiff) * 1000)));
        com.tdiff = Timer() - com.tstart;
    }
}

bool AnnounceBlocks(const TransferPlan &plan) {
    com.order = kBlockCommand;
    for (int b = 0; b < plan.blockCount; ++b) {
        FillTxBuf(com.order, 0, plan.blocks[b], 0);
        SendTxBuf(); // only the echo decides here, not the count written
        CheckEcho(2);
        if (com.comecho == 0) return false;
        BlockPause();
    }
    return true;
}

bool WriteFrames(const PanelDesc &p, const std::function<void(double)> &progress) {
    double value = 0.0;
    com.order = kWriteCommand;
    for (int f = 0; f < TransferFrames(p); ++f) {
        const FrameSlot slot = TransferFrame(p, f);
        FillTxBuf(com.order, slot.source, slot.address, kWordsPerFrame);
        SendTxBuf();
        if (com.nBytesW != com.anzframe * 2) {
            SetPopupTimeout();
            return false;
        }
        CheckEcho(kWordsPerFrame + 4);
        if (com.comecho == 0) return false;
        value += p.plan.progressStep;
        progress(value);
    }
    return true;
}

} // namespace

void SetUpCompensationLink() {
    linkProgram = LinkProgram{};
    linkProgram.frameSource = FrameSource::CompensationWords;
    linkProgram.dataCfSendBuf = &kdata.dataCfSendBuf;
    linkProgram.echoTimeout = kEchoTimeout;
}

FrameSlot TransferFrame(const PanelDesc &p, int f) {
    const int n = p.plan.wordsPerChannel;
    const int step = kWordsPerFrame * f;
    if (!p.plan.paged) return {static_cast<uint16_t>(step), static_cast<uint16_t>(p.plan.blocks[0] + step)};
    const int framesPerChannel = n / kWordsPerFrame;
    const int k = f / framesPerChannel, within = kWordsPerFrame * (f % framesPerChannel);
    return {static_cast<uint16_t>(k * n + within), static_cast<uint16_t>(p.plan.blocks[k] + within)};
}

void StageFactors(const PanelDesc &p) {
    const int n = p.plan.wordsPerChannel;
    for (int k = 0; k < p.channelCount; ++k)
        std::copy_n(Factors(p.channels[k]), n, kdata.dataCfSendBuf + k * n);
}

bool WriteFactors(const PanelDesc &p, const std::function<void(double)> &progress) {
    if (com.comprotocol == 0) {
        FlushInQ(com.comport);
        FlushOutQ(com.comport);
    }
    if (!AnnounceBlocks(p.plan)) return false;
    StageFactors(p);
    return WriteFrames(p, progress);
}
