// KelvraV12 as a whole program, offscreen: start-up against the simulated
// sensor, the choice of the data panel, the main panel's callbacks, shutdown.
#include "kelvra/gui.h"
#include "link/linkstate.h"
#include "tests/test_kelvra_program.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTimer>
#include <vector>

using kelvralink::kdata;
using kelvralink::kDataPanels;
using kelvralink::kpanels;

using namespace programlink;
using namespace kelvraprogram;

namespace {

using KelvraStartup = KelvraProgram;

std::string Text(int panel, const char *name) {
    std::string s;
    GetCtrlVal(panel, name, s);
    return s;
}

int Selected() {
    int code = -1;
    GetCtrlVal(kpanels.mainpanel, kEditSelectSensor, code);
    return code;
}

TEST_F(KelvraStartup, HuemaPxSensorOverTcpShowsTheSixChannelPanel) {
    ASSERT_EQ(Start("HUEMA-PX V1.1"), 0);
    EXPECT_EQ(VisibleDataPanel(), 3);
    EXPECT_EQ(Selected(), 400);
    EXPECT_EQ(kdata.selSensor, 400);
    EXPECT_EQ(Text(kpanels.mainpanel, "DispStatus"), "HUEMA-PX V1.1");
    EXPECT_EQ(com.tcpcon, 1);
    int visible = 1;
    GetPanelAttribute(kpanels.interfacepanel, ATTR_VISIBLE, visible);
    EXPECT_EQ(visible, 0);
    EXPECT_EQ(PanelWidget(kpanels.mainpanel)->windowTitle(), "KELVRA-Scope V1.2");
    // The icon of the desktop entry, each of its seven sizes drawn for that size.
    EXPECT_EQ(PanelWidget(kpanels.mainpanel)->windowIcon().availableSizes().size(), 7);
    EXPECT_EQ(QGuiApplication::desktopFileName(), "KelvraV12");
}

TEST_F(KelvraStartup, SerialSensorIsFoundThroughThePseudoTerminal) {
    ASSERT_EQ(Start("RQA/RQB V2.0 ", Transport::Serial), 0);
    EXPECT_EQ(VisibleDataPanel(), 6);
    EXPECT_EQ(Selected(), 700);
    // The first frame of the run is the version query with an untouched buffer.
    const auto capture = sensor.capture();
    ASSERT_FALSE(capture.empty());
    std::vector<uint8_t> query(36, 0);
    query[1] = 0x55;
    query[3] = 0x07;
    EXPECT_EQ(capture.front().bytes, query);
}

TEST_F(KelvraStartup, DataPanelsSitBelowTheSelectorRow) {
    ASSERT_EQ(Start("HUEMA3 V6.3"), 0);
    for (int n = 1; n <= kDataPanels; ++n) {
        int top = 0, left = 0;
        GetPanelAttribute(kpanels.datapanel[n], ATTR_TOP, top);
        GetPanelAttribute(kpanels.datapanel[n], ATTR_LEFT, left);
        EXPECT_EQ(top, 105) << n;
        EXPECT_EQ(left, 8) << n;
        EXPECT_EQ(PanelWidget(kpanels.datapanel[n])->parentWidget(), PanelWidget(kpanels.mainpanel));
    }
}

TEST_F(KelvraStartup, VersionTextPicksTheDataPanel) {
    ASSERT_EQ(Start("HUEMA3 V6.3"), 0);
    struct Case {
        const char *version;
        int code;
        int panel;
    };
    const Case cases[] = {
        {"HUEMA3 V6.3", 100, 1},  {"HUEMA4 V6.3", 200, 1},
        {"PRISMO3 V3.0", 300, 2}, {"HUEMA-PX V1.1", 400, 3},
        {"TRV-PX V4.4", 500, 4},  {"VEXA2 V3.1", 600, 5},
        {"VEXA V3.2", 601, 5},    {"RQA/RQB V2.0 ", 700, 6},
        {"RQA/RQB V2.0", 700, 6}, // no trailing blank: the code stays as it was
        {"UNKNOWN", 700, 6},
    };
    for (const Case &c : cases) {
        LinkSensor().setVersion(c.version);
        SetChildPanel();
        EXPECT_EQ(kdata.selSensor, c.code) << c.version;
        EXPECT_EQ(Selected(), c.code) << c.version;
        EXPECT_EQ(VisibleDataPanel(), c.panel) << c.version;
    }
}

TEST_F(KelvraStartup, UnknownSensorAtStartShowsNoDataPanel) {
    ASSERT_EQ(Start("SOMETHING ELSE"), 0);
    EXPECT_EQ(kdata.selSensor, 0);
    EXPECT_EQ(Selected(), 0);
    EXPECT_EQ(VisibleDataPanel(), 0);
    EXPECT_EQ(Text(kpanels.mainpanel, "DispStatus"), "SOMETHING ELSE");
}

// Records the order in which data panels are hidden and shown.
class ShowHideLog : public QObject {
  public:
    std::vector<std::pair<int, QEvent::Type>> log;
    bool eventFilter(QObject *watched, QEvent *e) override {
        if (e->type() == QEvent::Show || e->type() == QEvent::Hide)
            for (int n = 1; n <= kDataPanels; ++n)
                if (watched == PanelWidget(kpanels.datapanel[n])) log.emplace_back(n, e->type());
        return false;
    }
};

TEST_F(KelvraStartup, SelectorHidesTheOldPanelBeforeShowingTheNew) {
    ASSERT_EQ(Start("HUEMA3 V6.3"), 0);
    ASSERT_EQ(VisibleDataPanel(), 1);
    ShowHideLog spy;
    for (int n = 1; n <= kDataPanels; ++n)
        PanelWidget(kpanels.datapanel[n])->installEventFilter(&spy);
    auto *selector = qobject_cast<QComboBox *>(Widget(kpanels.mainpanel, kEditSelectSensor));
    ASSERT_NE(selector, nullptr);
    selector->setFocus();
    QTest::keyClick(selector, Qt::Key_Down); // 100 -> 200: the same panel
    EXPECT_EQ(kdata.selSensor, 200);
    EXPECT_EQ(VisibleDataPanel(), 1);
    spy.log.clear();
    QTest::keyClick(selector, Qt::Key_Down); // 300: P2
    EXPECT_EQ(kdata.selSensor, 300);
    EXPECT_EQ(VisibleDataPanel(), 2);
    const std::vector<std::pair<int, QEvent::Type>> expected = {{1, QEvent::Hide}, {2, QEvent::Show}};
    EXPECT_EQ(spy.log, expected);
    QTest::keyClick(selector, Qt::Key_Home); // code 0: the place stays empty
    EXPECT_EQ(kdata.selSensor, 0);
    EXPECT_EQ(VisibleDataPanel(), 0);
}

TEST_F(KelvraStartup, SelectorExplainsItselfOnRightClick) {
    ASSERT_EQ(Start("HUEMA3 V6.3"), 0);
    ClearRecordedPopups();
    RightClick(kpanels.mainpanel, kEditSelectSensor);
    ASSERT_EQ(RecordedPopups().size(), 1u);
    EXPECT_EQ(RecordedPopups()[0].title, "INFO!");
    EXPECT_EQ(RecordedPopups()[0].text, "Select the sensor for temperature compensation.");
    EXPECT_EQ(kdata.selSensor, 100);
}

TEST_F(KelvraStartup, NoServerGivesTimeoutAndTheConnectionPanel) {
    WriteSettings("1\r\n1\r\n127.0.0.1\r\n1\r\n"); // nothing listens on port 1
    ASSERT_EQ(StartKelvra(), 0);
    EXPECT_EQ(Text(kpanels.mainpanel, "DispStatus"), "TIMEOUT");
    int visible = 0;
    GetPanelAttribute(kpanels.interfacepanel, ATTR_VISIBLE, visible);
    EXPECT_EQ(visible, 1);
    EXPECT_EQ(VisibleDataPanel(), 0);
    ASSERT_FALSE(RecordedPopups().empty());
    EXPECT_EQ(RecordedPopups()[0].title, "TCP Client");
    // Closing the connection panel only hides it.
    PanelWidget(kpanels.interfacepanel)->close();
    GetPanelAttribute(kpanels.interfacepanel, ATTR_VISIBLE, visible);
    EXPECT_EQ(visible, 0);
}

TEST_F(KelvraStartup, ClosingTheMainPanelEndsTheEventLoop) {
    ASSERT_EQ(Start("TRV-PX V4.4"), 0);
    EXPECT_EQ(VisibleDataPanel(), 4);
    QTimer::singleShot(0, [] { PanelWidget(kpanels.mainpanel)->close(); });
    EXPECT_EQ(RunUserInterface(), 0);
    ShutdownKelvra();
    EXPECT_EQ(com.tcpcon, 0);
    EXPECT_EQ(kpanels.mainpanel, 0);
}

TEST_F(KelvraStartup, MissingResourceFileOrPanelFailsTheStart) {
    QFile::remove(dir.filePath("KelvraV12.uir"));
    EXPECT_EQ(StartKelvra(), -1);
    // A form whose connection panel, the last one loaded, has another resource number.
    std::string form = ReadFileBytes(KELVRA_DIR "/KelvraV12.uir");
    const auto panel = form.find("name=\"INTERFACEP\"");
    ASSERT_NE(panel, std::string::npos);
    const auto number = form.find("<number>7</number>", panel);
    ASSERT_NE(number, std::string::npos);
    form.replace(number, 18, "<number>77</number>");
    WriteFileBytes(InDir("KelvraV12.uir"), form);
    EXPECT_EQ(StartKelvra(), -1);
    EXPECT_EQ(kpanels.mainpanel, 0);
}

} // namespace
