// Figures of sensorctl over many simulated sensors on loopback: the time to Get
// 50 sensors with --targets against the time to Get one (served in parallel,
// the sum would be 50 times one), and publish from 20 sensors at full polling
// rate into a Mosquitto broker: samples per second delivered, samples lost and
// the CPU the tool (with its children) takes of one core.
#include "bench/benchtable.h"
#include "sim/simsensor.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace {

constexpr int kGetSensors = 50;
constexpr int kPublishSensors = 20;
constexpr int kPublishSamples = 400; // per sensor: about 20 s at the polling rate

// The sensors, each on a thread of its own, at the pace of a 19200-baud line
// behind a serial-to-Ethernet server, or at once.
std::vector<std::unique_ptr<sim::SimSensor>> Sensors(int count, bool paced, const std::string &targetsFile) {
    std::vector<std::unique_ptr<sim::SimSensor>> sensors;
    std::ofstream targets(targetsFile);
    for (int i = 0; i < count; ++i) {
        sensors.push_back(std::make_unique<sim::SimSensor>());
        sensors.back()->setPacing(paced);
        targets << "tcp://127.0.0.1:" << sensors.back()->listenTcp() << " s" << i << "\n";
    }
    return sensors;
}

double CpuSecondsOfChildren() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Runs sensorctl to its end; wall seconds, or a negative number when it failed.
double RunTool(const QStringList &arguments) {
    QProcess tool;
    QElapsedTimer clock;
    clock.start();
    tool.start(SENSORCTL_PATH, arguments);
    if (!tool.waitForFinished(120000) || tool.exitCode() != 0) {
        std::fprintf(stderr, "sensorctl %s: %s\n", arguments.join(' ').toUtf8().constData(),
                     tool.readAllStandardError().constData());
        return -1;
    }
    return clock.nsecsElapsed() / 1e9;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void MeasureGet(const QString &dir) {
    const std::string oneFile = (dir + "/one.txt").toStdString(),
                      manyFile = (dir + "/many.txt").toStdString();
    auto one = Sensors(1, true, oneFile);
    auto many = Sensors(kGetSensors, true, manyFile);
    std::vector<double> oneTimes, manyTimes;
    for (int run = 0; run < 3; ++run) {
        oneTimes.push_back(
            RunTool({"--targets", QString::fromStdString(oneFile), "get", "-o", dir + "/%n.ini"}));
        manyTimes.push_back(
            RunTool({"--targets", QString::fromStdString(manyFile), "get", "-o", dir + "/%n.ini"}));
    }
    if (*std::min_element(oneTimes.begin(), oneTimes.end()) < 0 ||
        *std::min_element(manyTimes.begin(), manyTimes.end()) < 0) {
        bench::PrintFailure("sensorctl --targets get", "a run failed");
        return;
    }
    const double t1 = Median(oneTimes), t50 = Median(manyTimes);
    bench::Print({"sensorctl get, 1 sensor (paced line)", t1, "s", 3, bench::Goal::AtMost, 2.0,
                  "connection, version and 32 reads at 19200 baud"});
    bench::Print({"sensorctl --targets get, 50 sensors (paced line)", t50, "s", 3, bench::Goal::AtMost,
                  3 * t1, "3 x one sensor; one after the other would be 50 x"});
    bench::Print(
        {"50 sensors / 1 sensor", t50 / t1, "x", 2, bench::Goal::AtMost, 3.0, "parallel connections"});
}

QString Find(const char *program) {
    return QStandardPaths::findExecutable(program,
                                          {"/usr/sbin", "/usr/bin", "/usr/local/sbin", "/usr/local/bin"});
}

void MeasurePublish(const QString &dir) {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const int port = probe.serverPort();
    probe.close();
    std::ofstream(dir.toStdString() + "/mosquitto.conf")
        << "listener " << port << " 127.0.0.1\nallow_anonymous true\nmax_queued_messages 100000\n";
    QProcess broker, viewer;
    broker.start(Find("mosquitto"), {"-c", dir + "/mosquitto.conf"});
    for (int i = 0; i < 50; ++i) {
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, port);
        if (s.waitForConnected(100)) break;
        QThread::msleep(100);
    }
    const QStringList address{"-h", "127.0.0.1", "-p", QString::number(port)};
    // Straight into a file: a pipe nobody reads while the tool runs would stall the viewer.
    const QString received_file = dir + "/received.txt";
    viewer.setStandardOutputFile(received_file);
    viewer.start(Find("mosquitto_sub"), address + QStringList{"-t", "bench/+/data", "-q", "1", "-v"});
    viewer.waitForStarted();
    QThread::msleep(500);

    const std::string targets = (dir + "/publish.txt").toStdString();
    auto sensors = Sensors(kPublishSensors, false, targets);
    const double cpuBefore = CpuSecondsOfChildren();
    const double wall = RunTool({"--targets", QString::fromStdString(targets), "publish", "--broker",
                                 QString("mqtt://127.0.0.1:%1").arg(port), "--topic", "bench/%n", "--count",
                                 QString::number(kPublishSamples)});
    const double cpu = CpuSecondsOfChildren() - cpuBefore;
    QThread::msleep(1000);
    viewer.terminate(); // ends its output cleanly
    viewer.waitForFinished();
    std::set<std::string> received; // topic and sample number
    std::ifstream lines(received_file.toStdString());
    for (std::string line; std::getline(lines, line);)
        if (const auto at = line.find("\"seq\":"); at != std::string::npos)
            received.insert(line.substr(0, line.find(' ')) + "#" +
                            std::to_string(std::atol(line.c_str() + at + 6)));
    broker.kill();
    broker.waitForFinished();
    if (wall < 0) {
        bench::PrintFailure("sensorctl publish, 20 sensors", "the run failed");
        return;
    }
    const int expected = kPublishSensors * kPublishSamples;
    bench::Print({"sensorctl publish, 20 sensors: samples delivered per second", received.size() / wall, "/s",
                  0, bench::Goal::AtLeast, 20 * 15.0, "20 sensors polled every 50 ms plus the answer"});
    bench::Print({"sensorctl publish, 20 sensors: samples not delivered",
                  double(expected - int(received.size())), "", 0, bench::Goal::AtMost, 0, "every sample"});
    bench::Print({"sensorctl publish, 20 sensors: CPU of one core", 100.0 * cpu / wall, "%", 1,
                  bench::Goal::AtMost, 10.0, "the tool and its 20 children, start-up included"});
    bench::Print({"sensorctl publish: CPU per sample", 1e6 * cpu / expected, "us", 0, bench::Goal::AtMost,
                  1e6 * 0.10 / (20 * 19.0), "what 10 % of a core allows at 20 x 19 samples/s"});
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    MeasureGet(dir.path());
    MeasurePublish(dir.path());
    return 0;
}
