#include "ctl/gateway.h"

#include "ctl/gatewaysensor.h"
#include "ctl/journalsender.h"
#include "ctl/output.h"
#include "ctl/request.h"
#include "ctl/signals.h"
#include "gateway/log.h"
#include "gateway/metricsserver.h"
#include "gateway/modbusserver.h"
#include "gateway/notify.h"
#include "gateway/sparkplugnode.h"
#include "mqtt/client.h"
#include "runtime/descriptors.h"
#include "runtime/timers.h"
#include "runtime/utility.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QHostAddress>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>

#include <malloc.h>

using namespace runtime;

namespace ctl {
namespace {

using namespace std::chrono_literals;
using gateway::GatewayConfig;

constexpr int kInFlight = 2000;      // samples handed to the broker connection and not yet confirmed
constexpr int kLiveReserve = 500;    // of them, kept for live samples while the journal is replayed
constexpr int kDrainMs = 100;        // how often waiting samples are looked at while any wait
constexpr auto kReadyWait = 5s;      // for the broker's first answer before the service says it is ready
constexpr auto kGoodbye = 700ms;     // the offline statuses at the end, within the stop's second
constexpr int kStatusEveryMs = 5000; // STATUS= to systemd, when it changed
constexpr std::chrono::seconds kStatusAtMostEvery{1};
// Each sensor's health is told again within this many ticks when its counts moved,
// a share of the sensors per tick: ten seconds in small slices, so that at 10,000
// sensors no tick holds up a Modbus answer with a thousand messages.
constexpr std::size_t kHealthSlices = 100;
constexpr int kHealthTickMs = 100;
constexpr long kMetricsConnections = 8;
// The broker, the listeners, the supervisor's socket, the event loop's own.
constexpr long kDescriptorsBesideSensors = 64;

std::string ReadPassword(const std::string &path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

uint64_t Bytes(double mb) {
    return static_cast<uint64_t>(mb * 1e6);
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

class Gateway {
  public:
    explicit Gateway(std::string path) : m_path(std::move(path)) {
        m_drain.setInterval(kDrainMs);
        QObject::connect(&m_drain, &QTimer::timeout, [this] { drain(); });
        m_status.setInterval(kStatusEveryMs);
        QObject::connect(&m_status, &QTimer::timeout, [this] {
            tellStatus();
            publishHealth();
        });
        m_statusLater.setHandler([this] { tellStatus(); });
        m_healthTick.setInterval(kHealthTickMs);
        QObject::connect(&m_healthTick, &QTimer::timeout, [this] { refreshHealth(); });
        if (const auto period = gateway::WatchdogPeriod()) {
            // From the loop that polls: a loop that is stuck stops the pings, and systemd restarts it.
            m_watchdog.setInterval(std::max(1, static_cast<int>(period->count() / 1000)));
            QObject::connect(&m_watchdog, &QTimer::timeout, [] { gateway::NotifyWatchdog(); });
        }
    }

    int run() {
        const gateway::ConfigResult read = gateway::ReadConfig(m_path);
        report(read);
        if (!read.ok()) return kExitUsage;
        if (!openStorage(read.config.storage)) return kExitUsage;
        const SignalEvents handled({SIGINT, SIGTERM, SIGHUP},
                                   [this](int s) { s == SIGHUP ? reload() : stop(); });
        if (!roomForDescriptors(read.config, true) || !openListeners(read.config, true)) return kExitUsage;
        if (!apply(read.config, true)) return kExitFailed;
        // Without a period it would be a timer of 0 ms, and the loop would never rest.
        if (m_watchdog.interval() > 0) m_watchdog.start();
        m_status.start();
        m_healthTick.start();
        // Ready once the broker was tried: its first answer, or a few seconds without one.
        QTimer::singleShot(kReadyWait, &m_loop, [this] { ready(); });
        m_loop.exec();
        return kExitOk;
    }

  private:
    // Logs the file's mistakes and warnings, each with its line.
    void report(const gateway::ConfigResult &read) {
        for (const gateway::ConfigIssue &issue : read.issues) {
            const std::string text =
                issue.file + (issue.line ? ":" + std::to_string(issue.line) : "") + ": " + issue.reason;
            issue.warning ? gateway::LogWarning(text) : gateway::LogError(text);
        }
    }

    // The journal in the storage folder; without a folder, samples wait in memory only.
    bool openStorage(const gateway::StorageConfig &storage) {
        if (storage.path.empty()) {
            gateway::LogInfo("no storage folder: samples wait for the broker in memory only (at most " +
                             QString::number(storage.memoryMb).toStdString() +
                             " MB), and a restart loses them");
            return true;
        }
        m_journal = std::make_unique<JournalSender>(kInFlight, kLiveReserve);
        std::string problem;
        if (!m_journal->open(storage, problem)) {
            gateway::LogError(problem);
            return false;
        }
        if (!m_drain.isActive()) m_drain.start();
        return true;
    }

    void ready() {
        if (m_ready) return;
        m_ready = true;
        gateway::NotifyReady(statusLine());
    }

    // Takes a configuration in: only what differs from the running one changes.
    bool apply(const GatewayConfig &next, bool first) {
        const gateway::SensorDiff diff = gateway::Diff(m_config, next);
        // The storage folder holds the journal and the bdSeq: it changes only at the next start.
        GatewayConfig effective = next;
        if (!first && next.storage.path != m_config.storage.path) {
            gateway::LogWarning("[storage] path changes at the next start; the journal stays in " +
                                m_config.storage.path);
            effective.storage.path = m_config.storage.path;
        }
        const bool brokerChanged =
            first || !(next.broker == m_config.broker) || !(next.sparkplug == m_config.sparkplug);
        if (brokerChanged && !startBroker(effective)) return false;
        for (const std::string &name : diff.removed)
            endSensor(name, "removed from the configuration", true);
        for (const std::string &name : diff.changed)
            endSensor(name, "restarted with its new settings", false);
        if (m_journal) m_journal->apply(effective.storage);
        m_config = effective;
        for (const gateway::SensorConfig &s : next.sensors) {
            if (m_sensors.count(s.name)) {
                m_sensors[s.name]->setReconnectMax(next.reconnectMax);
                if (brokerChanged) publishState(*m_sensors[s.name]);
                continue;
            }
            startSensor(s);
        }
        setLimits();
        m_previous = next;
        if (!first)
            gateway::LogInfo("configuration applied: " + std::to_string(diff.added.size()) + " added, " +
                             std::to_string(diff.removed.size()) + " removed, " +
                             std::to_string(diff.changed.size()) + " changed, " +
                             std::to_string(diff.unchanged.size()) + " unchanged");
        return true;
    }

    // The memory buffer's limits, the same share for every sensor.
    void setLimits() {
        const std::size_t share =
            Bytes(m_config.storage.memoryMb) / std::max<std::size_t>(1, m_sensors.size());
        for (auto &[name, sensor] : m_sensors)
            sensor->setLimits(m_config.bufferSeconds, share);
    }

    bool startBroker(const GatewayConfig &next) {
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
    void startSparkplug(const GatewayConfig &next) {
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
    mqtt::Message farewell() const {
        if (m_sparkplug) return {m_sparkplug->deathTopic(), m_sparkplug->deathPayload(), 1, false};
        return {m_gatewayTopic + "/status", "offline", 1, true};
    }

    void addDevice(const GatewaySensor &s) {
        std::vector<std::pair<std::string, std::string>> properties{{"target", s.config().target}};
        for (const auto &[key, value] : s.config().tags)
            properties.emplace_back("tag/" + key, value);
        m_sparkplug->addDevice(s.config().name, std::move(properties));
    }

    void startSensor(const gateway::SensorConfig &config) {
        Target target;
        std::string problem;
        if (!ParseTarget(config.target, config.name, target, problem)) {
            gateway::LogError(config.name + ": " + problem);
            return;
        }
        auto sensor = std::make_unique<GatewaySensor>(config, target);
        sensor->setReconnectMax(m_config.reconnectMax);
        sensor->onSample = [this](GatewaySensor &s, const Sample &sample) { sampled(s, sample); };
        sensor->onState = [this](GatewaySensor &s) { changed(s); };
        GatewaySensor &s = *sensor;
        m_sensors[config.name] = std::move(sensor);
        if (m_sparkplug) addDevice(s);
        if (config.modbusUnit) m_units[config.modbusUnit] = &s;
        s.start();
    }

    // Ends a sensor; one removed for good leaves no retained status or health behind
    // (an empty retained message clears the broker's copy).
    void endSensor(const std::string &name, const std::string &why, bool removed) {
        auto it = m_sensors.find(name);
        if (it == m_sensors.end()) return;
        GatewaySensor &s = *it->second;
        s.stop();
        gateway::LogInfo(name + ": " + why);
        if (m_sparkplug) m_sparkplug->removeDevice(name);
        if (m_client && m_json) {
            // A removed sensor leaves no retained status or health behind.
            m_client->publish({s.statusTopic(), removed ? "" : "offline", 1, true});
            m_client->publish({s.healthTopic(), removed ? "" : s.healthJson(), 1, true});
        }
        m_droppedByEnded += static_cast<uint64_t>(s.dropped()); // the process's total never goes down
        if (s.config().modbusUnit) m_units.erase(s.config().modbusUnit);
        // Its samples waiting in memory still go (those in the journal know their topic).
        while (!s.waiting().empty())
            m_orphans.push_back({s.dataTopic(), s.next().payload});
        m_sensors.erase(it);
    }

    // Opens the listeners the configuration asks for before anything else changes, so
    // that one that cannot open refuses the whole configuration and the running ones stay.
    bool openListeners(const GatewayConfig &next, bool first) {
        const bool modbusChanged = first || !(next.modbus == m_previous.modbus);
        // Only the limits differ: the running listener takes them, it keeps its socket.
        const bool modbusMoves = first || !(next.modbus.listen == m_previous.modbus.listen) ||
                                 next.modbus.enabled != m_previous.modbus.enabled;
        const bool metricsMoves = first || !(next.metrics.listen == m_previous.metrics.listen) ||
                                  next.metrics.enabled != m_previous.metrics.enabled;
        std::unique_ptr<gateway::ModbusServer> modbus;
        std::unique_ptr<gateway::MetricsServer> metrics;
        std::string problem;
        if (modbusMoves && next.modbus.enabled) {
            modbus = std::make_unique<gateway::ModbusServer>(
                [this](uint8_t unit) -> const gateway::UnitSnapshot * {
                    const auto it = m_units.find(unit);
                    return it == m_units.end() ? nullptr : &it->second->snapshot();
                },
                ModbusLimits(next.modbus));
            if (!Listen(*modbus, "Modbus TCP", next.modbus.listen, problem)) return refuse(problem, first);
        }
        if (metricsMoves && next.metrics.enabled) {
            metrics = std::make_unique<gateway::MetricsServer>([this] { return metricsSnapshot(); });
            if (!Listen(*metrics, "metrics", next.metrics.listen, problem)) return refuse(problem, first);
        }
        if (modbusMoves)
            m_modbus = std::move(modbus);
        else if (modbusChanged && m_modbus)
            m_modbus->SetLimits(ModbusLimits(next.modbus));
        if (metricsMoves) m_metrics = std::move(metrics);
        return true;
    }

    template <typename Server>
    static bool Listen(Server &server, const std::string &what, const gateway::Endpoint &at,
                       std::string &problem) {
        if (server.Listen(QHostAddress(QString::fromStdString(at.host)), at.port, problem)) return true;
        problem = what + ": " + problem;
        return false;
    }

    static gateway::ListenerLimits ModbusLimits(const gateway::ModbusConfig &config) {
        gateway::ListenerLimits limits;
        limits.maxConnections = config.maxConnections;
        // 0: never closed for being idle; a full listener still takes a new client.
        limits.idle = config.idleTimeout > 0
                          ? std::chrono::milliseconds(std::llround(config.idleTimeout * 1000))
                          : std::chrono::milliseconds(std::chrono::hours(24 * 365));
        for (const std::string &text : config.allow) {
            gateway::Network network;
            if (gateway::ParseNetwork(text, network)) limits.allow.push_back(network);
        }
        return limits;
    }

    // One descriptor per sensor and per listener connection, and a few for the rest.
    bool roomForDescriptors(const GatewayConfig &next, bool first) {
        const long needed = long(next.sensors.size()) +
                            (next.modbus.enabled ? next.modbus.maxConnections : 0) + kMetricsConnections +
                            kDescriptorsBesideSensors;
        std::string problem;
        return runtime::MakeRoomForDescriptors(needed, std::to_string(next.sensors.size()) + " sensors",
                                               problem) ||
               refuse(problem, first);
    }

    bool refuse(const std::string &problem, bool first) {
        gateway::LogError(first ? problem : problem + "; reload refused, the running configuration stays");
        return false;
    }

    void sampled(GatewaySensor &s, const Sample &sample) {
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

    bool canHandOver() const {
        return m_client && m_client->connected() && m_client->counts().waiting < kInFlight;
    }

    // Hands waiting samples over; a sensor that dropped some tells the new count in its
    // health message, once per drain rather than per sample, and after the drops at a
    // reconnect (which come after the states the reconnect published).
    void drain() {
        handOver();
        const bool connected = m_client && m_client->connected();
        bool left = !m_orphans.empty() || (m_journal && m_journal->pending());
        for (auto &[name, s] : m_sensors) {
            if (connected && s->dropsUntold())
                m_client->publish({s->healthTopic(), s->healthJson(), 1, true});
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
    void handOver() {
        while (!m_orphans.empty() && canHandOver()) {
            m_client->publish(m_orphans.front());
            m_orphans.pop_front();
        }
        handOverWaiting();
        if (m_journal) m_journal->replay();
    }

    void handOverWaiting() {
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

    void changed(GatewaySensor &s) {
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
    void refreshHealth() {
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
    void publishState(GatewaySensor &s) {
        if (!m_client || !m_json || !m_client->connected()) return;
        m_client->publish({s.statusTopic(), s.statusText(), 1, true});
        m_client->publish({s.healthTopic(), s.healthJson(), 1, true});
    }

    // The journal's figures, retained, whenever they changed (looked at every few seconds).
    void publishHealth() {
        if (!m_journal || !m_client || !m_client->connected()) return;
        std::string health = m_journal->healthJson();
        if (health == m_lastHealth) return;
        m_lastHealth = health;
        m_client->publish({m_gatewayTopic + "/health", std::move(health), 1, true});
    }

    std::string statusLine() const {
        int online = 0;
        for (const auto &[name, s] : m_sensors)
            online += s->online();
        if (!m_client)
            return std::to_string(online) + " of " + std::to_string(m_sensors.size()) + " sensors online";
        return std::to_string(online) + " of " + std::to_string(m_sensors.size()) +
               " sensors online, broker " + mqtt::Address(m_client->broker()) +
               (m_client->connected() ? " connected" : " not connected");
    }

    // STATUS= when it changed, at most once a second: a thousand sensors coming back
    // together make one message, sent a second after the one before.
    void tellStatus() {
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

    gateway::MetricsSnapshot metricsSnapshot() const {
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

    void reload() {
        gateway::NotifyReloading("reloading " + m_path);
        const gateway::ConfigResult read = gateway::ReadConfig(m_path);
        report(read);
        if (!read.ok())
            gateway::LogError(m_path + " refused; the running configuration stays");
        else if (roomForDescriptors(read.config, false) && openListeners(read.config, false))
            apply(read.config, false);
        gateway::NotifyReady(statusLine());
    }

    void stop() {
        if (m_stopping) return;
        m_stopping = true;
        gateway::NotifyStopping("stopping");
        gateway::LogInfo("stopping");
        QTimer::singleShot(kGoodbye + 200ms, &m_loop, [this] { m_loop.quit(); });
        // Stopped, each sensor is offline, in its health message as well as in its status.
        for (auto &[name, s] : m_sensors) {
            s->stop();
            publishState(*s);
        }
        if (m_journal) {
            m_journal->closeRun(); // confirmed before the goodbye, these DDATA do not come again
            m_drain.stop();        // what is not handed over by now waits in the journal for the next start
            m_journal->sync();
        }
        if (!m_client) return m_loop.quit();
        m_client->onStopped = [this] { m_loop.quit(); };
        // Sparkplug B 3.0: the NDEATH goes out (QoS 1) before the DISCONNECT.
        if (m_json && m_sparkplug) m_client->publish({m_gatewayTopic + "/status", "offline", 1, true});
        m_client->stop(farewell(), kGoodbye);
    }

    std::string m_path;
    GatewayConfig m_config;   // the sensors' settings in force
    GatewayConfig m_previous; // the tables in force (broker, Modbus, metrics)
    std::unique_ptr<mqtt::Client> m_client, m_retired;
    std::string m_gatewayTopic;
    bool m_json = true; // the JSON topics are published
    std::shared_ptr<gateway::sparkplug::EdgeNode> m_sparkplug;
    std::map<std::string, std::unique_ptr<GatewaySensor>> m_sensors;
    std::map<int, GatewaySensor *> m_units;
    std::unique_ptr<gateway::ModbusServer> m_modbus;
    std::unique_ptr<gateway::MetricsServer> m_metrics;
    std::unique_ptr<JournalSender> m_journal; // none without a storage folder
    std::deque<mqtt::Message> m_orphans;      // removed sensors' samples that waited in memory
    QTimer m_drain, m_status, m_watchdog, m_healthTick;
    std::string m_healthAfter; // the name the last slice of health messages ended with
    double m_cycleSeconds = 0;
    double m_backlogSince = -1;    // when samples began to wait (monotonic seconds); -1: none wait
    uint64_t m_droppedByEnded = 0; // samples dropped by sensors no longer running
    std::string m_lastStatus, m_lastHealth;
    std::chrono::steady_clock::time_point m_statusSentAt{};
    runtime::LoopTimer m_statusLater; // the status held back by the once-a-second rule
    bool m_ready = false;
    bool m_stopping = false;
    QEventLoop m_loop;
};

} // namespace

int RunGateway(const std::string &configPath) {
    return Gateway(configPath).run();
}

int CheckGatewayConfig(const std::string &configPath) {
    const gateway::ConfigResult read = gateway::ReadConfig(configPath);
    std::fputs(gateway::CheckReport(read, configPath).c_str(), stdout);
    return read.ok() ? kExitOk : kExitUsage;
}

} // namespace ctl
