// KelvraV12 takes coefficients and the reference temperature as a person types
// them: in a German desktop locale as well as in C, left with Tab or a click,
// re-entered unchanged; equation files stay in their fixed form whatever the
// locale, and are replaced only when the user says so.
#include "kelvra/gui.h"
#include "tests/test_kelvra_program.h"

#include <QLineEdit>
#include <QLocale>
#include <clocale>

using kelvralink::kCurveChartAll;
using kelvralink::kEditTemp;
using kelvralink::kpanels;
using kelvralink::kTransferStatus;

namespace {

class KelvraInput : public KelvraProgram {
  protected:
    void SetUp() override {
        KelvraProgram::SetUp();
        ForgetLastFileFolder();
        ASSERT_EQ(Start("HUEMA3 V6.3"), 0);
        p1 = kpanels.datapanel[1];
        ASSERT_TRUE(ActivateWindowOf(PanelWidget(p1)));
    }
    int AnswerPopup(const PopupRecord &popup, std::string &path) override {
        if (popup.kind == PopupRecord::Confirm) return replaceAnswer;
        if (popup.kind == PopupRecord::FileSelect && ++fileDialogs > 1 && replaceAnswer == 0)
            return VAL_NO_FILE_SELECTED; // asked again after No: the user cancels
        return KelvraProgram::AnswerPopup(popup, path);
    }
    // Types into a field and leaves it with Tab, as a person moving on does.
    static void TypeAndTab(int panel, const std::string &name, const QString &text) {
        QWidget *w = Widget(panel, name);
        w->setFocus();
        QTest::keyClick(w, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(w, text);
        QTest::keyClick(w, Qt::Key_Tab);
    }
    static double Value(int panel, const std::string &name) {
        double v = -1;
        GetCtrlVal(panel, name, v);
        return v;
    }
    int p1 = 0;
    int replaceAnswer = 1;
    int fileDialogs = 0;
};

TEST_F(KelvraInput, CommaAndPointGiveTheSameCurvesSetPointsAndTransferWords) {
    ScopedLocale german("de_DE");
    std::map<std::uint16_t, std::uint16_t> written[2];
    double setPoint[2] = {};
    const QString typed[2][2] = {{"1000,5", "-2,25"}, {"1000.5", "-2.25"}};
    for (int style = 0; style < 2; ++style) {
        sensor.clearCompMemory();
        TypeAndTab(p1, "EditRT", typed[style][0]);
        TypeAndTab(p1, "EditRX1", typed[style][1]);
        Click(p1, "ButtonSendCF"); // returns when the transfer has ended
        std::string status;
        GetCtrlVal(p1, kTransferStatus, status);
        EXPECT_EQ(status, "SUCCESS");
        written[style] = sensor.compMemory().words;
        setPoint[style] = Value(p1, "DispSetPointRed");
    }
    EXPECT_EQ(Value(p1, "EditRT"), 1000.5);
    EXPECT_EQ(Value(p1, "EditRX1"), -2.25);
    EXPECT_EQ(setPoint[0], setPoint[1]);
    EXPECT_EQ(setPoint[0], 1000.5); // at the start temperature of 0 degrees
    ASSERT_FALSE(written[0].empty());
    EXPECT_EQ(written[0], written[1]);
    EXPECT_EQ(qobject_cast<QLineEdit *>(Widget(p1, "EditRT"))->text(), "1000,5");
}

TEST_F(KelvraInput, SmallCoefficientsShowAsTypedInPlainNotationAndReadBackExactly) {
    const QString point = QLocale().decimalPoint();
    auto *field = qobject_cast<QLineEdit *>(Widget(p1, "EditRX4"));
    for (const QString typed : {"0.0001", "-0.00025", "0.000123456789", "-0.00000012345678"}) {
        TypeAndTab(p1, "EditRX4", typed);
        const QString shown = field->text();
        EXPECT_EQ(shown, QString(typed).replace(".", point));
        EXPECT_EQ(Value(p1, "EditRX4"), typed.toDouble());
        // Confirming what the field shows changes nothing.
        Type(p1, "EditRX4", shown);
        EXPECT_EQ(Value(p1, "EditRX4"), typed.toDouble()) << shown.toStdString();
    }
}

TEST_F(KelvraInput, ReenteringTheSameTemperatureAfterNewCurvesRefreshesTheSetPoints) {
    Type(p1, kEditTemp, "20");
    TypeAndTab(p1, "EditRT", "500");
    Click(p1, "ButtonCalcCurves");
    EXPECT_EQ(Value(p1, "DispSetPointRed"), 0.0); // still the point of the curves before
    QWidget *temp = Widget(p1, kEditTemp);
    temp->setFocus();
    QTest::keyClick(temp, Qt::Key_Return); // the same 20, confirmed
    EXPECT_EQ(Value(p1, "DispSetPointRed"), 500.0);
    EXPECT_EQ(Value(p1, "EditSetPointWordRed"), 500.0);
}

TEST_F(KelvraInput, EquationFileWrittenInAGermanDesktopReadsBackTheSameInC) {
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "locale de_DE.UTF-8 is not installed";
    {
        ScopedLocale german("de_DE");
        TypeAndTab(p1, "EditGX2", "0,000123456789");
        TypeAndTab(p1, "EditBT", "-17,5");
        filePath = InDir("german.equ");
        Click(p1, "ButtonSaveEquation");
    }
    std::setlocale(LC_ALL, "C");
    const std::string file = ReadFileBytes(filePath);
    EXPECT_EQ(file.find(','), std::string::npos) << file;
    EXPECT_NE(file.find("-17.5"), std::string::npos) << file;
    ScopedLocale c("C");
    SetCtrlVal(p1, "EditGX2", 0.0);
    SetCtrlVal(p1, "EditBT", 0.0);
    Click(p1, "ButtonGetEquation");
    EXPECT_EQ(Value(p1, "EditGX2"), 0.000123456789);
    EXPECT_EQ(Value(p1, "EditBT"), -17.5);
    std::setlocale(LC_ALL, saved.c_str());
}

TEST_F(KelvraInput, SavingOverAnEquationFileAsksFirst) {
    filePath = InDir("kept.equ");
    WriteFileBytes(filePath, "keep me\n");
    replaceAnswer = 0;
    Click(p1, "ButtonSaveEquation");
    EXPECT_EQ(ReadFileBytes(filePath), "keep me\n");
    const auto &shown = RecordedPopups();
    EXPECT_TRUE(std::any_of(shown.begin(), shown.end(), [](const PopupRecord &p) {
        return p.kind == PopupRecord::Confirm && p.title == "Replace file?";
    }));
    for (const PopupRecord &p : shown)
        EXPECT_NE(p.kind, PopupRecord::Message) << p.title << ": " << p.text;

    replaceAnswer = 1;
    fileDialogs = 0;
    Click(p1, "ButtonSaveEquation");
    EXPECT_NE(ReadFileBytes(filePath), "keep me\n");
}

} // namespace

TEST_F(KelvraInput, AnEntryLeftByAClickOnAChartIsTakenOrRefusedShowingTheKeptValue) {
    ScopedLocale german("de_DE");
    QWidget *chart = CtrlWidget(p1, "ChartCurveRed");
    if (!chart) chart = CtrlWidget(p1, kCurveChartAll);
    ASSERT_NE(chart, nullptr);
    auto *field = qobject_cast<QLineEdit *>(Widget(p1, "EditRX1"));
    auto typeThenClickChart = [&](const QString &text) {
        field->setFocus();
        QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(field, text);
        QTest::mouseClick(chart, Qt::LeftButton, Qt::NoModifier, chart->rect().center());
    };
    typeThenClickChart("2,5");
    EXPECT_EQ(Value(p1, "EditRX1"), 2.5);
    typeThenClickChart("2,5x");
    EXPECT_EQ(field->text(), "2,5") << "the kept value, not the refused text";
    EXPECT_EQ(Value(p1, "EditRX1"), 2.5);
    EXPECT_TRUE(field->property("_lastRefusal").toString().contains("\"2,5x\""));
}
