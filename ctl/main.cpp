// sensorctl: the sensors' set-up and live data from a shell, for one sensor or
// a list of them, without a display.
#include "ctl/commands.h"
#include "ctl/runner.h"
#include "ctl/target.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QJsonDocument>

#include <csignal>
#include <cstdio>

namespace {

constexpr const char *kDescription = R"(Sets up and watches optical sensors from a shell, one or many at once.

Commands:
  version                         the sensor's version text
  get -o FILE [--eeprom]          read the parameter set into a parameter file
  send FILE [--eeprom]            write a parameter file into the sensor
  diff FILE                       compare the sensor's RAM set with a file (exit 1 when they differ)
  watch [--count N]               one line per live sample, polled as Go does
  record -o FILE.csv [--interval S] [--count N] [--force]
                                  record live samples as CSV
  transfer EQUATION-FILE --temp DEGREES [--family NAME]
                                  calculate and write the correction factors of an equation file
  publish --broker mqtt://HOST:PORT --topic PREFIX [--queue N] [--count N]
                                  live samples to PREFIX/data, "online"/"offline" on PREFIX/status

TARGET is tcp://HOST:PORT (a serial-to-Ethernet server) or a serial device
path (/dev/ttyUSB0). With --targets FILE every target of the file (one per
line, optionally followed by a name) runs the command on its own connection;
"%n" in -o, --topic and --trace stands for each target's name.

Exit codes: 0 success, 1 diff found differences, 2 a sensor, the link, a file
or the broker failed (for --targets: any of them), 3 the command line is wrong.)";

bool jsonOutput = false;

void PrintLine(const QJsonObject &o) {
    const std::string line =
        jsonOutput ? QJsonDocument(o).toJson(QJsonDocument::Compact).toStdString() : HumanLine(o);
    if (!o.value("ok").toBool(true)) {
        const std::string where = o.value("target").toString().toStdString();
        std::fprintf(stderr, "sensorctl: %s: %s\n", where.c_str(),
                     o.value("error").toString().toUtf8().constData());
        if (!jsonOutput) return;
    }
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

int UsageError(const std::string &problem) {
    std::fprintf(stderr, "sensorctl: %s\nTry sensorctl --help.\n", problem.c_str());
    return kExitUsage;
}

void OnSignal(int) {
    RequestStop();
    StopTargets();
}

bool ToNumber(const QString &text, double &value) {
    bool ok = false;
    value = text.toDouble(&ok); // always "." before the decimals, whatever the locale
    return ok;
}

} // namespace

int main(int argc, char **argv) {
    // A fixed time zone spares the C library a look at /etc/localtime for every time stamp.
    if (qEnvironmentVariableIsEmpty("TZ")) qputenv("TZ", ":/etc/localtime");
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("sensorctl");

    QCommandLineParser parser;
    parser.setApplicationDescription(kDescription);
    parser.addHelpOption();
    const QCommandLineOption targets{"targets", "Run the command against every target listed in FILE.",
                                     "FILE"};
    const QCommandLineOption json{"json", "One JSON object per line instead of text for people."};
    const QCommandLineOption output{{"o", "output"}, "The file get or record writes.", "FILE"};
    const QCommandLineOption eeprom{"eeprom", "get, send: the sensor's EEPROM instead of its RAM."};
    const QCommandLineOption interval{"interval", "record: seconds between two samples (default 0: at once).",
                                      "S", "0"};
    const QCommandLineOption count{
        "count", "watch, record, publish: stop after N samples (default 0: run until stopped).", "N", "0"};
    const QCommandLineOption force{"force", "record: replace an existing file."};
    const QCommandLineOption family{
        "family",
        "transfer: the sensor family (\"HUEMA-PX\", or P1..P6) instead of the one its version names.",
        "NAME"};
    const QCommandLineOption temp{
        "temp", "transfer: the reference temperature of the set points, 0..99 degrees.", "DEGREES"};
    const QCommandLineOption broker{"broker", "publish: the MQTT broker.", "mqtt://HOST:PORT"};
    const QCommandLineOption topic{"topic", "publish: the topic prefix.", "PREFIX"};
    const QCommandLineOption queue{
        "queue", "publish: samples that may wait for the broker before new ones are dropped (default 1000).",
        "N", "1000"};
    const QCommandLineOption trace{"trace", "Trace every frame of the link into FILE.", "FILE"};
    const QCommandLineOption jobs{"jobs", "--targets: at most N sensors at a time (default 100).", "N",
                                  "100"};
    QCommandLineOption name{"name", "The target's name in output, file names and topics.", "NAME"};
    name.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOptions({targets, json, output, eeprom, interval, count, force, family, temp, broker, topic,
                       queue, trace, jobs, name});
    parser.addPositionalArgument("TARGET", "tcp://HOST:PORT or a serial device path (not with --targets).");
    parser.addPositionalArgument("COMMAND", "version, get, send, diff, watch, record, transfer or publish.");
    parser.addPositionalArgument("FILE", "send, diff, transfer: the file to use.", "[FILE]");
    if (!parser.parse(QCoreApplication::arguments())) return UsageError(parser.errorText().toStdString());
    if (parser.isSet("help")) {
        std::fputs(parser.helpText().toUtf8().constData(), stdout);
        return kExitOk;
    }
    jsonOutput = parser.isSet(json);

    QStringList positional = parser.positionalArguments();
    const bool many = parser.isSet(targets);
    std::string address;
    if (!many) {
        if (positional.isEmpty()) return UsageError("no TARGET given");
        address = positional.takeFirst().toStdString();
    }
    if (positional.isEmpty()) return UsageError("no COMMAND given");
    Request r;
    r.command = positional.takeFirst().toStdString();
    if (!positional.isEmpty()) r.file = positional.takeFirst().toStdString();
    if (!positional.isEmpty()) return UsageError("too many arguments: " + positional.join(' ').toStdString());
    if (parser.isSet(output)) {
        if (!r.file.empty())
            return UsageError(r.command + " takes its file either after the command or with -o");
        r.file = parser.value(output).toStdString();
    }
    r.eeprom = parser.isSet(eeprom);
    r.force = parser.isSet(force);
    r.family = parser.value(family).toStdString();
    r.broker = parser.value(broker).toStdString();
    r.topic = parser.value(topic).toStdString();
    r.trace = parser.value(trace).toStdString();
    double number = 0;
    if (!ToNumber(parser.value(interval), number)) return UsageError("--interval takes seconds, such as 0.5");
    r.interval = number;
    bool ok = false;
    r.count = parser.value(count).toLong(&ok);
    if (!ok) return UsageError("--count takes a whole number");
    r.queue = parser.value(queue).toInt(&ok);
    if (!ok) return UsageError("--queue takes a whole number");
    if (parser.isSet(temp)) {
        r.temp = parser.value(temp).toInt(&ok);
        if (!ok) return UsageError("--temp takes whole degrees 0..99");
    }
    if (const std::string problem = RequestProblem(r); !problem.empty()) return UsageError(problem);

    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);

    if (!many) {
        Target target;
        std::string problem;
        if (!ParseTarget(address, parser.value(name).toStdString(), target, problem))
            return UsageError(problem);
        return RunCommand(target, r, PrintLine);
    }

    std::vector<Target> list;
    std::string problem;
    if (!ReadTargetsFile(parser.value(targets).toStdString(), list, problem)) return UsageError(problem);
    for (const auto &[option, value] :
         {std::pair{"-o", r.file}, {"--topic", r.topic}, {"--trace", r.trace}}) {
        const bool written = std::string(option) != "-o" || r.command == "get" || r.command == "record";
        if (written && !value.empty() && list.size() > 1 && value.find("%n") == std::string::npos)
            return UsageError(std::string(option) +
                              " needs %n for the target's name with --targets, so that "
                              "the sensors do not share \"" +
                              value + "\"");
    }
    const int parallel = parser.value(jobs).toInt(&ok);
    if (!ok || parallel < 1) return UsageError("--jobs takes a whole number from 1");

    // The children get the command as given, without what only this run uses.
    QStringList arguments = QCoreApplication::arguments().mid(1);
    QStringList childArguments;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString &a = arguments[i];
        if (a == "--targets" || a == "--jobs") {
            ++i;
            continue;
        }
        if (a.startsWith("--targets=") || a.startsWith("--jobs=") || a == "--json") continue;
        childArguments << a;
    }
    return RunTargets(QCoreApplication::applicationFilePath(), list, childArguments, jsonOutput, parallel);
}
