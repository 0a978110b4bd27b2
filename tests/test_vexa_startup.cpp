// VexaV32 as a whole: start-up against the simulated sensor, navigation, the
// operation buttons, the polling loop and quitting.
#include "tests/test_vexa_harness.h"

#include <QGuiApplication>
#include <QWidget>

using namespace vexatest;
using namespace programlink;
using namespace vexaprogram;

namespace {

const char *const kOperationButtons[] = {"ButtonSend", "ButtonGet",    "ButtonGo",
                                         "SelectRAM",  "SelectEEPROM", "SelectFILE"};

// The panels show exactly the set s.
void ExpectPanelsShow(const sim::ParameterSet &s) {
    const char *controls[] = {"SlidePower",  "EditChannelMode", "EditAverage", "Evalmode",
                              "EditHold",    "EditIntlim",      "EditMaxNo",   "EditOutmode",
                              "EditTrigger", "ExternTeach",     "EditMaxUp",   "EditMaxDown"};
    for (int k = 0; k < 12; ++k)
        EXPECT_EQ(Val(vexa.parapanel, controls[k]), s.params[k]) << controls[k];
    for (int r = 0; r < 31; ++r)
        for (int j = 0; j < 6; ++j)
            EXPECT_EQ(Cell(j + 1, r + 1), s.teach[r][j]) << "row " << r << " value " << j;
}

std::vector<int> ReadSequence() {
    std::vector<int> codes{3};
    codes.insert(codes.end(), 31, 4);
    return codes;
}

bool Visible(int panel) {
    int v = 0;
    GetPanelAttribute(panel, ATTR_VISIBLE, v);
    return v == 1;
}

} // namespace

TEST(VexaStartUp, ReadsTheSensorsSetIntoThePanelsOverTcp) {
    VexaRun run;
    const sim::ParameterSet set = DistinctSet();
    run.sensor.setMemory({set, {}});
    ASSERT_EQ(run.start(), 0);

    const std::vector<sim::Bytes> frames = FramesToSensor(run.sensor);
    ASSERT_EQ(frames.size(), 34u);
    sim::Bytes autoSendOff(36, 0), versionQuery(36, 0);
    autoSendOff[1] = 0x55, autoSendOff[3] = 0x32;
    versionQuery[1] = 0x55, versionQuery[3] = 0x07;
    EXPECT_EQ(frames[0], autoSendOff);
    EXPECT_EQ(frames[1], versionQuery);
    std::vector<int> rest = CommandsToSensor(run.sensor);
    rest.erase(rest.begin(), rest.begin() + 2);
    EXPECT_EQ(rest, ReadSequence());
    for (int row = 0; row < 31; ++row)
        EXPECT_EQ(frames[3 + row][5], row) << "row index of command 4";

    ExpectPanelsShow(set);
    EXPECT_EQ(para.paraFrei13, 0xABCD);
    EXPECT_EQ(para.paraFrei16, 65535);
    std::string status;
    GetCtrlVal(vexa.datapanel, "DispStatus", status);
    EXPECT_EQ(status, "VEXA V3.2");
    EXPECT_EQ(vexa.target, RAM);
    EXPECT_EQ(Attr(vexa.interfacepanel, "ButtonAccept", ATTR_DIMMED), 0);
    for (const char *button : kOperationButtons)
        EXPECT_EQ(Attr(vexa.mainpanel, button, ATTR_DIMMED), 0) << button;
    EXPECT_TRUE(Visible(vexa.parapanel));
    EXPECT_TRUE(Visible(vexa.datapanel));
}

TEST(VexaStartUp, ReadsTheSensorsSetOverAPseudoTerminal) {
    VexaRun run(Transport::Pty);
    const sim::ParameterSet set = DistinctSet();
    run.sensor.setMemory({set, {}});
    ASSERT_EQ(run.start(), 0);
    std::vector<int> codes = CommandsToSensor(run.sensor);
    ASSERT_GE(codes.size(), 2u);
    EXPECT_EQ(std::vector<int>(codes.begin(), codes.begin() + 2), (std::vector<int>{50, 7}));
    EXPECT_EQ(std::vector<int>(codes.begin() + 2, codes.end()), ReadSequence());
    ExpectPanelsShow(set);
}

TEST(VexaStartUp, WithoutASensorShowsTimeoutAndTheConnectionPanel) {
    VexaRun run;
    // A serial port with no device behind it.
    WriteFileBytes(run.path("ComSettings.cfg"), "0\r\n48\r\n\r\n\r\n");
    ASSERT_EQ(run.start(), 0);
    std::string status;
    GetCtrlVal(vexa.datapanel, "DispStatus", status);
    EXPECT_EQ(status, "TIMEOUT");
    EXPECT_TRUE(Visible(vexa.interfacepanel));
    EXPECT_FALSE(Visible(vexa.parapanel));
    EXPECT_EQ(Attr(vexa.interfacepanel, "ButtonAccept", ATTR_DIMMED), 1);
    // The parameter panel keeps the resource's start values.
    EXPECT_EQ(Val(vexa.parapanel, "SlidePower"), 500);
    EXPECT_EQ(Attr(vexa.mainpanel, "ButtonGet", ATTR_DIMMED), 0);
}

TEST(VexaStartUp, AMissingResourceFileOrPanelEndsStartUpWithMinusOne) {
    VexaRun run;
    const std::string form = ReadFileBytes(run.path("VexaV32.uir"));
    const std::string marker = "<number>7</number>"; // the recorder panel's resource number
    ASSERT_NE(form.find(marker), std::string::npos);
    std::string withoutRecorder = form;
    withoutRecorder.replace(withoutRecorder.find(marker), marker.size(), "<number>77</number>");
    WriteFileBytes(run.path("VexaV32.uir"), withoutRecorder);
    EXPECT_EQ(run.start(), -1);
    EXPECT_EQ(vexa.mainpanel, 0);

    QFile::remove(QString::fromStdString(run.path("VexaV32.uir")));
    EXPECT_EQ(run.start(), -1);
    EXPECT_TRUE(FramesToSensor(run.sensor).empty());
}

TEST(VexaStartUp, EveryCallbackTheFormNamesIsRegistered) {
    VexaRun run;
    ASSERT_EQ(run.start(), 0);
    for (int panel : {vexa.mainpanel, vexa.parapanel, vexa.ttpanel, vexa.datapanel, vexa.interfacepanel,
                      vexa.recpanel, vexa.graphpanel, vexa.colbigpanel})
        for (int id = 1; id <= GetNumCtrls(panel); ++id) {
            QWidget *w = CtrlWidget(panel, id);
            const QString name = w ? w->property("callback").toString() : QString();
            if (name.isEmpty()) continue;
            CtrlCallbackPtr callback = nullptr;
            GetCtrlAttribute(panel, id, ATTR_CALLBACK_FUNCTION_POINTER, callback);
            EXPECT_NE(callback, nullptr) << name.toStdString();
        }
}

TEST(VexaStartUp, NavigationShowsOneChildPanelAndMarksItsButton) {
    VexaRun run;
    ASSERT_EQ(run.start(), 0);
    const struct {
        const char *button;
        int VexaState::*panel;
    } children[] = {{"ButtonConnect", &VexaState::interfacepanel},
                    {"ButtonPara", &VexaState::parapanel},
                    {"ButtonTeachTable", &VexaState::ttpanel},
                    {"ButtonRecorder", &VexaState::recpanel}};
    for (const auto &chosen : children) {
        Click(vexa.mainpanel, chosen.button);
        for (const auto &c : children) {
            const bool isChosen = c.panel == chosen.panel;
            EXPECT_EQ(Visible(vexa.*c.panel), isChosen) << "after " << chosen.button;
            EXPECT_EQ(Attr(vexa.mainpanel, c.button, ATTR_CTRL_COLOR), isChosen ? 0xC0C0C0 : 0xE0E0E0);
        }
    }
    // Opening the connection panel dims Accept until the next good test.
    Click(vexa.mainpanel, "ButtonConnect");
    EXPECT_EQ(Attr(vexa.interfacepanel, "ButtonAccept", ATTR_DIMMED), 1);

    ShowChildPanel(4);
    for (const auto &c : children) {
        EXPECT_FALSE(Visible(vexa.*c.panel));
        EXPECT_EQ(Attr(vexa.mainpanel, c.button, ATTR_CTRL_COLOR), 0xE0E0E0);
    }
}

TEST(VexaStartUp, OperationButtonsCarryTheShortcutKeysF9ToF12) {
    VexaRun run;
    ASSERT_EQ(run.start(), 0);
    const struct {
        const char *button;
        int key;
    } keys[] = {{"ButtonSend", Qt::Key_F9},
                {"ButtonGet", Qt::Key_F10},
                {"ButtonGo", Qt::Key_F11},
                {"ButtonStop", Qt::Key_F12}};
    for (const auto &k : keys)
        EXPECT_EQ(Attr(vexa.mainpanel, k.button, ATTR_SHORTCUT_KEY), k.key) << k.button;
    std::string title;
    QWidget *window = PanelWidget(vexa.mainpanel);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->windowTitle().toStdString(), "VEXA-Scope V3.2");
    // The icon of the desktop entry, each of its seven sizes drawn for that size.
    EXPECT_EQ(window->windowIcon().availableSizes().size(), 7);
    EXPECT_EQ(QGuiApplication::desktopFileName(), "VexaV32");
}

TEST(VexaStartUp, RightClickShowsEachControlsHelpText) {
    VexaRun run;
    ASSERT_EQ(run.start(), 0);
    const struct {
        int VexaState::*panel;
        const char *control;
        const char *textStart;
    } helps[] = {
        {&VexaState::mainpanel, "ButtonPara", " Switch to sensor parameters."},
        {&VexaState::mainpanel, "ButtonTeachTable", " Switch to color teach table."},
        {&VexaState::mainpanel, "ButtonRecorder", " Switch to data recorder."},
        {&VexaState::mainpanel, "ButtonSend", " All the parameters of the PC-User-Interface"},
        {&VexaState::mainpanel, "ButtonGet", " Sensor or file parameters are transferred"},
        {&VexaState::mainpanel, "ButtonGo", " Starts data transfer (CH_REF, CH_DIR"},
        {&VexaState::mainpanel, "ButtonStop",
         " Stops data transfer from sensor to PC.\n Shortcut Key: F12. "},
        {&VexaState::mainpanel, "SelectRAM", " Select the source respectively the target"},
        {&VexaState::mainpanel, "SelectEEPROM", " Select the source respectively the target"},
        {&VexaState::mainpanel, "SelectFILE", " Select the source respectively the target"},
        {&VexaState::parapanel, "Evalmode", "See Manual!"},
        {&VexaState::parapanel, "ExternTeach", "See Manual!"},
        {&VexaState::parapanel, "EditChannelMode", "Select the number of connected channels.\nSee Manual!"},
        {&VexaState::parapanel, "EditTrigger", "Select the trigger mode for the sensor. \nCONT:"},
        {&VexaState::parapanel, "EditOutmode", "Select how to control the 5 digital outputs. \nBINARY   :"},
        {&VexaState::parapanel, "EditMaxUp", "Select a time delay for maximum value tracing up. \n"},
        {&VexaState::parapanel, "EditMaxDown", "Select a time delay for maximum value tracing down. \n"},
        {&VexaState::parapanel, "EditAverage", " Select the number of scanning values"},
        {&VexaState::parapanel, "EditIntlim", " Select an intensity limit. \n Evaluation is stopped"},
        {&VexaState::parapanel, "EditHold", " Select the minimum pulse length"},
        {&VexaState::parapanel, "SlidePower", " Select the intensity of the transmitter LED. \n 0 = no"},
        {&VexaState::parapanel, "EditMaxNo", " Select the number of vectors in the TEACH TABLE"},
        {&VexaState::interfacepanel, "EditID", " Insert sensor identification. \n This ID"},
    };
    for (const auto &h : helps) {
        ClearRecordedPopups();
        RightClick(vexa.*h.panel, h.control);
        ASSERT_EQ(RecordedPopups().size(), 1u) << h.control;
        EXPECT_EQ(RecordedPopups()[0].title, "INFO!") << h.control;
        EXPECT_EQ(RecordedPopups()[0].text.rfind(h.textStart, 0), 0u)
            << h.control << ": " << RecordedPopups()[0].text;
    }
}

TEST(VexaStartUp, SensorIdGoesToTheBigDisplayAndTheRecorder) {
    VexaRun run;
    ASSERT_EQ(run.start(), 0);
    Click(vexa.mainpanel, "ButtonConnect");
    auto *edit = Widget(vexa.interfacepanel, "EditID");
    edit->setFocus();
    QTest::keyClicks(edit, "Line 3 / unit 7");
    QTest::keyClick(edit, Qt::Key_Return);
    for (int panel : {vexa.colbigpanel, vexa.recpanel}) {
        std::string id;
        GetCtrlVal(panel, "DispID", id);
        EXPECT_EQ(id, "Line 3 / unit 7");
    }
}

TEST(VexaStartUp, BigVectorDisplayHidesOnARightClickOrWhenClosed) {
    VexaRun run;
    ASSERT_EQ(run.start(), 0);
    QWidget *big = PanelWidget(vexa.colbigpanel);
    ASSERT_NE(big, nullptr);
    DisplayPanel(vexa.colbigpanel);
    QTest::mouseClick(big, Qt::RightButton, Qt::NoModifier, QPoint(3, 3));
    EXPECT_FALSE(Visible(vexa.colbigpanel));
    DisplayPanel(vexa.colbigpanel);
    big->close();
    EXPECT_FALSE(Visible(vexa.colbigpanel));
}

TEST(VexaPolling, GoPollsWithOperationsDimmedUntilStop) {
    VexaRun run;
    ASSERT_EQ(run.start(), 0);
    run.sensor.clearCapture();
    bool dimmedWhilePolling = false, stopUsable = false;
    ClickWhile(vexa.mainpanel, "ButtonGo", [&] {
        if (CountOf(CommandsToSensor(run.sensor), 5) < 3) return false;
        dimmedWhilePolling =
            std::all_of(std::begin(kOperationButtons), std::end(kOperationButtons),
                        [](const char *b) { return Attr(vexa.mainpanel, b, ATTR_DIMMED) == 1; });
        stopUsable = Attr(vexa.mainpanel, "ButtonStop", ATTR_DIMMED) == 0;
        Click(vexa.mainpanel, "ButtonStop");
        return true;
    });
    EXPECT_TRUE(dimmedWhilePolling);
    EXPECT_TRUE(stopUsable);
    EXPECT_EQ(vexa.poll, 0);
    for (const char *button : kOperationButtons)
        EXPECT_EQ(Attr(vexa.mainpanel, button, ATTR_DIMMED), 0) << button;
    const std::vector<int> codes = CommandsToSensor(run.sensor);
    EXPECT_EQ(CountOf(codes, 5), static_cast<int>(codes.size())) << "only data requests while polling";
    EXPECT_EQ(live.databuf[0], 0x00AA);
}

TEST(VexaPolling, ATimeoutEndsPollingWithTheConnectionPanel) {
    VexaRun run;
    ASSERT_EQ(run.start(), 0);
    run.sensor.setFault({.kind = sim::FaultKind::WrongCommand, .command = 5, .frame = 2});
    run.sensor.setFault({.kind = sim::FaultKind::ShortAnswer, .command = 5, .frame = 3});
    run.sensor.clearCapture();
    Click(vexa.mainpanel, "ButtonGo"); // returns once polling has ended
    EXPECT_EQ(CountOf(CommandsToSensor(run.sensor), 5), 3) << "a wrong command word is still shown";
    std::string status;
    GetCtrlVal(vexa.datapanel, "DispStatus", status);
    EXPECT_EQ(status, "TIMEOUT");
    EXPECT_TRUE(Visible(vexa.interfacepanel));
    EXPECT_EQ(Attr(vexa.mainpanel, "ButtonGo", ATTR_DIMMED), 0);
}

TEST(VexaPolling, ClosingTheMainWindowEndsLoopAndProgramWithoutAnotherFrame) {
    VexaRun run;
    ASSERT_EQ(run.start(), 0);
    long framesAtClose = -1;
    QTimer::singleShot(0, [] { Click(vexa.mainpanel, "ButtonGo"); });
    QTimer closer;
    closer.setInterval(2);
    QObject::connect(&closer, &QTimer::timeout, [&] {
        // Close between cycles' answers, so every frame written so far has reached the sensor.
        if (vexa.poll != 1 || run.sensor.framesReceived() < 40 || LinkSensor().bytesToRead() != 0) return;
        closer.stop();
        framesAtClose = run.sensor.framesReceived();
        PanelWidget(vexa.mainpanel)->close();
    });
    closer.start();
    EXPECT_EQ(RunUserInterface(), 0);
    ASSERT_GT(framesAtClose, 0);
    EXPECT_EQ(vexa.poll, 0);
    EXPECT_FALSE(WaitFor([&] { return run.sensor.framesReceived() > framesAtClose; }, 0.3));
}
