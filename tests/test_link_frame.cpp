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
    // Connect errors read as a technician would say them; no socket library names.
    const std::vector<std::pair<int, std::string>> tcp = {
        {-2, "Connection refused"},
        {-4, "Could not connect to the server"},
        {-11, "Server did not answer in time"},
        {-12, "No connection to the server"},
        {-14, "Server closed the connection"},
        {-21, "Connection to server failed"},
        {-99, "Connection to server failed"},
    };
    for (const auto &[code, text] : tcp)
        EXPECT_EQ(TcpErrorText(code), text) << code;
    for (int code = -20; code < 0; ++code) {
        const std::string text = TcpErrorText(code);
        EXPECT_LT(text.size(), sizeof com.szStatus) << code;
        EXPECT_EQ(text.find("Winsock"), std::string::npos) << code;
    }
}

TEST(CauseTexts, EveryWrongAnswerIsNamedWithWhereItCameFromAndItsBytes) {
    char sent[36] = {0x00, 0x55, 0x00, static_cast<char>(0xB4), 0x14, 0x00};
    char echo[40] = {0x00, static_cast<char>(0xAA), 0x00, static_cast<char>(0xB4), 0x14, 0x00};
    const std::string where = "/dev/ttyUSB0";
    auto cause = [&](const char *got, int count, int words) {
        return AnswerCause({where, 3.0, got, count, count, sent, words});
    };
    EXPECT_EQ(cause(echo, 36, 2), "");
    EXPECT_EQ(cause(echo, 36, 0), "");
    EXPECT_EQ(cause(echo, 0, 2),
              "No answer within 3.0 s from /dev/ttyUSB0 (wrong port, wrong cable, sensor off?).");
    EXPECT_EQ(cause(echo, 4, 2),
              "Answer cut short: 4 of 36 bytes from /dev/ttyUSB0 within 3.0 s: 00 AA 00 B4.");
    EXPECT_NE(
        cause(echo, 37, 0).find("Answer of wrong length: 37 bytes instead of 36 from /dev/ttyUSB0: 00 AA"),
        std::string::npos);
    echo[1] = static_cast<char>(0xAB);
    EXPECT_NE(cause(echo, 36, 2).find("was not the sensor's: it begins 00 AB instead of 00 AA"),
              std::string::npos);
    echo[1] = static_cast<char>(0xAA);
    echo[4] = 0x15;
    EXPECT_EQ(cause(echo, 36, 2), ""); // an echo of two words ends before byte 4
    EXPECT_NE(cause(echo, 36, 3).find("Wrong echo from /dev/ttyUSB0: byte 4 is 15 where the command had 14"),
              std::string::npos);
    // A read is judged by its length only.
    EXPECT_EQ(cause(echo, 36, 0), "");
    // A huge serial queue shows only the start of its bytes.
    const std::string flood(1024, 'Z');
    const std::string text = AnswerCause({where, 3.0, flood.data(), 1024, 1024, sent, 0});
    EXPECT_LT(text.size(), 300u);
    EXPECT_NE(text.find("1024 bytes instead of 36"), std::string::npos);
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
