#include "sensor/sensor.h"

#include "sensor/causes.h"
#include "sensor/trace.h"

#include <algorithm>
#include <iterator>

namespace sensor {
namespace {

constexpr double kVersionPause = 0.1;
constexpr double kVersionTimeoutSerial = 3.0;
constexpr double kVersionTimeoutTcp = 5.0;

} // namespace

Sensor::Sensor(Address address) : m_address(std::move(address)) {
    m_timer.setHandler([this] { deadline(); });
}

Sensor::~Sensor() {
    // Nobody is left to be told: the owner is going away.
    m_timer.stop();
    m_done = nullptr;
}

void Sensor::open(Done done) {
    close();
    // One transport for as long as the address stays, opened again each time: a sensor
    // that reconnects all day costs no memory for it. A transport is never destroyed
    // inside one of its own callbacks: one replaced for a new address may be running
    // one now, so it is kept until the next open.
    if (!m_transport || m_transportAddress != m_address) {
        m_retired = std::move(m_transport);
        m_transport = MakeTransport(m_address, kConnectTimeoutMs);
        m_transport->onReadable = [this] { arrived(); };
        m_transport->onLost = [this] { lost(); };
        m_transportAddress = m_address;
    }
    m_openResult = {};
    m_wait = Wait::Open;
    m_done = std::move(done);
    const unsigned seq = ++m_openSeq;
    m_transport->open([this, seq](const OpenResult &result) {
        if (seq != m_openSeq || m_wait != Wait::Open) return; // ended from outside meanwhile
        m_openResult = result;
        if (result.code != 0)
            m_cause = m_closedCause = OpenCause(m_address, result, kConnectTimeoutMs / 1000.0);
        if (m_trace) m_trace->outcome(result.code == 0 ? "opened " + m_address.place() : m_cause);
        finish(result.code == 0);
    });
}

void Sensor::close() {
    cancel("the link was closed while the operation waited");
    if (m_transport) m_transport->close();
    m_closedCause.clear();
}

void Sensor::reset() {
    close();
    std::fill(std::begin(m_tx), std::end(m_tx), '\0');
    std::fill(std::begin(m_rx), std::end(m_rx), '\0');
    m_dataSize = m_bytesToRead = m_bytesWritten = 0;
    m_echoOk = m_streaming = false;
    m_version.clear();
    m_cause.clear();
    m_openResult = {};
}

bool Sensor::fillFrame(uint16_t order, uint16_t a, uint16_t b, uint16_t n) {
    supersede();
    if (m_ending) return false; // the step of an operation being ended: nothing more goes out
    if (m_source && !m_source->fill(*this, order, a, b, n)) return false;
    putWord(0, kSync);
    putWord(1, order);
    return true;
}

void Sensor::putWord(int k, uint16_t value) {
    if (k < 0 || 2 * k + 1 >= kBufferBytes) return;
    m_tx[2 * k] = static_cast<char>(value >> 8);
    m_tx[2 * k + 1] = static_cast<char>(value & 0xFF);
}

uint16_t Sensor::answerWord(int j) const {
    if (j < 0 || 2 * j + 1 >= kBufferBytes) return 0;
    auto byte = [this](int i) { return static_cast<uint16_t>(static_cast<unsigned char>(m_rx[i])); };
    return static_cast<uint16_t>(byte(2 * j) * 256 + byte(2 * j + 1));
}

bool Sensor::echoMatches(int len) const {
    if (m_rx[0] != 0x00 || static_cast<unsigned char>(m_rx[1]) != 0xAA) return false;
    const int end = std::clamp(2 * len, 2, kBufferBytes);
    return std::equal(m_rx + 2, m_rx + end, m_tx + 2);
}

int Sensor::send() {
    supersede();
    const int closedCode = serial() ? static_cast<int>(kSerialPortNotOpen) : kTcpNoConnectionEstablished;
    if (m_ending) return m_bytesWritten = closedCode;
    const int written = isOpen() ? m_transport->write(m_tx, kFrameBytes) : closedCode;
    m_bytesWritten = written;
    if (m_trace) m_trace->sent(m_tx, kFrameBytes);
    if (written != kFrameBytes) m_cause = isOpen() ? UnwrittenCause(m_address, written) : notOpenCause();
    return written;
}

void Sensor::discardQueues() {
    supersede();
    if (m_ending || !serial() || !m_transport) return;
    m_transport->discardInput();
    m_transport->discardOutput();
}

void Sensor::dropReceived() {
    if (m_transport) m_transport->discardInput();
}

void Sensor::expectAnswer() {
    supersede();
    if (serial()) return;
    m_bytesToRead = kFrameBytes;
    m_dataSize = kFrameBytes;
}

void Sensor::awaitAnswer(double timeout, Done done) {
    m_waitTimeout = timeout;
    m_echoWords = 0;
    // Without a transport nothing can come; the wait ends at once, from the loop.
    const bool complete =
        !isOpen() || (serial() ? m_transport->available() >= kFrameBytes : m_bytesToRead <= 0);
    startWait(Wait::Answer, complete ? 0.0 : timeout, std::move(done));
}

void Sensor::exchange(double timeout, Done done) {
    if (serial())
        discardQueues();
    else
        expectAnswer();
    send();
    awaitAnswer(timeout, [this, done = std::move(done)](bool ok) {
        traceOutcome(ok);
        done(ok);
    });
}

void Sensor::checkEcho(int len, Done done) {
    expectAnswer(); // the caller has written the frame; its answer is taken only inside the wait
    awaitAnswer(m_echoTimeout, [this, len, done = std::move(done)](bool complete) {
        // An answer that did not come whole is no echo either.
        m_echoOk = complete && echoMatches(len);
        if (complete && !m_echoOk) {
            m_echoWords = len;
            m_cause = failureCause();
        }
        const bool ok = complete && m_echoOk;
        traceOutcome(ok);
        done(ok);
    });
}

void Sensor::queryVersion(Done done) {
    pause(kVersionPause, [this, done = std::move(done)](bool) mutable {
        fillFrame(kVersionCommand);
        double timeout = kVersionTimeoutTcp;
        if (serial()) {
            discardQueues();
            m_dataSize = 0;
            timeout = kVersionTimeoutSerial;
        } else {
            expectAnswer();
        }
        send();
        awaitAnswer(timeout, [this, done = std::move(done)](bool ok) {
            if (ok) {
                const char *end = std::find(m_rx, m_rx + kFrameBytes, '\0');
                m_version.assign(static_cast<const char *>(m_rx), end);
            }
            traceOutcome(ok);
            done(ok);
        });
    });
}

void Sensor::pause(double seconds, Done done) {
    startWait(Wait::Pause, std::max(seconds, 0.0), std::move(done));
}

void Sensor::awaitStreamedFrame(Done done) {
    // Until a frame is taken, none is complete, also when the wait is cancelled.
    m_bytesToRead = m_dataSize = kFrameBytes;
    if (!serial()) takeTcpBytes(); // a frame that came together with the one before
    const bool complete = serial() ? isOpen() && m_transport->available() >= kFrameBytes : m_bytesToRead <= 0;
    startWait(Wait::Streamed, complete ? 0.0 : -1.0, std::move(done));
}

void Sensor::cancel(const std::string &why) {
    m_timer.stop();
    if (m_wait == Wait::Open) ++m_openSeq;
    m_wait = Wait::None;
    Done done = std::move(m_done);
    m_done = nullptr;
    if (!done) return;
    m_cause = why;
    if (m_trace) m_trace->outcome(m_cause);
    // Steps the done starts (a next frame, a pause) fail at once and end the operation.
    const bool outermost = !m_ending;
    m_ending = true;
    done(false);
    if (outermost) m_ending = false;
}

void Sensor::startWait(Wait wait, double timeout, Done done) {
    supersede();
    if (m_ending) return done(false);
    m_wait = wait;
    m_done = std::move(done);
    if (timeout >= 0.0) m_timer.startSeconds(timeout);
}

void Sensor::arrived() {
    if (!serial()) {
        takeTcpBytes();
        if ((m_wait == Wait::Answer || m_wait == Wait::Streamed) && m_bytesToRead == 0) endAnswer();
        return;
    }
    // Serial bytes stay queued until a wait takes them or a flush drops them.
    if ((m_wait == Wait::Answer || m_wait == Wait::Streamed) && m_transport->available() >= kFrameBytes)
        endAnswer();
}

void Sensor::takeTcpBytes() {
    if (!m_transport) return;
    bool drained = false;
    while (m_bytesToRead > 0) {
        const int pos = m_dataSize - m_bytesToRead;
        if (pos < 0 || pos >= kBufferBytes) break;
        // Bytes after the answer come in the same read and are dropped with it,
        // unless frames stream in on their own: then they start the next frame.
        const int room = m_streaming ? std::min(m_bytesToRead, kBufferBytes - pos) : kBufferBytes - pos;
        const int got = m_transport->read(m_rx + pos, room);
        if (got <= 0) return;
        drained = got < room; // a short read has taken everything there was
        m_bytesToRead = std::max(m_bytesToRead - got, 0);
    }
    // Bytes nobody awaits would only clog the connection.
    if (m_bytesToRead < 1 && !m_streaming && !drained) m_transport->discardInput();
}

void Sensor::lost() {
    m_cause = m_closedCause =
        serial() ? DeviceLostCause(m_address.place()) : ServerClosedCause(m_address.place());
    if (m_trace) m_trace->outcome(m_cause);
    if (onLost) onLost();
    if (m_wait == Wait::Answer || m_wait == Wait::Streamed) finish(false);
}

void Sensor::deadline() {
    switch (m_wait) {
    case Wait::Answer:
        endAnswer();
        break;
    case Wait::Streamed:
        if (serial() ? isOpen() && m_transport->available() >= kFrameBytes : m_bytesToRead <= 0) endAnswer();
        break;
    case Wait::Pause:
        finish(true);
        break;
    case Wait::Open:
    case Wait::None:
        break;
    }
}

// Ends an answer wait: a serial wait takes what has come (a streamed frame
// exactly 36 bytes, so that frames queued behind it stay whole); judged complete
// exactly when bytesToRead is 0.
void Sensor::endAnswer() {
    if (serial()) {
        m_dataSize = isOpen() ? m_transport->available() : 0;
        const int take = m_wait == Wait::Streamed ? std::min(m_dataSize, kFrameBytes) : m_dataSize;
        if (take > 0) m_transport->read(m_rx, std::min(take, kBufferBytes));
        if (m_wait == Wait::Streamed) m_dataSize = take;
        m_bytesToRead = kFrameBytes - m_dataSize;
    }
    const int count = serial() ? m_dataSize : m_dataSize - m_bytesToRead;
    if (m_trace && count > 0) m_trace->received(m_rx, std::min(count, kBufferBytes));
    const bool ok = m_bytesToRead == 0;
    if (!ok) {
        // A frame still stuck in the output queue never left: nBytesW says so.
        const int stuck = isOpen() ? std::min(m_transport->pendingOutput(), kFrameBytes) : 0;
        if (stuck > 0 && m_bytesWritten == kFrameBytes) m_bytesWritten = kFrameBytes - stuck;
        m_cause = failureCause();
    }
    finish(ok);
}

void Sensor::traceOutcome(bool ok) {
    if (m_trace) m_trace->outcome(ok ? "ok" : "TIMEOUT: " + m_cause);
    if (onOutcome) onOutcome(ok);
}

std::string Sensor::failureCause() const {
    if (!isOpen()) return notOpenCause();
    if (m_bytesToRead != 0 && m_bytesWritten != kFrameBytes) return UnwrittenCause(m_address, m_bytesWritten);
    const int count = serial() ? m_dataSize : m_dataSize - m_bytesToRead;
    return AnswerCause(
        {m_address.place(), m_waitTimeout, m_rx, count, std::min(count, kBufferBytes), m_tx, m_echoWords});
}

// Why nothing can be written or read: the loss of the transport or the failed
// open say more than that it is not open.
std::string Sensor::notOpenCause() const {
    if (!m_closedCause.empty()) return m_closedCause;
    return UnwrittenCause(m_address,
                          serial() ? static_cast<int>(kSerialPortNotOpen) : kTcpNoConnectionEstablished);
}

void Sensor::finish(bool ok) {
    m_timer.stop();
    m_wait = Wait::None;
    Done done = std::move(m_done);
    m_done = nullptr;
    if (done) done(ok);
}

} // namespace sensor
