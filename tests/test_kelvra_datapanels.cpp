// KelvraV12's data panels with real input: typed coefficients become curves,
// set points and factor tables in the charts; the chart-choice buttons.
#include "kelvra/compensation.h"
#include "kelvra/gui.h"
#include "platform/chartwidgets.h"
#include "tests/test_kelvra_program.h"
#include "tests/test_screens.h"

#include <QFile>
#include <QLineEdit>
#include <QLocale>

using kelvralink::DataCallbackName;
using kelvralink::DataPanelDesc;
using kelvralink::DataRole;
using kelvralink::DataRoleName;
using kelvralink::kCalCheck;
using kelvralink::kdata;
using kelvralink::kDataPanels;
using kelvralink::kDataRoles;
using kelvralink::kEditTemp;
using kelvralink::kpanels;
using kelvralink::kTemps;
using kelvralink::kTransferStatus;
using kelvralink::PanelHasRole;

using namespace kelvraprogram;

namespace {

class KelvraDataPanel : public KelvraProgram {
  protected:
    void SetUp() override {
        KelvraProgram::SetUp();
        ASSERT_EQ(Start("HUEMA3 V6.3"), 0);
    }
    // Questions are answered with the button numbered genericAnswer; the rest as a person would.
    int AnswerPopup(const PopupRecord &popup, std::string &path) override {
        if (popup.kind == PopupRecord::Generic) return genericAnswer;
        return KelvraProgram::AnswerPopup(popup, path);
    }
    int genericAnswer = 1;
    // The degrees a chart marks among its newest 100 points.
    static std::vector<int> MarkedDegrees(StripChart *chart) {
        const QVector<bool> marks = chart->marks();
        std::vector<int> degrees;
        for (int t = 0; t < kTemps; ++t)
            if (marks[marks.size() - kTemps + t]) degrees.push_back(t);
        return degrees;
    }
    static std::vector<int> Degrees(int from, int to) {
        std::vector<int> d;
        for (int t = from; t <= to; ++t)
            d.push_back(t);
        return d;
    }
    static std::string Text(int panel, const char *name) {
        std::string text;
        GetCtrlVal(panel, name, text);
        return text;
    }
    // Shows data panel n as the selector would.
    static int Show(int n) {
        const int codes[kDataPanels] = {100, 300, 400, 500, 600, 700};
        SetCtrlVal(kpanels.mainpanel, kEditSelectSensor, codes[n - 1]);
        ShowChildPanel();
        return kpanels.datapanel[n];
    }
    static StripChart *Chart(int panel, const std::string &name) {
        return qobject_cast<StripChart *>(Widget(panel, name));
    }
    static bool Visible(int panel, const std::string &name) {
        int v = 0;
        GetCtrlAttribute(panel, name, ATTR_VISIBLE, v);
        return v != 0;
    }
    static double Value(int panel, const std::string &name) {
        double v = -1;
        GetCtrlVal(panel, name, v);
        return v;
    }
};

TEST_F(KelvraDataPanel, TypedCoefficientsBecomeCurvesOnTheirCharts) {
    const int p1 = Show(1);
    Type(p1, "EditRT", "1000");
    Type(p1, "EditGX1", "2.5");
    Click(p1, "ButtonCalcCurves");
    EXPECT_EQ(kdata.RT, 1000.0);
    EXPECT_EQ(kdata.dataGruen[10], 25.0);
    StripChart *red = Chart(p1, "ChartCurveRed");
    ASSERT_NE(red, nullptr);
    EXPECT_EQ(red->yMin(), 950);
    EXPECT_EQ(red->yMax(), 1050);
    EXPECT_EQ(red->pointsPerScreen(), 100);
    EXPECT_EQ(red->tracePoints(0).size(), 100);
    StripChart *all = Chart(p1, "ChartCurveAll");
    ASSERT_EQ(all->traces(), 3);
    EXPECT_EQ(all->tracePoints(1).back(), 247.5);
    EXPECT_EQ(all->yMin(), -50);
    EXPECT_EQ(all->yMax(), 1050);
    // Every calculation draws its own 100 degrees, degree 0 at x = 0, nothing of the one before.
    for (const char *rt : {"812", "1155", "900"}) {
        Type(p1, "EditRT", rt);
        Click(p1, "ButtonCalcCurves");
        for (StripChart *chart : {red, all}) {
            ASSERT_EQ(chart->tracePoints(0).size(), 100);
            EXPECT_EQ(chart->marks().size(), 100);
        }
        EXPECT_EQ(red->tracePoints(0).front(), std::stod(rt));
        EXPECT_EQ(all->tracePoints(0).front(), std::stod(rt));
        EXPECT_EQ(all->tracePoints(1).front(), 0.0);
        EXPECT_EQ(all->tracePoints(1).back(), 247.5);
    }
    Click(p1, "ButtonCalcCalib");
    Click(p1, "ButtonCalcCalib");
    EXPECT_EQ(Chart(p1, "ChartCfRed")->tracePoints(0).size(), 100);
}

TEST_F(KelvraDataPanel, ReferenceTemperatureGivesSetPointsAndFactors) {
    const int p1 = Show(1);
    Type(p1, "EditRT", "1000");
    Type(p1, "EditRX1", "-1");
    Type(p1, "EditBT", "-1.5");
    Click(p1, "ButtonCalcCurves");
    Type(p1, kEditTemp, "150");
    int temp = 0;
    GetCtrlVal(p1, kEditTemp, temp);
    EXPECT_EQ(temp, 99);
    EXPECT_EQ(Value(p1, "DispSetPointRed"), 901.0);
    EXPECT_EQ(Value(p1, "EditSetPointWordRed"), 901.0);
    EXPECT_EQ(Value(p1, "EditSetPointWordBlue"), 65535.0);

    Type(p1, kEditTemp, "0");
    EXPECT_EQ(Value(p1, "EditSetPointWordRed"), 1000.0);
    Click(p1, "ButtonCalcCalib");
    EXPECT_EQ(kdata.dataCfRot[0], 1024);
    EXPECT_EQ(kdata.dataCfRot[40], 1066); // 1000 x 1024 / 960
    EXPECT_EQ(kdata.dataCfRGB[40][0], 1066);
    StripChart *cf = Chart(p1, "ChartCfRed");
    EXPECT_EQ(cf->tracePoints(0).front(), 1024);
    EXPECT_EQ(cf->yMin(), 974);
    // A word changed by hand is what the factors follow.
    Type(p1, "EditSetPointWordRed", "500");
    Click(p1, "ButtonCalcCalib");
    EXPECT_EQ(kdata.dataCfRot[0], 512);
}

TEST_F(KelvraDataPanel, ASetPointIsShownWholeAndKeepsItsExactValue) {
    const int p1 = Show(1);
    Type(p1, "EditRT", "600");
    Type(p1, "EditRX1", "7.426123456789");
    Click(p1, "ButtonCalcCurves");
    Type(p1, kEditTemp, "10");
    auto *shown = qobject_cast<QLineEdit *>(Widget(p1, "DispSetPointRed"));
    ASSERT_NE(shown, nullptr);
    EXPECT_TRUE(shown->text().startsWith("674" + QLocale().decimalPoint() + "26"))
        << shown->text().toStdString();
    EXPECT_TRUE(screens::ShowsWhole(shown)) << shown->text().toStdString();
    EXPECT_EQ(Value(p1, "DispSetPointRed"), kdata.dataRot[10]) << "rounded for the eye only";
    EXPECT_EQ(Value(p1, "EditSetPointWordRed"), 674.0);
}

TEST_F(KelvraDataPanel, ACurveThatTurnsNegativeIsMarkedCountedAndAskedAboutBeforeATransfer) {
    const int p1 = Show(1);
    Type(p1, "EditRT", "100");
    Type(p1, "EditRX1", "-2"); // 0 at 50 degrees, negative above
    Type(p1, "EditGT", "1000");
    Type(p1, "EditBT", "1000");
    Click(p1, "ButtonCalcCurves");
    EXPECT_EQ(MarkedDegrees(Chart(p1, "ChartCurveAll")), Degrees(50, 99));
    EXPECT_EQ(MarkedDegrees(Chart(p1, "ChartCurveGreen")), std::vector<int>{});
    EXPECT_EQ(Text(p1, kCalCheck).rfind("At 50 of the 100 degrees", 0), 0u) << Text(p1, kCalCheck);
    Type(p1, kEditTemp, "0");
    Click(p1, "ButtonCalcCalib");
    EXPECT_EQ(MarkedDegrees(Chart(p1, "ChartCfRed")), Degrees(50, 99));

    // No: nothing is written, and the panel says so.
    genericAnswer = 2;
    ClearRecordedPopups();
    Click(p1, "ButtonSendCF");
    ASSERT_EQ(RecordedPopups().size(), 1u);
    const PopupRecord &question = RecordedPopups()[0];
    EXPECT_EQ(question.kind, PopupRecord::Generic);
    EXPECT_NE(question.text.find("50 curve values are 0 or below"), std::string::npos) << question.text;
    EXPECT_NE(question.text.find("Transfer anyway?"), std::string::npos);
    EXPECT_EQ(question.buttons, (std::vector<std::string>{"Yes", "No"})) << "No, the last, is the default";
    EXPECT_TRUE(sensor.compMemory().words.empty());
    EXPECT_EQ(Text(p1, kTransferStatus), "NOT SENT");

    // Yes: the words as described, wrapped ones included.
    genericAnswer = 1;
    Click(p1, "ButtonSendCF");
    const sim::CompMemory written = sensor.compMemory();
    ASSERT_EQ(written.words.size(), 300u);
    EXPECT_EQ(written.words.at(0x1400), 1024);
    EXPECT_EQ(written.words.at(0x1400 + 50), 0) << "curve value 0";
    EXPECT_EQ(written.words.at(0x1400 + 60), 65536 - 5120) << "100 x 1024 / -20";
    EXPECT_EQ(Text(p1, kTransferStatus), "SUCCESS");
}

TEST_F(KelvraDataPanel, ConfirmingTheTemperatureFirstCalculatesTheCurvesItsSetPointsComeFrom) {
    const int p1 = Show(1);
    Type(p1, "EditRT", "500");
    Type(p1, "EditRX1", "2");
    Type(p1, kEditTemp, "25"); // before any curve calculation
    EXPECT_EQ(Value(p1, "DispSetPointRed"), 550.0);
    EXPECT_EQ(Value(p1, "EditSetPointWordRed"), 550.0);
    EXPECT_EQ(Chart(p1, "ChartCurveAll")->tracePoints(0).size(), 100) << "the curves were drawn";
    // Coefficients changed since the curves: they are calculated again.
    Type(p1, "EditRT", "600");
    Type(p1, kEditTemp, "25");
    EXPECT_EQ(Value(p1, "DispSetPointRed"), 650.0);
}

TEST_F(KelvraDataPanel, ExportRefusesSetPointsNeverCalculatedFromTheShownCoefficients) {
    const int p1 = Show(1);
    filePath = InDir("export.csv");
    Type(p1, "EditRT", "500");
    ClearRecordedPopups();
    Click(kpanels.mainpanel, "ButtonExport");
    ASSERT_EQ(RecordedPopups().size(), 1u) << "no file is asked for";
    EXPECT_NE(RecordedPopups()[0].text.find("were not calculated"), std::string::npos);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(filePath)));
    Type(p1, kEditTemp, "0");
    Click(kpanels.mainpanel, "ButtonExport");
    EXPECT_TRUE(QFile::exists(QString::fromStdString(filePath)));
}

TEST_F(KelvraDataPanel, SixChannelPanelKeepsFractionalChartBounds) {
    const int p3 = Show(3);
    Type(p3, "EditRT", "12.5");
    for (const char *field : {"EditGT", "EditBT", "EditREFT", "EditDIRT", "EditDIFT"})
        Type(p3, field, "100");
    Click(p3, "ButtonCalcCurves");
    StripChart *all = Chart(p3, "ChartCurveAll");
    ASSERT_EQ(all->traces(), 6);
    EXPECT_EQ(all->yMin(), -37.5);
    EXPECT_EQ(all->yMax(), 150);
    EXPECT_EQ(kdata.dataRGBRDD[99][3], 100.0);
    EXPECT_EQ(Chart(p3, "ChartCfAll")->traces(), 6);
}

TEST_F(KelvraDataPanel, TemperatureAbove99OnTheRawPanelShows99Degrees) {
    const int p6 = Show(6);
    Type(p6, "EditRX1", "3");
    Click(p6, "ButtonCalcCurves");
    Type(p6, kEditTemp, "120");
    int temp = 0;
    GetCtrlVal(p6, kEditTemp, temp);
    EXPECT_EQ(temp, 99);
    EXPECT_EQ(Value(p6, "DispSetPointRaw"), 297.0);
    EXPECT_EQ(Value(p6, "EditSetPointWordRaw"), 297.0);
    Click(p6, "ButtonCalcCalib");
    EXPECT_EQ(kdata.dataCfRaw[99], 1024);
    EXPECT_EQ(Chart(p6, "ChartCfRaw")->tracePoints(0).size(), 100);
}

TEST_F(KelvraDataPanel, ChartChoiceKeepsOneChartOfEachKindVisible) {
    const int p1 = Show(1);
    const std::string curves[] = {"ChartCurveRed", "ChartCurveGreen", "ChartCurveBlue", "ChartCurveAll"};
    const std::string factors[] = {"ChartCfRed", "ChartCfGreen", "ChartCfBlue", "ChartCfAll"};
    auto shown = [p1](const std::string(&charts)[4]) {
        std::string names;
        for (const std::string &c : charts)
            if (Visible(p1, c)) names += c + " ";
        return names;
    };
    EXPECT_EQ(shown(curves), "ChartCurveAll ");
    EXPECT_EQ(shown(factors), "ChartCfAll ");
    // Before any calculation a choice shows an empty chart.
    Click(p1, "ButtonShowGreen");
    EXPECT_EQ(shown(curves), "ChartCurveGreen ");
    EXPECT_TRUE(Chart(p1, "ChartCurveGreen")->tracePoints(0).isEmpty());
    Click(p1, "ButtonShowRed");
    EXPECT_EQ(shown(curves), "ChartCurveRed ");
    Click(p1, "ButtonCalcCurves");
    EXPECT_EQ(shown(curves), "ChartCurveAll ");
    Click(p1, "ButtonShowBlue");
    EXPECT_EQ(shown(curves), "ChartCurveBlue ");
    EXPECT_EQ(Chart(p1, "ChartCurveBlue")->tracePoints(0).size(), 100); // it kept its points
    EXPECT_EQ(shown(factors), "ChartCfAll ");
    Click(p1, "ButtonShowCfGreen");
    EXPECT_EQ(shown(factors), "ChartCfGreen ");
    Click(p1, "ButtonShowCfBlue");
    EXPECT_EQ(shown(factors), "ChartCfBlue ");
    Click(p1, "ButtonShowCfRed");
    EXPECT_EQ(shown(factors), "ChartCfRed ");
    Click(p1, "ButtonCalcCalib");
    EXPECT_EQ(shown(factors), "ChartCfAll ");
    EXPECT_EQ(shown(curves), "ChartCurveBlue ");
}

TEST_F(KelvraDataPanel, RightClicksOnDataPanelControlsDoNothing) {
    const int p2 = Show(2);
    Type(p2, "EditRT", "1000");
    ClearRecordedPopups();
    for (int r = 0; r < kDataRoles; ++r)
        RightClick(p2, DataRoleName(static_cast<DataRole>(r)));
    EXPECT_TRUE(RecordedPopups().empty());
    EXPECT_EQ(kdata.RT, 0.0);
    EXPECT_TRUE(Chart(p2, "ChartCurveAll")->tracePoints(0).isEmpty());
}

TEST_F(KelvraDataPanel, EveryCalculationStepHasItsPanelsEntry) {
    Show(5);
    SetCtrlVal(kpanels.datapanel[5], "EditRT", 2000.0);
    SetCtrlVal(kpanels.datapanel[5], kEditTemp, 7);
    CalcCurvesDataP5();
    CalcSetPointDataP5();
    CalcCfCurvesDataP5();
    EXPECT_EQ(kdata.dataCfRot[50], 1024);
    EXPECT_EQ(Value(kpanels.datapanel[5], "EditSetPointWordRed"), 2000.0);
}

TEST_F(KelvraDataPanel, EveryCallbackTheFormNamesIsRegistered) {
    std::vector<int> panels = {kpanels.mainpanel, kpanels.interfacepanel};
    for (int n = 1; n <= kDataPanels; ++n)
        panels.push_back(kpanels.datapanel[n]);
    for (int panel : panels)
        for (int id = 1; id <= GetNumCtrls(panel); ++id) {
            QWidget *w = CtrlWidget(panel, id);
            const QString name = w ? w->property("callback").toString() : QString();
            if (name.isEmpty()) continue;
            CtrlCallbackPtr callback = nullptr;
            GetCtrlAttribute(panel, id, ATTR_CALLBACK_FUNCTION_POINTER, callback);
            EXPECT_NE(callback, nullptr) << name.toStdString();
        }
    for (int n = 1; n <= kDataPanels; ++n)
        for (int r = 0; r < kDataRoles; ++r) {
            const auto role = static_cast<DataRole>(r);
            const bool has = PanelHasRole(DataPanelDesc(n), role);
            QWidget *w = CtrlWidget(kpanels.datapanel[n], DataRoleName(role));
            EXPECT_EQ(w != nullptr, has) << n << " " << DataRoleName(role);
            const std::string callback = w ? w->property("callback").toString().toStdString() : "";
            EXPECT_EQ(callback, has ? DataCallbackName(n, role) : "");
        }
    ClearUnknownControlNames(); // the absent chart-choice buttons were looked up on purpose
}

} // namespace
