// One sensor of the gateway: its live-data cycle, its samples waiting in memory
// for the broker (at most the configured seconds and bytes of them, the rest
// dropped and counted), its state for the broker, the Modbus table and the metrics.
#pragma once

#include "ctl/livepoller.h"
#include "ctl/target.h"
#include "gateway/config.h"
#include "gateway/journalformat.h"
#include "gateway/metrics.h"
#include "gateway/modbus.h"

#include <deque>
#include <functional>
#include <string>

namespace ctl {

class GatewaySensor {
  public:
    // target: parsed from config.target.
    GatewaySensor(const gateway::SensorConfig &config, const Target &target);

    const gateway::SensorConfig &config() const { return m_config; }
    const Target &target() const { return m_target; }
    // As its samples name it in the journal.
    const gateway::journal::Source &source() const { return m_source; }
    // Sample payloads wait here while the broker is away or busy.
    struct Waiting {
        double since; // monotonic seconds
        std::string payload;
    };
    const std::deque<Waiting> &waiting() const { return m_waiting; }
    void wait(Waiting sample);
    // The oldest waiting sample, taken out.
    Waiting next();
    int64_t dropped() const { return m_dropped; }
    // How much may wait: seconds of samples, and bytes.
    void setLimits(double seconds, std::size_t bytes);
    // Drops waiting samples older or more than the buffer allows; counts them.
    void dropStale(double now);
    std::size_t waitingBytes() const { return m_waitingBytes; }

    // A new sample (payload made), or a change of state.
    std::function<void(GatewaySensor &, const Sample &)> onSample;
    std::function<void(GatewaySensor &)> onState;

    void start() { m_poller.start(); }
    // The longest pause between attempts to reach the sensor, in seconds.
    void setReconnectMax(double seconds) { m_poller.setReconnectMax(seconds); }
    void stop() { m_poller.stop(); }

    bool online() const { return m_poller.state() == LivePoller::State::Online; }
    const LivePoller &poller() const { return m_poller; }
    const gateway::UnitSnapshot &snapshot() const { return m_snapshot; }
    gateway::SensorMetrics metrics(double now) const;

    std::string statusText() const;
    // state, since, cause, version, counts, dropped samples and tags, as JSON; it
    // notes the dropped count it tells.
    std::string healthJson();
    // Samples were dropped since the last health message.
    bool dropsUntold() const { return m_dropped != m_droppedTold; }
    // Samples came since the last health message.
    bool samplesUntold() const { return m_poller.counts().samples != m_samplesTold; }
    std::string dataTopic() const { return m_config.topic + "/data"; }
    std::string statusTopic() const { return m_config.topic + "/status"; }
    std::string healthTopic() const { return m_config.topic + "/health"; }

  private:
    gateway::SensorConfig m_config;
    Target m_target;
    gateway::journal::Source m_source;
    double m_bufferSeconds = 60;
    std::size_t m_bufferBytes = 64 << 20;
    std::size_t m_waitingBytes = 0;
    LivePoller m_poller;
    gateway::UnitSnapshot m_snapshot;
    double m_lastSample = -1.0; // monotonic seconds
    std::deque<Waiting> m_waiting;
    int64_t m_dropped = 0;
    int64_t m_droppedTold = 0; // by the last health message
    int64_t m_samplesTold = 0;
};

} // namespace ctl
