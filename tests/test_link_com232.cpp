// The programs' link under its described names, against the simulated sensor
// over loopback TCP and a pseudo-terminal: the version query and the program's
// hand-over, "TIMEOUT" and the connection panel after a failed exchange, a
// server that closes, connects and ports that fail. What an exchange does on
// the wire is the sensor object's own (test_sensor).
#include "link/com232.h"
#include "sim/simsensor.h"
#include "tests/test_link_fixture.h"

using namespace runtime;
using namespace programlink;

namespace {

enum class Transport { Tcp, Pty };

std::vector<int> CommandsToSensor(const sim::SimSensor &sensor) {
    std::vector<int> codes;
    for (const sim::CaptureEntry &e : sensor.capture())
        if (e.direction == sim::Direction::ToSensor && e.bytes.size() == 36)
            codes.push_back(e.bytes[2] << 8 | e.bytes[3]);
    return codes;
}

class Com232Test : public LinkTest, public ::testing::WithParamInterface<Transport> {
  protected:
    void Open() {
        if (GetParam() == Transport::Tcp) {
            com.comprotocol = 1;
            CopyText(com.ipBuf, "127.0.0.1");
            com.portNum = sensor.listenTcp();
            InitTCP_IP();
            ASSERT_EQ(com.tcpcon, 1);
        } else {
            MapComPort(kTestComPort, sensor.openPty());
            com.comprotocol = 0;
            com.comport = kTestComPort;
            InitRS232();
            ASSERT_EQ(com.ret, 0);
        }
    }

    sim::SimSensor sensor;
};

TEST_P(Com232Test, VersionQueryShowsTheVersionAndLetsTheSettingsBeAccepted) {
    Open();
    EXPECT_TRUE(CheckComLine());
    EXPECT_EQ(LinkSensor().version(), "VEXA V3.2");
    EXPECT_EQ(Text(mainPanel, kDispStatus), "VEXA V3.2");
    EXPECT_EQ(Text(interfacePanel, kConnectStatus), "VEXA V3.2");
    EXPECT_EQ(Dimmed(interfacePanel, "ButtonAccept"), 0);
    EXPECT_EQ(CommandsToSensor(sensor), std::vector<int>{7});
}

TEST_P(Com232Test, ParameterProgramStopsAutoSendFirstAndMayKeepAcceptDimmed) {
    linkProgram = ParameterToolLink(frames, &poll, mainPanel, interfacePanel);
    linkProgram.stopAutoSend = [] { vexalink::StopAutoSend(LinkSensor()); };
    static bool handedOver;
    handedOver = false;
    linkProgram.afterVersion = [] {
        handedOver = true;
        return false; // as when reading the parameter set after the version failed
    };
    SetCtrlAttribute(interfacePanel, "ButtonAccept", ATTR_DIMMED, 1);
    Open();
    EXPECT_TRUE(CheckComLine());
    EXPECT_TRUE(handedOver);
    EXPECT_EQ(Dimmed(interfacePanel, "ButtonAccept"), 1);
    EXPECT_EQ(CommandsToSensor(sensor), (std::vector<int>{50, 7}));
}

TEST_P(Com232Test, FailedEchoShowsTimeoutAndTheConnectionPanelAndTheNextOneWorks) {
    Open();
    sensor.setFault({.kind = sim::FaultKind::WrongMarker, .command = 180});
    HidePanel(interfacePanel);
    SendBlock(0x1400);
    EXPECT_FALSE(LinkSensor().echoOk());
    EXPECT_EQ(Text(mainPanel, kDispStatus), "TIMEOUT");
    EXPECT_EQ(Text(interfacePanel, kConnectStatus), "TIMEOUT");
    int shown = 0;
    GetPanelAttribute(interfacePanel, ATTR_VISIBLE, shown);
    EXPECT_EQ(shown, 1);
    SendBlock(0x1400);
    EXPECT_TRUE(LinkSensor().echoOk());
}

INSTANTIATE_TEST_SUITE_P(BothTransports, Com232Test, ::testing::Values(Transport::Tcp, Transport::Pty),
                         [](const auto &info) { return info.param == Transport::Tcp ? "Tcp" : "Pty"; });

class TcpLinkTest : public LinkTest {
  protected:
    void Connect(int port) {
        com.comprotocol = 1;
        CopyText(com.ipBuf, "127.0.0.1");
        com.portNum = port;
        InitTCP_IP();
    }
};

TEST_F(TcpLinkTest, ServerClosingIsAnnouncedOnceAndTheNextOperationConnectsAgain) {
    sim::SimSensor sensor;
    Connect(sensor.listenTcp());
    ASSERT_EQ(com.tcpcon, 1);
    sensor.setFault({.kind = sim::FaultKind::CloseConnection, .command = 180});
    SendBlock(0x1400);
    EXPECT_EQ(Text(mainPanel, kDispStatus), "TIMEOUT");
    EXPECT_EQ(com.tcpcon, 0);
    ASSERT_EQ(Popups().size(), 1u);
    EXPECT_EQ(Popups()[0].title, "TCP Client");
    EXPECT_EQ(Popups()[0].text, "Server has closed connection!");
    EXPECT_NE(Text(interfacePanel, kConnectCause).find("closed the connection"), std::string::npos)
        << "in words, not a result code: " << Text(interfacePanel, kConnectCause);

    FillTxBuf(sensor::kVersionCommand, 0, 0, 0);
    EXPECT_TRUE(ExchangeFrame());
    EXPECT_EQ(com.tcpcon, 1);
    EXPECT_EQ(Popups().size(), 1u);
}

TEST_F(TcpLinkTest, RefusedConnectShowsItsTextWhereTheProgramWantsIt) {
    const int port = ClosedPort();
    Connect(port);
    EXPECT_LT(com.ret, 0);
    EXPECT_EQ(com.tcpcon, 0);
    EXPECT_STREQ(com.szStatus, "UnableToEstablishConnection");
    ASSERT_EQ(Popups().size(), 1u);
    EXPECT_EQ(Popups()[0].title, "TCP Client");
    EXPECT_EQ(
        Popups()[0].text.rfind(
            "UnableToEstablishConnection: connection refused by 127.0.0.1:" + std::to_string(port) + ":", 0),
        0u)
        << Popups()[0].text;

    ClearRecordedPopups();
    linkProgram = ParameterToolLink(frames, &poll, mainPanel, interfacePanel);
    Connect(port);
    EXPECT_EQ(com.tcpcon, 0);
    EXPECT_TRUE(Popups().empty());
    EXPECT_EQ(Text(mainPanel, kDispStatus), "UnableToEstablishConnection");
    EXPECT_EQ(Text(interfacePanel, kConnectStatus), "UnableToEstablishConnection");
}

TEST_F(LinkTest, SerialPortThatCannotOpenLeavesItsTextAndThePortClosed) {
    linkProgram = ParameterToolLink(frames, &poll, mainPanel, interfacePanel);
    poll = 1;
    MapComPort(kTestComPort, dir.filePath("no-such-tty").toStdString());
    com.comport = kTestComPort;
    InitRS232();
    EXPECT_EQ(com.ret, sensor::kSerialNoPortFound);
    EXPECT_EQ(poll, 0);
    EXPECT_EQ(Text(mainPanel, kDispStatus), "No serial port found");
    EXPECT_EQ(Text(interfacePanel, kConnectStatus), "No serial port found");
    EXPECT_FALSE(LinkSensor().isOpen());
}

} // namespace
