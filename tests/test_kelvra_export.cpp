// KelvraV12's calibration export: the shown data panel, typed and calculated as a
// user does, exported with the Export button and read back; every number equals
// the panel's and the program's own, digit for digit.
#include "kelvra/calexport.h"
#include "kelvra/gui.h"
#include "kelvralink/sensorkinds.h"
#include "platform/chartwidgets.h"
#include "tests/test_kelvra_program.h"

#include <QDateTime>
#include <QImage>
#include <charconv>
#include <clocale>
#include <map>
#include <set>

using kelvralink::Channel;
using kelvralink::ChannelName;
using kelvralink::Coefficient;
using kelvralink::CoefficientCtrl;
using kelvralink::CoefficientName;
using kelvralink::Curve;
using kelvralink::DataPanelDesc;
using kelvralink::DataPanelOfSensor;
using kelvralink::Factors;
using kelvralink::kCoefs;
using kelvralink::kCurveChartAll;
using kelvralink::kEditTemp;
using kelvralink::kpanels;
using kelvralink::kTemps;
using kelvralink::PanelDesc;
using kelvralink::SetPointValueCtrl;
using kelvralink::SetPointWordCtrl;

using namespace kelvraprogram;

namespace {

using Record = std::vector<std::string>;

// The file as records of fields, split at commas and CR LF (the export quotes nothing
// that needs it here), and its tables by their title rows.
struct ExportFile {
    std::map<std::string, std::string> header; // the first four rows
    std::map<std::string, std::vector<Record>> tables;
};

ExportFile ReadExport(const std::string &text) {
    ExportFile f;
    std::vector<Record> records;
    for (std::size_t at = 0, end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2) {
        Record r;
        const std::string line = text.substr(at, end - at);
        for (std::size_t from = 0;;) {
            const std::size_t comma = line.find(',', from);
            r.push_back(line.substr(from, comma - from));
            if (comma == std::string::npos) break;
            from = comma + 1;
        }
        records.push_back(r);
    }
    std::string table;
    for (std::size_t k = 0; k < records.size(); ++k) {
        const Record &r = records[k];
        if (k < 4) {
            EXPECT_EQ(r.size(), 2u);
            f.header[r[0]] = r.back();
        } else if (r.size() == 1 && r[0].empty()) {
            table.clear();
        } else if (table.empty()) {
            table = r[0];
        } else {
            f.tables[table].push_back(r);
        }
    }
    return f;
}

double Parse(const std::string &text) {
    double v = std::nan("");
    const auto result = std::from_chars(text.data(), text.data() + text.size(), v);
    EXPECT_TRUE(result.ec == std::errc() && result.ptr == text.data() + text.size()) << text;
    return v;
}

class KelvraExport : public KelvraProgram {
  protected:
    void SetUp() override {
        KelvraProgram::SetUp();
        ASSERT_EQ(Start("HUEMA3 V6.3"), 0);
    }
    int AnswerPopup(const PopupRecord &popup, std::string &path) override {
        if (popup.kind == PopupRecord::FileSelect) {
            path = filePath;
            return VAL_NEW_FILE_SELECTED;
        }
        return 1;
    }
    // Shows data panel n as the selector would.
    static int Show(int code) {
        SetCtrlVal(kpanels.mainpanel, kEditSelectSensor, code);
        ShowChildPanel();
        return kpanels.datapanel[DataPanelOfSensor(static_cast<uint16_t>(code))];
    }
    // Types awkward coefficients into every field, calculates curves, set points at
    // 37 degrees and factors with the panel's buttons.
    static void FillAndCalculate(int n, int panel) {
        const PanelDesc &p = DataPanelDesc(n);
        const char *typed[kCoefs] = {"0.000123456789", "-0.0171", "0.3", "-2.75", "1000.1"};
        for (int k = 0; k < p.channelCount; ++k)
            for (int j = 0; j < kCoefs; ++j)
                Type(panel, CoefficientCtrl(p.channels[k], j), k == 1 && j == 4 ? "812.000000001" : typed[j]);
        Click(panel, "ButtonCalcCurves");
        Type(panel, kEditTemp, "37");
        Click(panel, "ButtonCalcCalib");
    }
    // The export's numbers against the panel's fields and the program's arrays.
    static void ExpectPanelNumbers(int n, int panel, const ExportFile &f) {
        const PanelDesc &p = DataPanelDesc(n);
        const auto &coefs = f.tables.at("Coefficients");
        const auto &setPoints = f.tables.at("Set points");
        const auto &curves = f.tables.at("Curves");
        const auto &factors = f.tables.at("Correction factors (1024 = 1.0)");
        ASSERT_EQ(coefs.size(), std::size_t(p.channelCount) + 1);
        ASSERT_EQ(curves.size(), std::size_t(kTemps) + 1);
        ASSERT_EQ(factors.size(), std::size_t(kTemps) + 1);
        for (int k = 0; k < p.channelCount; ++k) {
            const Channel c = p.channels[k];
            EXPECT_EQ(coefs[k + 1][0], ChannelName(c));
            EXPECT_EQ(curves[0][k + 1], ChannelName(c));
            for (int j = 0; j < kCoefs; ++j) {
                double field = 0;
                GetCtrlVal(panel, CoefficientCtrl(c, j), field);
                EXPECT_EQ(Parse(coefs[k + 1][j + 1]), field) << CoefficientName(c, j);
                EXPECT_EQ(field, Coefficient(c, j)) << CoefficientName(c, j);
            }
            double value = 0;
            int word = 0;
            GetCtrlVal(panel, SetPointValueCtrl(c), value);
            GetCtrlVal(panel, SetPointWordCtrl(c), word);
            EXPECT_EQ(Parse(setPoints[k + 1][1]), value);
            EXPECT_EQ(setPoints[k + 1][2], std::to_string(word));
            for (int t = 0; t < kTemps; ++t) {
                EXPECT_EQ(curves[t + 1][0], std::to_string(t));
                EXPECT_EQ(Parse(curves[t + 1][k + 1]), Curve(c)[t]) << ChannelName(c) << " at " << t;
                EXPECT_EQ(factors[t + 1][k + 1], std::to_string(Factors(c)[t]))
                    << ChannelName(c) << " at " << t;
            }
        }
    }
};

} // namespace

TEST_F(KelvraExport, TheShownPanelRoundTripsThroughTheCsvExactly) {
    for (int code : {100, 400, 700}) { // three, six and one channel
        SCOPED_TRACE(code);
        const int panel = Show(code);
        const int n = DataPanelOfSensor(static_cast<uint16_t>(code));
        FillAndCalculate(n, panel);
        filePath = InDir("export" + std::to_string(n) + ".csv");
        Click(kpanels.mainpanel, "ButtonExport");
        const ExportFile f = ReadExport(ReadFileBytes(filePath));
        std::string family;
        int index = -1;
        GetCtrlIndex(kpanels.mainpanel, kEditSelectSensor, index);
        GetLabelFromIndex(kpanels.mainpanel, kEditSelectSensor, index, family);
        EXPECT_EQ(f.header.at("Sensor family"), family);
        EXPECT_EQ(f.header.at("Data panel"), "P" + std::to_string(n));
        EXPECT_EQ(f.header.at("Reference temperature (°C)"), "37");
        EXPECT_TRUE(
            QDateTime::fromString(QString::fromStdString(f.header.at("Date")), Qt::ISODateWithMs).isValid());
        ExpectPanelNumbers(n, panel, f);
    }
}

TEST_F(KelvraExport, UnderAGermanLocaleTheExportIsTheSame) {
    const int panel = Show(100);
    FillAndCalculate(1, panel);
    const std::string a = CalibrationCsv(ReadCalibrationSheet(1, "HUEMA3 V6.3"));
    const bool cGerman = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
    const std::string b = CalibrationCsv(ReadCalibrationSheet(1, "HUEMA3 V6.3"));
    std::setlocale(LC_ALL, "C");
    // Only the date may differ between the two.
    const auto withoutDate = [](const std::string &s) {
        const auto at = s.find("Date,");
        return s.substr(0, at) + s.substr(s.find("\r\n", at));
    };
    EXPECT_EQ(withoutDate(a), withoutDate(b));
    if (!cGerman) std::printf("de_DE.UTF-8 is not installed: C locale only\n");
}

TEST_F(KelvraExport, WithoutASensorNothingIsExportedAndTheUserIsTold) {
    SetCtrlVal(kpanels.mainpanel, kEditSelectSensor, 0);
    filePath = InDir("none.csv");
    ClearRecordedPopups();
    Click(kpanels.mainpanel, "ButtonExport");
    ASSERT_EQ(RecordedPopups().size(), 1u);
    EXPECT_EQ(RecordedPopups()[0].title, "ATTENTION!");
    EXPECT_FALSE(QFile::exists(QString::fromStdString(filePath)));
}

TEST_F(KelvraExport, ThePictureButtonSavesTheCombinedCurveChart) {
    const int panel = Show(100);
    FillAndCalculate(1, panel);
    QWidget *chart = Widget(panel, kCurveChartAll);
    ASSERT_NE(chart, nullptr);
    filePath = InDir("curves.png");
    QTest::mouseClick(chart, Qt::LeftButton, Qt::NoModifier, ChartPictureButton(*chart).center());
    const QImage image(QString::fromStdString(filePath));
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), chart->size());
    std::set<QRgb> colours;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            colours.insert(image.pixel(x, y));
    EXPECT_GT(colours.size(), 8u) << "more than a blank frame: grid, numbers and three traces";
}
