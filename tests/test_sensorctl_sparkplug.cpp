// sensorctl gateway as a Sparkplug B 3.0 edge node, watched by a host application
// of the tests' own (tests/sparkplug_host.h) on real Mosquitto brokers, with
// simulated sensors. Each test walks one group of the standard's session rules on
// one running gateway; the assertion ids (tck-id-...) are named where checked.
#include "sim/simsensor.h"
#include "tests/mosquitto_viewer.h"
#include "tests/sensor_values.h"
#include "tests/sensorctl_run.h"
#include "tests/sparkplug_host.h"
#include "tests/test_support.h"

#include <QDateTime>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

namespace {

using testbroker::Broker;
using testsparkplug::Host;
using testsparkplug::Metric;
using testsparkplug::Received;
using testsparkplug::SeqChainUnbroken;

// A host with a session the broker keeps finds the births that came while it was
// away (a broker restart), QoS 0 ones included.
constexpr const char *kBrokerSettings = "allow_anonymous true\nqueue_qos0_messages true\n"
                                        "max_queued_messages 100000\n";

QString SubDir(const QTemporaryDir &dir, const QString &name) {
    QDir(dir.path()).mkpath(name);
    return dir.filePath(name);
}

struct SensorEntry {
    std::string name;
    int port;
};

class SensorctlSparkplug : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ASSERT_FALSE(testbroker::Find("mosquitto_pub").isEmpty())
            << "the Debian package mosquitto-clients is needed";
        ASSERT_TRUE(broker.Start());
    }
    // The gateway's file: urls in the order given, sensors with a tag, sparkplug lines added.
    QString WriteConfig(const std::vector<const Broker *> &brokers, const std::vector<SensorEntry> &sensors,
                        const std::string &sparkplug = "") {
        std::string urls;
        for (const Broker *b : brokers)
            urls += (urls.empty() ? "\"" : ", \"") + b->Url().toStdString() + "\"";
        std::string text = "[broker]\nurls = [" + urls +
                           "]\nclient_id = \"gw-sp\"\n\n[defaults]\ntopic_prefix = \"plant\"\n"
                           "tags = { line = \"7\" }\n\n[sparkplug]\ngroup_id = \"plant1\"\n" +
                           sparkplug + "\n[storage]\npath = \"" + state.toStdString() + "\"\n";
        for (const SensorEntry &s : sensors)
            text += "\n[[sensor]]\nname = \"" + s.name +
                    "\"\ntarget = \"tcp://127.0.0.1:" + std::to_string(s.port) + "\"\n";
        WriteFileBytes(dir.filePath("gateway.toml").toStdString(), text);
        return dir.filePath("gateway.toml");
    }

    QTemporaryDir dir;
    QString state = SubDir(dir, "state");
    Broker broker{SubDir(dir, "broker1"), kBrokerSettings};
};

// The JSON samples' times (milliseconds) and values, by sensor.
std::map<std::string, std::map<int64_t, std::vector<int>>> JsonSamples(testbroker::Subscriber &json) {
    std::map<std::string, std::map<int64_t, std::vector<int>>> out;
    for (const QString &line : json.Lines()) {
        const QJsonObject o = QJsonDocument::fromJson(line.section(' ', 1).toUtf8()).object();
        const int64_t ms =
            QDateTime::fromString(o.value("time").toString(), Qt::ISODateWithMs).toMSecsSinceEpoch();
        std::vector<int> values;
        for (const char *name : {"CH_L", "CH_C", "CH_R", "DENS", "SYM1", "SYM2", "VECTOR", "TEMP_raw"})
            values.push_back(o.value(name).toInt(-1));
        out[o.value("name").toString().toStdString()][ms] = values;
    }
    return out;
}

} // namespace

TEST_F(SensorctlSparkplug, SessionFromBirthsThroughDataDeathsAndRebirthToAPlannedStop) {
    sim::SimSensor a, b;
    a.setMeasurement(testsim::Values(1000));
    b.setMeasurement(testsim::Values(2000));
    Host host(broker, "host-1");
    testbroker::Subscriber json(broker, "plant/+/data");
    GatewayProcess gateway(WriteConfig({&broker}, {{"a", a.listenTcp()}, {"b", b.listenTcp()}}));
    ASSERT_TRUE(host.WaitFor("DBIRTH", 2)) << gateway.Log().toStdString();

    // NBIRTH first: QoS 0, not retained, seq 0, a timestamp, bdSeq 0 at the first connect
    // (tck-id-topics-nbirth-mqtt, tck-id-topics-nbirth-seq-num, tck-id-topics-nbirth-timestamp,
    // tck-id-payloads-nbirth-bdseq, tck-id-payloads-nbirth-rebirth-req).
    const Received nbirth = host.All().front();
    ASSERT_EQ(nbirth.topic, "spBv1.0/plant1/NBIRTH/gw-sp");
    ASSERT_TRUE(nbirth.decoded);
    EXPECT_EQ(nbirth.qos, 0);
    EXPECT_FALSE(nbirth.retained);
    EXPECT_EQ(nbirth.payload.seq(), 0u);
    EXPECT_TRUE(nbirth.payload.has_timestamp());
    ASSERT_NE(nbirth.Named("bdSeq"), nullptr);
    EXPECT_EQ(nbirth.Named("bdSeq")->datatype(), uint32_t(sparkplug_b::Int64));
    EXPECT_EQ(nbirth.BdSeq(), 0);
    const Metric *rebirth = nbirth.Named("Node Control/Rebirth");
    ASSERT_NE(rebirth, nullptr);
    EXPECT_EQ(rebirth->datatype(), uint32_t(sparkplug_b::Boolean));
    EXPECT_FALSE(rebirth->boolean_value());
    EXPECT_FALSE(rebirth->has_alias());
    ASSERT_NE(nbirth.Named("Gateway/Sensors"), nullptr);
    EXPECT_EQ(nbirth.Named("Gateway/Sensors")->int_value(), 2u);
    EXPECT_NE(nbirth.Named("Gateway/Version"), nullptr);
    for (const Metric &m : nbirth.payload.metrics())
        EXPECT_TRUE(m.has_name() && m.has_datatype() && m.has_timestamp()) << m.name();

    // A DBIRTH per sensor after it: name, alias (unique in the node), datatype and
    // timestamp for each metric; target and tags as properties (tck-id-payloads-dbirth-seq,
    // tck-id-payloads-alias-uniqueness, tck-id-payloads-dbirth-timestamp).
    std::map<std::string, std::map<uint64_t, std::string>> names; // device, alias -> name
    std::set<uint64_t> aliases;
    for (const Received &birth : host.Of("DBIRTH")) {
        ASSERT_TRUE(birth.decoded);
        EXPECT_EQ(birth.qos, 0);
        for (const Metric &m : birth.payload.metrics()) {
            EXPECT_TRUE(m.has_name() && m.has_alias() && m.has_datatype() && m.has_timestamp()) << m.name();
            EXPECT_TRUE(aliases.insert(m.alias()).second) << "alias " << m.alias() << " twice";
            names[birth.device][m.alias()] = m.name();
        }
        const Metric *state = birth.Named("state");
        ASSERT_NE(state, nullptr);
        EXPECT_EQ(state->string_value(), "online");
        std::map<std::string, std::string> properties;
        for (int k = 0; k < state->properties().keys_size(); ++k)
            properties[state->properties().keys(k)] = state->properties().values(k).string_value();
        EXPECT_EQ(properties["tag/line"], "7");
        EXPECT_EQ(properties["target"].rfind("tcp://127.0.0.1:", 0), 0u);
        ASSERT_NE(birth.Named("CH_L"), nullptr);
        EXPECT_EQ(birth.Named("CH_L")->datatype(), uint32_t(sparkplug_b::UInt16));
    }
    EXPECT_EQ(names["a"].size(), 9u);
    EXPECT_EQ(names["b"].size(), 9u);

    // Data by alias alone, the sample's time on each metric and the JSON sample's values
    // at that time (tck-id-payloads-alias-data-cmd-requests, tck-id-payloads-ddata-timestamp).
    ASSERT_TRUE(host.WaitFor("DDATA", 40, 0, "a"));
    for (const Received &data : host.Of("DDATA", "a")) {
        ASSERT_TRUE(data.decoded);
        ASSERT_EQ(data.payload.metrics_size(), 8);
        const int64_t time = static_cast<int64_t>(data.payload.metrics(0).timestamp());
        std::vector<int> values;
        for (const Metric &m : data.payload.metrics()) {
            EXPECT_FALSE(m.has_name());
            EXPECT_EQ(static_cast<int64_t>(m.timestamp()), time);
            EXPECT_TRUE(names["a"].count(m.alias())) << "alias " << m.alias() << " was not born";
            values.push_back(static_cast<int>(m.int_value()));
        }
        EXPECT_EQ(names["a"][data.payload.metrics(0).alias()], "CH_L");
        ASSERT_TRUE(WaitFor([&] { return JsonSamples(json)["a"].count(time) > 0; }))
            << "no JSON sample at " << time;
        EXPECT_EQ(values, JsonSamples(json)["a"][time]);
    }
    EXPECT_EQ(host.Of("DDATA", "a").back().payload.metrics(0).int_value(), 1000u);

    // A sensor that falls silent dies (DDEATH) and is born again when it answers.
    b.setFault({.kind = sim::FaultKind::NoAnswer, .persistent = true});
    ASSERT_TRUE(host.WaitFor("DDEATH", 1, 0, "b", 15.0)) << gateway.Log().toStdString();
    const std::size_t afterDeath = host.All().size();
    b.clearFaults();
    ASSERT_TRUE(host.WaitFor("DBIRTH", 1, afterDeath, "b", 15.0)) << gateway.Log().toStdString();

    // A payload that is not Sparkplug is ignored with a warning; a rebirth request gives
    // an NBIRTH (seq 0, the same bdSeq) and a DBIRTH per online sensor, then data goes on
    // (tck-id-operational-behavior-edge-node-rebirth-request, tck-id-topics-ncmd-rebirth).
    host.Publish("spBv1.0/plant1/NCMD/gw-sp", "\xff\xff not protobuf", false);
    ASSERT_TRUE(WaitFor([&] { return gateway.Log().contains("NCMD ignored"); }))
        << gateway.Log().toStdString();
    const std::size_t beforeRebirth = host.All().size();
    host.Publish("spBv1.0/plant1/NCMD/gw-sp", testsparkplug::RebirthRequest(), false);
    ASSERT_TRUE(host.WaitFor("NBIRTH", 1, beforeRebirth));
    ASSERT_TRUE(host.WaitFor("DBIRTH", 2, beforeRebirth));
    ASSERT_TRUE(host.WaitFor("DDATA", 5, beforeRebirth));
    EXPECT_EQ(host.Of("NBIRTH").back().BdSeq(), 0);

    // The seq chain holds over every message so far, across wraps.
    const auto wrapped = [&] {
        const std::vector<Received> &all = host.All();
        return std::any_of(all.begin() + std::ptrdiff_t(beforeRebirth), all.end(),
                           [](const Received &r) { return r.kind == "DDATA" && r.payload.seq() == 0; });
    };
    ASSERT_TRUE(WaitFor(wrapped, 40.0));
    int wraps = 0;
    EXPECT_TRUE(SeqChainUnbroken(host.All(), wraps));
    EXPECT_GE(wraps, 1);

    // SIGTERM: the NDEATH (QoS 1, the session's bdSeq) is the last word, and no will
    // follows it (tck-id-operational-behavior-edge-node-intentional-disconnect-ndeath).
    EXPECT_EQ(gateway.Stop(), 0);
    ASSERT_TRUE(host.Flush());
    const std::vector<Received> deaths = host.Of("NDEATH");
    ASSERT_EQ(deaths.size(), 1u);
    EXPECT_EQ(deaths[0].qos, 1);
    EXPECT_FALSE(deaths[0].retained);
    EXPECT_EQ(deaths[0].BdSeq(), 0);
    EXPECT_EQ(host.All().back().kind, "NDEATH");
}

TEST_F(SensorctlSparkplug, BdSeqCountsConnectionsAndOutlivesACrash) {
    sim::SimSensor a;
    a.setMeasurement(testsim::Values(3000));
    Host host(broker, "host-2");
    const QString config = WriteConfig({&broker}, {{"a", a.listenTcp()}});
    auto gateway = std::make_unique<GatewayProcess>(config);
    ASSERT_TRUE(host.WaitFor("DBIRTH")) << gateway->Log().toStdString();
    EXPECT_EQ(host.Of("NBIRTH").back().BdSeq(), 0);

    // A broker restart is a new CONNECT: bdSeq + 1, births again
    // (tck-id-payloads-nbirth-bdseq-increment).
    broker.Stop();
    ASSERT_TRUE(broker.Start());
    ASSERT_TRUE(host.WaitFor("NBIRTH", 2, 0, "", 15.0)) << gateway->Log().toStdString();
    EXPECT_EQ(host.Of("NBIRTH").back().BdSeq(), 1);
    std::size_t reborn = host.All().size();
    while (host.All()[--reborn].kind != "NBIRTH") {
    }
    ASSERT_TRUE(host.WaitFor("DBIRTH", 1, reborn));

    // SIGKILL: the broker sends the will, an NDEATH with that session's bdSeq, QoS 1,
    // not retained (tck-id-topics-ndeath-payload, tck-id-payloads-ndeath-will-message-qos,
    // tck-id-payloads-ndeath-will-message-retain, tck-id-payloads-ndeath-bdseq).
    const std::size_t beforeKill = host.All().size();
    gateway->Kill();
    ASSERT_TRUE(host.WaitFor("NDEATH", 1, beforeKill)) << "the will";
    const Received will = host.Of("NDEATH").back();
    EXPECT_EQ(will.topic, "spBv1.0/plant1/NDEATH/gw-sp");
    EXPECT_EQ(will.qos, 1);
    EXPECT_FALSE(will.retained);
    EXPECT_EQ(will.BdSeq(), 1);
    ASSERT_EQ(will.payload.metrics_size(), 1);
    EXPECT_EQ(will.payload.metrics(0).datatype(), uint32_t(sparkplug_b::Int64));

    // Restarted after the crash, it goes on from the storage folder's bdSeq.
    gateway = std::make_unique<GatewayProcess>(config);
    ASSERT_TRUE(host.WaitFor("NBIRTH", 3)) << gateway->Log().toStdString();
    EXPECT_EQ(host.Of("NBIRTH").back().BdSeq(), 2);
}

TEST_F(SensorctlSparkplug, FailsOverToTheNextBrokerAndBackWithBirthsOnEach) {
    Broker second{SubDir(dir, "broker2"), kBrokerSettings};
    ASSERT_TRUE(second.Start());
    sim::SimSensor a;
    a.setMeasurement(testsim::Values(4000));
    Host first(broker, "host-3"), other(second, "host-4");
    GatewayProcess gateway(WriteConfig({&broker, &second}, {{"a", a.listenTcp()}}));
    ASSERT_TRUE(first.WaitFor("DBIRTH")) << gateway.Log().toStdString();
    EXPECT_EQ(first.Of("NBIRTH").back().BdSeq(), 0);

    // The first broker stops: the second gets the births of a new session, and the
    // retained JSON status; the log says which broker is connected.
    broker.Stop();
    ASSERT_TRUE(other.WaitFor("DBIRTH", 1, 0, "", 15.0)) << gateway.Log().toStdString();
    EXPECT_EQ(other.Of("NBIRTH").back().BdSeq(), 1);
    EXPECT_EQ(testbroker::Retained(second, "sensor-gateway/gw-sp/status"), "online");
    EXPECT_TRUE(
        gateway.Log().contains("broker " + QString("127.0.0.1:%1").arg(second.Port()) + " connected"));

    // And back when the second one goes.
    ASSERT_TRUE(broker.Start());
    second.Stop();
    ASSERT_TRUE(first.WaitFor("NBIRTH", 2, 0, "", 15.0)) << gateway.Log().toStdString();
    EXPECT_GE(first.Of("NBIRTH").back().BdSeq(), 2);
    ASSERT_TRUE(first.WaitFor("DDATA", 3, first.All().size()));
}

TEST_F(SensorctlSparkplug, WaitsForThePrimaryHostAndLeavesWhenItGoesOffline) {
    sim::SimSensor a;
    a.setMeasurement(testsim::Values(5000));
    Host host(broker, "host-5");
    GatewayProcess gateway(WriteConfig({&broker}, {{"a", a.listenTcp()}}, "primary_host = \"scada\"\n"));
    const std::string state = "spBv1.0/STATE/scada";
    ASSERT_TRUE(WaitFor([&] { return gateway.Log().contains("connected"); })) << gateway.Log().toStdString();

    // No births before the host says it is online; a STATE that is not JSON is ignored
    // (tck-id-operational-behavior-edge-node-birth-sequence-wait).
    host.Publish(state, "online!", true);
    ASSERT_TRUE(WaitFor([&] { return gateway.Log().contains("STATE of scada ignored"); }))
        << gateway.Log().toStdString();
    host.Publish(state, R"({"online": true})", true);
    ASSERT_TRUE(host.Flush());
    EXPECT_TRUE(host.Of("NBIRTH").empty());
    host.Publish(state, R"({"online": true, "timestamp": 1000})", true);
    ASSERT_TRUE(host.WaitFor("DBIRTH")) << gateway.Log().toStdString();
    EXPECT_EQ(host.Of("NBIRTH").size(), 1u);

    // An offline STATE older than the last one seen changes nothing; a newer one makes
    // the node say NDEATH and leave; it stays unborn while the host is offline
    // (tck-id-operational-behavior-edge-node-primary-host-offline).
    host.Publish(state, R"({"online": false, "timestamp": 500})", true);
    ASSERT_TRUE(host.Flush());
    EXPECT_TRUE(host.Of("NDEATH").empty());
    host.Publish(state, R"({"online": false, "timestamp": 2000})", true);
    ASSERT_TRUE(host.WaitFor("NDEATH")) << gateway.Log().toStdString();
    EXPECT_EQ(host.Of("NDEATH").back().BdSeq(), 0);
    EXPECT_EQ(host.Of("NDEATH").back().qos, 1);
    ASSERT_TRUE(WaitFor([&] { return gateway.Log().count("connected") >= 2; }, 10.0))
        << gateway.Log().toStdString();
    ASSERT_TRUE(host.Flush());
    EXPECT_EQ(host.Of("NBIRTH").size(), 1u);

    // Online again: births of the new session.
    host.Publish(state, R"({"online": true, "timestamp": 3000})", true);
    ASSERT_TRUE(host.WaitFor("NBIRTH", 2)) << gateway.Log().toStdString();
    EXPECT_EQ(host.Of("NBIRTH").back().BdSeq(), 1);
    EXPECT_EQ(host.Of("NDEATH").size(), 1u) << "a planned leave sends no will";
}
