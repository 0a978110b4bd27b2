// sensorctl: the sensors' set-up and live data from a shell, for one sensor or
// a list of them, in one process without a display.
#include "ctl/commands.h"
#include "ctl/fleet.h"
#include "ctl/target.h"
#include "runtime/descriptors.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cmath>
#include <cstdio>

namespace {

using namespace ctl;

constexpr const char *kIntroduction =
    "Sets up and watches optical sensors from a shell, one or many at once.";
constexpr const char *kTargets = R"(
TARGET is tcp://HOST:PORT (a serial-to-Ethernet server) or a serial device
path (/dev/ttyUSB0). With --targets FILE the command runs for every target of
the file (one per line, optionally followed by a name) in this one process;
"%n" in -o, --topic and --trace stands for each target's name. watch, record
and publish keep every sensor polled until they end, connecting again to a
sensor that stopped answering or went away (after 0.5 s, doubling up to
--reconnect-max, 10 s by default). publish sends every sensor's data over one
broker connection; see man sensorctl for the last will.

Exit codes: 0 success, 1 diff found differences, 2 a sensor, the link, a file
or the broker failed (for --targets: any of them), 3 the command line is wrong.)";

int UsageError(const std::string &problem) {
    std::fprintf(stderr, "sensorctl: %s\nTry sensorctl --help.\n", problem.c_str());
    return kExitUsage;
}

// Descriptors beyond the sensors': standard streams, the event loop's, trace and
// output files of a few commands at a time, the broker.
constexpr long kDescriptorsBesideSensors = 64;

// One descriptor per sensor, one more per file each target writes and per
// broker connection of its own (publish --connection-per-target; the shared
// one fits among the others); false (with the numbers) when the hard limit leaves no room.
bool RoomForTargets(const Request &r, std::size_t targets, std::string &problem) {
    const bool ownConnection = r.command == "publish" && !SharesConnection(r);
    const long perTarget = 1 + (ownConnection ? 1 : 0) + (r.trace.empty() ? 0 : 1) +
                           (r.command == "record" || r.command == "get" ? 1 : 0);
    return runtime::MakeRoomForDescriptors(perTarget * long(targets) + kDescriptorsBesideSensors,
                                           std::to_string(targets) + " sensors", problem);
}

struct Options {
    QCommandLineOption targets{"targets", "Run the command for every target listed in FILE.", "FILE"};
    QCommandLineOption json{"json", "One JSON object per line instead of text for people."};
    QCommandLineOption output{{"o", "output"}, "The file get or record writes.", "FILE"};
    QCommandLineOption eeprom{"eeprom", "get, send: the sensor's EEPROM instead of its RAM."};
    QCommandLineOption interval{
        "interval", "watch, record, publish: seconds from one request to the next (default: at once).", "S"};
    QCommandLineOption count{"count",
                             "watch, record, publish: stop after N samples (default: until stopped).", "N"};
    QCommandLineOption force{"force", "record: replace an existing file."};
    QCommandLineOption family{
        "family",
        "transfer: the sensor family (\"HUEMA-PX\", or P1..P6) instead of the one its version names.",
        "NAME"};
    QCommandLineOption temp{"temp", "transfer: the reference temperature of the set points, 0..99 degrees.",
                            "DEGREES"};
    QCommandLineOption allowWrapped{"allow-wrapped",
                                    "transfer: write correction factors that cannot be right all the same."};
    QCommandLineOption broker{"broker", "publish: the MQTT broker.", "mqtt://HOST:PORT"};
    QCommandLineOption topic{"topic", "publish: the topic prefix.", "PREFIX"};
    QCommandLineOption queue{"queue",
                             "publish: samples per sensor that may wait for the broker before new ones are "
                             "dropped (default 1000).",
                             "N"};
    QCommandLineOption reconnectMax{
        "reconnect-max",
        "watch, record, publish: the longest pause between attempts to reach a sensor (default 10).", "S"};
    QCommandLineOption username{"username", "publish: the user name at the broker.", "NAME"};
    QCommandLineOption passwordFile{"password-file", "publish: the file whose first line is the password.",
                                    "FILE"};
    QCommandLineOption caFile{
        "cafile", "publish: the authority of an mqtts:// broker (default: the system's).", "FILE"};
    QCommandLineOption cert{"cert", "publish: a client certificate for an mqtts:// broker, with --key.",
                            "FILE"};
    QCommandLineOption key{"key", "publish: the key of --cert.", "FILE"};
    QCommandLineOption clientId{
        "client-id",
        "publish: the MQTT client id (default sensorctl-PID; ID-NAME for each sensor with "
        "--connection-per-target).",
        "ID"};
    QCommandLineOption connectionPerTarget{
        "connection-per-target",
        "publish: a broker connection per target, each with its sensor's status as last will, instead of "
        "one for all."};
    QCommandLineOption trace{"trace", "Trace every frame of the link into FILE.", "FILE"};
    QCommandLineOption jobs{
        "jobs", "--targets: at most N sensors written at once by send and transfer (default 100).", "N",
        "100"};
    QCommandLineOption config{"config", "gateway: run the gateway configured in FILE.", "FILE"};
    QCommandLineOption check{"check", "gateway: check FILE and say what is wrong, with its lines.", "FILE"};
    QCommandLineOption version{"version", "Print sensorctl's version."};
};

// Reads the options into the request; "" when all is well, else what is wrong.
std::string ReadRequest(const QCommandLineParser &parser, const Options &o, Request &r, unsigned &given) {
    const struct {
        const QCommandLineOption &option;
        Option bit;
    } taken[] = {{o.output, kOutput},
                 {o.eeprom, kEeprom},
                 {o.interval, kInterval},
                 {o.count, kCount},
                 {o.force, kForce},
                 {o.family, kFamily},
                 {o.temp, kTemp},
                 {o.broker, kBroker},
                 {o.topic, kTopic},
                 {o.queue, kQueue},
                 {o.allowWrapped, kAllowWrapped},
                 {o.config, kConfig},
                 {o.check, kCheck},
                 {o.reconnectMax, kReconnectMax},
                 {o.username, kUsername},
                 {o.passwordFile, kPasswordFile},
                 {o.caFile, kCaFile},
                 {o.cert, kCert},
                 {o.key, kKey},
                 {o.clientId, kClientId},
                 {o.connectionPerTarget, kConnectionPerTarget}};
    for (const auto &t : taken)
        if (parser.isSet(t.option)) given |= t.bit;
    if (parser.isSet(o.output)) {
        if (!r.file.empty()) return r.command + " takes its file either after the command or with -o";
        r.file = parser.value(o.output).toStdString();
    }
    r.eeprom = parser.isSet(o.eeprom);
    r.force = parser.isSet(o.force);
    r.allowWrapped = parser.isSet(o.allowWrapped);
    r.family = parser.value(o.family).toStdString();
    r.broker = parser.value(o.broker).toStdString();
    r.topic = parser.value(o.topic).toStdString();
    r.trace = parser.value(o.trace).toStdString();
    r.username = parser.value(o.username).toStdString();
    r.passwordFile = parser.value(o.passwordFile).toStdString();
    r.caFile = parser.value(o.caFile).toStdString();
    r.certFile = parser.value(o.cert).toStdString();
    r.keyFile = parser.value(o.key).toStdString();
    r.clientId = parser.value(o.clientId).toStdString();
    r.connectionPerTarget = parser.isSet(o.connectionPerTarget);
    r.check = parser.isSet(o.check);
    r.config = parser.value(r.check ? o.check : o.config).toStdString();
    bool ok = true;
    if (parser.isSet(o.interval)) {
        r.interval = parser.value(o.interval).toDouble(&ok); // "." before the decimals, whatever the locale
        if (!ok || !std::isfinite(r.interval)) return "--interval takes seconds, such as 0.5";
    }
    if (parser.isSet(o.reconnectMax)) {
        r.reconnectMax = parser.value(o.reconnectMax).toDouble(&ok);
        if (!ok) return "--reconnect-max takes seconds, such as 10";
    }
    if (parser.isSet(o.count) && (r.count = parser.value(o.count).toLong(&ok), !ok))
        return "--count takes a whole number";
    if (parser.isSet(o.queue) && (r.queue = parser.value(o.queue).toInt(&ok), !ok))
        return "--queue takes a whole number";
    if (parser.isSet(o.temp) && (r.temp = parser.value(o.temp).toInt(&ok), !ok))
        return "--temp takes whole degrees 0..99";
    return {};
}

// Every target names its own files and topics, so that two sensors never share one.
std::string SharedFileProblem(const Request &r, std::size_t targets) {
    if (targets < 2) return {};
    for (const auto &[option, value] :
         {std::pair{"-o", r.file}, {"--topic", r.topic}, {"--trace", r.trace}}) {
        const bool written = std::string(option) != "-o" || r.command == "get" || r.command == "record";
        if (written && !value.empty() && value.find("%n") == std::string::npos)
            return std::string(option) +
                   " needs %n for the target's name with --targets, so that the sensors do "
                   "not share \"" +
                   value + "\"";
    }
    return {};
}

} // namespace

int main(int argc, char **argv) {
    // A fixed time zone spares the C library a look at /etc/localtime for every time stamp.
    if (qEnvironmentVariableIsEmpty("TZ")) qputenv("TZ", ":/etc/localtime");
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("sensorctl");
    QCoreApplication::setApplicationVersion(PROJECT_VERSION);

    QCommandLineParser parser;
    parser.setApplicationDescription(QString(kIntroduction) + "\n\n" + QString::fromStdString(CommandHelp()) +
                                     kTargets);
    parser.addHelpOption();
    const Options o;
    parser.addOptions(
        {o.targets,  o.json,         o.output,       o.eeprom, o.interval, o.count,    o.force,
         o.family,   o.temp,         o.allowWrapped, o.broker, o.topic,    o.queue,    o.reconnectMax,
         o.username, o.passwordFile, o.caFile,       o.cert,   o.key,      o.clientId, o.connectionPerTarget,
         o.trace,    o.jobs,         o.config,       o.check,  o.version});
    parser.addPositionalArgument("TARGET", "tcp://HOST:PORT or a serial device path (not with --targets).");
    parser.addPositionalArgument("COMMAND", "one of the commands above.");
    parser.addPositionalArgument("FILE", "send, diff, transfer: the file to use.", "[FILE]");
    if (!parser.parse(QCoreApplication::arguments())) return UsageError(parser.errorText().toStdString());
    if (parser.isSet("help")) {
        std::fputs(parser.helpText().toUtf8().constData(), stdout);
        return kExitOk;
    }
    if (parser.isSet(o.version)) {
        std::printf("sensorctl %s\n", PROJECT_VERSION);
        return kExitOk;
    }

    QStringList positional = parser.positionalArguments();
    const bool many = parser.isSet(o.targets);
    // A command that serves no single target comes first.
    const Command *first = positional.isEmpty() ? nullptr : FindCommand(positional.first().toStdString());
    const bool targetless = first && first->whole;
    std::string address;
    if (!many && !targetless) {
        if (positional.isEmpty()) return UsageError("no TARGET given");
        address = positional.takeFirst().toStdString();
    }
    if (positional.isEmpty()) return UsageError("no COMMAND given");
    if (many && !first)
        return UsageError("\"" + positional.first().toStdString() +
                          "\" is no command; with --targets every target goes into the targets file");
    Request r;
    r.command = positional.takeFirst().toStdString();
    const Command *command = FindCommand(r.command);
    if (!command) return UsageError("unknown command \"" + r.command + "\"; see --help");
    if (!positional.isEmpty() && command->file == FileUse::Reads)
        r.file = positional.takeFirst().toStdString();
    if (!positional.isEmpty()) return UsageError("too many arguments: " + positional.join(' ').toStdString());
    unsigned given = 0;
    if (std::string problem = ReadRequest(parser, o, r, given); !problem.empty()) return UsageError(problem);
    if (std::string problem = RequestProblem(*command, r, given); !problem.empty())
        return UsageError(problem);
    if (command->whole) {
        if (many || !address.empty())
            return UsageError(r.command + " takes no TARGET; its sensors are in its file");
        return command->whole(r);
    }
    bool ok = false;
    const int writersAtOnce = parser.value(o.jobs).toInt(&ok);
    if (!ok || writersAtOnce < 1) return UsageError("--jobs takes a whole number from 1");

    std::vector<Target> targets(1);
    std::string problem;
    if (many ? !ReadTargetsFile(parser.value(o.targets).toStdString(), targets, problem)
             : !ParseTarget(address, "", targets[0], problem))
        return UsageError(problem);
    r.targets = targets.size();
    if (problem = SharedFileProblem(r, targets.size()); !problem.empty()) return UsageError(problem);
    if (problem = TargetsProblem(r, targets); !problem.empty()) return UsageError(problem);
    if (!RoomForTargets(r, targets.size(), problem)) return UsageError(problem);

    const Output output(parser.isSet(o.json), many);
    return RunFleet(*command, targets, r, output, writersAtOnce);
}
