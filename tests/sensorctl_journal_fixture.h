// The journal tests' fixture: a real Mosquitto broker, a storage folder, sensorctl
// gateway as a child process that a test may kill as a crash would, and readers of
// what a viewer received.
#pragma once

#include "sim/simsensor.h"
#include "tests/mosquitto_viewer.h"
#include "tests/test_support.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>

namespace testjournal {

using testbroker::Broker;

constexpr double kInterval = 0.02; // 50 samples a second: an outage fills the journal quickly

struct Arrived {
    int seq;
    bool historical;
    int64_t ms; // the sample's time
};

// The data messages a viewer received, in the order they came, without a message
// that came again right after itself (the broker's redelivery to the viewer).
inline std::vector<Arrived> DataOf(testbroker::Subscriber &viewer, const QString &sensor = "a") {
    std::vector<Arrived> arrived;
    QString previous;
    for (const QString &line : viewer.Lines()) {
        if (!line.startsWith("plant/" + sensor + "/data ") || line == previous) continue;
        previous = line;
        const QJsonObject o = QJsonDocument::fromJson(line.section(' ', 1).toUtf8()).object();
        arrived.push_back(
            {o.value("seq").toInt(-1), o.value("historical").toBool(),
             QDateTime::fromString(o.value("time").toString(), Qt::ISODateWithMs).toMSecsSinceEpoch()});
    }
    return arrived;
}

inline std::vector<int> Seqs(const std::vector<Arrived> &arrived, bool historical) {
    std::vector<int> seqs;
    for (const Arrived &a : arrived)
        if (a.historical == historical) seqs.push_back(a.seq);
    return seqs;
}

// Every arrived sample's number, live or historical, in ascending order.
inline std::vector<int> SortedSeqs(const std::vector<Arrived> &arrived) {
    std::vector<int> seqs;
    for (const Arrived &a : arrived)
        seqs.push_back(a.seq);
    std::sort(seqs.begin(), seqs.end());
    return seqs;
}

// first, first + 1, ... to last, each once.
inline ::testing::AssertionResult Counted(const std::vector<int> &seqs, int first, int last) {
    if (seqs.size() != std::size_t(last - first + 1))
        return ::testing::AssertionFailure() << seqs.size() << " samples for " << first << ".." << last;
    for (std::size_t i = 0; i < seqs.size(); ++i)
        if (seqs[i] != first + int(i))
            return ::testing::AssertionFailure() << "sample " << i << " is " << seqs[i];
    return ::testing::AssertionSuccess();
}

// The data requests the sensor received so far (not those that read its settings at a connection).
inline long DataRequests(const sim::SimSensor &sensor) {
    long count = 0;
    for (const sim::CaptureEntry &e : sensor.capture())
        count += e.direction == sim::Direction::ToSensor && e.bytes.size() == sim::kFrameBytes &&
                 (e.bytes[2] << 8 | e.bytes[3]) == sim::CmdReadData;
    return count;
}

// Whether live samples flow again once the broker is back: a sample taken after the
// return arrives, not marked historical.
inline bool LiveAgainAfterReturn(testbroker::Subscriber &viewer, long framesAtReturn) {
    return WaitFor(
        [&] {
            const std::vector<Arrived> arrived = DataOf(viewer);
            return !arrived.empty() && arrived.back().seq >= framesAtReturn && !arrived.back().historical;
        },
        30.0);
}

inline uint64_t JournalBytes(const QString &folder) {
    uint64_t bytes = 0;
    std::error_code failed;
    for (const auto &entry : std::filesystem::directory_iterator(folder.toStdString(), failed))
        if (entry.path().extension() == ".seg" && entry.is_regular_file(failed))
            bytes += entry.file_size(failed);
    return bytes;
}

// sensorctl gateway as a child process that a test may kill as a crash would.
class GatewayProcess {
  public:
    explicit GatewayProcess(const QString &config) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove("STATE_DIRECTORY");
        m_process.setProcessEnvironment(environment);
        m_process.start(SENSORCTL_PATH, {"gateway", "--config", config});
        EXPECT_TRUE(m_process.waitForStarted());
    }
    ~GatewayProcess() { Kill(); }
    void Kill() {
        m_process.kill();
        m_process.waitForFinished();
    }
    QString Log() {
        m_log += QString::fromUtf8(m_process.readAllStandardError());
        return m_log;
    }
    // The exit code once it ended by itself within seconds; -1 otherwise.
    int Ended(int ms = 10000) {
        if (!m_process.waitForFinished(ms)) return -1;
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    }
    int Stop() {
        ::kill(pid_t(m_process.processId()), SIGTERM);
        return Ended(5000);
    }
    void Reload() { ::kill(pid_t(m_process.processId()), SIGHUP); }

  private:
    QProcess m_process;
    QString m_log;
};

class SensorctlJournal : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ASSERT_FALSE(testbroker::Find("mosquitto").isEmpty()) << "the Debian package mosquitto is needed";
        ASSERT_TRUE(broker.Start());
        storage = dir.filePath("storage");
    }
    QString Config(const std::string &storageLines, int port, const QString &name = "gateway.toml",
                   const std::string &sensor = "a") {
        const std::string text = "[broker]\nurl = \"" + broker.Url().toStdString() +
                                 "\"\nclient_id = \"gw-journal\"\n\n[defaults]\ntopic_prefix = \"plant\"\n"
                                 "interval = " +
                                 std::to_string(kInterval) + "\n\n[storage]\n" + storageLines +
                                 "\n[[sensor]]\nname = \"" + sensor +
                                 "\"\ntarget = \"tcp://127.0.0.1:" + std::to_string(port) + "\"\n";
        WriteFileBytes(dir.filePath(name).toStdString(), text);
        return dir.filePath(name);
    }
    std::string PathLine() const { return "path = \"" + storage.toStdString() + "\"\n"; }
    // Waits until the journal holds count more samples than now.
    bool Grows(std::size_t count) {
        const uint64_t before = JournalBytes(storage);
        return WaitFor([&] { return JournalBytes(storage) >= before + count * 44; }, 20.0);
    }

    QTemporaryDir dir;
    // A host's session keeps the Sparkplug births (QoS 0) that came before it was back.
    Broker broker{dir.path(), "allow_anonymous true\nmax_queued_messages 100000\nqueue_qos0_messages true\n"};
    QString storage;
};

} // namespace testjournal
