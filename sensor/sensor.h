// One conversation with one sensor: its transport, its frame image (the bytes a
// command frame carries over from the frames before it), the exchange in
// progress and the cause of the last failure. Exchanges are operations on the
// event loop: each one starts, returns at once and reports through its done
// callback from the loop, so that one thread serves any number of sensors.
// A sensor runs one operation at a time; its owner sequences them. A frame built,
// sent or awaited while an operation waits ends that operation first (done(false),
// with the cause saying so), so that nobody waits for an answer that went to another.
#pragma once

#include "runtime/timers.h"
#include "sensor/address.h"
#include "sensor/transport.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace sensor {

constexpr int kFrameWords = 18; // anzframe
constexpr int kFrameBytes = 36;
constexpr int kBufferBytes = 1024; // of each frame buffer, as the serial input queue
constexpr uint16_t kSync = 0x0055;
constexpr uint16_t kAnswerMarker = 0x00AA;
constexpr double kAnswerTimeout = 3.0; // reads, data requests and the parameter tool's echoes
constexpr int kConnectTimeoutMs = 5000;
constexpr uint16_t kVersionCommand = 7;

class Sensor;
class Trace;

// What a program puts after the command code (FillTxBuf's words 2..): its
// parameter record, or its block addresses and data words.
class FrameSource {
  public:
    virtual ~FrameSource() = default;
    // Writes the words of a command after word 1; false (nothing written) when
    // a, b or n reach outside the frame or the program's word arrays.
    virtual bool fill(Sensor &sensor, uint16_t order, uint16_t a, uint16_t b, uint16_t n) = 0;
};

class Sensor {
  public:
    using Done = std::function<void(bool ok)>;

    explicit Sensor(Address address = {});
    ~Sensor();
    Sensor(const Sensor &) = delete;
    Sensor &operator=(const Sensor &) = delete;

    // Where the sensor is; a new address takes effect at the next open().
    const Address &address() const { return m_address; }
    void setAddress(const Address &address) { m_address = address; }
    // The answer wait of an echo check (CheckEcho), 3 s unless a program says otherwise.
    void setEchoTimeout(double seconds) { m_echoTimeout = seconds; }
    double echoTimeout() const { return m_echoTimeout; }
    // Who fills the words of a command frame; none fills only sync and command code.
    void setFrameSource(FrameSource *source) { m_source = source; }
    // Frames and outcomes go into trace while it is set (and on).
    void setTrace(Trace *trace) { m_trace = trace; }
    // Runs once when the server closed the connection or the device stopped
    // working; the operation in progress then fails at once.
    std::function<void()> onLost;
    // Runs at the end of every exchange (exchange, checkEcho, queryVersion) with its outcome.
    std::function<void(bool ok)> onOutcome;

    // Closes what is open, then opens the port or connects; done(false) with
    // openResult() and cause() when it could not.
    void open(Done done);
    // Ends the operation in progress (its done runs with false and the cause
    // "closed") and closes the transport.
    void close();
    // Closes, and returns the frame image and every state of the conversation to
    // its start: zero bytes, no version, no cause.
    void reset();
    bool isOpen() const { return m_transport && m_transport->isOpen(); }
    const OpenResult &openResult() const { return m_openResult; }

    // The command frame: word 0 = sync, word 1 = order, the rest from the frame
    // source; bytes a command does not write keep what the frame before left.
    // False, with nothing written, when the source refuses the arguments.
    bool fillFrame(uint16_t order, uint16_t a = 0, uint16_t b = 0, uint16_t n = 0);
    // Word k (0..kBufferBytes/2-1) of the frame image, high byte first.
    void putWord(int k, uint16_t value);
    // Word j of the received bytes (bytes 2j and 2j+1), 0 beyond the buffer.
    uint16_t answerWord(int j) const;
    const char *frame() const { return m_tx; }
    const char *answer() const { return m_rx; }
    // True when the answer holds the marker and repeats bytes 2 .. 2*len-1 of the frame.
    bool echoMatches(int len) const;

    // Writes the 36 bytes of the frame; the count taken or a negative code,
    // also kept as bytesWritten() (nBytesW).
    int send();
    // Empties both serial queues (FlushInQ, FlushOutQ); nothing on TCP.
    void discardQueues();
    // Drops every received byte not taken yet, on either transport.
    void dropReceived();
    // On TCP: an answer of 36 bytes is awaited from now on (bytesToRead =
    // dataSize = 36); arriving bytes go into the answer buffer. Nothing on serial.
    void expectAnswer();
    // No answer is awaited any more: bytes that come are dropped (unless streaming).
    void expectNothing() { m_bytesToRead = 0; }
    // The answer wait: done(true) once 36 bytes came within timeout seconds
    // (serial: 36 or more queued, all of them taken; more than 36 fails).
    void awaitAnswer(double timeout, Done done);
    // One request with an answer: serial queues emptied, the frame sent, the
    // answer awaited.
    void exchange(double timeout, Done done);
    // Awaits the answer to the frame just sent and checks it as an echo of its
    // first len words; echoOk() holds the result.
    void checkEcho(int len, Done done);
    // The version query: a pause of 0.1 s, command 7, its 36-byte text awaited
    // (3 s on serial, 5 s on TCP); version() holds the text after success.
    void queryVersion(Done done);
    // Lets the given seconds pass (the loop goes on meanwhile), then done(true).
    void pause(double seconds, Done done);
    // Frames sent by the sensor on its own follow each other: bytes after a
    // complete one are the start of the next one, never dropped.
    void setStreaming(bool on) { m_streaming = on; }
    // Awaits the next such frame without a time-out (cancel() ends the wait).
    void awaitStreamedFrame(Done done);
    // Ends the operation in progress: its done runs with false, the cause saying
    // why, so that whoever waits for it returns. Steps its done starts fail at once.
    void cancel(const std::string &why = "the operation was cancelled");
    bool busy() const { return static_cast<bool>(m_done); }

    // The state of the last answer wait, under the names the programs use.
    int bytesToRead() const { return m_bytesToRead; }
    int dataSize() const { return m_dataSize; }
    int bytesWritten() const { return m_bytesWritten; }
    // The echo flag (comecho): 1 after a confirmed exchange, 0 after any failure.
    bool echoOk() const { return m_echoOk; }
    void setEchoOk(bool ok) { m_echoOk = ok; }
    // The sensor's version text, at most 36 characters.
    const std::string &version() const { return m_version; }
    // A version known otherwise, in place of the one the sensor answered.
    void setVersion(const std::string &text) { m_version = text.substr(0, kFrameBytes); }
    // Why the last operation failed, in words with the device or server.
    const std::string &cause() const { return m_cause; }
    void setCause(const std::string &cause) { m_cause = cause; }

  private:
    enum class Wait { None, Open, Answer, Streamed, Pause };

    // A timeout below 0 waits without a deadline.
    void startWait(Wait wait, double timeout, Done done);
    // A new exchange begins while one waits: the waiting one fails first.
    void supersede() { cancel("another exchange began while this one waited for its answer"); }
    void arrived();
    void takeTcpBytes();
    void lost();
    void deadline();
    void endAnswer();
    void finish(bool ok);
    void traceOutcome(bool ok);
    std::string failureCause() const;
    std::string notOpenCause() const;
    bool serial() const { return !m_address.tcp; }

    Address m_address;
    std::unique_ptr<Transport> m_transport;
    Address m_transportAddress;           // what m_transport was made for
    std::unique_ptr<Transport> m_retired; // replaced for a new address, kept until the next open()
    OpenResult m_openResult;
    FrameSource *m_source = nullptr;
    Trace *m_trace = nullptr;
    double m_echoTimeout = kAnswerTimeout;

    char m_tx[kBufferBytes] = {}; // szWriteBuf
    char m_rx[kBufferBytes] = {}; // szReadBuf
    int m_dataSize = 0;
    int m_bytesToRead = 0;
    int m_bytesWritten = 0;
    bool m_echoOk = false;
    bool m_streaming = false;
    std::string m_version;
    std::string m_cause;
    // Why the transport is not open: it was lost or did not open; "" once closed on purpose.
    std::string m_closedCause;

    Wait m_wait = Wait::None;
    double m_waitTimeout = 0.0; // of the answer wait that ran last, for its cause
    int m_echoWords = 0;        // of the echo judged last, for its cause
    Done m_done;
    bool m_ending = false;  // an operation is being ended from outside: its next steps fail at once
    unsigned m_openSeq = 0; // of the open in progress; an open ended from outside is not finished twice
    runtime::LoopTimer m_timer;
};

} // namespace sensor
