#include "ctl/gateway.h"

#include "ctl/gatewayservice.h"
#include "ctl/output.h"
#include "ctl/request.h"
#include "ctl/signals.h"
#include "gateway/log.h"
#include "gateway/notify.h"
#include "runtime/descriptors.h"

#include <QCoreApplication>
#include <QHostAddress>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>

namespace ctl {
namespace {

using namespace std::chrono_literals;

uint64_t Bytes(double mb) {
    return static_cast<uint64_t>(mb * 1e6);
}

} // namespace

Gateway::Gateway(std::string path) : m_path(std::move(path)) {
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

int Gateway::run() {
    const gateway::ConfigResult read = gateway::ReadConfig(m_path);
    report(read);
    if (!read.ok()) return kExitUsage;
    if (!openStorage(read.config.storage)) return kExitUsage;
    const SignalEvents handled({SIGINT, SIGTERM, SIGHUP}, [this](int s) { s == SIGHUP ? reload() : stop(); });
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

// Logs the file's mistakes and warnings, each with its line.
void Gateway::report(const gateway::ConfigResult &read) {
    for (const gateway::ConfigIssue &issue : read.issues) {
        const std::string text =
            issue.file + (issue.line ? ":" + std::to_string(issue.line) : "") + ": " + issue.reason;
        issue.warning ? gateway::LogWarning(text) : gateway::LogError(text);
    }
}

// The journal in the storage folder; without a folder, samples wait in memory only.
bool Gateway::openStorage(const gateway::StorageConfig &storage) {
    if (storage.path.empty()) {
        gateway::LogInfo("no storage folder: samples wait for the broker in memory only (at most " +
                         QString::number(storage.memoryMb).toStdString() + " MB), and a restart loses them");
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

void Gateway::ready() {
    if (m_ready) return;
    m_ready = true;
    gateway::NotifyReady(statusLine());
}

// Takes a configuration in: only what differs from the running one changes.
bool Gateway::apply(const GatewayConfig &next, bool first) {
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
void Gateway::setLimits() {
    const std::size_t share = Bytes(m_config.storage.memoryMb) / std::max<std::size_t>(1, m_sensors.size());
    for (auto &[name, sensor] : m_sensors)
        sensor->setLimits(m_config.bufferSeconds, share);
}

void Gateway::startSensor(const gateway::SensorConfig &config) {
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
void Gateway::endSensor(const std::string &name, const std::string &why, bool removed) {
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
bool Gateway::openListeners(const GatewayConfig &next, bool first) {
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
bool Gateway::Listen(Server &server, const std::string &what, const gateway::Endpoint &at,
                     std::string &problem) {
    if (server.Listen(QHostAddress(QString::fromStdString(at.host)), at.port, problem)) return true;
    problem = what + ": " + problem;
    return false;
}

gateway::ListenerLimits Gateway::ModbusLimits(const gateway::ModbusConfig &config) {
    gateway::ListenerLimits limits;
    limits.maxConnections = config.maxConnections;
    // 0: never closed for being idle; a full listener still takes a new client.
    limits.idle = config.idleTimeout > 0 ? std::chrono::milliseconds(std::llround(config.idleTimeout * 1000))
                                         : std::chrono::milliseconds(std::chrono::hours(24 * 365));
    for (const std::string &text : config.allow) {
        gateway::Network network;
        if (gateway::ParseNetwork(text, network)) limits.allow.push_back(network);
    }
    return limits;
}

// One descriptor per sensor and per listener connection, and a few for the rest.
bool Gateway::roomForDescriptors(const GatewayConfig &next, bool first) {
    const long needed = long(next.sensors.size()) + (next.modbus.enabled ? next.modbus.maxConnections : 0) +
                        kMetricsConnections + kDescriptorsBesideSensors;
    std::string problem;
    return runtime::MakeRoomForDescriptors(needed, std::to_string(next.sensors.size()) + " sensors",
                                           problem) ||
           refuse(problem, first);
}

bool Gateway::refuse(const std::string &problem, bool first) {
    gateway::LogError(first ? problem : problem + "; reload refused, the running configuration stays");
    return false;
}

void Gateway::reload() {
    gateway::NotifyReloading("reloading " + m_path);
    const gateway::ConfigResult read = gateway::ReadConfig(m_path);
    report(read);
    if (!read.ok())
        gateway::LogError(m_path + " refused; the running configuration stays");
    else if (roomForDescriptors(read.config, false) && openListeners(read.config, false))
        apply(read.config, false);
    gateway::NotifyReady(statusLine());
}

void Gateway::stop() {
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

int RunGateway(const std::string &configPath) {
    return Gateway(configPath).run();
}

int CheckGatewayConfig(const std::string &configPath) {
    const gateway::ConfigResult read = gateway::ReadConfig(configPath);
    std::fputs(gateway::CheckReport(read, configPath).c_str(), stdout);
    return read.ok() ? kExitOk : kExitUsage;
}

} // namespace ctl
