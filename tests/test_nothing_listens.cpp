// Neither program opens a socket that others could reach: each runs as its own
// process against the simulated sensor, and once its start-up exchange is over
// its sockets are looked up in /proc. The simulated sensor program listens on
// loopback unless told otherwise.
#include "sim/simsensor.h"
#include "tests/test_support.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

// A socket of a process as /proc/<pid>/net lists it.
struct SocketEntry {
    std::string table; // "tcp", "udp6", ...
    std::string local; // hex address:port as listed
    int state = 0;
    bool operator==(const SocketEntry &) const = default;
};

constexpr int kTcpEstablished = 0x01;
constexpr int kTcpListen = 0x0A;

// The inodes of the sockets the process holds open.
std::set<std::string> SocketInodes(qint64 pid) {
    std::set<std::string> inodes;
    std::error_code ec;
    for (const auto &fd : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec)) {
        const std::string target = std::filesystem::read_symlink(fd.path(), ec).string();
        if (target.rfind("socket:[", 0) == 0) inodes.insert(target.substr(8, target.size() - 9));
    }
    return inodes;
}

// The process's own Internet sockets, from the tables of its network namespace.
std::vector<SocketEntry> InternetSockets(qint64 pid) {
    const std::set<std::string> inodes = SocketInodes(pid);
    std::vector<SocketEntry> sockets;
    for (const char *table : {"tcp", "tcp6", "udp", "udp6"}) {
        std::ifstream in("/proc/" + std::to_string(pid) + "/net/" + table);
        std::string line;
        std::getline(in, line); // column titles
        while (std::getline(in, line)) {
            std::istringstream fields(line);
            std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout, inode;
            fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >> timeout >>
                inode;
            if (inodes.count(inode)) sockets.push_back({table, local, std::stoi(state, nullptr, 16)});
        }
    }
    return sockets;
}

// Sockets on which the process would take connections or datagrams from others.
std::vector<SocketEntry> ReachableSockets(qint64 pid) {
    std::vector<SocketEntry> reachable;
    for (const SocketEntry &s : InternetSockets(pid))
        if (s.state == kTcpListen || s.table.rfind("udp", 0) == 0) reachable.push_back(s);
    return reachable;
}

bool HasConnection(qint64 pid) {
    for (const SocketEntry &s : InternetSockets(pid))
        if (s.state == kTcpEstablished) return true;
    return false;
}

std::string Describe(const std::vector<SocketEntry> &sockets) {
    std::string text;
    for (const SocketEntry &s : sockets)
        text += s.table + " " + s.local + " state " + std::to_string(s.state) + "; ";
    return text;
}

long AnswersSent(const sim::SimSensor &sensor) {
    long n = 0;
    for (const sim::CaptureEntry &e : sensor.capture())
        if (e.direction == sim::Direction::FromSensor) ++n;
    return n;
}

struct ProgramCase {
    const char *name;
    const char *folder; // where the build put the program and its files
    std::vector<const char *> files;
    const char *version;
    long startUpAnswers; // answers of its start-up exchange: version, then what it reads
};

class NothingListens : public ::testing::TestWithParam<ProgramCase> {};

TEST_P(NothingListens, ProgramHoldsNoListeningSocketAfterStartUp) {
    const ProgramCase &program = GetParam();
    // The program keeps its settings beside itself: run a copy in a folder of the test's own.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const char *file : program.files)
        ASSERT_TRUE(QFile::copy(QString(program.folder) + "/" + file, dir.filePath(file)))
            << file << " missing: build the programs first";

    sim::SimSensor sensor;
    sensor.setVersion(program.version);
    WriteFileBytes(dir.filePath("ComSettings.cfg").toStdString(),
                   "1\r\n1\r\n127.0.0.1\r\n" + std::to_string(sensor.listenTcp()) + "\r\n");

    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(dir.filePath(program.name), {});
    ASSERT_TRUE(process.waitForStarted(10000));
    const qint64 pid = process.processId();

    EXPECT_TRUE(WaitFor([&] { return AnswersSent(sensor) >= program.startUpAnswers; }, 30.0))
        << "start-up exchange incomplete: " << AnswersSent(sensor) << " answers";
    EXPECT_TRUE(HasConnection(pid)) << "the program is not connected to the sensor";
    EXPECT_EQ(ReachableSockets(pid), std::vector<SocketEntry>{}) << Describe(ReachableSockets(pid));

    process.kill();
    process.waitForFinished(10000);
}

INSTANTIATE_TEST_SUITE_P(
    BothPrograms, NothingListens,
    ::testing::Values(ProgramCase{"KelvraV12", KELVRA_DIR, {"KelvraV12", "KelvraV12.uir"}, "HUEMA3 V6.3", 1},
                      // VexaV32 reads the parameters and all 31 teach rows after the version.
                      ProgramCase{
                          "VexaV32", VEXA_DIR, {"VexaV32", "VexaV32.uir", "orvena.png"}, "VEXA V3.2", 33}),
    [](const ::testing::TestParamInfo<ProgramCase> &info) { return std::string(info.param.name); });

// The build puts sensorsim at its root, beside the programs' folders.
const QString kSensorSim = QString(VEXA_DIR) + "/../sensorsim";

TEST(SensorSimListener, ListensOnLoopbackByDefault) {
    QProcess sim;
    sim.start(kSensorSim, {"--tcp", "0"});
    ASSERT_TRUE(sim.waitForStarted(10000)) << "sensorsim missing: build it first";
    QString said;
    ASSERT_TRUE(WaitFor(
        [&] {
            said += QString::fromUtf8(sim.readAllStandardOutput());
            return said.contains('\n');
        },
        10.0));
    const QRegularExpressionMatch m = QRegularExpression(R"(listening on 127\.0\.0\.1:(\d+))").match(said);
    ASSERT_TRUE(m.hasMatch()) << said.toStdString();

    // 127.0.0.1 and the port as /proc lists them on a little-endian machine.
    const std::string expected =
        "0100007F:" + QString("%1").arg(m.captured(1).toInt(), 4, 16, QChar('0')).toUpper().toStdString();
    EXPECT_EQ(ReachableSockets(sim.processId()), (std::vector<SocketEntry>{{"tcp", expected, kTcpListen}}));
    sim.kill();
    sim.waitForFinished(10000);
}

} // namespace
