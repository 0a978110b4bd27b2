// Where the gateway's samples and states go: the broker connection (JSON topics,
// the journal's replay, the Sparkplug node), systemd's status line, the metrics.
#include "ctl/gatewayservice.h"

#include "ctl/output.h"
#include "gateway/log.h"
#include "gateway/notify.h"
#include "runtime/utility.h"

#include <QCoreApplication>

#include <algorithm>
#include <cmath>
#include <fstream>

#include <malloc.h>

using namespace runtime;

namespace ctl {
namespace {

std::string ReadPassword(const std::string &path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

mqtt::Options ClientOptions(const gateway::BrokerConfig &b, double reconnectMax) {
    mqtt::Options o;
    o.longestRetry = std::chrono::milliseconds(std::llround(reconnectMax * 1000));
    o.broker = {b.host, b.port, b.tls};
    for (const gateway::BrokerAddress &more : b.failover)
        o.moreBrokers.push_back({more.host, more.port, b.tls});
    o.clientId = b.clientId;
    o.username = b.username;
    if (!b.passwordFile.empty()) o.password = ReadPassword(b.passwordFile);
    o.caFile = b.caFile;
    o.certFile = b.certFile;
    o.keyFile = b.keyFile;
    o.will = {b.topic + "/status", "offline", 1, true};
    o.queueLimit = 60000;
    return o;
}

} // namespace

bool Gateway::startBroker(const GatewayConfig &next) {
    const gateway::BrokerConfig &b = next.broker;
    if (m_client) {
        if (m_json) m_client->publish({m_gatewayTopic + "/status", "offline", 1, true});
        m_client->stop(farewell(), kGoodbye);
        // What it still receives or reports belongs to no session of the new connection.
        m_client->onConnected = nullptr;
        m_client->onDisconnected = nullptr;
        m_client->onMessage = nullptr;
    }
    m_retired = std::move(m_client);
    m_json = !next.sparkplug.enabled || next.sparkplug.jsonTopics;
    m_client = std::make_unique<mqtt::Client>(ClientOptions(b, next.reconnectMax));
    if (m_journal) m_journal->useClient(m_client.get());
    m_gatewayTopic = b.topic;
    startSparkplug(next);
    if (m_journal) m_journal->useOutlets(m_json, m_sparkplug, m_gatewayTopic + "/received");
    m_client->onConnected = [this] {
        gateway::LogInfo("broker " + mqtt::Address(m_client->broker()) + " connected");
        if (m_json) m_client->publish({m_gatewayTopic + "/status", "online", 1, true});
        for (auto &[name, sensor] : m_sensors)
            publishState(*sensor);
        if (m_sparkplug) m_sparkplug->sessionStarted();
        m_lastHealth.clear();
        drain();
        ready();
    };
    m_client->onDisconnected = [this](const std::string &reason) {
        if (m_sparkplug) m_sparkplug->sessionEnded();
        if (m_journal) m_journal->connectionLost();
        gateway::LogWarning("broker: " + reason + "; samples wait");
        ready();
    };
    std::string problem;
    if (!m_client->start(problem)) {
        gateway::LogError("broker: " + problem);
        return false;
    }
    return true;
}

// The Sparkplug edge node on the new broker connection, with its devices.
void Gateway::startSparkplug(const GatewayConfig &next) {
    m_sparkplug.reset();
    if (!next.sparkplug.enabled) return;
    if (next.storage.path.empty())
        gateway::LogWarning("no storage folder: the Sparkplug bdSeq starts at 0 after a restart");
    m_sparkplug = std::make_shared<gateway::sparkplug::EdgeNode>(
        next.sparkplug, QCoreApplication::applicationVersion().toStdString(), next.storage.path,
        [this](const std::string &topic, const std::string &payload, int qos) {
            return m_client && m_client->publish({topic, payload, qos, false});
        });
    // The node outlives the connection that asks it for wills while it stops.
    m_client->nextWill = [node = m_sparkplug] {
        return mqtt::Message{node->deathTopic(), node->willPayload(), 1, false};
    };
    m_client->subscribe(m_sparkplug->commandTopic(), 0);
    if (!m_sparkplug->hostStateTopic().empty()) m_client->subscribe(m_sparkplug->hostStateTopic(), 1);
    m_client->onMessage = [this](const std::string &topic, const std::string &payload) {
        if (!m_sparkplug || !m_sparkplug->received(topic, payload)) return;
        gateway::LogWarning("Sparkplug primary host offline: leaving the broker " +
                            mqtt::Address(m_client->broker()));
        m_client->publish(farewell());
        m_sparkplug->sessionEnded();
        m_client->moveOn();
    };
    for (const auto &[name, sensor] : m_sensors)
        addDevice(*sensor);
}

// What the connection says last at a planned end: the NDEATH with Sparkplug.
mqtt::Message Gateway::farewell() const {
    if (m_sparkplug) return {m_sparkplug->deathTopic(), m_sparkplug->deathPayload(), 1, false};
    return {m_gatewayTopic + "/status", "offline", 1, true};
}

void Gateway::addDevice(const GatewaySensor &s) {
    std::vector<std::pair<std::string, std::string>> properties{{"target", s.config().target}};
    for (const auto &[key, value] : s.config().tags)
        properties.emplace_back("tag/" + key, value);
    m_sparkplug->addDevice(s.config().name, std::move(properties));
}

void Gateway::sampled(GatewaySensor &s, const Sample &sample) {
    m_cycleSeconds =
        m_cycleSeconds == 0 ? sample.answerSeconds : 0.99 * m_cycleSeconds + 0.01 * sample.answerSeconds;
    std::string payload = m_json ? SampleJson(s.target(), sample) : std::string();
    // Written to the journal, it goes to the JSON topics and as Sparkplug data from there.
    if (m_journal && m_journal->take(s.source(), sample, payload)) return;
    // Sparkplug data belongs to its session: while the broker is away or busy there is none to send.
    if (m_sparkplug && canHandOver()) {
        gateway::sparkplug::DeviceSample d{sample.wallMs, {}};
        std::copy(std::begin(sample.values), std::end(sample.values), d.values);
        m_sparkplug->deviceSample(s.config().name, d);
    }
    if (!m_json) return;
    // In order: a sample goes straight out only when none of its sensor waits.
    if (s.waiting().empty() && canHandOver()) {
        m_client->publish({s.dataTopic(), std::move(payload)});
        return;
    }
    s.wait({sample.monotonic, std::move(payload)});
    s.dropStale(sample.monotonic);
    if (!m_drain.isActive()) m_drain.start();
}

bool Gateway::canHandOver() const {
    return m_client && m_client->connected() && m_client->counts().waiting < kInFlight;
}

// Hands waiting samples over; a sensor that dropped some tells the new count in its
// health message, once per drain rather than per sample, and after the drops at a
// reconnect (which come after the states the reconnect published).
void Gateway::drain() {
    handOver();
    const bool connected = m_client && m_client->connected();
    bool left = !m_orphans.empty() || (m_journal && m_journal->pending());
    for (auto &[name, s] : m_sensors) {
        if (connected && s->dropsUntold()) m_client->publish({s->healthTopic(), s->healthJson(), 1, true});
        left = left || !s->waiting().empty();
    }
    if (left) {
        if (m_backlogSince < 0) m_backlogSince = Timer();
        return;
    }
    // Once a backlog of some length has gone, its memory goes back to the system, not only to the heap.
    if (m_backlogSince >= 0 && Timer() - m_backlogSince > 1.0) malloc_trim(0);
    m_backlogSince = -1;
    if (!m_journal) m_drain.stop(); // the journal keeps the drain ticking: it replays from there
}

// Hands waiting samples to the broker connection, a few of each sensor in turn, then
// the journal's unsent ones with what the connection has left after the live ones.
void Gateway::handOver() {
    while (!m_orphans.empty() && canHandOver()) {
        m_client->publish(m_orphans.front());
        m_orphans.pop_front();
    }
    handOverWaiting();
    if (m_journal) m_journal->replay();
}

void Gateway::handOverWaiting() {
    const double now = Timer();
    for (int round = 0; round < 64; ++round) {
        bool any = false;
        for (auto &[name, s] : m_sensors) {
            s->dropStale(now);
            if (s->waiting().empty()) continue;
            if (!canHandOver()) return;
            m_client->publish({s->dataTopic(), s->next().payload});
            any = true;
        }
        if (!any) break;
    }
}

void Gateway::changed(GatewaySensor &s) {
    const LivePoller &p = s.poller();
    if (p.state() == LivePoller::State::Connecting)
        gateway::LogInfo(s.config().name + ": connecting to " + s.target().text);
    else if (s.online())
        gateway::LogInfo(s.config().name + ": online" +
                         (p.version().empty() ? "" : " (" + p.version() + ")"));
    else
        gateway::LogWarning(s.config().name + ": offline: " + p.cause());
    if (m_sparkplug && !s.online()) m_sparkplug->deviceOffline(s.config().name);
    publishState(s);
    tellStatus();
}

// The counts of the next slice of the sensors in name order, where they moved:
// every count is at most ten seconds old on the broker, at a tenth of a message
// per sensor and second. The slice starts after the name the last one ended
// with, so sensors added or removed meanwhile shift nothing.
void Gateway::refreshHealth() {
    if (!m_client || !m_client->connected() || m_sensors.empty()) return;
    const std::size_t slice = (m_sensors.size() + kHealthSlices - 1) / kHealthSlices;
    auto it = m_sensors.upper_bound(m_healthAfter);
    for (std::size_t n = 0; n < slice; ++n, ++it) {
        if (it == m_sensors.end()) it = m_sensors.begin();
        GatewaySensor &s = *it->second;
        if (s.samplesUntold()) m_client->publish({s.healthTopic(), s.healthJson(), 1, true});
        m_healthAfter = it->first;
    }
}

// Status and health, when the broker can take them: the connect tells every sensor's anyway.
void Gateway::publishState(GatewaySensor &s) {
    if (!m_client || !m_json || !m_client->connected()) return;
    m_client->publish({s.statusTopic(), s.statusText(), 1, true});
    m_client->publish({s.healthTopic(), s.healthJson(), 1, true});
}

// The journal's figures, retained, whenever they changed (looked at every few seconds).
void Gateway::publishHealth() {
    if (!m_journal || !m_client || !m_client->connected()) return;
    std::string health = m_journal->healthJson();
    if (health == m_lastHealth) return;
    m_lastHealth = health;
    m_client->publish({m_gatewayTopic + "/health", std::move(health), 1, true});
}

std::string Gateway::statusLine() const {
    int online = 0;
    for (const auto &[name, s] : m_sensors)
        online += s->online();
    if (!m_client)
        return std::to_string(online) + " of " + std::to_string(m_sensors.size()) + " sensors online";
    return std::to_string(online) + " of " + std::to_string(m_sensors.size()) + " sensors online, broker " +
           mqtt::Address(m_client->broker()) + (m_client->connected() ? " connected" : " not connected");
}

// STATUS= when it changed, at most once a second: a thousand sensors coming back
// together make one message, sent a second after the one before.
void Gateway::tellStatus() {
    const auto now = std::chrono::steady_clock::now();
    if (now - m_statusSentAt < kStatusAtMostEvery) {
        if (!m_statusLater.active()) m_statusLater.startAt(m_statusSentAt + kStatusAtMostEvery);
        return;
    }
    const std::string line = statusLine();
    if (line == m_lastStatus) return;
    m_lastStatus = line;
    m_statusSentAt = now;
    gateway::NotifyStatus(line);
}

gateway::MetricsSnapshot Gateway::metricsSnapshot() const {
    gateway::MetricsSnapshot m;
    const double now = Timer();
    m.samplesDropped = m_droppedByEnded;
    for (const auto &[name, s] : m_sensors) {
        m.sensors.push_back(s->metrics(now));
        m.samplesQueued += s->waiting().size();
        m.samplesDropped += static_cast<uint64_t>(s->dropped());
    }
    m.pollCycleSeconds = m_cycleSeconds;
    m.brokerConnected = m_client && m_client->connected();
    if (m_client) m.broker = mqtt::Address(m_client->broker());
    if (m_journal) m_journal->fill(m);
    if (m_modbus) m.modbus = m_modbus->Counters();
    return m;
}

} // namespace ctl
