// The gateway's samples on their way through the journal (gateway/journal.h):
// each written before it is published, published at once when the broker
// connection has room, the rest replayed from the disk later, marked
// historical, with what the connection has left after the live samples; a
// sample's place in the journal is freed once the broker has confirmed it.
//
// With the JSON topics, the broker's PUBACK of a sample's JSON message (QoS 1)
// confirms it; Sparkplug DDATA go beside it for a born device. With Sparkplug
// alone, DDATA go at QoS 0 (Sparkplug B 3.0), which the broker never
// acknowledges: after a run of them a QoS 1 message on the same connection
// (receivedTopic) asks for a PUBACK, and as a broker reads a connection's
// packets in order, that PUBACK confirms every DDATA sent before it. A
// connection lost first sends the run again.
#pragma once

#include "ctl/livepoller.h"
#include "gateway/config.h"
#include "gateway/journal.h"
#include "gateway/metrics.h"
#include "gateway/sparkplugnode.h"
#include "mqtt/client.h"

#include <QTimer>

#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace ctl {

class JournalSender {
  public:
    // inFlight: samples the connection may hold unconfirmed; liveReserve: of them, kept for live ones.
    JournalSender(int inFlight, int liveReserve);

    // Opens the journal in the storage folder; false with the reason in problem.
    bool open(const gateway::StorageConfig &storage, std::string &problem);
    // A reload's max_mb and sync_seconds.
    void apply(const gateway::StorageConfig &storage);
    // A new broker connection: what the old one did not confirm goes again on it.
    void useClient(mqtt::Client *client);
    // Where samples go on that connection: the JSON topics (json), a Sparkplug
    // node (or none), and with Sparkplug alone the topic of the QoS 1 message
    // that closes each run of DDATA.
    void useOutlets(bool json, std::shared_ptr<gateway::sparkplug::EdgeNode> node, std::string receivedTopic);
    // The connection is gone: with Sparkplug alone, DDATA of runs not confirmed go again.
    void connectionLost();

    // Writes a live sample, and publishes it when the connection has room; false
    // when the journal refused it (the disk is full): the caller keeps it in memory.
    // payload is moved out when it is published.
    bool take(const gateway::journal::Source &source, const Sample &sample, std::string &payload);
    // Hands unsent samples over, oldest first, while the connection has room beyond the reserve.
    void replay();
    // Sparkplug alone: asks the broker to confirm the DDATA sent since the last request.
    void closeRun();
    // Samples wait to be handed over.
    bool pending() const { return m_journal.counts().unsent > 0; }
    void sync() { m_journal.sync(); }

    // The journal's figures, and its samples waiting, into the metrics.
    void fill(gateway::MetricsSnapshot &metrics) const;
    // The same as JSON, for the gateway's health message.
    std::string healthJson() const;

  private:
    using History = gateway::sparkplug::EdgeNode::History;

    bool hasRoom(int reserve) const;
    void publish(const mqtt::Message &message, const gateway::journal::Location &where, bool replayed);
    // Sparkplug alone: a sample's DDATA went; it waits for its run's confirmation.
    void sentAsData(const gateway::journal::Location &where, bool replayed);
    void rest();
    // What a replayed sample became as Sparkplug data.
    History replayAsData(const gateway::journal::Journal::Unsent &unsent);
    void confirmed(int mid);

    const int m_inFlightLimit, m_liveReserve;
    gateway::journal::Journal m_journal;
    mqtt::Client *m_client = nullptr;
    std::unordered_map<int, gateway::journal::Location> m_inFlight; // handed over, by message id
    bool m_json = true;
    std::shared_ptr<gateway::sparkplug::EdgeNode> m_node;
    std::string m_receivedTopic;
    std::vector<gateway::journal::Location> m_run; // DDATA sent since the last closing message
    std::unordered_map<int, std::vector<gateway::journal::Location>> m_runs; // closed, by its message id
    int m_runsSamples = 0;
    // Replayed samples whose device was not born, passed over since the reader last
    // began from the oldest, and of them in a row: once the reader is through (or they
    // are all there is), the replay rests until the next DBIRTH or for a while, then
    // reads from the oldest again.
    int64_t m_passedOver = 0, m_laterInARow = 0;
    std::optional<uint64_t> m_restingAtBirths;
    double m_restUntil = 0;              // monotonic seconds
    std::set<std::string> m_toldUnknown; // devices whose samples were dropped, said once
    QTimer m_topUp, m_sync;
};

} // namespace ctl
