// Figures of the gateway's journal with 200 simulated sensors (sensorsim --count)
// and a local Mosquitto broker. At one sample a second, the broker goes away for
// an outage (60 s unless the first argument gives other seconds; a night is what
// the journal is for; a second argument --outage-only leaves the full rate out) and comes back: the replay's
// rate, the journal's bytes per sample and how late the live samples are while the replay runs. At full rate
// with the broker present: the CPU per delivered sample with the journal against memory only. The gateway's
// resident memory before the outage, at its peak and a few seconds after the
// backlog has gone, with the journal and with memory only.
#include "bench/benchtable.h"
#include "bench/sensorplant.h"
#include "tests/mosquitto_broker.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kSensors = 200;
constexpr auto kSteady = 10s;

template <typename Done> bool Await(Done done, Clock::duration limit) {
    for (const auto end = Clock::now() + limit; Clock::now() < end; std::this_thread::sleep_for(5ms))
        if (done()) return true;
    return done();
}

// mosquitto_sub with a session the broker keeps across its restart, writing into a
// file that is read as it grows: data samples counted, replayed ones apart, and
// the live ones' lateness (arrival against their time) while the replay runs.
// Each line carries the time mosquitto_sub received it, so the figures do not
// depend on how often the file is read.
class Viewer {
  public:
    Viewer(const testbroker::Broker &broker, const QString &file) : m_file(file) {
        m_process.setStandardOutputFile(file);
        m_process.start(testbroker::Find("stdbuf"), QStringList{"-oL", testbroker::Find("mosquitto_sub")} +
                                                        broker.Address() +
                                                        QStringList{"-t", "plant/+/data", "-q", "1", "-c",
                                                                    "-i", "bench-viewer", "-F", "%U %p"});
        m_process.waitForStarted();
    }
    ~Viewer() {
        m_process.terminate();
        m_process.waitForFinished();
    }
    void Update() {
        m_file.ReadLines([this](const std::string &line) { Take(line); });
    }
    int64_t live = 0, historical = 0;
    int64_t all() const { return live + historical; }
    double firstHistorical = 0, lastHistorical = 0; // arrival, in seconds since the epoch
    // Of the live samples taken while replayed ones came, in seconds.
    std::vector<double> LatenessDuringReplay() const {
        std::vector<double> lateness;
        for (const auto &[taken, arrived] : m_liveAfterReplayBegan)
            if (taken >= firstHistorical && taken <= lastHistorical) lateness.push_back(arrived - taken);
        return lateness;
    }

  private:
    void Take(const std::string &line) {
        const double arrived = std::atof(line.c_str()); // "%U": seconds.nanoseconds since the epoch
        if (line.find("\"historical\":true") != std::string::npos) {
            if (historical++ == 0) firstHistorical = arrived;
            lastHistorical = arrived;
            return;
        }
        ++live;
        const auto at = line.find("\"time\":\"");
        if (historical == 0 || at == std::string::npos) return;
        const QDateTime taken =
            QDateTime::fromString(QString::fromStdString(line.substr(at + 8, 29)), Qt::ISODateWithMs);
        m_liveAfterReplayBegan.push_back({double(taken.toMSecsSinceEpoch()) / 1000.0, arrived});
    }

    QProcess m_process;
    bench::GrowingFile m_file;
    std::vector<std::pair<double, double>> m_liveAfterReplayBegan; // taken, arrived
};

double Percentile(std::vector<double> values, double share) {
    if (values.empty()) return -1;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, std::size_t(share * double(values.size())))];
}

uint64_t JournalBytes(const std::string &folder) {
    uint64_t bytes = 0;
    std::error_code failed;
    for (const auto &entry : std::filesystem::directory_iterator(folder, failed))
        if (entry.path().extension() == ".seg") bytes += entry.file_size(failed);
    return bytes;
}

class GatewayRun {
  public:
    GatewayRun(const QString &dir, const testbroker::Broker &broker, const bench::Plant &plant,
               const std::string &storage, double interval) {
        const std::string config = (dir + "/gateway.toml").toStdString();
        std::ofstream text(config);
        text << "[broker]\nurl = \"" << broker.Url().toStdString()
             << "\"\nclient_id = \"bench-journal\"\n\n[defaults]\ntopic_prefix = \"plant\"\ninterval = "
             << interval << "\n\n[storage]\npath = \"" << storage << "\"\n";
        for (int k = 0; k < kSensors; ++k)
            text << "\n[[sensor]]\nname = \"s" << k
                 << "\"\ntarget = \"tcp://127.0.0.1:" << plant.firstPort() + k << "\"\n";
        text.close();
        m_process.setStandardErrorFile(dir + "/gateway.log", QIODevice::Append);
        m_process.start(SENSORCTL_PATH, {"gateway", "--config", QString::fromStdString(config)});
        m_process.waitForStarted();
    }
    ~GatewayRun() {
        ::kill(pid(), SIGTERM);
        m_process.waitForFinished(10000);
    }
    pid_t pid() const { return static_cast<pid_t>(m_process.processId()); }

  private:
    QProcess m_process;
};

// The gateway's CPU per sample the viewer received over kSteady.
double CpuPerSample(const GatewayRun &gateway, Viewer &viewer) {
    viewer.Update();
    const double cpu = bench::CpuOf(gateway.pid());
    const int64_t samples = viewer.live;
    std::this_thread::sleep_for(kSteady);
    viewer.Update();
    return (bench::CpuOf(gateway.pid()) - cpu) / double(std::max<int64_t>(1, viewer.live - samples));
}

// The gateway's resident memory (VmRSS, KiB) before an outage, at its highest, and after.
struct Resident {
    pid_t pid;
    long before = -1, peak = -1, after = -1;
    bool sample() {
        peak = std::max(peak, bench::ResidentKiB(pid));
        return false;
    }
};

void PrintMemory(const Resident &m, const std::string &setting) {
    const double mb = 1024.0;
    bench::Print({"gateway memory before the outage", double(m.before) / mb, "MB RSS", 1, bench::Goal::AtMost,
                  double(m.before) / mb, setting});
    bench::Print({"gateway memory at its peak (outage and replay)", double(m.peak) / mb, "MB RSS", 1,
                  bench::Goal::AtMost, 64 + double(m.before) / mb, "memory_mb above the level before"});
    bench::Print({"gateway memory 5 s after the backlog has gone", double(m.after) / mb, "MB RSS", 1,
                  bench::Goal::AtMost, 1.1 * double(m.before) / mb, "the level before + 10 %"});
}

// Waits, sampling the memory, until no more than the live samples come for two seconds.
void AwaitBacklogGone(Viewer &viewer, Resident &memory) {
    int64_t seen = -1;
    Await(
        [&] {
            for (int k = 0; k < 20; ++k) {
                memory.sample();
                std::this_thread::sleep_for(100ms);
            }
            viewer.Update();
            const int64_t before = std::exchange(seen, viewer.all());
            return before >= 0 && viewer.all() - before <= 3 * kSensors;
        },
        300s);
}

void MeasureOutage(const QString &dir, testbroker::Broker &broker, const bench::Plant &plant, int outage,
                   bool withJournal) {
    const QString name = withJournal ? "/outage" : "/outage-memory";
    const std::string storage = withJournal ? (dir + name).toStdString() : "";
    Viewer viewer(broker, dir + name + ".txt");
    GatewayRun gateway(dir, broker, plant, storage, 1.0);
    if (!Await([&] { return viewer.Update(), viewer.live >= 5 * kSensors; }, 60s))
        return bench::PrintFailure("journal outage", "the sensors were not served within 60 s");
    const std::string setting = std::to_string(kSensors) + " sensors at 1/s, broker away " +
                                std::to_string(outage) + " s, " +
                                (withJournal ? "with a storage folder" : "memory only");
    Resident memory{gateway.pid()};
    memory.before = bench::ResidentKiB(gateway.pid());
    memory.sample();
    const uint64_t bytesBefore = withJournal ? JournalBytes(storage) : 0;
    broker.Stop();
    Await([&] { return memory.sample(); }, std::chrono::seconds(outage));
    const uint64_t bytes = withJournal ? JournalBytes(storage) - bytesBefore : 0;
    if (!broker.Start()) return bench::PrintFailure("journal outage", "the broker did not start again");
    const int64_t expected = int64_t(kSensors) * outage * 9 / 10;
    if (withJournal)
        Await([&] { return memory.sample(), viewer.Update(), viewer.historical >= expected; }, 300s);
    AwaitBacklogGone(viewer, memory);
    Await([&] { return memory.sample(); }, 5s);
    memory.after = bench::ResidentKiB(gateway.pid());
    PrintMemory(memory, setting);
    if (!withJournal) return;
    const double replaySeconds = viewer.lastHistorical - viewer.firstHistorical;
    bench::Print({"journal: samples replayed", double(viewer.historical), "", 0, bench::Goal::AtLeast,
                  double(expected), setting});
    bench::Print({"journal: replay rate", double(viewer.historical) / std::max(replaySeconds, 1e-3),
                  "samples/s", 0, bench::Goal::AtLeast, 20000, setting});
    bench::Print({"journal: bytes per sample",
                  double(bytes) / double(std::max<int64_t>(1, viewer.historical)), "B", 1,
                  bench::Goal::AtMost, 64, setting});
    const std::vector<double> lateness = viewer.LatenessDuringReplay();
    bench::Print({"journal: live samples taken during the replay", double(lateness.size()), "", 0,
                  bench::Goal::AtLeast, 1, "else the lateness below says nothing"});
    bench::Print({"journal: live samples' lateness during the replay, maximum", Percentile(lateness, 1.0),
                  "s", 3, bench::Goal::AtMost, 1.0, setting});
}

void MeasureFullRate(const QString &dir, const testbroker::Broker &broker, const bench::Plant &plant) {
    double perSample[2] = {-1, -1};
    for (int withJournal = 0; withJournal < 2; ++withJournal) {
        const QString name = withJournal ? "/full-journal" : "/full-memory";
        Viewer viewer(broker, dir + name + ".txt");
        GatewayRun gateway(dir, broker, plant, withJournal ? (dir + name).toStdString() : "", 0.0);
        if (!Await([&] { return viewer.Update(), viewer.live >= 20 * kSensors; }, 60s))
            return bench::PrintFailure("journal at full rate", "the sensors were not served within 60 s");
        perSample[withJournal] = CpuPerSample(gateway, viewer);
    }
    bench::Print({"full rate, memory only: gateway CPU per delivered sample", 1e6 * perSample[0], "us", 1,
                  bench::Goal::AtMost, 1e6 * perSample[0], "reference"});
    bench::Print({"full rate, journal: gateway CPU per delivered sample", 1e6 * perSample[1], "us", 1,
                  bench::Goal::AtMost, 1.25e6 * perSample[0], "memory only + 25 %"});
    bench::Print({"full rate: journal's extra CPU per sample", 1e6 * (perSample[1] - perSample[0]), "us", 1,
                  bench::Goal::AtMost, 10, "with the journal against memory only"});
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    bench::RaiseDescriptorLimit();
    const int outage = argc > 1 ? std::max(1, std::atoi(argv[1])) : 60;
    QTemporaryDir dir;
    testbroker::Broker broker(dir.path(), "allow_anonymous true\nmax_queued_messages 1000000\n"
                                          "max_inflight_messages 0\n");
    bench::Plant plant(dir.path(), kSensors, "plant");
    if (!broker.Start() || !plant.ok()) {
        bench::PrintFailure("journal", "no broker or no simulated sensors");
        return 1;
    }
    MeasureOutage(dir.path(), broker, plant, outage, true);
    MeasureOutage(dir.path(), broker, plant, outage, false);
    if (argc <= 2 || std::string(argv[2]) != "--outage-only") MeasureFullRate(dir.path(), broker, plant);
    return 0;
}
