// Figures of one sensorctl gateway process over 10,000 simulated sensors (two
// sensorsim --count 5000, processes of their own) at one sample a second each,
// publishing into a local Mosquitto broker, with Modbus for 247 of them while a
// libmodbus client reads one unit ten times a second: the gateway's CPU share,
// its resident memory per sensor, its descriptors, the share of the samples the
// broker delivered and the Modbus answer times.
//
// bench_gateway_scale [SENSORS] runs with fewer sensors (a quick look); the goals
// are those of 10,000.
#include "bench/benchtable.h"
#include "bench/mqttviewer.h"
#include "bench/sensorplant.h"
#include "gateway/modbus.h"
#include "tests/libmodbus_client.h"
#include "tests/mosquitto_broker.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <fstream>
#include <memory>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kPerPlant = 5000;
constexpr int kModbusUnits = 247;
constexpr auto kSteady = 20s;

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

long Descriptors(pid_t pid) {
    return long(
        QDir(QString("/proc/%1/fd").arg(pid)).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size());
}

// Reads one unit's registers every 100 ms on a thread of its own, keeping each answer time.
class ModbusProbe {
  public:
    explicit ModbusProbe(int port) : m_thread([this, port] { Run(port); }) {}
    ~ModbusProbe() { Stop(); }
    void Stop() {
        m_stop = true;
        if (m_thread.joinable()) m_thread.join();
    }
    void Measure(bool on) { m_measuring = on; }
    // After Stop().
    std::vector<double> answersMs() const { return m_answers; }
    int unanswered() const { return m_unanswered; }

  private:
    void Run(int port) {
        auto client = std::make_unique<testmodbus::Client>(port, 1);
        bool connected = client->Connect();
        for (int unit = 1; !m_stop; unit = unit % kModbusUnits + 1) {
            std::this_thread::sleep_for(100ms);
            if (!connected) {
                client = std::make_unique<testmodbus::Client>(port, unit);
                connected = client->Connect();
                continue;
            }
            client->SetUnit(unit);
            const auto start = Clock::now();
            const std::vector<int> registers = client->Read(3, 0, gateway::kRegisterCount);
            const double ms = 1000.0 * Seconds(Clock::now() - start);
            if (registers.front() == -1000) connected = false;
            if (!m_measuring) continue;
            if (registers.front() == -1000)
                ++m_unanswered;
            else
                m_answers.push_back(ms);
        }
    }

    std::atomic<bool> m_stop = false, m_measuring = false;
    std::vector<double> m_answers;
    int m_unanswered = 0;
    std::thread m_thread;
};

double Percentile(std::vector<double> values, double share) {
    if (values.empty()) return -1;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, std::size_t(share * double(values.size())))];
}

std::string GatewayConfig(const testbroker::Broker &broker,
                          const std::vector<std::unique_ptr<bench::Plant>> &plants, int perPlant,
                          int modbusPort) {
    std::string text =
        "[broker]\nurl = \"" + broker.Url().toStdString() +
        "\"\nclient_id = \"bench-scale\"\n\n[defaults]\ntopic_prefix = \"plant\"\ninterval = 1\n";
    int unit = 0;
    for (std::size_t p = 0; p < plants.size(); ++p)
        for (int k = 0; k < perPlant; ++k) {
            text += "\n[[sensor]]\nname = \"p" + std::to_string(p) + "s" + std::to_string(k) +
                    "\"\ntarget = \"tcp://127.0.0.1:" + std::to_string(plants[p]->firstPort() + k) + "\"\n";
            if (unit < kModbusUnits) text += "modbus_unit = " + std::to_string(++unit) + "\n";
        }
    return text + "\n[modbus]\nlisten = \"127.0.0.1:" + std::to_string(modbusPort) + "\"\n";
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    bench::RaiseDescriptorLimit();
    const int sensors = argc > 1 ? std::clamp(std::atoi(argv[1]), 2, 2 * kPerPlant) : 2 * kPerPlant;
    const int perPlant = sensors / 2;
    QTemporaryDir dir;
    testbroker::Broker broker(dir.path(), "allow_anonymous true\nmax_queued_messages 100000\n");
    std::vector<std::unique_ptr<bench::Plant>> plants;
    for (const char *name : {"a", "b"})
        plants.push_back(std::make_unique<bench::Plant>(dir.path(), perPlant, name));
    if (!broker.Start() || !plants[0]->ok() || !plants[1]->ok()) {
        bench::PrintFailure("gateway at scale", "no broker or no simulated sensors");
        return 1;
    }
    const int modbusPort = testbroker::FreePort();
    const QString config = dir.path() + "/gateway.toml";
    std::ofstream(config.toStdString()) << GatewayConfig(broker, plants, perPlant, modbusPort);
    bench::Viewer viewer(broker, "plant/+/data", dir.path() + "/viewer.txt");
    QProcess tool;
    tool.setStandardErrorFile(dir.path() + "/gateway.log");
    tool.start(SENSORCTL_PATH, {"gateway", "--config", config});
    if (!tool.waitForStarted()) return bench::PrintFailure("sensorctl gateway", "it did not start"), 1;
    const pid_t pid = static_cast<pid_t>(tool.processId());
    const int total = 2 * perPlant;
    ModbusProbe probe(modbusPort);
    const auto started = Clock::now();
    while (Clock::now() - started < 180s && (viewer.Update(), int(viewer.sensorsHeard()) < total))
        std::this_thread::sleep_for(200ms);
    const double allServedAfter = Seconds(Clock::now() - started);
    std::this_thread::sleep_for(5s); // the first wave's connects behind it

    viewer.Update();
    const int64_t samplesBefore = viewer.samples();
    const double cpuBefore = bench::CpuOf(pid);
    const auto from = Clock::now();
    probe.Measure(true);
    std::this_thread::sleep_for(kSteady);
    probe.Measure(false);
    viewer.Update();
    const double span = Seconds(Clock::now() - from);
    const double cpuShare = (bench::CpuOf(pid) - cpuBefore) / span;
    const double delivered = double(viewer.samples() - samplesBefore) / span;
    const long rss = bench::ResidentKiB(pid), fds = Descriptors(pid);
    probe.Stop();
    ::kill(pid, SIGTERM);
    tool.waitForFinished(20000);

    const std::string n = std::to_string(total);
    bench::Print({"gateway, " + n + " sensors at 1/s: every sensor delivered after", allServedAfter, "s", 1,
                  bench::Goal::AtMost, 180, "from the start"});
    bench::Print({"gateway, " + n + " sensors at 1/s: CPU", 100 * cpuShare, "% of a core", 1,
                  bench::Goal::AtMost, 30, "10,000 sensors"});
    bench::Print({"gateway: resident memory per sensor", double(rss) / total, "KiB", 1, bench::Goal::AtMost,
                  32, "VmRSS / sensors"});
    bench::Print({"gateway: open descriptors beyond one per sensor", double(fds - total), "", 0,
                  bench::Goal::AtMost, 64, "/proc/PID/fd"});
    bench::Print({"gateway: samples delivered by the broker", 100 * delivered / total, "% of 1/s each", 1,
                  bench::Goal::AtLeast, 97, "over " + std::to_string(int(span)) + " s"});
    const std::vector<double> answers = probe.answersMs();
    bench::Print({"gateway: Modbus answer time, median", Percentile(answers, 0.5), "ms", 2,
                  bench::Goal::AtMost, 5, "one client, 10 reads/s"});
    bench::Print({"gateway: Modbus answer time, 99th percentile", Percentile(answers, 0.99), "ms", 2,
                  bench::Goal::AtMost, 5, "one client, 10 reads/s"});
    bench::Print({"gateway: Modbus reads without an answer", double(probe.unanswered()), "", 0,
                  bench::Goal::AtMost, 0, "while measured"});
    return 0;
}
