// The gateway service as one object on the event loop: its configuration in
// force, its sensors by name, the broker connection with the journal and the
// Sparkplug node, the listeners, and what it tells systemd. Its life (start,
// reload, stop) is in gateway.cpp; where its samples and states go (the broker,
// systemd's status, the metrics) in gatewaybroker.cpp.
#pragma once

#include "ctl/gatewaysensor.h"
#include "ctl/journalsender.h"
#include "gateway/config.h"
#include "gateway/metricsserver.h"
#include "gateway/modbusserver.h"
#include "gateway/sparkplugnode.h"
#include "mqtt/client.h"
#include "runtime/timers.h"

#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <deque>
#include <map>
#include <memory>
#include <string>

namespace ctl {

using gateway::GatewayConfig;

class Gateway {
  public:
    explicit Gateway(std::string path);

    int run();

  private:
    static constexpr int kInFlight = 2000;   // samples handed to the broker connection and not yet confirmed
    static constexpr int kLiveReserve = 500; // of them, kept for live samples while the journal is replayed
    static constexpr int kDrainMs = 100;     // how often waiting samples are looked at while any wait
    static constexpr std::chrono::seconds kReadyWait{
        5}; // for the broker's first answer before the service says it is ready
    static constexpr std::chrono::milliseconds kGoodbye{
        700};                                   // the offline statuses at the end, within the stop's second
    static constexpr int kStatusEveryMs = 5000; // STATUS= to systemd, when it changed
    static constexpr std::chrono::seconds kStatusAtMostEvery{1};
    // Each sensor's health is told again within this many ticks when its counts moved,
    // a share of the sensors per tick: ten seconds in small slices, so that at 10,000
    // sensors no tick holds up a Modbus answer with a thousand messages.
    static constexpr std::size_t kHealthSlices = 100;
    static constexpr int kHealthTickMs = 100;
    static constexpr long kMetricsConnections = 8;
    // The broker, the listeners, the supervisor's socket, the event loop's own.
    static constexpr long kDescriptorsBesideSensors = 64;

    // Logs the file's mistakes and warnings, each with its line.
    void report(const gateway::ConfigResult &read);

    // The journal in the storage folder; without a folder, samples wait in memory only.
    bool openStorage(const gateway::StorageConfig &storage);

    void ready();

    // Takes a configuration in: only what differs from the running one changes.
    bool apply(const GatewayConfig &next, bool first);

    // The memory buffer's limits, the same share for every sensor.
    void setLimits();

    bool startBroker(const GatewayConfig &next);

    // The Sparkplug edge node on the new broker connection, with its devices.
    void startSparkplug(const GatewayConfig &next);

    // What the connection says last at a planned end: the NDEATH with Sparkplug.
    mqtt::Message farewell() const;

    void addDevice(const GatewaySensor &s);

    void startSensor(const gateway::SensorConfig &config);

    // Ends a sensor; one removed for good leaves no retained status or health behind
    // (an empty retained message clears the broker's copy).
    void endSensor(const std::string &name, const std::string &why, bool removed);

    // Opens the listeners the configuration asks for before anything else changes, so
    // that one that cannot open refuses the whole configuration and the running ones stay.
    bool openListeners(const GatewayConfig &next, bool first);

    template <typename Server>
    static bool Listen(Server &server, const std::string &what, const gateway::Endpoint &at,
                       std::string &problem);

    static gateway::ListenerLimits ModbusLimits(const gateway::ModbusConfig &config);

    // One descriptor per sensor and per listener connection, and a few for the rest.
    bool roomForDescriptors(const GatewayConfig &next, bool first);

    bool refuse(const std::string &problem, bool first);

    void sampled(GatewaySensor &s, const Sample &sample);

    bool canHandOver() const;

    // Hands waiting samples over; a sensor that dropped some tells the new count in its
    // health message, once per drain rather than per sample, and after the drops at a
    // reconnect (which come after the states the reconnect published).
    void drain();

    // Hands waiting samples to the broker connection, a few of each sensor in turn, then
    // the journal's unsent ones with what the connection has left after the live ones.
    void handOver();

    void handOverWaiting();

    void changed(GatewaySensor &s);

    // The counts of the next slice of the sensors in name order, where they moved:
    // every count is at most ten seconds old on the broker, at a tenth of a message
    // per sensor and second. The slice starts after the name the last one ended
    // with, so sensors added or removed meanwhile shift nothing.
    void refreshHealth();

    // Status and health, when the broker can take them: the connect tells every sensor's anyway.
    void publishState(GatewaySensor &s);

    // The journal's figures, retained, whenever they changed (looked at every few seconds).
    void publishHealth();

    std::string statusLine() const;

    // STATUS= when it changed, at most once a second: a thousand sensors coming back
    // together make one message, sent a second after the one before.
    void tellStatus();

    gateway::MetricsSnapshot metricsSnapshot() const;

    void reload();

    void stop();

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

} // namespace ctl
