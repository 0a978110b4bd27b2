// The gateway's Sparkplug B payloads read back with Google's C++ protobuf (not the
// gateway's protobuf-c), the readers of NCMD and STATE with what a host sends and
// with garbage, the edge node's session rules without a broker, and the bdSeq kept
// in the storage folder.
#include "gateway/bdseq.h"
#include "gateway/sparkplugnode.h"
#include "gateway/sparkplugpayload.h"
#include "test_support.h"

#include "sparkplug_b.pb.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace gateway;
using namespace gateway::sparkplug;

namespace {

sparkplug_b::Payload Decoded(const std::string &bytes) {
    sparkplug_b::Payload p;
    EXPECT_TRUE(p.ParseFromString(bytes));
    return p;
}

struct Sent {
    std::string topic;
    sparkplug_b::Payload payload;
    int qos;
};

// An edge node whose messages are decoded as a host would, with its storage in a folder of its own.
struct NodeUnderTest {
    QTemporaryDir storage;
    std::vector<Sent> sent;
    bool accept = true;
    EdgeNode node;

    explicit NodeUnderTest(const std::string &primaryHost = "")
        : node({true, "G", "E", primaryHost, true}, "1.0", storage.path().toStdString(),
               [this](const std::string &topic, const std::string &payload, int qos) {
                   if (accept) sent.push_back({topic, Decoded(payload), qos});
                   return accept;
               }) {}

    std::vector<int> Seqs() const {
        std::vector<int> seqs;
        for (const Sent &s : sent)
            seqs.push_back(static_cast<int>(s.payload.seq()));
        return seqs;
    }
};

DeviceSample SampleAt(int64_t ms, uint16_t base) {
    DeviceSample s{ms, {}};
    for (int k = 0; k < 8; ++k)
        s.values[k] = uint16_t(base + k);
    return s;
}

} // namespace

TEST(GatewaySparkplug, PayloadsDecodeWithAnIndependentLibrary) {
    Payload p;
    p.timestamp = 1700000000123;
    p.seq = 255;
    Metric bd;
    bd.name = "bdSeq";
    bd.datatype = DataType::Int64;
    bd.value = uint64_t(7);
    bd.timestamp = 5;
    Metric value;
    value.alias = 42;
    value.value = uint32_t(65535);
    value.timestamp = 6;
    Metric state;
    state.name = "state";
    state.datatype = DataType::String;
    state.value = std::string("online");
    state.properties = {{"target", "tcp://h:1"}, {"tag/line", "7"}};
    Metric flag;
    flag.name = "Node Control/Rebirth";
    flag.datatype = DataType::Boolean;
    flag.value = false;
    p.metrics = {bd, value, state, flag};

    const sparkplug_b::Payload d = Decoded(Encode(p));
    EXPECT_EQ(d.timestamp(), 1700000000123u);
    EXPECT_EQ(d.seq(), 255u);
    ASSERT_EQ(d.metrics_size(), 4);
    EXPECT_EQ(d.metrics(0).name(), "bdSeq");
    EXPECT_EQ(d.metrics(0).datatype(), uint32_t(sparkplug_b::Int64));
    EXPECT_EQ(d.metrics(0).long_value(), 7u);
    EXPECT_FALSE(d.metrics(0).has_alias());
    EXPECT_FALSE(d.metrics(1).has_name());
    EXPECT_FALSE(d.metrics(1).has_datatype());
    EXPECT_EQ(d.metrics(1).alias(), 42u);
    EXPECT_EQ(d.metrics(1).int_value(), 65535u);
    EXPECT_EQ(d.metrics(1).timestamp(), 6u);
    EXPECT_EQ(d.metrics(2).string_value(), "online");
    ASSERT_EQ(d.metrics(2).properties().keys_size(), 2);
    EXPECT_EQ(d.metrics(2).properties().keys(1), "tag/line");
    EXPECT_EQ(d.metrics(2).properties().values(1).type(), uint32_t(sparkplug_b::String));
    EXPECT_EQ(d.metrics(2).properties().values(1).string_value(), "7");
    EXPECT_TRUE(d.metrics(3).has_boolean_value());
    EXPECT_FALSE(d.metrics(3).boolean_value());

    Payload death;
    death.metrics = {bd};
    EXPECT_FALSE(Decoded(Encode(death)).has_seq()) << "NDEATH carries no seq";
}

TEST(GatewaySparkplug, NodeCommandsAreReadAndGarbageIsRefused) {
    const auto request = [](const char *name, bool value, bool asBoolean) {
        sparkplug_b::Payload p;
        auto *m = p.add_metrics();
        m->set_name(name);
        if (asBoolean)
            m->set_boolean_value(value);
        else
            m->set_int_value(value);
        return p.SerializeAsString();
    };
    const struct {
        std::string bytes;
        bool valid, rebirth;
    } cases[] = {
        {request("Node Control/Rebirth", true, true), true, true},
        {request("Node Control/Rebirth", false, true), true, false},
        {request("Node Control/Rebirth", true, false), true, false}, // not a Boolean
        {request("Node Control/Next Server", true, true), true, false},
        {"", true, false},                   // an empty payload: no metric
        {"\xff\xff\xff", false, false},      // truncated varint
        {"\x12\x05\x0a\x10x", false, false}, // a metric whose name runs past the end
    };
    for (const auto &c : cases) {
        std::string problem;
        const auto command = ReadNodeCommand(c.bytes, problem);
        EXPECT_EQ(command.has_value(), c.valid) << problem;
        if (command) {
            EXPECT_EQ(command->rebirth, c.rebirth);
        }
    }
}

TEST(GatewaySparkplug, HostStatesNeedBothKeys) {
    const struct {
        const char *json;
        bool valid, online;
        int64_t timestamp;
    } cases[] = {
        {R"({"online": true, "timestamp": 1700000000000})", true, true, 1700000000000},
        {R"({"timestamp": 5, "online": false, "extra": 1})", true, false, 5},
        {R"({"online": true})", false, false, 0},
        {R"({"online": "true", "timestamp": 5})", false, false, 0},
        {R"({"online": true, "timestamp": -1})", false, false, 0},
        {R"({"online": true, "timestamp": 1.5})", false, false, 0},
        {R"([true, 5])", false, false, 0},
        {"online", false, false, 0},
        {"", false, false, 0},
    };
    for (const auto &c : cases) {
        std::string problem;
        const auto state = ReadHostState(c.json, problem);
        ASSERT_EQ(state.has_value(), c.valid) << c.json;
        if (state) {
            EXPECT_EQ(state->online, c.online) << c.json;
            EXPECT_EQ(state->timestamp, c.timestamp) << c.json;
        } else {
            EXPECT_FALSE(problem.empty());
        }
    }
}

TEST(GatewaySparkplug, BdSeqStartsAtZeroWrapsAndOutlivesTheProcess) {
    QTemporaryDir folder;
    const std::string path = folder.path().toStdString();
    std::string problem;
    {
        BdSeqStore store(path);
        EXPECT_EQ(store.next(), 0);
        ASSERT_TRUE(store.use(problem)) << problem;
        EXPECT_EQ(store.next(), 1);
    }
    EXPECT_EQ(BdSeqStore(path).next(), 1) << "a restart never reuses the bdSeq of the session that died";
    WriteFileBytes(path + "/sparkplug-bdseq", "255\n");
    BdSeqStore wrapped(path);
    EXPECT_EQ(wrapped.next(), 0);
    WriteFileBytes(path + "/sparkplug-bdseq", "garbage");
    EXPECT_EQ(BdSeqStore(path).next(), 0);

    EXPECT_EQ(CheckWritableFolder(path), "");
    EXPECT_NE(CheckWritableFolder(path + "/missing"), "");
    EXPECT_NE(CheckWritableFolder(path + "/sparkplug-bdseq"), "") << "a file, not a folder";
}

TEST(GatewaySparkplug, NodeSessionRules) {
    NodeUnderTest t;
    t.node.addDevice("a", {{"target", "tcp://h:1"}});
    t.node.addDevice("b", {});
    const std::string will = t.node.willPayload();
    EXPECT_EQ(Decoded(will).metrics(0).long_value(), 0u);
    t.node.deviceSample("a", SampleAt(1000, 10)); // before the session: kept for the birth
    t.node.sessionStarted();
    ASSERT_EQ(t.sent.size(), 2u);
    EXPECT_EQ(t.sent[0].topic, "spBv1.0/G/NBIRTH/E");
    EXPECT_EQ(t.sent[1].topic, "spBv1.0/G/DBIRTH/E/a");
    EXPECT_EQ(t.sent[1].payload.metrics(0).timestamp(), 1000u);
    EXPECT_EQ(t.sent[1].payload.metrics(0).int_value(), 10u);

    // b is born with its first sample; then data by alias with the sample's time.
    t.node.deviceSample("b", SampleAt(2000, 20));
    t.node.deviceSample("b", SampleAt(2050, 30));
    EXPECT_EQ(t.sent[2].topic, "spBv1.0/G/DBIRTH/E/b");
    EXPECT_EQ(t.sent[3].topic, "spBv1.0/G/DDATA/E/b");
    EXPECT_EQ(t.sent[3].payload.metrics(7).alias(), t.sent[2].payload.metrics(7).alias());
    EXPECT_EQ(t.sent[3].payload.metrics(7).int_value(), 37u);
    EXPECT_EQ(t.sent[3].payload.metrics(7).timestamp(), 2050u);

    // A message the connection refuses takes no seq; a dead device is born again on its next sample.
    t.accept = false;
    t.node.deviceSample("b", SampleAt(2100, 40));
    t.accept = true;
    t.node.deviceOffline("b");
    t.node.deviceOffline("b");
    t.node.deviceSample("b", SampleAt(2200, 50));
    EXPECT_EQ(t.sent[4].topic, "spBv1.0/G/DDEATH/E/b");
    EXPECT_EQ(t.sent[5].topic, "spBv1.0/G/DBIRTH/E/b");
    EXPECT_EQ(t.Seqs(), (std::vector<int>{0, 1, 2, 3, 4, 5}));

    // A rebirth: NBIRTH with seq 0 and the same bdSeq, a DBIRTH for each online device.
    sparkplug_b::Payload request;
    auto *m = request.add_metrics();
    m->set_name("Node Control/Rebirth");
    m->set_boolean_value(true);
    EXPECT_FALSE(t.node.received("spBv1.0/G/NCMD/E", request.SerializeAsString()));
    ASSERT_EQ(t.sent.size(), 9u);
    EXPECT_EQ(t.sent[6].topic, "spBv1.0/G/NBIRTH/E");
    EXPECT_EQ(t.sent[6].payload.metrics(0).long_value(), 0u);
    EXPECT_EQ(t.Seqs(), (std::vector<int>{0, 1, 2, 3, 4, 5, 0, 1, 2}));

    // The next session takes the next bdSeq.
    t.node.sessionEnded();
    EXPECT_EQ(Decoded(t.node.willPayload()).metrics(0).long_value(), 1u);
    EXPECT_EQ(Decoded(t.node.deathPayload()).metrics(0).long_value(), 1u);
}

TEST(GatewaySparkplug, NodeWaitsForItsPrimaryHost) {
    NodeUnderTest t("scada");
    EXPECT_EQ(t.node.hostStateTopic(), "spBv1.0/STATE/scada");
    t.node.willPayload();
    t.node.sessionStarted();
    EXPECT_TRUE(t.sent.empty());
    EXPECT_FALSE(t.node.received("spBv1.0/STATE/scada", R"({"online": false, "timestamp": 10})"))
        << "not born: nothing to leave";
    EXPECT_FALSE(t.node.received("spBv1.0/STATE/scada", R"({"online": true, "timestamp": 5})")) << "older";
    EXPECT_TRUE(t.sent.empty());
    EXPECT_FALSE(t.node.received("spBv1.0/STATE/scada", R"({"online": true, "timestamp": 20})"));
    EXPECT_EQ(t.sent.size(), 1u);
    EXPECT_FALSE(t.node.received("spBv1.0/STATE/other", R"({"online": false, "timestamp": 30})"));
    EXPECT_TRUE(t.node.received("spBv1.0/STATE/scada", R"({"online": false, "timestamp": 30})"));
}
