// The connection panel against the simulated sensor: connection attempts with
// the panel's settings, the dimming of Accept, Discard, help texts.
#include "link/serverlist.h"
#include "sim/simsensor.h"
#include "tests/test_link_fixture.h"

#include <QComboBox>
#include <QTest>

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
    EXPECT_EQ(Text(mainPanel, kDispServer), "127.0.0.1");
    EXPECT_EQ(Visible(mainPanel, kDispServer), 1);
    EXPECT_EQ(Visible(mainPanel, kDispComPort), 0);
    EXPECT_EQ(Dimmed(interfacePanel, "ButtonAccept"), 0);
}

TEST_F(ConnectPanelTest, AttemptOverSerialShowsThePortNumber) {
    UseSensorOverPty();
    TryToConnect();
    EXPECT_EQ(Text(interfacePanel, kConnectStatus), "VEXA V3.2");
    int shownPort = 0;
    GetCtrlVal(mainPanel, kDispComPort, shownPort);
    EXPECT_EQ(shownPort, kTestComPort);
    EXPECT_EQ(Visible(mainPanel, kDispComPort), 1);
    EXPECT_EQ(Visible(mainPanel, kDispServer), 0);
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
    linkProgram = ParameterToolLink(arrays, &poll, mainPanel, interfacePanel);
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

TEST_F(ConnectPanelTest, PortSelectorNamesTheDeviceOfEveryPortAndKeepsItsChoice) {
    SetCtrlVal(interfacePanel, "EditSelectComPort", 18);
    FillComPortSelector();
    auto *selector = qobject_cast<QComboBox *>(CtrlWidget(interfacePanel, "EditSelectComPort"));
    ASSERT_EQ(selector->count(), MAX_COM_PORT);
    for (int n = 1; n <= MAX_COM_PORT; ++n)
        EXPECT_NE(selector->itemText(n - 1).toStdString().find(ComPortDeviceName(n)), std::string::npos) << n;
    int port = 0;
    GetCtrlVal(interfacePanel, "EditSelectComPort", port);
    EXPECT_EQ(port, 18);
}

} // namespace
