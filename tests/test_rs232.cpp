// Serial services against real pseudo-terminals: the far end is the master.
#include "platform/rs232.h"
#include "tests/test_support.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int kPort = 5;

std::string Pattern(std::size_t n, int modulo) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>(i % modulo);
    return s;
}

class SerialPort : public ::testing::Test {
  protected:
    PtyPair pty;
    void SetUp() override { MapComPort(kPort, pty.slavePath); }
    void TearDown() override {
        CloseCom(kPort);
        MapComPort(kPort, "");
    }
    int Open(long baud = 19200, int parity = 0, int dataBits = 8, int stopBits = 1) {
        int r = OpenComConfig(kPort, "", baud, parity, dataBits, stopBits, 1024, 1024);
        if (r == 0) SetComTime(kPort, 2.0);
        return r;
    }
    std::string Read(int count) {
        std::string s(static_cast<std::size_t>(count), '\0');
        int n = ComRd(kPort, s.data(), count);
        s.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
        return s;
    }
    // The line settings of the device as the system holds them.
    termios DeviceSettings() {
        termios tio{};
        int fd = open(pty.slavePath.c_str(), O_RDWR | O_NOCTTY);
        tcgetattr(fd, &tio);
        close(fd);
        return tio;
    }
};

TEST_F(SerialPort, BytesOfEveryValuePassBothWaysAt19200_8N1) {
    ASSERT_EQ(Open(), 0);
    ASSERT_EQ(SetCTSMode(kPort, 0), 0);
    ASSERT_EQ(FlushInQ(kPort), 0);
    ASSERT_EQ(FlushOutQ(kPort), 0);
    termios tio = DeviceSettings();
    EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B19200));
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);

    const std::string all = Pattern(256, 256);
    EXPECT_EQ(ComWrt(kPort, all.data(), 256), 256);
    EXPECT_EQ(pty.readMaster(256), all);
    pty.writeMaster(all);
    EXPECT_EQ(Read(256), all);
}

// A pseudo-terminal forces 8 data bits without parity, so only the speed, the
// stop bits and the handshake can be seen on it.
TEST_F(SerialPort, LineSettingsReachTheDevice) {
    struct Case {
        long baud;
        int stopBits, ctsMode;
        speed_t speed;
        tcflag_t flags;
    };
    const Case cases[] = {
        {19200, 1, 0, B19200, 0}, {9600, 2, 0, B9600, CSTOPB}, {19200, 1, 1, B19200, CRTSCTS}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.baud);
        ASSERT_EQ(Open(c.baud, 0, 8, c.stopBits), 0);
        ASSERT_EQ(SetCTSMode(kPort, c.ctsMode), 0);
        termios tio = DeviceSettings();
        EXPECT_EQ(cfgetispeed(&tio), c.speed);
        EXPECT_EQ(tio.c_cflag & (CSTOPB | CRTSCTS), c.flags);
    }
}

TEST_F(SerialPort, InputQueueNeverHoldsMoreThanItsSize) {
    ASSERT_EQ(Open(), 0);
    const std::string sent = Pattern(3000, 251);
    pty.writeMaster(sent);
    int most = 0;
    EXPECT_TRUE(WaitFor([&] {
        most = std::max(most, GetInQLen(kPort));
        return most >= 1024;
    }));
    EXPECT_EQ(most, 1024);
    EXPECT_EQ(GetInQLen(kPort), 1024);
    // Nothing is lost or reordered at the limit: the rest follows once there is room.
    EXPECT_EQ(Read(1024), sent.substr(0, 1024));
    EXPECT_EQ(Read(3000 - 1024), sent.substr(1024));
}

TEST_F(SerialPort, ArrivedBytesCountWithoutProcessingEvents) {
    ASSERT_EQ(Open(), 0);
    pty.writeMaster("0123456789");
    // Wait on a second descriptor until the system holds the bytes; no event runs.
    int fd = open(pty.slavePath.c_str(), O_RDONLY | O_NOCTTY);
    pollfd p{fd, POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 3000), 1);
    close(fd);
    EXPECT_EQ(GetInQLen(kPort), 10);
}

TEST_F(SerialPort, FlushInQDropsQueuedAndPendingInput) {
    ASSERT_EQ(Open(), 0);
    pty.writeMaster(std::string(3000, '\xAA'));
    EXPECT_TRUE(WaitFor([&] { return GetInQLen(kPort) == 1024; }));
    EXPECT_EQ(FlushInQ(kPort), 0);
    EXPECT_EQ(GetInQLen(kPort), 0);
    pty.writeMaster("Z");
    EXPECT_EQ(Read(1), "Z");
}

TEST_F(SerialPort, ReadReturnsWhatCameWithinTheTimeOut) {
    ASSERT_EQ(Open(), 0);
    ASSERT_EQ(SetComTime(kPort, 0.1), 0);
    pty.writeMaster("abc");
    EXPECT_EQ(Read(36), "abc");
    char c = 0;
    EXPECT_EQ(ComRd(kPort, &c, 1), COM_TIMEOUT);
}

TEST_F(SerialPort, VanishedDeviceGivesAnErrorNotATimeout) {
    ASSERT_EQ(Open(), 0);
    close(pty.master);
    pty.master = -1;
    char c = 0;
    int r = ComRd(kPort, &c, 1);
    EXPECT_LT(r, 0);
    EXPECT_NE(r, COM_TIMEOUT);
}

TEST_F(SerialPort, CloseComIsHarmlessWhenClosed) {
    EXPECT_EQ(CloseCom(kPort), 0);
    ASSERT_EQ(Open(), 0);
    EXPECT_EQ(CloseCom(kPort), 0);
    EXPECT_EQ(CloseCom(kPort), 0);
    EXPECT_EQ(GetInQLen(kPort), COM_PORT_NOT_OPEN);
    EXPECT_EQ(Open(), 0);
}

TEST_F(SerialPort, OpenFailuresGiveTheirCodes) {
    QTemporaryDir dir;
    MapComPort(kPort + 1, dir.filePath("no-such-tty").toStdString());
    MapComPort(kPort + 2, pty.slavePath);
    ASSERT_EQ(Open(), 0);
    struct Case {
        const char *what;
        int port;
        long baud;
        int parity, dataBits, stopBits, inQueue;
        int expected;
    };
    const Case cases[] = {
        {"port 0", 0, 19200, 0, 8, 1, 1024, COM_INVALID_PORT_NUMBER},
        {"port above the last", MAX_COM_PORT + 1, 19200, 0, 8, 1, 1024, COM_INVALID_PORT_NUMBER},
        {"missing device", kPort + 1, 19200, 0, 8, 1, 1024, COM_NO_PORT_FOUND},
        {"device in use", kPort + 2, 19200, 0, 8, 1, 1024, COM_CANNOT_OPEN_PORT},
        {"baud rate 0", kPort + 1, 0, 0, 8, 1, 1024, COM_INVALID_PARAMETER},
        {"parity 5", kPort + 1, 19200, 5, 8, 1, 1024, COM_INVALID_PARAMETER},
        {"9 data bits", kPort + 1, 19200, 0, 9, 1, 1024, COM_INVALID_PARAMETER},
        {"3 stop bits", kPort + 1, 19200, 0, 8, 3, 1024, COM_INVALID_PARAMETER},
        {"empty input queue", kPort + 1, 19200, 0, 8, 1, 0, COM_INVALID_PARAMETER},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(OpenComConfig(c.port, "", c.baud, c.parity, c.dataBits, c.stopBits, c.inQueue, 1024),
                  c.expected);
    }
    MapComPort(kPort + 1, "");
    MapComPort(kPort + 2, "");
}

TEST(SerialPortCalls, RefuseBadPortsAndClosedPorts) {
    char buffer[4] = {};
    for (int port : {0, MAX_COM_PORT + 1, 7}) {
        SCOPED_TRACE(port);
        int expected = port == 7 ? COM_PORT_NOT_OPEN : COM_INVALID_PORT_NUMBER;
        EXPECT_EQ(SetComTime(port, 1.0), expected);
        EXPECT_EQ(SetCTSMode(port, 0), expected);
        EXPECT_EQ(FlushInQ(port), expected);
        EXPECT_EQ(FlushOutQ(port), expected);
        EXPECT_EQ(GetInQLen(port), expected);
        EXPECT_EQ(ComWrt(port, buffer, 4), expected);
        EXPECT_EQ(ComRd(port, buffer, 4), expected);
    }
    EXPECT_EQ(CloseCom(0), COM_INVALID_PORT_NUMBER);
}

#ifndef Q_OS_WIN
TEST(SerialPortNames, NumbersMapToTheThreeDeviceFamilies) {
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
#endif

} // namespace
