// CSV record files: each recording mode read back by a strict RFC 4180 reader,
// time stamps that parse as ISO 8601, elapsed seconds that only grow, the values
// the simulated sensor sent, the same bytes under a decimal-comma locale, and
// the remembered format choice.
#include "tests/test_vexa_harness.h"
#include "vexalink/recordfile.h"

#include <QDateTime>
#include <QLocale>
#include <clocale>
#include <cstdio>
#include <regex>

using vexalink::CsvRecordHeader;
using vexalink::CsvRecordRow;
using vexalink::kRecordValues;
using vexalink::ReadRecordFormat;
using vexalink::RecordFormat;

using namespace runtime;

using namespace vexatest;
using namespace vexaprogram;

namespace {

using Table = std::vector<std::vector<std::string>>;

// RFC 4180 as written: CR LF after every record, commas between fields, quotes only
// around a whole field, every record as wide as the header, no empty trailing field.
// A violation fails the test and gives an empty table.
Table ReadCsvStrictly(const std::string &text) {
    Table table;
    std::vector<std::string> record;
    std::string field;
    bool quoted = false, wasQuoted = false;
    auto fail = [&](const std::string &why, std::size_t at) {
        ADD_FAILURE() << why << " at byte " << at;
        return Table{};
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c != '"') {
                field += c;
            } else if (i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else {
                quoted = false;
            }
        } else if (c == '"') {
            if (!field.empty() || wasQuoted) return fail("quote inside a field", i);
            quoted = wasQuoted = true;
        } else if (c == ',' || c == '\r') {
            if (c == '\r' && (i + 1 >= text.size() || text[i + 1] != '\n')) return fail("CR without LF", i);
            record.push_back(field);
            field.clear();
            wasQuoted = false;
            if (c == '\r') {
                ++i;
                if (!table.empty() && record.size() != table[0].size())
                    return fail("a record of other width", i);
                if (record.back().empty()) return fail("a trailing separator", i);
                table.push_back(record);
                record.clear();
            }
        } else if (c == '\n') {
            return fail("LF without CR", i);
        } else {
            if (wasQuoted) return fail("text after a closing quote", i);
            field += c;
        }
    }
    if (quoted || !field.empty() || !record.empty()) return fail("the last record has no CR LF", text.size());
    if (QString::fromUtf8(text.data(), int(text.size())).toUtf8().toStdString() != text)
        return fail("not UTF-8", 0);
    return table;
}

const std::vector<std::string> kHeader = {"time", "elapsed_s", "CH_L", "CH_C",   "CH_R",
                                          "DENS", "SYM1",      "SYM2", "VECTOR", "TEMP_raw"};

// Distinct values per frame, so that every row can be matched to the frame it came from.
sim::Measurement Frame(int k) {
    const auto w = [k](int base) { return static_cast<uint16_t>(base + k); };
    return {.chL = w(100),
            .chC = w(200),
            .chR = w(300),
            .density = w(400),
            .sym1 = w(500),
            .sym2 = w(600),
            .temp = w(700)};
}
std::vector<sim::Measurement> Script(int n) {
    std::vector<sim::Measurement> s;
    for (int k = 0; k < n; ++k)
        s.push_back(Frame(k));
    return s;
}

// The row's values as the sensor sent them in frame k (VECTOR is what the sensor detected).
void ExpectFrameValues(const std::vector<std::string> &row, int k) {
    const sim::Measurement m = Frame(k);
    const std::vector<std::string> expected = {std::to_string(m.chL),  std::to_string(m.chC),
                                               std::to_string(m.chR),  std::to_string(m.density),
                                               std::to_string(m.sym1), std::to_string(m.sym2)};
    EXPECT_EQ(std::vector<std::string>(row.begin() + 2, row.begin() + 8), expected) << "frame " << k;
    EXPECT_EQ(row[9], std::to_string(m.temp)) << "frame " << k;
}

// Every time stamp is ISO 8601 with milliseconds and offset, none before the last,
// and the elapsed seconds grow strictly, as far apart as the time stamps.
void ExpectTimeColumns(const Table &rows) {
    const std::regex iso(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d)");
    const std::regex seconds(R"(\d+\.\d{6})");
    for (std::size_t k = 1; k < rows.size(); ++k) {
        const auto &r = rows[k];
        ASSERT_TRUE(std::regex_match(r[0], iso)) << r[0];
        ASSERT_TRUE(std::regex_match(r[1], seconds)) << r[1];
        const QDateTime t = QDateTime::fromString(QString::fromStdString(r[0]), Qt::ISODateWithMs);
        ASSERT_TRUE(t.isValid()) << r[0];
        if (k == 1) continue;
        const double elapsed = std::stod(r[1]) - std::stod(rows[k - 1][1]);
        EXPECT_GT(elapsed, 0.0) << "row " << k;
        const auto previous =
            QDateTime::fromString(QString::fromStdString(rows[k - 1][0]), Qt::ISODateWithMs);
        EXPECT_NEAR(previous.msecsTo(t) / 1000.0, elapsed, 0.0025) << "row " << k;
    }
}

void OpenCsvRecorder(VexaRun &run, int mode) {
    Click(vexa.mainpanel, "ButtonRecorder");
    ChooseItem(vexa.recpanel, "EditRecFormat", static_cast<int>(RecordFormat::Csv));
    ChooseItem(vexa.recpanel, "EditSelectDataRec", mode);
    run.answers.fileResult = VAL_NEW_FILE_SELECTED;
    run.answers.filePath = run.path("rec.csv");
    Click(vexa.recpanel, "ButtonSelRecFile");
}

// Records a few rows in the mode; returns the rows read back, header first.
Table RecordInMode(VexaRun &run, int mode) {
    constexpr int kRows = 6;
    if (mode == 2) {
        PollFrames(run.sensor, 1); // the manual rows repeat the last polled frame
        for (int k = 0; k < kRows; ++k)
            Click(vexa.recpanel, "ButtonManualRecord");
    } else if (mode == 3) {
        bool fired = false;
        ClickWhile(vexa.recpanel, "ButtonStartTrigRec", [&] {
            if (!fired && run.sensor.autoSend()) {
                for (int k = 0; k < kRows; ++k)
                    run.sensor.fireTrigger();
                fired = true;
            } else if (fired && Val(vexa.recpanel, "DispCounter") == kRows) {
                Click(vexa.recpanel, "ButtonStopTrigRec");
                return true;
            }
            return false;
        });
    } else {
        TypeNumber(vexa.recpanel, "EditInterval", 0);
        TypeNumber(vexa.recpanel, "EditRecVal", kRows);
        ClickWhile(vexa.recpanel, "ButtonStartRecord", [&] {
            if (mode != 1 || Val(vexa.recpanel, "DispCounter") < kRows) return false;
            Click(vexa.recpanel, "ButtonStopRecord");
            return true;
        });
    }
    return ReadCsvStrictly(ReadFileBytes(run.path("rec.csv")));
}

class VexaCsvRecordingIn : public ::testing::TestWithParam<int> {};

} // namespace

TEST(VexaCsvRecordFile, RowsUseCommasAndPointsWhateverTheLocale) {
    const uint16_t values[kRecordValues] = {0, 1, 65535, 4096, 1000, 7, 255, 300};
    const std::string row = "2026-12-07T16:05:09.123+01:00,12.000250,0,1,65535,4096,1000,7,255,300\r\n";
    EXPECT_EQ(CsvRecordRow("2026-12-07T16:05:09.123+01:00", 12.00025, values), row);
    EXPECT_EQ(CsvRecordHeader(), "time,elapsed_s,CH_L,CH_C,CH_R,DENS,SYM1,SYM2,VECTOR,TEMP_raw\r\n");

    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const bool cGerman = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
    EXPECT_EQ(CsvRecordRow("2026-12-07T16:05:09.123+01:00", 12.00025, values), row);
    const int64_t ms = 1796655909123; // a moment with milliseconds
    const QDateTime back =
        QDateTime::fromString(QString::fromStdString(IsoDateTimeStr(ms)), Qt::ISODateWithMs);
    EXPECT_EQ(back.toMSecsSinceEpoch(), ms) << IsoDateTimeStr(ms);
    std::setlocale(LC_ALL, "C");
    QLocale::setDefault(before);
    if (!cGerman) std::printf("de_DE.UTF-8 is not installed: checked with Qt's German locale only\n");
}

TEST_P(VexaCsvRecordingIn, ModeWritesOneStrictCsvRowPerFrameWithTimesThatParse) {
    const int mode = GetParam();
    VexaRun run(mode == 3 ? Transport::Pty : Transport::Tcp);
    ASSERT_EQ(run.start(), 0);
    run.sensor.setScript(Script(50));
    OpenCsvRecorder(run, mode);
    const Table rows = RecordInMode(run, mode);
    // Open end stops at the first look after the sixth row: a fast line writes a few more,
    // each of them counted.
    ASSERT_GE(rows.size(), 7u);
    ASSERT_EQ(rows.size(), mode == 1 ? std::size_t(Val(vexa.recpanel, "DispCounter")) + 1 : 7u);
    EXPECT_EQ(rows[0], kHeader);
    ExpectTimeColumns(rows);
    for (std::size_t k = 1; k < rows.size(); ++k)
        ExpectFrameValues(rows[k], mode == 2 ? 0 : int(k) - 1);
    const auto messages = run.messages();
    const std::string last = messages.empty() ? "" : messages.back();
    EXPECT_EQ(last, mode == 2 ? "" : "INFO!|File has been saved!");
}

INSTANTIATE_TEST_SUITE_P(EveryMode, VexaCsvRecordingIn, ::testing::Values(0, 1, 2, 3));

TEST(VexaCsvRecording, UnderAGermanLocaleTheFileIsTheSame) {
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const bool cGerman = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
    VexaRun run;
    ASSERT_EQ(run.start(), 0);
    run.sensor.setScript(Script(50));
    OpenCsvRecorder(run, 0);
    const Table rows = RecordInMode(run, 0);
    std::setlocale(LC_ALL, "C");
    QLocale::setDefault(before);
    ASSERT_EQ(rows.size(), 7u);
    EXPECT_EQ(rows[0], kHeader);
    ExpectTimeColumns(rows);
    for (int k = 1; k < 7; ++k)
        ExpectFrameValues(rows[k], k - 1);
    if (!cGerman) std::printf("de_DE.UTF-8 is not installed: checked with Qt's German locale only\n");
}

TEST(VexaCsvRecording, TheFormatIsRememberedAndAChangeAsksForANewFile) {
    std::string settings;
    {
        VexaRun run;
        ASSERT_EQ(run.start(), 0);
        OpenCsvRecorder(run, 1);
        EXPECT_EQ(ReadFileBytes(run.path("rec.csv")),
                  "time,elapsed_s,CH_L,CH_C,CH_R,DENS,SYM1,SYM2,VECTOR,TEMP_raw\r\n");
        ChooseItem(vexa.recpanel, "EditRecFormat", static_cast<int>(RecordFormat::Tab));
        std::string box;
        GetCtrlVal(vexa.recpanel, "DispRecFile", box);
        EXPECT_EQ(box, "") << "the selected file holds the other format";
        ChooseItem(vexa.recpanel, "EditRecFormat", static_cast<int>(RecordFormat::Csv));
        settings = ReadFileBytes(run.path("RecordFormat.cfg"));
        EXPECT_EQ(settings.substr(0, 1), "1");
    }
    VexaRun again;
    WriteFileBytes(again.path("RecordFormat.cfg"), settings);
    ASSERT_EQ(again.start(), 0);
    EXPECT_EQ(Val(vexa.recpanel, "EditRecFormat"), static_cast<int>(RecordFormat::Csv));
    WriteFileBytes(again.path("RecordFormat.cfg"), "garbage\r\n");
    EXPECT_EQ(ReadRecordFormat(again.path("RecordFormat.cfg")), RecordFormat::Tab);
}
