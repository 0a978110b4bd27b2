// sensorctl publish against a real Mosquitto broker, started here on a free
// loopback port: every sample in order, the retained status and last will, and
// a broker that goes away and comes back mid-stream.
#include "sim/simsensor.h"
#include "tests/sensorctl_run.h"
#include "tests/test_support.h"

#include <QJsonDocument>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <csignal>
#include <memory>
#include <set>

namespace {

QString Find(const char *program) {
    return QStandardPaths::findExecutable(program,
                                          {"/usr/sbin", "/usr/bin", "/usr/local/sbin", "/usr/local/bin"});
}

int FreePort() {
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort();
}

// A broker of its own per test; with a persistent store, so that a restart
// keeps the sessions of the subscribers that asked for one.
class Broker {
  public:
    explicit Broker(const QString &dir) : m_dir(dir), m_port(FreePort()) {
        WriteFileBytes((dir + "/mosquitto.conf").toStdString(),
                       "listener " + std::to_string(m_port) +
                           " 127.0.0.1\nallow_anonymous true\n"
                           "persistence true\npersistence_location " +
                           dir.toStdString() + "/\n");
    }
    ~Broker() { Stop(); }

    bool Start() {
        m_process = std::make_unique<QProcess>();
        m_process->start(Find("mosquitto"), {"-c", m_dir + "/mosquitto.conf"});
        if (!m_process->waitForStarted()) return false;
        return WaitFor([this] {
            QTcpSocket probe;
            probe.connectToHost(QHostAddress::LocalHost, m_port);
            return probe.waitForConnected(200);
        });
    }
    // As a service stop does: the broker saves its sessions and ends.
    void Stop() {
        if (!m_process) return;
        m_process->terminate();
        m_process->waitForFinished(5000);
        m_process.reset();
    }
    QString Url() const { return QString("mqtt://127.0.0.1:%1").arg(m_port); }
    QStringList Address() const { return {"-h", "127.0.0.1", "-p", QString::number(m_port)}; }

  private:
    QString m_dir;
    int m_port;
    std::unique_ptr<QProcess> m_process;
};

// mosquitto_sub with a session the broker keeps, collecting "topic payload" lines.
class Subscriber {
  public:
    Subscriber(const Broker &broker, const QString &topic) {
        // Line-buffered, so that each message and the subscription's acknowledgement come at once.
        m_process.start(Find("stdbuf"),
                        QStringList{"-oL", Find("mosquitto_sub")} + broker.Address() +
                            QStringList{"-t", topic, "-v", "-q", "1", "-c", "-i", "test-viewer", "-d"});
        m_process.waitForStarted();
        EXPECT_TRUE(WaitFor([this] { return Read(), m_debug.contains("SUBACK"); })) << "the subscription";
    }
    ~Subscriber() {
        m_process.kill();
        m_process.waitForFinished();
    }
    // The samples received so far on the data topic, by their numbers.
    std::vector<int> Seqs() {
        Read();
        std::vector<int> seqs;
        for (const QString &line : m_lines)
            if (line.section(' ', 0, 0).endsWith("/data"))
                seqs.push_back(
                    QJsonDocument::fromJson(line.section(' ', 1).toUtf8()).object().value("seq").toInt(-1));
        return seqs;
    }

  private:
    void Read() {
        m_buffer += QString::fromUtf8(m_process.readAllStandardOutput());
        qsizetype end;
        while ((end = m_buffer.indexOf('\n')) >= 0) {
            const QString line = m_buffer.left(end);
            m_buffer.remove(0, end + 1);
            if (line.startsWith("Client "))
                m_debug += line + "\n";
            else
                m_lines << line;
        }
    }
    QProcess m_process;
    QString m_buffer, m_debug;
    QStringList m_lines;
};

// The retained message of a topic, as a newcomer to the broker sees it.
QString Retained(const Broker &broker, const QString &topic) {
    QProcess sub;
    sub.start(Find("mosquitto_sub"), broker.Address() + QStringList{"-t", topic, "-C", "1", "-W", "3"});
    sub.waitForFinished(5000);
    return QString::fromUtf8(sub.readAllStandardOutput()).trimmed();
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
    Subscriber viewer(broker, "plant/#");
    StartTool({});
    ASSERT_TRUE(WaitFor([&] { return viewer.Seqs().size() >= 25; }, 10.0));
    EXPECT_EQ(Retained(broker, "plant/s1/status"), "online");

    ::kill(static_cast<pid_t>(tool.processId()), SIGKILL); // no goodbye: the broker's last will speaks for it
    tool.waitForFinished();
    EXPECT_TRUE(WaitFor([&] { return Retained(broker, "plant/s1/status") == "offline"; }, 10.0));

    const std::vector<int> seqs = viewer.Seqs();
    for (std::size_t i = 0; i < seqs.size(); ++i)
        ASSERT_EQ(seqs[i], static_cast<int>(i)) << "every sample, in order, once";
}

TEST_F(SensorctlPublish, ABrokerRestartLosesNoMoreSamplesThanTheToolReportsDropped) {
    constexpr int kSamples = 200; // 10 s: the reconnect comes well before the end
    Subscriber viewer(broker, "plant/s1/data");
    // A small queue, so that the outage overflows it and drops are counted.
    StartTool({"--count", QString::number(kSamples), "--queue", "10"});
    ASSERT_TRUE(WaitFor([&] { return viewer.Seqs().size() >= 20; }, 10.0));
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
            const std::vector<int> seqs = viewer.Seqs();
            distinct = std::set<int>(seqs.begin(), seqs.end());
            return static_cast<int>(distinct.size()) >= kSamples - dropped;
        },
        10.0))
        << distinct.size() << " distinct samples arrived, " << dropped << " were reported dropped";
    EXPECT_LE(kSamples - static_cast<int>(distinct.size()), dropped);
    int last = -1;
    for (int seq : viewer.Seqs()) {
        EXPECT_GE(seq, last) << "in order; a sample may come twice after the reconnect, never earlier";
        last = seq;
    }
    EXPECT_EQ(Retained(broker, "plant/s1/status"), "offline") << "a tool that ends says so";
}

} // namespace
