// The live-data cycle of one three-channel sensor, kept going for as long as
// the command runs: it connects as VexaV32 does (auto-send off, version, the
// RAM set), polls one data frame after the other, and when the sensor stops
// answering or its connection goes, reports it offline and connects again
// after a pause that doubles from 0.5 s to a ceiling (10 s unless set), with
// jitter; the pauses start short again only once the sensor has delivered samples
// for 10 s, so that one that answers its version and no data request backs off
// instead of flapping. It never waits:
// any number of pollers share one event loop, and a silent sensor delays no other.
#pragma once

#include "ctl/target.h"
#include "runtime/timers.h"
#include "sensor/sensor.h"
#include "vexalink/paralink.h"
#include "vexalink/paraset.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>

namespace sensor {
class Trace;
}

namespace ctl {

// The values of one live sample, in the order records and messages list them.
struct Sample {
    int64_t seq = 0;
    int64_t wallMs = 0;       // when the answer came, on the wall clock
    double monotonic = 0;     // the same on a monotonic clock, seconds
    double answerSeconds = 0; // from the request to the answer
    uint16_t values[8] = {};  // CH_L, CH_C, CH_R, DENS, SYM1, SYM2, VECTOR, TEMP_raw
    uint16_t trigger = 0;
    bool historical = false; // sent later from the gateway's journal, not as it was taken
};

// The longest pause between attempts to reach a sensor, unless configured otherwise:
// a sensor back after a long outage is served again within it.
constexpr double kDefaultReconnectMax = 10.0;
// A sensor counts as back, and its pauses start short again, after this long online.
constexpr double kSettledSeconds = 10.0;

// Reconnect delays: from first doubling up to longest, each with jitter of
// plus or minus a fifth, so that sensors that failed together do not come back
// together.
class Backoff {
  public:
    explicit Backoff(double first = 0.5, double longest = kDefaultReconnectMax)
        : m_first(first), m_longest(longest) {}
    void setLongest(double longest) { m_longest = std::max(m_first, longest); }
    // The next delay in seconds.
    double next();
    void reset() { m_current = 0.0; }

  private:
    double m_first, m_longest, m_current = 0.0;
};

// Between an answer and the next request, as the program's Go.
constexpr double kCyclePause = 0.050;

class LivePoller {
  public:
    enum class State { Connecting, Online, Offline, Stopped };
    struct Counts {
        int64_t samples = 0;
        int64_t timeouts = 0;   // exchanges without a (whole) answer
        int64_t closed = 0;     // exchanges ended by the connection's end (closed by the server, device gone)
        int64_t reconnects = 0; // connections made again after a failure
    };

    // interval: seconds from one request to the next; pause: at least this
    // long between an answer and the next request.
    LivePoller(const Target &target, double interval, double pause = kCyclePause);
    LivePoller(const LivePoller &) = delete;
    LivePoller &operator=(const LivePoller &) = delete;

    // A sample, as it came.
    std::function<void(const Sample &)> onSample;
    // A change of state, with the cause in words when the sensor went offline.
    std::function<void(State, const std::string &cause)> onState;

    void setTrace(sensor::Trace *trace) { m_sensor.setTrace(trace); }
    // The longest pause between attempts to connect, in seconds.
    void setReconnectMax(double seconds) { m_backoff.setLongest(seconds); }
    void start();
    // Ends polling and closes the link: offline since now, cause "stopped"; no callback runs after it.
    void stop();

    State state() const { return m_state; }
    const std::string &cause() const { return m_cause; }
    int64_t sinceMs() const { return m_sinceMs; } // wall clock of the last change of state
    const Counts &counts() const { return m_counts; }
    const std::string &version() const { return m_sensor.version(); }

  private:
    void connect();
    void poll();
    void polled(bool ok);
    void failed();
    void enter(State state);

    Target m_target;
    double m_interval;
    double m_pause;
    sensor::Sensor m_sensor;
    vexalink::ParaState m_set;
    vexalink::ParameterFrames m_frames{m_set};
    vexalink::LiveValues m_live;
    runtime::LoopTimer m_timer; // the next cycle, or the next attempt to connect
    Backoff m_backoff;
    State m_state = State::Stopped;
    std::string m_cause;
    int64_t m_sinceMs = 0;
    bool m_everConnected = false;
    double m_cycleStart = 0.0;
    double m_onlineSince = 0.0; // monotonic seconds
    Counts m_counts;
};

// A version answer that is text: not empty, no control characters. An answer
// that begins with a zero byte (an answer frame's marker, say) is not the
// sensor's version.
bool IsVersionText(const std::string &version);
// Why a version answer is refused, with its bytes.
std::string VersionCause(const sensor::Sensor &s);

} // namespace ctl
