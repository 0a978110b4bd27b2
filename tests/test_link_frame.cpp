// Frames built and taken apart without I/O, the error texts and the decimal
// conversion, checked against byte tables written out by hand.
#include "link/errortexts.h"
#include "link/frame.h"
#include "link/linkstate.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<int>;

Bytes Sent(int count = 36) {
    Bytes b;
    for (int i = 0; i < count; ++i)
        b.push_back(static_cast<unsigned char>(com.szWriteBuf[i]));
    return b;
}

void Receive(const Bytes &bytes) {
    for (std::size_t i = 0; i < bytes.size(); ++i)
        com.szReadBuf[i] = static_cast<char>(bytes[i]);
}

// 00 55, the command code, then the given bytes and zeros up to 36.
Bytes Frame(int order, Bytes rest) {
    Bytes b = {0x00, 0x55, order >> 8, order & 0xFF};
    b.insert(b.end(), rest.begin(), rest.end());
    b.resize(36, 0);
    return b;
}

class FrameTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetLinkState();
        linkProgram = LinkProgram{};
    }
    void TearDown() override { linkProgram = LinkProgram{}; }
    void UseParameterRecord() {
        linkProgram.frameSource = FrameSource::ParameterRecord;
        linkProgram.pp = &pp;
        linkProgram.databuf = &databuf;
    }
    void UseCompensationWords() {
        linkProgram.frameSource = FrameSource::CompensationWords;
        linkProgram.dataCfSendBuf = &cf;
    }
    uint16_t pp[kAnzPara] = {};
    uint16_t databuf[kFrameWords] = {};
    uint16_t cf[kCfSendWords] = {};
};

TEST_F(FrameTest, FirstVersionQueryIsSyncCommandSevenAndZerosInBothPrograms) {
    UseParameterRecord();
    ASSERT_EQ(FillTxBuf(7, 0, 0, 0), 0);
    EXPECT_EQ(Sent(), Frame(7, {}));
    ResetLinkState();
    UseCompensationWords();
    ASSERT_EQ(FillTxBuf(7, 0, 0, 0), 0);
    EXPECT_EQ(Sent(), Frame(7, {}));
}

TEST_F(FrameTest, ParameterRecordFramesCarryTheirWordsHighByteFirst) {
    UseParameterRecord();
    for (int k = 0; k < kAnzPara; ++k)
        pp[k] = static_cast<uint16_t>(0x0100 * k + 0x80 + k % 16);
    struct Case {
        int order, a;
        Bytes words; // bytes 4.. of the frame
    };
    Bytes head; // pp[0..15]
    for (int k = 0; k < 16; ++k)
        head.insert(head.end(), {k, 0x80 + k});
    const std::vector<Case> cases = {
        {1, 0, head},
        {3, 0, head},
        {5, 0, head},
        {6, 0, head},
        {8, 0, head},
        // Row 2: its index, then pp[28..33]; the rest stays from the frame before.
        {2, 2, {0x00, 0x02, 28, 0x8C, 29, 0x8D, 30, 0x8E, 31, 0x8F, 32, 0x80, 33, 0x81}},
        {4, 30, {0x00, 0x1E}},
        {50, 1, {0x00, 0x01}},
    };
    for (const Case &c : cases) {
        std::fill(std::begin(com.szWriteBuf), std::end(com.szWriteBuf), '\0');
        ASSERT_EQ(FillTxBuf(static_cast<uint16_t>(c.order), static_cast<uint16_t>(c.a), 0, 0), 0);
        EXPECT_EQ(Sent(), Frame(c.order, c.words)) << "order " << c.order;
    }
}

TEST_F(FrameTest, BytesACommandDoesNotWriteKeepThePreviousFrame) {
    UseParameterRecord();
    for (int k = 0; k < kAnzPara; ++k)
        pp[k] = static_cast<uint16_t>(0xA000 + k);
    FillTxBuf(1, 0, 0, 0);
    const Bytes first = Sent();
    FillTxBuf(2, 0, 0, 0);
    const Bytes second = Sent();
    EXPECT_EQ(Bytes(second.begin() + 18, second.end()), Bytes(first.begin() + 18, first.end()));
    EXPECT_EQ(Bytes(second.begin(), second.begin() + 6), (Bytes{0x00, 0x55, 0x00, 0x02, 0x00, 0x00}));

    FillTxBuf(50, 0, 0, 0);
    const Bytes stop = Sent();
    EXPECT_EQ(Bytes(stop.begin(), stop.begin() + 6), (Bytes{0x00, 0x55, 0x00, 0x32, 0x00, 0x00}));
    EXPECT_EQ(Bytes(stop.begin() + 6, stop.end()), Bytes(second.begin() + 6, second.end()));
}

TEST_F(FrameTest, CompensationFramesMatchTheirByteTables) {
    UseCompensationWords();
    for (int i = 0; i < kCfSendWords; ++i)
        cf[i] = static_cast<uint16_t>(0x1000 + i);
    std::fill(std::begin(com.szWriteBuf), std::begin(com.szWriteBuf) + 36, '\x77');
    ASSERT_EQ(FillTxBuf(180, 0, 0x1400, 0), 0);
    Bytes block = Sent();
    EXPECT_EQ(Bytes(block.begin(), block.begin() + 6), (Bytes{0x00, 0x55, 0x00, 0xB4, 0x14, 0x00}));
    EXPECT_EQ(block[6], 0x77);

    // Words 10..19 of the staging area to 0x140A.
    ASSERT_EQ(FillTxBuf(182, 10, 0x140A, 10), 0);
    Bytes data = Sent();
    Bytes expected = {0x00, 0x55, 0x00, 0xB6, 0x14, 0x0A, 0x00, 0x0A};
    for (int j = 0; j < 10; ++j)
        expected.insert(expected.end(), {0x10, 10 + j});
    expected.insert(expected.end(), block.begin() + 28, block.end());
    EXPECT_EQ(data, expected);
}

TEST_F(FrameTest, ArgumentsReachingOutsideTheArraysAreRefusedAndChangeNothing) {
    UseParameterRecord();
    FillTxBuf(1, 0, 0, 0);
    const Bytes before = Sent(40);
    EXPECT_EQ(FillTxBuf(2, 31, 0, 0), -1);
    EXPECT_EQ(FillTxBuf(2, 0xFFFF, 0, 0), -1);
    EXPECT_EQ(Sent(40), before);

    UseCompensationWords();
    EXPECT_EQ(FillTxBuf(182, 0, 0x1400, 15), -1); // only 14 data words fit in 36 bytes
    EXPECT_EQ(FillTxBuf(182, 591, 0x1400, 10), -1);
    EXPECT_EQ(FillTxBuf(182, 590, 0x1400, 10), 0);
    linkProgram.dataCfSendBuf = nullptr;
    EXPECT_EQ(FillTxBuf(182, 0, 0x1400, 1), -1);
    linkProgram = LinkProgram{};
    EXPECT_EQ(FillTxBuf(7, 0, 0, 0), -1); // a parameter program without pp
}

TEST_F(FrameTest, AnswerWordsAreReadHighByteFirstAndUnsigned) {
    UseParameterRecord();
    Receive({0x00, 0xAA, 0x00, 0x03, 0xFF, 0xFE, 0x80, 0x01});
    GetRxBufPara();
    EXPECT_EQ(pp[0], 0x00AA);
    EXPECT_EQ(pp[1], 3);
    EXPECT_EQ(pp[2], 65534);
    EXPECT_EQ(pp[3], 0x8001);
    GetRxBufData();
    EXPECT_EQ(databuf[2], 65534);
    EXPECT_EQ(pp[18], 0); // only the 18 answer words are written
}

TEST_F(FrameTest, EchoIsComparedOnlyUpToTwiceItsLength) {
    UseCompensationWords();
    FillTxBuf(180, 0, 0x1400, 0);
    struct Case {
        int len, index, value;
        bool passes;
    };
    const std::vector<Case> cases = {
        {2, -1, 0, true},   {2, 0, 0x01, false}, {2, 1, 0xAB, false}, {2, 3, 0xB5, false},
        {2, 4, 0x99, true}, {2, 35, 0x99, true}, {3, 5, 0x01, false}, {18, 35, 0x01, false},
    };
    for (const Case &c : cases) {
        std::copy(std::begin(com.szWriteBuf), std::begin(com.szWriteBuf) + 36, com.szReadBuf);
        com.szReadBuf[1] = static_cast<char>(0xAA);
        if (c.index >= 0) com.szReadBuf[c.index] = static_cast<char>(c.value);
        EXPECT_EQ(EchoMatches(c.len), c.passes) << "len " << c.len << " byte " << c.index;
    }
}

TEST_F(FrameTest, VersionTextEndsAtTheFirstZeroAndNeverExceeds36Characters) {
    const std::string full = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    for (std::size_t i = 0; i < full.size(); ++i)
        com.szReadBuf[i] = full[i];
    com.szReadBuf[36] = 'X';
    CopyVersionText();
    EXPECT_EQ(std::string(com.version), full);
    com.szReadBuf[9] = '\0';
    CopyVersionText();
    EXPECT_EQ(std::string(com.version), "ABCDEFGHI");
}

TEST(ErrorTexts, EveryCodeGetsItsExactText) {
    const std::vector<std::pair<int, std::string>> serial = {
        {-1, "Unknown system error"}, {-2, "Invalid port number"}, {-3, "Port is not open"},
        {-4, "Unknown I/0 error"},    {-5, "RS-232 error!"},       {-6, "No serial port found"},
        {-7, "Cannot open port"},     {-8, "RS-232 error!"},       {-99, "Timeout"},
        {-100, "RS-232 error!"},
    };
    for (const auto &[code, text] : serial)
        EXPECT_EQ(Rs232ErrorText(code), text) << code;
    const std::vector<std::pair<int, std::string>> tcp = {
        {-1, "UnableToRegisterService"},
        {-2, "UnableToEstablishConnection"},
        {-3, "ExistingServer"},
        {-4, "FailedToConnect"},
        {-5, "ServerNotRegistered"},
        {-6, "TooManyConversations"},
        {-7, "ReadFailed"},
        {-8, "WriteFailed"},
        {-9, "InvalidParameter"},
        {-10, "OutOfMemory"},
        {-11, "TimeOutError "},
        {-12, "NoConnectionEstablished "},
        {-13, "GeneralIOErr"},
        {-14, "ConnectionClosed"},
        {-15, "UnableToLoadWinsockDLL"},
        {-16, "IncorrectWinsockDLLVersion"},
        {-17, "NetworkSubsystemNotReady "},
        {-18, "ConnectionsStillOpen"},
        {-19, "DisconnectPending"},
        {-20, "InfoNotAvailable"},
        {-21, "Connection to server failed"},
        {-99, "Connection to server failed"},
    };
    for (const auto &[code, text] : tcp)
        EXPECT_EQ(TcpErrorText(code), text) << code;
}

TEST(DecimalValue, TakesLeadingDigitsLikeAPlainConversion) {
    const std::vector<std::pair<std::string, int32_t>> cases = {
        {"1", 1},   {"0", 0},         {"", 0},
        {"abc", 0}, {" 12x", 12},     {"-3", -3},
        {"+7", 7},  {"10001", 10001}, {"99999999999", 2147483647},
    };
    for (const auto &[text, value] : cases)
        EXPECT_EQ(DecimalValue(text), value) << '"' << text << '"';
}

} // namespace
