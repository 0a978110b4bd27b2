// publish: one sensor's live samples into an MQTT broker, with its health
// beside them. Topics under PREFIX: data (every sample, QoS 1), status
// ("online" while the sensor answers, "offline" from its first failed
// exchange, at the end and as the last will; retained) and health (JSON:
// state, since, cause and counts; retained).
#include "ctl/job.h"

#include "ctl/livepoller.h"
#include "mqtt/client.h"
#include "runtime/utility.h"

#include <QCoreApplication>
#include <QTimer>

#include <fstream>

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

mqtt::Options ClientOptions(const Target &t, const Request &r, const std::string &topic) {
    mqtt::Options o;
    o.broker = BrokerOf(r);
    // Every connection needs an id of its own at the broker.
    o.clientId = (r.clientId.empty() ? "sensorctl-" + std::to_string(QCoreApplication::applicationPid())
                                     : r.clientId) +
                 "-" + t.name;
    o.username = r.username;
    if (!r.passwordFile.empty()) {
        std::ifstream in(r.passwordFile);
        std::getline(in, o.password);
        if (!o.password.empty() && o.password.back() == '\r') o.password.pop_back();
    }
    o.caFile = r.caFile;
    o.certFile = r.certFile;
    o.keyFile = r.keyFile;
    o.will = {topic + "/status", "offline", 1, true};
    o.queueLimit = r.queue;
    return o;
}

class PublishJob final : public Job {
  public:
    PublishJob(const Target &t, const Request &r, const Output &o)
        : Job(t, r, o), m_topic(WithName(r.topic, t.name)), m_poller(t, r.interval),
          m_client(ClientOptions(t, r, m_topic)) {
        m_poller.onState = [this](LivePoller::State state, const std::string &cause) {
            if (state == LivePoller::State::Offline) m_output.note(m_target, cause + "; polling goes on");
            if (state == LivePoller::State::Online && m_poller.counts().reconnects > 0)
                m_output.note(m_target, "the sensor answers again");
            publishState();
        };
        m_poller.onSample = [this](const Sample &s) {
            const bool taken = m_client.publish({m_topic + "/data", SampleJson(m_target, s)});
            if (!taken && !m_dropsTold) {
                m_output.note(m_target, "the broker queue is full; samples are dropped and counted");
                m_dropsTold = true;
            }
            if (m_request.count > 0 && s.seq + 1 >= m_request.count) end(kGoodbyeTime);
        };
        m_client.onConnected = [this] {
            if (m_client.counts().connections > 1) m_output.note(m_target, "the broker is reached again");
            publishState();
        };
        m_client.onDisconnected = [this](const std::string &reason) {
            m_output.note(m_target, "broker: " + reason);
        };
        m_client.onStopped = [this] { done(); };
    }

    void stop() override { end(kStopTime); }

  private:
    void run() override {
        std::string problem;
        if (!m_client.start(problem)) {
            QTimer::singleShot(0, [this, problem] { fail(problem); });
            return;
        }
        m_poller.setTrace(trace());
        m_poller.setReconnectMax(m_request.reconnectMax);
        m_poller.start();
    }

    // The state and health of the sensor, retained, so that a newcomer sees them at once.
    void publishState() {
        m_client.publish({m_topic + "/status", StatusText(m_poller), 1, true});
        m_client.publish({m_topic + "/health", HealthJson(m_poller), 1, true});
    }

    void end(std::chrono::milliseconds within) {
        if (m_ending) return;
        m_ending = true;
        m_poller.stop();
        m_client.publish({m_topic + "/health", HealthJson(m_poller), 1, true});
        m_client.stop({m_topic + "/status", "offline", 1, true}, within);
    }

    void done() {
        const mqtt::Counts c = m_client.counts();
        const QJsonObject counts{{"topic", Q(m_topic)},
                                 {"samples", qint64(m_poller.counts().samples)},
                                 {"published", qint64(c.handedOver)},
                                 {"confirmed", qint64(c.confirmed)},
                                 {"unconfirmed", qint64(c.waiting)},
                                 {"dropped", qint64(c.dropped)},
                                 {"timeouts", qint64(m_poller.counts().timeouts)},
                                 {"reconnects", qint64(m_poller.counts().reconnects)}};
        if (c.connections == 0) {
            const std::string why = m_client.problem().empty() ? "" : " (" + m_client.problem() + ")";
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
    mqtt::Client m_client;
    bool m_ending = false;
    bool m_dropsTold = false;
};

} // namespace

std::unique_ptr<Job> MakePublishJob(const Target &t, const Request &r, const Output &o) {
    return std::make_unique<PublishJob>(t, r, o);
}

} // namespace ctl
