// sensorctl gateway with a storage folder, against a real Mosquitto broker and
// simulated sensors: a broker away and back, a gateway killed in the outage and
// started again over garbage in its journal, a journal that fills up, a disk
// that fills up, and two gateways that want one folder.
#include "tests/sensorctl_journal_fixture.h"

#include <QDir>
#include <QRegularExpression>
#include <QTest>

#include <filesystem>
#include <fstream>

namespace testjournal {
namespace {

namespace fs = std::filesystem;

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
    const std::vector<int> all = SortedSeqs(DataOf(viewer));
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
    // What waited in memory and in the journal still goes once the journal writes again.
    auto everyOne = [&] {
        const std::vector<int> all = SortedSeqs(DataOf(viewer));
        return Counted(all, 0, all.back());
    };
    EXPECT_TRUE(WaitFor([&] { return bool(everyOne()); }, 30.0))
        << everyOne().message() << ": the memory held the rest of the outage";
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
    const std::vector<int> all = SortedSeqs(DataOf(viewer));
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

} // namespace
} // namespace testjournal
