// Figures of the event-loop MQTT client against a local Mosquitto broker: the CPU
// this process spends per QoS 1 message for 1 and for 200 clients publishing at
// 20 Hz each, and what 1,000 idle connected clients cost in resident memory,
// descriptors and CPU, idle and in every turn of the event loop that other work
// causes. The broker's own CPU is printed beside, as information.
#include "bench/benchtable.h"
#include "mqtt/client.h"
#include "tests/mosquitto_broker.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <memory>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

using Clients = std::vector<std::unique_ptr<mqtt::Client>>;

constexpr int kRateHz = 20;
constexpr int kMostSlots = 10; // a client's turn comes in one of up to ten slots of its 50 ms period
constexpr int kPublishSeconds = 5;
constexpr int kIdleClients = 1000;
// A live sample as the tool publishes it.
const std::string kSample = R"({"seq":123456,"t":"2024-05-01T12:00:00.000Z","values":[1.2345,2.3456,3.4567,)"
                            R"(4.5678,5.6789,6.789,7.8901,8.9012],"temp":23.5})";

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double ResidentBytes() {
    long pages = 0, resident = 0;
    if (FILE *statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(statm);
    }
    return double(resident) * double(sysconf(_SC_PAGESIZE));
}

int OpenDescriptors() {
    return static_cast<int>(QDir("/proc/self/fd").entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size());
}

// Runs the event loop until done() holds (checked every 50 ms, so that the check
// itself costs next to nothing) or seconds pass; done().
bool RunUntil(const std::function<bool()> &done, double seconds) {
    QElapsedTimer clock;
    clock.start();
    QTimer check;
    QEventLoop loop;
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (done() || clock.elapsed() > seconds * 1000) loop.quit();
    });
    check.start(50);
    if (!done()) loop.exec();
    return done();
}

// Runs the event loop for seconds.
void RunFor(double seconds) {
    QEventLoop loop;
    QTimer::singleShot(std::chrono::milliseconds(int(seconds * 1000)), &loop, &QEventLoop::quit);
    loop.exec();
}

// Makes count clients of the broker, a few at a time as a service starting up
// would, and waits for all to connect; empty when they did not.
Clients Connected(const testbroker::Broker &broker, int count) {
    Clients clients;
    for (int i = 0; i < count; ++i) {
        mqtt::Options options;
        options.broker = {"127.0.0.1", broker.Port(), false};
        options.clientId = "bench" + std::to_string(i);
        options.will = {"bench/" + std::to_string(i) + "/status", "offline", 1, true};
        clients.push_back(std::make_unique<mqtt::Client>(options));
        std::string problem;
        if (!clients.back()->start(problem)) {
            std::fprintf(stderr, "%s\n", problem.c_str());
            return {};
        }
        if (i % 50 == 49) RunFor(0.02); // the broker's listen backlog is 100
    }
    const bool all = RunUntil(
        [&] {
            return std::all_of(clients.begin(), clients.end(), [](const auto &c) { return c->connected(); });
        },
        60);
    return all ? std::move(clients) : Clients{};
}

void MeasurePublishing(const testbroker::Broker &broker, int count, double goalMicroseconds) {
    const std::string name =
        "mqtt::Client, " + std::to_string(count) + (count == 1 ? " client" : " clients") + " at 20 Hz each";
    Clients clients = Connected(broker, count);
    if (clients.empty()) return bench::PrintFailure(name, "the clients did not connect");
    const double brokerBefore = broker.CpuSeconds();
    const double before = CpuSeconds();
    QElapsedTimer clock;
    clock.start();
    // Each tick publishes for the slots that have come due, so that a late tick loses no message.
    const int slotCount = std::min(count, kMostSlots);
    const qint64 slotNanoseconds = 1000000000 / kRateHz / slotCount;
    const qint64 slotsInRun = kPublishSeconds * kRateHz * slotCount;
    qint64 slotsDone = 0;
    QTimer pace;
    pace.setTimerType(Qt::PreciseTimer);
    QObject::connect(&pace, &QTimer::timeout, [&] {
        for (; slotsDone <= std::min(clock.nsecsElapsed() / slotNanoseconds, slotsInRun - 1); ++slotsDone)
            for (int i = int(slotsDone % slotCount); i < count; i += slotCount)
                clients[i]->publish({"bench/" + std::to_string(i) + "/data", kSample});
    });
    pace.start(int(slotNanoseconds / 1000000));
    RunUntil([&] { return slotsDone == slotsInRun; }, 2 * kPublishSeconds);
    pace.stop();
    const bool drained = RunUntil(
        [&] {
            return std::all_of(clients.begin(), clients.end(), [](const auto &c) { return c->drained(); });
        },
        10);
    const double cpu = CpuSeconds() - before, wall = clock.nsecsElapsed() / 1e9;
    const double brokerCpu = broker.CpuSeconds() - brokerBefore;
    mqtt::Counts total;
    for (const auto &c : clients) {
        total.handedOver += c->counts().handedOver;
        total.confirmed += c->counts().confirmed;
        total.dropped += c->counts().dropped;
    }
    if (!drained || total.confirmed == 0) return bench::PrintFailure(name, "messages stayed unconfirmed");
    const double perSecond = total.confirmed / wall;
    bench::Print({name + ": CPU per QoS 1 message", 1e6 * cpu / total.confirmed, "us", 1, bench::Goal::AtMost,
                  goalMicroseconds, "the publishing process, timers and acknowledgements included"});
    bench::Print({name + ": messages confirmed", double(total.confirmed), "", 0, bench::Goal::AtLeast,
                  double(count * kRateHz * kPublishSeconds), "every client's 20 per second for 5 s"});
    bench::Print({name + ": messages dropped", double(total.dropped), "", 0, bench::Goal::AtMost, 0, "none"});
    bench::Print({name + ": CPU of one core", 100.0 * cpu / wall, "%", 1, bench::Goal::AtMost,
                  100.0 * goalMicroseconds * 1e-6 * perSecond, "the same goal per second"});
    std::printf("  (the broker took %.1f us per message, %.1f %% of a core)\n",
                1e6 * brokerCpu / total.confirmed, 100.0 * brokerCpu / wall);
}

// The CPU of one turn of the event loop, woken a thousand times a second for other
// work (sensors): a turn looks at every descriptor the loop watches.
double CpuPerWakeUp() {
    QTimer otherWork;
    int wakeUps = 0;
    QObject::connect(&otherWork, &QTimer::timeout, [&] { ++wakeUps; });
    otherWork.start(1);
    const double before = CpuSeconds();
    RunFor(2);
    return (CpuSeconds() - before) / wakeUps;
}

void MeasureIdle(const testbroker::Broker &broker) {
    const std::string name = "mqtt::Client, 1000 idle connected clients";
    const double wakeUpBefore = CpuPerWakeUp();
    const double residentBefore = ResidentBytes();
    const int descriptorsBefore = OpenDescriptors();
    Clients clients = Connected(broker, kIdleClients);
    if (clients.empty()) return bench::PrintFailure(name, "the clients did not connect");
    const double perClient = (ResidentBytes() - residentBefore) / kIdleClients;
    const int descriptors = OpenDescriptors() - descriptorsBefore;
    const double before = CpuSeconds();
    RunFor(3);
    const double idleCpu = (CpuSeconds() - before) / 3;
    const double wakeUpWith = CpuPerWakeUp();
    bench::Print({name + ": resident memory per client", perClient / 1024, "KiB", 1, bench::Goal::AtMost, 16,
                  "a quarter of the 64 KiB a whole sensor may take"});
    bench::Print({name + ": descriptors", double(descriptors), "", 0, bench::Goal::AtMost, kIdleClients + 1,
                  "a socket each and the run-time's epoll set"});
    bench::Print({name + ": CPU of one core", 100.0 * idleCpu, "%", 2, bench::Goal::AtMost, 1,
                  "keepalive work due in one turn a second"});
    bench::Print({name + ": CPU per wake-up of the loop for other work", 1e6 * wakeUpWith, "us", 1,
                  bench::Goal::AtMost, 1e6 * wakeUpBefore + 5,
                  "5 us above the same loop without them (" + bench::Fixed(1e6 * wakeUpBefore, 1) + " us)"});
}

// Lets this process and the broker have as many descriptors as the system allows.
void RaiseDescriptorLimit() {
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
    if (limit.rlim_max < kIdleClients + 100)
        std::fprintf(stderr, "only %ld descriptors allowed: the idle figure will fail\n",
                     long(limit.rlim_max));
}

} // namespace

int main(int argc, char **argv) {
    RaiseDescriptorLimit();
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    testbroker::Broker broker(dir.path());
    if (!broker.Start()) {
        bench::PrintFailure("mqtt::Client", "mosquitto did not start (Debian package mosquitto)");
        return 1;
    }
    MeasureIdle(broker);               // first, while the heap has not grown yet
    MeasurePublishing(broker, 1, 500); // a few turns of the event loop per message: the pace, the answer
    MeasurePublishing(broker, 200, 25);
    return 0;
}
