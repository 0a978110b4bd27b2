// sensorsim: the simulated sensor as a program, for demos and training.
#include "sim/report.h"
#include "sim/simsensor.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>

namespace {

const char *kFaultHelp = "Inject a fault (repeatable). FAULT is KIND[:cmd=N][:frame=N][:auto][:always]"
                         "[:ms=N][:byte=N]; KIND is silent, short, long, marker, command, corrupt, "
                         "delay, close or unsolicited. cmd=N hits answers to command N, frame=N the "
                         "n-th frame received, auto the auto-sent frames; always keeps the fault armed; "
                         "ms is the delay, byte the corrupted answer byte.";

struct Options {
    QCommandLineOption tcp{"tcp", "Serve over TCP on PORT (0 picks a free port).", "PORT"};
    QCommandLineOption bind{"bind", "Listen on ADDR instead of 127.0.0.1.", "ADDR", "127.0.0.1"};
    QCommandLineOption pty{"pty", "Serve on a pseudo-terminal; prints its device path."};
    QCommandLineOption version{"version", "Answer the version query with TEXT (default \"VEXA V3.2\").",
                               "TEXT"};
    QCommandLineOption pace{"pace", "Send at the pace of a 19200-baud line."};
    QCommandLineOption fault{"fault", kFaultHelp, "FAULT"};
    QCommandLineOption capture{"capture", "Write every byte in and out to FILE as hex lines.", "FILE"};
    QCommandLineOption triggerRate{"trigger-rate", "Fire the trigger HZ times a second (default 1).", "HZ",
                                   "1"};
    QCommandLineOption fixed{"fixed", "Measure fixed values instead of drifting ones.",
                             "CHL,CHC,CHR,DENS,SYM1,SYM2,TEMP"};
};

int fail(const std::string &message) {
    std::cerr << "sensorsim: " << message << "\n";
    return 2;
}

// Applies the steering options; returns an error text, empty when all is well.
std::string configure(sim::SimSensor &sensor, const QCommandLineParser &parser, const Options &o) {
    if (parser.isSet(o.version)) sensor.setVersion(parser.value(o.version).toStdString());
    sensor.setPacing(parser.isSet(o.pace));
    bool ok = false;
    const double rate = parser.value(o.triggerRate).toDouble(&ok);
    if (!ok || rate < 0) return "bad trigger rate " + parser.value(o.triggerRate).toStdString();
    sensor.setTriggerRate(rate);
    if (parser.isSet(o.fixed)) {
        const auto m = sim::parseMeasurement(parser.value(o.fixed).toStdString());
        if (!m) return "bad --fixed values " + parser.value(o.fixed).toStdString();
        sensor.setMeasurement(*m);
    }
    for (const QString &text : parser.values(o.fault)) {
        std::string error;
        const auto f = sim::parseFault(text.toStdString(), &error);
        if (!f) return error;
        sensor.setFault(*f);
    }
    return {};
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
    parser.addOptions({o.tcp, o.bind, o.pty, o.version, o.pace, o.fault, o.capture, o.triggerRate, o.fixed});
    parser.process(app);
    if (!parser.isSet(o.tcp) && !parser.isSet(o.pty))
        return fail("give --tcp PORT and/or --pty (see --help)");

    // Block the stop signals before the sensor's thread starts, so that only sigwait sees them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    std::ofstream captureFile;
    if (parser.isSet(o.capture)) {
        captureFile.open(parser.value(o.capture).toStdString());
        if (!captureFile) return fail("cannot write " + parser.value(o.capture).toStdString());
    }
    sim::SimSensor sensor;
    if (const std::string error = configure(sensor, parser, o); !error.empty()) return fail(error);
    if (captureFile.is_open())
        sensor.setCaptureListener(
            [&](const sim::CaptureEntry &e) { captureFile << sim::hexLine(e) << std::endl; });
    try {
        if (parser.isSet(o.tcp)) {
            bool ok = false;
            const int port = parser.value(o.tcp).toInt(&ok);
            if (!ok) return fail("bad port " + parser.value(o.tcp).toStdString());
            const std::string address = parser.value(o.bind).toStdString();
            std::cout << "listening on " << address << ":" << sensor.listenTcp(port, address) << std::endl;
        }
        if (parser.isSet(o.pty)) std::cout << "pty " << sensor.openPty() << std::endl;
    } catch (const std::exception &e) {
        return fail(e.what());
    }

    int signal = 0;
    sigwait(&stopSignals, &signal);
    sensor.setCaptureListener({});
    std::cout << sim::describeSensor(sensor.version(), sensor.memory(), sensor.compMemory()) << std::flush;
    return 0;
}
