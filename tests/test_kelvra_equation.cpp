// KelvraV12's equation files through the data panels' Save and Load buttons:
// the file's form, exact round trips, moving coefficients between panels, and
// files that cannot be written or read.
#include "kelvra/equation.h"
#include "kelvra/gui.h"
#include "platform/chartwidgets.h"
#include "tests/test_kelvra_program.h"

#include <QStringList>
#include <cstring>

using kelvralink::CoefficientCtrl;
using kelvralink::DataPanelDesc;
using kelvralink::EquationSize;
using kelvralink::kCoefs;
using kelvralink::kCurveChartAll;
using kelvralink::kdata;
using kelvralink::kDataPanels;
using kelvralink::kpanels;
using kelvralink::PanelDesc;

namespace {

class KelvraEquation : public KelvraProgram {
  protected:
    void SetUp() override {
        KelvraProgram::SetUp();
        ASSERT_EQ(Start("HUEMA3 V6.3"), 0);
        filePath = InDir("calibration.equ");
    }
    static int Panel(int n) { return kpanels.datapanel[n]; }
    // Puts values into panel n's coefficient fields in field order.
    static void Fill(int n, const std::vector<double> &values) {
        const PanelDesc &p = DataPanelDesc(n);
        for (int i = 0; i < EquationSize(p); ++i)
            SetCtrlVal(Panel(n), CoefficientCtrl(p.channels[i / kCoefs], i % kCoefs), values[i]);
    }
    static std::vector<double> Fields(int n) {
        const PanelDesc &p = DataPanelDesc(n);
        std::vector<double> values(EquationSize(p));
        for (int i = 0; i < EquationSize(p); ++i)
            GetCtrlVal(Panel(n), CoefficientCtrl(p.channels[i / kCoefs], i % kCoefs), values[i]);
        return values;
    }
    static std::vector<double> Counting(int count) {
        std::vector<double> v;
        for (int i = 0; i < count; ++i)
            v.push_back(i * 1.5 - 7);
        return v;
    }
    QStringList Lines() const {
        QStringList lines = QString::fromStdString(ReadFileBytes(filePath)).split("\r\n");
        EXPECT_EQ(lines.takeLast(), ""); // the last line is ended too
        return lines;
    }
};

TEST_F(KelvraEquation, SaveWritesOneRightAlignedNumberPerLine) {
    const int counts[] = {15, 15, 30, 15, 15, 5};
    for (int n = 1; n <= kDataPanels; ++n) {
        Fill(n, Counting(counts[n - 1]));
        Click(Panel(n), "ButtonSaveEquation");
        const QStringList lines = Lines();
        ASSERT_EQ(lines.size(), counts[n - 1]) << "P" << n;
        for (int i = 0; i < lines.size(); ++i) {
            EXPECT_EQ(lines[i].size(), 10) << lines[i].toStdString();
            EXPECT_EQ(lines[i].trimmed().toDouble(), i * 1.5 - 7);
        }
    }
    EXPECT_EQ(kdata.file_name, filePath);
    // The last save replaced the file of the save before it, after asking.
    ASSERT_GE(RecordedPopups().size(), 2u);
    EXPECT_EQ(RecordedPopups().back().kind, PopupRecord::Confirm);
    const PopupRecord &dialog = RecordedPopups()[RecordedPopups().size() - 2];
    EXPECT_EQ(dialog.kind, PopupRecord::FileSelect);
    EXPECT_EQ(dialog.title, "equation");
    EXPECT_EQ(dialog.text, "equation.equ");
}

TEST_F(KelvraEquation, SavingAgainReplacesTheFile) {
    Fill(1, Counting(15));
    Click(Panel(1), "ButtonSaveEquation");
    Click(Panel(1), "ButtonSaveEquation");
    EXPECT_EQ(Lines().size(), 15);
}

TEST_F(KelvraEquation, FileFromP1RestoresTheSameFieldsOnP4) {
    const std::vector<double> values = Counting(15);
    Fill(1, values);
    Click(Panel(1), "ButtonSaveEquation");
    Click(Panel(4), "ButtonGetEquation");
    EXPECT_EQ(Fields(4), values);
    // Loading fills the fields only: the curves wait for the curve button.
    EXPECT_EQ(kdata.RT, 0.0);
    EXPECT_TRUE(qobject_cast<StripChart *>(CtrlWidget(Panel(4), kCurveChartAll))->tracePoints(0).isEmpty());
}

TEST_F(KelvraEquation, AwkwardCoefficientsComeBackBitForBit) {
    std::vector<double> values = {1.2345678e-07,
                                  6.02214076e23,
                                  -1e-300,
                                  4.9406564584124654e-324,
                                  -123456.78901234568,
                                  0.30000000000000004,
                                  1e300,
                                  12345678901234567890.0,
                                  3.141592653589793,
                                  -2.5e-15};
    values.resize(30, 1.0 / 3.0);
    Fill(3, values);
    Click(Panel(3), "ButtonSaveEquation");
    for (const QString &line : Lines())
        EXPECT_GE(line.size(), 10);
    Fill(3, std::vector<double>(30, 0.0));
    Click(Panel(3), "ButtonGetEquation");
    const std::vector<double> back = Fields(3);
    for (std::size_t i = 0; i < values.size(); ++i)
        EXPECT_EQ(std::memcmp(&back[i], &values[i], sizeof(double)), 0) << i << ": " << back[i];
}

TEST_F(KelvraEquation, TypedCoefficientSurvivesSaveAndLoad) {
    Type(Panel(6), "EditRX4", "1.2345678e-07");
    Click(Panel(6), "ButtonSaveEquation");
    EXPECT_EQ(Lines()[0].trimmed(), "1.2345678e-07");
    Type(Panel(6), "EditRX4", "0");
    Click(Panel(6), "ButtonGetEquation");
    EXPECT_EQ(Fields(6)[0], 1.2345678e-07);
}

TEST_F(KelvraEquation, FailedSaveIsReported) {
    filePath = InDir("no/such/folder/calibration.equ");
    Click(Panel(1), "ButtonSaveEquation");
    ASSERT_EQ(RecordedPopups().size(), 2u);
    EXPECT_EQ(RecordedPopups()[1].kind, PopupRecord::Message);
    EXPECT_NE(RecordedPopups()[1].text.find("could not be saved"), std::string::npos);
}

TEST_F(KelvraEquation, UnusableFilesLeaveTheFieldsAsTheyWere) {
    const std::vector<double> before = Counting(15);
    Fill(1, before);
    struct Case {
        const char *content; // nullptr: no file at all
        const char *message;
    };
    const Case cases[] = {
        {nullptr, "cannot be read"},
        {"1\r\n2\r\n3\r\n", "holds 3 of the 15"},
        {"garbage\r\n", "line 1: \"garbage\" is not a number"},
        {"1\r\n2\r\nthree\r\n4\r\n5\r\n6\r\n7\r\n8\r\n9\r\n10\r\n11\r\n12\r\n13\r\n14\r\n15\r\n",
         "line 3: \"three\" is not a number"},
        // Numbers no curve can be calculated from, or beyond a double's range.
        {"1\r\n2\r\n3\r\n4\r\n5\r\n6\r\nnan\r\n8\r\n9\r\n10\r\n11\r\n12\r\n13\r\n14\r\n15\r\n",
         "line 7: \"nan\" is not a number a coefficient can have"},
        {"1\r\n-inf\r\n", "line 2: \"-inf\" is not a number a coefficient can have"},
        {"1\r\n2\r\n3\r\n4\r\n 1e400\r\n", "line 5: \"1e400\" is beyond what a coefficient can hold"},
    };
    for (const Case &c : cases) {
        QFile::remove(QString::fromStdString(filePath));
        if (c.content) WriteFileBytes(filePath, c.content);
        ClearRecordedPopups();
        Click(Panel(1), "ButtonGetEquation");
        ASSERT_EQ(RecordedPopups().size(), 2u) << c.message;
        EXPECT_NE(RecordedPopups()[1].text.find(c.message), std::string::npos) << RecordedPopups()[1].text;
        EXPECT_EQ(Fields(1), before) << c.message;
    }
}

TEST_F(KelvraEquation, LongerFilesAndPlainLineEndsAreRead) {
    std::string content;
    for (int i = 1; i <= 30; ++i)
        content += "  " + std::to_string(i) + "\n";
    WriteFileBytes(filePath, content);
    Click(Panel(1), "ButtonGetEquation");
    EXPECT_EQ(Fields(1)[14], 15.0);
    Click(Panel(6), "ButtonGetEquation");
    EXPECT_EQ(Fields(6), (std::vector<double>{1, 2, 3, 4, 5}));
}

TEST_F(KelvraEquation, CancelDoesNothing) {
    Fill(1, Counting(15));
    filePath.clear();
    Click(Panel(1), "ButtonSaveEquation");
    Click(Panel(1), "ButtonGetEquation");
    EXPECT_EQ(RecordedPopups().size(), 2u); // the two dialogs, no message
    EXPECT_EQ(Fields(1), Counting(15));
    EXPECT_TRUE(kdata.file_name.empty());
}

} // namespace
