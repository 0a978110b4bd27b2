// Answers of any content as the programs judge and decode them, against a
// frame of any content: the frame last sent (first 36 input bytes, into the
// sensor's frame image) and the answer (the rest, at most a buffer full),
// which reaches the answer buffer through the serial receive path. Then the
// programs' frame builders take the answer's words as their arguments.
#include "fuzz/fuzz_support.h"
#include "kelvralink/transfer.h"
#include "vexa/paravars.h"
#include "vexalink/paralink.h"

#include <algorithm>
#include <cstring>
#include <string>

using kelvralink::kCfSendWords;

using namespace vexaprogram;

namespace {

fuzz::SerialLine *line = nullptr;

// A frame builder that refuses its arguments leaves the frame image as it was;
// one that takes them begins the frame with the sync word and the command.
void CheckBuilder(sensor::Sensor &s, sensor::FrameSource &frames, uint16_t order, uint16_t a, uint16_t b,
                  uint16_t n) {
    const std::string before(s.frame(), sensor::kBufferBytes);
    s.setFrameSource(&frames);
    const bool taken = s.fillFrame(order, a, b, n);
    s.setFrameSource(nullptr);
    if (!taken) {
        FUZZ_CHECK(before == std::string(s.frame(), sensor::kBufferBytes));
        return;
    }
    FUZZ_CHECK(s.frame()[0] == 0 && s.frame()[1] == 0x55);
    FUZZ_CHECK(static_cast<unsigned char>(s.frame()[2]) == order >> 8);
    FUZZ_CHECK(static_cast<unsigned char>(s.frame()[3]) == (order & 0xFF));
    FUZZ_CHECK(std::equal(s.frame() + 40, s.frame() + sensor::kBufferBytes, before.begin() + 40));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    fuzz::StartRunTime();
    line = new fuzz::SerialLine;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    sensor::Sensor &s = line->sensor();
    const size_t sent = std::min<size_t>(size, sensor::kFrameBytes);
    for (int k = 0; k < sensor::kFrameWords; ++k) {
        const auto at = static_cast<size_t>(2 * k);
        s.putWord(
            k, static_cast<uint16_t>((at < sent ? data[at] << 8 : 0) | (at + 1 < sent ? data[at + 1] : 0)));
    }
    s.discardQueues();
    line->settle(line->write(data + sent, size - sent));
    fuzz::Finish([&s](sensor::Sensor::Done done) { s.awaitAnswer(0.0, std::move(done)); }, 5.0);
    fuzz::CheckLinkDecoders(s);
    fuzz::CheckParameterAnswer(s);

    static uint16_t compensationWords[kCfSendWords] = {};
    static kelvralink::CompensationFrames compensation(compensationWords);
    static vexalink::ParameterFrames parameter(para);
    const uint16_t order = s.answerWord(1), a = s.answerWord(2), b = s.answerWord(3), n = s.answerWord(4);
    CheckBuilder(s, parameter, order, a, b, n);
    CheckBuilder(s, compensation, order, a, b, n);
    return 0;
}
