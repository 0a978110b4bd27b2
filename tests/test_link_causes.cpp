// What the connection panel says when the link fails: "TIMEOUT" where it always
// stood, and beside it the cause in words with the device or server; the status
// that shows the version again once an exchange succeeds after a failure.
#include "link/com232.h"
#include "link/frame.h"
#include "link/serverlist.h"
#include "sim/simsensor.h"
#include "tests/test_link_fixture.h"

#include <QComboBox>
#include <QFile>
#include <QSerialPort>
#include <QTest>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

class LinkCauseTest : public LinkTest {
  protected:
    void SetUp() override {
        LinkTest::SetUp();
        ASSERT_GT(InitServerComboBox(), 0);
        FillComPortSelector();
    }

    // Types a device path into the device field as a user does, then tests it.
    void ConnectToDevice(const std::string &path) {
        SetCtrlVal(interfacePanel, "EditCommunicationProtocol", 0);
        InitConnectPanel();
        QWidget *field = CtrlWidget(interfacePanel, "StringComDevice");
        SetCtrlVal(interfacePanel, "StringComDevice", "");
        QTest::keyClicks(field, QString::fromStdString(path));
        QTest::keyClick(field, Qt::Key_Return);
        QTest::mouseClick(CtrlWidget(interfacePanel, "ButtonTryToConnect"), Qt::LeftButton);
    }

    void ConnectToServer(const std::string &host, int port) {
        SetCtrlVal(interfacePanel, "EditCommunicationProtocol", 1);
        SetCtrlVal(interfacePanel, "StringIpAdress", host);
        SetCtrlVal(interfacePanel, "StringPortNumber", std::to_string(port));
        InitConnectPanel();
        TryToConnect();
    }

    // "TIMEOUT" in both status fields, and the cause beside it and as the status tooltip.
    void ExpectTimeoutWithCause(const std::string &part) {
        EXPECT_EQ(Text(mainPanel, kDispStatus), "TIMEOUT");
        EXPECT_EQ(Text(interfacePanel, kConnectStatus), "TIMEOUT");
        const std::string cause = Text(interfacePanel, kConnectCause);
        EXPECT_NE(cause.find(part), std::string::npos) << cause;
        std::string tooltip;
        GetCtrlAttribute(mainPanel, kDispStatus, ATTR_TOOLTIP_TEXT, tooltip);
        EXPECT_EQ(tooltip, cause);
    }

    sim::SimSensor sensor;
};

TEST_F(LinkCauseTest, PseudoTerminalChosenByItsPathConnects) {
    const std::string pty = sensor.openPty();
    ConnectToDevice(pty);
    EXPECT_EQ(Text(interfacePanel, kConnectStatus), "VEXA V3.2");
    EXPECT_EQ(Text(interfacePanel, kConnectCause), "");
    EXPECT_STREQ(com.comDevice, pty.c_str());
    EXPECT_GE(com.comport, 1);
    EXPECT_LE(com.comport, MAX_COM_PORT);
    int value = -1;
    GetCtrlVal(interfacePanel, "EditSelectComPort", value);
    EXPECT_EQ(value, 0); // the "other device" item, which names the path: present, so not "(missing)"
    auto *selector = qobject_cast<QComboBox *>(CtrlWidget(interfacePanel, "EditSelectComPort"));
    EXPECT_EQ(selector->currentText().toStdString(), "Other device: " + pty);
    EXPECT_EQ(Dimmed(interfacePanel, "ButtonAccept"), 0);
}

TEST_F(LinkCauseTest, DeviceThatCannotBeOpenedIsNamedWithItsReason) {
    const std::string missing = File("ttyUSB-gone");
    ConnectToDevice(missing);
    ExpectTimeoutWithCause("No such device: " + missing);

    // Held by another program: here a second open of the same pseudo-terminal.
    const std::string pty = sensor.openPty();
    QSerialPort holder(QString::fromStdString(pty));
    ASSERT_TRUE(holder.open(QIODevice::ReadWrite));
    ConnectToDevice(pty);
    ExpectTimeoutWithCause("Device busy: " + pty);
}

TEST_F(LinkCauseTest, DeviceUnpluggedWhileOpenIsNamed) {
    PtyPair pty;
    CopyText(com.comDevice, pty.slavePath);
    InitRS232();
    ASSERT_EQ(com.ret, 0);
    close(pty.master);
    pty.master = -1;
    SendBlock(0x1400);
    ExpectTimeoutWithCause("The device " + pty.slavePath + " stopped working (unplugged?)");
}

TEST_F(LinkCauseTest, DeviceWithoutAccessRightsAsksForGroupDialout) {
    if (geteuid() == 0) GTEST_SKIP() << "root may open every device file, so access cannot be denied";
    const std::string locked = File("ttyS-locked");
    QFile file(QString::fromStdString(locked));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    ASSERT_TRUE(file.setPermissions(QFileDevice::Permissions{}));
    ConnectToDevice(locked);
    ExpectTimeoutWithCause("Permission denied on " + locked);
    EXPECT_NE(Text(interfacePanel, kConnectCause).find("dialout"), std::string::npos);
}

TEST_F(LinkCauseTest, ServerThatRefusesOrDoesNotExistIsNamed) {
    const int port = ClosedPort();
    ConnectToServer("127.0.0.1", port);
    ExpectTimeoutWithCause("Connection refused by 127.0.0.1:" + std::to_string(port));
    ASSERT_FALSE(Popups().empty());
    EXPECT_EQ(Popups().back().text, "Connection refused");

    ConnectToServer("no-such-host.invalid", 10001);
    ExpectTimeoutWithCause("Host not found: no-such-host.invalid");
}

TEST_F(LinkCauseTest, ServerClosingTheConnectionIsNamed) {
    ConnectToServer("127.0.0.1", sensor.listenTcp());
    ASSERT_EQ(com.tcpcon, 1);
    sensor.setFault({.kind = sim::FaultKind::CloseConnection, .command = 180});
    SendBlock(0x1400);
    ExpectTimeoutWithCause("The server 127.0.0.1:" + std::to_string(com.portNum) + " closed the connection");
}

TEST_F(LinkCauseTest, SilenceAndAWrongMarkerAreNamedAndAGoodExchangeShowsTheVersionAgain) {
    const std::string pty = sensor.openPty();
    ConnectToDevice(pty);
    ASSERT_EQ(Text(mainPanel, kDispStatus), "VEXA V3.2");

    sensor.setFault({.kind = sim::FaultKind::NoAnswer, .command = 180});
    SendBlock(0x1400);
    ExpectTimeoutWithCause("No answer within 2.0 s from " + pty + " (wrong port, wrong cable, sensor off?)");

    sensor.setFault({.kind = sim::FaultKind::WrongMarker, .command = 180});
    SendBlock(0x1400);
    ExpectTimeoutWithCause("was not the sensor's: it begins 00 AB instead of 00 AA: 00 AB 00 B4 14 00");

    SendBlock(0x1400);
    EXPECT_EQ(com.comecho, 1);
    EXPECT_EQ(Text(mainPanel, kDispStatus), "VEXA V3.2");
    EXPECT_EQ(Text(interfacePanel, kConnectStatus), "VEXA V3.2");
    EXPECT_EQ(Text(interfacePanel, kConnectCause), "");
}

} // namespace
