// Parameter files: their exact layout, the round trip through the panels, and
// files that cannot be used.
#include "tests/test_vexa_harness.h"
#include "vexa/parafile.h"

#include <QDir>
#include <cstring>

using vexalink::kAnzPara;
using vexalink::ParaState;
using vexalink::ReadParaFile;

using namespace vexatest;
using namespace vexaprogram;

namespace {

// Selects FILE and answers the file dialog with path.
void UseFile(VexaRun &run, const std::string &path, int result = VAL_EXISTING_FILE_SELECTED) {
    if (Val(vexa.mainpanel, "SelectFILE") == 0) Click(vexa.mainpanel, "SelectFILE");
    run.answers.fileResult = result;
    run.answers.filePath = path;
}

std::string Lines(std::initializer_list<std::string> lines) {
    std::string text;
    for (const std::string &l : lines)
        text += l + "\r\n";
    return text;
}

// A file of n lines, each holding value.
std::string Repeated(const std::string &value, int n, const char *end = "\r\n") {
    std::string text;
    for (int i = 0; i < n; ++i)
        text += value + end;
    return text;
}

} // namespace

TEST(VexaParaFile, SavedFileHoldsTheRecordRightAlignedInFiveCharactersWithCrLf) {
    VexaRun run;
    run.sensor.setMemory({DistinctSet(), {}});
    ASSERT_EQ(run.start(), 0);
    for (int j = 0; j < 6; ++j)
        SetTableCellVal(vexa.ttpanel, "GridCtt", MakePoint(j + 1, 1), j + 1);
    SetTableCellVal(vexa.ttpanel, "GridCtt", MakePoint(6, 31), 65535);
    UseFile(run, run.path("Parameter.ini"), VAL_NEW_FILE_SELECTED);
    run.sensor.clearCapture();
    Click(vexa.mainpanel, "ButtonSend");

    const std::string text = ReadFileBytes(run.path("Parameter.ini"));
    ASSERT_EQ(text.size(), 202u * 7);
    const struct {
        int line;
        const char *field;
    } expected[] = {
        {1, "  700"},  {7, "   12"},  {13, "43981"}, {16, "65535"}, {17, "    1"}, {18, "    2"},
        {19, "    3"}, {20, "    4"}, {21, "    5"}, {22, "    6"}, {23, "  101"}, {202, "65535"},
    };
    for (const auto &e : expected)
        EXPECT_EQ(text.substr((e.line - 1) * 7, 7), std::string(e.field) + "\r\n") << "line " << e.line;
    EXPECT_TRUE(FramesToSensor(run.sensor).empty()) << "a file save talks to no sensor";
    EXPECT_FALSE(QFile::exists(QString::fromStdString(run.path("Parameter.ini.tmp"))));
    const PopupRecord &dialog = RecordedPopups().back();
    EXPECT_EQ(dialog.title, "Parameter");
    EXPECT_EQ(dialog.text, "Parameter.ini");
}

TEST(VexaParaFile, SaveThenLoadGivesBackEveryValueAndTheSpareWords) {
    VexaRun run;
    run.sensor.setMemory({DistinctSet(), {}});
    ASSERT_EQ(run.start(), 0);
    UseFile(run, run.path("kept.ini"), VAL_NEW_FILE_SELECTED);
    Click(vexa.mainpanel, "ButtonSend");

    // Another set arrives from the sensor, then the file is loaded again.
    sim::ParameterSet other = DistinctSet();
    other.params = {1, 0, 0, 0, 1, 1, 1, 1, 0, 0, 1, 1, 0, 0, 0, 0};
    run.sensor.setMemory({other, {}});
    Click(vexa.mainpanel, "SelectRAM");
    Click(vexa.mainpanel, "ButtonGet");
    ASSERT_EQ(Val(vexa.parapanel, "SlidePower"), 1);
    UseFile(run, run.path("kept.ini"));
    Click(vexa.mainpanel, "ButtonGet");

    EXPECT_EQ(Val(vexa.parapanel, "SlidePower"), 700);
    EXPECT_EQ(Val(vexa.parapanel, "EditMaxDown"), 4321);
    EXPECT_EQ(Cell(6, 31), DistinctSet().teach[30][5]);
    EXPECT_EQ(para.paraFrei13, 0xABCD);
    EXPECT_EQ(para.paraFrei16, 65535);
    // The spare words reach the sensor with the next Send.
    Click(vexa.mainpanel, "SelectRAM");
    Click(vexa.mainpanel, "ButtonSend");
    EXPECT_EQ(run.sensor.memory().ram, DistinctSet());
}

TEST(VexaParaFile, ReadingAcceptsLeadingBlanksBareLineFeedsAndTrailingBlanks) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("loose.ini").toStdString();
    std::string text = Lines({"7", "  65535 ", "\t12"});
    text += Repeated("0", 198, "\n");
    text += "   99\n";
    WriteFileBytes(path, text);
    uint16_t record[kAnzPara] = {};
    std::string problem;
    ASSERT_TRUE(ReadParaFile(path, record, problem)) << problem;
    EXPECT_EQ(record[0], 7);
    EXPECT_EQ(record[1], 65535);
    EXPECT_EQ(record[2], 12);
    EXPECT_EQ(record[201], 99);
}

TEST(VexaParaFile, AFileThatCannotBeUsedIsNamedWithItsProblemAndChangesNothing) {
    VexaRun run;
    run.sensor.setMemory({DistinctSet(), {}});
    ASSERT_EQ(run.start(), 0);
    const struct {
        const char *file;
        std::string content;
        const char *problem;
    } cases[] = {
        {"missing.ini", "", "cannot be opened"},
        {"short.ini", Repeated("1", 150), "holds only 150 values, 202 are needed"},
        {"empty.ini", "", "holds only 0 values, 202 are needed"},
        {"word.ini", Repeated("1", 19) + "abc\r\n" + Repeated("1", 182), "line 20 does not hold a number"},
        {"negative.ini", Repeated("1", 4) + "-5\r\n" + Repeated("1", 197), "line 5 does not hold a number"},
        {"big.ini", Repeated("1", 4) + "70000\r\n" + Repeated("1", 197), "line 5 holds a value above 65535"},
        {"huge.ini", Repeated("1", 4) + "99999999999999999999999\r\n" + Repeated("1", 197),
         "line 5 holds a value above 65535"},
        {"gap.ini", Repeated("1", 30) + "\r\n" + Repeated("1", 171), "line 31 is empty"},
    };
    const ParaState before = para;
    for (const auto &c : cases) {
        const std::string path = run.path(c.file);
        if (std::string(c.file) != "missing.ini") WriteFileBytes(path, c.content);
        UseFile(run, path);
        ClearRecordedPopups();
        Click(vexa.mainpanel, "ButtonGet");
        const std::vector<std::string> shown = run.messages();
        ASSERT_EQ(shown.size(), 1u) << c.file;
        EXPECT_EQ(shown[0].rfind("ATTENTION!|", 0), 0u) << shown[0];
        EXPECT_NE(shown[0].find(path), std::string::npos) << shown[0];
        EXPECT_NE(shown[0].find(c.problem), std::string::npos) << shown[0];
        EXPECT_EQ(para.paraPower, before.paraPower) << c.file;
        EXPECT_EQ(std::memcmp(para.paraTeachVec, before.paraTeachVec, sizeof para.paraTeachVec), 0) << c.file;
        EXPECT_EQ(Val(vexa.parapanel, "SlidePower"), 700) << c.file;
        EXPECT_EQ(Cell(1, 1), DistinctSet().teach[0][0]) << c.file;
    }
}

TEST(VexaParaFile, LoadedMaxVec40Shows31AndColoursEveryRowActive) {
    VexaRun run;
    ASSERT_EQ(run.start(), 0);
    std::string text = Repeated("1", 6) + "   40\r\n" + Repeated("1", 195);
    WriteFileBytes(run.path("forty.ini"), text);
    UseFile(run, run.path("forty.ini"));
    Click(vexa.mainpanel, "ButtonGet");
    EXPECT_EQ(Val(vexa.parapanel, "EditMaxNo"), 31);
    for (int row = 1; row <= 31; ++row) {
        int colour = 0;
        GetTableRowAttribute(vexa.ttpanel, "GridCtt", row, ATTR_LABEL_COLOR, colour);
        EXPECT_EQ(colour, MakeColor(0, 128, 0)) << "row " << row;
    }
}

TEST(VexaParaFile, AFailedSaveIsReportedAndLeavesThePreviousFileWhole) {
    VexaRun run;
    ASSERT_EQ(run.start(), 0);
    const std::string path = run.path("Parameter.ini");
    const std::string good = Repeated("    1", 202);
    WriteFileBytes(path, good);
    // A directory where the temporary file would go makes the write fail.
    ASSERT_TRUE(QDir().mkdir(QString::fromStdString(path + ".tmp")));
    const struct { std::string target; } cases[] = {{path}, {run.path("no/such/folder/Parameter.ini")}};
    for (const auto &c : cases) {
        UseFile(run, c.target);
        ClearRecordedPopups();
        Click(vexa.mainpanel, "ButtonSend");
        const std::vector<std::string> shown = run.messages();
        ASSERT_EQ(shown.size(), 1u) << c.target;
        EXPECT_NE(shown[0].find(c.target), std::string::npos) << shown[0];
        EXPECT_NE(shown[0].find("could not be written"), std::string::npos) << shown[0];
    }
    EXPECT_EQ(ReadFileBytes(path), good);
}

TEST(VexaParaFile, SendWithACancelledDialogStillPausesDimmedThenReleasesTheButtons) {
    VexaRun run;
    ASSERT_EQ(run.start(), 0);
    UseFile(run, "", VAL_NO_FILE_SELECTED);
    int dimmedAfterDialog = -1;
    run.answers.onPopup = [&](const PopupRecord &p) {
        // Runs in the pause that follows the dialog, inside the Send callback.
        if (p.kind == PopupRecord::FileSelect)
            QTimer::singleShot(0,
                               [&] { dimmedAfterDialog = Attr(vexa.mainpanel, "ButtonSend", ATTR_DIMMED); });
    };
    Click(vexa.mainpanel, "ButtonSend");
    EXPECT_EQ(dimmedAfterDialog, 1);
    EXPECT_EQ(Attr(vexa.mainpanel, "ButtonSend", ATTR_DIMMED), 0);
    EXPECT_TRUE(run.messages().empty());

    ClearRecordedPopups();
    Click(vexa.mainpanel, "ButtonGet");
    EXPECT_EQ(RecordedPopups().size(), 1u) << "only the dialog";
    EXPECT_EQ(Attr(vexa.mainpanel, "ButtonGet", ATTR_DIMMED), 0);
}
