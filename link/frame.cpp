#include "link/frame.h"

#include "link/linkstate.h"

#include <algorithm>

namespace {

constexpr int kFrameBytes = kFrameWords * 2;
constexpr int kMaxDataWords = kFrameWords - 4; // words 4..17 of a command-182 frame

void PutWord(int k, uint16_t value) {
    com.szWriteBuf[2 * k] = static_cast<char>(value >> 8);
    com.szWriteBuf[2 * k + 1] = static_cast<char>(value & 0xFF);
}

// Whether the words a command takes from the program's arrays all exist.
bool ArgumentsFit(uint16_t order, uint16_t a, uint16_t n) {
    if (linkProgram.frameSource == FrameSource::ParameterRecord) {
        if (!linkProgram.pp) return false;
        return order != 2 || 16 + 6 * a + 5 < kAnzPara;
    }
    return order != 182 || (linkProgram.dataCfSendBuf && n <= kMaxDataWords && a + n <= kCfSendWords);
}

// Words 2.. of a VexaV32 frame: a teach row, a single argument, or the record's head.
void FillFromParameterRecord(uint16_t order, uint16_t a) {
    const uint16_t *pp = *linkProgram.pp;
    if (order == 2) {
        PutWord(2, a);
        for (int j = 0; j < 6; ++j)
            PutWord(3 + j, pp[16 + 6 * a + j]);
    } else if (order == 4 || order == 50) {
        PutWord(2, a);
    } else {
        // The last two of these words land beyond byte 35 and are never sent.
        const int words = std::min<int>(com.anzframe, kFrameWords);
        for (int k = 0; k < words; ++k)
            PutWord(k + 2, pp[k]);
    }
}

// Words 2.. of a KelvraV12 frame: a block address, or address, count and data words.
void FillCompensation(uint16_t order, uint16_t a, uint16_t b, uint16_t n) {
    if (order == 180) {
        PutWord(2, b);
    } else if (order == 182) {
        PutWord(2, b);
        PutWord(3, n);
        for (int j = 0; j < n; ++j)
            PutWord(4 + j, (*linkProgram.dataCfSendBuf)[a + j]);
    }
}

} // namespace

int FillTxBuf(uint16_t order, uint16_t a, uint16_t b, uint16_t n) {
    if (!ArgumentsFit(order, a, n)) return -1;
    PutWord(0, com.sync);
    PutWord(1, order);
    if (linkProgram.frameSource == FrameSource::ParameterRecord)
        FillFromParameterRecord(order, a);
    else
        FillCompensation(order, a, b, n);
    return 0;
}

uint16_t RxWord(int j) {
    if (j < 0 || 2 * j + 1 >= kLinkBufSize) return 0;
    auto byte = [](int i) { return static_cast<uint16_t>(static_cast<unsigned char>(com.szReadBuf[i])); };
    return static_cast<uint16_t>(byte(2 * j) * 256 + byte(2 * j + 1));
}

void GetRxBufPara() {
    if (!linkProgram.pp) return;
    for (int j = 0; j < kFrameWords; ++j)
        (*linkProgram.pp)[j] = RxWord(j);
}

void GetRxBufData() {
    if (!linkProgram.databuf) return;
    for (int j = 0; j < kFrameWords; ++j)
        (*linkProgram.databuf)[j] = RxWord(j);
}

bool EchoMatches(int len) {
    if (com.szReadBuf[0] != 0x00 || static_cast<unsigned char>(com.szReadBuf[1]) != 0xAA) return false;
    const int end = std::clamp(2 * len, 2, kLinkBufSize);
    return std::equal(com.szReadBuf + 2, com.szReadBuf + end, com.szWriteBuf + 2);
}

void CopyVersionText() {
    const char *begin = com.szReadBuf;
    const char *end = std::find(begin, begin + kFrameBytes, '\0');
    std::copy(begin, end, com.version);
    com.version[end - begin] = '\0';
}
