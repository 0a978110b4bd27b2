#include "ctl/journalsender.h"

#include "ctl/output.h"
#include "runtime/utility.h"

#include <algorithm>

namespace ctl {
namespace {

namespace journal = gateway::journal;

journal::StoredSample Stored(const Sample &s) {
    journal::StoredSample stored{s.seq, s.wallMs, {}, s.trigger};
    std::copy(std::begin(s.values), std::end(s.values), stored.values.begin());
    return stored;
}

// A sample read back from the journal, as its JSON message.
mqtt::Message Historical(const journal::Source &source, const journal::StoredSample &stored) {
    Sample s;
    s.seq = stored.seq;
    s.wallMs = stored.wallMs;
    std::copy(stored.values.begin(), stored.values.end(), s.values);
    s.trigger = stored.trigger;
    s.historical = true;
    Target target;
    target.text = source.target;
    target.name = source.name;
    return {source.topic, SampleJson(target, s)};
}

uint64_t Bytes(double mb) {
    return static_cast<uint64_t>(mb * 1e6);
}

int Milliseconds(double seconds) {
    return std::max(1, static_cast<int>(seconds * 1000));
}

double OldestSeconds(const journal::Counts &c) {
    return c.oldestMs < 0 ? -1.0 : std::max(0.0, double(runtime::WallClockMs() - c.oldestMs) / 1000.0);
}

} // namespace

JournalSender::JournalSender(int inFlight, int liveReserve)
    : m_inFlightLimit(inFlight), m_liveReserve(liveReserve) {
    // Topped up as confirmations free room, not only at the gateway's drain ticks.
    m_topUp.setSingleShot(true);
    QObject::connect(&m_topUp, &QTimer::timeout, [this] { replay(); });
    QObject::connect(&m_sync, &QTimer::timeout, [this] { m_journal.sync(); });
}

bool JournalSender::open(const gateway::StorageConfig &storage, std::string &problem) {
    if (!m_journal.open(storage.path, Bytes(storage.maxMb), problem)) return false;
    m_sync.start(Milliseconds(storage.syncSeconds));
    return true;
}

void JournalSender::apply(const gateway::StorageConfig &storage) {
    m_journal.setMaxBytes(Bytes(storage.maxMb));
    m_sync.setInterval(Milliseconds(storage.syncSeconds));
}

void JournalSender::useClient(mqtt::Client *client) {
    m_client = client;
    m_inFlight.clear();
    m_journal.unsendUnconfirmed();
    if (client) client->onConfirmed = [this](int mid) { confirmed(mid); };
}

bool JournalSender::hasRoom(int reserve) const {
    return m_client && m_client->connected() && m_client->counts().waiting < m_inFlightLimit - reserve;
}

bool JournalSender::take(const journal::Source &source, const Sample &sample, std::string &payload) {
    journal::Location where;
    if (!m_journal.append(source, Stored(sample), where)) return false;
    if (hasRoom(0)) publish({source.topic, std::move(payload)}, where, false);
    return true;
}

void JournalSender::replay() {
    journal::Journal::Unsent unsent;
    while (hasRoom(m_liveReserve) && m_journal.nextUnsent(unsent))
        publish(Historical(*unsent.source, unsent.sample), unsent.where, true);
}

void JournalSender::publish(const mqtt::Message &message, const journal::Location &where, bool replayed) {
    int mid = 0;
    if (!m_client->publish(message, &mid)) return;
    m_inFlight[mid] = where;
    m_journal.markSent(where, replayed);
}

void JournalSender::confirmed(int mid) {
    const auto it = m_inFlight.find(mid);
    if (it == m_inFlight.end()) return;
    m_journal.confirm(it->second);
    m_inFlight.erase(it);
    if (pending() && !m_topUp.isActive()) m_topUp.start(0);
}

void JournalSender::fill(gateway::MetricsSnapshot &metrics) const {
    const journal::Counts c = m_journal.counts();
    metrics.samplesQueued += uint64_t(c.waiting);
    metrics.journal = {c.bytes, uint64_t(c.replayed), uint64_t(c.dropped), uint64_t(c.corrupt),
                       OldestSeconds(c)};
}

std::string JournalSender::healthJson() const {
    const journal::Counts c = m_journal.counts();
    return "{\"journal_bytes\":" + std::to_string(c.bytes) + ",\"waiting\":" + std::to_string(c.waiting) +
           ",\"oldest_waiting_seconds\":" + std::to_string(int64_t(OldestSeconds(c))) +
           ",\"replayed\":" + std::to_string(c.replayed) + ",\"dropped\":" + std::to_string(c.dropped) +
           ",\"corrupt\":" + std::to_string(c.corrupt) + "}";
}

} // namespace ctl
