// One conversation with one sensor, on a sensor object of the test's own: the
// frame image, exchanges with the simulated sensor over loopback TCP and a
// pseudo-terminal (bytes on the wire, answers in pieces, every kind of bad
// answer, a peer that goes away), the transports' own failures, and several
// sensors progressing on one event loop.
#include "sensor/sensor.h"
#include "sim/simsensor.h"
#include "tests/test_support.h"

#include <QSerialPort>
#include <QTcpServer>
#include <QTimer>
#include <algorithm>
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <optional>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace {

using sensor::Sensor;

sensor::Address Tcp(const std::string &host, int port) {
    sensor::Address a;
    a.tcp = true;
    a.host = host;
    a.port = port;
    return a;
}

sensor::Address Serial(const std::string &device) {
    sensor::Address a;
    a.device = device;
    return a;
}

// Runs one operation of s on the event loop until its done runs; its outcome.
bool Finish(Sensor &s, const std::function<void(Sensor::Done)> &start, double bound = 10.0) {
    std::optional<bool> outcome;
    start([&outcome](bool ok) { outcome = ok; });
    EXPECT_TRUE(WaitFor([&] { return outcome.has_value(); }, bound)) << "the operation never ended";
    if (!outcome) s.cancel();
    return outcome.value_or(false);
}

bool Open(Sensor &s) {
    return Finish(s, [&s](Sensor::Done done) { s.open(std::move(done)); });
}

// A block announcement of the compensation tool and its echo check.
bool SendBlock(Sensor &s, uint16_t address, int echoWords = 2) {
    s.fillFrame(180);
    s.putWord(2, address);
    s.discardQueues();
    s.send();
    return Finish(s, [&s, echoWords](Sensor::Done done) { s.checkEcho(echoWords, std::move(done)); });
}

// 00 55, the command code, then the given bytes and zeros up to 36.
sim::Bytes Frame(int order, const sim::Bytes &rest) {
    sim::Bytes b(36, 0);
    b[1] = 0x55;
    b[2] = static_cast<uint8_t>(order >> 8);
    b[3] = static_cast<uint8_t>(order & 0xFF);
    std::copy_n(rest.begin(), std::min<std::size_t>(rest.size(), b.size() - 4), b.begin() + 4);
    return b;
}

std::vector<sim::Bytes> FramesToSensor(const sim::SimSensor &sim) {
    std::vector<sim::Bytes> frames;
    for (const sim::CaptureEntry &e : sim.capture())
        if (e.direction == sim::Direction::ToSensor) frames.push_back(e.bytes);
    return frames;
}

std::string FrameBytes(const Sensor &s, int count = 36) {
    return std::string(s.frame(), static_cast<std::size_t>(count));
}

// Writes word 2 from its first argument; refuses an argument above 100.
class RowSource final : public sensor::FrameSource {
  public:
    bool fill(Sensor &s, uint16_t, uint16_t a, uint16_t, uint16_t) override {
        if (a > 100) return false;
        s.putWord(2, a);
        return true;
    }
};

TEST(SensorFrame, CommandWordsGoFirstAndEveryOtherByteKeepsTheFrameBefore) {
    Sensor s;
    RowSource rows;
    for (int k = 0; k < 18; ++k)
        s.putWord(k, static_cast<uint16_t>(0xA100 + k));
    s.setFrameSource(&rows);
    ASSERT_TRUE(s.fillFrame(0x0102, 7));
    std::string expected = FrameBytes(s);
    EXPECT_EQ(expected.substr(0, 8), std::string("\x00\x55\x01\x02\x00\x07\xA1\x03", 8));
    EXPECT_EQ(static_cast<unsigned char>(expected[35]), 0x11);

    // Refused arguments and words outside the image change nothing.
    EXPECT_FALSE(s.fillFrame(3, 101));
    s.putWord(-1, 0xFFFF);
    s.putWord(sensor::kBufferBytes / 2, 0xFFFF);
    EXPECT_EQ(FrameBytes(s, sensor::kBufferBytes), expected + std::string(sensor::kBufferBytes - 36, '\0'));
    EXPECT_EQ(s.answerWord(-1), 0);
    EXPECT_EQ(s.answerWord(sensor::kBufferBytes / 2), 0);
}

enum class Link { Tcp, Pty };

class SensorExchange : public ::testing::TestWithParam<Link> {
  protected:
    void SetUp() override {
        s.setAddress(GetParam() == Link::Tcp ? Tcp("127.0.0.1", sim.listenTcp()) : Serial(sim.openPty()));
        ASSERT_TRUE(Open(s)) << s.cause();
    }
    void ExpectCause(const std::string &part) {
        EXPECT_NE(s.cause().find(part), std::string::npos) << s.cause();
    }

    sim::SimSensor sim;
    Sensor s;
};

TEST_P(SensorExchange, VersionQueryIsSyncSevenAndZerosAndKeepsAllOf36Characters) {
    const std::string text = "RQA/RQB V2.0 plus thirty-six chars..";
    sim.setVersion(text);
    ASSERT_TRUE(Finish(s, [this](Sensor::Done done) { s.queryVersion(std::move(done)); }));
    EXPECT_EQ(s.version(), text);
    EXPECT_EQ(s.bytesToRead(), 0);
    EXPECT_EQ(FramesToSensor(sim), std::vector<sim::Bytes>{Frame(7, {})});
}

TEST_P(SensorExchange, AnswersArrivingInPiecesAreAssembledInOrder) {
    sim.setPacing(true); // one byte at a time, as a 19200-baud line delivers them
    sim.setVersion("PRISMO3 V3.0");
    ASSERT_TRUE(Finish(s, [this](Sensor::Done done) { s.queryVersion(std::move(done)); }));
    EXPECT_EQ(s.version(), "PRISMO3 V3.0"); // the text ends at its first zero byte
    EXPECT_TRUE(SendBlock(s, 0x1500));
    EXPECT_TRUE(s.echoOk());
}

TEST_P(SensorExchange, BadAnswersFailWithTheirCauseAndTheNextExchangeWorks) {
    s.setEchoTimeout(1.0);
    const std::string place = s.address().place();
    const std::pair<sim::FaultKind, std::string> cases[] = {
        {sim::FaultKind::ShortAnswer, "Answer cut short: 35 of 36 bytes from " + place + " within 1.0 s"},
        {sim::FaultKind::WrongMarker, "The answer from " + place + " was not the sensor's: it begins 00 AB"},
        {sim::FaultKind::WrongCommand,
         "Wrong echo from " + place + ": byte 3 is B5 where the command had B4"},
        {sim::FaultKind::NoAnswer, "No answer within 1.0 s from " + place},
    };
    for (const auto &[kind, cause] : cases) {
        SCOPED_TRACE(cause);
        sim.setFault({.kind = kind, .command = 180});
        EXPECT_FALSE(SendBlock(s, 0x1400));
        EXPECT_FALSE(s.echoOk());
        ExpectCause(cause);
        if (kind == sim::FaultKind::ShortAnswer) {
            EXPECT_EQ(s.bytesToRead(), 1);
        }
        EXPECT_TRUE(SendBlock(s, 0x1400));
        EXPECT_TRUE(s.echoOk());
    }
}

TEST_P(SensorExchange, EchoIsComparedOnlyUpToTwiceItsLength) {
    const struct {
        std::size_t byte;
        int words;
        bool passes;
    } cases[] = {{4, 2, true}, {35, 2, true}, {3, 2, false}, {5, 3, false}};
    for (const auto &c : cases) {
        sim.setFault({.kind = sim::FaultKind::CorruptEcho, .command = 180, .byteIndex = c.byte});
        EXPECT_EQ(SendBlock(s, 0x1400, c.words), c.passes)
            << "byte " << c.byte << ", " << c.words << " words";
    }
}

// A serial wait takes the whole queue, so a surplus byte fails the answer; TCP
// takes the 36 bytes awaited and drops what follows them.
TEST_P(SensorExchange, OverlongAnswerFailsOnSerialAndItsSurplusIsDroppedOnTcp) {
    sim.setFault({.kind = sim::FaultKind::LongAnswer, .command = 180});
    if (GetParam() == Link::Tcp) {
        EXPECT_TRUE(SendBlock(s, 0x1400));
    } else {
        EXPECT_FALSE(SendBlock(s, 0x1400));
        EXPECT_EQ(s.bytesToRead(), -1);
        ExpectCause("Answer of wrong length: 37 bytes instead of 36");
    }
    EXPECT_TRUE(SendBlock(s, 0x1600));
}

// Whoever waits for an operation gets its end, whatever ends it: the operation's done
// runs with false and the cause, and what the done starts next sends nothing.
TEST_P(SensorExchange, CancelCloseOrANewExchangeEndsTheWaitingOneWithItsCause) {
    const struct {
        const char *how;
        std::function<void(Sensor &)> end;
        const char *cause;
    } cases[] = {
        {"cancel", [](Sensor &x) { x.cancel(); }, "the operation was cancelled"},
        {"close", [](Sensor &x) { x.close(); }, "the link was closed while the operation waited"},
        {"new exchange",
         [](Sensor &x) {
             x.fillFrame(7);
             x.exchange(sensor::kAnswerTimeout, [](bool) {});
         },
         "another exchange began while this one waited for its answer"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.how);
        if (!s.isOpen()) {
            ASSERT_TRUE(Open(s)) << s.cause();
        }
        sim.setFault({.kind = sim::FaultKind::NoAnswer, .command = 180});
        sim.clearCapture();
        std::optional<bool> first;
        std::string causeSeen;
        s.fillFrame(180);
        s.discardQueues();
        s.send();
        s.checkEcho(2, [&](bool ok) {
            first = ok;
            causeSeen = s.cause();
            // The next step of the operation that was ended: nothing goes out.
            EXPECT_FALSE(s.fillFrame(182));
            EXPECT_LT(s.send(), 0);
        });
        ASSERT_TRUE(WaitFor([&] { return sim.framesReceived() > 0 && !sim.capture().empty(); }, 5.0));
        c.end(s);
        ASSERT_TRUE(first.has_value()) << "the waiting operation never ended";
        EXPECT_FALSE(*first);
        EXPECT_EQ(causeSeen, c.cause);
        EXPECT_FALSE(s.busy() && std::string(c.how) != "new exchange");
        if (std::string(c.how) == "new exchange") {
            // The second exchange runs on and gets its answer.
            ASSERT_TRUE(WaitFor([&] { return !s.busy(); }, 5.0));
            EXPECT_EQ(s.bytesToRead(), 0);
        }
        const std::vector<sim::Bytes> frames = FramesToSensor(sim);
        ASSERT_FALSE(frames.empty());
        for (const sim::Bytes &f : frames)
            EXPECT_NE(f[3], 182) << "a step of the ended operation went out";
    }
}

INSTANTIATE_TEST_SUITE_P(BothTransports, SensorExchange, ::testing::Values(Link::Tcp, Link::Pty),
                         [](const auto &info) { return info.param == Link::Tcp ? "Tcp" : "Pty"; });

// A wait that ran its full course would outlast Finish's bound: the loss ends it.
constexpr double kLongWait = 60.0;

TEST(SensorLoss, ServerClosingIsReportedOnceAndEndsTheWaitAtOnce) {
    sim::SimSensor sim;
    Sensor s(Tcp("127.0.0.1", sim.listenTcp()));
    int lost = 0;
    s.onLost = [&lost] { ++lost; };
    ASSERT_TRUE(Open(s));
    s.setEchoTimeout(kLongWait);
    sim.setFault({.kind = sim::FaultKind::CloseConnection, .command = 180});
    EXPECT_FALSE(SendBlock(s, 0x1400));
    EXPECT_EQ(lost, 1);
    EXPECT_FALSE(s.isOpen());
    EXPECT_NE(s.cause().find("closed the connection"), std::string::npos) << s.cause();

    EXPECT_FALSE(SendBlock(s, 0x1400));
    EXPECT_EQ(s.bytesWritten(), sensor::kTcpNoConnectionEstablished);
    EXPECT_NE(s.cause().find("closed the connection"), std::string::npos) << s.cause();
    EXPECT_EQ(lost, 1);

    ASSERT_TRUE(Open(s));
    EXPECT_TRUE(SendBlock(s, 0x1400));
}

TEST(SensorLoss, DeviceGoneIsReportedOnceAndEndsTheWaitAtOnce) {
    PtyPair pty;
    Sensor s(Serial(pty.slavePath));
    int lost = 0;
    s.onLost = [&lost] { ++lost; };
    ASSERT_TRUE(Open(s));
    s.setEchoTimeout(kLongWait);
    s.fillFrame(180);
    s.send();
    close(pty.master);
    pty.master = -1;
    EXPECT_FALSE(Finish(s, [&s](Sensor::Done done) { s.checkEcho(2, std::move(done)); }));
    EXPECT_EQ(lost, 1);
    EXPECT_FALSE(s.isOpen());
    EXPECT_EQ(s.cause(), "The device " + pty.slavePath +
                             " stopped working (unplugged?). Plug it in again and try to connect.");
}

TEST(SensorOpen, FailuresGiveTheirCodesAndCausesAndLeaveNothingOpen) {
    QTemporaryDir dir;
    sim::SimSensor sim;
    const std::string busy = sim.openPty();
    QSerialPort holder(QString::fromStdString(busy));
    ASSERT_TRUE(holder.open(QIODevice::ReadWrite));
    const std::string missing = dir.filePath("no-such-tty").toStdString();
    const int closed = ClosedPort();
    const struct {
        sensor::Address address;
        int code;
        std::string cause;
    } cases[] = {
        {Serial(missing), sensor::kSerialNoPortFound, "No such device: " + missing},
        {Serial(""), sensor::kSerialInvalidPort, "No such device"},
        {Serial(busy), sensor::kSerialCannotOpen, "Device busy: " + busy},
        {Tcp("127.0.0.1", closed), sensor::kTcpUnableToEstablishConnection,
         "Connection refused by 127.0.0.1:" + std::to_string(closed)},
        {Tcp("no-such-host.invalid", 10001), sensor::kTcpFailedToConnect,
         "Host not found: no-such-host.invalid"},
        {Tcp("127.0.0.1", 0), sensor::kTcpInvalidParameter, "No connection to 127.0.0.1:0"},
        {Tcp("127.0.0.1", 70000), sensor::kTcpInvalidParameter, "No connection to 127.0.0.1:70000"},
        {Tcp("", 10001), sensor::kTcpInvalidParameter, "No connection to :10001"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.cause);
        Sensor s(c.address);
        EXPECT_FALSE(Open(s));
        EXPECT_EQ(s.openResult().code, c.code);
        EXPECT_NE(s.cause().find(c.cause), std::string::npos) << s.cause();
        EXPECT_FALSE(s.isOpen());
        EXPECT_EQ(s.send(),
                  c.address.tcp ? int{sensor::kTcpNoConnectionEstablished} : int{sensor::kSerialPortNotOpen});
    }
}

TEST(TcpTransport, ServerThatNeverAcceptsTimesOut) {
    // A listener whose backlog is full leaves further connects unanswered.
    int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr *>(&a), len), 0);
    ASSERT_EQ(listen(listener, 0), 0);
    getsockname(listener, reinterpret_cast<sockaddr *>(&a), &len);
    std::vector<int> fillers;
    for (int i = 0; i < 4; ++i) {
        fillers.push_back(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0));
        connect(fillers.back(), reinterpret_cast<sockaddr *>(&a), len);
    }
    auto transport = sensor::MakeTcpTransport("127.0.0.1", ntohs(a.sin_port), 300);
    std::optional<sensor::OpenResult> result;
    transport->open([&result](const sensor::OpenResult &r) { result = r; });
    ASSERT_TRUE(WaitFor([&] { return result.has_value(); }));
    EXPECT_EQ(result->code, sensor::kTcpTimeOut);
    EXPECT_EQ(result->failure, sensor::OpenFailure::TimedOut);
    EXPECT_FALSE(transport->isOpen());
    for (int fd : fillers)
        close(fd);
    close(listener);
}

// A socket closed from inside its own signals waits for its deferred delete;
// nothing of its transport may run once the transport is gone.
TEST(TcpTransport, NothingRunsForATransportThatIsGone) {
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    {
        auto transport = sensor::MakeTcpTransport("127.0.0.1", server.serverPort(), 100);
        std::optional<sensor::OpenResult> result;
        transport->open([&result](const sensor::OpenResult &r) { result = r; });
        ASSERT_TRUE(WaitFor([&] { return result.has_value(); }));
        ASSERT_EQ(result->code, 0);
    }
    bool later = false;
    QTimer::singleShot(300, [&later] { later = true; });
    EXPECT_TRUE(WaitFor([&later] { return later; })); // past the gone transport's connect time-out
}

class SerialTransport : public ::testing::Test {
  protected:
    void SetUp() override {
        std::optional<sensor::OpenResult> result;
        transport->open([&result](const sensor::OpenResult &r) { result = r; });
        ASSERT_TRUE(WaitFor([&] { return result.has_value(); }));
        ASSERT_EQ(result->code, 0) << result->systemText;
    }
    void TearDown() override { close(observer); }
    std::string Read(int count) {
        std::string s(static_cast<std::size_t>(count), '\0');
        s.resize(static_cast<std::size_t>(transport->read(s.data(), count)));
        return s;
    }
    static std::string Pattern(std::size_t n, int modulo) {
        std::string s(n, '\0');
        for (std::size_t i = 0; i < n; ++i)
            s[i] = static_cast<char>(i % static_cast<std::size_t>(modulo));
        return s;
    }

    PtyPair pty;
    // Opened before the transport takes the device for itself: the line settings are read through it.
    int observer = open(pty.slavePath.c_str(), O_RDWR | O_NOCTTY);
    std::unique_ptr<sensor::Transport> transport = sensor::MakeSerialTransport(pty.slavePath);
};

TEST_F(SerialTransport, BytesOfEveryValuePassBothWaysAt19200_8N1WithoutHandshake) {
    termios tio{};
    ASSERT_EQ(tcgetattr(observer, &tio), 0);
    EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B19200));
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);

    const std::string all = Pattern(256, 256);
    EXPECT_EQ(transport->write(all.data(), 256), 256);
    EXPECT_EQ(pty.readMaster(256), all);
    pty.writeMaster(all);
    ASSERT_TRUE(WaitFor([&] { return transport->available() == 256; }));
    EXPECT_EQ(Read(256), all);
}

TEST_F(SerialTransport, InputQueueHoldsAtMost1024BytesAndLosesNone) {
    const std::string sent = Pattern(3000, 251);
    pty.writeMaster(sent);
    ASSERT_TRUE(WaitFor([&] { return transport->available() == 1024; }));
    EXPECT_EQ(Read(3000), sent.substr(0, 1024));
    // The rest waited in the system and follows in order once there is room.
    std::string rest;
    EXPECT_TRUE(WaitFor([&] {
        rest += Read(3000);
        return rest.size() >= sent.size() - 1024;
    }));
    EXPECT_EQ(rest, sent.substr(1024));
    transport->discardInput();
    EXPECT_EQ(transport->available(), 0);
}

// Answers of two sensors keep coming while a third waits out its time-out on
// the same loop.
TEST(SeveralSensors, ProgressAtOnceAndASilentOneDelaysNoOther) {
    sim::SimSensor tcpSim, ptySim, silentSim;
    silentSim.setFault({.kind = sim::FaultKind::NoAnswer, .command = 5});
    Sensor tcp(Tcp("127.0.0.1", tcpSim.listenTcp())), pty(Serial(ptySim.openPty()));
    Sensor silent(Tcp("127.0.0.1", silentSim.listenTcp()));
    for (Sensor *s : {&tcp, &pty, &silent})
        ASSERT_TRUE(Open(*s));

    std::vector<std::string> events;
    bool silentDone = false;
    std::function<void(Sensor &, const char *)> poll = [&](Sensor &s, const char *name) {
        s.fillFrame(5);
        s.exchange(sensor::kAnswerTimeout, [&, name](bool ok) {
            events.push_back(std::string(name) + (ok ? " ok" : " failed"));
            if (!silentDone) poll(s, name);
        });
    };
    poll(tcp, "tcp");
    poll(pty, "pty");
    silent.fillFrame(5);
    silent.exchange(sensor::kAnswerTimeout, [&](bool ok) {
        events.push_back(ok ? "silent ok" : "silent failed");
        silentDone = true;
    });
    ASSERT_TRUE(WaitFor([&] { return silentDone; }, 10.0));
    tcp.cancel();
    pty.cancel();

    const auto end = std::find(events.begin(), events.end(), "silent failed");
    ASSERT_NE(end, events.end());
    EXPECT_GE(std::count(events.begin(), end, "tcp ok"), 10);
    EXPECT_GE(std::count(events.begin(), end, "pty ok"), 10);
    // Only the cancels after the silent one failed them.
    EXPECT_EQ(std::count(events.begin(), end, "tcp failed") + std::count(events.begin(), end, "pty failed"),
              0);
}

} // namespace
