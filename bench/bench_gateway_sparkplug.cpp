// Figures of sensorctl gateway as a Sparkplug B edge node over 200 simulated
// sensors at full rate (sensorsim --count, a process of its own) and a local
// Mosquitto broker: the gateway's CPU per sample with Sparkplug alone, with
// Sparkplug and JSON, and with JSON alone; the bytes on the wire per sample of a
// DDATA against a JSON sample; and the time from a broker's loss to the births on
// the second broker of its list.
#include "bench/benchtable.h"
#include "bench/sensorplant.h"
#include "tests/mosquitto_broker.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kSensors = 200;
constexpr auto kSteady = 8s; // the span CPU and bytes are measured over

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// The bytes of an MQTT 3.1.1 PUBLISH with this topic and payload, and the PUBACK of QoS 1.
int64_t WireBytes(std::size_t topic, std::size_t payload, int qos) {
    const std::size_t remaining = 2 + topic + (qos ? 2 : 0) + payload;
    const std::size_t lengthBytes = remaining < 128 ? 1 : remaining < 16384 ? 2 : 3;
    return int64_t(1 + lengthBytes + remaining + (qos ? 4 : 0));
}

// mosquitto_sub writing "topic QoS length" lines into a file, read as the file grows:
// the samples (JSON data or DDATA), their wire bytes, and the kinds of message seen.
class Counter {
  public:
    Counter(const testbroker::Broker &broker, const QString &file) : m_file(file) {
        m_process.setStandardOutputFile(file);
        m_process.start(testbroker::Find("stdbuf"), QStringList{"-oL", testbroker::Find("mosquitto_sub")} +
                                                        broker.Address() +
                                                        QStringList{"-t", "plant/+/data", "-t", "spBv1.0/#",
                                                                    "-q", "1", "-F", "%t %q %l"});
        m_process.waitForStarted();
    }
    ~Counter() {
        m_process.terminate();
        m_process.waitForFinished();
    }
    void Update() {
        m_file.ReadLines([this](const std::string &line) { Take(line); });
    }
    int64_t samples() const { return m_samples; }
    int64_t bytes() const { return m_bytes; }
    std::size_t sensorsHeard() const { return m_heard.size(); }
    int64_t json() const { return m_json; }
    int64_t ddata() const { return m_ddata; }
    int64_t jsonBytes() const { return m_jsonBytes; }
    int64_t ddataBytes() const { return m_ddataBytes; }
    int64_t births() const { return m_births; }

  private:
    void Take(const std::string &line) {
        const std::size_t a = line.find(' '), b = line.rfind(' ');
        if (a == std::string::npos || a == b) return;
        const std::string topic = line.substr(0, a);
        const int qos = std::atoi(line.c_str() + a + 1);
        const int64_t wire = WireBytes(topic.size(), std::size_t(std::atol(line.c_str() + b + 1)), qos);
        if (topic.find("/DBIRTH/") != std::string::npos) ++m_births;
        const bool json = topic.size() > 5 && topic.compare(topic.size() - 5, 5, "/data") == 0;
        const bool ddata = topic.find("/DDATA/") != std::string::npos;
        if (!json && !ddata) return;
        ++m_samples;
        m_bytes += wire;
        (json ? m_json : m_ddata)++;
        (json ? m_jsonBytes : m_ddataBytes) += wire;
        m_heard.insert(json ? topic.substr(0, topic.size() - 5) : topic.substr(topic.rfind('/') + 1));
    }

    QProcess m_process;
    bench::GrowingFile m_file;
    int64_t m_samples = 0, m_bytes = 0, m_json = 0, m_ddata = 0, m_jsonBytes = 0, m_ddataBytes = 0,
            m_births = 0;
    std::set<std::string> m_heard;
};

template <typename Done> bool Await(Done done, Clock::duration limit) {
    for (const auto end = Clock::now() + limit; Clock::now() < end; std::this_thread::sleep_for(5ms))
        if (done()) return true;
    return done();
}

std::string Config(const std::vector<const testbroker::Broker *> &brokers, const bench::Plant &plant,
                   const std::string &sparkplug, const QString &state) {
    std::string urls;
    for (const testbroker::Broker *b : brokers)
        urls += (urls.empty() ? "\"" : ", \"") + b->Url().toStdString() + "\"";
    std::string text = "[broker]\nurls = [" + urls +
                       "]\nclient_id = \"bench-gateway\"\n\n[defaults]\ntopic_prefix = \"plant\"\n\n" +
                       sparkplug + "\n[storage]\npath = \"" + state.toStdString() + "\"\n";
    for (int k = 0; k < kSensors; ++k)
        text += "\n[[sensor]]\nname = \"s" + std::to_string(k) +
                "\"\ntarget = \"tcp://127.0.0.1:" + std::to_string(plant.firstPort() + k) + "\"\n";
    return text;
}

class GatewayRun {
  public:
    GatewayRun(const QString &dir, const std::string &config, const QString &name) {
        const std::string path = (dir + "/" + name + ".toml").toStdString();
        std::ofstream(path) << config;
        m_tool.setStandardErrorFile(dir + "/" + name + ".log");
        m_tool.start(SENSORCTL_PATH, {"gateway", "--config", QString::fromStdString(path)});
        m_tool.waitForStarted();
    }
    ~GatewayRun() {
        ::kill(static_cast<pid_t>(m_tool.processId()), SIGTERM);
        m_tool.waitForFinished(10000);
    }
    pid_t pid() const { return static_cast<pid_t>(m_tool.processId()); }

  private:
    QProcess m_tool;
};

struct Mode {
    const char *name;
    std::string sparkplug; // the [sparkplug] table, or "" for JSON alone
    double cpuPerSample = -1;
    double bytesPerSample = -1;
};

// The gateway's CPU per sample received, and the wire bytes per sample, over kSteady.
void Measure(const QString &dir, const testbroker::Broker &broker, const bench::Plant &plant, Mode &mode,
             const QString &state) {
    Counter counter(broker, dir + "/" + mode.name + ".txt");
    GatewayRun gateway(dir, Config({&broker}, plant, mode.sparkplug, state), mode.name);
    if (!Await([&] { return counter.Update(), counter.sensorsHeard() >= kSensors; }, 60s)) return;
    const double cpu = bench::CpuOf(gateway.pid());
    counter.Update();
    const int64_t samples = counter.samples(), bytes = counter.bytes();
    std::this_thread::sleep_for(kSteady);
    counter.Update();
    // Counted once per sensor's sample: with both outputs, a JSON sample and a DDATA are one sample.
    const bool both =
        mode.sparkplug.find("json_topics = false") == std::string::npos && !mode.sparkplug.empty();
    const double delivered = double(std::max<int64_t>(1, counter.samples() - samples)) / (both ? 2.0 : 1.0);
    mode.cpuPerSample = (bench::CpuOf(gateway.pid()) - cpu) / delivered;
    mode.bytesPerSample =
        double(counter.bytes() - bytes) / double(std::max<int64_t>(1, counter.samples() - samples));
}

// From a broker's stop to the NBIRTH and to every DBIRTH on the second broker.
void MeasureFailover(const QString &dir, testbroker::Broker &first, const bench::Plant &plant,
                     const QString &state) {
    QDir(dir).mkpath("second");
    testbroker::Broker second(dir + "/second", "allow_anonymous true\nmax_queued_messages 100000\n");
    if (!second.Start()) return bench::PrintFailure("gateway failover", "no second broker");
    Counter before(first, dir + "/failover-first.txt"), after(second, dir + "/failover-second.txt");
    GatewayRun gateway(dir, Config({&first, &second}, plant, "[sparkplug]\ngroup_id = \"bench\"\n", state),
                       "failover");
    if (!Await([&] { return before.Update(), before.births() >= kSensors; }, 60s))
        return bench::PrintFailure("gateway failover", "not every sensor was born on the first broker");
    const auto lost = Clock::now();
    first.Stop();
    double births = -1, all = -1;
    Await(
        [&] {
            after.Update();
            if (births < 0 && after.births() > 0) births = Seconds(Clock::now() - lost);
            if (all < 0 && after.births() >= kSensors) all = Seconds(Clock::now() - lost);
            return all >= 0;
        },
        30s);
    if (births < 0 || all < 0)
        return bench::PrintFailure("gateway failover", "no births on the second broker");
    bench::Print({"Sparkplug failover: broker stopped to the first DBIRTH on the second", births, "s", 2,
                  bench::Goal::AtMost, 2.5, "2 s + the first back-off (0.5 s)"});
    bench::Print({"Sparkplug failover: broker stopped to all 200 DBIRTHs on the second", all, "s", 2,
                  bench::Goal::AtMost, 2.5, "2 s + the first back-off (0.5 s)"});
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    bench::RaiseDescriptorLimit();
    QTemporaryDir dir;
    QDir(dir.path()).mkpath("state");
    QDir(dir.path()).mkpath("broker");
    const QString state = dir.path() + "/state";
    testbroker::Broker broker(dir.path() + "/broker", "allow_anonymous true\nmax_queued_messages 100000\n");
    bench::Plant plant(dir.path(), kSensors, "plant");
    if (!broker.Start() || !plant.ok()) {
        bench::PrintFailure("gateway, Sparkplug", "no broker or no simulated sensors");
        return 1;
    }
    Mode json{"json", ""};
    Mode sparkplug{"sparkplug", "[sparkplug]\ngroup_id = \"bench\"\njson_topics = false\n"};
    Mode both{"both", "[sparkplug]\ngroup_id = \"bench\"\n"};
    for (Mode *mode : {&json, &sparkplug, &both}) {
        Measure(dir.path(), broker, plant, *mode, state);
        if (mode->cpuPerSample < 0)
            bench::PrintFailure(std::string("gateway, ") + mode->name,
                                "no samples from every sensor in 60 s");
    }
    bench::Print({"gateway, 200 sensors, JSON alone: CPU per sample", 1e6 * json.cpuPerSample, "us", 1,
                  bench::Goal::AtMost, 1e6 * json.cpuPerSample, "the reference"});
    bench::Print({"gateway, 200 sensors, Sparkplug alone: CPU per sample", 1e6 * sparkplug.cpuPerSample, "us",
                  1, bench::Goal::AtMost, 1e6 * json.cpuPerSample, "JSON alone"});
    bench::Print({"gateway, 200 sensors, Sparkplug and JSON: CPU per sample", 1e6 * both.cpuPerSample, "us",
                  1, bench::Goal::AtMost, 2e6 * json.cpuPerSample, "twice JSON alone"});
    bench::Print({"bytes on the wire per sample, DDATA (QoS 0)", sparkplug.bytesPerSample, "B", 0,
                  bench::Goal::AtMost, json.bytesPerSample / 2, "half a JSON sample (QoS 1 with PUBACK)"});
    bench::Print({"bytes on the wire per sample, JSON", json.bytesPerSample, "B", 0, bench::Goal::AtMost,
                  json.bytesPerSample, "the reference"});
    MeasureFailover(dir.path(), broker, plant, state);
    return 0;
}
