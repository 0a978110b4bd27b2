// The gateway's samples on their way through the journal (gateway/journal.h):
// each written before it is published, published at once when the broker
// connection has room, the rest replayed from the disk later, marked
// historical, with what the connection has left after the live samples; a
// sample's place in the journal is freed once the broker has confirmed it.
#pragma once

#include "ctl/livepoller.h"
#include "gateway/config.h"
#include "gateway/journal.h"
#include "gateway/metrics.h"
#include "mqtt/client.h"

#include <QTimer>

#include <functional>
#include <memory>
#include <string>
#include <unordered_map>

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

    // Writes a live sample, and publishes it when the connection has room; false
    // when the journal refused it (the disk is full): the caller keeps it in memory.
    // payload is moved out when it is published.
    bool take(const gateway::journal::Source &source, const Sample &sample, std::string &payload);
    // Hands unsent samples over, oldest first, while the connection has room beyond the reserve.
    void replay();
    // Samples wait to be handed over.
    bool pending() const { return m_journal.counts().unsent > 0; }
    void sync() { m_journal.sync(); }

    // The journal's figures, and its samples waiting, into the metrics.
    void fill(gateway::MetricsSnapshot &metrics) const;
    // The same as JSON, for the gateway's health message.
    std::string healthJson() const;

  private:
    bool hasRoom(int reserve) const;
    void publish(const mqtt::Message &message, const gateway::journal::Location &where, bool replayed);
    void confirmed(int mid);

    const int m_inFlightLimit, m_liveReserve;
    gateway::journal::Journal m_journal;
    mqtt::Client *m_client = nullptr;
    std::unordered_map<int, gateway::journal::Location> m_inFlight; // handed over, by message id
    QTimer m_topUp, m_sync;
};

} // namespace ctl
