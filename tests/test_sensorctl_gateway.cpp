// sensorctl gateway as the service it is: started as systemd starts it, with
// simulated sensors, a real Mosquitto broker and libmodbus as an independent
// Modbus client. Each test walks through several steps on one running gateway:
// what the supervisor hears, both outputs while a sensor falls silent and comes
// back, reloads that add, remove or are refused, a broker that goes away for ten
// seconds, and configurations that are refused with their lines.
#include "gateway/modbus.h"
#include "sim/simsensor.h"
#include "tests/libmodbus_client.h"
#include "tests/mosquitto_viewer.h"
#include "tests/sensor_values.h"
#include "tests/sensorctl_run.h"
#include "tests/supervisor_socket.h"
#include "tests/test_support.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <map>
#include <regex>
#include <set>

namespace {

using testbroker::Broker;

struct SensorEntry {
    std::string name;
    int port;
    int unit = 0; // 0: not served over Modbus
};

// A configuration file as a plant writes it: sensors publish under plant/NAME.
std::string ConfigText(const Broker &broker, const std::string &clientId,
                       const std::vector<SensorEntry> &sensors, int modbusPort, int bufferSeconds = 60) {
    std::string text =
        "[broker]\nurl = \"" + broker.Url().toStdString() + "\"\nclient_id = \"" + clientId +
        "\"\n\n[defaults]\ntopic_prefix = \"plant\"\nbuffer_seconds = " + std::to_string(bufferSeconds) +
        "\n";
    for (const SensorEntry &s : sensors) {
        text += "\n[[sensor]]\nname = \"" + s.name +
                "\"\ntarget = \"tcp://127.0.0.1:" + std::to_string(s.port) + "\"\n";
        if (s.unit) text += "modbus_unit = " + std::to_string(s.unit) + "\n";
    }
    return text + "\n[modbus]\nlisten = \"127.0.0.1:" + std::to_string(modbusPort) + "\"\n";
}

using Gateway = GatewayProcess;

// What a viewer received, by topic; each line is parsed once.
class Received {
  public:
    explicit Received(testbroker::Subscriber &viewer) : m_viewer(viewer) {}
    // The sequence numbers of a sensor's samples, in the order they came.
    const std::vector<int> &Seqs(const std::string &sensor) {
        Update();
        return m_seqs["plant/" + sensor + "/data"];
    }
    // The last message on a topic, "" when none came.
    QString Last(const QString &topic) {
        Update();
        const auto found = m_last.find(topic);
        return found == m_last.end() ? QString() : found->second;
    }
    QString Status(const std::string &sensor) {
        return Last(QString::fromStdString("plant/" + sensor + "/status"));
    }
    QJsonObject Health(const std::string &sensor) {
        return QJsonDocument::fromJson(Last(QString::fromStdString("plant/" + sensor + "/health")).toUtf8())
            .object();
    }
    // Waits until the sensor has count more samples than now.
    bool More(const std::string &sensor, std::size_t count = 5, double seconds = 10.0) {
        const std::size_t before = Seqs(sensor).size();
        return WaitFor([&] { return Seqs(sensor).size() >= before + count; }, seconds);
    }

  private:
    void Update() {
        const QStringList lines = m_viewer.Lines();
        for (; m_done < lines.size(); ++m_done) {
            const QString topic = lines[m_done].section(' ', 0, 0), payload = lines[m_done].section(' ', 1);
            if (topic.endsWith("/data"))
                m_seqs[topic.toStdString()].push_back(
                    QJsonDocument::fromJson(payload.toUtf8()).object().value("seq").toInt(-1));
            else
                m_last[topic] = payload;
        }
    }

    testbroker::Subscriber &m_viewer;
    qsizetype m_done = 0;
    std::map<std::string, std::vector<int>> m_seqs;
    std::map<QString, QString> m_last;
};

// The sample numbers a viewer received, without a sample that came again right
// after itself: when the broker stops, the viewer's acknowledgement of the last
// message may not reach it, and the broker delivers that message once more (with
// the DUP flag) when the viewer comes back. That is QoS 1 between broker and viewer,
// whatever the gateway did.
std::vector<int> WithoutRedelivery(std::vector<int> seqs) {
    seqs.erase(std::unique(seqs.begin(), seqs.end()), seqs.end());
    return seqs;
}

// Samples numbered 0, 1, 2, ... once each and in order: nothing lost, nothing twice.
::testing::AssertionResult Unbroken(const std::vector<int> &seqs) {
    for (std::size_t i = 0; i < seqs.size(); ++i)
        if (seqs[i] != static_cast<int>(i))
            return ::testing::AssertionFailure()
                   << "sample " << i << " of " << seqs.size() << " has number " << seqs[i];
    return ::testing::AssertionSuccess();
}

// Whether the registers of a read of the whole table carry these values, online.
// VECTOR is the sensor's own evaluation; sequence and age change with every sample.
bool Carries(const std::vector<int> &registers, const sim::Measurement &m) {
    return registers.size() == std::size_t(gateway::kRegisterCount) &&
           registers == std::vector<int>{m.chL,         m.chC,         m.chR,     m.density, m.sym1,
                                         m.sym2,        registers[6],  m.trigger, m.temp,    registers[9],
                                         registers[10], registers[11], 1};
}

// The sequence number in a unit's registers 9 and 10, -1 when the read failed.
int SequenceOf(testmodbus::Client &client) {
    const std::vector<int> words = client.Read(3, 9, 2);
    return words.size() == 2 ? words[0] << 16 | words[1] : -1;
}

// Every frame the sensor received is a data request: nothing else was sent to it.
::testing::AssertionResult OnlyDataRequests(const sim::SimSensor &sensor) {
    for (const sim::CaptureEntry &e : sensor.capture())
        if (e.direction == sim::Direction::ToSensor &&
            (e.bytes.size() != sim::kFrameBytes || (e.bytes[2] << 8 | e.bytes[3]) != sim::CmdReadData))
            return ::testing::AssertionFailure() << "the sensor received " << sim::hexLine(e);
    return ::testing::AssertionSuccess();
}

class SensorctlGateway : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ASSERT_FALSE(testbroker::Find("mosquitto").isEmpty()) << "the Debian package mosquitto is needed";
        ASSERT_FALSE(testbroker::Find("mosquitto_sub").isEmpty())
            << "the Debian package mosquitto-clients is needed";
        ASSERT_TRUE(broker.Start());
    }
    QString WriteConfig(const std::string &text, const QString &name = "gateway.toml") {
        WriteFileBytes(dir.filePath(name).toStdString(), text);
        return dir.filePath(name);
    }

    QTemporaryDir dir;
    // Samples of a whole outage wait for the viewer too, beyond Mosquitto's default of 1,000.
    Broker broker{dir.path(), "allow_anonymous true\nmax_queued_messages 100000\n"};
};

TEST_F(SensorctlGateway, ServesBothOutputsTellsItsSupervisorAndWritesNothingToASensor) {
    sim::SimSensor a, b, c;
    a.setMeasurement(testsim::Values(1000));
    b.setMeasurement(testsim::Values(2000));
    c.setMeasurement(testsim::Values(3000));
    const int modbusPort = testbroker::FreePort();
    const QString config = WriteConfig(
        ConfigText(broker, "gw-test",
                   {{"a", a.listenTcp(), 1}, {"b", b.listenTcp(), 2}, {"c", c.listenTcp(), 3}}, modbusPort));
    testbroker::Subscriber viewer(broker, "#");
    Received received(viewer);
    Supervisor supervisor(dir.filePath("notify"));
    Gateway gateway(config, supervisor.Environment());

    ASSERT_TRUE(WaitFor([&] { return !supervisor.Times("READY=1").empty(); }, 10.0))
        << gateway.Log().toStdString();
    ASSERT_TRUE(WaitFor([&] {
        return received.Status("a") == "online" && received.Status("b") == "online" &&
               received.Status("c") == "online";
    })) << gateway.Log().toStdString();
    EXPECT_EQ(received.Last("sensor-gateway/gw-test/status"), "online");

    // Each unit id reads its own sensor's latest sample; a new value shows at once.
    testmodbus::Client modbus(modbusPort, 1);
    ASSERT_TRUE(modbus.Connect());
    const std::pair<int, sim::Measurement> units[] = {
        {1, testsim::Values(1000)}, {2, testsim::Values(2000)}, {3, testsim::Values(3000)}};
    for (const auto &[unit, values] : units) {
        modbus.SetUnit(unit);
        EXPECT_TRUE(Carries(modbus.Read(3, 0, gateway::kRegisterCount), values)) << "unit " << unit;
        EXPECT_TRUE(Carries(modbus.Read(4, 0, gateway::kRegisterCount), values)) << "unit " << unit;
    }
    a.setMeasurement(testsim::Values(1500));
    modbus.SetUnit(1);
    EXPECT_TRUE(
        WaitFor([&] { return Carries(modbus.Read(3, 0, gateway::kRegisterCount), testsim::Values(1500)); }));
    const int sequence = SequenceOf(modbus);
    EXPECT_TRUE(WaitFor([&] { return SequenceOf(modbus) > sequence; })) << "the sequence number runs on";
    modbus.SetUnit(9);
    EXPECT_EQ(modbus.Read(3, 0, 1), std::vector<int>{-0x0A}) << "a unit id no sensor has";

    // Writes are refused, and nothing but the usual data requests reaches the sensor.
    modbus.SetUnit(1);
    a.clearCapture();
    EXPECT_EQ(modbus.WriteRegister(0, 7), -0x01);
    EXPECT_EQ(modbus.WriteRegisters(0, {7, 8, 9}), -0x01);
    const long frames = a.framesReceived();
    ASSERT_TRUE(WaitFor([&] { return a.framesReceived() >= frames + 3; }));
    EXPECT_TRUE(OnlyDataRequests(a));

    // b falls silent: offline on both outputs, while a and c carry on; then back.
    b.setFault({.kind = sim::FaultKind::NoAnswer, .persistent = true});
    ASSERT_TRUE(WaitFor([&] { return received.Status("b") == "offline"; }, 10.0))
        << gateway.Log().toStdString();
    modbus.SetUnit(2);
    EXPECT_EQ(modbus.Read(3, 0, gateway::kRegisterCount), std::vector<int>{-0x0B});
    // The health message follows the status.
    EXPECT_TRUE(WaitFor([&] {
        const QJsonObject health = received.Health("b");
        return health.value("state") == "offline" && health.value("timeouts").toInt() >= 1;
    })) << received.Last("plant/b/health").toStdString();
    EXPECT_TRUE(received.More("a"));
    EXPECT_TRUE(received.More("c"));
    b.clearFaults();
    ASSERT_TRUE(WaitFor([&] { return received.Status("b") == "online"; }, 10.0))
        << gateway.Log().toStdString();
    EXPECT_TRUE(
        WaitFor([&] { return Carries(modbus.Read(3, 0, gateway::kRegisterCount), testsim::Values(2000)); }));
    EXPECT_TRUE(WaitFor([&] {
        const QJsonObject health = received.Health("b");
        return health.value("state") == "online" && health.value("reconnects").toInt() == 1;
    })) << received.Last("plant/b/health").toStdString();
    const QString log = gateway.Log();
    EXPECT_EQ(log.count("<4>b: offline"), 1) << "one line per change of state\n" << log.toStdString();
    EXPECT_EQ(log.count("<6>b: online"), 2) << log.toStdString();

    // The counts move on the broker while the state stays, within ten seconds.
    EXPECT_TRUE(WaitFor(
        [&] {
            const QJsonObject health = received.Health("a");
            return health.value("state") == "online" && health.value("samples").toInt() > 0;
        },
        15.0))
        << received.Last("plant/a/health").toStdString();

    // A stop says goodbye on every topic and to the supervisor.
    EXPECT_EQ(gateway.Stop(), 0) << gateway.Log().toStdString();
    EXPECT_TRUE(WaitFor([&] {
        return received.Status("a") == "offline" && received.Status("c") == "offline" &&
               received.Health("a").value("state") == "offline" &&
               received.Last("sensor-gateway/gw-test/status") == "offline";
    }));
    EXPECT_EQ(received.Health("a").value("cause"), "stopped")
        << received.Last("plant/a/health").toStdString();
    EXPECT_FALSE(supervisor.Times("STOPPING=1").empty()) << supervisor.Texts();
    // Ready once the broker answered, with a status line for systemctl status.
    EXPECT_TRUE(std::regex_search(
        supervisor.Texts(),
        std::regex("READY=1\nSTATUS=[0-3] of 3 sensors online, broker 127\\.0\\.0\\.1:[0-9]+ connected\n")))
        << supervisor.Texts();

    // The watchdog is fed at least every half of WATCHDOG_USEC, give or take the timer's slack; a gap as
    // long as WATCHDOG_USEC would have systemd restart the service.
    const std::vector<double> pings = supervisor.Times("WATCHDOG=1");
    ASSERT_GE(pings.size(), 4u) << supervisor.Texts();
    std::vector<double> gaps;
    for (std::size_t i = 1; i < pings.size(); ++i)
        gaps.push_back(pings[i] - pings[i - 1]);
    std::sort(gaps.begin(), gaps.end());
    EXPECT_LE(gaps[gaps.size() / 2], 0.55 * kWatchdogUsec / 1e6);
    EXPECT_LT(gaps.back(), kWatchdogUsec / 1e6);
}

TEST_F(SensorctlGateway, ManySensorsLeavingAndComingBackTellTheSupervisorAtMostOnceASecond) {
    constexpr int kSensors = 50;
    std::vector<std::unique_ptr<sim::SimSensor>> sensors;
    std::vector<SensorEntry> entries;
    for (int k = 0; k < kSensors; ++k) {
        sensors.push_back(std::make_unique<sim::SimSensor>());
        entries.push_back({"s" + std::to_string(k), sensors.back()->listenTcp()});
    }
    const QString config = WriteConfig(ConfigText(broker, "gw-storm", entries, testbroker::FreePort()));
    Supervisor supervisor(dir.filePath("notify"));
    Gateway gateway(config, supervisor.Environment());
    // The last STATUS= since message number from, "" when none came.
    const auto lastStatus = [&](std::size_t from) {
        const std::vector<Supervisor::Message> m = supervisor.Messages();
        for (std::size_t i = m.size(); i > from; --i)
            if (const auto at = m[i - 1].text.find("STATUS="); at != std::string::npos)
                return m[i - 1].text.substr(at);
        return std::string();
    };
    ASSERT_TRUE(WaitFor([&] { return lastStatus(0).rfind("STATUS=50 of 50", 0) == 0; }, 20.0))
        << supervisor.Texts();

    // Every sensor closes its connection at the next request, then all answer again together.
    const std::size_t before = supervisor.Messages().size();
    const auto from = std::chrono::steady_clock::now();
    for (auto &s : sensors)
        s->setFault({.kind = sim::FaultKind::CloseConnection, .persistent = true});
    ASSERT_TRUE(WaitFor([&] { return lastStatus(before).rfind("STATUS=0 of 50", 0) == 0; }, 20.0))
        << supervisor.Texts();
    for (auto &s : sensors)
        s->clearFaults();
    // The status held back by the rule still comes: the last word is the whole truth.
    ASSERT_TRUE(WaitFor([&] { return lastStatus(before).rfind("STATUS=50 of 50", 0) == 0; }, 30.0))
        << supervisor.Texts();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();

    // A hundred changes of state, one message a second at most (plus one already on its way).
    const std::vector<Supervisor::Message> messages = supervisor.Messages();
    const long statuses = std::count_if(messages.begin() + long(before), messages.end(), [](const auto &m) {
        return m.text.find("STATUS=") != std::string::npos;
    });
    EXPECT_GE(statuses, 2);
    EXPECT_LE(statuses, long(seconds) + 2) << "over " << seconds << " s:\n" << supervisor.Texts();
    EXPECT_EQ(gateway.Stop(), 0);
}

TEST_F(SensorctlGateway, ReloadAppliesOnlyTheDifferencesAndRefusesABrokenFile) {
    sim::SimSensor a, b, c;
    const SensorEntry sa{"a", a.listenTcp(), 1}, sb{"b", b.listenTcp(), 2}, sc{"c", c.listenTcp(), 3};
    const int modbusPort = testbroker::FreePort();
    const QString config = WriteConfig(ConfigText(broker, "gw-reload", {sa, sb}, modbusPort));
    testbroker::Subscriber viewer(broker, "plant/#");
    Received received(viewer);
    Supervisor supervisor(dir.filePath("notify"));
    Gateway gateway(config, supervisor.Environment());
    ASSERT_TRUE(WaitFor([&] { return received.Status("a") == "online" && received.Status("b") == "online"; }))
        << gateway.Log().toStdString();
    ASSERT_TRUE(received.More("a"));

    // b out, c in; a goes on as if nothing happened.
    WriteConfig(ConfigText(broker, "gw-reload", {sa, sc}, modbusPort));
    gateway.Signal(SIGHUP);
    ASSERT_TRUE(WaitFor([&] { return received.Status("b") != "online" && received.Status("c") == "online"; }))
        << gateway.Log().toStdString();
    {
        // b leaves nothing retained behind: a viewer that comes now hears of a and c only.
        testbroker::Subscriber later(broker, "plant/+/status", "later-viewer");
        Received retained(later);
        ASSERT_TRUE(
            WaitFor([&] { return !retained.Status("a").isEmpty() && !retained.Status("c").isEmpty(); }));
        EXPECT_TRUE(retained.Status("b").isEmpty()) << retained.Status("b").toStdString();
    }
    EXPECT_TRUE(gateway.Log().contains("configuration applied: 1 added, 1 removed, 0 changed, 1 unchanged"))
        << gateway.Log().toStdString();
    EXPECT_TRUE(received.More("c"));
    testmodbus::Client modbus(modbusPort, 2);
    ASSERT_TRUE(modbus.Connect());
    EXPECT_EQ(modbus.Read(3, 0, 1), std::vector<int>{-0x0A}) << "b's unit id is gone";
    modbus.SetUnit(3);
    EXPECT_EQ(modbus.Read(3, 12, 1), std::vector<int>{1}) << "c's unit id serves it";

    // A file with a mistake is refused with its line; everything runs on.
    std::string broken = ConfigText(broker, "gw-reload", {sa, sc}, modbusPort);
    broken.insert(broken.find("[[sensor]]"), "pause = 5\n"); // in [defaults]
    const int brokenLine =
        static_cast<int>(std::count(broken.begin(), broken.begin() + broken.find("pause"), '\n')) + 1;
    WriteConfig(broken);
    gateway.Signal(SIGHUP);
    const QString where = QString("gateway.toml:%1:").arg(brokenLine);
    ASSERT_TRUE(WaitFor([&] { return gateway.Log().contains("the running configuration stays"); }))
        << gateway.Log().toStdString();
    EXPECT_TRUE(gateway.Log().contains(where) && gateway.Log().contains("pause"))
        << gateway.Log().toStdString();
    EXPECT_TRUE(received.More("a"));
    EXPECT_TRUE(received.More("c"));
    EXPECT_EQ(received.Status("c"), "online");

    EXPECT_TRUE(Unbroken(received.Seqs("a"))) << "a kept polling through both reloads";
    EXPECT_TRUE(Unbroken(received.Seqs("c")));
    EXPECT_EQ(gateway.Log().count("<6>a: online"), 1) << gateway.Log().toStdString();
    // systemd hears each reload begin and end.
    EXPECT_EQ(supervisor.Times("RELOADING=1").size(), 2u) << supervisor.Texts();
    EXPECT_EQ(supervisor.Times("READY=1").size(), 3u) << supervisor.Texts();
    EXPECT_EQ(gateway.Stop(), 0);
}

TEST_F(SensorctlGateway, AListenerThatCannotOpenIsRefusedAtStartAndAtReload) {
    sim::SimSensor a;
    const SensorEntry sa{"a", a.listenTcp(), 1};
    QTcpServer taken; // holds a port as another program would
    ASSERT_TRUE(taken.listen(QHostAddress::LocalHost, 0));
    {
        Gateway refused(WriteConfig(ConfigText(broker, "gw-taken", {sa}, taken.serverPort())));
        EXPECT_EQ(refused.Finished(), 3);
        EXPECT_TRUE(refused.Log().contains("Modbus TCP: cannot listen on 127.0.0.1:" +
                                           QString::number(taken.serverPort())))
            << refused.Log().toStdString();
    }
    const int modbusPort = testbroker::FreePort();
    Gateway gateway(WriteConfig(ConfigText(broker, "gw-taken", {sa}, modbusPort)));
    testmodbus::Client before(modbusPort, 1);
    ASSERT_TRUE(WaitFor([&] { return before.Connect(); })) << gateway.Log().toStdString();
    WriteConfig(ConfigText(broker, "gw-taken", {sa}, taken.serverPort()));
    gateway.Signal(SIGHUP);
    ASSERT_TRUE(WaitFor([&] { return gateway.Log().contains("reload refused"); }))
        << gateway.Log().toStdString();
    EXPECT_FALSE(gateway.Log().contains("configuration applied")) << gateway.Log().toStdString();
    testmodbus::Client after(modbusPort, 1);
    ASSERT_TRUE(after.Connect()) << "the running listener stays";
    EXPECT_EQ(gateway.Stop(), 0);
}

TEST_F(SensorctlGateway, ABrokerAwayForTenSecondsLosesNoSampleOrCountsEachDropped) {
    // One gateway keeps a minute of samples, the other two seconds: the same outage
    // shows both what waits and what is dropped.
    sim::SimSensor a, b;
    const int keepPort = testbroker::FreePort(), dropPort = testbroker::FreePort();
    testbroker::Subscriber viewer(broker, "plant/#");
    Received received(viewer);
    Gateway keeping(
        WriteConfig(ConfigText(broker, "gw-keep", {{"a", a.listenTcp(), 1}}, keepPort), "keep.toml"));
    Gateway dropping(
        WriteConfig(ConfigText(broker, "gw-drop", {{"b", b.listenTcp(), 1}}, dropPort, 2), "drop.toml"));
    ASSERT_TRUE(received.More("a") && received.More("b"))
        << keeping.Log().toStdString() << dropping.Log().toStdString();

    broker.Stop();
    ASSERT_TRUE(WaitFor(
        [&] { return keeping.Log().contains("samples wait") && dropping.Log().contains("samples wait"); }));
    QTest::qWait(10000); // the outage itself
    ASSERT_TRUE(broker.Start());

    // Samples taken after the broker's return; once they arrive, every sample before them has.
    testmodbus::Client keepClient(keepPort, 1), dropClient(dropPort, 1);
    ASSERT_TRUE(keepClient.Connect() && dropClient.Connect());
    const int lastA = SequenceOf(keepClient), lastB = SequenceOf(dropClient);
    ASSERT_GT(lastA, 0);
    ASSERT_GT(lastB, 0);
    const auto reached = [&](const std::string &sensor, int seq) {
        const std::vector<int> &seqs = received.Seqs(sensor);
        return !seqs.empty() && seqs.back() >= seq;
    };
    ASSERT_TRUE(WaitFor([&] { return reached("a", lastA) && reached("b", lastB); }, 40.0))
        << keeping.Log().toStdString() << dropping.Log().toStdString();

    EXPECT_TRUE(Unbroken(WithoutRedelivery(received.Seqs("a"))))
        << "the minute's buffer held the whole outage";
    EXPECT_EQ(received.Health("a").value("dropped").toInt(-1), 0);

    const std::vector<int> seqsB = WithoutRedelivery(received.Seqs("b"));
    EXPECT_TRUE(std::is_sorted(seqsB.begin(), seqsB.end())) << "what arrives arrives in order";
    const int missing = seqsB.back() + 1 - static_cast<int>(seqsB.size());
    EXPECT_GT(missing, 20) << "two seconds of buffer cannot hold ten seconds of samples";
    EXPECT_TRUE(WaitFor([&] { return received.Health("b").value("dropped").toInt(-1) == missing; }))
        << "health says " << received.Health("b").value("dropped").toInt(-1) << " dropped; " << missing
        << " did not arrive";

    EXPECT_EQ(keeping.Stop(), 0);
    EXPECT_EQ(dropping.Stop(), 0);
}

TEST(SensorctlGatewayConfig, AFileWithMistakesIsRefusedWithEachLine) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("plant.toml").toStdString();
    WriteFileBytes(path, "[broker]\n"                          // 1
                         "url = \"mqtt://127.0.0.1:1883\"\n"   // 2
                         "\n"                                  // 3
                         "[[sensor]]\n"                        // 4
                         "name = \"s1\"\n"                     // 5
                         "target = \"tcp://127.0.0.1:4001\"\n" // 6
                         "modbus_unit = 1\n"                   // 7
                         "colour = \"red\"\n"                  // 8: unknown key
                         "\n"                                  // 9
                         "[[sensor]]\n"                        // 10: duplicate name and unit id
                         "name = \"s1\"\n"                     // 11
                         "target = \"tcp://127.0.0.1:4002\"\n" // 12
                         "modbus_unit = 1\n"                   // 13
                         "interval = \"fast\"\n");             // 14: wrong type
    const ToolRun started = RunTool({"gateway", "--config", QString::fromStdString(path)});
    EXPECT_EQ(started.code, 3);
    EXPECT_TRUE(started.err.contains("plant.toml:8:") && started.err.contains("colour"))
        << started.err.toStdString();

    const ToolRun checked = RunTool({"gateway", "--check", QString::fromStdString(path)});
    EXPECT_EQ(checked.code, 3);
    const QString report = checked.out.join('\n');
    for (const char *mistake : {"plant.toml:8: unknown key 'colour'", "plant.toml:10: duplicate name",
                                "plant.toml:10: duplicate modbus_unit", "plant.toml:14: 'interval'"})
        EXPECT_TRUE(report.contains(mistake)) << mistake << " missing from\n" << report.toStdString();

    const ToolRun missing = RunTool({"gateway", "--config", dir.filePath("none.toml")});
    EXPECT_EQ(missing.code, 3);
    EXPECT_TRUE(missing.err.contains("none.toml")) << missing.err.toStdString();
}

} // namespace
