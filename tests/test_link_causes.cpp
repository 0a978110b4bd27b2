// What the link says when it fails: the status texts of the result codes, the
// cause of a failure in words with the device or server, and how the connection
// panel shows them: "TIMEOUT" where it always stood, the cause beside it, the
// version again once an exchange succeeds after a failure.
#include "link/com232.h"
#include "link/servercombo.h"
#include "sensor/causes.h"
#include "sim/simsensor.h"
#include "tests/test_link_fixture.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QLockFile>
#include <QTest>
#include <csignal>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace runtime;
using namespace programlink;

namespace {

TEST(StatusTexts, EveryCodeGetsItsExactText) {
    const std::vector<std::pair<int, std::string>> serial = {
        {-1, "Unknown system error"}, {-2, "Invalid port number"}, {-3, "Port is not open"},
        {-4, "Unknown I/0 error"},    {-5, "RS-232 error!"},       {-6, "No serial port found"},
        {-7, "Cannot open port"},     {-8, "RS-232 error!"},       {-99, "Timeout"},
        {-100, "RS-232 error!"},
    };
    for (const auto &[code, text] : serial)
        EXPECT_EQ(sensor::Rs232ErrorText(code), text) << code;
    // Connect errors carry the names that manuals list, so that a technician finds them.
    const std::vector<std::pair<int, std::string>> tcp = {
        {-1, "UnableToRegisterService"},
        {-2, "UnableToEstablishConnection"},
        {-4, "FailedToConnect"},
        {-11, "TimeOutError "},
        {-12, "NoConnectionEstablished "},
        {-14, "ConnectionClosed"},
        {-20, "InfoNotAvailable"},
        {-21, "Connection to server failed"},
        {-99, "Connection to server failed"},
    };
    for (const auto &[code, text] : tcp)
        EXPECT_EQ(sensor::TcpErrorText(code), text) << code;
    for (int code = -20; code < 0; ++code)
        EXPECT_LT(std::string(sensor::TcpErrorText(code)).size(), sizeof com.szStatus) << code;
    // Shown, the name comes first and the words follow as one sentence.
    EXPECT_EQ(sensor::NamedTcpCause(-2, "Connection refused by 127.0.0.1:4001: nothing listens."),
              "UnableToEstablishConnection: connection refused by 127.0.0.1:4001: nothing listens.");
    EXPECT_EQ(sensor::NamedTcpCause(-11, "No connection to plc:4001 within 5.0 s"),
              "TimeOutError: no connection to plc:4001 within 5.0 s");
    EXPECT_EQ(sensor::NamedTcpCause(-4, ""), "FailedToConnect");
}

TEST(CauseTexts, EveryWrongAnswerIsNamedWithWhereItCameFromAndItsBytes) {
    char sent[36] = {0x00, 0x55, 0x00, static_cast<char>(0xB4), 0x14, 0x00};
    char echo[40] = {0x00, static_cast<char>(0xAA), 0x00, static_cast<char>(0xB4), 0x14, 0x00};
    const std::string where = "/dev/ttyUSB0";
    auto cause = [&](const char *got, int count, int words) {
        return sensor::AnswerCause({where, 3.0, got, count, count, sent, words});
    };
    EXPECT_EQ(cause(echo, 36, 2), "");
    EXPECT_EQ(cause(echo, 36, 0), "");
    EXPECT_EQ(cause(echo, 0, 2),
              "No answer within 3.0 s from /dev/ttyUSB0 (wrong port, wrong cable, sensor off?).");
    EXPECT_EQ(cause(echo, 4, 2),
              "Answer cut short: 4 of 36 bytes from /dev/ttyUSB0 within 3.0 s: 00 AA 00 B4.");
    EXPECT_NE(
        cause(echo, 37, 0).find("Answer of wrong length: 37 bytes instead of 36 from /dev/ttyUSB0: 00 AA"),
        std::string::npos);
    echo[1] = static_cast<char>(0xAB);
    EXPECT_NE(cause(echo, 36, 2).find("was not the sensor's: it begins 00 AB instead of 00 AA"),
              std::string::npos);
    echo[1] = static_cast<char>(0xAA);
    echo[4] = 0x15;
    EXPECT_EQ(cause(echo, 36, 2), ""); // an echo of two words ends before byte 4
    EXPECT_NE(cause(echo, 36, 3).find("Wrong echo from /dev/ttyUSB0: byte 4 is 15 where the command had 14"),
              std::string::npos);
    // A read is judged by its length only.
    EXPECT_EQ(cause(echo, 36, 0), "");
    // A huge serial queue shows only the start of its bytes.
    const std::string flood(1024, 'Z');
    const std::string text = sensor::AnswerCause({where, 3.0, flood.data(), 1024, 1024, sent, 0});
    EXPECT_LT(text.size(), 300u);
    EXPECT_NE(text.find("1024 bytes instead of 36"), std::string::npos);
}

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

// The process number of a program that has ended.
pid_t EndedProcess() {
    const pid_t child = fork();
    if (child == 0) _exit(0);
    waitpid(child, nullptr, 0);
    return child;
}

TEST_F(LinkCauseTest, SerialLockFilesAreTakenOverWhenLeftAndNamedWhenHeld) {
    const std::string pty = sensor.openPty();
    const std::string lockPath = sensor::SerialLockFile(pty);
    if (lockPath.empty()) GTEST_SKIP() << "no lock folder may be written here";
    const QString lockFile = QString::fromStdString(lockPath);
    {
        // Held by a live process (this one, under another lock object): named with its number.
        QLockFile held(lockFile);
        ASSERT_TRUE(held.tryLock(0));
        ConnectToDevice(pty);
        ExpectTimeoutWithCause("Device busy: " + pty + " is held by the lock file " + lockPath +
                               " of process " + std::to_string(QCoreApplication::applicationPid()));
    }
    ASSERT_FALSE(QFile::exists(lockFile));
    // Left by a terminal program that has ended (its number in ten columns): taken over, and said so.
    const pid_t ended = EndedProcess();
    WriteFileBytes(lockPath, QString("%1\n").arg(ended, 10).toStdString());
    ConnectToDevice(pty);
    EXPECT_EQ(Text(interfacePanel, kConnectStatus), "VEXA V3.2");
    EXPECT_EQ(Text(interfacePanel, kConnectCause), "Took over the lock file " + lockPath + " of process " +
                                                       std::to_string(ended) + ", which no longer runs.");
    LinkSensor().close();
    EXPECT_FALSE(QFile::exists(lockFile));
}

TEST_F(LinkCauseTest, AProgramEndedBySigtermOrSigintRemovesItsSerialLock) {
    const std::string pty = sensor.openPty();
    const std::string lockPath = sensor::SerialLockFile(pty);
    if (lockPath.empty()) GTEST_SKIP() << "no lock folder may be written here";
    for (int signal : {SIGTERM, SIGINT}) {
        int ready[2];
        ASSERT_EQ(pipe(ready), 0);
        const pid_t child = fork();
        if (child == 0) {
            auto port = sensor::MakeSerialTransport(pty);
            port->open([](const sensor::OpenResult &) {});
            const char opened = port->isOpen() ? 'y' : 'n';
            (void)!write(ready[1], &opened, 1);
            for (;;)
                pause();
        }
        close(ready[1]);
        pollfd readable{ready[0], POLLIN, 0};
        char opened = 0;
        ASSERT_EQ(::poll(&readable, 1, 10000), 1);
        ASSERT_EQ(read(ready[0], &opened, 1), 1);
        close(ready[0]);
        EXPECT_EQ(opened, 'y');
        EXPECT_TRUE(QFile::exists(QString::fromStdString(lockPath)));
        kill(child, signal);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
        EXPECT_FALSE(QFile::exists(QString::fromStdString(lockPath))) << signal;
    }
}

TEST_F(LinkCauseTest, ServerThatRefusesIsNamed) {
    const int port = ClosedPort();
    ConnectToServer("127.0.0.1", port);
    const std::string named =
        "UnableToEstablishConnection: connection refused by 127.0.0.1:" + std::to_string(port);
    ExpectTimeoutWithCause(named);
    ASSERT_FALSE(Popups().empty());
    EXPECT_EQ(Popups().back().title, "TCP Client");
    EXPECT_EQ(Popups().back().text.rfind(named, 0), 0u) << Popups().back().text;
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
    EXPECT_TRUE(LinkSensor().echoOk());
    EXPECT_EQ(Text(mainPanel, kDispStatus), "VEXA V3.2");
    EXPECT_EQ(Text(interfacePanel, kConnectStatus), "VEXA V3.2");
    EXPECT_EQ(Text(interfacePanel, kConnectCause), "");
}

} // namespace
