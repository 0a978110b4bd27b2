#include "ctl/livepoller.h"

#include "runtime/utility.h"
#include "sensor/causes.h"

#include <algorithm>
#include <cctype>

using namespace runtime;

namespace ctl {

double Backoff::next() {
    m_current = m_current == 0.0 ? m_first : std::min(m_current * 2.0, m_longest);
    return runtime::Jittered(m_current);
}

bool IsVersionText(const std::string &version) {
    return !version.empty() && std::none_of(version.begin(), version.end(), [](char c) {
        return std::iscntrl(static_cast<unsigned char>(c)) != 0;
    });
}

std::string VersionCause(const sensor::Sensor &s) {
    return "the answer of " + s.address().place() + " to the version query is not a version text: " +
           sensor::HexBytes(s.answer(), sensor::kFrameBytes);
}

LivePoller::LivePoller(const Target &target, double interval, double pause)
    : m_target(target), m_interval(interval), m_pause(pause) {
    m_sensor.setAddress(target.address);
    vexalink::SetUp(m_sensor, m_frames);
    m_timer.setHandler([this] {
        if (m_state == State::Online)
            poll();
        else if (m_state != State::Stopped)
            connect();
    });
}

void LivePoller::start() {
    enter(State::Connecting);
    connect();
}

void LivePoller::stop() {
    // Stopped first: the operation that close() ends reports into a stopped poller.
    m_state = State::Stopped;
    m_timer.stop();
    m_sensor.close();
    m_cause = "stopped";
    m_sinceMs = WallClockMs();
}

void LivePoller::connect() {
    vexalink::Connect(m_sensor, [this](bool ok) {
        if (!ok) return failed();
        if (!IsVersionText(m_sensor.version())) {
            m_sensor.setCause(VersionCause(m_sensor));
            return failed();
        }
        // The program reads the RAM set whenever it connects; its frames carry those words.
        vexalink::ReadSet(m_sensor, m_set, vexalink::RAM, nullptr, [this](bool read) {
            if (!read) return failed();
            if (m_everConnected) ++m_counts.reconnects;
            m_everConnected = true;
            m_onlineSince = Timer();
            m_sensor.discardQueues();
            enter(State::Online);
            poll();
        });
    });
}

void LivePoller::poll() {
    m_cycleStart = Timer();
    vexalink::PollData(m_sensor, m_live, [this](bool ok) { polled(ok); });
}

void LivePoller::polled(bool ok) {
    if (m_state == State::Stopped) return;
    if (!ok) {
        ++(m_sensor.isOpen() ? m_counts.timeouts : m_counts.closed);
        return failed();
    }
    Sample s;
    s.seq = m_counts.samples++;
    s.wallMs = WallClockMs();
    s.monotonic = Timer();
    s.answerSeconds = s.monotonic - m_cycleStart;
    const vexalink::LiveValues &v = m_live;
    const uint16_t values[] = {v.dataChL,  v.dataChC,  v.dataChR, v.dataDensity,
                               v.dataSym1, v.dataSym2, v.dataVec, v.dataTemp};
    std::copy(std::begin(values), std::end(values), s.values);
    s.trigger = v.dataTrigger;
    if (s.monotonic - m_onlineSince >= kSettledSeconds) m_backoff.reset();
    if (onSample) onSample(s);
    if (m_state != State::Online) return; // stopped meanwhile
    const double wait = std::max(m_pause, m_interval - (Timer() - m_cycleStart));
    m_timer.startSeconds(wait);
}

void LivePoller::failed() {
    if (m_state == State::Stopped) return;
    m_cause = m_sensor.cause();
    m_sensor.close();
    if (m_state != State::Offline) enter(State::Offline);
    if (m_state == State::Stopped) return;
    m_timer.startSeconds(m_backoff.next());
}

void LivePoller::enter(State state) {
    m_state = state;
    m_sinceMs = WallClockMs();
    if (onState) onState(state, state == State::Offline ? m_cause : std::string());
}

} // namespace ctl
