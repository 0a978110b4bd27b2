// sensorctl publish against a real Mosquitto broker, started here on a free
// loopback port: every sample in order, the retained status and last will, a
// broker that goes away and comes back mid-stream, and several sensors over one
// connection or one each.
#include "sim/simsensor.h"
#include "tests/mosquitto_viewer.h"
#include "tests/sensorctl_run.h"
#include "tests/test_support.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <csignal>
#include <memory>
#include <set>

namespace {

using testbroker::Broker;
using testbroker::Find;
using testbroker::Retained;

// The samples received so far on the data topic, by their numbers.
std::vector<int> Seqs(testbroker::Subscriber &viewer) {
    std::vector<int> seqs;
    for (const QString &line : viewer.Lines())
        if (line.section(' ', 0, 0).endsWith("/data"))
            seqs.push_back(
                QJsonDocument::fromJson(line.section(' ', 1).toUtf8()).object().value("seq").toInt(-1));
    return seqs;
}

class SensorctlPublish : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ASSERT_FALSE(Find("mosquitto").isEmpty()) << "the Debian package mosquitto is needed";
        ASSERT_FALSE(Find("mosquitto_sub").isEmpty()) << "the Debian package mosquitto-clients is needed";
        target = QString("tcp://127.0.0.1:%1").arg(sensor.listenTcp());
        ASSERT_TRUE(broker.Start());
    }

    void StartTool(const QStringList &extra) {
        tool.start(SENSORCTL_PATH,
                   QStringList{target, "publish", "--broker", broker.Url(), "--topic", "plant/s1", "--json"} +
                       extra);
        ASSERT_TRUE(tool.waitForStarted());
    }
    QJsonObject ToolResult() {
        EXPECT_TRUE(tool.waitForFinished(20000));
        const QStringList lines =
            QString::fromUtf8(tool.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        return lines.isEmpty() ? QJsonObject{} : QJsonDocument::fromJson(lines.last().toUtf8()).object();
    }

    QTemporaryDir dir;
    sim::SimSensor sensor;
    QString target;
    Broker broker{dir.path()};
    QProcess tool;
};

TEST_F(SensorctlPublish, EverySampleArrivesInOrderWithTheStatusRetainedAndTheLastWill) {
    testbroker::Subscriber viewer(broker, "plant/#");
    StartTool({});
    ASSERT_TRUE(WaitFor([&] { return Seqs(viewer).size() >= 25; }, 10.0));
    EXPECT_EQ(Retained(broker, "plant/s1/status"), "online");

    ::kill(static_cast<pid_t>(tool.processId()), SIGKILL); // no goodbye: the broker's last will speaks for it
    tool.waitForFinished();
    EXPECT_TRUE(WaitFor([&] { return Retained(broker, "plant/s1/status") == "offline"; }, 10.0));

    const std::vector<int> seqs = Seqs(viewer);
    for (std::size_t i = 0; i < seqs.size(); ++i)
        ASSERT_EQ(seqs[i], static_cast<int>(i)) << "every sample, in order, once";
}

TEST_F(SensorctlPublish, ABrokerRestartLosesNoMoreSamplesThanTheToolReportsDropped) {
    constexpr int kSamples = 200; // 10 s: the reconnect comes well before the end
    testbroker::Subscriber viewer(broker, "plant/s1/data");
    // A small queue, so that the outage overflows it and drops are counted.
    StartTool({"--count", QString::number(kSamples), "--queue", "10"});
    ASSERT_TRUE(WaitFor([&] { return Seqs(viewer).size() >= 20; }, 10.0));
    broker.Stop();
    QTest::qWait(1500);
    ASSERT_TRUE(broker.Start());

    const QJsonObject result = ToolResult();
    EXPECT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().toStdString();
    ASSERT_TRUE(result.value("ok").toBool());
    const int dropped = result.value("dropped").toInt(-1);
    EXPECT_EQ(result.value("samples").toInt(), kSamples);
    EXPECT_EQ(result.value("confirmed").toInt() + dropped, kSamples) << "every sample confirmed or counted";
    EXPECT_EQ(result.value("unconfirmed").toInt(-1), 0);
    EXPECT_GT(dropped, 0) << "the outage was meant to fill the queue";

    std::set<int> distinct;
    ASSERT_TRUE(WaitFor(
        [&] {
            const std::vector<int> seqs = Seqs(viewer);
            distinct = std::set<int>(seqs.begin(), seqs.end());
            return static_cast<int>(distinct.size()) >= kSamples - dropped;
        },
        10.0))
        << distinct.size() << " distinct samples arrived, " << dropped << " were reported dropped";
    EXPECT_LE(kSamples - static_cast<int>(distinct.size()), dropped);
    int last = -1;
    for (int seq : Seqs(viewer)) {
        EXPECT_GE(seq, last) << "in order; a sample may come twice after the reconnect, never earlier";
        last = seq;
    }
    EXPECT_EQ(Retained(broker, "plant/s1/status"), "offline") << "a tool that ends says so";
}

// Two sensors, s1 and s2, in a targets file, published under plant/%n.
class SensorctlPublishTwo : public SensorctlPublish {
  protected:
    void StartTwo(const QStringList &extra) {
        const std::string list = dir.filePath("plant.txt").toStdString();
        WriteFileBytes(list, target.toStdString() +
                                 " s1\ntcp://127.0.0.1:" + std::to_string(other.listenTcp()) + " s2\n");
        tool.start(SENSORCTL_PATH, QStringList{"--targets", QString::fromStdString(list), "publish",
                                               "--broker", broker.Url(), "--topic", "plant/%n", "--json"} +
                                       extra);
        ASSERT_TRUE(tool.waitForStarted());
    }
    // The MQTT connections the broker accepted from the tool, as its log tells.
    int ToolConnections() {
        QFile log(dir.filePath("mosquitto.log"));
        if (!log.open(QIODevice::ReadOnly)) return -1;
        return static_cast<int>(QString::fromUtf8(log.readAll()).count(QRegularExpression(" as sensorctl-")));
    }

    sim::SimSensor other;
};

TEST_F(SensorctlPublishTwo, ASilentSensorIsOfflineUntilItAnswersAndAStopSignalEndsTheRunAtOnce) {
    StartTwo({});
    ASSERT_TRUE(WaitFor([&] { return Retained(broker, "plant/s2/status") == "online"; }, 10.0));
    EXPECT_EQ(Retained(broker, "plant/sensorctl/status"), "online") << "the tool's own status";

    other.setFault({.kind = sim::FaultKind::NoAnswer, .persistent = true});
    EXPECT_TRUE(WaitFor([&] { return Retained(broker, "plant/s2/status") == "offline"; }, 8.0));
    const QJsonObject health = QJsonDocument::fromJson(Retained(broker, "plant/s2/health").toUtf8()).object();
    EXPECT_EQ(health.value("state").toString(), "offline");
    EXPECT_TRUE(health.value("cause").toString().contains("No answer"))
        << health.value("cause").toString().toStdString();
    EXPECT_EQ(Retained(broker, "plant/s1/status"), "online") << "the other sensor goes on";
    other.clearFaults();
    EXPECT_TRUE(WaitFor([&] { return Retained(broker, "plant/s2/status") == "online"; }, 8.0));

    QElapsedTimer stopping;
    stopping.start();
    ::kill(static_cast<pid_t>(tool.processId()), SIGTERM);
    ASSERT_TRUE(tool.waitForFinished(5000));
    EXPECT_LT(stopping.elapsed(), 1500) << "ms from SIGTERM to the end";
    for (const char *topic : {"plant/s1/status", "plant/s2/status", "plant/sensorctl/status"})
        EXPECT_EQ(Retained(broker, topic), "offline") << topic;
}

TEST_F(SensorctlPublishTwo, EverySensorsDataArrivesOverOneConnection) {
    constexpr int kSamples = 30;
    testbroker::Subscriber viewer(broker, "plant/+/data");
    StartTwo({"--count", QString::number(kSamples), "--client-id", "sensorctl-line1"});
    ASSERT_TRUE(tool.waitForFinished(20000));
    EXPECT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().toStdString();
    const QStringList lines = QString::fromUtf8(tool.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    int results = 0;
    for (const QString &line : lines) {
        const QJsonObject o = QJsonDocument::fromJson(line.toUtf8()).object();
        if (o.value("kind").toString() != "result") continue;
        ++results;
        EXPECT_EQ(o.value("samples").toInt(), kSamples) << line.toStdString();
        EXPECT_EQ(o.value("confirmed").toInt(), kSamples) << "each sensor counts its own samples";
        EXPECT_EQ(o.value("unconfirmed").toInt(-1), 0);
    }
    EXPECT_EQ(results, 2);
    for (const char *name : {"plant/s1/data", "plant/s2/data"})
        EXPECT_TRUE(
            WaitFor([&] { return viewer.Lines().filter(QString(name) + " ").size() >= kSamples; }, 5.0))
            << name;
    EXPECT_EQ(ToolConnections(), 1) << "one client at the broker for both sensors";
    EXPECT_EQ(Retained(broker, "plant/sensorctl-line1/status"), "offline") << "the status under --client-id";
}

// Ended without a goodbye: with one connection the broker's last will says that
// the tool is gone (the sensors' statuses hold only while it is online); with
// --connection-per-target each sensor's own will says the sensor is.
TEST_F(SensorctlPublishTwo, AKilledToolLeavesItsLastWill) {
    const struct {
        bool perTarget;
        int connections;
        std::vector<const char *> offline;
    } cases[] = {{false, 1, {"plant/sensorctl/status"}}, {true, 2, {"plant/s1/status", "plant/s2/status"}}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.perTarget ? "--connection-per-target" : "one connection");
        const int before = ToolConnections();
        StartTwo(c.perTarget ? QStringList{"--connection-per-target"} : QStringList{});
        // The sensors' statuses may still be online from the case before: wait for the connections.
        ASSERT_TRUE(WaitFor([&] { return ToolConnections() - before == c.connections; }, 10.0))
            << ToolConnections() - before << " connections";
        ASSERT_TRUE(WaitFor(
            [&] {
                return Retained(broker, "plant/s1/status") == "online" &&
                       Retained(broker, "plant/s2/status") == "online";
            },
            10.0));
        ::kill(static_cast<pid_t>(tool.processId()), SIGKILL);
        tool.waitForFinished();
        for (const char *topic : c.offline)
            EXPECT_TRUE(WaitFor([&] { return Retained(broker, topic) == "offline"; }, 10.0)) << topic;
    }
    EXPECT_EQ(Retained(broker, "plant/sensorctl/status"), "offline")
        << "not brought online again by the run of its own connections";
}

} // namespace
