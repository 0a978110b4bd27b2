#include "mqtt/client.h"

#include "mqtt/handle.h"
#include "runtime/timers.h"

#include <mosquitto.h>
#include <openssl/ssl.h>

#include <algorithm>
#include <cerrno>
#include <utility>

namespace mqtt {

namespace {

constexpr auto kFirstRetry = std::chrono::milliseconds(500);
constexpr int kLargestQueue = 60000;                   // below the 65535 message ids that can be in flight
constexpr auto kLeaveWithin = std::chrono::seconds(1); // moveOn(): for the last messages' confirmation
constexpr std::size_t kLargestArrival = 64 * 1024;     // commands and states are small
constexpr std::size_t kMostArrivals = 256;             // per library call
constexpr auto kTickPeriod = std::chrono::seconds(1);  // libmosquitto counts keepalive in seconds

using Clock = std::chrono::steady_clock;

// The next whole second of the clock: every client's keepalive work of a thread
// falls due at once, in one turn of the event loop.
Clock::time_point NextTick() {
    return Clock::time_point(std::chrono::floor<std::chrono::seconds>(Clock::now().time_since_epoch()) +
                             kTickPeriod);
}

// Whether libmosquitto kept a message that mosquitto_publish() answered with result:
// a QoS 1 message stays queued unless it was refused outright, even with no connection.
bool Kept(int result, int qos) {
    switch (result) {
    case MOSQ_ERR_SUCCESS:
    case MOSQ_ERR_ERRNO:     // writing failed: the packet waits for the next write or the end
    case MOSQ_ERR_CONN_LOST: // the same
        return true;
    case MOSQ_ERR_NO_CONN:
        return qos > 0;
    default: // invalid topic or payload, out of memory: nothing was queued
        return false;
    }
}

std::string OptionsProblem(const Options &o) {
    if (o.broker.host.empty()) return "no broker host is given";
    if (o.broker.port < 1 || o.broker.port > 65535) return "the broker port is not 1..65535";
    if (o.keepAliveSeconds < 5 || o.keepAliveSeconds > 3600) return "the keepalive is not 5..3600 s";
    if (o.queueLimit < 1 || o.queueLimit > kLargestQueue)
        return "the queue limit is not 1.." + std::to_string(kLargestQueue);
    if (o.will.qos != 0 && o.will.qos != 1) return "the last will's QoS is not 0 or 1";
    for (const Broker &b : o.moreBrokers) {
        if (b.host.empty()) return "no broker host is given";
        if (b.port < 1 || b.port > 65535) return "the broker port is not 1..65535";
        if (b.tls != o.broker.tls) return "the brokers of one client all use TLS or none does";
    }
    return {};
}

} // namespace

Client::Client(Options options) : m_options(std::move(options)) {
    m_tick.setHandler([this] { onTick(); });
    m_wake.setHandler([this] { onWake(); });
}

Client::~Client() {
    if (m_destroyed) *m_destroyed = true;
    if (!m_handle) return;
    m_watch.clear(); // before the socket closes
    mosquitto_destroy(m_handle);
}

bool Client::start(std::string &problem) {
    if (m_state != State::Idle) {
        problem = "the MQTT client was started before";
        return false;
    }
    problem = OptionsProblem(m_options);
    if (!problem.empty()) return false;
    mosquitto *handle = detail::NewHandle(m_options, this, problem);
    if (!handle) return false;
    m_handle = handle;
    mosquitto_connect_callback_set(m_handle, OnConnect);
    mosquitto_disconnect_callback_set(m_handle, OnDisconnect);
    mosquitto_publish_callback_set(m_handle, OnPublish);
    mosquitto_message_callback_set(m_handle, OnMessage);
    // The first attempt, too, runs from the event loop, so that no callback runs inside start().
    m_state = State::Waiting;
    m_retryDelay = kFirstRetry;
    m_retryAt = Clock::now();
    scheduleWake();
    return true;
}

bool Client::publish(const Message &message, int *mid) {
    if (message.qos != 0 && message.qos != 1) {
        if (!message.retain) ++m_counts.dropped;
        return false;
    }
    const bool hold = message.retain && m_state != State::Connected;
    if (hold && m_state != State::Stopped) {
        const auto same = std::find_if(m_held.begin(), m_held.end(),
                                       [&](const Message &held) { return held.topic == message.topic; });
        if (same != m_held.end())
            *same = message;
        else
            m_held.push_back(message);
        return true;
    }
    const bool full = !message.retain && m_counts.waiting >= m_options.queueLimit;
    if (!m_handle || m_state == State::Stopped || full) {
        if (!message.retain) ++m_counts.dropped;
        return false;
    }
    int id = 0;
    m_publishing = true;
    m_writtenAtOnce = false;
    const int result =
        mosquitto_publish(m_handle, &id, message.topic.c_str(), static_cast<int>(message.payload.size()),
                          message.payload.data(), message.qos, message.retain);
    m_publishing = false;
    watchSocket();
    const bool kept = Kept(result, message.qos);
    if (!message.retain) {
        ++(kept ? m_counts.handedOver : m_counts.dropped);
        if (kept && m_writtenAtOnce) ++m_counts.confirmed;
        if (kept && !m_writtenAtOnce) ++m_counts.waiting;
    }
    if (kept && message.qos == 0 && !m_writtenAtOnce)
        m_unwritten.push_back({static_cast<uint16_t>(id), message.retain});
    if (kept && message.qos == 1 && message.retain) m_retainedMids.push_back(static_cast<uint16_t>(id));
    if (mid) *mid = id;
    return kept;
}

void Client::stop(const Message &farewell, std::chrono::milliseconds within) {
    if (m_stopping || m_state == State::Stopped) return;
    if (m_state == State::Idle) {
        m_state = State::Stopped; // never started: nothing to wait for, nothing to report
        return;
    }
    if (!farewell.topic.empty()) publish(farewell);
    m_stopping = true;
    m_stopDeadline = Clock::now() + within;
    scheduleWake();
}

void Client::subscribe(const std::string &topic, int qos) {
    m_subscriptions.emplace_back(topic, qos);
    if (m_state == State::Connected) {
        mosquitto_subscribe(m_handle, nullptr, topic.c_str(), qos);
        watchSocket();
    }
}

void Client::moveOn() {
    if (m_state != State::Connected || m_stopping || m_leaving) return;
    m_leaving = true;
    m_stopDeadline = Clock::now() + kLeaveWithin;
    scheduleWake();
}

// Disconnects once what was handed over is confirmed: a socket closed with an
// acknowledgement still unread ends in a reset, and the broker would then send the will.
void Client::leave() {
    m_leaving = false;
    afterLibraryCall(mosquitto_disconnect(m_handle));
}

const Broker &Client::broker() const {
    return m_brokerIndex == 0 ? m_options.broker : m_options.moreBrokers[m_brokerIndex - 1];
}

bool Client::drained() const {
    return m_counts.waiting == 0 && m_held.empty() && m_retainedMids.empty() && m_unwritten.empty();
}

void Client::attemptConnection() {
    m_state = State::Connecting;
    forgetSocket(); // libmosquitto closes the old socket, and the new one may get its number
    m_libraryError.clear();
    // OpenSSL's reason for a failed handshake reaches us only through the log, which
    // costs a formatted line per packet: it is listened to until the broker answers.
    if (m_options.broker.tls) mosquitto_log_callback_set(m_handle, OnLog);
    if (nextWill) {
        const Message w = nextWill();
        mosquitto_will_set(m_handle, w.topic.c_str(), static_cast<int>(w.payload.size()), w.payload.data(),
                           w.qos, w.retain);
    }
    const Broker &b = broker();
    const int result =
        m_everAttempted && !m_brokerChanged
            ? mosquitto_reconnect_async(m_handle)
            : mosquitto_connect_async(m_handle, b.host.c_str(), b.port, m_options.keepAliveSeconds);
    const int error = errno;
    m_everAttempted = true;
    m_brokerChanged = false;
    if (result != MOSQ_ERR_SUCCESS) {
        retryLater("the broker " + Address(b) + " is not reached: " + detail::InWords(result, error));
        return;
    }
    afterLibraryCall(result);
}

// Books the next attempt and reports the reason unless it was the last one reported;
// false when the client ended in the report.
bool Client::retryLater(const std::string &reason) {
    const bool wasConnected = m_state == State::Connected;
    m_state = State::Waiting;
    m_leaving = false;
    if (!m_options.moreBrokers.empty()) {
        m_brokerIndex = (m_brokerIndex + 1) % (m_options.moreBrokers.size() + 1);
        m_brokerChanged = true;
    }
    forgetSocket();
    m_retryAt = Clock::now() + runtime::Jittered(m_retryDelay);
    m_retryDelay = std::min<Clock::duration>(2 * m_retryDelay,
                                             std::max<Clock::duration>(m_options.longestRetry, kFirstRetry));
    scheduleWake();
    m_problem = reason;
    if (!wasConnected && reason == m_reported) return true;
    m_reported = reason;
    return notify(onDisconnected, reason);
}

// Turns what libmosquitto's callbacks noted during a call that returned result into
// states and reports.
void Client::afterLibraryCall(int result) {
    // A failed TLS handshake closes the socket without a word to the callbacks.
    if (!m_connectionEnded && m_socket >= 0 && mosquitto_socket(m_handle) < 0 && m_state != State::Stopped) {
        m_connectionEnded = true;
        m_endResult = result != MOSQ_ERR_SUCCESS ? result : MOSQ_ERR_CONN_LOST;
        m_endErrno = errno;
    }
    watchSocket();
    if (m_connackArrived && !handleConnection()) return;
    if (!m_arrived.empty() && !deliverMessages()) return;
    if (m_connectionEnded && !handleLoss()) return;
    for (std::vector<int> mids; !m_confirmedMids.empty();) {
        mids.swap(m_confirmedMids);
        for (const int mid : mids)
            if (!notify(onConfirmed, mid)) return;
        mids.clear();
    }
    if (m_stopping && (drained() || Clock::now() >= m_stopDeadline))
        finishStop();
    else if (m_leaving && (drained() || Clock::now() >= m_stopDeadline))
        leave();
}

bool Client::handleConnection() {
    m_connackArrived = false;
    mosquitto_log_callback_set(m_handle, nullptr);
    if (m_refusalCode != 0) return true; // libmosquitto ends the connection: handleLoss() says why
    m_state = State::Connected;
    ++m_counts.connections;
    m_retryDelay = kFirstRetry;
    m_problem.clear();
    m_reported.clear();
    for (const auto &[topic, qos] : m_subscriptions)
        mosquitto_subscribe(m_handle, nullptr, topic.c_str(), qos);
    std::vector<Message> held;
    held.swap(m_held);
    for (const Message &message : held)
        publish(message);
    return notify(onConnected);
}

bool Client::handleLoss() {
    m_connectionEnded = false;
    // QoS 0 messages not yet written are gone with the connection; QoS 1 ones stay queued.
    for (const Unwritten &message : m_unwritten)
        if (!message.retained) {
            ++m_counts.dropped;
            --m_counts.waiting;
        }
    m_unwritten.clear();
    const int refusal = std::exchange(m_refusalCode, 0);
    if (m_state == State::Stopped) return true; // the goodbye of stop()
    const std::string address = Address(broker());
    std::string reason;
    if (refusal != 0)
        reason = "the broker " + address + " refuses the client: " + detail::RefusalInWords(refusal);
    else if (m_state == State::Connected && m_endResult == MOSQ_ERR_SUCCESS)
        reason = "left the broker " + address;
    else if (m_state == State::Connected)
        reason = "lost the broker " + address + ": " + detail::InWords(m_endResult, m_endErrno);
    else if (m_endResult == MOSQ_ERR_TLS && !m_libraryError.empty())
        reason = "the broker " + address + " is not reached: TLS: " + m_libraryError;
    else
        reason = "the broker " + address + " is not reached: " + detail::InWords(m_endResult, m_endErrno);
    return retryLater(reason);
}

void Client::finishStop() {
    m_stopping = false;
    m_state = State::Stopped;
    m_wake.stop();
    // The goodbye goes now, or once the socket takes it; the broker then drops the last will.
    if (m_socket >= 0) mosquitto_disconnect(m_handle);
    m_connectionEnded = false;
    watchSocket();
    notify(onStopped);
}

// Watches libmosquitto's socket: level-triggered, since its read step may leave
// bytes in the socket (it reads about a packet at a time). A socket the loop
// cannot watch is ended by the keepalive work, and the next attempt tries again.
void Client::watchSocket() {
    const int socket = mosquitto_socket(m_handle);
    if (socket < 0) {
        forgetSocket();
        return;
    }
    ssl_st *tls = handshaking();
    const bool write = tls ? SSL_want_write(tls) : mosquitto_want_write(m_handle);
    if (socket == m_socket) {
        m_watch.wantWrite(write);
        return;
    }
    m_socket = socket;
    m_watch.watch(
        socket, write, [this](unsigned events) { onSocketReady(events); }, runtime::IoTrigger::Level);
    if (!m_tick.active()) m_tick.startAt(NextTick());
}

// Lets the socket go: libmosquitto closes it, and a new one may get its number.
void Client::forgetSocket() {
    m_socket = -1;
    m_watch.clear();
    m_tick.stop();
}

// During a TLS handshake libmosquitto's write step does nothing and its read step
// carries the handshake on; OpenSSL knows whether it waits to write or to read.
ssl_st *Client::handshaking() const {
    auto *ssl = static_cast<SSL *>(mosquitto_ssl_get(m_handle));
    return ssl && !SSL_is_init_finished(ssl) ? ssl : nullptr;
}

void Client::onSocketReady(unsigned events) {
    if ((events & (runtime::kIoReadable | runtime::kIoHangup)) &&
        !survives([this] { afterLibraryCall(mosquitto_loop_read(m_handle, 1)); }))
        return;
    // The read may have ended the connection.
    if ((events & runtime::kIoWritable) && m_watch.active())
        afterLibraryCall(handshaking() ? mosquitto_loop_read(m_handle, 1)
                                       : mosquitto_loop_write(m_handle, 1));
}

void Client::onTick() {
    if (m_socket < 0) return;
    m_tick.startAt(NextTick());
    // A ping when due; a broker silent for the keepalive ends the connection.
    afterLibraryCall(mosquitto_loop_misc(m_handle));
}

void Client::onWake() {
    const Clock::time_point now = Clock::now();
    if (m_stopping && (drained() || now >= m_stopDeadline)) {
        finishStop();
        return;
    }
    if (m_state == State::Waiting && now >= m_retryAt) {
        attemptConnection();
        return;
    }
    if (m_leaving && (drained() || now >= m_stopDeadline)) {
        leave();
        return;
    }
    scheduleWake();
}

void Client::scheduleWake() {
    Clock::time_point when = Clock::time_point::max();
    if (m_state == State::Waiting) when = m_retryAt;
    if (m_stopping || m_leaving) when = std::min(when, drained() ? Clock::now() : m_stopDeadline);
    if (when == Clock::time_point::max())
        m_wake.stop();
    else if (!m_wake.active() || m_wake.deadline() != when)
        m_wake.startAt(when);
}

template <typename Work> bool Client::survives(const Work &work) {
    bool destroyed = false;
    bool *outer = std::exchange(m_destroyed, &destroyed);
    work();
    if (destroyed) {
        if (outer) *outer = true;
        return false;
    }
    m_destroyed = outer;
    return true;
}

template <typename Callback, typename... Args>
bool Client::notify(const Callback &callback, const Args &...args) {
    if (!callback) return true;
    const auto call = callback; // the client, and with it the callback, may end inside
    return survives([&] { call(args...); });
}

void Client::noteConfirmation(int mid) {
    const auto id = static_cast<uint16_t>(mid);
    if (const auto it = std::find(m_retainedMids.begin(), m_retainedMids.end(), id);
        it != m_retainedMids.end()) {
        m_retainedMids.erase(it);
        return;
    }
    const auto unwritten = std::find_if(m_unwritten.begin(), m_unwritten.end(),
                                        [id](const Unwritten &message) { return message.mid == id; });
    if (unwritten != m_unwritten.end()) {
        const bool retained = unwritten->retained;
        m_unwritten.erase(unwritten);
        if (retained) return;
    } else if (m_publishing) {
        m_writtenAtOnce = true; // the QoS 0 message being handed over: publish() counts it
        return;
    }
    ++m_counts.confirmed;
    --m_counts.waiting;
    if (onConfirmed) m_confirmedMids.push_back(mid);
}

// Hands the messages that arrived during a library call to onMessage; false when
// the client ended in it.
bool Client::deliverMessages() {
    std::vector<std::pair<std::string, std::string>> arrived;
    arrived.swap(m_arrived);
    for (const auto &[topic, payload] : arrived)
        if (!notify(onMessage, topic, payload)) return false;
    return true;
}

void Client::OnMessage(mosquitto *, void *self, const mosquitto_message *message) {
    auto *client = static_cast<Client *>(self);
    if (!client->onMessage || message->payloadlen < 0 ||
        static_cast<std::size_t>(message->payloadlen) > kLargestArrival ||
        client->m_arrived.size() >= kMostArrivals)
        return;
    client->m_arrived.emplace_back(message->topic,
                                   std::string(static_cast<const char *>(message->payload),
                                               static_cast<std::size_t>(message->payloadlen)));
}

void Client::OnConnect(mosquitto *, void *self, int code) {
    auto *client = static_cast<Client *>(self);
    client->m_connackArrived = true;
    client->m_refusalCode = code;
}

void Client::OnDisconnect(mosquitto *, void *self, int result) {
    auto *client = static_cast<Client *>(self);
    client->m_endErrno = errno;
    client->m_connectionEnded = true;
    client->m_endResult = result;
    client->forgetSocket(); // its descriptor is closed, or about to be
}

void Client::OnLog(mosquitto *, void *self, int level, const char *text) {
    auto *client = static_cast<Client *>(self);
    if (level != MOSQ_LOG_ERR || !client->m_libraryError.empty()) return;
    // "OpenSSL Error[0]: error:0A000086:SSL routines::certificate verify failed": the words at the end.
    const std::string line = text;
    client->m_libraryError = line.substr(line.rfind(':') + 1);
}

void Client::OnPublish(mosquitto *, void *self, int mid) {
    static_cast<Client *>(self)->noteConfirmation(mid);
}

} // namespace mqtt
