// The connection panel against the simulated sensor: connection attempts with
// the panel's settings, the dimming of Accept, Discard, help texts.
#include "link/servercombo.h"
#include "linksettings/portchoices.h"
#include "linksettings/serverlist.h"
#include "sim/simsensor.h"
#include "tests/test_link_fixture.h"

#include <QComboBox>
#include <QTest>
#include <cstdio>

using namespace linksettings;
using namespace runtime;
using namespace programlink;

namespace {

class ConnectPanelTest : public LinkTest {
  protected:
    void SetUp() override {
        LinkTest::SetUp();
        ASSERT_GT(InitServerComboBox(), 0);
    }
    void SetPanel(int protocol, int port, const std::string &server, const std::string &portText) {
        SetCtrlVal(interfacePanel, "EditCommunicationProtocol", protocol);
        SetCtrlVal(interfacePanel, "EditSelectComPort", port);
        SetCtrlVal(interfacePanel, "StringIpAdress", server);
        SetCtrlVal(interfacePanel, "StringPortNumber", portText);
        InitConnectPanel();
    }
    void UseSensorOverTcp() { SetPanel(1, 1, "127.0.0.1", std::to_string(sensor.listenTcp())); }
    void UseSensorOverPty() {
        MapComPort(kTestComPort, sensor.openPty());
        SetPanel(0, kTestComPort, "", "");
    }
    void Click(int panel, const char *roleName, Qt::MouseButton button = Qt::LeftButton) {
        QTest::mouseClick(CtrlWidget(panel, roleName), button);
    }
    bool PanelShown(int panel) {
        int shown = 0;
        GetPanelAttribute(panel, ATTR_VISIBLE, shown);
        return shown == 1;
    }

    sim::SimSensor sensor;
};

TEST_F(ConnectPanelTest, AttemptOverTcpUsesThePanelAndShowsTheServer) {
    UseSensorOverTcp();
    TryToConnect();
    EXPECT_EQ(com.comprotocol, 1);
    EXPECT_EQ(com.tcpcon, 1);
    EXPECT_EQ(Text(mainPanel, kDispStatus), "VEXA V3.2");
    // With its port: two programs on two ports of one server are told apart.
    EXPECT_EQ(Text(mainPanel, kDispServer), "127.0.0.1:" + std::to_string(com.portNum));
    EXPECT_EQ(Visible(mainPanel, kDispServer), 1);
    EXPECT_EQ(Visible(mainPanel, kDispComPort), 0);
    EXPECT_EQ(Dimmed(interfacePanel, "ButtonAccept"), 0);
}

TEST_F(ConnectPanelTest, AttemptOverSerialShowsTheDeviceItOpened) {
    UseSensorOverPty();
    TryToConnect();
    EXPECT_EQ(Text(interfacePanel, kConnectStatus), "VEXA V3.2");
    // A port number mapped to a pseudo-terminal: the display names the terminal, not "COM40".
    EXPECT_EQ(Text(mainPanel, kDispServer), ComPortDevice(kTestComPort));
    EXPECT_EQ(Visible(mainPanel, kDispServer), 1);
    EXPECT_EQ(Visible(mainPanel, kDispComPort), 0);
}

TEST_F(ConnectPanelTest, AcceptIsEnabledOnlyByASuccessfulTestAndDimmedByAnyEdit) {
    MapComPort(kTestComPort, File("no-such-tty"));
    SetPanel(0, kTestComPort, "", "");
    TryToConnect();
    EXPECT_EQ(Text(mainPanel, kDispStatus), "TIMEOUT"); // the serial error text gives way
    EXPECT_EQ(Dimmed(interfacePanel, "ButtonAccept"), 1);
    EXPECT_TRUE(PanelShown(interfacePanel));

    UseSensorOverTcp();
    Click(interfacePanel, "ButtonTryToConnect");
    EXPECT_EQ(Dimmed(interfacePanel, "ButtonAccept"), 0);
    EXPECT_EQ(Dimmed(interfacePanel, "ButtonTryToConnect"), 0);
    QTest::keyClick(CtrlWidget(interfacePanel, "StringPortNumber"), Qt::Key_Return);
    EXPECT_EQ(Dimmed(interfacePanel, "ButtonAccept"), 1);
}

// A person types and moves on with Tab or the mouse; Enter is not needed.
TEST_F(ConnectPanelTest, LeavingAnEditedFieldCountsAsAnEditAndItsServerNameIsKept) {
    ASSERT_TRUE(ActivateWindowOf(PanelWidget(interfacePanel)));
    UseSensorOverTcp();
    Click(interfacePanel, "ButtonTryToConnect");
    ASSERT_EQ(Dimmed(interfacePanel, "ButtonAccept"), 0);
    QWidget *port = CtrlWidget(interfacePanel, "StringPortNumber");
    port->setFocus();
    QTest::keyClick(port, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(port, "50999");
    QTest::keyClick(port, Qt::Key_Tab);
    EXPECT_EQ(Dimmed(interfacePanel, "ButtonAccept"), 1);

    // A server name typed and tried without Enter joins the list and its file.
    QWidget *server = CtrlWidget(interfacePanel, "StringIpAdress");
    server->setFocus();
    QTest::keyClick(server, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(server, "localhost");
    SetCtrlVal(interfacePanel, "StringPortNumber", std::to_string(sensor.listenTcp()));
    Click(interfacePanel, "ButtonTryToConnect");
    EXPECT_EQ(Text(interfacePanel, kConnectStatus), "VEXA V3.2");
    const std::vector<std::string> stored = ReadServerListFile(File("IPComboBox.cfg"));
    ASSERT_FALSE(stored.empty());
    EXPECT_EQ(stored.front(), "localhost");
}

TEST_F(ConnectPanelTest, ProtocolSelectorShowsOnlyThatTransportsControls) {
    QComboBox *list = nullptr;
    for (QComboBox *box : PanelWidget(interfacePanel)->findChildren<QComboBox *>())
        if (box->property("listButton").toBool()) list = box;
    ASSERT_NE(list, nullptr);
    for (int protocol : {1, 0}) {
        SetCtrlVal(interfacePanel, "EditCommunicationProtocol", 1 - protocol);
        auto *selector = qobject_cast<QComboBox *>(CtrlWidget(interfacePanel, "EditCommunicationProtocol"));
        QTest::keyClick(selector, protocol == 1 ? Qt::Key_Down : Qt::Key_Up); // commits the new choice
        const int tcp = protocol;
        EXPECT_EQ(Visible(interfacePanel, "EditSelectComPort"), 1 - tcp);
        EXPECT_EQ(Visible(interfacePanel, "LabelComPort"), 1 - tcp);
        EXPECT_EQ(Visible(interfacePanel, "StringIpAdress"), tcp);
        EXPECT_EQ(list->isHidden(), tcp == 0);
        EXPECT_EQ(Visible(interfacePanel, "StringPortNumber"), tcp);
        EXPECT_EQ(Visible(interfacePanel, "LabelPortNumber"), tcp);
        EXPECT_EQ(Dimmed(interfacePanel, "ButtonAccept"), 1);
    }
}

TEST_F(ConnectPanelTest, DiscardRestoresTheOldSettingsAndReconnects) {
    UseSensorOverPty();
    Click(mainPanel, "ButtonConnect");
    EXPECT_TRUE(PanelShown(interfacePanel));
    EXPECT_EQ(com.comprotocolold, 0);
    EXPECT_EQ(com.comportold, kTestComPort);

    SetPanel(1, 2, "elsewhere", "1");
    Click(interfacePanel, "ButtonDiscard");
    int protocol = -1, port = -1;
    GetCtrlVal(interfacePanel, "EditCommunicationProtocol", protocol);
    GetCtrlVal(interfacePanel, "EditSelectComPort", port);
    EXPECT_EQ(protocol, 0);
    EXPECT_EQ(port, kTestComPort);
    EXPECT_EQ(Visible(interfacePanel, "EditSelectComPort"), 1);
    EXPECT_EQ(Visible(interfacePanel, "StringIpAdress"), 0);
    EXPECT_EQ(Text(interfacePanel, kConnectStatus), "VEXA V3.2");
    EXPECT_TRUE(PanelShown(interfacePanel));
}

TEST_F(ConnectPanelTest, RefusedConnectShowsItsPopupThenTimeout) {
    sensor.listenTcp();
    SetPanel(1, 1, "127.0.0.1", "1"); // nobody listens on port 1
    TryToConnect();
    ASSERT_EQ(Popups().size(), 1u);
    EXPECT_EQ(Popups()[0].title, "TCP Client");
    EXPECT_EQ(Text(mainPanel, kDispStatus), "TIMEOUT");
    EXPECT_EQ(com.tcpcon, 0);
}

TEST_F(ConnectPanelTest, ParameterProgramDimsItsButtonsAroundTestsAndStopsPolling) {
    static std::vector<int> dimming;
    static int connectPanelShown;
    dimming.clear();
    connectPanelShown = 0;
    linkProgram = ParameterToolLink(frames, &poll, mainPanel, interfacePanel);
    linkProgram.setButtonsDimmed = [](int flag) { dimming.push_back(flag); };
    linkProgram.showConnectPanel = [] { ++connectPanelShown; };
    MapComPort(kTestComPort, File("no-such-tty"));
    SetPanel(0, kTestComPort, "", "");
    poll = 1;
    Click(interfacePanel, "ButtonTryToConnect");
    EXPECT_EQ(dimming, (std::vector<int>{1, 0}));
    EXPECT_EQ(poll, 0);
    EXPECT_EQ(connectPanelShown, 1);
    EXPECT_EQ(Text(interfacePanel, kConnectStatus), "TIMEOUT");
}

TEST_F(ConnectPanelTest, RightClickShowsEachControlsHelpTextAndTheFileItWrites) {
    const std::vector<std::pair<const char *, std::string>> controls = {
        {"EditCommunicationProtocol", " Select RS232 or TCP/IP Interface. "},
        {"EditSelectComPort", " Select a serial COM-PORT."},
        {"StringIpAdress", " Select a Server by name or IP address.\n Saved in " + File("IPComboBox.cfg")},
        {"StringPortNumber", " Select a port number."},
        {"ButtonTryToConnect", " Try to connect sensor."},
        {"ButtonAccept", " Accept settings and return to main panel.\n Saved in " + File("ComSettings.cfg")},
        {"ButtonDiscard", " Return to main panel with old settings."},
    };
    SetCtrlVal(interfacePanel, "EditCommunicationProtocol", 1);
    InitConnectPanel();
    for (const auto &[name, text] : controls) {
        SetCtrlAttribute(interfacePanel, name, ATTR_DIMMED, 0);
        ClearRecordedPopups();
        Click(interfacePanel, name, Qt::RightButton);
        ASSERT_EQ(Popups().size(), 1u) << name;
        EXPECT_EQ(Popups()[0].title, "INFO!");
        EXPECT_EQ(Popups()[0].text, text);
    }
    ClearRecordedPopups();
    Click(mainPanel, "ButtonConnect", Qt::RightButton);
    ASSERT_EQ(Popups().size(), 1u);
    EXPECT_EQ(Popups()[0].text, " Open a panel to select an interface protocol.");
}

TEST_F(ConnectPanelTest, PortSelectorOffersEveryNumberedPortAndKeepsItsChoice) {
    SetCtrlVal(interfacePanel, "EditSelectComPort", 18);
    FillComPortSelector();
    auto *selector = qobject_cast<QComboBox *>(CtrlWidget(interfacePanel, "EditSelectComPort"));
    std::vector<bool> offered(MAX_COM_PORT + 1, false);
    for (int i = 0; i < selector->count(); ++i) {
        int n = 0;
        if (std::sscanf(selector->itemText(i).toUtf8().constData(), "COM%d", &n) == 1 && n >= 1 &&
            n <= MAX_COM_PORT && selector->itemText(i).contains(QString::fromStdString(ComPortDeviceName(n))))
            offered[n] = true;
    }
    for (int n = 1; n <= MAX_COM_PORT; ++n)
        EXPECT_TRUE(offered[n]) << n;
    int port = 0;
    GetCtrlVal(interfacePanel, "EditSelectComPort", port);
    EXPECT_EQ(port, 18);
    EXPECT_EQ(Text(interfacePanel, "StringComDevice"), ComPortDeviceName(18));
}

TEST_F(ConnectPanelTest, StoredDeviceThatIsMissingShowsAsMissing) {
    const std::string gone = "/dev/serial/by-id/usb-Acme_Cable_A1B2-if00-port0";
    ShowPortSelection(3, gone.c_str());
    auto *selector = qobject_cast<QComboBox *>(CtrlWidget(interfacePanel, "EditSelectComPort"));
    EXPECT_EQ(selector->currentText().toStdString(), "Other device: " + gone + "   (missing)");
    EXPECT_EQ(Text(interfacePanel, "StringComDevice"), gone);

    // A numbered port whose device is absent is marked as well.
    MapComPort(kTestComPort, File("no-such-tty"));
    ShowPortSelection(kTestComPort, "");
    EXPECT_TRUE(selector->currentText().endsWith("(missing)")) << selector->currentText().toStdString();
}

TEST(PortChoices, NumbersMapToTheThreeDeviceFamilies) {
    const std::pair<int, const char *> cases[] = {
        {1, "/dev/ttyS0"},
        {16, "/dev/ttyS15"},
        {17, "/dev/ttyUSB0"},
        {32, "/dev/ttyUSB15"},
        {33, "/dev/ttyACM0"},
        {48, "/dev/ttyACM15"},
        {0, ""},
        {49, ""},
    };
    for (const auto &[port, device] : cases)
        EXPECT_EQ(ComPortDeviceName(port), device) << port;
}

TEST(PortChoices, PresentDevicesComeFirstWithWhatTheyAreAndTheirStableName) {
    const std::vector<SerialDeviceInfo> present = {
        {"/dev/ttyAMA0", "", "", "", ""},
        {"/dev/ttyUSB0", "FT232R USB UART", "FTDI", "A50285BI",
         "/dev/serial/by-id/usb-FTDI_FT232R-if00-port0"},
    };
    const std::vector<PortChoice> choices = PortChoices(present, {17, ""});
    ASSERT_EQ(choices.size(), 2u + (MAX_COM_PORT - 1) + 1);
    EXPECT_EQ(choices[0].value, kFirstPresentValue);
    EXPECT_EQ(choices[0].label, "/dev/ttyAMA0   serial device");
    EXPECT_EQ(choices[1].value, 17);
    EXPECT_EQ(choices[1].label, "COM17   /dev/ttyUSB0   FT232R USB UART (FTDI, SN A50285BI)");
    EXPECT_EQ(choices[1].device, "/dev/serial/by-id/usb-FTDI_FT232R-if00-port0");
    EXPECT_EQ(choices.back().value, kOtherDeviceValue);

    // Choosing the adapter stores its number for older copies and its stable name for newer ones.
    const PortSelection byId = SelectionOf(choices, present, 17, choices[1].device, 1);
    EXPECT_EQ(byId.comport, 17);
    EXPECT_EQ(byId.comDevice, "/dev/serial/by-id/usb-FTDI_FT232R-if00-port0");
    EXPECT_EQ(ChoiceValue(choices, byId), 17);
    // A device outside the numbered ports keeps the number in force.
    const PortSelection amaSelection = SelectionOf(choices, present, kFirstPresentValue, "", 5);
    EXPECT_EQ(amaSelection.comport, 5);
    EXPECT_EQ(amaSelection.comDevice, "/dev/ttyAMA0");
    // A typed path of a numbered port is just that number.
    const PortSelection typed = SelectionOf(choices, present, kOtherDeviceValue, "/dev/ttyUSB16", 5);
    EXPECT_EQ(typed.comDevice, "/dev/ttyUSB16");
    const PortSelection numbered = SelectionOf(choices, present, kOtherDeviceValue, ComPortDeviceName(20), 5);
    EXPECT_EQ(numbered.comport, 20);
    EXPECT_EQ(numbered.comDevice, "");
}

} // namespace
