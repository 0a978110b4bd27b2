#include "ctl/commands.h"

#include "ctl/gateway.h"
#include "ctl/target.h"
#include "kelvralink/sensorkinds.h"
#include "mqtt/broker.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <iterator>

using kelvralink::DataPanelOfFamily;
using kelvralink::FamilyList;

namespace ctl {
namespace {

// The longest topic MQTT carries, in bytes.
constexpr std::size_t kMostTopicBytes = 65535;

int RunGatewayCommand(const Request &r) {
    return r.check ? CheckGatewayConfig(r.config) : RunGateway(r.config);
}

constexpr Command kCommands[] = {
    {"version", "version", "the sensor's version text", 0, FileUse::None, MakeVersionJob, nullptr, false},
    {"get", "get -o FILE [--eeprom]", "read the parameter set into a parameter file", kOutput | kEeprom,
     FileUse::Writes, MakeGetJob, nullptr, false},
    {"send", "send FILE [--eeprom]", "write a parameter file into the sensor", kEeprom, FileUse::Reads,
     MakeSendJob, nullptr, true},
    {"diff", "diff FILE", "compare the sensor's RAM set with a file (exit 1 when they differ)", 0,
     FileUse::Reads, MakeDiffJob, nullptr, false},
    {"watch", "watch [--count N] [--interval S] [--reconnect-max S]",
     "one line per live sample, polled as Go does", kCount | kInterval | kReconnectMax, FileUse::None,
     MakeWatchJob, nullptr, false},
    {"record", "record -o FILE.csv [--interval S] [--count N] [--force] [--reconnect-max S]",
     "record live samples as CSV", kOutput | kInterval | kCount | kForce | kReconnectMax, FileUse::Writes,
     MakeRecordJob, nullptr, false},
    {"transfer", "transfer EQUATION-FILE --temp DEGREES [--family NAME] [--allow-wrapped]",
     "calculate and write the correction factors of an equation file", kTemp | kFamily | kAllowWrapped,
     FileUse::Reads, MakeTransferJob, nullptr, true},
    {"publish",
     "publish --broker mqtt://HOST:PORT --topic PREFIX [--queue N] [--count N] [--interval S] "
     "[--connection-per-target]",
     "live samples to PREFIX/data, sensor health on PREFIX/status and PREFIX/health",
     kBroker | kTopic | kQueue | kCount | kInterval | kReconnectMax | kUsername | kPasswordFile | kCaFile |
         kCert | kKey | kClientId | kConnectionPerTarget,
     FileUse::None, MakePublishJob, nullptr, false},
    {"gateway", "gateway --config FILE | --check FILE",
     "the plant gateway as a service: sensors from FILE to MQTT, Modbus TCP and metrics", kConfig | kCheck,
     FileUse::None, nullptr, RunGatewayCommand, false},
};

// The options as the command line spells them, for messages.
struct OptionName {
    Option option;
    const char *name;
};
constexpr OptionName kOptionNames[] = {
    {kOutput, "-o"},
    {kEeprom, "--eeprom"},
    {kInterval, "--interval"},
    {kCount, "--count"},
    {kForce, "--force"},
    {kFamily, "--family"},
    {kTemp, "--temp"},
    {kBroker, "--broker"},
    {kTopic, "--topic"},
    {kQueue, "--queue"},
    {kAllowWrapped, "--allow-wrapped"},
    {kConfig, "--config"},
    {kCheck, "--check"},
    {kReconnectMax, "--reconnect-max"},
    {kUsername, "--username"},
    {kPasswordFile, "--password-file"},
    {kCaFile, "--cafile"},
    {kCert, "--cert"},
    {kKey, "--key"},
    {kClientId, "--client-id"},
    {kConnectionPerTarget, "--connection-per-target"},
};

} // namespace

std::span<const Command> Commands() {
    return kCommands;
}

const Command *FindCommand(const std::string &name) {
    const auto it = std::find_if(std::begin(kCommands), std::end(kCommands),
                                 [&](const Command &c) { return name == c.name; });
    return it == std::end(kCommands) ? nullptr : it;
}

bool SharesConnection(const Request &r) {
    return r.command == "publish" && !r.connectionPerTarget && r.targets > 1;
}

std::string PublishToolTopic(const Request &r) {
    return WithName(r.topic, r.clientId.empty() ? "sensorctl" : r.clientId);
}

std::string TargetsProblem(const Request &r, const std::vector<Target> &targets) {
    for (const Target &t : targets) {
        if (SharesConnection(r) && WithName(r.topic, t.name) == PublishToolTopic(r))
            return "the target " + t.name + " would publish on the tool's own status topic " +
                   PublishToolTopic(r) + "/status; rename it or give another --client-id";
        // The longest topic is the health topic.
        if (!r.topic.empty() && WithName(r.topic, t.name).size() + std::strlen("/health") > kMostTopicBytes)
            return "--topic for " + t.name + " is longer than MQTT allows (" +
                   std::to_string(kMostTopicBytes) + " bytes)";
        const std::string file = WithName(r.file, t.name);
        const std::size_t slash = file.rfind('/');
        std::error_code error;
        if (!r.file.empty() && r.file.find("%n") != std::string::npos && slash != std::string::npos &&
            slash > 0 && !std::filesystem::is_directory(file.substr(0, slash), error))
            return "the folder " + file.substr(0, slash + 1) + " of -o for " + t.name + " does not exist";
    }
    return {};
}

std::string RequestProblem(const Command &c, const Request &r, unsigned given) {
    const std::string name = c.name;
    for (const OptionName &o : kOptionNames)
        if ((given & o.option) && !(c.options & o.option))
            return name + " does not take " + o.name + "; it is: sensorctl TARGET " + c.usage;
    if (c.whole && r.config.empty()) return name + " needs --config FILE or --check FILE";
    if ((given & kConfig) && (given & kCheck)) return name + " takes --config FILE or --check FILE, not both";
    if (c.file == FileUse::Writes && r.file.empty()) return name + " needs -o FILE";
    if (c.file == FileUse::Reads && r.file.empty()) return name + " needs a FILE";
    if (c.file == FileUse::Writes) {
        const std::string folder = r.file.substr(0, r.file.rfind('/') + 1);
        if (!folder.empty() && folder.find("%n") == std::string::npos) {
            std::error_code ec;
            if (!std::filesystem::is_directory(folder, ec))
                return "the folder " + folder + " of -o does not exist";
        }
    }
    if (name == "transfer" && (r.temp < 0 || r.temp > 99))
        return "transfer needs --temp DEGREES, the reference temperature 0..99 of the set points";
    if (!r.family.empty() && DataPanelOfFamily(r.family) == 0)
        return "unknown family \"" + r.family + "\"; one of " + FamilyList() + ", or P1..P6";
    if ((c.options & kBroker) && (r.broker.empty() || r.topic.empty()))
        return name + " needs --broker mqtt://HOST:PORT and --topic PREFIX";
    if (c.options & kBroker) {
        mqtt::Broker b;
        std::string problem;
        if (!mqtt::ParseBroker(r.broker, b, problem)) return problem;
        if (!r.passwordFile.empty() && r.username.empty()) return "--password-file needs --username";
        if (r.certFile.empty() != r.keyFile.empty())
            return "--cert and --key go together: give both or neither";
        if (r.clientId.find_first_of("#+") != std::string::npos)
            return "--client-id \"" + r.clientId +
                   "\" holds a wildcard (# or +); it also names the tool's "
                   "status topic";
        if (!b.tls && !(r.caFile + r.certFile + r.keyFile).empty())
            return "--cafile, --cert and --key need an mqtts:// broker (TLS)";
        for (const std::string *file : {&r.passwordFile, &r.caFile, &r.certFile, &r.keyFile}) {
            std::error_code error;
            if (!file->empty() && !std::filesystem::is_regular_file(*file, error))
                return "the file " + *file + " of the broker options cannot be read";
        }
    }
    if (r.topic.find_first_of("#+") != std::string::npos)
        return "--topic \"" + r.topic + "\" holds a wildcard (# or +); a topic to publish to names one place";
    if (!std::isfinite(r.interval) || r.interval < 0.0 || r.interval > 3600.0)
        return "--interval takes 0..3600 seconds";
    if (!std::isfinite(r.reconnectMax) || r.reconnectMax < 0.5 || r.reconnectMax > 3600.0)
        return "--reconnect-max takes 0.5..3600 seconds";
    if (r.count < 0) return "--count takes a whole number, 0 = until stopped";
    if (r.queue < 1 || r.queue > kMostQueued)
        return "--queue takes 1.." + std::to_string(kMostQueued) + " samples";
    return {};
}

std::string CommandHelp() {
    std::string text = "Commands:\n";
    for (const Command &c : kCommands) {
        std::string line = "  " + std::string(c.usage);
        if (line.size() + 2 <= 34)
            line.resize(34, ' ');
        else
            line += "\n" + std::string(34, ' ');
        text += line + c.summary + "\n";
    }
    return text;
}

} // namespace ctl
