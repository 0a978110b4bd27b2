#include "ctl/journalsender.h"

#include "ctl/output.h"
#include "gateway/log.h"
#include "runtime/utility.h"

#include <algorithm>

namespace ctl {
namespace {

namespace journal = gateway::journal;

constexpr std::size_t kRunLength = 500; // DDATA closed by one QoS 1 message at most
constexpr int kMostLaterPerCall = 4096; // replayed samples passed over in one call
// A sample that waited for its device's birth is looked for again at the next DBIRTH,
// or after this long (it may also have waited for room on the connection).
constexpr double kRestSeconds = 30.0;

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

gateway::sparkplug::DeviceSample DeviceSampleOf(const journal::StoredSample &s) {
    gateway::sparkplug::DeviceSample d{s.wallMs, {}};
    std::copy(s.values.begin(), s.values.end(), d.values);
    return d;
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
    connectionLost();
    m_journal.unsendUnconfirmed();
    if (client) client->onConfirmed = [this](int mid) { confirmed(mid); };
}

void JournalSender::useOutlets(bool json, std::shared_ptr<gateway::sparkplug::EdgeNode> node,
                               std::string receivedTopic) {
    m_json = json;
    m_node = std::move(node);
    m_receivedTopic = std::move(receivedTopic);
}

void JournalSender::connectionLost() {
    m_restingAtBirths.reset();
    m_passedOver = m_laterInARow = 0;
    if (m_json) return; // the JSON messages (QoS 1) stay with the client and go again themselves
    m_run.clear();
    m_runs.clear(); // a PUBACK on the next connection says nothing of this one's DDATA
    m_runsSamples = 0;
    m_journal.unsendUnconfirmed();
}

bool JournalSender::hasRoom(int reserve) const {
    return m_client && m_client->connected() && m_client->counts().waiting < m_inFlightLimit - reserve &&
           m_runsSamples + int(m_run.size()) < m_inFlightLimit - reserve;
}

bool JournalSender::take(const journal::Source &source, const Sample &sample, std::string &payload) {
    journal::Location where;
    const journal::StoredSample stored = Stored(sample);
    if (!m_journal.append(source, stored, where)) return false;
    if (!hasRoom(0)) return true;
    const bool asData = m_node && m_node->deviceSample(source.name, DeviceSampleOf(stored));
    if (m_json)
        publish({source.topic, std::move(payload)}, where, false);
    else if (asData)
        sentAsData(where, false);
    return true; // not gone as data: it waits for its device's birth and goes as historical
}

void JournalSender::replay() {
    const bool dataOnly = !m_json;
    if (dataOnly && (!m_node || !m_node->born())) return;
    if (dataOnly && m_restingAtBirths) {
        if (*m_restingAtBirths == m_node->deviceBirths() && runtime::Timer() < m_restUntil) return;
        m_restingAtBirths.reset();
        m_passedOver = m_laterInARow = 0;
        m_journal.rewind();
    }
    journal::Journal::Unsent unsent;
    for (int later = 0; later < kMostLaterPerCall && hasRoom(m_liveReserve);) {
        if (!m_journal.nextUnsent(unsent)) {
            if (m_passedOver > 0) rest();
            break;
        }
        const History history = replayAsData(unsent);
        if (m_json) {
            publish(Historical(*unsent.source, unsent.sample), unsent.where, true);
            continue;
        }
        if (history == History::Sent) {
            sentAsData(unsent.where, true);
            continue;
        }
        if (history != History::Later) continue;
        ++later;
        ++m_passedOver;
        if (++m_laterInARow >= m_journal.counts().unsent) {
            rest();
            break;
        }
    }
    closeRun();
}

void JournalSender::rest() {
    m_restingAtBirths = m_node->deviceBirths();
    m_restUntil = runtime::Timer() + kRestSeconds;
}

JournalSender::History JournalSender::replayAsData(const journal::Journal::Unsent &unsent) {
    if (!m_node) return History::Never;
    const std::string &name = unsent.source->name;
    const History history = m_node->deviceHistory(name, DeviceSampleOf(unsent.sample));
    if (history != History::Later) m_laterInARow = 0;
    if (history != History::Never || m_json) return history;
    // Sparkplug B 3.0 takes DDATA only of a device born in the session, and a birth
    // would announce a sensor the configuration no longer has.
    if (m_toldUnknown.insert(name).second)
        gateway::LogWarning("journal: " + name +
                            " is no longer configured: its waiting samples cannot go as Sparkplug data "
                            "and are dropped");
    m_journal.discard(unsent.where);
    return history;
}

void JournalSender::publish(const mqtt::Message &message, const journal::Location &where, bool replayed) {
    int mid = 0;
    if (!m_client->publish(message, &mid)) return;
    m_inFlight[mid] = where;
    m_journal.markSent(where, replayed);
}

void JournalSender::sentAsData(const journal::Location &where, bool replayed) {
    m_journal.markSent(where, replayed);
    m_run.push_back(where);
    if (m_run.size() >= kRunLength) closeRun();
}

void JournalSender::closeRun() {
    if (m_run.empty() || !m_client || !m_client->connected()) return;
    int mid = 0;
    if (!m_client->publish({m_receivedTopic, std::to_string(m_run.size()), 1, false}, &mid)) return;
    m_runsSamples += int(m_run.size());
    m_runs[mid] = std::move(m_run);
    m_run.clear();
}

void JournalSender::confirmed(int mid) {
    if (const auto it = m_inFlight.find(mid); it != m_inFlight.end()) {
        m_journal.confirm(it->second);
        m_inFlight.erase(it);
    } else if (const auto run = m_runs.find(mid); run != m_runs.end()) {
        for (const journal::Location &where : run->second)
            m_journal.confirm(where);
        m_runsSamples -= int(run->second.size());
        m_runs.erase(run);
    } else {
        return;
    }
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
