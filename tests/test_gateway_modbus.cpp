// The gateway's Modbus TCP server: the request framing and the register table as
// plain functions, then the server on loopback against libmodbus, an independent
// client that runs on a thread of its own while the test's event loop serves.
#include "gateway/modbus.h"
#include "gateway/modbusserver.h"
#include "test_support.h"
#include "tests/libmodbus_client.h"

#include <QTcpSocket>

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <thread>

using namespace gateway;
using namespace std::chrono_literals;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes ReadRequest(uint16_t transaction, uint8_t unit, uint8_t function, uint16_t address, uint16_t quantity) {
    return {uint8_t(transaction >> 8),
            uint8_t(transaction),
            0,
            0,
            0,
            6,
            unit,
            function,
            uint8_t(address >> 8),
            uint8_t(address),
            uint8_t(quantity >> 8),
            uint8_t(quantity)};
}

UnitSnapshot Sample(uint16_t base, uint32_t sequence, SteadyTime takenAt) {
    UnitSnapshot unit;
    unit.online = true;
    for (int i = 0; i < kLiveValues; ++i)
        unit.live[i] = uint16_t(base + i);
    unit.tempRaw = uint16_t(base + 100);
    unit.sequence = sequence;
    unit.takenAt = takenAt;
    return unit;
}

// Units 1 and 2 online with distinct values, unit 3 offline.
struct Plant {
    SteadyTime now = std::chrono::steady_clock::now();
    std::map<uint8_t, UnitSnapshot> units{
        {1, Sample(1000, 0x00012345, now - 1500ms)}, {2, Sample(2000, 7, now)}, {3, UnitSnapshot{}}};
    UnitLookup lookup = [this](uint8_t unit) {
        const auto found = units.find(unit);
        return found == units.end() ? nullptr : &found->second;
    };
};

ListenerLimits Limits(int maxConnections, std::chrono::milliseconds idle = 60s,
                      std::chrono::milliseconds unfinished = 5s, std::vector<Network> allow = {}) {
    return {maxConnections, idle, unfinished, std::move(allow)};
}

// Runs client on a thread of its own while this thread's event loop serves.
template <typename Client> void RunClient(Client client) {
    std::atomic<bool> done = false;
    std::thread thread([&] {
        client();
        done = true;
    });
    const bool finished = WaitFor([&] { return done.load(); }, 20.0);
    thread.join();
    ASSERT_TRUE(finished);
}

} // namespace

TEST(GatewayModbus, RequestsAreFramedByTheirHeader) {
    const Bytes request = ReadRequest(0x1234, 9, 3, 2, 4);
    for (std::size_t n = 0; n < request.size(); ++n)
        EXPECT_EQ(ParseRequest(std::span(request).first(n)).outcome, ParseOutcome::NeedMore) << n;
    Bytes two = request;
    two.insert(two.end(), request.begin(), request.end());
    const ParsedRequest parsed = ParseRequest(two);
    ASSERT_EQ(parsed.outcome, ParseOutcome::Complete);
    EXPECT_EQ(parsed.size, 12u);
    EXPECT_EQ(parsed.request.transaction, 0x1234);
    EXPECT_EQ(parsed.request.unit, 9);
    EXPECT_EQ(parsed.request.address, 2);
    EXPECT_EQ(parsed.request.quantity, 4);

    const Bytes write = {0, 1, 0, 0, 0, 6, 1, 6, 0, 0, 0, 1}; // write single register: framed, refused later
    EXPECT_EQ(ParseRequest(write).outcome, ParseOutcome::Complete);
    const Bytes malformed[] = {
        {0, 1, 0, 1},                             // protocol id 1
        {0, 1, 0, 0, 0, 1, 1},                    // length 1
        {0, 1, 0, 0, 0, 254, 1},                  // length 254: oversized
        {0, 1, 0, 0, 0, 5, 1, 3, 0, 0, 1},        // a read without its whole quantity
        {0, 1, 0, 0, 0, 7, 1, 4, 0, 0, 0, 1, 0},  // a read with a byte too many
        {'G', 'E', 'T', ' ', '/', ' ', 'H', 'T'}, // not Modbus at all
    };
    for (const Bytes &bytes : malformed)
        EXPECT_EQ(ParseRequest(bytes).outcome, ParseOutcome::Malformed) << testing::PrintToString(bytes);
}

TEST(GatewayModbus, AnswersCarryTheTableOrTheException) {
    Plant plant;
    Bytes out;
    ModbusRequest request{0x0102, 1, 4, 0, kRegisterCount};
    ASSERT_EQ(AppendAnswer(request, plant.lookup, plant.now, out), ModbusException::None);
    const Bytes header = {0x01, 0x02, 0, 0, 0, 3 + 2 * kRegisterCount, 1, 4, 2 * kRegisterCount};
    ASSERT_EQ(out.size(), header.size() + 2 * kRegisterCount);
    EXPECT_TRUE(std::equal(header.begin(), header.end(), out.begin()));
    EXPECT_EQ(RegistersOf(plant.units[1], plant.now),
              (std::array<uint16_t, kRegisterCount>{1000, 1001, 1002, 1003, 1004, 1005, 1006, 1007, 1100,
                                                    0x0001, 0x2345, 15, 1}));
    EXPECT_EQ(out[9 + 2 * 9], 0x00); // sequence, high word first
    EXPECT_EQ(out[9 + 2 * 9 + 1], 0x01);
    EXPECT_EQ(RegistersOf(plant.units[2], plant.now + 100h)[11], 65535); // age saturates

    const struct {
        ModbusRequest request;
        ModbusException exception;
    } refused[] = {
        {{7, 9, 3, 0, 1}, ModbusException::GatewayPathUnavailable},
        {{7, 1, 6, 0, 0}, ModbusException::IllegalFunction},
        {{7, 1, 16, 0, 0}, ModbusException::IllegalFunction},
        {{7, 1, 3, 0, 0}, ModbusException::IllegalDataValue},
        {{7, 1, 3, 0, 126}, ModbusException::IllegalDataValue},
        {{7, 1, 3, 12, 2}, ModbusException::IllegalDataAddress},
        {{7, 1, 3, 0xffff, 1}, ModbusException::IllegalDataAddress},
        {{7, 3, 3, 0, 1}, ModbusException::GatewayTargetFailed},
    };
    for (const auto &r : refused) {
        out.clear();
        EXPECT_EQ(AppendAnswer(r.request, plant.lookup, plant.now, out), r.exception)
            << int(r.request.function);
        const Bytes expected = {
            0, 7, 0, 0, 0, 3, r.request.unit, uint8_t(r.request.function | 0x80), uint8_t(r.exception)};
        EXPECT_EQ(out, expected);
    }
}

TEST(GatewayModbus, IndependentClientReadsEachUnitAndGetsEachException) {
    Plant plant;
    ModbusServer server(plant.lookup, Limits(4));
    std::string problem;
    ASSERT_TRUE(server.Listen(QHostAddress::LocalHost, 0, problem)) << problem;
    std::vector<int> unit1, unit2Input, unit2Tail, unknown, beyond, offline, write;
    RunClient([&] {
        testmodbus::Client client(server.Port(), 1);
        ASSERT_TRUE(client.Connect());
        unit1 = client.Read(3, 0, kRegisterCount);
        client.SetUnit(2);
        unit2Input = client.Read(4, 0, 9);
        unit2Tail = client.Read(3, 9, 4);
        client.SetUnit(42);
        unknown = client.Read(3, 0, 1);
        client.SetUnit(1);
        beyond = client.Read(3, 10, 4);
        client.SetUnit(3);
        offline = client.Read(4, 0, 1);
        client.SetUnit(1);
        write = {client.WriteRegister(0, 7)};
    });
    ASSERT_EQ(unit1.size(), std::size_t(kRegisterCount));
    EXPECT_EQ(std::vector<int>(unit1.begin(), unit1.begin() + 11),
              (std::vector<int>{1000, 1001, 1002, 1003, 1004, 1005, 1006, 1007, 1100, 0x0001, 0x2345}));
    EXPECT_GE(unit1[11], 15); // 1.5 s old when the plant was made, older now
    EXPECT_EQ(unit1[12], 1);
    EXPECT_EQ(unit2Input, (std::vector<int>{2000, 2001, 2002, 2003, 2004, 2005, 2006, 2007, 2100}));
    EXPECT_EQ(unit2Tail[0], 0);
    EXPECT_EQ(unit2Tail[1], 7);
    EXPECT_EQ(unit2Tail[3], 1);
    EXPECT_EQ(unknown, std::vector<int>{-0x0A});
    EXPECT_EQ(beyond, std::vector<int>{-0x02});
    EXPECT_EQ(offline, std::vector<int>{-0x0B});
    EXPECT_EQ(write, std::vector<int>{-0x01});
    EXPECT_EQ(plant.units[1].live[0], 1000); // nothing was written
    const ModbusCounters counters = server.Counters();
    EXPECT_EQ(counters.requests, 7);
    EXPECT_EQ(counters.exceptions, 4);
}

TEST(GatewayModbus, MalformedRequestClosesOnlyItsConnection) {
    Plant plant;
    ModbusServer server(plant.lookup, Limits(4));
    std::string problem;
    ASSERT_TRUE(server.Listen(QHostAddress::LocalHost, 0, problem)) << problem;

    QTcpSocket raw;
    raw.connectToHost(QHostAddress::LocalHost, server.Port());
    ASSERT_TRUE(WaitFor([&] { return raw.state() == QAbstractSocket::ConnectedState; }));
    // Two requests in one segment, then one that arrives in two pieces.
    Bytes first = ReadRequest(1, 1, 3, 0, 1);
    const Bytes second = ReadRequest(2, 2, 3, 0, 1);
    const Bytes split = ReadRequest(3, 1, 4, 7, 1);
    first.insert(first.end(), second.begin(), second.end());
    first.insert(first.end(), split.begin(), split.begin() + 5);
    raw.write(reinterpret_cast<const char *>(first.data()), qint64(first.size()));
    ASSERT_TRUE(WaitFor([&] { return raw.bytesAvailable() >= 2 * 11; }));
    raw.write(reinterpret_cast<const char *>(split.data() + 5), qint64(split.size() - 5));
    ASSERT_TRUE(WaitFor([&] { return raw.bytesAvailable() >= 3 * 11; }));
    const QByteArray answers = raw.readAll();
    EXPECT_EQ(answers.size(), 3 * 11);
    EXPECT_EQ(answers.mid(9, 2), QByteArray("\x03\xe8", 2));  // unit 1, CH_L 1000
    EXPECT_EQ(answers.mid(20, 2), QByteArray("\x07\xd0", 2)); // unit 2, CH_L 2000
    EXPECT_EQ(answers.mid(22, 2), QByteArray("\x00\x03", 2)); // transaction 3
    EXPECT_EQ(answers.mid(31, 2), QByteArray("\x03\xef", 2)); // unit 1, TRIGGER 1007

    raw.write("\x00\x09\x00\x00\x01\x00\x01\x03", 8); // length 256: oversized
    ASSERT_TRUE(WaitFor([&] { return raw.state() == QAbstractSocket::UnconnectedState; }));
    std::vector<int> afterwards;
    RunClient([&] {
        testmodbus::Client client(server.Port(), 2);
        if (client.Connect()) afterwards = client.Read(3, 3, 1);
    });
    EXPECT_EQ(afterwards, std::vector<int>{2003});
    EXPECT_EQ(server.Counters().closed, 1);
}

// Connects a raw client and waits until the server holds it.
static void ConnectRaw(QTcpSocket &socket, const ModbusServer &server, int openAfter) {
    socket.connectToHost(QHostAddress::LocalHost, server.Port());
    ASSERT_TRUE(WaitFor([&] { return server.Counters().open == openAfter; }));
}

TEST(GatewayModbus, FullSlotsCloseTheConnectionIdleLongestForANewClient) {
    Plant plant;
    ModbusServer server(plant.lookup, Limits(2));
    std::string problem;
    ASSERT_TRUE(server.Listen(QHostAddress::LocalHost, 0, problem)) << problem;
    QTcpSocket first, second;
    ConnectRaw(first, server, 1);
    ConnectRaw(second, server, 2);
    // The first asks something later than the second connected: the second is idle longest.
    const Bytes request = ReadRequest(1, 1, 3, 0, 1);
    first.write(reinterpret_cast<const char *>(request.data()), qint64(request.size()));
    ASSERT_TRUE(WaitFor([&] { return first.bytesAvailable() >= 11; }));

    std::vector<int> read;
    RunClient([&] {
        testmodbus::Client client(server.Port(), 1);
        if (client.Connect()) read = client.Read(3, 12, 1);
    });
    EXPECT_EQ(read, std::vector<int>{1});
    EXPECT_TRUE(WaitFor([&] { return second.state() == QAbstractSocket::UnconnectedState; }));
    EXPECT_EQ(first.state(), QAbstractSocket::ConnectedState);
    EXPECT_EQ(server.Counters().evicted, 1);
}

TEST(GatewayModbus, IdleAndHalfSentConnectionsAreClosedAfterTheirTimes) {
    Plant plant;
    ModbusServer server(plant.lookup, Limits(4, 3000ms, 200ms));
    std::string problem;
    ASSERT_TRUE(server.Listen(QHostAddress::LocalHost, 0, problem)) << problem;
    QTcpSocket idle, half;
    ConnectRaw(idle, server, 1);
    ConnectRaw(half, server, 2);
    const Bytes request = ReadRequest(1, 1, 3, 0, 1);
    half.write(reinterpret_cast<const char *>(request.data()), 5);
    ASSERT_TRUE(WaitFor([&] { return half.state() == QAbstractSocket::UnconnectedState; }));
    // The idle one has far longer.
    EXPECT_EQ(idle.state(), QAbstractSocket::ConnectedState);
    ASSERT_TRUE(WaitFor([&] { return idle.state() == QAbstractSocket::UnconnectedState; }, 10.0));
    EXPECT_EQ(server.Counters().timedOut, 2);
    EXPECT_EQ(server.Counters().open, 0);
}

TEST(GatewayModbus, ClientsOutsideTheAllowedNetworksAreClosedAtOnce) {
    Plant plant;
    Network elsewhere, loopback;
    ASSERT_TRUE(ParseNetwork("10.0.0.0/8", elsewhere));
    ASSERT_TRUE(ParseNetwork("127.0.0.1", loopback));
    ModbusServer refusing(plant.lookup, Limits(16, 60s, 5s, {elsewhere}));
    ModbusServer allowing(plant.lookup, Limits(16, 60s, 5s, {elsewhere, loopback}));
    std::string problem;
    ASSERT_TRUE(refusing.Listen(QHostAddress::LocalHost, 0, problem)) << problem;
    ASSERT_TRUE(allowing.Listen(QHostAddress::Any, 0, problem)) << problem; // IPv4 clients come mapped
    QTcpSocket refused, allowed;
    refused.connectToHost(QHostAddress::LocalHost, refusing.Port());
    ASSERT_TRUE(WaitFor([&] { return refusing.Counters().refused == 1; }));
    EXPECT_TRUE(WaitFor([&] { return refused.state() == QAbstractSocket::UnconnectedState; }));
    ConnectRaw(allowed, allowing, 1);
    EXPECT_EQ(allowing.Counters().refused, 0);
}

TEST(GatewayModbus, NetworksAreReadAsAddressesOrPrefixes) {
    const struct {
        const char *text;
        bool ok;
        int prefix;
    } cases[] = {
        {"192.168.1.0/24", true, 24}, {"10.1.2.3", true, 32},  {"fd00::/8", true, 8}, {"::1", true, 128},
        {"10.0.0.0/33", false, 0},    {"plc.local", false, 0}, {"", false, 0},        {"1.2.3.4/", false, 0}};
    for (const auto &c : cases) {
        Network n;
        EXPECT_EQ(ParseNetwork(c.text, n), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(n.second, c.prefix) << c.text;
        }
    }
}
