// A Sparkplug host application of the tests' own: mosquitto_sub receives every
// message of a broker's Sparkplug namespace with its QoS and retain flag, and
// Google's C++ protobuf library (not the gateway's protobuf-c encoder) decodes
// the payloads from the same schema. Commands and states go out with mosquitto_pub.
#pragma once

#include "tests/mosquitto_viewer.h"
#include "tests/test_support.h"

#include "sparkplug_b.pb.h"

#include <QProcess>
#include <QTemporaryFile>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace testsparkplug {

using Payload = sparkplug_b::Payload;
using Metric = sparkplug_b::Payload::Metric;

struct Received {
    std::string topic;
    int qos = 0;
    bool retained = false;
    std::string raw;
    Payload payload; // decoded (empty for STATE and undecodable payloads)
    bool decoded = false;

    std::string kind;   // of spBv1.0/GROUP/KIND/NODE[/DEVICE]: "NBIRTH", ...
    std::string device; // "" for the node's own messages
    const Metric *Named(const std::string &name) const {
        for (const Metric &m : payload.metrics())
            if (m.name() == name) return &m;
        return nullptr;
    }
    int64_t BdSeq() const {
        const Metric *m = Named("bdSeq");
        return m ? static_cast<int64_t>(m->long_value()) : -1;
    }
};

class Host {
  public:
    // Subscribes to everything under spBv1.0/ with QoS 1, in a session the broker keeps.
    Host(const testbroker::Broker &broker, const QString &id)
        : m_broker(broker), m_subscriber(broker, "spBv1.0/#", id, "%t %q %r %x") {}

    // Everything received so far, in order (markers left out).
    const std::vector<Received> &All() {
        Read();
        return m_all;
    }
    // The messages of a kind (and device, when given), in order.
    std::vector<Received> Of(const std::string &kind, const std::string &device = "") {
        std::vector<Received> out;
        for (const Received &r : All())
            if (r.kind == kind && (device.empty() || r.device == device)) out.push_back(r);
        return out;
    }
    // Waits until count messages of the kind (and device) have come since index from.
    bool WaitFor(const std::string &kind, std::size_t count = 1, std::size_t from = 0,
                 const std::string &device = "", double seconds = 10.0) {
        return ::WaitFor(
            [&] {
                std::size_t n = 0;
                const std::vector<Received> &all = All();
                for (std::size_t i = from; i < all.size(); ++i)
                    n += all[i].kind == kind && (device.empty() || all[i].device == device);
                return n >= count;
            },
            seconds);
    }
    // Publishes a marker through the broker and waits for it: whatever the broker
    // sent before has arrived.
    bool Flush() {
        const std::size_t before = m_markers;
        Publish(kMarker, "x", false);
        return ::WaitFor([&] { return Read(), m_markers > before; });
    }
    // Publishes a payload (bytes) as a host application would.
    void Publish(const std::string &topic, const std::string &payload, bool retain, int qos = 1) {
        QTemporaryFile file;
        ASSERT_TRUE(file.open());
        file.write(payload.data(), static_cast<qint64>(payload.size()));
        file.flush();
        QStringList args = m_broker.Address() + QStringList{"-t", QString::fromStdString(topic),
                                                            "-q", QString::number(qos),
                                                            "-f", file.fileName()};
        if (retain) args << "-r";
        QProcess pub;
        pub.start(testbroker::Find("mosquitto_pub"), args);
        EXPECT_TRUE(pub.waitForFinished(5000));
    }

  private:
    static constexpr const char *kMarker = "spBv1.0/test/MARKER";

    // Decodes the lines "topic QoS retained hex" that came since the last call.
    void Read() {
        const QStringList lines = m_subscriber.Lines();
        for (; m_done < lines.size(); ++m_done) {
            const QStringList parts = lines[m_done].split(' ');
            if (parts.size() < 3) continue;
            if (parts[0] == kMarker) {
                ++m_markers;
                continue;
            }
            Received r;
            r.topic = parts[0].toStdString();
            const QStringList levels = parts[0].split('/');
            r.kind = levels.value(2).toStdString();
            r.device = levels.value(4).toStdString();
            r.qos = parts[1].toInt();
            r.retained = parts[2] == "1";
            r.raw = QByteArray::fromHex(parts.value(3).toLatin1()).toStdString();
            if (r.topic.rfind("spBv1.0/STATE/", 0) != 0) r.decoded = r.payload.ParseFromString(r.raw);
            m_all.push_back(std::move(r));
        }
    }

    const testbroker::Broker &m_broker;
    testbroker::Subscriber m_subscriber;
    qsizetype m_done = 0;
    std::vector<Received> m_all;
    std::size_t m_markers = 0;
};

// Every message but NDEATH carries the previous seq + 1, 255 wrapping to 0, and each
// NBIRTH starts again at 0 (tck-id-payloads-sequence-num-incrementing,
// tck-id-payloads-nbirth-seq, tck-id-payloads-sequence-num-req-nbirth).
inline ::testing::AssertionResult SeqChainUnbroken(const std::vector<Received> &all, int &wraps) {
    int expected = -1;
    wraps = 0;
    for (std::size_t i = 0; i < all.size(); ++i) {
        const Received &r = all[i];
        if (r.kind != "NBIRTH" && r.kind != "DBIRTH" && r.kind != "DDATA" && r.kind != "DDEATH") continue;
        if (!r.decoded || !r.payload.has_seq())
            return ::testing::AssertionFailure() << "message " << i << " (" << r.topic << ") has no seq";
        const int seq = static_cast<int>(r.payload.seq());
        if (r.kind == "NBIRTH") {
            if (seq != 0) return ::testing::AssertionFailure() << "NBIRTH " << i << " has seq " << seq;
        } else if (seq != expected) {
            return ::testing::AssertionFailure()
                   << "message " << i << " (" << r.topic << ") has seq " << seq << ", not " << expected;
        }
        if (seq == 255) ++wraps;
        expected = (seq + 1) % 256;
    }
    return ::testing::AssertionSuccess();
}

// An NCMD payload asking for a rebirth, encoded by the host's own library.
inline std::string RebirthRequest(bool value = true) {
    Payload p;
    p.set_timestamp(1);
    Metric *m = p.add_metrics();
    m->set_name("Node Control/Rebirth");
    m->set_datatype(sparkplug_b::Boolean);
    m->set_boolean_value(value);
    return p.SerializeAsString();
}

} // namespace testsparkplug
