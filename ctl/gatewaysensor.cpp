#include "ctl/gatewaysensor.h"

#include "ctl/output.h"
#include "runtime/utility.h"

namespace ctl {
namespace {

// Samples a sensor can deliver in a second at most (a 50 ms cycle): what its
// buffer must hold at the most for the configured seconds.
constexpr double kMostSamplesPerSecond = 25.0;
// What a waiting sample costs besides its payload: the deque's entry and the string's heap block.
constexpr std::size_t kWaitingOverhead = sizeof(GatewaySensor::Waiting) + 16;

std::size_t CostOf(const GatewaySensor::Waiting &sample) {
    return sample.payload.capacity() + kWaitingOverhead;
}

} // namespace

GatewaySensor::GatewaySensor(const gateway::SensorConfig &config, const Target &target)
    : m_config(config), m_target(target), m_source{config.name, target.text, dataTopic()},
      m_poller(target, config.interval) {
    m_poller.onSample = [this](const Sample &s) {
        m_snapshot.online = true;
        for (int k = 0; k < 7; ++k)
            m_snapshot.live[k] = s.values[k];
        m_snapshot.live[7] = s.trigger;
        m_snapshot.tempRaw = s.values[7];
        m_snapshot.sequence = static_cast<uint32_t>(s.seq);
        m_snapshot.takenAt = gateway::SteadyTime::clock::now();
        m_lastSample = s.monotonic;
        if (onSample) onSample(*this, s);
    };
    m_poller.onState = [this](LivePoller::State, const std::string &) {
        m_snapshot.online = online();
        if (onState) onState(*this);
    };
}

void GatewaySensor::wait(Waiting sample) {
    m_waitingBytes += CostOf(sample);
    m_waiting.push_back(std::move(sample));
}

GatewaySensor::Waiting GatewaySensor::next() {
    Waiting oldest = std::move(m_waiting.front());
    m_waiting.pop_front();
    m_waitingBytes -= CostOf(oldest);
    if (m_waiting.empty()) m_waiting.shrink_to_fit(); // the outage's blocks go back
    return oldest;
}

void GatewaySensor::setLimits(double seconds, std::size_t bytes) {
    m_bufferSeconds = seconds;
    m_bufferBytes = bytes;
}

void GatewaySensor::dropStale(double now) {
    const std::size_t most = static_cast<std::size_t>(m_bufferSeconds * kMostSamplesPerSecond) + 1;
    while (!m_waiting.empty() && (now - m_waiting.front().since > m_bufferSeconds ||
                                  m_waiting.size() > most || m_waitingBytes > m_bufferBytes)) {
        next();
        ++m_dropped;
    }
}

gateway::SensorMetrics GatewaySensor::metrics(double now) const {
    const LivePoller::Counts &c = m_poller.counts();
    return {m_config.name,
            online(),
            static_cast<uint64_t>(c.samples),
            static_cast<uint64_t>(c.timeouts),
            static_cast<uint64_t>(c.reconnects),
            m_lastSample < 0 ? -1.0 : now - m_lastSample};
}

std::string GatewaySensor::statusText() const {
    return StatusText(m_poller);
}

std::string GatewaySensor::healthJson() {
    m_droppedTold = m_dropped;
    m_samplesTold = m_poller.counts().samples;
    std::string tags;
    for (const auto &[key, value] : m_config.tags)
        tags += (tags.empty() ? "" : ",") + JsonString(key) + ":" + JsonString(value);
    return HealthJson(m_poller, ",\"name\":" + JsonString(m_config.name) +
                                    ",\"dropped\":" + std::to_string(m_dropped) + ",\"tags\":{" + tags + "}");
}

} // namespace ctl
