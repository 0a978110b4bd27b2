// The simulated sensor, checked against byte tables written out by hand, over real
// loopback sockets and a real pseudo-terminal.
#include "sim/portblock.h"
#include "sim/simsensor.h"
#include "tests/test_support.h"

#include <QProcess>
#include <QRegularExpression>
#include <arpa/inet.h>
#include <chrono>
#include <clocale>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <numeric>
#include <poll.h>
#include <set>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

using namespace sim;
using Clock = std::chrono::steady_clock;

namespace {

// Bytes from hex text ("00 55 00 07"), padded with zeros to `size`.
Bytes hex(const std::string &text, std::size_t size = 0) {
    Bytes b;
    for (std::size_t i = 0; i < text.size(); i += 3)
        b.push_back(static_cast<std::uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
    if (b.size() < size) b.resize(size, 0);
    return b;
}

// A whole 36-byte frame from its leading bytes, the rest zero.
Bytes frame(const std::string &text) {
    return hex(text, kFrameBytes);
}

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

Bytes concat(Bytes a, const Bytes &b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The far end of a transport, as a program would hold it: a TCP client or an open
// pseudo-terminal device.
class Peer {
  public:
    static Peer tcp(int port) {
        int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<std::uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a), 0);
        return Peer(fd, true);
    }
    static Peer device(const std::string &path) {
        int fd = open(path.c_str(), O_RDWR | O_NOCTTY);
        EXPECT_GE(fd, 0) << path;
        termios tio{};
        tcgetattr(fd, &tio);
        cfmakeraw(&tio);
        tcsetattr(fd, TCSANOW, &tio);
        return Peer(fd, false);
    }
    Peer(Peer &&o) noexcept : m_fd(o.m_fd), m_socket(o.m_socket) { o.m_fd = -1; }
    ~Peer() {
        if (m_fd >= 0) close(m_fd);
    }
    void send(const Bytes &b) {
        ASSERT_EQ(m_socket ? ::send(m_fd, b.data(), b.size(), MSG_NOSIGNAL) : write(m_fd, b.data(), b.size()),
                  ssize_t(b.size()));
    }
    // Reads until n bytes have come, the far end hangs up, or the time is up.
    Bytes read(std::size_t n, double seconds = 3.0) {
        Bytes got;
        const auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
        while (got.size() < n && Clock::now() < deadline && !m_hungUp) {
            pollfd p{m_fd, POLLIN, 0};
            if (poll(&p, 1, 10) <= 0) continue;
            std::uint8_t buf[256];
            const ssize_t r = ::read(m_fd, buf, std::min(sizeof buf, n - got.size()));
            if (r <= 0)
                m_hungUp = true;
            else
                got.insert(got.end(), buf, buf + r);
        }
        return got;
    }
    // Waits until the far end hangs up (or 3 s pass).
    bool hungUp() {
        read(1);
        return m_hungUp;
    }

  private:
    Peer(int fd, bool socket) : m_fd(fd), m_socket(socket) {}
    int m_fd;
    bool m_socket;
    bool m_hungUp = false;
};

const Bytes kVersionQuery = frame("00 55 00 07");
const Bytes kVersionAnswer = hex("56 45 58 41 20 56 33 2E 32", kFrameBytes); // "VEXA V3.2"
const Bytes kReadParameters = frame("00 55 00 03");
const Bytes kReadData = frame("00 55 00 05");

// A command-182 frame writing `words` at `address`.
Bytes writeWordsFrame(std::uint16_t address, const std::vector<std::uint16_t> &words) {
    Bytes f = frame("00 55 00 B6");
    const std::uint16_t head[] = {address, std::uint16_t(words.size())};
    for (std::size_t i = 0; i < 2 + words.size(); ++i) {
        const std::uint16_t w = i < 2 ? head[i] : words[i - 2];
        f[4 + 2 * i] = w >> 8;
        f[5 + 2 * i] = w & 0xFF;
    }
    return f;
}

// Echo the sensor owes a command frame: marker 00 AA, then the frame from byte 2 on.
Bytes echoOf(const Bytes &f) {
    return concat(hex("00 AA"), Bytes(f.begin() + 2, f.end()));
}

// Announces each block with command 180, then writes `words` words in frames of ten with
// command 182, word w carrying the value w to address(w); every answer must be the echo.
void transfer(Peer &peer, const std::vector<std::uint16_t> &blocks, int words,
              const std::function<std::uint16_t(int)> &address) {
    for (std::uint16_t b : blocks) {
        Bytes f = frame("00 55 00 B4");
        f[4] = b >> 8;
        f[5] = b & 0xFF;
        peer.send(f);
        ASSERT_EQ(peer.read(kFrameBytes), echoOf(f));
    }
    for (int w = 0; w < words; w += 10) {
        std::vector<std::uint16_t> values(10);
        std::iota(values.begin(), values.end(), std::uint16_t(w));
        const Bytes f = writeWordsFrame(address(w), values);
        peer.send(f);
        ASSERT_EQ(peer.read(kFrameBytes), echoOf(f));
    }
}

} // namespace

TEST(SimFramer, CutsFramesSplitAcrossChunks) {
    const Bytes stream = concat(kVersionQuery, kReadParameters);
    const std::vector<std::vector<std::size_t>> splits = {
        {72}, {36, 36}, {1, 35, 1, 35}, {35, 2, 35}, {10, 26, 20, 16}, std::vector<std::size_t>(72, 1)};
    for (const auto &split : splits) {
        Framer framer;
        std::vector<Bytes> frames;
        std::size_t at = 0;
        for (std::size_t n : split) {
            framer.push(
                stream.data() + at, n, [&](const Frame &f) { frames.emplace_back(f.begin(), f.end()); },
                [](const Bytes &) { ADD_FAILURE() << "no garbage expected"; });
            at += n;
        }
        EXPECT_EQ(frames, (std::vector<Bytes>{kVersionQuery, kReadParameters})) << split.size() << " chunks";
        EXPECT_EQ(framer.pending(), 0u);
    }
}

TEST(SimFramer, SkipsGarbageAndResyncsOnTheSyncWord) {
    for (const char *garbage : {"FF", "55", "00", "00 00", "00 AA 00 07", "12 00 34 55"}) {
        Framer framer;
        std::vector<Bytes> frames, skipped;
        const Bytes stream = concat(hex(garbage), kVersionQuery);
        framer.push(
            stream.data(), stream.size(), [&](const Frame &f) { frames.emplace_back(f.begin(), f.end()); },
            [&](const Bytes &g) { skipped.push_back(g); });
        EXPECT_EQ(frames, std::vector<Bytes>{kVersionQuery}) << garbage;
        EXPECT_EQ(skipped, std::vector<Bytes>{hex(garbage)}) << garbage;
    }
}

TEST(SimModel, DetectedVectorIsTheFirstActiveRowWhoseBandsHoldTheValues) {
    ParameterSet set;
    set.params[kMaxVecWord] = 3;
    set.teach[0] = {1000, 10, 500, 20, 400, 30};
    set.teach[1] = {2000, 100, 600, 50, 300, 50};
    set.teach[2] = {2000, 200, 600, 100, 300, 100}; // overlaps row 1
    set.teach[3] = {3000, 10, 100, 10, 100, 10};    // beyond MAXVEC-No. 3
    set.teach[30] = {50, 100, 0, 0, 1000, 0};       // band reaches below zero
    struct Case {
        std::uint16_t maxVec, density, sym1, sym2, vector;
    } cases[] = {
        {3, 1000, 500, 400, 0},   {3, 990, 480, 370, 0},    {3, 1010, 520, 430, 0},   {3, 989, 500, 400, 255},
        {3, 1000, 521, 400, 255}, {3, 1000, 500, 431, 255}, {3, 2050, 620, 280, 1},   {3, 2150, 620, 280, 2},
        {3, 3000, 100, 100, 255}, {4, 3000, 100, 100, 3},   {0, 1000, 500, 400, 255}, {40, 0, 0, 1000, 30},
    };
    for (const Case &c : cases) {
        set.params[kMaxVecWord] = c.maxVec;
        EXPECT_EQ(detectVector(set, c.density, c.sym1, c.sym2), c.vector)
            << "MAXVEC " << c.maxVec << " at " << c.density << "/" << c.sym1 << "/" << c.sym2;
    }
}

TEST(SimModel, MaximaCoverTheLastSixtySeconds) {
    SensorModel model;
    model.source().setScript({{100, 10, 1}, {500, 50, 5}, {200, 20, 2}, {150, 15, 1}});
    const double times[] = {0, 30, 61, 95};
    const char *maxima[] = {"00 64 00 0A 00 01", "01 F4 00 32 00 05", "01 F4 00 32 00 05",
                            "00 C8 00 14 00 02"};
    for (int i = 0; i < 4; ++i) {
        const Bytes f = model.dataFrame(times[i], false);
        EXPECT_EQ(Bytes(f.begin() + 20, f.begin() + 26), hex(maxima[i])) << "at " << times[i] << " s";
    }
}

TEST(SimSensorTest, VersionQueryIsAnsweredWithTheTextPaddedToThirtySixBytes) {
    struct Case {
        const char *version, *answer;
    } cases[] = {
        {nullptr, "56 45 58 41 20 56 33 2E 32"},
        {"RQA/RQB V2.0 ", "52 51 41 2F 52 51 42 20 56 32 2E 30 20"},
        {"HUEMA-PX V1.1", "48 55 45 4D 41 2D 50 58 20 56 31 2E 31"},
        {"0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-cut", "30 31 32 33 34 35 36 37 38 39 41 42 43 44 45 46 47 48 "
                                                     "49 4A 4B 4C 4D 4E 4F 50 51 52 53 54 55 56 57 58 59 5A"},
    };
    for (const Case &c : cases) {
        SimSensor sensor;
        if (c.version) sensor.setVersion(c.version);
        Peer tcp = Peer::tcp(sensor.listenTcp());
        Peer pty = Peer::device(sensor.openPty());
        for (Peer *peer : {&tcp, &pty}) {
            peer->send(kVersionQuery);
            EXPECT_EQ(peer->read(kFrameBytes), hex(c.answer, kFrameBytes)) << sensor.version();
        }
    }
}

TEST(SimSensorTest, ParameterSetAndTeachRowsRoundTripThroughRamAndEeprom) {
    SimSensor sensor;
    Peer peer = Peer::tcp(sensor.listenTcp());
    const Bytes params = frame("00 55 00 01 00 01 00 02 00 03 00 04 00 05 00 06 00 07 00 08 "
                               "00 09 00 0A 00 0B 00 0C 00 0D 00 0E 00 0F 00 10");
    const Bytes row5 = frame("00 55 00 02 00 05 01 00 01 01 01 02 01 03 01 04 01 05");
    const Bytes paramsAnswer = frame("00 AA 00 03 00 01 00 02 00 03 00 04 00 05 00 06 00 07 00 08 "
                                     "00 09 00 0A 00 0B 00 0C 00 0D 00 0E 00 0F 00 10");
    const Bytes row5Answer = frame("00 AA 00 04 00 05 01 00 01 01 01 02 01 03 01 04 01 05");
    const struct {
        Bytes command, answer;
    } steps[] = {
        {params, frame("00 AA 00 01 00 01 00 02 00 03 00 04 00 05 00 06 00 07 00 08 "
                       "00 09 00 0A 00 0B 00 0C 00 0D 00 0E 00 0F 00 10")},
        {row5, frame("00 AA 00 02 00 05 01 00 01 01 01 02 01 03 01 04 01 05")},
        {kReadParameters, paramsAnswer},
        {frame("00 55 00 04 00 05"), row5Answer},
        {frame("00 55 00 06 77 77"), frame("00 AA 00 06 77 77")}, // store in EEPROM
        {frame("00 55 00 01 FF FF"), frame("00 AA 00 01 FF FF")}, // RAM overwritten...
        {frame("00 55 00 02 00 05 FF FF"), frame("00 AA 00 02 00 05 FF FF")},
        {kReadParameters, frame("00 AA 00 03 FF FF")},
        {frame("00 55 00 08"), frame("00 AA 00 08")}, // ...and loaded back from EEPROM
        {kReadParameters, paramsAnswer},
        {frame("00 55 00 04 00 05"), row5Answer},
        {frame("00 55 00 04 00 1F"), frame("00 AA 00 04 00 1F")}, // no row 31
    };
    for (const auto &s : steps) {
        peer.send(s.command);
        EXPECT_EQ(peer.read(kFrameBytes), s.answer) << "command " << int(s.command[3]);
    }
    const SensorMemory m = sensor.memory();
    EXPECT_EQ(m.ram, m.eeprom);
    EXPECT_EQ(m.ram.params[15], 16);
    EXPECT_EQ(m.ram.teach[5], (TeachRow{0x100, 0x101, 0x102, 0x103, 0x104, 0x105}));
}

TEST(SimSensorTest, PagedCompensationTransferFillsThreeBlocks) {
    SimSensor sensor;
    Peer peer = Peer::tcp(sensor.listenTcp());
    // A frame for the words at 0x140A and its echo, written out by hand.
    const Bytes f =
        frame("00 55 00 B6 14 0A 00 0A 00 0A 00 0B 00 0C 00 0D 00 0E 00 0F 00 10 00 11 00 12 00 13 "
              "DE AD BE EF 00 00 00 01");
    peer.send(f);
    EXPECT_EQ(peer.read(kFrameBytes), frame("00 AA 00 B6 14 0A 00 0A 00 0A 00 0B 00 0C 00 0D 00 0E 00 0F "
                                            "00 10 00 11 00 12 00 13 DE AD BE EF 00 00 00 01"));
    sensor.clearCompMemory();
    const std::uint16_t base[] = {0x1400, 0x1500, 0x1600};
    transfer(peer, {0x1400, 0x1500, 0x1600}, 300, [&](int w) { return base[w / 100] + w % 100; });
    const CompMemory comp = sensor.compMemory();
    EXPECT_EQ(comp.blocks, (std::vector<std::uint16_t>{0x1400, 0x1500, 0x1600}));
    EXPECT_EQ(comp.words.size(), 300u);
    const std::pair<std::uint16_t, std::uint16_t> expected[] = {{0x1400, 0},   {0x1463, 99},  {0x1500, 100},
                                                                {0x1563, 199}, {0x1600, 200}, {0x1663, 299}};
    for (auto [address, word] : expected)
        EXPECT_EQ(comp.words.at(address), word) << std::hex << address;
    EXPECT_FALSE(comp.words.contains(0x1464));
}

TEST(SimSensorTest, ContiguousCompensationTransferFillsOneRun) {
    SimSensor sensor;
    Peer peer = Peer::tcp(sensor.listenTcp());
    transfer(peer, {0x1500, 0x1600}, 480, [](int w) { return std::uint16_t(0x1500 + w); });
    const CompMemory comp = sensor.compMemory();
    EXPECT_EQ(comp.blocks, (std::vector<std::uint16_t>{0x1500, 0x1600}));
    EXPECT_EQ(comp.words.size(), 480u);
    EXPECT_EQ(comp.words.begin()->first, 0x1500);
    EXPECT_EQ(comp.words.rbegin()->first, 0x16DF);
    EXPECT_EQ(comp.words.at(0x1550), 80);  // green factor 0
    EXPECT_EQ(comp.words.at(0x1690), 400); // DIF factor 0
}

TEST(SimSensorTest, DataFrameCarriesTheMeasurementAndTheDetectedVector) {
    SimSensor sensor;
    SensorMemory m;
    m.ram.params[kMaxVecWord] = 3;
    m.ram.teach[1] = {900, 50, 400, 50, 300, 50};
    m.ram.teach[2] = {1000, 10, 500, 10, 250, 10};
    sensor.setMemory(m);
    sensor.setMeasurement({0x0123, 0x0456, 0x0789, 1000, 500, 250, 0x00FA, 0});
    Peer peer = Peer::tcp(sensor.listenTcp());
    peer.send(kReadData);
    EXPECT_EQ(peer.read(kFrameBytes), frame("00 AA 00 05 "
                                            "01 23 04 56 07 89 " // channels L, C, R
                                            "03 E8 01 F4 00 FA " // density, symmetry 1, symmetry 2
                                            "00 02 00 FA "       // vector, temperature
                                            "01 23 04 56 07 89 " // 60-second maxima
                                            "00 00"));           // trigger state
    sensor.setMeasurement({1, 2, 3, 1200, 500, 250, 0, 0});
    peer.send(kReadData);
    const Bytes f = peer.read(kFrameBytes);
    ASSERT_EQ(f.size(), kFrameBytes);
    EXPECT_EQ(Bytes(f.begin() + 16, f.begin() + 18), hex("00 FF"));             // nothing detected
    EXPECT_EQ(Bytes(f.begin() + 20, f.begin() + 26), hex("01 23 04 56 07 89")); // maxima kept
}

TEST(SimModel, DriftingMeasurementsStayInRangeAndMove) {
    std::set<std::uint16_t> densities;
    for (double t = 0; t < 120; t += 5) {
        const Measurement m = driftingMeasurement(t);
        EXPECT_LE(m.density, 4096);
        EXPECT_LE(m.sym1, 1000);
        EXPECT_LE(m.sym2, 1000);
        densities.insert(m.density);
    }
    EXPECT_GT(densities.size(), 10u);
    EXPECT_LT(std::abs(driftingMeasurement(0.05).density - driftingMeasurement(0).density), 5);
    MeasurementSource seeds[3];
    for (unsigned k = 0; k < 3; ++k)
        seeds[k].setDrift(k);
    for (double t : {0.0, 30.0, 300.0}) {
        EXPECT_EQ(seeds[0].next(t), driftingMeasurement(t)); // seed 0 is the default drift
        EXPECT_NE(seeds[1].next(t), seeds[0].next(t)) << t;
        EXPECT_NE(seeds[2].next(t), seeds[1].next(t)) << t;
    }
}

TEST(SimSensorTest, AutoSendSendsAFramePerTriggerUntilSwitchedOff) {
    SimSensor sensor;
    Peer peer = Peer::tcp(sensor.listenTcp());
    const Bytes &version = kVersionAnswer;
    peer.send(frame("00 55 00 32 00 01"));
    ASSERT_TRUE(WaitFor([&] { return sensor.autoSend(); }));
    sensor.setFault(*parseFault("marker:auto", nullptr));
    sensor.fireTrigger();
    sensor.fireTrigger();
    // The version answer right after two frames shows that nothing else came.
    peer.send(kVersionQuery);
    const Bytes got = peer.read(3 * kFrameBytes);
    ASSERT_EQ(got.size(), 3 * kFrameBytes);
    EXPECT_EQ(Bytes(got.begin(), got.begin() + 4), hex("00 AB 00 05"));
    EXPECT_EQ(Bytes(got.begin() + 36, got.begin() + 40), hex("00 AA 00 05"));
    EXPECT_EQ(Bytes(got.begin() + 62, got.begin() + 64), hex("00 01")); // trigger state
    EXPECT_EQ(Bytes(got.begin() + 72, got.end()), version);

    sensor.setTriggerRate(200);
    for (int i = 0; i < 3; ++i) {
        const Bytes f = peer.read(kFrameBytes);
        ASSERT_EQ(f.size(), kFrameBytes);
        EXPECT_EQ(Bytes(f.begin(), f.begin() + 4), hex("00 AA 00 05"));
    }

    peer.send(frame("00 55 00 32 00 00"));
    ASSERT_TRUE(WaitFor([&] { return !sensor.autoSend(); }));
    peer.send(kVersionQuery);
    Bytes f;
    do
        f = peer.read(kFrameBytes); // frames already under way come first
    while (f.size() == kFrameBytes && f != version);
    ASSERT_EQ(f, version);
    sensor.fireTrigger();
    peer.send(kVersionQuery);
    EXPECT_EQ(peer.read(kFrameBytes), version);
}

TEST(SimSensorTest, PacedAnswerTakesAtLeastTheTimeOfA19200BaudLine) {
    SimSensor sensor;
    sensor.setPacing(true);
    Peer tcp = Peer::tcp(sensor.listenTcp());
    Peer pty = Peer::device(sensor.openPty());
    for (Peer *peer : {&tcp, &pty}) {
        const auto start = Clock::now();
        peer->send(kVersionQuery);
        EXPECT_EQ(peer->read(kFrameBytes), kVersionAnswer);
        // 36 x 10 / 19200 s = 18.75 ms; a loaded machine can only make it slower.
        EXPECT_GE(secondsSince(start), 0.015);
    }
}

TEST(SimSensorTest, PseudoTerminalServesEachOpeningAndEveryByteIsCaptured) {
    SimSensor sensor;
    const std::string path = sensor.openPty();
    EXPECT_EQ(sensor.openPty(), path);
    {
        Peer port = Peer::device(path);
        port.send(hex("FF FF 00 55 00")); // garbage, then a frame in two pieces
        port.send(Bytes(kReadParameters.begin() + 3, kReadParameters.end()));
        EXPECT_EQ(port.read(kFrameBytes), frame("00 AA 00 03"));
    }
    const std::vector<CaptureEntry> cap = sensor.capture();
    ASSERT_EQ(cap.size(), 3u);
    EXPECT_EQ(cap[0].bytes, hex("FF FF"));
    EXPECT_EQ(cap[1].bytes, kReadParameters);
    EXPECT_EQ(cap[2].bytes, frame("00 AA 00 03"));
    EXPECT_EQ(cap[1].direction, Direction::ToSensor);
    EXPECT_EQ(cap[2].direction, Direction::FromSensor);
    EXPECT_LE(cap[0].seconds, cap[1].seconds);
    EXPECT_LE(cap[1].seconds, cap[2].seconds);
    EXPECT_TRUE(hexLine(cap[0]).ends_with(" in  FF FF")) << hexLine(cap[0]);

    sensor.clearCapture();
    Peer again = Peer::device(path); // the program closed the port and opens it again
    again.send(kVersionQuery);
    EXPECT_EQ(again.read(kFrameBytes), kVersionAnswer);
    EXPECT_EQ(sensor.capture().size(), 2u);
}

TEST(SimSensorTest, NewClientReplacesThePreviousOne) {
    SimSensor sensor;
    const int port = sensor.listenTcp();
    Peer first = Peer::tcp(port);
    first.send(kVersionQuery);
    EXPECT_EQ(first.read(kFrameBytes), kVersionAnswer);
    Peer second = Peer::tcp(port);
    EXPECT_TRUE(first.hungUp());
    second.send(kVersionQuery);
    EXPECT_EQ(second.read(kFrameBytes), kVersionAnswer);
}

TEST(SimFaults, EachFaultShapesTheAnswersItHits) {
    // Every case sends commands 3, 7, 3, 7 at once and expects this stream back.
    const Bytes normal = frame("00 AA 00 03"), &version = kVersionAnswer;
    const auto stream = [](std::initializer_list<Bytes> parts) {
        Bytes all;
        for (const Bytes &p : parts)
            all = concat(all, p);
        return all;
    };
    const struct {
        const char *fault;
        Bytes expected;
    } cases[] = {
        {"silent:cmd=3", stream({version, normal, version})},
        {"silent:cmd=3:always", stream({version, version})},
        {"silent:frame=2", stream({normal, normal, version})},
        {"silent", stream({version, normal, version})},
        {"short:cmd=3", stream({hex("00 AA 00 03", 35), version, normal, version})},
        {"long:cmd=3", stream({hex("00 AA 00 03", 37), version, normal, version})},
        {"marker:cmd=3", stream({frame("00 AB 00 03"), version, normal, version})},
        {"command:cmd=3", stream({frame("00 AA 00 04"), version, normal, version})},
        {"corrupt:cmd=3", stream({frame("00 AA 00 03 FF"), version, normal, version})},
        {"corrupt:cmd=3:byte=35", stream({hex("00 AA 00 03", 35), hex("FF"), version, normal, version})},
        {"unsolicited:frame=3", stream({normal, version, hex("FF FF"), normal, version})},
        {"delay:cmd=3:ms=20", stream({normal, version, normal, version})},
        {"marker:auto", stream({normal, version, normal, version})},
    };
    for (const auto &c : cases) {
        SimSensor sensor;
        Peer peer = Peer::tcp(sensor.listenTcp());
        sensor.setFault(*parseFault(c.fault, nullptr));
        peer.send(stream({kReadParameters, kVersionQuery, kReadParameters, kVersionQuery}));
        EXPECT_EQ(peer.read(c.expected.size()), c.expected) << c.fault;
        sensor.clearFaults();
        peer.send(kVersionQuery); // nothing more came before this answer
        EXPECT_EQ(peer.read(kFrameBytes), version) << c.fault;
    }
}

TEST(SimFaults, DelayedAnswerComesNoSoonerThanAsked) {
    SimSensor sensor;
    Peer peer = Peer::tcp(sensor.listenTcp());
    sensor.setFault({.kind = FaultKind::Delay, .command = CmdVersion, .delayMs = 300});
    const auto start = Clock::now();
    peer.send(kVersionQuery);
    EXPECT_EQ(peer.read(kFrameBytes), kVersionAnswer);
    EXPECT_GE(secondsSince(start), 0.3);
}

TEST(SimFaults, CloseHangsUpInsteadOfAnswering) {
    SimSensor sensor;
    const int port = sensor.listenTcp();
    sensor.setFault({.kind = FaultKind::CloseConnection, .command = CmdVersion});
    Peer peer = Peer::tcp(port);
    peer.send(kVersionQuery);
    EXPECT_TRUE(peer.read(kFrameBytes).empty());
    EXPECT_TRUE(peer.hungUp());
    Peer again = Peer::tcp(port);
    again.send(kVersionQuery);
    EXPECT_EQ(again.read(kFrameBytes), kVersionAnswer);
}

TEST(SimFaults, FaultAndMeasurementTextIsParsedOrRejectedWithAReason) {
    const auto f = parseFault("delay:cmd=182:frame=3:always:ms=2500", nullptr);
    ASSERT_TRUE(f);
    EXPECT_EQ(f->kind, FaultKind::Delay);
    EXPECT_EQ(f->command, 182);
    EXPECT_EQ(f->frame, 3);
    EXPECT_TRUE(f->persistent);
    EXPECT_EQ(f->delayMs, 2500);
    for (const char *bad : {"", "bogus", "short:cmd=x", "short:cmd=70000", "short:cmd=", "delay:ms=-1",
                            "short:frame=0", "short:what", "corrupt:byte=99"}) {
        std::string error;
        EXPECT_FALSE(parseFault(bad, &error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
    EXPECT_EQ(parseMeasurement("1,2,3,4000,500,600,250"), (Measurement{1, 2, 3, 4000, 500, 600, 250, 0}));
    for (const char *bad :
         {"", "1,2,3", "1,2,3,4,5,6,7,8", "1,2,3,4,5,6,70000", "1,2,3,4,5,6,x", "1,,3,4,5,6,7"})
        EXPECT_FALSE(parseMeasurement(bad)) << bad;
}

namespace {

// `count` sensors served by `farm`, sensor k with version "FARM k" and channel L 100 + k.
std::vector<std::unique_ptr<SimSensor>> farmSensors(const SensorFarm &farm, int count) {
    std::vector<std::unique_ptr<SimSensor>> sensors;
    for (int k = 0; k < count; ++k) {
        sensors.push_back(std::make_unique<SimSensor>(farm));
        sensors[k]->setVersion("FARM " + std::to_string(k));
        sensors[k]->setMeasurement({std::uint16_t(100 + k), 2, 3, 0, 0, 0, 0, 0});
    }
    return sensors;
}

Bytes versionAnswer(const std::string &text) {
    Bytes b(text.begin(), text.end());
    b.resize(kFrameBytes, 0);
    return b;
}

} // namespace

TEST(SimFarm, SensorsOnConsecutivePortsKeepMemoriesVersionsAndSamplesOfTheirOwn) {
    const SensorFarm farm;
    const auto sensors = farmSensors(farm, 3);
    EXPECT_EQ(farm.size(), 3u);
    const int first = listenOnConsecutivePorts(sensors);
    std::vector<Peer> peers;
    for (int k = 0; k < 3; ++k)
        peers.push_back(Peer::tcp(first + k));
    peers[1].send(frame("00 55 00 01 00 07"));
    EXPECT_EQ(peers[1].read(kFrameBytes), frame("00 AA 00 01 00 07"));
    for (std::uint8_t k = 0; k < 3; ++k) {
        peers[k].send(concat(kVersionQuery, concat(kReadParameters, kReadData)));
        const Bytes got = peers[k].read(3 * kFrameBytes);
        ASSERT_EQ(got.size(), 3 * kFrameBytes) << int(k);
        EXPECT_EQ(Bytes(got.begin(), got.begin() + 36), versionAnswer("FARM " + std::to_string(k)));
        EXPECT_EQ(Bytes(got.begin() + 36, got.begin() + 72),
                  frame(k == 1 ? "00 AA 00 03 00 07" : "00 AA 00 03"));
        EXPECT_EQ(Bytes(got.begin() + 76, got.begin() + 78), (Bytes{0, std::uint8_t(100 + k)}))
            << "channel L";
        EXPECT_EQ(sensors[k]->memory().ram.params[0], k == 1 ? 7 : 0);
    }
}

TEST(SimFarm, SensorDestroyedAndCreatedAgainAnswersOnTheSamePort) {
    auto farm = std::make_unique<SensorFarm>();
    auto sensors = farmSensors(*farm, 2);
    const int first = listenOnConsecutivePorts(sensors);
    Peer before = Peer::tcp(first + 1);
    before.send(kVersionQuery);
    EXPECT_EQ(before.read(kFrameBytes), versionAnswer("FARM 1"));

    sensors[1].reset();
    EXPECT_TRUE(before.hungUp());
    EXPECT_EQ(farm->size(), 1u);
    sensors[1] = std::make_unique<SimSensor>(*farm);
    sensors[1]->setVersion("BACK");
    EXPECT_EQ(sensors[1]->listenTcp(first + 1), first + 1);
    farm.reset(); // the sensors keep their thread
    for (auto [port, version] : {std::pair{first + 1, "BACK"}, std::pair{first, "FARM 0"}}) {
        Peer peer = Peer::tcp(port);
        peer.send(kVersionQuery);
        EXPECT_EQ(peer.read(kFrameBytes), versionAnswer(version));
    }
}

namespace {

// Starts sensorsim with `args` (in `locale` if given) and waits until it has printed
// `lines` lines; returns what it printed.
QByteArray startSensorsim(QProcess &p, const QStringList &args, int lines = 1, const QString &locale = {}) {
    if (!locale.isEmpty()) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("LANG", locale);
        env.insert("LC_ALL", locale);
        p.setProcessEnvironment(env);
    }
    p.start(SENSORSIM_PATH, args);
    QByteArray out;
    EXPECT_TRUE(WaitFor([&] {
        out += p.readAllStandardOutput();
        return out.count('\n') >= lines;
    })) << out.toStdString();
    return out;
}

// The first port of sensorsim's "listening on" line; 0 without one.
int listeningPort(const QByteArray &out) {
    const auto match = QRegularExpression("listening on 127\\.0\\.0\\.1:(\\d+)").match(out);
    return match.hasMatch() ? match.captured(1).toInt() : 0;
}

// Stops sensorsim as a service manager would; returns the rest of what it printed.
QByteArray stopSensorsim(QProcess &p) {
    p.terminate();
    EXPECT_TRUE(p.waitForFinished(5000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 0);
    return p.readAllStandardOutput();
}

} // namespace

TEST(Sensorsim, AnswersOverTcpCapturesAndListsWhatItHoldsWhenStopped) {
    QProcess help;
    help.start(SENSORSIM_PATH, {"--help"});
    ASSERT_TRUE(help.waitForFinished(5000));
    const QByteArray helpText = help.readAllStandardOutput();
    for (const char *option : {"--tcp", "--count", "--bind", "--pty", "--version", "--pace", "--fault",
                               "--capture", "--trigger-rate", "--fixed"})
        EXPECT_TRUE(helpText.contains(option)) << option;

    QTemporaryDir dir;
    const QString capturePath = dir.filePath("capture.txt");
    QProcess p;
    QByteArray out =
        startSensorsim(p, {"--tcp", "0", "--pty", "--version", "HUEMA-PX V1.1", "--capture", capturePath}, 2);
    const int port = listeningPort(out);
    ASSERT_NE(port, 0) << out.toStdString();
    EXPECT_TRUE(out.contains("pty /dev/")) << out.toStdString();
    {
        Peer peer = Peer::tcp(port);
        peer.send(kVersionQuery);
        EXPECT_EQ(peer.read(kFrameBytes), hex("48 55 45 4D 41 2D 50 58 20 56 31 2E 31", kFrameBytes));
        peer.send(frame("00 55 00 01 00 01 00 02 00 03"));
        EXPECT_EQ(peer.read(kFrameBytes), frame("00 AA 00 01 00 01 00 02 00 03"));
    }
    out += stopSensorsim(p);
    EXPECT_TRUE(out.contains("RAM parameters: 1 2 3 0 ")) << out.toStdString();
    EXPECT_TRUE(out.contains("compensation words: 0")) << out.toStdString();
    const std::string capture = ReadFileBytes(capturePath.toStdString());
    EXPECT_NE(capture.find(" in  00 55 00 07 00 00"), std::string::npos) << capture;
    EXPECT_NE(capture.find(" out 48 55 45 4D 41"), std::string::npos) << capture;
}

TEST(Sensorsim, CaptureTimeStampsKeepPointDecimalsInAGermanLocale) {
    const locale_t german = newlocale(LC_ALL_MASK, "de_DE.UTF-8", locale_t(nullptr));
    ASSERT_NE(german, locale_t(nullptr)) << "the de_DE.UTF-8 locale is not installed";
    freelocale(german);
    QTemporaryDir dir;
    const QString capturePath = dir.filePath("capture.txt");
    QProcess p;
    const int port =
        listeningPort(startSensorsim(p, {"--tcp", "0", "--capture", capturePath}, 1, "de_DE.UTF-8"));
    ASSERT_NE(port, 0);
    {
        Peer peer = Peer::tcp(port);
        peer.send(kVersionQuery);
        EXPECT_EQ(peer.read(kFrameBytes), kVersionAnswer);
    }
    stopSensorsim(p);
    const QString capture = QString::fromStdString(ReadFileBytes(capturePath.toStdString()));
    EXPECT_TRUE(QRegularExpression("^\\d+\\.\\d{6} in  00 55 00 07 ").match(capture).hasMatch())
        << capture.toStdString();
}

TEST(Sensorsim, CountServesSensorsOnConsecutivePortsWithMemoriesOfTheirOwn) {
    QTemporaryDir dir;
    QProcess p;
    QByteArray out = startSensorsim(p, {"--tcp", "0", "--count", "3", "--version", "SIM %n", "--fixed",
                                        "100,2,3,4,5,6,7", "--capture", dir.filePath("capture%n.txt")});
    const int first = listeningPort(out);
    ASSERT_NE(first, 0) << out.toStdString();
    EXPECT_TRUE(
        out.contains(QByteArray::number(first) + "-" + QByteArray::number(first + 2) + " (3 sensors)"))
        << out.toStdString();
    for (std::uint8_t k = 0; k < 3; ++k) {
        Peer peer = Peer::tcp(first + k);
        if (k == 1) {
            peer.send(frame("00 55 00 01 00 09"));
            EXPECT_EQ(peer.read(kFrameBytes), frame("00 AA 00 01 00 09"));
        }
        peer.send(concat(kVersionQuery, kReadData));
        const Bytes got = peer.read(2 * kFrameBytes);
        ASSERT_EQ(got.size(), 2 * kFrameBytes) << int(k);
        EXPECT_EQ(Bytes(got.begin(), got.begin() + 36), versionAnswer("SIM " + std::to_string(k)));
        EXPECT_EQ(Bytes(got.begin() + 40, got.begin() + 42), (Bytes{0, std::uint8_t(100 + k)}))
            << "channel L";
    }
    out += stopSensorsim(p);
    for (int k = 0; k < 3; ++k) {
        const QString line =
            QString("sensor %1 at 127.0.0.1:%2: version \"SIM %1\", %3 frames, RAM parameters: %4 0 ")
                .arg(k)
                .arg(first + k)
                .arg(k == 1 ? 3 : 2)
                .arg(k == 1 ? 9 : 0);
        EXPECT_TRUE(out.contains(line.toUtf8())) << line.toStdString() << "\n" << out.toStdString();
        const std::string capture =
            ReadFileBytes(dir.filePath(QString("capture%1.txt").arg(k)).toStdString());
        EXPECT_NE(capture.find(" out 53 49 4D 20 " + std::to_string(30 + k)), std::string::npos) << capture;
    }
}

TEST(Sensorsim, RefusesCommandLinesItCannotServe) {
    const QStringList cases[] = {
        {"--count", "2"},
        {"--tcp", "0", "--count", "0"},
        {"--tcp", "0", "--count", "x"},
        {"--tcp", "65535", "--count", "2"},
        {"--tcp", "0", "--count", "2", "--pty"},
        {"--tcp", "0", "--count", "2", "--capture", "capture.txt"},
        {"--tcp", "0", "--count", "3", "--fixed", "65534,0,0,0,0,0,0"},
        {"--tcp", "0", "--fault", "bogus"},
    };
    for (const QStringList &args : cases) {
        QProcess p;
        p.start(SENSORSIM_PATH, args);
        ASSERT_TRUE(p.waitForFinished(5000)) << args.join(' ').toStdString();
        EXPECT_EQ(p.exitCode(), 2) << args.join(' ').toStdString();
        EXPECT_TRUE(p.readAllStandardError().startsWith("sensorsim: ")) << args.join(' ').toStdString();
    }
}
