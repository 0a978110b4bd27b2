// Figures of one sensorctl gateway process over 10,000 simulated sensors (two
// sensorsim --count 5000, processes of their own) at one sample a second each,
// publishing into a local Mosquitto broker, with Modbus for 247 of them while a
// libmodbus client reads one unit ten times a second: the gateway's CPU share,
// its resident memory per sensor, its descriptors, the share of the samples the
// broker delivered and the Modbus answer times. Then the same figures (without
// Modbus) of sensorctl publish with the same sensors as targets of one run, on
// one broker connection.
//
// bench_gateway_scale [SENSORS [gateway|publish]] runs with fewer sensors (a
// quick look), or one of the two; the goals are those of 10,000.
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

// The time a process has waited, runnable, for a CPU so far (/proc/PID/schedstat), in
// seconds: what the machine's other work adds to every answer time.
double WaitedForCpu(pid_t pid) {
    std::ifstream schedstat("/proc/" + std::to_string(pid) + "/schedstat");
    double running = 0, waiting = 0;
    schedstat >> running >> waiting;
    return waiting / 1e9;
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

// What one process over every sensor showed once all were served.
struct Figures {
    double allServedAfter = -1; // seconds from the start
    double cpuShare = 0;        // of one core
    double waitShare = 0;       // of the span, runnable and waiting for a CPU
    double deliveredShare = 0;  // of one sample a second per sensor
    double span = 0;            // seconds measured
    long rss = 0;               // KiB
    long descriptors = 0;
    int64_t lost = 0; // sample numbers the broker never delivered, over the whole run
};

// Runs sensorctl with arguments until every sensor was heard on topic, measures it
// for kSteady (while during() runs), then ends it with SIGTERM.
template <typename During>
Figures Measure(const testbroker::Broker &broker, const QString &dir, const QString &name,
                const QStringList &arguments, const QString &topic, int total, During during) {
    Figures f;
    bench::Viewer viewer(broker, topic, dir + "/" + name + ".txt");
    QProcess tool;
    tool.setStandardOutputFile(dir + "/" + name + ".out");
    tool.setStandardErrorFile(dir + "/" + name + ".log");
    tool.start(SENSORCTL_PATH, arguments);
    if (!tool.waitForStarted()) return f;
    const pid_t pid = static_cast<pid_t>(tool.processId());
    const auto started = Clock::now();
    while (Clock::now() - started < 180s && (viewer.Update(), int(viewer.sensorsHeard()) < total))
        std::this_thread::sleep_for(200ms);
    f.allServedAfter = Seconds(Clock::now() - started);
    std::this_thread::sleep_for(5s); // the first wave's connects behind it

    viewer.Update();
    const int64_t samplesBefore = viewer.samples();
    const double cpuBefore = bench::CpuOf(pid), waitedBefore = WaitedForCpu(pid);
    const auto from = Clock::now();
    during(kSteady);
    viewer.Update();
    f.span = Seconds(Clock::now() - from);
    f.cpuShare = (bench::CpuOf(pid) - cpuBefore) / f.span;
    f.waitShare = (WaitedForCpu(pid) - waitedBefore) / f.span;
    f.deliveredShare = double(viewer.samples() - samplesBefore) / f.span / total;
    f.rss = bench::ResidentKiB(pid);
    f.descriptors = Descriptors(pid);
    f.lost = viewer.lost("");
    ::kill(pid, SIGTERM);
    tool.waitForFinished(30000);
    return f;
}

// The rows every process over all sensors has.
void PrintFigures(const std::string &who, const Figures &f, int total) {
    const std::string n = std::to_string(total);
    bench::Print({who + ", " + n + " sensors at 1/s: every sensor delivered after", f.allServedAfter, "s", 1,
                  bench::Goal::AtMost, 180, "from the start"});
    bench::Print({who + ", " + n + " sensors at 1/s: CPU", 100 * f.cpuShare, "% of a core", 1,
                  bench::Goal::AtMost, 30, "10,000 sensors"});
    bench::Print({who + ": time waiting for a CPU while runnable", 100 * f.waitShare, "% of the time", 1,
                  bench::Goal::AtMost, 100, "the machine's other work; no goal of ours"});
    bench::Print({who + ": resident memory per sensor", double(f.rss) / total, "KiB", 1, bench::Goal::AtMost,
                  32, "VmRSS / sensors"});
    bench::Print({who + ": open descriptors beyond one per sensor", double(f.descriptors - total), "", 0,
                  bench::Goal::AtMost, 64, "/proc/PID/fd"});
    bench::Print({who + ": samples delivered by the broker", 100 * f.deliveredShare, "% of 1/s each", 1,
                  bench::Goal::AtLeast, 97, "over " + std::to_string(int(f.span)) + " s"});
    bench::Print({who + ": samples lost (numbers skipped)", double(f.lost), "", 0, bench::Goal::AtMost, 0,
                  "every sample taken, the whole run"});
}

void MeasureGateway(const testbroker::Broker &broker, const QString &dir,
                    const std::vector<std::unique_ptr<bench::Plant>> &plants, int perPlant) {
    const int modbusPort = testbroker::FreePort();
    const QString config = dir + "/gateway.toml";
    std::ofstream(config.toStdString()) << GatewayConfig(broker, plants, perPlant, modbusPort);
    ModbusProbe probe(modbusPort);
    const int total = 2 * perPlant;
    const Figures f = Measure(broker, dir, "gateway", {"gateway", "--config", config}, "plant/+/data", total,
                              [&probe](auto span) {
                                  probe.Measure(true);
                                  std::this_thread::sleep_for(span);
                                  probe.Measure(false);
                              });
    probe.Stop();
    if (f.allServedAfter < 0) return bench::PrintFailure("sensorctl gateway", "it did not start");
    PrintFigures("gateway", f, total);
    const std::vector<double> answers = probe.answersMs();
    bench::Print({"gateway: Modbus answer time, median", Percentile(answers, 0.5), "ms", 2,
                  bench::Goal::AtMost, 5, "one client, 10 reads/s"});
    bench::Print({"gateway: Modbus answer time, 99th percentile", Percentile(answers, 0.99), "ms", 2,
                  bench::Goal::AtMost, 5, "one client, 10 reads/s"});
    bench::Print({"gateway: Modbus reads without an answer", double(probe.unanswered()), "", 0,
                  bench::Goal::AtMost, 0, "while measured"});
}

// publish with the same sensors, every one a target of one run on one broker connection.
void MeasurePublish(const testbroker::Broker &broker, const QString &dir,
                    const std::vector<std::unique_ptr<bench::Plant>> &plants, int perPlant) {
    const QString targets = dir + "/all.txt";
    std::ofstream file(targets.toStdString());
    for (std::size_t p = 0; p < plants.size(); ++p)
        for (int k = 0; k < perPlant; ++k)
            file << "tcp://127.0.0.1:" << plants[p]->firstPort() + k << " p" << p << "s" << k << "\n";
    file.close();
    const int total = 2 * perPlant;
    const Figures f = Measure(
        broker, dir, "publish",
        {"--targets", targets, "publish", "--broker", broker.Url(), "--topic", "bench/%n", "--interval", "1"},
        "bench/+/data", total, [](auto span) { std::this_thread::sleep_for(span); });
    if (f.allServedAfter < 0) return bench::PrintFailure("sensorctl publish", "it did not start");
    PrintFigures("publish, one broker connection", f, total);
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    bench::RaiseDescriptorLimit();
    const int sensors = argc > 1 ? std::clamp(std::atoi(argv[1]), 2, 2 * kPerPlant) : 2 * kPerPlant;
    const std::string only = argc > 2 ? argv[2] : "";
    const int perPlant = sensors / 2;
    QTemporaryDir dir;
    testbroker::Broker broker(dir.path(), "allow_anonymous true\nmax_queued_messages 100000\n");
    // The broker first: 10,000 sensors on ports of the system's choosing could take the port it was given.
    const bool brokerUp = broker.Start();
    std::vector<std::unique_ptr<bench::Plant>> plants;
    for (const char *name : {"a", "b"})
        plants.push_back(std::make_unique<bench::Plant>(dir.path(), perPlant, name));
    if (!brokerUp || !plants[0]->ok() || !plants[1]->ok()) {
        bench::PrintFailure("gateway at scale", std::string("no broker or no simulated sensors: broker ") +
                                                    (brokerUp ? "up" : "down") + ", first ports " +
                                                    std::to_string(plants[0]->firstPort()) + " " +
                                                    std::to_string(plants[1]->firstPort()));
        return 1;
    }
    if (only != "publish") MeasureGateway(broker, dir.path(), plants, perPlant);
    if (only != "gateway") MeasurePublish(broker, dir.path(), plants, perPlant);
    return 0;
}
