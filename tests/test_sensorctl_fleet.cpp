// One sensorctl process keeps several sensors polled: a sensor that goes away
// and comes back on the same port, one that is down at start, one that falls
// silent, while the others carry on; a stop signal ends the run at once.
#include "sim/simsensor.h"
#include "tests/test_support.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <map>
#include <memory>
#include <vector>

namespace {

int FreePort() {
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort();
}

// sensorctl running as from a shell, its samples collected by target name.
class Watcher {
  public:
    explicit Watcher(const QStringList &arguments) {
        m_process.start(SENSORCTL_PATH, arguments);
        EXPECT_TRUE(m_process.waitForStarted());
        m_clock.start();
    }
    ~Watcher() {
        m_process.kill();
        m_process.waitForFinished();
    }
    // Samples of name so far, as seconds since the start.
    const std::vector<double> &Samples(const std::string &name) {
        Read();
        return m_samples[name];
    }
    // Waits until name has more samples than it has now.
    bool MoreFrom(const std::string &name, double seconds = 5.0) {
        const std::size_t before = Samples(name).size();
        return WaitFor([&] { return Samples(name).size() > before; }, seconds);
    }
    QString Errors() {
        Read();
        return m_errors;
    }
    QProcess &process() { return m_process; }

  private:
    void Read() {
        m_buffer += m_process.readAllStandardOutput();
        m_errors += QString::fromUtf8(m_process.readAllStandardError());
        qsizetype end;
        while ((end = m_buffer.indexOf('\n')) >= 0) {
            const QJsonObject o = QJsonDocument::fromJson(m_buffer.left(end)).object();
            m_buffer.remove(0, end + 1);
            if (o.value("kind").toString() == "sample")
                m_samples[o.value("name").toString().toStdString()].push_back(m_clock.elapsed() / 1000.0);
        }
    }
    QProcess m_process;
    QElapsedTimer m_clock;
    QByteArray m_buffer;
    QString m_errors;
    std::map<std::string, std::vector<double>> m_samples;
};

double LongestGap(const std::vector<double> &times, double from, double to) {
    double last = from, gap = 0;
    for (double t : times)
        if (t >= from && t <= to) gap = std::max(gap, t - last), last = t;
    return std::max(gap, to - last);
}

TEST(SensorctlFleet, SensorsThatGoAndComeBackAreServedAgainWhileTheOthersCarryOn) {
    QTemporaryDir dir;
    const int portA = FreePort(), portC = FreePort();
    auto a = std::make_unique<sim::SimSensor>();
    a->listenTcp(portA);
    sim::SimSensor b;
    const std::string targets = dir.filePath("plant.txt").toStdString();
    WriteFileBytes(targets, "tcp://127.0.0.1:" + std::to_string(portA) + " a\ntcp://127.0.0.1:" +
                                std::to_string(b.listenTcp()) + " b\ntcp://127.0.0.1:" + std::to_string(portC) +
                                " c\n");
    Watcher tool({"--targets", QString::fromStdString(targets), "--json", "watch"});
    ASSERT_TRUE(tool.MoreFrom("a")) << tool.Errors().toStdString();
    ASSERT_TRUE(tool.MoreFrom("b"));
    EXPECT_TRUE(tool.Errors().contains("c (tcp://")) << "c is down at start: " << tool.Errors().toStdString();

    // c comes up: served within 5 s.
    sim::SimSensor c;
    c.listenTcp(portC);
    EXPECT_TRUE(tool.MoreFrom("c", 5.0)) << "a sensor down at start is served once it is up";

    // a is killed and started again on the same port: served again within 5 s.
    a.reset();
    ASSERT_TRUE(WaitFor([&] { return tool.Errors().contains("a (tcp://"); }, 5.0));
    a = std::make_unique<sim::SimSensor>();
    a->listenTcp(portA);
    EXPECT_TRUE(tool.MoreFrom("a", 5.0)) << "a sensor started again is served again";

    // b falls silent: reported offline after its answer time, then back; a and c go on meanwhile.
    const double silentFrom = tool.Samples("a").back();
    b.setFault({.kind = sim::FaultKind::NoAnswer, .persistent = true});
    ASSERT_TRUE(WaitFor([&] { return tool.Errors().count("b (tcp://") >= 1; }, 6.0));
    b.clearFaults();
    EXPECT_TRUE(tool.MoreFrom("b", 5.0)) << "a sensor that answers again is served again";
    const double silentTo = tool.Samples("b").back();
    for (const char *other : {"a", "c"})
        EXPECT_LT(LongestGap(tool.Samples(other), silentFrom, silentTo), 1.0)
            << other << " waited for the silent sensor";

    // A stop signal ends the run within a second, with a result for every target.
    QElapsedTimer stopping;
    stopping.start();
    ::kill(static_cast<pid_t>(tool.process().processId()), SIGTERM);
    ASSERT_TRUE(tool.process().waitForFinished(5000));
    EXPECT_LT(stopping.elapsed(), 1500) << "ms from SIGTERM to the end";
}

TEST(SensorctlFleet, TwoHundredSensorsAreWatchedFromOneProcess) {
    constexpr int kSensors = 200, kBase = 1000;
    QTemporaryDir dir;
    // 200 simulated sensors in one process: sensor k sends CH_L = kBase + k.
    QProcess sim;
    sim.start(SENSORSIM_PATH, {"--tcp", "0", "--count", QString::number(kSensors), "--fixed",
                               QString("%1,2000,3000,1500,400,600,250").arg(kBase)});
    ASSERT_TRUE(sim.waitForReadyRead(20000));
    const QString line = QString::fromUtf8(sim.readLine()); // listening on 127.0.0.1:FIRST-LAST (N sensors)
    const int first = line.section(':', 1).section('-', 0, 0).toInt();
    ASSERT_GT(first, 0) << line.toStdString();
    std::string list;
    for (int k = 0; k < kSensors; ++k)
        list += "tcp://127.0.0.1:" + std::to_string(first + k) + " s" + std::to_string(k) + "\n";
    const std::string targets = dir.filePath("plant.txt").toStdString();
    WriteFileBytes(targets, list);

    QProcess tool;
    tool.start(SENSORCTL_PATH, {"--targets", QString::fromStdString(targets), "--json", "watch", "--count", "3"});
    ASSERT_TRUE(tool.waitForFinished(60000));
    EXPECT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().toStdString();
    std::map<std::string, int> samples;
    for (const QByteArray &l : tool.readAllStandardOutput().split('\n')) {
        const QJsonObject o = QJsonDocument::fromJson(l).object();
        if (o.value("kind").toString() != "sample") continue;
        const std::string name = o.value("name").toString().toStdString();
        EXPECT_EQ(o.value("CH_L").toInt(), kBase + std::stoi(name.substr(1))) << name << " has its own values";
        ++samples[name];
    }
    EXPECT_EQ(samples.size(), std::size_t(kSensors));
    for (const auto &[name, count] : samples)
        EXPECT_EQ(count, 3) << name;
    sim.terminate();
    sim.waitForFinished();
}

} // namespace
