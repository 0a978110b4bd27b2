// RS-232 input queues of any length through the real receive path: the input
// arrives on a pseudo-terminal behind the sensor's serial port, the answer
// wait takes the queue into the answer buffer, and VexaV32 decodes it.
#include "fuzz/fuzz_support.h"

#include <algorithm>
#include <cstring>

namespace {

fuzz::SerialLine *line = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    fuzz::StartRunTime();
    line = new fuzz::SerialLine;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    sensor::Sensor &s = line->sensor();
    s.discardQueues();
    const size_t written = line->write(data, size);
    line->settle(written);
    const int queued = static_cast<int>(std::min<size_t>(written, sensor::kBufferBytes));

    // Everything has arrived, so a wait that ends at once sees what a full wait would.
    fuzz::Finish([&s](sensor::Sensor::Done done) { s.awaitAnswer(0.0, std::move(done)); }, 5.0);
    FUZZ_CHECK(s.dataSize() == queued);
    FUZZ_CHECK(s.bytesToRead() == sensor::kFrameBytes - queued);
    FUZZ_CHECK(std::memcmp(s.answer(), data, static_cast<size_t>(queued)) == 0);

    fuzz::CheckLinkDecoders(s);
    if (s.bytesToRead() == 0) fuzz::CheckParameterAnswer(s);
    return 0;
}
