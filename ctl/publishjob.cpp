// publish: each sensor's live samples into an MQTT broker, with its health
// beside them. Topics under PREFIX: data (every sample, QoS 1), status
// ("online" while the sensor answers, "offline" from its first failed
// exchange and at the end; retained) and health (JSON: state, since, cause and
// counts; retained). All targets share one broker connection, whose last will
// is the tool's own status (PublishToolTopic); a single target, or each with
// --connection-per-target, has a connection whose last will is its status.
#include "ctl/commands.h"
#include "ctl/job.h"

#include "ctl/livepoller.h"
#include "mqtt/client.h"
#include "runtime/utility.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <fstream>
#include <memory>
#include <unordered_map>

namespace ctl {
namespace {

using namespace std::chrono_literals;

constexpr auto kGoodbyeTime = 3000ms; // for the last confirmations after the last sample
constexpr auto kStopTime = 700ms;     // when a signal ends the run, which must end within a second

mqtt::Broker BrokerOf(const Request &r) {
    mqtt::Broker b;
    std::string problem;
    mqtt::ParseBroker(r.broker, b, problem); // checked with the command line
    return b;
}

mqtt::Options ClientOptions(const Request &r, const std::string &clientId) {
    mqtt::Options o;
    o.broker = BrokerOf(r);
    o.clientId = clientId;
    o.username = r.username;
    if (!r.passwordFile.empty()) {
        std::ifstream in(r.passwordFile);
        std::getline(in, o.password);
        if (!o.password.empty() && o.password.back() == '\r') o.password.pop_back();
    }
    o.caFile = r.caFile;
    o.certFile = r.certFile;
    o.keyFile = r.keyFile;
    o.queueLimit = r.queue;
    return o;
}

std::string ClientIdBase(const Request &r) {
    return r.clientId.empty() ? "sensorctl-" + std::to_string(QCoreApplication::applicationPid())
                              : r.clientId;
}

mqtt::Message Offline(const std::string &topic) {
    return {topic + "/status", "offline", 1, true};
}

// One broker connection and the jobs that publish through it: every target of
// the run, or one target (a single one, or --connection-per-target). Shared by
// several, the connection's last will is the tool's own status, and each job
// counts its own samples by their message ids.
class Connection {
  public:
    // A job's part: what it hears of the connection, and its counts.
    struct Member {
        std::function<void()> onConnected;
        std::function<void()> onStopped;
        int64_t handedOver = 0;
        int64_t confirmed = 0;
        int64_t dropped = 0;
        const Job *job = nullptr;
        bool running = false; // started polling
        bool ended = false;   // said goodbye
    };

    // toolTopic: the tool's status topic when several targets share the
    // connection, "" when its last will is one sensor's status (will).
    Connection(mqtt::Options options, std::string toolTopic, Target tool, const Output &output)
        : m_client(std::move(options)), m_toolTopic(std::move(toolTopic)), m_tool(std::move(tool)),
          m_output(output) {
        m_client.onConnected = [this] {
            if (m_client.counts().connections > 1) m_output.note(m_tool, "the broker is reached again");
            if (!m_toolTopic.empty()) m_client.publish({m_toolTopic + "/status", "online", 1, true});
            for (Member *m : m_members)
                if (!m->ended) m->onConnected();
        };
        m_client.onDisconnected = [this](const std::string &reason) {
            m_output.note(m_tool, "broker: " + reason);
        };
        m_client.onConfirmed = [this](int mid) {
            const auto it = m_pending.find(mid);
            if (it == m_pending.end()) return;
            ++it->second->confirmed;
            m_pending.erase(it);
        };
        m_client.onStopped = [this] {
            for (Member *m : m_members)
                m->onStopped();
        };
    }

    void join(Member &m) { m_members.push_back(&m); }

    // Starts connecting once, for every member.
    bool start(std::string &problem) {
        if (!m_started) {
            m_started = true;
            m_startedOk = m_client.start(m_startProblem);
        }
        problem = m_startProblem;
        return m_startedOk;
    }

    void publish(const mqtt::Message &message) { m_client.publish(message); }

    // A sample of m's; false when it is dropped.
    bool publishSample(Member &m, const mqtt::Message &message) {
        int mid = 0;
        if (!m_client.publish(message, &mid)) {
            ++m.dropped;
            return false;
        }
        ++m.handedOver;
        m_pending[mid] = &m;
        return true;
    }

    // m is done with farewell (its sensor's offline status); once every member
    // is, the connection ends within that time, and onStopped reaches them all.
    // After a stop signal, members that never started polling are done, too.
    void end(Member &m, const mqtt::Message &farewell, std::chrono::milliseconds within, bool stopping) {
        m.ended = true;
        m_stopping = m_stopping || stopping;
        // Members end mostly in the order they joined: the scan starts after those
        // that have ended for good, so that ten thousand ends cost no more than ten thousand looks.
        const auto over = [](const Member *o) { return o->ended || o->job->finished(); };
        while (m_firstOpen < m_members.size() && over(m_members[m_firstOpen]))
            ++m_firstOpen;
        const bool last =
            std::all_of(m_members.begin() + static_cast<std::ptrdiff_t>(m_firstOpen), m_members.end(),
                        [this, &over](const Member *o) { return over(o) || (m_stopping && !o->running); });
        if (m_toolTopic.empty()) {
            if (last) m_client.stop(farewell, within);
            return;
        }
        m_client.publish(farewell);
        if (last) m_client.stop(Offline(m_toolTopic), within);
    }

    const mqtt::Client &client() const { return m_client; }

  private:
    mqtt::Client m_client;
    std::string m_toolTopic;
    Target m_tool; // names the connection in messages
    const Output &m_output;
    std::vector<Member *> m_members;
    std::size_t m_firstOpen = 0;                 // the members before it have ended for good
    std::unordered_map<int, Member *> m_pending; // samples not yet confirmed, by message id
    bool m_stopping = false;
    bool m_started = false;
    bool m_startedOk = false;
    std::string m_startProblem;
};

// The connection target's job publishes through.
std::shared_ptr<Connection> ConnectionFor(const Target &t, const Request &r, const Output &o,
                                          const std::string &topic) {
    if (!SharesConnection(r)) {
        // Every connection needs an id of its own at the broker.
        mqtt::Options options =
            ClientOptions(r, r.connectionPerTarget ? ClientIdBase(r) + "-" + t.name : ClientIdBase(r));
        options.will = Offline(topic);
        return std::make_shared<Connection>(std::move(options), "", t, o);
    }
    // The jobs of one run are made one after the other and all live until it ends.
    static std::weak_ptr<Connection> shared;
    if (auto existing = shared.lock()) return existing;
    mqtt::Options options = ClientOptions(r, ClientIdBase(r));
    const std::string toolTopic = PublishToolTopic(r);
    options.will = Offline(toolTopic);
    options.queueLimit = static_cast<int>(std::min<long long>(
        static_cast<long long>(r.queue) * static_cast<long long>(r.targets), kMostQueued));
    Target tool;
    tool.name = ClientIdBase(r);
    tool.text = r.broker;
    auto connection = std::make_shared<Connection>(std::move(options), toolTopic, tool, o);
    shared = connection;
    return connection;
}

class PublishJob final : public Job {
  public:
    PublishJob(const Target &t, const Request &r, const Output &o)
        : Job(t, r, o), m_topic(WithName(r.topic, t.name)), m_poller(t, r.interval),
          m_connection(ConnectionFor(t, r, o, m_topic)) {
        m_poller.onState = [this](LivePoller::State state, const std::string &cause) {
            if (state == LivePoller::State::Offline) m_output.note(m_target, cause + "; polling goes on");
            if (state == LivePoller::State::Online && m_poller.counts().reconnects > 0)
                m_output.note(m_target, "the sensor answers again");
            publishState();
        };
        m_poller.onSample = [this](const Sample &s) {
            const bool taken =
                m_connection->publishSample(m_part, {m_topic + "/data", SampleJson(m_target, s)});
            if (!taken && !m_dropsTold) {
                m_output.note(m_target, "the broker queue is full; samples are dropped and counted");
                m_dropsTold = true;
            }
            if (m_request.count > 0 && s.seq + 1 >= m_request.count) end(kGoodbyeTime, false);
        };
        m_part.onConnected = [this] { publishState(); };
        m_part.onStopped = [this] { done(); };
        m_part.job = this;
        m_connection->join(m_part);
    }

    void stop() override { end(kStopTime, true); }

  private:
    void run() override {
        std::string problem;
        if (!m_connection->start(problem)) {
            QTimer::singleShot(0, [this, problem] { fail(problem); });
            return;
        }
        m_part.running = true;
        m_poller.setTrace(trace());
        m_poller.setReconnectMax(m_request.reconnectMax);
        m_poller.start();
    }

    // The state and health of the sensor, retained, so that a newcomer sees them at once.
    void publishState() {
        m_connection->publish({m_topic + "/status", StatusText(m_poller), 1, true});
        m_connection->publish({m_topic + "/health", HealthJson(m_poller), 1, true});
    }

    void end(std::chrono::milliseconds within, bool stopping) {
        if (m_ending) return;
        m_ending = true;
        m_poller.stop();
        m_connection->publish({m_topic + "/health", HealthJson(m_poller), 1, true});
        m_connection->end(m_part, Offline(m_topic), within, stopping);
    }

    void done() {
        const mqtt::Counts c = m_connection->client().counts();
        const QJsonObject counts{{"topic", Q(m_topic)},
                                 {"samples", qint64(m_poller.counts().samples)},
                                 {"published", qint64(m_part.handedOver)},
                                 {"confirmed", qint64(m_part.confirmed)},
                                 {"unconfirmed", qint64(m_part.handedOver - m_part.confirmed)},
                                 {"dropped", qint64(m_part.dropped)},
                                 {"timeouts", qint64(m_poller.counts().timeouts)},
                                 {"reconnects", qint64(m_poller.counts().reconnects)}};
        if (c.connections == 0) {
            const std::string problem = m_connection->client().problem();
            const std::string why = problem.empty() ? "" : " (" + problem + ")";
            return fail("the broker " + mqtt::Address(BrokerOf(m_request)) + " was never reached" + why +
                            "; no sample was delivered",
                        counts);
        }
        if (m_poller.counts().samples == 0)
            return fail(m_poller.cause().empty() ? "no sample came" : m_poller.cause(), counts);
        succeed(counts);
    }

    std::string m_topic;
    LivePoller m_poller;
    std::shared_ptr<Connection> m_connection;
    Connection::Member m_part;
    bool m_ending = false;
    bool m_dropsTold = false;
};

} // namespace

std::unique_ptr<Job> MakePublishJob(const Target &t, const Request &r, const Output &o) {
    return std::make_unique<PublishJob>(t, r, o);
}

} // namespace ctl
