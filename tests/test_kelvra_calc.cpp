// KelvraV12's compensation arithmetic without any widget: curves, chart
// ranges, set-point words, correction factors and the sensor-family table.
#include "kelvra/startup.h"
#include "kelvralink/calc.h"
#include "kelvralink/kelvradata.h"
#include "kelvralink/plausibility.h"
#include "kelvralink/sensorkinds.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

using kelvralink::AxisRange;
using kelvralink::CalibrationCheck;
using kelvralink::CheckCalibration;
using kelvralink::CheckDegree;
using kelvralink::CheckSetPoints;
using kelvralink::ClampTemperature;
using kelvralink::ComputeCurves;
using kelvralink::ComputeFactors;
using kelvralink::ComputeSetPoints;
using kelvralink::CorrectionFactor;
using kelvralink::DataPanelDesc;
using kelvralink::DataPanelOfSensor;
using kelvralink::DegreeFault;
using kelvralink::DescribeCheck;
using kelvralink::kCoefs;
using kelvralink::kdata;
using kelvralink::kMaxChannels;
using kelvralink::kTemps;
using kelvralink::PanelDesc;
using kelvralink::PanelRanges;
using kelvralink::PolynomialAt;
using kelvralink::ResetKelvraData;
using kelvralink::SensorCodeFromVersion;
using kelvralink::SensorWord;
using kelvralink::SetPointWraps;

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

class KelvraCalc : public ::testing::Test {
  protected:
    void SetUp() override { ResetKelvraData(); }
    const PanelDesc &p1 = DataPanelDesc(1);
    const PanelDesc &p3 = DataPanelDesc(3);
    const PanelDesc &p6 = DataPanelDesc(6);
};

TEST_F(KelvraCalc, ConstantCurveOf1000GetsTheAxis950To1050) {
    kdata.RT = 1000;
    const PanelRanges r = ComputeCurves(p1);
    for (int t = 0; t < kTemps; ++t)
        ASSERT_EQ(kdata.dataRot[t], 1000.0) << t;
    EXPECT_EQ(r.channel[0], (AxisRange{950, 1050}));
    EXPECT_EQ(kdata.dataRGB[42][0], 1000.0);
    EXPECT_EQ(kdata.dataRGB[42][1], 0.0);
}

TEST_F(KelvraCalc, ChannelBoundsAreTruncatedTowardZero) {
    struct Case {
        double constant;
        AxisRange range;
    };
    const Case cases[] = {
        {1234.9, {1184, 1284}},    // the minimum falls to 1234, not 1235
        {-3.7, {-53, 47}},         // the maximum rises from -10000 to -3
        {20000, {9950, 20050}},    // a minimum never rises above 10000
        {-20000, {-20050, -9950}}, // a maximum never falls below -10000
    };
    for (const Case &c : cases) {
        kdata.RT = c.constant;
        EXPECT_EQ(ComputeCurves(p1).channel[0], c.range) << c.constant;
    }
}

TEST_F(KelvraCalc, CombinedRangeSpansAllThreeChannels) {
    kdata.RT = 1000;
    kdata.GT = 2000.5;
    kdata.BT = 500;
    const PanelRanges r = ComputeCurves(p1);
    EXPECT_EQ(r.combined, (AxisRange{450, 2050}));
    EXPECT_EQ(r.channel[1], (AxisRange{1950, 2050}));
}

TEST_F(KelvraCalc, FourthPowerOf99IsExact) {
    kdata.RX4 = 1;
    ComputeCurves(p1);
    EXPECT_EQ(kdata.dataRot[99], 99.0 * 99 * 99 * 99);
    EXPECT_EQ(kdata.dataRot[99], 96059601.0);
}

TEST_F(KelvraCalc, PolynomialIsSummedHighestPowerFirst) {
    // 1e16 + 1 rounds back to 1e16, so the order of the sum shows in the result.
    const double c[kCoefs] = {1e16, 0, 0, 1, 1};
    EXPECT_EQ(PolynomialAt(c, 1), 1e16);
    const double d[kCoefs] = {1, -2, 3, -4, 5};
    EXPECT_EQ(PolynomialAt(d, 2), 16 - 16 + 12 - 8 + 5);
}

TEST_F(KelvraCalc, SixChannelPanelKeepsFractionalBounds) {
    kdata.RT = 12.5;
    kdata.GT = kdata.BT = kdata.REFT = kdata.DIRT = kdata.DIFT = 100.25;
    const PanelRanges r = ComputeCurves(p3);
    EXPECT_EQ(r.combined, (AxisRange{-37.5, 150.25}));
    EXPECT_EQ(kdata.dataRGBRDD[7][0], 12.5);
    EXPECT_EQ(kdata.dataRGBRDD[7][5], 100.25);
    EXPECT_EQ(kdata.dataDif[7], 100.25);

    kdata.RT = kdata.GT = kdata.BT = kdata.REFT = kdata.DIRT = kdata.DIFT = 20000.5;
    EXPECT_EQ(ComputeCurves(p3).combined, (AxisRange{9950, 20050.5}));
}

TEST_F(KelvraCalc, OneChannelPanelEvaluatesRedCoefficientsIntoRaw) {
    kdata.RX1 = 2;
    kdata.RT = 100;
    const PanelRanges r = ComputeCurves(p6);
    EXPECT_EQ(kdata.dataRaw[99], 298.0);
    EXPECT_EQ(kdata.dataRot[99], 0.0);
    EXPECT_EQ(r.channel[0], (AxisRange{50, 348}));
}

TEST_F(KelvraCalc, HugeCoefficientsSaturateTheBounds) {
    kdata.RX4 = 1e300;
    kdata.GX4 = -1e300;
    kdata.BX4 = kNaN;
    const PanelRanges r = ComputeCurves(p1);
    EXPECT_EQ(r.channel[0].max, std::numeric_limits<int32_t>::max() + 50.0);
    EXPECT_EQ(r.channel[1].min, std::numeric_limits<int32_t>::min() - 50.0);
    EXPECT_EQ(r.channel[2], (AxisRange{9950, -9950})); // NaN leaves the start bounds
}

TEST(KelvraSensorWord, IsTheLow16BitsOfTheTruncatedValue) {
    struct Case {
        double value;
        uint16_t word;
    };
    const Case cases[] = {
        {1023.9, 1023}, {70000.0, 4464}, {-1.5, 65535}, {0.0, 0},  {65535.99, 65535}, {65536.0, 0},
        {-65536.5, 0},  {kInf, 0},       {-kInf, 0},    {kNaN, 0}, {1e300, 0},        {-0.9, 0},
    };
    for (const Case &c : cases)
        EXPECT_EQ(SensorWord(c.value), c.word) << c.value;
}

TEST(KelvraCorrectionFactor, ScalesTheCurveValueToTheSetPoint) {
    struct Case {
        uint16_t setPoint;
        double value;
        uint16_t factor;
    };
    const Case cases[] = {
        {1000, 1000, 1024}, {1000, 800, 1280}, {1000, 2000, 512}, {1000, 1024, 1000}, {0, 1000, 0},
        {0, 0, 0},          {1000, 0, 0},      {1000, 10, 36864}, {65535, 1, 64512}, // 65535 x 1024 needs the
                                                                                     // full 32 bits before
                                                                                     // the division
    };
    for (const Case &c : cases)
        EXPECT_EQ(CorrectionFactor(c.setPoint, c.value), c.factor) << c.value;
}

TEST_F(KelvraCalc, SetPointsAboveTheHighestTemperatureTakeIt) {
    kdata.dataRot[99] = 1023.9;
    kdata.dataGruen[99] = 70000.0;
    kdata.dataBlau[99] = -1.5;
    kdata.dataRot[50] = 7.0;
    double values[kMaxChannels];
    uint16_t words[kMaxChannels];
    ComputeSetPoints(p1, 150, values, words);
    EXPECT_EQ(values[0], 1023.9);
    EXPECT_EQ(words[0], 1023);
    EXPECT_EQ(words[1], 4464);
    EXPECT_EQ(words[2], 65535);
    ComputeSetPoints(p1, 50, values, words);
    EXPECT_EQ(words[0], 7);
    EXPECT_EQ(ClampTemperature(120), 99);
    EXPECT_EQ(ClampTemperature(99), 99);
}

TEST_F(KelvraCalc, FactorTablesAndTheirChartRanges) {
    for (int t = 0; t < kTemps; ++t)
        kdata.dataRot[t] = kdata.dataGruen[t] = 1024;
    for (int t = 0; t < kTemps; ++t)
        kdata.dataBlau[t] = 100;
    const uint16_t setPoints[kMaxChannels] = {1000, 1100, 1000};
    const PanelRanges r = ComputeFactors(p1, setPoints);
    EXPECT_EQ(kdata.dataCfRot[0], 1000);
    EXPECT_EQ(kdata.dataCfGruen[99], 1100);
    EXPECT_EQ(kdata.dataCfBlau[5], 10240);
    EXPECT_EQ(kdata.dataCfRGB[5][1], 1100);
    EXPECT_EQ(kdata.dataCfRGB[5][2], 10240);
    EXPECT_EQ(r.channel[0], (AxisRange{950, 1050}));
    EXPECT_EQ(r.channel[1], (AxisRange{1050, 1150}));
    EXPECT_EQ(r.channel[2], (AxisRange{9950, 10290})); // factors above 10000 keep the floor
    EXPECT_EQ(r.combined, (AxisRange{950, 10290}));
}

TEST_F(KelvraCalc, SixAndOneChannelFactorTables) {
    for (int t = 0; t < kTemps; ++t)
        kdata.dataDif[t] = kdata.dataRaw[t] = 2000;
    const uint16_t six[kMaxChannels] = {0, 0, 0, 0, 0, 1000};
    const PanelRanges r3 = ComputeFactors(p3, six);
    EXPECT_EQ(kdata.dataCfDif[3], 512);
    EXPECT_EQ(kdata.dataCfRGBRDD[3][5], 512);
    EXPECT_EQ(kdata.dataCfRGBRDD[3][0], 0); // curve 0 gives factor 0
    EXPECT_EQ(r3.combined, (AxisRange{-50, 562}));
    const uint16_t one[kMaxChannels] = {1000};
    EXPECT_EQ(ComputeFactors(p6, one).channel[0], (AxisRange{462, 562}));
    EXPECT_EQ(kdata.dataCfRaw[99], 512);
}

TEST(KelvraPlausibility, CurveValuesNoFactorCanScaleAndFactorsThatWrap) {
    const struct {
        uint16_t setPoint;
        double curve;
        DegreeFault fault;
    } cases[] = {
        {1000, 1000, DegreeFault::None},
        {1000, 15.63, DegreeFault::None},         // 65514: the largest factor below the wrap
        {1000, 15.62, DegreeFault::FactorWraps},  // 65556 becomes 20
        {1000, 10, DegreeFault::FactorWraps},     // 102400 becomes 36864
        {0, 1e-300, DegreeFault::None},           // set point 0 gives factor 0
        {1000, 0, DegreeFault::CurveNotPositive}, // the described word is 0
        {1000, -0.0, DegreeFault::CurveNotPositive},
        {1000, -20, DegreeFault::CurveNotPositive}, // -5120 becomes 60416
        {1000, kNaN, DegreeFault::CurveNotANumber},
        {1000, kInf, DegreeFault::CurveInfinite},
        {1000, -kInf, DegreeFault::CurveInfinite},
    };
    for (const auto &c : cases)
        EXPECT_EQ(CheckDegree(c.setPoint, c.curve), c.fault) << c.setPoint << " / " << c.curve;
}

TEST_F(KelvraCalc, ACheckCountsFaultyChannelDegreesAndTheDegreesTheyFallOn) {
    kdata.RT = 100;
    kdata.RX1 = -2; // 0 at 50 degrees, negative above: 50 faulty degrees
    kdata.GT = 1000;
    kdata.BT = 10; // set point 1000 over 10: every factor wraps
    ComputeCurves(p1);
    const uint16_t setPoints[kMaxChannels] = {100, 1000, 1000};
    const CalibrationCheck c = CheckCalibration(p1, setPoints);
    EXPECT_EQ(c.badCurveValues, 50);
    EXPECT_EQ(c.wrappedFactors, 100); // blue's; red's last positive value, 2 at 49 degrees, gives 51200
    EXPECT_EQ(c.degrees, 100);
    EXPECT_EQ(c.fault[0][49], DegreeFault::None);
    EXPECT_EQ(c.fault[0][50], DegreeFault::CurveNotPositive);
    EXPECT_EQ(c.fault[1][50], DegreeFault::None);
    EXPECT_EQ(DescribeCheck(c),
              "At 100 of the 100 degrees the calibration cannot be right: 100 correction factors wrap around "
              "(above 65535, the sensor gets 65536 less) and 50 curve values are 0 or below, not a number or "
              "infinite (no factor can scale them).");

    kdata.RX1 = 0;
    kdata.BT = 1000;
    ComputeCurves(p1);
    EXPECT_TRUE(CheckCalibration(p1, setPoints).ok());
    EXPECT_EQ(DescribeCheck(CheckCalibration(p1, setPoints)), "");
}

// A set point wraps when its word is the low 16 bits of a value outside 0..65535; a
// word typed since (another word) does not wrap. Counted and said like the factors.
TEST_F(KelvraCalc, ASetPointThatWrapsIsCountedAndSaidInTheCheck) {
    const struct {
        double value;
        uint16_t word;
        bool wraps;
    } cases[] = {{70000.0, 4464, true},  {-1.5, 65535, true},   {65535.9, 65535, false}, {-0.5, 0, false},
                 {70000.0, 1000, false}, {1000.0, 1000, false}, {65536.0, 0, true}};
    for (const auto &c : cases)
        EXPECT_EQ(SetPointWraps(c.value, c.word), c.wraps) << c.value << " / " << c.word;

    kdata.RT = kdata.GT = kdata.BT = 1000;
    ComputeCurves(p1);
    const double values[kMaxChannels] = {1000.0, 70000.0, -1.5};
    const uint16_t words[kMaxChannels] = {1000, 4464, 65535};
    CalibrationCheck c = CheckCalibration(p1, words);
    CheckSetPoints(p1, values, words, c);
    EXPECT_EQ(c.wrappedSetPoints, 2);
    EXPECT_FALSE(c.ok());
    c.degrees = c.wrappedFactors = 0; // the set points alone
    EXPECT_EQ(DescribeCheck(c),
              "The calibration cannot be right: 2 set points wrap around (above 65535 or below "
              "0, the sensor word cannot hold it).");
    c.degrees = c.wrappedFactors = 1;
    c.wrappedSetPoints = 1;
    EXPECT_EQ(DescribeCheck(c),
              "At 1 of the 100 degrees the calibration cannot be right: 1 correction factor "
              "wraps around (above 65535, the sensor gets 65536 less); and 1 set point wraps "
              "around (above 65535 or below 0, the sensor word cannot hold it).");
}

TEST(KelvraSensorFamily, VersionTextSelectsTheLastMatchingCode) {
    struct Case {
        const char *version;
        uint16_t current;
        uint16_t code;
    };
    const Case cases[] = {
        {"HUEMA3 V6.3", 0, 100},
        {"xx HUEMA4 V6.3 yy", 0, 200},
        {"PRISMO3 V3.0", 0, 300},
        {"HUEMA-PX V1.1", 0, 400},
        {"TRV-PX V4.4", 0, 500},
        {"VEXA2 V3.1", 0, 600},
        {"VEXA V3.2", 0, 601},
        {"RQA/RQB V2.0 ", 0, 700},
        {"RQA/RQB V2.0 build 7", 0, 700},
        {"RQA/RQB V2.0", 300, 300}, // the model text ends in a blank
        {"RQA/RQB V2.0x", 300, 300},
        {"huema3 v6.3", 400, 400},         // case matters
        {"UNKNOWN V9.9", 500, 500},        // no hit keeps the code
        {"VEXA V3.2 HUEMA3 V6.3", 0, 601}, // the later row of the table wins, not the later text
    };
    for (const Case &c : cases)
        EXPECT_EQ(SensorCodeFromVersion(c.version, c.current), c.code) << c.version;
}

TEST(KelvraSensorFamily, EachCodeHasItsDataPanel) {
    const std::pair<uint16_t, int> cases[] = {{100, 1}, {200, 1}, {300, 2}, {400, 3}, {500, 4},
                                              {600, 5}, {601, 5}, {700, 6}, {0, 0},   {123, 0}};
    for (auto [code, panel] : cases)
        EXPECT_EQ(DataPanelOfSensor(code), panel) << code;
}

} // namespace
