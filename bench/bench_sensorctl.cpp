// Figures of one sensorctl process over many simulated sensors (sensorsim
// --count, a process of its own) on loopback, publishing into a local Mosquitto
// broker: from 20 and 200 sensors at full polling rate, the CPU the whole tool
// process takes per delivered sample (start-up included), samples delivered per
// second and samples lost; from 1,000 sensors at one sample a second each, the
// tool's CPU, its resident memory per sensor and its open descriptors. Also the
// time to Get 50 sensors against one.
#include "bench/benchtable.h"
#include "bench/sensorplant.h"
#include "tests/mosquitto_broker.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using bench::CpuOf;
using bench::Plant;

// sensorctl as a child process, with its CPU time at the end (start-up included)
// and what /proc tells while it runs.
struct ToolRun {
    double wall = -1;     // seconds
    double cpu = 0;       // seconds of the whole process
    long peakRssKiB = 0;  // at the end of the run
    int descriptors = 0;  // while it ran
    double steadyCpu = 0; // share of one core once every sensor was served, over the sampled span
};

int DescriptorsOf(pid_t pid) {
    return static_cast<int>(
        QDir(QString("/proc/%1/fd").arg(pid)).entryList(QDir::NoDotAndDotDot | QDir::System).size());
}

// Runs the tool to its end; steadyFrom/steadyTo: seconds after the start between
// which its CPU share is sampled.
ToolRun RunTool(const QStringList &arguments, double steadyFrom = 0, double steadyTo = 0) {
    ToolRun run;
    const pid_t pid = fork();
    if (pid == 0) {
        std::freopen("/dev/null", "w", stdout);
        std::vector<std::string> args{SENSORCTL_PATH};
        for (const QString &a : arguments)
            args.push_back(a.toStdString());
        std::vector<char *> argv;
        for (std::string &a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(SENSORCTL_PATH, argv.data());
        _exit(127);
    }
    QElapsedTimer clock;
    clock.start();
    double cpuAtFrom = -1;
    int status = 0;
    rusage usage{};
    for (;;) {
        const pid_t ended = wait4(pid, &status, WNOHANG, &usage);
        if (ended == pid) break;
        const double t = clock.nsecsElapsed() / 1e9;
        if (steadyTo > 0 && cpuAtFrom < 0 && t >= steadyFrom) cpuAtFrom = CpuOf(pid);
        if (steadyTo > 0 && cpuAtFrom >= 0 && run.steadyCpu == 0 && t >= steadyTo) {
            run.steadyCpu = (CpuOf(pid) - cpuAtFrom) / (t - steadyFrom);
            run.descriptors = DescriptorsOf(pid);
        }
        QThread::msleep(50);
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "sensorctl %s ended with %d\n", arguments.join(' ').toUtf8().constData(),
                     WIFEXITED(status) ? WEXITSTATUS(status) : -1);
        return run;
    }
    run.wall = clock.nsecsElapsed() / 1e9;
    run.cpu = usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
              (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    run.peakRssKiB = usage.ru_maxrss;
    return run;
}

// Samples a viewer received: "topic#seq".
std::set<std::string> Received(const QString &file) {
    std::set<std::string> received;
    std::ifstream lines(file.toStdString());
    for (std::string line; std::getline(lines, line);)
        if (const auto at = line.find("\"seq\":"); at != std::string::npos)
            received.insert(line.substr(0, line.find(' ')) + "#" +
                            std::to_string(std::atol(line.c_str() + at + 6)));
    return received;
}

void MeasureGet(const QString &dir) {
    Plant one(dir, 1, "one"), many(dir, 50, "many");
    if (!one.ok() || !many.ok())
        return bench::PrintFailure("sensorctl --targets get", "no simulated sensors");
    const ToolRun t1 = RunTool({"--targets", one.targets(), "get", "-o", dir + "/%n.ini"});
    const ToolRun t50 = RunTool({"--targets", many.targets(), "get", "-o", dir + "/%n.ini"});
    if (t1.wall < 0 || t50.wall < 0) return bench::PrintFailure("sensorctl --targets get", "a run failed");
    bench::Print({"sensorctl --targets get, 50 sensors / 1 sensor", t50.wall / t1.wall, "x", 2,
                  bench::Goal::AtMost, 3.0, "one process, every sensor at once"});
}

// publish from count sensors, each sending samples samples, every interval seconds (0: full rate).
void MeasurePublish(const QString &dir, testbroker::Broker &broker, int count, int samples, double interval) {
    const QString what = QString("sensorctl publish, %1 sensors%2")
                             .arg(count)
                             .arg(interval > 0 ? QString(" at %1 s").arg(interval) : " at full rate");
    Plant plant(dir, count, QString("plant%1").arg(count));
    if (!plant.ok()) return bench::PrintFailure(what.toStdString(), "no simulated sensors");
    const QString received = dir + QString("/received%1.txt").arg(count);
    QProcess viewer;
    viewer.setStandardOutputFile(received); // a pipe nobody reads meanwhile would stall the viewer
    viewer.start(testbroker::Find("mosquitto_sub"),
                 broker.Address() + QStringList{"-t", "bench/+/data", "-q", "1", "-v"});
    viewer.waitForStarted();
    QThread::msleep(500);
    QStringList arguments{"--targets", plant.targets(), "publish",
                          "--broker",  broker.Url(),    "--topic",
                          "bench/%n",  "--count",       QString::number(samples)};
    if (interval > 0) arguments << "--interval" << QString::number(interval);
    const double steadyFrom = interval > 0 ? 6 : 0, steadyTo = interval > 0 ? samples * interval - 2 : 0;
    const ToolRun run = RunTool(arguments, steadyFrom, steadyTo);
    QThread::msleep(1500);
    viewer.terminate();
    viewer.waitForFinished();
    if (run.wall < 0) return bench::PrintFailure(what.toStdString(), "the run failed");
    const double delivered = static_cast<double>(Received(received).size());
    const double expected = double(count) * samples;
    const std::string w = what.toStdString();
    if (interval == 0) {
        bench::Print({w + ": CPU per delivered sample", 1e6 * run.cpu / std::max(delivered, 1.0), "us", 0,
                      bench::Goal::AtMost, 50, "whole process, start-up included"});
        bench::Print({w + ": samples delivered per second", delivered / run.wall, "/s", 0,
                      bench::Goal::AtLeast, count * 15.0, "every sensor polled every 50 ms plus its answer"});
    } else {
        bench::Print({w + ": CPU of one core", 100.0 * run.steadyCpu, "%", 1, bench::Goal::AtMost, 10.0,
                      "once every sensor is served"});
        bench::Print({w + ": CPU of one core, start-up included", 100.0 * run.cpu / run.wall, "%", 1,
                      bench::Goal::AtMost, 10.0, "the whole run"});
        bench::Print({w + ": resident memory per sensor", double(run.peakRssKiB) / count, "KiB", 1,
                      bench::Goal::AtMost, 64, "peak of the whole process / sensors"});
        bench::Print({w + ": open descriptors", double(run.descriptors), "", 0, bench::Goal::AtMost,
                      count + 64.0, "1 per sensor + 64: one broker connection for all"});
    }
    bench::Print({w + ": samples lost", expected - delivered, "", 0, bench::Goal::AtMost, 0,
                  "every sample of every sensor"});
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    bench::RaiseDescriptorLimit();
    QTemporaryDir dir;
    MeasureGet(dir.path());
    testbroker::Broker broker(dir.path(), "allow_anonymous true\nmax_queued_messages 100000\n");
    if (!broker.Start()) {
        bench::PrintFailure("sensorctl publish", "no broker");
        return 1;
    }
    MeasurePublish(dir.path(), broker, 20, 400, 0);
    MeasurePublish(dir.path(), broker, 200, 200, 0);
    MeasurePublish(dir.path(), broker, 1000, 30, 1.0);
    return 0;
}
