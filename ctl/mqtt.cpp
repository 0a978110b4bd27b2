#include "ctl/mqtt.h"

#include <mosquitto.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <set>
#include <unistd.h>

namespace {

constexpr int kKeepAliveSeconds = 5; // the broker sends the last will this soon after a silent end
constexpr unsigned kFirstRetrySeconds = 1;
constexpr unsigned kLongestRetrySeconds = 30;
constexpr int kQos = 1;

struct LibraryUse {
    LibraryUse() { mosquitto_lib_init(); }
    ~LibraryUse() { mosquitto_lib_cleanup(); }
};

} // namespace

// What the network thread of libmosquitto and the polling thread share.
struct Publisher::Shared {
    mutable std::mutex mutex;
    std::condition_variable changed;
    bool connected = false;
    bool everConnected = false;
    std::string news;     // not yet reported
    std::string lastNews; // reported last
    int64_t published = 0;
    int64_t confirmed = 0;
    int64_t dropped = 0;
    int64_t outstanding = 0;  // samples handed over and not yet confirmed
    std::set<int> sampleMids; // message ids of those samples
    std::set<int> statusMids; // of status messages not yet confirmed
    std::set<int> earlyMids;  // confirmed before the publishing thread noted them

    // Notes a message id just handed over; true when it is confirmed already.
    bool Note(std::set<int> &pending, int mid) {
        if (earlyMids.erase(mid)) return true;
        pending.insert(mid);
        return false;
    }
};

Publisher::Publisher(const Broker &broker, const std::string &topicPrefix, int queueLimit)
    : m_broker(broker), m_dataTopic(topicPrefix + "/data"), m_statusTopic(topicPrefix + "/status"),
      m_queueLimit(queueLimit), m_shared(std::make_unique<Shared>()) {
    static LibraryUse library;
}

Publisher::~Publisher() {
    if (m_loopRunning) mosquitto_loop_stop(m_client, true);
    if (m_client) mosquitto_destroy(m_client);
}

bool Publisher::Start(std::string &problem) {
    char host[256] = "";
    gethostname(host, sizeof host - 1);
    const std::string id = "sensorctl-" + std::string(host) + "-" + std::to_string(getpid());
    m_client = mosquitto_new(id.c_str(), true, this);
    if (!m_client) {
        problem = "the MQTT client could not be made";
        return false;
    }
    mosquitto_connect_callback_set(m_client, OnConnect);
    mosquitto_disconnect_callback_set(m_client, OnDisconnect);
    mosquitto_publish_callback_set(m_client, OnPublish);
    mosquitto_reconnect_delay_set(m_client, kFirstRetrySeconds, kLongestRetrySeconds, true);
    const char offline[] = "offline";
    int rc = mosquitto_will_set(m_client, m_statusTopic.c_str(), sizeof offline - 1, offline, kQos, true);
    // mqtts:// checks the broker against the system's certificate authorities.
    if (rc == MOSQ_ERR_SUCCESS && m_broker.tls)
        rc = mosquitto_tls_set(m_client, nullptr, "/etc/ssl/certs", nullptr, nullptr, nullptr);
    if (rc == MOSQ_ERR_SUCCESS) rc = mosquitto_loop_start(m_client);
    if (rc != MOSQ_ERR_SUCCESS) {
        problem = std::string("the MQTT client could not start: ") + mosquitto_strerror(rc);
        return false;
    }
    m_loopRunning = true;
    // A broker that is not there yet is no failure: the network thread keeps trying.
    rc = mosquitto_connect_async(m_client, m_broker.host.c_str(), m_broker.port, kKeepAliveSeconds);
    if (rc != MOSQ_ERR_SUCCESS) {
        std::lock_guard lock(m_shared->mutex);
        m_shared->news = "broker " + m_broker.host + ":" + std::to_string(m_broker.port) +
                         " not reached yet (" + mosquitto_strerror(rc) + "); trying again";
    }
    return true;
}

bool Publisher::WaitConnected(double seconds) {
    std::unique_lock lock(m_shared->mutex);
    return m_shared->changed.wait_for(lock, std::chrono::duration<double>(seconds),
                                      [this] { return m_shared->connected; });
}

void Publisher::Publish(const std::string &payload) {
    {
        std::lock_guard lock(m_shared->mutex);
        if (m_shared->outstanding >= m_queueLimit) {
            ++m_shared->dropped;
            return;
        }
        ++m_shared->outstanding;
        ++m_shared->published;
    }
    // Without a connection libmosquitto keeps a QoS 1 message and sends it once
    // connected (the call then reports "no connection"); every other error loses it.
    int mid = 0;
    const int rc = mosquitto_publish(m_client, &mid, m_dataTopic.c_str(), static_cast<int>(payload.size()),
                                     payload.data(), kQos, false);
    std::lock_guard lock(m_shared->mutex);
    if (rc != MOSQ_ERR_SUCCESS && rc != MOSQ_ERR_NO_CONN) {
        --m_shared->outstanding;
        --m_shared->published;
        ++m_shared->dropped;
    } else if (m_shared->Note(m_shared->sampleMids, mid)) {
        --m_shared->outstanding;
        ++m_shared->confirmed;
    }
}

bool Publisher::PublishStatus(const char *status) {
    int mid = 0;
    const int rc = mosquitto_publish(m_client, &mid, m_statusTopic.c_str(),
                                     static_cast<int>(std::strlen(status)), status, kQos, true);
    if (rc != MOSQ_ERR_SUCCESS && rc != MOSQ_ERR_NO_CONN) return false;
    std::lock_guard lock(m_shared->mutex);
    m_shared->Note(m_shared->statusMids, mid);
    return true;
}

void Publisher::Stop(double seconds) {
    if (!m_client) return;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    // Samples still queued go out once the broker is back, if it comes back in time.
    std::unique_lock lock(m_shared->mutex);
    m_shared->changed.wait_until(lock, deadline, [this] { return m_shared->connected; });
    const bool connected = m_shared->connected;
    lock.unlock();
    if (connected && PublishStatus("offline")) {
        lock.lock();
        m_shared->changed.wait_until(
            lock, deadline, [this] { return m_shared->statusMids.empty() && m_shared->outstanding == 0; });
        lock.unlock();
    }
    mosquitto_disconnect(m_client);
    if (m_loopRunning) mosquitto_loop_stop(m_client, false);
    m_loopRunning = false;
}

Publisher::Totals Publisher::Counts() const {
    std::lock_guard lock(m_shared->mutex);
    return {m_shared->everConnected, m_shared->published, m_shared->confirmed, m_shared->dropped};
}

std::string Publisher::TakeNews() {
    std::lock_guard lock(m_shared->mutex);
    std::string news;
    news.swap(m_shared->news);
    return news;
}

void Publisher::OnConnect(mosquitto *, void *self, int rc) {
    auto *p = static_cast<Publisher *>(self);
    if (rc != 0) {
        std::lock_guard lock(p->m_shared->mutex);
        p->m_shared->news = std::string("broker refused the connection: ") + mosquitto_connack_string(rc);
        return;
    }
    {
        std::lock_guard lock(p->m_shared->mutex);
        p->m_shared->connected = true;
        p->m_shared->everConnected = true;
        p->m_shared->news = p->m_shared->lastNews =
            "connected to broker " + p->m_broker.host + ":" + std::to_string(p->m_broker.port);
    }
    p->PublishStatus("online");
    p->m_shared->changed.notify_all();
}

void Publisher::OnDisconnect(mosquitto *, void *self, int rc) {
    auto *p = static_cast<Publisher *>(self);
    std::lock_guard lock(p->m_shared->mutex);
    p->m_shared->connected = false;
    const std::string where = p->m_broker.host + ":" + std::to_string(p->m_broker.port);
    const std::string news =
        p->m_shared->everConnected
            ? "lost the broker " + where + "; samples wait in the queue while it reconnects"
            : "the broker " + where + " does not answer; trying again, at most every 30 s";
    // A broker that stays away is reported once, not at every attempt.
    if (rc != 0 && news != p->m_shared->lastNews) p->m_shared->news = p->m_shared->lastNews = news;
    p->m_shared->changed.notify_all();
}

void Publisher::OnPublish(mosquitto *, void *self, int mid) {
    auto *p = static_cast<Publisher *>(self);
    Shared &sh = *p->m_shared;
    std::lock_guard lock(sh.mutex);
    if (sh.sampleMids.erase(mid)) {
        --sh.outstanding;
        ++sh.confirmed;
    } else if (!sh.statusMids.erase(mid)) {
        sh.earlyMids.insert(mid);
    }
    sh.changed.notify_all();
}
