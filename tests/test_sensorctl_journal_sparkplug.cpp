// sensorctl gateway with a storage folder and Sparkplug, against a real Mosquitto
// broker, a Sparkplug host of the tests' own and a simulated sensor: an outage
// replayed as historical DDATA, beside the JSON replay or alone across a crash.
#include "tests/sensorctl_journal_fixture.h"
#include "tests/sparkplug_host.h"

#include <chrono>
#include <set>

namespace testjournal {
namespace {

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

// Whether the replay is through: samples taken just before the broker's return came
// as historical DDATA of device a, and a live one taken after it.
bool ReplayedThrough(testsparkplug::Host &host, int64_t returnedAt) {
    int64_t newestHistorical = -1;
    for (const testsparkplug::Received &r : host.Of("DDATA", "a")) {
        const DataOfDevice d = Read(r);
        if (d.historical) newestHistorical = std::max(newestHistorical, d.ms);
        if (!d.historical && newestHistorical >= returnedAt - 500 && d.ms > returnedAt) return true;
    }
    return false;
}

// The times of device a's historical DDATA in the last session (since the last NBIRTH),
// in the order they came; checks each DDATA of it on the way: QoS 0, not retained, one
// time on every metric, is_historical on all or none, none historical before the DBIRTH.
std::vector<int64_t> HistoryOfLastSession(const std::vector<testsparkplug::Received> &all) {
    std::vector<int64_t> history;
    const auto birth = std::find_if(all.rbegin(), all.rend(),
                                    [](const testsparkplug::Received &r) { return r.kind == "NBIRTH"; });
    bool deviceBorn = false;
    for (std::size_t i = std::size_t(all.rend() - birth); i < all.size(); ++i) {
        const testsparkplug::Received &r = all[i];
        if (r.device != "a") continue;
        deviceBorn = deviceBorn || r.kind == "DBIRTH";
        if (r.kind != "DDATA") continue;
        const DataOfDevice d = Read(r);
        EXPECT_FALSE(d.mixed) << "DDATA " << i << ": one time, historical on every metric or none";
        EXPECT_EQ(r.qos, 0);
        EXPECT_FALSE(r.retained);
        if (!d.historical) continue;
        EXPECT_TRUE(deviceBorn) << "historical DDATA " << i << " before the device's DBIRTH";
        EXPECT_LT(d.ms, int64_t(r.payload.timestamp())) << "its own time, older than the message";
        history.push_back(d.ms);
    }
    return history;
}

// With Sparkplug and the JSON topics, the replay sends each waiting sample as a
// historical DDATA of its born device beside its JSON message, with the same time,
// oldest first, in the seq chain, while live DDATA go on
// (tck-id-topics-ddata-mqtt, tck-id-payloads-sequence-num-incrementing).
TEST_F(SensorctlJournal, WithSparkplugAndJsonAnOutageComesAsHistoricalDataBesideTheJsonReplay) {
    sim::SimSensor a;
    const int port = a.listenTcp();
    testsparkplug::Host host(broker, "host-journal");
    testbroker::Subscriber viewer(broker, "plant/+/data");
    GatewayProcess gateway(Config(PathLine() + "\n[sparkplug]\ngroup_id = \"plant1\"\n", port));
    ASSERT_TRUE(host.WaitFor("DDATA", 5, 0, "a")) << gateway.Log().toStdString();
    broker.Stop();
    ASSERT_TRUE(Grows(100)) << gateway.Log().toStdString();
    const int64_t returnedAt = NowMs();
    ASSERT_TRUE(broker.Start());
    ASSERT_TRUE(WaitFor([&] { return ReplayedThrough(host, returnedAt); }, 30.0))
        << gateway.Log().toStdString();

    const std::vector<int64_t> history = HistoryOfLastSession(host.All());
    ASSERT_GE(history.size(), 100u);
    EXPECT_TRUE(std::is_sorted(history.begin(), history.end())) << "oldest first";
    // The JSON viewer is another connection: its copies may still be on their way.
    std::vector<int64_t> json;
    WaitFor(
        [&] {
            json.clear();
            for (const Arrived &x : DataOf(viewer))
                if (x.historical) json.push_back(x.ms);
            return json.size() >= history.size();
        },
        10.0);
    EXPECT_EQ(history, json) << "the JSON replay's samples, at their times";
    int wraps = 0;
    EXPECT_TRUE(testsparkplug::SeqChainUnbroken(host.All(), wraps));
    EXPECT_EQ(gateway.Stop(), 0);
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

    ASSERT_TRUE(WaitFor([&] { return ReplayedThrough(host, returnedAt); }, 30.0))
        << second.Log().toStdString() << [&] {
               std::string seen;
               for (const testsparkplug::Received &r : host.All())
                   seen += r.kind + (Read(r).historical ? "h " : " ") +
                           std::to_string(Read(r).ms - returnedAt) + "\n";
               return seen;
           }();

    const std::vector<testsparkplug::Received> &all = host.All();
    std::set<int64_t> firstRun; // the first run's samples, by their time, wherever they came
    for (const testsparkplug::Received &r : all)
        if (r.device == "a" && (r.kind == "DDATA" || r.kind == "DBIRTH") && Read(r).ms <= killedAt)
            firstRun.insert(Read(r).ms);
    const std::vector<int64_t> history = HistoryOfLastSession(all);
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
} // namespace testjournal
