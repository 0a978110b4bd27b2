// Answer frames of any content and length as the programs decode them: the
// frame last sent (first 36 input bytes) and what the answer wait stored in
// the read buffer (the rest, at most a buffer full).
#include "fuzz/fuzz_support.h"
#include "link/linkstate.h"

#include <algorithm>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    constexpr size_t kFrameBytes = kFrameWords * 2;
    const size_t sent = std::min(size, kFrameBytes);
    const size_t stored = std::min(size - sent, static_cast<size_t>(kLinkBufSize));
    std::memset(com.szWriteBuf, 0, sizeof com.szWriteBuf);
    std::memset(com.szReadBuf, 0, sizeof com.szReadBuf);
    std::memcpy(com.szWriteBuf, data, sent);
    std::memcpy(com.szReadBuf, data + sent, stored);
    fuzz::CheckLinkDecoders();
    fuzz::CheckParameterAnswer();
    return 0;
}
