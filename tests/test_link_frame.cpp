// The two programs' command frames (their frame sources on a sensor's frame
// image) and their use of an answer, checked against byte tables written out
// by hand.
#include "kelvralink/transfer.h"
#include "sensor/sensor.h"
#include "tests/test_support.h"
#include "vexalink/paralink.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

using kelvralink::kCfSendWords;
using vexalink::kAnzPara;
using vexalink::ParaState;

namespace {

using Bytes = std::vector<int>;

Bytes Sent(const sensor::Sensor &s, int count = 36) {
    Bytes b;
    for (int i = 0; i < count; ++i)
        b.push_back(static_cast<unsigned char>(s.frame()[i]));
    return b;
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
    ParaState set;
    vexalink::ParameterFrames parameterFrames{set};
    uint16_t cf[kCfSendWords] = {};
    kelvralink::CompensationFrames compensationFrames{cf};
    sensor::Sensor vexa, kelvra;

    void SetUp() override {
        vexa.setFrameSource(&parameterFrames);
        kelvra.setFrameSource(&compensationFrames);
    }
};

TEST_F(FrameTest, FirstVersionQueryIsSyncCommandSevenAndZerosInBothPrograms) {
    ASSERT_TRUE(vexa.fillFrame(7));
    EXPECT_EQ(Sent(vexa), Frame(7, {}));
    ASSERT_TRUE(kelvra.fillFrame(7));
    EXPECT_EQ(Sent(kelvra), Frame(7, {}));
}

TEST_F(FrameTest, ParameterRecordFramesCarryTheirWordsHighByteFirst) {
    for (int k = 0; k < kAnzPara; ++k)
        set.pp[k] = static_cast<uint16_t>(0x0100 * k + 0x80 + k % 16);
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
        sensor::Sensor s;
        s.setFrameSource(&parameterFrames);
        ASSERT_TRUE(s.fillFrame(static_cast<uint16_t>(c.order), static_cast<uint16_t>(c.a)));
        EXPECT_EQ(Sent(s), Frame(c.order, c.words)) << "order " << c.order;
    }
}

TEST_F(FrameTest, BytesACommandDoesNotWriteKeepThePreviousFrame) {
    for (int k = 0; k < kAnzPara; ++k)
        set.pp[k] = static_cast<uint16_t>(0xA000 + k);
    vexa.fillFrame(1);
    const Bytes first = Sent(vexa);
    vexa.fillFrame(2);
    const Bytes second = Sent(vexa);
    EXPECT_EQ(Bytes(second.begin() + 18, second.end()), Bytes(first.begin() + 18, first.end()));
    EXPECT_EQ(Bytes(second.begin(), second.begin() + 6), (Bytes{0x00, 0x55, 0x00, 0x02, 0x00, 0x00}));

    vexa.fillFrame(50);
    const Bytes stop = Sent(vexa);
    EXPECT_EQ(Bytes(stop.begin(), stop.begin() + 6), (Bytes{0x00, 0x55, 0x00, 0x32, 0x00, 0x00}));
    EXPECT_EQ(Bytes(stop.begin() + 6, stop.end()), Bytes(second.begin() + 6, second.end()));
}

TEST_F(FrameTest, CompensationFramesMatchTheirByteTables) {
    for (int i = 0; i < kCfSendWords; ++i)
        cf[i] = static_cast<uint16_t>(0x1000 + i);
    for (int k = 0; k < 18; ++k)
        kelvra.putWord(k, 0x7777);
    ASSERT_TRUE(kelvra.fillFrame(180, 0, 0x1400));
    const Bytes block = Sent(kelvra);
    EXPECT_EQ(Bytes(block.begin(), block.begin() + 6), (Bytes{0x00, 0x55, 0x00, 0xB4, 0x14, 0x00}));
    EXPECT_EQ(block[6], 0x77);

    // Words 10..19 of the staging area to 0x140A.
    ASSERT_TRUE(kelvra.fillFrame(182, 10, 0x140A, 10));
    Bytes expected = {0x00, 0x55, 0x00, 0xB6, 0x14, 0x0A, 0x00, 0x0A};
    for (int j = 0; j < 10; ++j)
        expected.insert(expected.end(), {0x10, 10 + j});
    expected.insert(expected.end(), block.begin() + 28, block.end());
    EXPECT_EQ(Sent(kelvra), expected);
}

TEST_F(FrameTest, ArgumentsReachingOutsideTheArraysAreRefusedAndChangeNothing) {
    vexa.fillFrame(1);
    const Bytes before = Sent(vexa, 40);
    EXPECT_FALSE(vexa.fillFrame(2, 31));
    EXPECT_FALSE(vexa.fillFrame(2, 0xFFFF));
    EXPECT_EQ(Sent(vexa, 40), before);

    kelvra.fillFrame(182, 0, 0x1400, 1);
    const Bytes written = Sent(kelvra, 40);
    EXPECT_FALSE(kelvra.fillFrame(182, 0, 0x1400, 15)); // only 14 data words fit in 36 bytes
    EXPECT_FALSE(kelvra.fillFrame(182, 591, 0x1400, 10));
    EXPECT_FALSE(kelvra.fillFrame(182, 0xFFFF, 0x1400, 0xFFFF));
    EXPECT_EQ(Sent(kelvra, 40), written);
    EXPECT_TRUE(kelvra.fillFrame(182, 590, 0x1400, 10));
}

TEST(AnswerWords, AreReadHighByteFirstAndUnsignedIntoTheLiveValues) {
    PtyPair pty;
    sensor::Address address;
    address.device = pty.slavePath;
    sensor::Sensor s(address);
    std::optional<bool> opened, answered;
    s.open([&](bool ok) { opened = ok; });
    ASSERT_TRUE(WaitFor([&] { return opened.has_value(); }));
    ASSERT_TRUE(*opened) << s.cause();
    Bytes answer = {0x00, 0xAA, 0x00, 0x05, 0xFF, 0xFE, 0x80, 0x01, 0x12, 0x34};
    answer.resize(36, 0);
    pty.writeMaster(std::string(answer.begin(), answer.end()));
    s.awaitAnswer(sensor::kAnswerTimeout, [&](bool ok) { answered = ok; });
    ASSERT_TRUE(WaitFor([&] { return answered.has_value(); }));
    ASSERT_TRUE(*answered) << s.cause();

    vexalink::LiveValues live;
    live.takeFrame(s);
    live.copyDatatoVars();
    EXPECT_EQ(live.databuf[0], 0x00AA);
    EXPECT_EQ(live.databuf[1], 5);
    EXPECT_EQ(live.dataChL, 65534);
    EXPECT_EQ(live.dataChC, 0x8001);
    EXPECT_EQ(live.dataChR, 0x1234);
    EXPECT_EQ(live.dataTrigger, 0);
}

} // namespace
