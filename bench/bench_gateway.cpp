// Figures of sensorctl gateway over 200 simulated sensors at full rate (sensorsim
// --count, a process of its own), publishing into a local Mosquitto broker while
// libmodbus clients on threads of this process read every sensor's registers ten
// times a second: the gateway's CPU per delivered sample against `sensorctl
// publish` alone with the same sensors, the Modbus answer times, the time from a
// sensor's silence to "offline" on MQTT and Modbus, and the samples lost across a
// reload that removes that sensor and adds another.
#include "bench/benchtable.h"
#include "bench/mqttviewer.h"
#include "bench/sensorplant.h"
#include "gateway/modbus.h"
#include "sensor/sensor.h"
#include "sim/simsensor.h"
#include "tests/libmodbus_client.h"
#include "tests/mosquitto_broker.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <mutex>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kSensors = 200;
constexpr int kModbusThreads = 4;
constexpr auto kReadEvery = 100ms; // each sensor's registers, ten times a second
constexpr auto kSteady = 10s;      // the span CPU and answer times are measured over
constexpr int kQuietUnit = kSensors + 1, kAddedUnit = kSensors + 2;

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// Modbus clients on threads of their own, each reading the whole table of its share
// of the units in turn, every unit every kReadEvery, and keeping each answer time.
class ModbusLoad {
  public:
    ModbusLoad(int port, int units) : m_port(port), m_units(units), m_answered(std::size_t(units) + 1) {
        for (int k = 0; k < kModbusThreads; ++k)
            m_threads.emplace_back([this, k] { Run(k); });
    }
    ~ModbusLoad() { Stop(); }
    void Stop() {
        m_stop = true;
        for (std::thread &t : m_threads)
            if (t.joinable()) t.join();
    }
    // Every unit answered with its registers at least once.
    bool allAnswered() const {
        return std::all_of(m_answered.begin() + 1, m_answered.end(), [](const auto &a) { return a.load(); });
    }
    // Answer times in milliseconds of the reads made between from and to; after Stop().
    std::vector<double> answerMs(Clock::time_point from, Clock::time_point to) const {
        std::vector<double> ms;
        for (const Read &r : m_reads)
            if (r.at >= from && r.at <= to) ms.push_back(1000.0 * r.seconds);
        return ms;
    }
    // Reads without any answer (time-outs, lost connections); after Stop().
    int unanswered() const { return m_unanswered; }

  private:
    struct Read {
        Clock::time_point at;
        double seconds;
    };
    void Run(int index) {
        std::vector<Read> reads;
        int unanswered = 0;
        auto client = std::make_unique<testmodbus::Client>(m_port, 1);
        bool connected = client->Connect();
        for (auto round = Clock::now(); !m_stop; round += kReadEvery) {
            for (int unit = index + 1; unit <= m_units && !m_stop; unit += kModbusThreads) {
                if (!connected) {
                    client = std::make_unique<testmodbus::Client>(m_port, unit);
                    connected = client->Connect();
                    if (!connected) continue;
                }
                client->SetUnit(unit);
                const auto start = Clock::now();
                const std::vector<int> registers = client->Read(3, 0, gateway::kRegisterCount);
                reads.push_back({start, Seconds(Clock::now() - start)});
                if (registers.size() == std::size_t(gateway::kRegisterCount))
                    m_answered[std::size_t(unit)] = true;
                if (registers.front() == -1000) ++unanswered, connected = false;
            }
            std::this_thread::sleep_until(round + kReadEvery);
        }
        const std::lock_guard lock(m_mutex);
        m_reads.insert(m_reads.end(), reads.begin(), reads.end());
        m_unanswered += unanswered;
    }

    int m_port, m_units;
    std::vector<std::atomic<bool>> m_answered; // by unit id
    std::atomic<bool> m_stop = false;
    std::mutex m_mutex;
    std::vector<Read> m_reads;
    int m_unanswered = 0;
    std::vector<std::thread> m_threads;
};

double Percentile(std::vector<double> values, double share) {
    if (values.empty()) return -1;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, std::size_t(share * double(values.size())))];
}

// Waits up to limit for done(), looking every few milliseconds.
template <typename Done> bool Await(Done done, Clock::duration limit) {
    for (const auto end = Clock::now() + limit; Clock::now() < end; std::this_thread::sleep_for(5ms))
        if (done()) return true;
    return done();
}

// The tool's CPU per sample the viewer received over kSteady, once every sensor has delivered.
double SteadyCpuPerSample(pid_t pid, bench::Viewer &viewer) {
    const double cpu = bench::CpuOf(pid);
    viewer.Update();
    const int64_t samples = viewer.samples();
    std::this_thread::sleep_for(kSteady);
    viewer.Update();
    return (bench::CpuOf(pid) - cpu) / double(std::max<int64_t>(1, viewer.samples() - samples));
}

void Signal(QProcess &process, int signal) {
    ::kill(static_cast<pid_t>(process.processId()), signal);
}

// sensorctl publish with the plant's sensors, until stopped: CPU per delivered sample, or -1.
double MeasurePublish(const QString &dir, const testbroker::Broker &broker, const bench::Plant &plant) {
    bench::Viewer viewer(broker, "bench/+/data", dir + "/publish.txt");
    QProcess tool;
    tool.setStandardOutputFile(QProcess::nullDevice());
    tool.setStandardErrorFile(dir + "/publish.log");
    tool.start(SENSORCTL_PATH,
               {"--targets", plant.targets(), "publish", "--broker", broker.Url(), "--topic", "bench/%n"});
    if (!tool.waitForStarted()) return -1;
    const bool served = Await([&] { return viewer.Update(), viewer.sensorsHeard() == kSensors; }, 60s);
    const double cpu = served ? SteadyCpuPerSample(static_cast<pid_t>(tool.processId()), viewer) : -1;
    Signal(tool, SIGTERM);
    tool.waitForFinished(10000);
    return cpu;
}

std::string GatewayConfig(const testbroker::Broker &broker, const bench::Plant &plant, int modbusPort,
                          const std::string &extraName, int extraPort, int extraUnit) {
    std::string text = "[broker]\nurl = \"" + broker.Url().toStdString() +
                       "\"\nclient_id = \"bench-gateway\"\n\n[defaults]\ntopic_prefix = \"plant\"\n";
    const auto sensor = [&](const std::string &name, int port, int unit) {
        text += "\n[[sensor]]\nname = \"" + name + "\"\ntarget = \"tcp://127.0.0.1:" + std::to_string(port) +
                "\"\nmodbus_unit = " + std::to_string(unit) + "\n";
    };
    for (int k = 0; k < kSensors; ++k)
        sensor("s" + std::to_string(k), plant.firstPort() + k, k + 1);
    sensor(extraName, extraPort, extraUnit);
    return text + "\n[modbus]\nlisten = \"127.0.0.1:" + std::to_string(modbusPort) + "\"\n";
}

void MeasureGateway(const QString &dir, const testbroker::Broker &broker, const bench::Plant &plant,
                    double publishCpu) {
    // One sensor of its own in this process falls silent; the reload replaces it with another.
    sim::SimSensor quiet, added;
    const int modbusPort = testbroker::FreePort();
    const std::string config = (dir + "/gateway.toml").toStdString();
    std::ofstream(config) << GatewayConfig(broker, plant, modbusPort, "quiet", quiet.listenTcp(), kQuietUnit);
    bench::Viewer viewer(broker, "plant/#", dir + "/gateway.txt");
    QProcess tool;
    tool.setStandardErrorFile(dir + "/gateway.log");
    tool.start(SENSORCTL_PATH, {"gateway", "--config", QString::fromStdString(config)});
    if (!tool.waitForStarted()) return bench::PrintFailure("sensorctl gateway", "it did not start");
    const pid_t pid = static_cast<pid_t>(tool.processId());
    ModbusLoad load(modbusPort, kQuietUnit);
    const bool served = Await(
        [&] { return viewer.Update(), viewer.sensorsHeard() == kSensors + 1 && load.allAnswered(); }, 60s);
    if (!served) {
        Signal(tool, SIGTERM);
        tool.waitForFinished(5000);
        return bench::PrintFailure("sensorctl gateway", "not every sensor was served within 60 s");
    }
    const auto steadyFrom = Clock::now();
    const double cpu = SteadyCpuPerSample(pid, viewer);
    const auto steadyTo = Clock::now();

    // The quiet sensor falls silent: how long after its answer time both outputs say so.
    testmodbus::Client probe(modbusPort, kQuietUnit);
    probe.Connect();
    quiet.setFault({.kind = sim::FaultKind::NoAnswer, .persistent = true});
    const auto silent = Clock::now();
    double onMqtt = -1, onModbus = -1;
    Await(
        [&] {
            viewer.Update();
            if (onMqtt < 0 && viewer.last("plant/quiet/status") == "offline")
                onMqtt = Seconds(Clock::now() - silent);
            if (onModbus < 0 && probe.Read(3, 0, 1) == std::vector<int>{-0x0B})
                onModbus = Seconds(Clock::now() - silent);
            return onMqtt >= 0 && onModbus >= 0;
        },
        15s);

    // A reload removes the quiet sensor and adds another; the other 200 run on.
    std::ofstream(config) << GatewayConfig(broker, plant, modbusPort, "added", added.listenTcp(), kAddedUnit);
    Signal(tool, SIGHUP);
    const auto reloaded = Clock::now();
    const bool addedOnline = Await([&] { return viewer.Update(), viewer.heard("plant/added/data"); }, 10s);
    const double addedAfter = Seconds(Clock::now() - reloaded);
    std::this_thread::sleep_for(2s); // samples after the reload, for gaps to show
    load.Stop();
    Signal(tool, SIGTERM);
    tool.waitForFinished(10000);
    std::this_thread::sleep_for(1500ms); // the last samples on their way to the viewer
    viewer.Update();

    const std::vector<double> answers = load.answerMs(steadyFrom, steadyTo);
    bench::Print({"gateway, 200 sensors, Modbus 10/s each: CPU per delivered sample", 1e6 * cpu, "us", 1,
                  bench::Goal::AtMost, 1.2e6 * publishCpu, "publish alone + 20 %"});
    bench::Print({"gateway: Modbus answer time, median", Percentile(answers, 0.5), "ms", 2,
                  bench::Goal::AtMost, 2.0, "libmodbus clients, 2,000 reads/s"});
    bench::Print({"gateway: Modbus answer time, 99th percentile", Percentile(answers, 0.99), "ms", 2,
                  bench::Goal::AtMost, 2.0, "libmodbus clients, 2,000 reads/s"});
    bench::Print({"gateway: Modbus reads without an answer", double(load.unanswered()), "", 0,
                  bench::Goal::AtMost, 0, "the whole run"});
    const double answerTime = sensor::kAnswerTimeout;
    if (onMqtt < 0 || onModbus < 0)
        bench::PrintFailure("gateway: silence to offline", "an output never said offline");
    else {
        bench::Print({"gateway: silence to offline on MQTT, beyond the answer time", onMqtt - answerTime, "s",
                      2, bench::Goal::AtMost, 1.0, "answer time 3 s"});
        bench::Print({"gateway: silence to exception 0x0B on Modbus, beyond the answer time",
                      onModbus - answerTime, "s", 2, bench::Goal::AtMost, 1.0, "answer time 3 s"});
    }
    if (!addedOnline)
        bench::PrintFailure("gateway: reload", "the added sensor never delivered");
    else
        bench::Print({"gateway: reload to the added sensor's first sample", addedAfter, "s", 2,
                      bench::Goal::AtMost, 1.0, "SIGHUP"});
    bench::Print({"gateway: samples lost across a reload", double(viewer.lost("plant/s")), "", 0,
                  bench::Goal::AtMost, 0, "200 unchanged sensors, the whole run"});
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    bench::RaiseDescriptorLimit();
    QTemporaryDir dir;
    testbroker::Broker broker(dir.path(), "allow_anonymous true\nmax_queued_messages 100000\n");
    bench::Plant plant(dir.path(), kSensors, "plant");
    if (!broker.Start() || !plant.ok()) {
        bench::PrintFailure("sensorctl gateway", "no broker or no simulated sensors");
        return 1;
    }
    const double publishCpu = MeasurePublish(dir.path(), broker, plant);
    if (publishCpu < 0) {
        bench::PrintFailure("sensorctl publish", "not every sensor was served within 60 s");
        return 1;
    }
    bench::Print({"publish alone, 200 sensors: CPU per delivered sample", 1e6 * publishCpu, "us", 1,
                  bench::Goal::AtMost, 50, "the gateway's reference"});
    MeasureGateway(dir.path(), broker, plant, publishCpu);
    return 0;
}
