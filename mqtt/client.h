// An MQTT client driven by the Qt event loop of the thread that starts it, with no
// thread of its own, so that one thread serves a client per sensor by the
// thousand. A client's socket sits in the run-time's epoll set of its thread,
// beside the sensors' links (read always, write only while libmosquitto has
// something to send), and its keepalive work and retries run on the run-time's
// timers; each holds one descriptor, its socket, and about 3 KiB with
// libmosquitto's part.
//
//   mqtt::Client client(options);                   // broker, identity, last will
//   client.onConnected = [&] { client.publish({"plant/s1/status", "online", 1, true}); };
//   client.onDisconnected = [](const std::string &reason) { log(reason); };
//   if (!client.start(problem)) ...                 // connects in the background
//   client.publish({"plant/s1/data", json});        // counted in counts()
//   client.stop({"plant/s1/status", "offline", 1, true}, 3s);  // onStopped follows
//
// While the broker is away the client retries with a growing delay (0.5 s
// doubling up to 30 s, each within plus or minus 20 %) and messages wait, in
// order, up to the queue limit. With more brokers than one, a lost connection or
// a failed attempt moves on to the next broker of the list, one at a time. Callbacks run from the event loop,
// never inside a call to the client; the client may be destroyed in one of them. A client belongs to the
// thread that starts it.
#pragma once

#include "mqtt/broker.h"
#include "runtime/ioloop.h"
#include "runtime/timers.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct mosquitto;
struct ssl_st;
struct mosquitto_message;

namespace mqtt {

struct Message {
    std::string topic;
    std::string payload; // bytes: text or binary
    int qos = 1;         // 0 or 1
    bool retain = false; // a retained message is a state, never a sample: see publish()
};

struct Options {
    Broker broker;
    std::vector<Broker> moreBrokers; // tried in turn after broker, then broker again; same TLS setting
    std::string clientId;            // unique per broker; empty: libmosquitto makes one up
    int keepAliveSeconds = 10;       // also the longest wait for the broker's answer to a connect
    std::string username;            // empty: none
    std::string password;            // read by the caller, for example from a password file
    std::string caFile;              // TLS: the authority of the broker; empty: the system's authorities
    std::string certFile;            // TLS: a client certificate and its key, both or neither
    std::string keyFile;
    Message will;          // published by the broker when the connection ends without a goodbye
    int queueLimit = 1000; // messages that may wait unconfirmed, 1..60000
    // The longest pause between attempts to reach the broker: it is served again
    // within this long after it is back.
    std::chrono::milliseconds longestRetry{10000};
};

// Messages other than retained ones, since start().
struct Counts {
    int64_t handedOver = 0;  // taken by publish()
    int64_t confirmed = 0;   // acknowledged by the broker (QoS 1) or written to it (QoS 0)
    int64_t dropped = 0;     // refused by publish() (queue full), or QoS 0 lost with the connection
    int64_t waiting = 0;     // handed over and neither confirmed nor dropped yet
    int64_t connections = 0; // connections accepted by the broker, the first one included
};

class Client {
  public:
    explicit Client(Options options);
    // Without stop() the connection ends abruptly, as in a crash: the broker sends the last will.
    ~Client();
    Client(const Client &) = delete;
    Client &operator=(const Client &) = delete;

    // Checks the options and starts connecting; false with the reason in problem
    // when the client cannot even be set up (a broker that is away is no failure).
    bool start(std::string &problem);

    // Hands a message over; false when it is dropped. At most queueLimit messages wait
    // unconfirmed (QoS 0 ones until written), and newer ones are dropped and counted.
    // A retained message is never dropped and never counted: while the broker is away
    // it replaces a retained message of the same topic that has not gone out yet, so
    // only the latest state per topic waits, outside the queue limit. A kept message's
    // id goes to mid, for onConfirmed.
    bool publish(const Message &message, int *mid = nullptr);

    // Publishes farewell (unless its topic is empty), waits for it and every message
    // before it to be confirmed, or for within to pass, then disconnects; onStopped
    // follows. It returns at once: the caller's event loop carries the stop out.
    void stop(const Message &farewell, std::chrono::milliseconds within);

    bool connected() const { return m_state == State::Connected; }
    // True when nothing waits for the broker: every message confirmed, no retained one held.
    bool drained() const;
    bool stopped() const { return m_state == State::Stopped; }
    Counts counts() const { return m_counts; }
    // Asks the broker for the messages of topic (wildcards allowed) on every connection
    // from now on; they reach onMessage.
    void subscribe(const std::string &topic, int qos);
    // Ends the connection once the messages handed over before (such as a goodbye)
    // are confirmed, or after a second, and goes on to the next broker of the list,
    // as after a loss.
    void moveOn();
    // The broker connected, or the one tried next.
    const Broker &broker() const;
    // Why the last connection ended or the last attempt failed, in words; "" when none did.
    const std::string &problem() const { return m_problem; }

    std::function<void()> onConnected;
    // The connection is lost, or an attempt fails for a reason other than the last one
    // reported: a broker that stays away is reported once, not at every retry.
    std::function<void(const std::string &reason)> onDisconnected;
    std::function<void()> onStopped;
    // A message of a subscribed topic; payloads larger than 64 KiB are dropped.
    std::function<void(const std::string &topic, const std::string &payload)> onMessage;
    // Asked before each connection attempt for the last will that attempt leaves with
    // the broker (when set; options.will otherwise). It must not end the client.
    std::function<Message()> nextWill;
    // The broker has a message that is not retained (its id from publish()). A QoS 1
    // message handed over stays with the client across reconnections until it comes.
    std::function<void(int mid)> onConfirmed;

  private:
    enum class State : uint8_t { Idle, Connecting, Connected, Waiting, Stopped };
    using Clock = std::chrono::steady_clock;

    struct Unwritten {
        uint16_t mid;
        bool retained;
    };

    void attemptConnection();
    bool retryLater(const std::string &reason);
    void afterLibraryCall(int result);
    bool handleConnection();
    bool handleLoss();
    void finishStop();
    void leave();
    void watchSocket();
    ssl_st *handshaking() const;
    void forgetSocket();
    void onSocketReady(unsigned events);
    void onTick();
    void onWake();
    void scheduleWake();
    // Runs work that may end the client; false when it did.
    template <typename Work> bool survives(const Work &work);
    // Runs an owner's callback; false when the client ended inside it.
    template <typename Callback, typename... Args> bool notify(const Callback &callback, const Args &...args);
    void noteConfirmation(int mid);
    bool deliverMessages();
    static void OnMessage(mosquitto *, void *self, const struct mosquitto_message *message);
    static void OnConnect(mosquitto *, void *self, int code);
    static void OnDisconnect(mosquitto *, void *self, int result);
    static void OnPublish(mosquitto *, void *self, int mid);
    static void OnLog(mosquitto *, void *self, int level, const char *text);

    Options m_options;
    mosquitto *m_handle = nullptr;
    int m_socket = -1;         // libmosquitto's socket as last seen
    runtime::IoWatch m_watch;  // of m_socket
    runtime::LoopTimer m_tick; // libmosquitto's keepalive work, while there is a socket
    runtime::LoopTimer m_wake; // the next retry, or the end of a stop
    State m_state = State::Idle;
    bool m_stopping = false;
    bool m_leaving = false; // moveOn() waits for the last confirmations
    bool m_everAttempted = false;
    // What libmosquitto's callbacks noted, handled once its call has returned.
    bool m_connackArrived = false;
    bool m_connectionEnded = false;
    int m_refusalCode = 0;
    int m_endResult = 0;
    int m_endErrno = 0;
    // The message publish() is handing over right now, and whether libmosquitto wrote it at once.
    bool m_publishing = false;
    bool m_writtenAtOnce = false;

    Counts m_counts;
    std::vector<Message> m_held;          // retained, waiting for a connection; one per topic
    std::vector<uint16_t> m_retainedMids; // retained messages handed over and not yet confirmed
    std::vector<Unwritten> m_unwritten;   // QoS 0 messages libmosquitto has not written yet
    std::vector<int> m_confirmedMids;     // for onConfirmed, once libmosquitto's call has returned
    std::string m_problem;
    std::string m_reported;     // the reason last given to onDisconnected
    std::string m_libraryError; // libmosquitto's first error line of a TLS connection attempt
    Clock::duration m_retryDelay{};
    Clock::time_point m_retryAt{};
    Clock::time_point m_stopDeadline{};
    std::size_t m_brokerIndex = 0; // into broker and moreBrokers
    bool m_brokerChanged = false;  // the next attempt goes to another broker than the last one
    std::vector<std::pair<std::string, int>> m_subscriptions; // topic, QoS
    std::vector<std::pair<std::string, std::string>>
        m_arrived;               // topic, payload; delivered after the library call
    bool *m_destroyed = nullptr; // set while a callback runs, to notice the client's end
};

} // namespace mqtt
