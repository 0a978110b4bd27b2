// sensorsim: the simulated sensor as a program, for demos, training and tests that need
// many sensors without a process each.
#include "sim/portblock.h"
#include "sim/report.h"
#include "sim/simsensor.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <optional>
#include <sys/resource.h>

namespace {

const char *kFaultHelp = "Inject a fault (repeatable). FAULT is KIND[:cmd=N][:frame=N][:auto][:always]"
                         "[:ms=N][:byte=N]; KIND is silent, short, long, marker, command, corrupt, "
                         "delay, close or unsolicited. cmd=N hits answers to command N, frame=N the "
                         "n-th frame received, auto the auto-sent frames; always keeps the fault armed; "
                         "ms is the delay, byte the corrupted answer byte. Every sensor gets the faults.";

const char *kCountHelp = "Serve N independent sensors, sensor k (k = 0..N-1) on port PORT+k, each with "
                         "memories, faults and capture of its own (default 1). With N > 1, --tcp 0 picks a "
                         "block of N free ports, --capture needs %n and --pty is refused. Drifting values "
                         "differ per sensor; with --fixed, sensor k sends CHL+k.";

struct Options {
    QCommandLineOption tcp{"tcp", "Serve over TCP on PORT (0 picks a free port).", "PORT"};
    QCommandLineOption count{"count", kCountHelp, "N", "1"};
    QCommandLineOption bind{"bind", "Listen on ADDR instead of 127.0.0.1.", "ADDR", "127.0.0.1"};
    QCommandLineOption pty{"pty", "Serve on a pseudo-terminal; prints its device path."};
    QCommandLineOption version{
        "version",
        "Answer the version query with TEXT (default \"VEXA V3.2\"); %n stands for the sensor's index.",
        "TEXT"};
    QCommandLineOption pace{"pace", "Send at the pace of a 19200-baud line."};
    QCommandLineOption fault{"fault", kFaultHelp, "FAULT"};
    QCommandLineOption capture{
        "capture", "Write every byte in and out to FILE as hex lines; %n stands for the sensor's index.",
        "FILE"};
    QCommandLineOption triggerRate{"trigger-rate", "Fire the trigger HZ times a second (default 1).", "HZ",
                                   "1"};
    QCommandLineOption fixed{"fixed",
                             "Measure fixed values instead of drifting ones (sensor k adds k to CHL).",
                             "CHL,CHC,CHR,DENS,SYM1,SYM2,TEMP"};
};

// The command line, checked, before any sensor exists.
struct Settings {
    int count = 1;
    std::optional<int> port;
    std::string address;
    bool pty = false;
    std::optional<std::string> version;
    bool pace = false;
    double triggerRate = 1;
    std::optional<sim::Measurement> fixed;
    std::vector<sim::Fault> faults;
    std::string capture; // file name pattern; empty for none
};

int fail(const std::string &message) {
    std::cerr << "sensorsim: " << message << "\n";
    return 2;
}

// `text` with every "%n" replaced by the sensor's index.
std::string withIndex(std::string text, int index) {
    const std::string n = std::to_string(index);
    for (auto at = text.find("%n"); at != std::string::npos; at = text.find("%n", at + n.size()))
        text.replace(at, 2, n);
    return text;
}

// Reads the options that shape the sensors; returns an error text, empty when all is well.
std::string readSensorOptions(const QCommandLineParser &parser, const Options &o, Settings &s) {
    if (parser.isSet(o.version)) s.version = parser.value(o.version).toStdString();
    s.pace = parser.isSet(o.pace);
    bool ok = false;
    s.triggerRate = parser.value(o.triggerRate).toDouble(&ok);
    if (!ok || s.triggerRate < 0) return "bad trigger rate " + parser.value(o.triggerRate).toStdString();
    if (parser.isSet(o.fixed)) {
        s.fixed = sim::parseMeasurement(parser.value(o.fixed).toStdString());
        if (!s.fixed) return "bad --fixed values " + parser.value(o.fixed).toStdString();
        if (s.fixed->chL > 65535 - (s.count - 1))
            return "--fixed CHL " + std::to_string(s.fixed->chL) + " plus the sensor index runs past 65535";
    }
    for (const QString &text : parser.values(o.fault)) {
        std::string error;
        const auto f = sim::parseFault(text.toStdString(), &error);
        if (!f) return error;
        s.faults.push_back(*f);
    }
    return {};
}

// Reads the transports and the number of sensors; returns an error text, empty when all is well.
std::string readTransportOptions(const QCommandLineParser &parser, const Options &o, Settings &s) {
    bool ok = false;
    s.count = parser.value(o.count).toInt(&ok);
    if (!ok || s.count < 1 || s.count > 65535) return "bad count " + parser.value(o.count).toStdString();
    if (parser.isSet(o.tcp)) {
        s.port = parser.value(o.tcp).toInt(&ok);
        if (!ok || *s.port < 0 || *s.port > 65535) return "bad port " + parser.value(o.tcp).toStdString();
        if (*s.port > 65535 - (s.count - 1))
            return std::to_string(s.count) + " ports from " + std::to_string(*s.port) + " run past 65535";
    }
    s.address = parser.value(o.bind).toStdString();
    s.pty = parser.isSet(o.pty);
    s.capture = parser.value(o.capture).toStdString();
    if (!s.port && !s.pty) return "give --tcp PORT and/or --pty (see --help)";
    if (s.count > 1 && !s.port) return "--count needs --tcp PORT";
    if (s.count > 1 && s.pty) return "--pty serves one sensor only; leave out --count or --pty";
    if (s.count > 1 && !s.capture.empty() && s.capture.find("%n") == std::string::npos)
        return "--capture with --count needs %n in the file name, one file per sensor";
    return {};
}

// Raises the soft limit of open files as far as allowed; false when `needed` still do not fit.
bool makeRoomForFiles(long needed, long &limit) {
    rlimit r{};
    getrlimit(RLIMIT_NOFILE, &r);
    r.rlim_cur = r.rlim_max;
    setrlimit(RLIMIT_NOFILE, &r);
    getrlimit(RLIMIT_NOFILE, &r);
    limit = r.rlim_cur == RLIM_INFINITY ? needed : static_cast<long>(r.rlim_cur);
    return needed <= limit;
}

void configure(sim::SimSensor &sensor, const Settings &s, int index) {
    if (s.version) sensor.setVersion(withIndex(*s.version, index));
    sensor.setPacing(s.pace);
    sensor.setTriggerRate(s.triggerRate);
    if (s.fixed) {
        sim::Measurement m = *s.fixed;
        m.chL = static_cast<std::uint16_t>(m.chL + index);
        sensor.setMeasurement(m);
    } else {
        sensor.setDrift(static_cast<unsigned>(index));
    }
    for (const sim::Fault &f : s.faults)
        sensor.setFault(f);
    sensor.setCaptureLimit(0); // only the file sees the bytes; months of them would not fit in memory
}

// What the sensors hold: in full for one sensor, a line each for many.
std::string summary(const std::vector<std::unique_ptr<sim::SimSensor>> &sensors, const Settings &s,
                    int firstPort) {
    if (sensors.size() == 1)
        return sim::describeSensor(sensors[0]->version(), sensors[0]->memory(), sensors[0]->compMemory());
    std::string out;
    for (std::size_t k = 0; k < sensors.size(); ++k) {
        const sim::SimSensor &sensor = *sensors[k];
        const std::string name =
            "sensor " + std::to_string(k) + " at " + s.address + ":" + std::to_string(firstPort + int(k));
        out += sim::describeSensorBriefly(name, sensor.version(), sensor.framesReceived(), sensor.memory(),
                                          sensor.compMemory());
    }
    return out;
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("sensorsim");
    QCommandLineParser parser;
    parser.setApplicationDescription("Simulated sensor: answers the 36-byte frame protocol over TCP "
                                     "and/or a pseudo-terminal until interrupted, then lists what it holds.");
    parser.addHelpOption();
    const Options o;
    parser.addOptions(
        {o.tcp, o.count, o.bind, o.pty, o.version, o.pace, o.fault, o.capture, o.triggerRate, o.fixed});
    parser.process(app);
    Settings settings;
    std::string error = readTransportOptions(parser, o, settings);
    if (error.empty()) error = readSensorOptions(parser, o, settings);
    if (!error.empty()) return fail(error);
    const int count = settings.count;
    // A listening and a connected socket per sensor, a capture file each, and a few for the rest.
    const long neededFiles = 2L * count + (settings.capture.empty() ? 0 : count) + 32;
    if (long limit = 0; !makeRoomForFiles(neededFiles, limit)) {
        fail(std::to_string(count) + " sensors need about " + std::to_string(neededFiles) +
             " open descriptors; the hard limit is " + std::to_string(limit) + " (ulimit -Hn)");
        return 3; // as a wrong command line: nothing was started
    }

    // Block the stop signals before the service thread starts, so that only sigwait sees them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    std::vector<std::ofstream> captureFiles(settings.capture.empty() ? 0 : count);
    for (int k = 0; k < int(captureFiles.size()); ++k) {
        const std::string path = withIndex(settings.capture, k);
        captureFiles[k].open(path);
        if (!captureFiles[k]) return fail("cannot write " + path);
    }
    const sim::SensorFarm farm;
    std::vector<std::unique_ptr<sim::SimSensor>> sensors;
    for (int k = 0; k < count; ++k) {
        sensors.push_back(std::make_unique<sim::SimSensor>(farm));
        configure(*sensors.back(), settings, k);
        if (!captureFiles.empty())
            sensors.back()->setCaptureListener([&file = captureFiles[k]](const sim::CaptureEntry &e) {
                file << sim::hexLine(e) << std::endl;
            });
    }
    int firstPort = 0;
    try {
        if (settings.port) {
            firstPort = sim::listenOnConsecutivePorts(sensors, *settings.port, settings.address);
            std::cout << "listening on " << settings.address << ":" << firstPort;
            if (count > 1) std::cout << "-" << firstPort + count - 1 << " (" << count << " sensors)";
            std::cout << std::endl;
        }
        if (settings.pty) std::cout << "pty " << sensors[0]->openPty() << std::endl;
    } catch (const std::exception &e) {
        return fail(e.what());
    }

    int signal = 0;
    sigwait(&stopSignals, &signal);
    for (const auto &sensor : sensors)
        sensor->setCaptureListener({});
    std::cout << summary(sensors, settings, firstPort) << std::flush;
    return 0;
}
