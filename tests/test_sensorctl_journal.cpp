// sensorctl gateway with a storage folder, against a real Mosquitto broker and
// simulated sensors: a broker away and back, a gateway killed in the outage and
// started again over garbage in its journal, a journal that fills up, a disk
// that fills up, two gateways that want one folder, and an outage replayed as
// Sparkplug data.
#include "sim/simsensor.h"
#include "tests/mosquitto_viewer.h"
#include "tests/sensorctl_run.h"
#include "tests/sparkplug_host.h"
#include "tests/test_support.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <set>

namespace {

using testbroker::Broker;
namespace fs = std::filesystem;

constexpr double kInterval = 0.02; // 50 samples a second: an outage fills the journal quickly

struct Arrived {
    int seq;
    bool historical;
};

// The data messages a viewer received, in the order they came, without a message
// that came again right after itself (the broker's redelivery to the viewer).
std::vector<Arrived> DataOf(testbroker::Subscriber &viewer, const QString &sensor = "a") {
    std::vector<Arrived> arrived;
    QString previous;
    for (const QString &line : viewer.Lines()) {
        if (!line.startsWith("plant/" + sensor + "/data ") || line == previous) continue;
        previous = line;
        const QJsonObject o = QJsonDocument::fromJson(line.section(' ', 1).toUtf8()).object();
        arrived.push_back({o.value("seq").toInt(-1), o.value("historical").toBool()});
    }
    return arrived;
}

std::vector<int> Seqs(const std::vector<Arrived> &arrived, bool historical) {
    std::vector<int> seqs;
    for (const Arrived &a : arrived)
        if (a.historical == historical) seqs.push_back(a.seq);
    return seqs;
}

// first, first + 1, ... to last, each once.
::testing::AssertionResult Counted(const std::vector<int> &seqs, int first, int last) {
    if (seqs.size() != std::size_t(last - first + 1))
        return ::testing::AssertionFailure() << seqs.size() << " samples for " << first << ".." << last;
    for (std::size_t i = 0; i < seqs.size(); ++i)
        if (seqs[i] != first + int(i))
            return ::testing::AssertionFailure() << "sample " << i << " is " << seqs[i];
    return ::testing::AssertionSuccess();
}

// The data requests the sensor received so far (not those that read its settings at a connection).
long DataRequests(const sim::SimSensor &sensor) {
    long count = 0;
    for (const sim::CaptureEntry &e : sensor.capture())
        count += e.direction == sim::Direction::ToSensor && e.bytes.size() == sim::kFrameBytes &&
                 (e.bytes[2] << 8 | e.bytes[3]) == sim::CmdReadData;
    return count;
}

// Whether live samples flow again once the broker is back: a sample taken after the
// return arrives, not marked historical.
bool LiveAgainAfterReturn(testbroker::Subscriber &viewer, long framesAtReturn) {
    return WaitFor(
        [&] {
            const std::vector<Arrived> arrived = DataOf(viewer);
            return !arrived.empty() && arrived.back().seq >= framesAtReturn && !arrived.back().historical;
        },
        30.0);
}

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// A DDATA's time (its metrics carry one), and whether every metric is marked historical.
struct DataOfDevice {
    int64_t ms = -1;
    bool historical = false;
    bool mixed = false; // some metrics historical, some not
};

DataOfDevice Read(const testsparkplug::Received &r) {
    DataOfDevice d;
    int marked = 0;
    for (const testsparkplug::Metric &m : r.payload.metrics()) {
        if (d.ms < 0) d.ms = int64_t(m.timestamp());
        d.mixed = d.mixed || int64_t(m.timestamp()) != d.ms;
        marked += m.has_is_historical() && m.is_historical();
    }
    d.historical = marked > 0;
    d.mixed = d.mixed || (marked > 0 && marked != r.payload.metrics_size());
    return d;
}

uint64_t JournalBytes(const QString &folder) {
    uint64_t bytes = 0;
    std::error_code failed;
    for (const auto &entry : fs::directory_iterator(folder.toStdString(), failed))
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

TEST_F(SensorctlJournal, ABrokerAwayAndBackGetsEverySampleOnceInOrderTheWaitingOnesHistorical) {
    sim::SimSensor a;
    const int port = a.listenTcp();
    testbroker::Subscriber viewer(broker, "plant/+/data");
    GatewayProcess gateway(Config(PathLine(), port));
    ASSERT_TRUE(WaitFor([&] { return DataOf(viewer).size() >= 5; })) << gateway.Log().toStdString();

    broker.Stop();
    ASSERT_TRUE(WaitFor([&] { return gateway.Log().contains("samples wait"); }));
    ASSERT_TRUE(Grows(150)) << gateway.Log().toStdString();
    ASSERT_TRUE(broker.Start());
    const long framesAtReturn = DataRequests(a);

    // Once a live sample taken after the return has come, the replay has too.
    ASSERT_TRUE(WaitFor(
        [&] {
            const std::vector<Arrived> arrived = DataOf(viewer);
            const std::vector<int> history = Seqs(arrived, true);
            return history.size() >= 150 && !arrived.empty() && arrived.back().seq >= framesAtReturn &&
                   Seqs(arrived, false).back() >= history.back();
        },
        30.0))
        << gateway.Log().toStdString();
    const std::vector<Arrived> arrived = DataOf(viewer);
    const std::vector<int> live = Seqs(arrived, false), history = Seqs(arrived, true);
    std::vector<int> all = live;
    all.insert(all.end(), history.begin(), history.end());
    std::sort(all.begin(), all.end());
    EXPECT_TRUE(Counted(all, 0, all.back())) << "every sample once";
    EXPECT_TRUE(Counted(history, history.front(), history.back())) << "the waiting ones oldest first";
    EXPECT_TRUE(std::is_sorted(live.begin(), live.end()));
    // The gateway's health tells what the journal did, once it looked again.
    EXPECT_TRUE(WaitFor(
        [&] {
            const QJsonObject health =
                QJsonDocument::fromJson(
                    testbroker::Retained(broker, "sensor-gateway/gw-journal/health").toUtf8())
                    .object();
            return health.value("replayed").toInt() >= int(history.size()) &&
                   health.value("dropped").toInt(-1) == 0;
        },
        15.0));
    EXPECT_EQ(gateway.Stop(), 0);
    EXPECT_EQ(JournalBytes(storage), 0u) << "every segment went once the broker had its samples";
}

TEST_F(SensorctlJournal, AGatewayKilledInTheOutageDeliversItAfterItsRestartWhateverGarbageFollows) {
    sim::SimSensor a;
    const int port = a.listenTcp();
    const QString config = Config(PathLine() + "sync_seconds = 0.2\n", port);
    testbroker::Subscriber viewer(broker, "plant/+/data"); // its session waits in the broker
    broker.Stop();
    long framesAtKill = 0;
    {
        GatewayProcess first(config);
        ASSERT_TRUE(Grows(100)) << first.Log().toStdString();
        framesAtKill = DataRequests(a);
        first.Kill(); // SIGKILL, as a crash
    }
    for (const auto &entry : fs::directory_iterator(storage.toStdString()))
        if (entry.path().extension() == ".seg")
            std::ofstream(entry.path(), std::ios::app | std::ios::binary)
                << "\xd7\x02\x24\x00 torn \x01\x02 noise";

    GatewayProcess second(config);
    ASSERT_TRUE(WaitFor([&] { return second.Log().contains("wait to be sent"); }))
        << second.Log().toStdString();
    ASSERT_TRUE(Grows(20)) << second.Log().toStdString();
    ASSERT_TRUE(broker.Start());
    ASSERT_TRUE(WaitFor([&] { return Seqs(DataOf(viewer), false).size() >= 5; }, 30.0))
        << second.Log().toStdString();

    // Oldest first: the first run's samples (numbered from 0), then the second run's (from 0 again).
    std::vector<int> history;
    ASSERT_TRUE(WaitFor(
        [&] {
            history = Seqs(DataOf(viewer), true);
            const auto restart =
                std::adjacent_find(history.begin(), history.end(), std::greater_equal<int>());
            return restart != history.end() && history.back() + 1 >= Seqs(DataOf(viewer), false).front();
        },
        30.0))
        << second.Log().toStdString();
    const auto restart = std::adjacent_find(history.begin(), history.end(), std::greater_equal<int>()) + 1;
    const std::vector<int> firstRun(history.begin(), restart);
    EXPECT_TRUE(Counted(firstRun, 0, firstRun.back()));
    // A sample comes every 20 ms: all but those of the last 100 ms (and the one asked for) are there.
    EXPECT_GE(long(firstRun.size()), framesAtKill - 1 - 5)
        << framesAtKill << " data requests before the kill";
    EXPECT_TRUE(Counted({restart, history.end()}, 0, history.back()));
    EXPECT_TRUE(second.Log().contains("damaged stretches skipped")) << second.Log().toStdString();
    EXPECT_EQ(second.Stop(), 0);
}

TEST_F(SensorctlJournal, AFullJournalDropsItsOldestSamplesAndCountsThemExactly) {
    sim::SimSensor a;
    const int port = a.listenTcp();
    testbroker::Subscriber viewer(broker, "plant/+/data");
    GatewayProcess gateway(Config(PathLine() + "max_mb = 0.004\n", port)); // segments of 1 kB
    ASSERT_TRUE(WaitFor([&] { return DataOf(viewer).size() >= 5; })) << gateway.Log().toStdString();
    broker.Stop();
    ASSERT_TRUE(WaitFor([&] { return gateway.Log().count("journal: full") >= 3; }, 30.0))
        << gateway.Log().toStdString();
    ASSERT_TRUE(broker.Start());
    ASSERT_TRUE(LiveAgainAfterReturn(viewer, DataRequests(a))) << gateway.Log().toStdString();
    ASSERT_TRUE(WaitFor([&] { return JournalBytes(storage) < 1024; })) << "the replay ended";

    int dropped = 0;
    const QRegularExpression told("full \\(max_mb\\): its oldest segment goes, (\\d+) samples dropped");
    for (auto it = told.globalMatch(gateway.Log()); it.hasNext();)
        dropped += it.next().captured(1).toInt();
    std::vector<Arrived> arrived = DataOf(viewer);
    std::vector<int> all;
    for (const Arrived &x : arrived)
        all.push_back(x.seq);
    std::sort(all.begin(), all.end());
    EXPECT_TRUE(std::adjacent_find(all.begin(), all.end()) == all.end()) << "none twice";
    EXPECT_EQ(all.back() + 1 - int(all.size()), dropped) << "what did not come is what was counted";
    EXPECT_GT(dropped, 0);
    EXPECT_EQ(gateway.Stop(), 0);
}

TEST_F(SensorctlJournal, AFullDiskFallsBackToMemoryAndTheJournalResumes) {
    QDir().mkpath(storage);
    QProcess mount;
    mount.start("mount", {"-t", "tmpfs", "-o", "size=12k", "tmpfs", storage});
    if (!mount.waitForFinished() || mount.exitCode() != 0) GTEST_SKIP() << "cannot mount a small tmpfs here";
    struct Unmount {
        QString path;
        ~Unmount() { QProcess::execute("umount", {"-l", path}); }
    } unmount{storage};

    sim::SimSensor a;
    const int port = a.listenTcp();
    testbroker::Subscriber viewer(broker, "plant/+/data");
    GatewayProcess gateway(Config(PathLine(), port));
    ASSERT_TRUE(WaitFor([&] { return DataOf(viewer).size() >= 5; })) << gateway.Log().toStdString();
    EXPECT_TRUE(gateway.Log().contains("free")) << "max_mb beyond the free space is warned of";
    broker.Stop();
    ASSERT_TRUE(WaitFor([&] { return gateway.Log().contains("samples wait in memory"); }, 60.0))
        << gateway.Log().toStdString();
    ASSERT_TRUE(broker.Start());
    ASSERT_TRUE(LiveAgainAfterReturn(viewer, DataRequests(a))) << gateway.Log().toStdString();
    EXPECT_TRUE(WaitFor([&] { return gateway.Log().contains("again"); }, 10.0))
        << gateway.Log().toStdString();
    std::vector<int> all;
    for (const Arrived &x : DataOf(viewer))
        all.push_back(x.seq);
    std::sort(all.begin(), all.end());
    EXPECT_TRUE(Counted(all, 0, all.back())) << "the memory held the rest of the outage";
    EXPECT_EQ(gateway.Stop(), 0);
}

TEST_F(SensorctlJournal, WithoutAFolderTheMemoryBufferIsBoundedInBytesAndCountsWhatItDrops) {
    sim::SimSensor a;
    const int port = a.listenTcp();
    testbroker::Subscriber viewer(broker, "plant/+/data");
    // 2 kB hold a handful of samples (each costs its payload and its bookkeeping);
    // the default minute of buffer_seconds would hold the whole outage.
    GatewayProcess gateway(Config("path = \"\"\nmemory_mb = 0.002\n", port));
    ASSERT_TRUE(WaitFor([&] { return DataOf(viewer).size() >= 5; })) << gateway.Log().toStdString();

    broker.Stop();
    const int lastBefore = DataOf(viewer).back().seq;
    const long framesAtStop = DataRequests(a);
    ASSERT_TRUE(WaitFor([&] { return DataRequests(a) >= framesAtStop + 100; }, 20.0));
    ASSERT_TRUE(broker.Start());
    const long framesAtReturn = DataRequests(a);
    ASSERT_TRUE(WaitFor(
        [&] {
            const std::vector<Arrived> arrived = DataOf(viewer);
            return !arrived.empty() && arrived.back().seq >= framesAtReturn;
        },
        30.0))
        << gateway.Log().toStdString();

    std::vector<int> all = Seqs(DataOf(viewer), false);
    ASSERT_TRUE(Seqs(DataOf(viewer), true).empty()) << "without a journal nothing is replayed";
    EXPECT_TRUE(std::is_sorted(all.begin(), all.end()));
    all.erase(std::unique(all.begin(), all.end()), all.end()); // the broker's redelivery to the viewer
    const auto held = std::count_if(all.begin(), all.end(),
                                    [&](int seq) { return seq > lastBefore && seq < framesAtReturn - 1; });
    EXPECT_LE(held, 20) << "of " << framesAtReturn - lastBefore << " samples of the outage";
    const int missing = all.back() + 1 - int(all.size());
    EXPECT_GE(missing, 80);
    EXPECT_TRUE(WaitFor(
        [&] {
            return QJsonDocument::fromJson(testbroker::Retained(broker, "plant/a/health").toUtf8())
                       .object()
                       .value("dropped")
                       .toInt(-1) == missing;
        },
        15.0))
        << missing
        << " did not arrive; health: " << testbroker::Retained(broker, "plant/a/health").toStdString();
    EXPECT_EQ(gateway.Stop(), 0);
}

TEST_F(SensorctlJournal, AReloadKeepsTheJournalAndARemovedSensorsSamplesStillGo) {
    sim::SimSensor a, b;
    const int portA = a.listenTcp(), portB = b.listenTcp();
    testbroker::Subscriber viewer(broker, "plant/+/data");
    GatewayProcess gateway(Config(PathLine(), portA));
    ASSERT_TRUE(WaitFor([&] { return DataOf(viewer).size() >= 5; })) << gateway.Log().toStdString();
    broker.Stop();
    ASSERT_TRUE(Grows(50)) << gateway.Log().toStdString();
    Config(PathLine() + "max_mb = 10\n", portB, "gateway.toml", "b"); // a goes, b comes
    gateway.Reload();
    ASSERT_TRUE(WaitFor([&] { return gateway.Log().contains("1 added, 1 removed"); }))
        << gateway.Log().toStdString();
    const long lastOfA = DataRequests(a);
    ASSERT_TRUE(broker.Start());
    ASSERT_TRUE(WaitFor(
        [&] {
            const std::vector<Arrived> arrived = DataOf(viewer);
            return !arrived.empty() && arrived.back().seq + 2 >= lastOfA && !DataOf(viewer, "b").empty();
        },
        30.0))
        << gateway.Log().toStdString();
    std::vector<int> all;
    for (const Arrived &x : DataOf(viewer))
        all.push_back(x.seq);
    std::sort(all.begin(), all.end());
    // Every sample of the removed sensor (its last request may have gone unanswered at its end).
    EXPECT_TRUE(Counted(all, 0, all.back()));
    EXPECT_GE(all.back() + 2, lastOfA);
    EXPECT_GE(Seqs(DataOf(viewer), true).size(), 50u);
    EXPECT_EQ(gateway.Stop(), 0);
}

TEST_F(SensorctlJournal, AFolderInUseOrNotWritableIsRefusedAtStart) {
    sim::SimSensor a;
    const int port = a.listenTcp();
    GatewayProcess first(Config(PathLine(), port));
    ASSERT_TRUE(WaitFor([&] { return first.Log().contains(QRegularExpression("broker \\S+ connected")); }))
        << first.Log().toStdString();
    GatewayProcess second(Config(PathLine(), port, "second.toml"));
    EXPECT_EQ(second.Ended(), 3);
    EXPECT_TRUE(second.Log().contains("in use by another gateway")) << second.Log().toStdString();

    WriteFileBytes(dir.filePath("a-file").toStdString(), "not a folder");
    GatewayProcess third(
        Config("path = \"" + dir.filePath("a-file/storage").toStdString() + "\"\n", port, "third.toml"));
    EXPECT_EQ(third.Ended(), 3);
    EXPECT_TRUE(third.Log().contains("storage folder")) << third.Log().toStdString();
    EXPECT_EQ(first.Stop(), 0);
}

// With Sparkplug alone (json_topics = false) the journal holds an outage across a
// crash; after the return each waiting sample comes as a DDATA of its device, after
// the device's DBIRTH, every metric marked is_historical with the sample's own time,
// oldest first, in the session's seq chain, while live DDATA go on
// (tck-id-topics-ddata-mqtt, tck-id-payloads-sequence-num-incrementing).
TEST_F(SensorctlJournal, WithSparkplugAloneAnOutageAcrossACrashComesAsHistoricalDataInOrder) {
    sim::SimSensor a;
    const int port = a.listenTcp();
    const QString config = Config(
        PathLine() + "sync_seconds = 0.2\n\n[sparkplug]\ngroup_id = \"plant1\"\njson_topics = false\n", port);
    testsparkplug::Host host(broker, "host-journal");
    long framesAtKill = 0;
    int64_t killedAt = 0;
    {
        GatewayProcess first(config);
        ASSERT_TRUE(host.WaitFor("DDATA", 5, 0, "a")) << first.Log().toStdString();
        broker.Stop();
        ASSERT_TRUE(Grows(100)) << first.Log().toStdString();
        framesAtKill = DataRequests(a);
        killedAt = NowMs();
        first.Kill();
    }
    GatewayProcess second(config);
    ASSERT_TRUE(WaitFor([&] { return second.Log().contains("wait to be sent"); }))
        << second.Log().toStdString();
    ASSERT_TRUE(Grows(20)) << second.Log().toStdString();
    const int64_t returnedAt = NowMs();
    ASSERT_TRUE(broker.Start());

    // The replay is through once samples taken just before the return have come, and a
    // live one after them.
    const auto replayed = [&] {
        int64_t newestHistorical = -1;
        for (const testsparkplug::Received &r : host.Of("DDATA", "a")) {
            const DataOfDevice d = Read(r);
            if (d.historical) newestHistorical = std::max(newestHistorical, d.ms);
            if (!d.historical && newestHistorical >= returnedAt - 500 && d.ms > returnedAt) return true;
        }
        return false;
    };
    ASSERT_TRUE(WaitFor(replayed, 30.0)) << second.Log().toStdString() << [&] {
        std::string seen;
        for (const testsparkplug::Received &r : host.All())
            seen +=
                r.kind + (Read(r).historical ? "h " : " ") + std::to_string(Read(r).ms - returnedAt) + "\n";
        return seen;
    }();

    const std::vector<testsparkplug::Received> &all = host.All();
    const auto lastBirth = std::find_if(all.rbegin(), all.rend(),
                                        [](const testsparkplug::Received &r) { return r.kind == "NBIRTH"; });
    ASSERT_NE(lastBirth, all.rend());
    const std::size_t session = std::size_t(all.rend() - lastBirth) - 1;
    std::set<int64_t> firstRun; // the first run's samples, by their time, wherever they came
    std::vector<int64_t> history;
    bool deviceBorn = false;
    for (std::size_t i = 0; i < all.size(); ++i) {
        const testsparkplug::Received &r = all[i];
        if (r.device != "a" || (r.kind != "DDATA" && r.kind != "DBIRTH")) continue;
        const DataOfDevice d = Read(r);
        if (d.ms <= killedAt) firstRun.insert(d.ms);
        if (i < session) continue;
        deviceBorn = deviceBorn || r.kind == "DBIRTH";
        if (r.kind != "DDATA") continue;
        EXPECT_FALSE(d.mixed) << "DDATA " << i << ": one time, historical on every metric or none";
        EXPECT_EQ(r.qos, 0);
        EXPECT_FALSE(r.retained);
        if (!d.historical) continue;
        EXPECT_TRUE(deviceBorn) << "historical DDATA " << i << " before the device's DBIRTH";
        EXPECT_LT(d.ms, int64_t(r.payload.timestamp())) << "its own time, older than the message";
        history.push_back(d.ms);
    }
    ASSERT_FALSE(history.empty());
    EXPECT_TRUE(std::is_sorted(history.begin(), history.end())) << "oldest first";
    EXPECT_TRUE(std::adjacent_find(history.begin(), history.end()) == history.end()) << "each once";
    EXPECT_LT(history.front(), killedAt) << "the first run's outage";
    // A sample every 20 ms: all but those of the last 100 ms before the kill came.
    EXPECT_GE(long(firstRun.size()), framesAtKill - 1 - 5)
        << framesAtKill << " data requests before the kill";
    int wraps = 0;
    EXPECT_TRUE(testsparkplug::SeqChainUnbroken(all, wraps));
    EXPECT_EQ(second.Stop(), 0);
}

} // namespace
