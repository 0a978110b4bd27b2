#include "sim/simsensor.h"

#include <algorithm>
#include <cerrno>
#include <stdexcept>
#include <unistd.h>

namespace sim {

namespace {

using Clock = std::chrono::steady_clock;

// Answers waiting for a far end that reads nothing; beyond this the wire loses them.
constexpr std::size_t kMaxQueued = 256;
constexpr std::size_t kReadChunk = 4096;
const Clock::duration kByteTime =
    std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(SimSensor::kByteSeconds));

Clock::duration periodOf(double perSecond) {
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / perSecond));
}

} // namespace

SensorFarm::SensorFarm() : m_loop(std::make_shared<FarmLoop>()) {}

std::size_t SensorFarm::size() const {
    std::lock_guard lock(m_loop->mutex());
    return m_loop->size();
}

SimSensor::SimSensor() : SimSensor(SensorFarm()) {}

SimSensor::SimSensor(const SensorFarm &farm) : m_loop(farm.m_loop), m_mutex(m_loop->mutex()) {
    std::lock_guard lock(m_mutex);
    m_key = m_loop->join(this);
}

SimSensor::~SimSensor() {
    std::lock_guard lock(m_mutex);
    m_loop->leave(m_key);
    for (Link &l : m_links) {
        m_loop->unwatch(l.fd);
        closeFd(l.fd);
    }
    m_loop->unwatch(m_listenFd);
    closeFd(m_listenFd);
    closeFd(m_pty.slave);
}

int SimSensor::listenTcp(int port, const std::string &address) {
    int bound = 0;
    const int fd = openTcpListener(address, port, bound);
    std::lock_guard lock(m_mutex);
    m_loop->unwatch(m_listenFd);
    closeFd(m_listenFd);
    m_listenFd = fd;
    m_loop->watch(m_key, kListenerRole, fd, false);
    return bound;
}

std::string SimSensor::openPty() {
    std::lock_guard lock(m_mutex);
    if (m_links[PtyPort].fd < 0) {
        m_pty = openPtyDevice();
        m_links[PtyPort].fd = m_pty.master;
        m_loop->watch(m_key, PtyPort, m_pty.master, false);
    }
    return m_pty.path;
}

void SimSensor::setPacing(bool on) {
    std::lock_guard lock(m_mutex);
    m_pacing = on;
}

void SimSensor::setVersion(const std::string &text) {
    std::lock_guard lock(m_mutex);
    m_model.setVersion(text);
}

std::string SimSensor::version() const {
    std::lock_guard lock(m_mutex);
    return m_model.version();
}

SensorMemory SimSensor::memory() const {
    std::lock_guard lock(m_mutex);
    return m_model.memory();
}

void SimSensor::setMemory(const SensorMemory &m) {
    std::lock_guard lock(m_mutex);
    m_model.memory() = m;
}

CompMemory SimSensor::compMemory() const {
    std::lock_guard lock(m_mutex);
    return m_model.comp();
}

void SimSensor::clearCompMemory() {
    std::lock_guard lock(m_mutex);
    m_model.comp() = {};
}

bool SimSensor::autoSend() const {
    std::lock_guard lock(m_mutex);
    return m_model.autoSend();
}

long SimSensor::framesReceived() const {
    std::lock_guard lock(m_mutex);
    return m_frames;
}

void SimSensor::setMeasurement(const Measurement &m) {
    std::lock_guard lock(m_mutex);
    m_model.source().setFixed(m);
}

void SimSensor::setScript(std::vector<Measurement> script) {
    std::lock_guard lock(m_mutex);
    m_model.source().setScript(std::move(script));
}

void SimSensor::setDrift(unsigned seed) {
    std::lock_guard lock(m_mutex);
    m_model.source().setDrift(seed);
}

void SimSensor::setTriggerRate(double perSecond) {
    std::lock_guard lock(m_mutex);
    m_triggerRate = std::max(0.0, perSecond);
    if (m_triggerRate > 0) m_nextTrigger = Clock::now() + periodOf(m_triggerRate);
    m_loop->poke(m_key);
}

void SimSensor::fireTrigger() {
    std::lock_guard lock(m_mutex);
    ++m_pendingTriggers;
    m_loop->poke(m_key);
}

void SimSensor::setFault(const Fault &f) {
    std::lock_guard lock(m_mutex);
    m_faults.add(f, m_frames);
}

void SimSensor::clearFaults() {
    std::lock_guard lock(m_mutex);
    m_faults.clear();
}

std::vector<CaptureEntry> SimSensor::capture() const {
    std::lock_guard lock(m_mutex);
    return {m_capture.entries().begin(), m_capture.entries().end()};
}

void SimSensor::clearCapture() {
    std::lock_guard lock(m_mutex);
    m_capture.clear();
}

void SimSensor::setCaptureLimit(std::size_t entries) {
    std::lock_guard lock(m_mutex);
    m_capture.setLimit(entries);
}

void SimSensor::setCaptureListener(Capture::Listener l) {
    std::lock_guard lock(m_mutex);
    m_capture.setListener(std::move(l));
}

double SimSensor::now() const {
    return seconds(Clock::now());
}

double SimSensor::seconds(Clock::time_point t) const {
    return std::chrono::duration<double>(t - m_start).count();
}

// Called by the service thread with the lock held: what the sensor's own thread did on
// each wake-up before sensors shared one.
SimSensor::Clock::time_point SimSensor::serve(unsigned readable) {
    m_writeBlocked = false;
    runTriggers(Clock::now());
    if (readable & 1u << kListenerRole) acceptNewClient();
    for (int p = 0; p < kPorts; ++p)
        if (readable & 1u << p) readLink(Port(p));
    pumpOutput(Clock::now());
    watchWrites();
    return nextWakeUp();
}

// Waits for room to write only on the link whose output is stuck, as long as it is.
void SimSensor::watchWrites() {
    const bool blocked = m_writeBlocked && !m_out.empty();
    for (int p = 0; p < kPorts; ++p) {
        Link &l = m_links[p];
        const bool wanted = blocked && m_out.front().port == p;
        if (l.fd >= 0 && wanted != l.watchingWrites) m_loop->watch(m_key, p, l.fd, wanted);
        l.watchingWrites = wanted && l.fd >= 0;
    }
}

SimSensor::Clock::time_point SimSensor::nextWakeUp() const {
    Clock::time_point t = Clock::time_point::max();
    if (m_model.autoSend() && m_triggerRate > 0) t = m_nextTrigger;
    if (!m_out.empty() && !m_writeBlocked) {
        const Outgoing &o = m_out.front();
        t = std::min(t, o.started && m_pacing ? o.nextByte : o.due);
    }
    return t;
}

void SimSensor::acceptNewClient() {
    if (m_listenFd < 0) return;
    const int fd = acceptClient(m_listenFd);
    if (fd < 0) return;
    closeLink(TcpPort);
    m_links[TcpPort].fd = fd;
    m_loop->watch(m_key, TcpPort, fd, false);
}

void SimSensor::readLink(Port port) {
    std::uint8_t buf[kReadChunk];
    const ssize_t n = read(m_links[port].fd, buf, sizeof buf);
    if (n > 0) {
        receive(port, buf, std::size_t(n));
    } else if (port == TcpPort && (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))) {
        closeLink(port);
    }
}

void SimSensor::receive(Port port, const std::uint8_t *data, std::size_t n) {
    m_links[port].framer.push(
        data, n, [&](const Frame &f) { answer(port, f); },
        [&](const Bytes &garbage) {
            m_capture.add({now(), Direction::ToSensor, garbage});
        });
}

void SimSensor::answer(Port port, const Frame &cmd) {
    const double t = now();
    m_capture.add({t, Direction::ToSensor, Bytes(cmd.begin(), cmd.end())});
    ++m_frames;
    m_autoSendPort = port;
    schedule(port, m_faults.apply(wordAt(cmd, 1), m_frames, m_model.handle(cmd, t)));
}

void SimSensor::schedule(Port port, const ReplyPlan &plan) {
    const Clock::time_point now = Clock::now();
    auto push = [&](const Bytes &bytes, Clock::time_point due, bool close) {
        if (m_out.size() < kMaxQueued) m_out.push_back({port, bytes, due, close});
    };
    if (!plan.before.empty()) push(plan.before, now, false);
    const Clock::time_point due = now + std::chrono::milliseconds(plan.delayMs);
    if (plan.close) {
        push({}, due, true);
    } else if (!plan.answer.empty()) {
        push(plan.answer, due, false);
    }
}

void SimSensor::runTriggers(Clock::time_point now) {
    if (m_triggerRate > 0) {
        const Clock::duration period = periodOf(m_triggerRate);
        if (!m_model.autoSend()) {
            m_nextTrigger = now + period;
        } else if (now >= m_nextTrigger) {
            ++m_pendingTriggers;
            m_nextTrigger += period;
            if (m_nextTrigger < now) m_nextTrigger = now + period;
        }
    }
    if (!m_model.autoSend()) m_pendingTriggers = 0;
    for (; m_pendingTriggers > 0; --m_pendingTriggers)
        schedule(m_autoSendPort,
                 m_faults.apply(Fault::kAutoSendFrames, 0, m_model.dataFrame(seconds(now), true)));
}

void SimSensor::pumpOutput(Clock::time_point now) {
    while (!m_out.empty()) {
        Outgoing &o = m_out.front();
        const Port port = o.port;
        if (now < o.due) return;
        if (m_links[port].fd < 0 || o.close) {
            // Nobody to send to, or the server hangs up (a pseudo-terminal cannot: it stays silent).
            const bool hangUp = o.close && port == TcpPort;
            m_out.pop_front();
            if (hangUp) closeLink(port);
            continue;
        }
        if (!o.started) {
            o.started = true;
            m_capture.add({seconds(now), Direction::FromSensor, o.bytes});
            o.nextByte = std::max(now, m_lineFree) + kByteTime;
        }
        const WriteResult r = writeDue(o, now);
        if (r == WriteResult::Wait) return;
        m_out.pop_front();
        if (r == WriteResult::Failed && port == TcpPort) closeLink(port);
    }
}

SimSensor::WriteResult SimSensor::writeDue(Outgoing &o, Clock::time_point now) {
    while (o.sent < o.bytes.size()) {
        if (m_pacing && o.nextByte > now) return WriteResult::Wait;
        const std::size_t n = m_pacing ? 1 : o.bytes.size() - o.sent;
        const long w = writeSome(m_links[o.port].fd, o.port == TcpPort, o.bytes.data() + o.sent, n);
        if (w < 0) return WriteResult::Failed;
        if (w == 0) {
            m_writeBlocked = true;
            return WriteResult::Wait;
        }
        o.sent += std::size_t(w);
        if (m_pacing) {
            m_lineFree = o.nextByte;
            o.nextByte += kByteTime;
        }
    }
    return WriteResult::Done;
}

void SimSensor::closeLink(Port port) {
    m_loop->unwatch(m_links[port].fd);
    m_links[port].watchingWrites = false;
    closeFd(m_links[port].fd);
    m_links[port].framer.reset();
    std::erase_if(m_out, [port](const Outgoing &o) { return o.port == port; });
}

} // namespace sim
