// Exchanges with the simulated sensor over loopback TCP and over a
// pseudo-terminal: the bytes on the wire, answers in pieces, every kind of bad
// answer, a server that closes, connects that fail.
#include "link/com232.h"
#include "link/frame.h"
#include "sim/simsensor.h"
#include "tests/test_link_fixture.h"

#include <algorithm>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

enum class Transport { Tcp, Pty };

// 00 55, the command code, then the given bytes and zeros up to 36.
// (Built in place: GCC 12 at -O2 takes an insert into the four-byte head for an overflow.)
sim::Bytes Frame(int order, const sim::Bytes &rest) {
    sim::Bytes b(36, 0);
    b[1] = 0x55;
    b[2] = static_cast<uint8_t>(order >> 8);
    b[3] = static_cast<uint8_t>(order & 0xFF);
    std::copy_n(rest.begin(), std::min<std::size_t>(rest.size(), b.size() - 4), b.begin() + 4);
    return b;
}

// What a parameter program does before its version query: auto-send off, no answer awaited.
void StopAutoSendAsAProgramDoes() {
    com.order = 50;
    FillTxBuf(com.order, 0, 0, 0);
    if (com.comprotocol == 0) {
        FlushInQ(com.comport);
        FlushOutQ(com.comport);
    }
    SendTxBuf();
}

class Com232Test : public LinkTest, public ::testing::WithParamInterface<Transport> {
  protected:
    bool Tcp() const { return GetParam() == Transport::Tcp; }

    void Open() {
        if (Tcp()) {
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

    std::vector<sim::Bytes> FramesToSensor() {
        std::vector<sim::Bytes> frames;
        for (const sim::CaptureEntry &e : sensor.capture())
            if (e.direction == sim::Direction::ToSensor) frames.push_back(e.bytes);
        return frames;
    }

    void ExpectTimeoutShown() {
        EXPECT_EQ(com.comecho, 0);
        EXPECT_EQ(Text(mainPanel, kDispStatus), "TIMEOUT");
        EXPECT_EQ(Text(interfacePanel, kConnectStatus), "TIMEOUT");
        int shown = 0;
        GetPanelAttribute(interfacePanel, ATTR_VISIBLE, shown);
        EXPECT_EQ(shown, 1);
    }

    sim::SimSensor sensor;
};

TEST_P(Com232Test, FirstVersionQueryIsSyncSevenAndZerosAndShowsTheVersion) {
    Open();
    CheckComLine();
    EXPECT_EQ(com.bytesToRead, 0);
    EXPECT_STREQ(com.version, "VEXA V3.2");
    EXPECT_EQ(Text(mainPanel, kDispStatus), "VEXA V3.2");
    EXPECT_EQ(Text(interfacePanel, kConnectStatus), "VEXA V3.2");
    EXPECT_EQ(Dimmed(interfacePanel, "ButtonAccept"), 0);
    EXPECT_EQ(FramesToSensor(), std::vector<sim::Bytes>{Frame(7, {})});
}

TEST_P(Com232Test, ParameterProgramStopsAutoSendFirstAndMayKeepAcceptDimmed) {
    linkProgram = ParameterToolLink(arrays, &poll, mainPanel, interfacePanel);
    linkProgram.stopAutoSend = StopAutoSendAsAProgramDoes;
    static bool handedOver;
    handedOver = false;
    linkProgram.afterVersion = [] {
        handedOver = true;
        return false; // as when reading the parameter set after the version failed
    };
    SetCtrlAttribute(interfacePanel, "ButtonAccept", ATTR_DIMMED, 1);
    Open();
    CheckComLine();
    EXPECT_TRUE(handedOver);
    EXPECT_EQ(Dimmed(interfacePanel, "ButtonAccept"), 1);
    const std::vector<sim::Bytes> expected = {Frame(50, {0x00, 0x00}), Frame(7, {})};
    EXPECT_EQ(FramesToSensor(), expected);
}

TEST_P(Com232Test, VersionOf36PrintableCharactersIsShownInFull) {
    const std::string text = "RQA/RQB V2.0 plus thirty-six chars..";
    ASSERT_EQ(text.size(), 36u);
    sensor.setVersion(text);
    Open();
    CheckComLine();
    EXPECT_EQ(std::string(com.version), text);
    EXPECT_EQ(Text(mainPanel, kDispStatus), text);
}

TEST_P(Com232Test, AnswerArrivingInPiecesIsAssembledInOrder) {
    sensor.setPacing(true); // one byte at a time, as a 19200-baud line delivers them
    sensor.setVersion("PRISMO3 V3.0");
    Open();
    CheckComLine();
    EXPECT_STREQ(com.version, "PRISMO3 V3.0");
    SendBlock(0x1500);
    EXPECT_EQ(com.comecho, 1);
}

TEST_P(Com232Test, BadAnswersAreReportedLikeSilenceAndTheNextExchangeWorks) {
    Open();
    for (sim::FaultKind kind : {sim::FaultKind::ShortAnswer, sim::FaultKind::WrongMarker,
                                sim::FaultKind::WrongCommand, sim::FaultKind::NoAnswer}) {
        sensor.setFault({.kind = kind, .command = 180});
        HidePanel(interfacePanel);
        SendBlock(0x1400);
        ExpectTimeoutShown();
        if (kind == sim::FaultKind::ShortAnswer) {
            EXPECT_EQ(com.bytesToRead, 1);
        }
        SendBlock(0x1400);
        EXPECT_EQ(com.comecho, 1) << "after fault " << static_cast<int>(kind);
    }
}

TEST_P(Com232Test, OverlongAnswerFailsOnSerialAndLeavesNoTraceOnTcp) {
    Open();
    sensor.setFault({.kind = sim::FaultKind::LongAnswer, .command = 180});
    SendBlock(0x1400);
    if (Tcp()) {
        EXPECT_EQ(com.comecho, 1); // the 37th byte is not part of any answer
    } else {
        EXPECT_EQ(com.bytesToRead, -1);
        ExpectTimeoutShown();
    }
    SendBlock(0x1600);
    EXPECT_EQ(com.comecho, 1);
}

TEST_P(Com232Test, EchoIsCheckedOnlyUpToTwiceItsLength) {
    Open();
    sensor.setFault({.kind = sim::FaultKind::CorruptEcho, .command = 180, .byteIndex = 4});
    SendBlock(0x1400);
    EXPECT_EQ(com.comecho, 1);
    sensor.setFault({.kind = sim::FaultKind::CorruptEcho, .command = 180, .byteIndex = 3});
    SendBlock(0x1400);
    ExpectTimeoutShown();
}

TEST_P(Com232Test, FramesOnTheWireCarryTheTailOfThePreviousFrame) {
    linkProgram = ParameterToolLink(arrays, &poll, mainPanel, interfacePanel);
    for (int k = 0; k < kAnzPara; ++k)
        arrays.pp[k] = static_cast<uint16_t>(0x1100 + k);
    Open();
    for (int order : {1, 2}) {
        com.order = static_cast<uint16_t>(order);
        FillTxBuf(com.order, 0, 0, 0);
        ExchangeFrame();
        ASSERT_EQ(com.bytesToRead, 0);
    }
    const std::vector<sim::Bytes> frames = FramesToSensor();
    ASSERT_EQ(frames.size(), 2u);
    sim::Bytes row0 = {0x00, 0x55, 0x00, 0x02, 0x00, 0x00, 0x11, 0x10, 0x11,
                       0x11, 0x11, 0x12, 0x11, 0x13, 0x11, 0x14, 0x11, 0x15};
    row0.insert(row0.end(), frames[0].begin() + 18, frames[0].end());
    EXPECT_EQ(frames[1], row0);
    EXPECT_EQ(frames[0][18], 0x11);
    EXPECT_EQ(frames[0][19], 0x07);
}

TEST_P(Com232Test, ParameterProgramStoresAnswerWordsInItsArrays) {
    linkProgram = ParameterToolLink(arrays, &poll, mainPanel, interfacePanel);
    Open();
    com.order = 3;
    FillTxBuf(com.order, 0, 0, 0);
    ASSERT_TRUE(ExchangeFrame());
    GetRxBufPara();
    EXPECT_EQ(arrays.pp[0], 0x00AA);
    EXPECT_EQ(arrays.pp[1], 3);
    EXPECT_EQ(arrays.pp[2 + 6], sensor.memory().ram.params[6]);
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

TEST_F(TcpLinkTest, ServerClosingDuringAWaitIsAnnouncedOnceThenEveryWaitTimesOut) {
    sim::SimSensor sensor;
    Connect(sensor.listenTcp());
    ASSERT_EQ(com.tcpcon, 1);
    sensor.setFault({.kind = sim::FaultKind::CloseConnection, .command = 180});
    for (int attempt = 0; attempt < 2; ++attempt) {
        com.order = 180;
        FillTxBuf(com.order, 0, 0x1400, 0);
        SendTxBuf();
        CheckEcho(2);
        EXPECT_EQ(Text(mainPanel, kDispStatus), "TIMEOUT");
    }
    ASSERT_EQ(Popups().size(), 1u);
    EXPECT_EQ(Popups()[0].title, "TCP Client");
    EXPECT_EQ(Popups()[0].text, "Server has closed connection!");
    EXPECT_EQ(com.tcpcon, 0);
    EXPECT_EQ(com.g_hconversation, 0u);
}

TEST_F(TcpLinkTest, RefusedConnectShowsItsTextWhereTheProgramWantsIt) {
    const int port = ClosedPort();
    Connect(port);
    EXPECT_LT(com.ret, 0);
    EXPECT_EQ(com.tcpcon, 0);
    EXPECT_STREQ(com.szStatus, "Connection refused");
    ASSERT_EQ(Popups().size(), 1u);
    EXPECT_EQ(Popups()[0].title, "TCP Client");
    EXPECT_EQ(Popups()[0].text, "Connection refused");

    ClearRecordedPopups();
    linkProgram = ParameterToolLink(arrays, &poll, mainPanel, interfacePanel);
    Connect(port);
    EXPECT_EQ(com.tcpcon, 0);
    EXPECT_TRUE(Popups().empty());
    EXPECT_EQ(Text(mainPanel, kDispStatus), "Connection refused");
    EXPECT_EQ(Text(interfacePanel, kConnectStatus), "Connection refused");
}

TEST_F(TcpLinkTest, UnreachableServerFailsWithinTheConnectTimeout) {
    // A listener whose one-place backlog is taken answers no further connect.
    int server = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ASSERT_EQ(bind(server, reinterpret_cast<sockaddr *>(&a), sizeof a), 0);
    ASSERT_EQ(listen(server, 0), 0);
    getsockname(server, reinterpret_cast<sockaddr *>(&a), &len);
    int queued = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_EQ(connect(queued, reinterpret_cast<sockaddr *>(&a), sizeof a), 0);

    linkProgram = ParameterToolLink(arrays, &poll, mainPanel, interfacePanel);
    Connect(ntohs(a.sin_port));
    EXPECT_EQ(com.ret, kTCP_TimeOutErr);
    EXPECT_EQ(com.tcpcon, 0);
    EXPECT_EQ(Text(mainPanel, kDispStatus), "Server did not answer in time");
    EXPECT_NE(std::string(com.szCause).find("No connection to 127.0.0.1:"), std::string::npos);
    close(queued);
    close(server);
}

TEST_F(LinkTest, SerialPortThatCannotOpenLeavesItsTextAndThePortClosed) {
    linkProgram = ParameterToolLink(arrays, &poll, mainPanel, interfacePanel);
    poll = 1;
    MapComPort(kTestComPort, dir.filePath("no-such-tty").toStdString());
    com.comport = kTestComPort;
    InitRS232();
    EXPECT_EQ(com.ret, COM_NO_PORT_FOUND);
    EXPECT_EQ(poll, 0);
    EXPECT_EQ(Text(mainPanel, kDispStatus), "No serial port found");
    EXPECT_EQ(Text(interfacePanel, kConnectStatus), "No serial port found");
    EXPECT_EQ(GetInQLen(kTestComPort), COM_PORT_NOT_OPEN);
}

TEST_F(LinkTest, SerialQueueBeyondTheBufferCountsAsAWrongLengthAnswer) {
    PtyPair pty;
    MapComPort(kTestComPort, pty.slavePath);
    com.comport = kTestComPort;
    InitRS232();
    ASSERT_EQ(com.ret, 0);
    pty.writeMaster(std::string(1100, '\x5A'));
    ASSERT_TRUE(WaitFor([] { return GetInQLen(kTestComPort) >= kLinkBufSize; }));
    WaitForAnswer(kAnswerTimeout);
    EXPECT_EQ(com.dataSize, kLinkBufSize);
    EXPECT_LT(com.bytesToRead, 0);
    EXPECT_EQ(com.szReadBuf[kLinkBufSize - 1], '\x5A');
}

} // namespace
