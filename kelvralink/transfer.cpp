#include "kelvralink/transfer.h"

#include "kelvralink/kelvradata.h"

#include <algorithm>
#include <memory>

namespace kelvralink {
namespace {

using sensor::Sensor;

constexpr uint16_t kBlockCommand = 180;
constexpr uint16_t kWriteCommand = 182;
constexpr double kBlockPause = 0.2;
constexpr double kEchoTimeout = 2.0;
constexpr int kMaxDataWords = sensor::kFrameWords - 4; // words 4..17 of a command-182 frame

// One transfer in progress: what its steps share.
struct Transfer {
    Sensor &s;
    const PanelDesc &p;
    std::function<void(double)> progress;
    OnFailure failed;
    Sensor::Done done;
    TransferReach *reach;
    double value = 0.0; // of the progress indicator

    void fail() {
        s.setEchoOk(false);
        if (failed) failed();
        done(false);
    }
};

void WriteFrames(std::shared_ptr<Transfer> t, int f) {
    if (f == TransferFrames(t->p)) return t->done(true);
    const FrameSlot slot = TransferFrame(t->p, f);
    if (t->reach) t->reach->writing = true;
    t->s.fillFrame(kWriteCommand, slot.source, slot.address, kWordsPerFrame);
    if (t->s.send() != sensor::kFrameBytes) {
        // The one write whose count is looked at; an echo wait would only time out.
        t->s.pause(0.0, [t](bool) { t->fail(); });
        return;
    }
    t->s.checkEcho(kWordsPerFrame + 4, [t, f](bool ok) {
        if (!ok) return t->fail();
        if (t->reach) ++t->reach->framesConfirmed;
        t->value += t->p.plan.progressStep;
        t->progress(t->value);
        WriteFrames(t, f + 1);
    });
}

// Each block announcement is echo-checked, then the sensor is given its pause.
void AnnounceBlocks(std::shared_ptr<Transfer> t, int b) {
    if (b == t->p.plan.blockCount) return WriteFrames(t, 0);
    t->s.fillFrame(kBlockCommand, 0, t->p.plan.blocks[b]);
    t->s.send(); // only the echo decides here, not the count written
    t->s.checkEcho(2, [t, b](bool ok) {
        if (!ok) return t->fail();
        t->s.pause(kBlockPause, [t, b](bool) { AnnounceBlocks(t, b + 1); });
    });
}

} // namespace

bool CompensationFrames::fill(Sensor &s, uint16_t order, uint16_t a, uint16_t b, uint16_t n) {
    if (order == kBlockCommand) {
        s.putWord(2, b);
    } else if (order == kWriteCommand) {
        if (n > kMaxDataWords || a + n > kCfSendWords) return false;
        s.putWord(2, b);
        s.putWord(3, n);
        for (int j = 0; j < n; ++j)
            s.putWord(4 + j, m_words[a + j]);
    }
    return true;
}

FrameSlot TransferFrame(const PanelDesc &p, int f) {
    const int n = p.plan.wordsPerChannel;
    const int step = kWordsPerFrame * f;
    if (!p.plan.paged) return {static_cast<uint16_t>(step), static_cast<uint16_t>(p.plan.blocks[0] + step)};
    const int framesPerChannel = n / kWordsPerFrame;
    const int k = f / framesPerChannel, within = kWordsPerFrame * (f % framesPerChannel);
    return {static_cast<uint16_t>(k * n + within), static_cast<uint16_t>(p.plan.blocks[k] + within)};
}

void StageFactors(const PanelDesc &p, uint16_t (&words)[kCfSendWords]) {
    const int n = p.plan.wordsPerChannel;
    for (int k = 0; k < p.channelCount; ++k)
        std::copy_n(Factors(p.channels[k]), n, words + k * n);
}

void SetUp(Sensor &s, CompensationFrames &frames) {
    s.setFrameSource(&frames);
    s.setEchoTimeout(kEchoTimeout);
}

void Connect(Sensor &s, Sensor::Done done) {
    s.open([&s, done = std::move(done)](bool opened) mutable {
        if (!opened) return done(false);
        s.queryVersion(std::move(done));
    });
}

void WriteFactors(Sensor &s, const PanelDesc &p, std::function<void(double)> progress, OnFailure failed,
                  Sensor::Done done, TransferReach *reach) {
    s.discardQueues();
    if (reach) *reach = {};
    AnnounceBlocks(std::make_shared<Transfer>(
                       Transfer{s, p, std::move(progress), std::move(failed), std::move(done), reach}),
                   0);
}

} // namespace kelvralink
