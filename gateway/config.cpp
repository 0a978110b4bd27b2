// The schema walk over the parsed TOML. Every table's keys are checked against
// the keys it may hold; each value is checked for its type, its range and its
// syntax; a mistake is noted with its line and the walk goes on, so that one
// reading reports all of them. The typed reading of values is in tomlreader.cpp,
// the syntax of names, topics, targets and addresses in configvalues.cpp.
#include "gateway/config.h"

#include "gateway/bdseq.h"
#include "gateway/configvalues.h"
#include "gateway/listener.h"
#include "gateway/tomlreader.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <tuple>

namespace gateway {
namespace {

constexpr std::size_t kMaxFileBytes = 4 << 20;
constexpr double kMaxIntervalSeconds = 86400.0;
constexpr double kMaxBufferSeconds = 3600.0;
constexpr int kMaxModbusConnections = 1024;
constexpr double kMaxStorageMb = 1e6;
constexpr double kMaxSyncSeconds = 3600.0;
constexpr double kMaxIdleSeconds = 86400.0;
constexpr double kMaxReconnectSeconds = 3600.0;

// What every sensor inherits from [defaults].
struct Defaults {
    double interval = 0.0;
    std::string topicPrefix = "sensors";
    Tags tags;
};

std::string DefaultClientId() {
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) != 0 || host[0] == '\0') return "sensor-gateway";
    std::string id = "sensor-gateway-";
    for (const char *c = host; *c; ++c)
        id += CheckName(std::string_view(c, 1)).empty() ? *c : '-';
    return id;
}

// The gateway's tables: which keys each may hold, what each value must be, the
// defaults that apply, and the checks across values (duplicates, files, the disk).
class Reader : public TomlReader {
  public:
    using TomlReader::TomlReader;

    void Read(const toml::table &root, GatewayConfig &config) {
        CheckKeys(root, {"broker", "defaults", "sensor", "modbus", "metrics", "sparkplug", "storage"},
                  "the file");
        ReadBroker(root, config.broker);
        Defaults defaults;
        ReadDefaults(root, defaults, config);
        ReadSensors(root, defaults, config.sensors);
        CheckSensorsDiffer(config);
        ReadModbus(root, config.modbus);
        if (const toml::table *metrics = Table(root, "metrics")) {
            CheckKeys(*metrics, {"listen"}, "[metrics]");
            config.metrics.enabled = Listen(*metrics, "[metrics]", config.metrics.listen);
        }
        ReadSparkplug(root, config.broker, config.sparkplug);
        ReadStorage(root, config.storage);
    }

  private:
    void ReadTags(const toml::table &table, const std::string &where, Tags &tags) {
        const toml::table *given = Table(table, "tags", where);
        if (!given) return;
        for (auto &&[key, value] : *given) {
            if (value.is_string())
                tags[std::string(key.str())] = value.value<std::string>().value_or("");
            else
                Error(value, "tag '" + std::string(key.str()) + "' in " + where + " must be a string, not " +
                                 TypeName(value));
        }
    }

    void ReadBroker(const toml::table &root, BrokerConfig &broker);
    void ReadBrokerUrls(const toml::table &table, BrokerConfig &broker);
    void ReadSparkplug(const toml::table &root, const BrokerConfig &broker, SparkplugConfig &sparkplug);
    void ReadStorage(const toml::table &root, StorageConfig &storage);
    void CheckBrokerFiles(const toml::table &table, BrokerConfig &broker);
    std::string File(const toml::table &table, std::string_view key, bool secret);
    void ReadDefaults(const toml::table &root, Defaults &defaults, GatewayConfig &config);
    void ReadSensors(const toml::table &root, const Defaults &defaults, std::vector<SensorConfig> &sensors);
    void ReadSensor(const toml::table &table, const std::string &where, const Defaults &defaults,
                    SensorConfig &sensor);
    void CheckSensorsDiffer(const GatewayConfig &config);
    void ReadModbus(const toml::table &root, ModbusConfig &modbus);
    bool Listen(const toml::table &table, const std::string &where, Endpoint &endpoint);

    std::vector<int> m_sensorLines; // where each sensor's table starts, for the duplicate checks
};

void Reader::ReadBroker(const toml::table &root, BrokerConfig &broker) {
    const toml::table *table = Table(root, "broker");
    if (!table) {
        if (!root.contains("broker")) Issue(0, "missing table [broker] with the broker's url");
        return;
    }
    const std::string where = "[broker]";
    CheckKeys(*table,
              {"url", "urls", "client_id", "username", "password_file", "ca_file", "cert_file", "key_file",
               "topic"},
              where);
    if (!table->contains("url") && !table->contains("urls")) Missing(*table, "url", where);
    if (table->contains("url") && table->contains("urls"))
        Error(*table->get("urls"), "give url or urls in [broker], not both");
    else if (table->contains("urls"))
        ReadBrokerUrls(*table, broker);
    Checked(*table, "url", where, broker.url,
            [&](const std::string &url) { return ParseBrokerUrl(url, broker); });
    broker.clientId = DefaultClientId();
    Checked(*table, "client_id", where, broker.clientId, [](const std::string &id) { return CheckName(id); });
    String(*table, "username", where, broker.username);
    broker.topic = "sensor-gateway/" + broker.clientId;
    Checked(*table, "topic", where, broker.topic, [](const std::string &topic) { return CheckTopic(topic); });
    CheckBrokerFiles(*table, broker);
}

// urls = [...]: the first broker, and the ones tried in turn after it.
void Reader::ReadBrokerUrls(const toml::table &table, BrokerConfig &broker) {
    const toml::node *node = Typed<toml::array>(table, "urls", "[broker]", "a list of strings");
    if (!node) return;
    const toml::array &urls = *node->as_array();
    if (urls.empty()) Error(*node, "'urls' in [broker] lists no broker");
    for (const toml::node &element : urls) {
        BrokerConfig one;
        const std::optional<std::string> url = element.value<std::string>();
        const std::string problem = url ? ParseBrokerUrl(*url, one) : "each entry must be a string";
        if (!problem.empty()) {
            Error(element, "'urls' in [broker]: " + problem);
        } else if (broker.url.empty()) {
            broker.url = *url;
            broker.tls = one.tls;
            broker.host = one.host;
            broker.port = one.port;
        } else if (one.tls != broker.tls) {
            Error(element, "'urls' in [broker]: every broker uses mqtts:// or none does");
        } else {
            broker.failover.push_back({one.host, one.port});
        }
    }
}

void Reader::CheckBrokerFiles(const toml::table &table, BrokerConfig &broker) {
    broker.passwordFile = File(table, "password_file", true);
    broker.caFile = File(table, "ca_file", false);
    broker.certFile = File(table, "cert_file", false);
    broker.keyFile = File(table, "key_file", true);
    if (!broker.passwordFile.empty() && broker.username.empty())
        Error(*table.get("password_file"), "password_file in [broker] needs a username");
    if (table.contains("cert_file") != table.contains("key_file"))
        Error(table, "cert_file and key_file in [broker] go together: give both or neither");
    if (!broker.tls && !broker.url.empty())
        for (const char *key : {"ca_file", "cert_file", "key_file"})
            if (table.contains(key))
                Error(*table.get(key), std::string(key) + " in [broker] needs an mqtts:// url (TLS)");
}

// A file named by key: its absolute path, checked to exist; a secret one that other
// users may open is worth a warning.
std::string Reader::File(const toml::table &table, std::string_view key, bool secret) {
    std::string given;
    if (!String(table, key, "[broker]", given)) return "";
    std::filesystem::path path(given);
    if (path.is_relative()) path = std::filesystem::path(Path()).parent_path() / path;
    const std::string absolute = path.lexically_normal().string();
    const int line = LineOf(table.get(key)->source());
    struct stat info = {};
    if (given.empty() || stat(absolute.c_str(), &info) != 0)
        Issue(line, std::string(key) + " " + absolute + ": " +
                        (given.empty() ? "no path given" : strerrordesc_np(errno)));
    else if (!S_ISREG(info.st_mode))
        Issue(line, std::string(key) + " " + absolute + " is not a file");
    else if (secret && (info.st_mode & 077)) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", unsigned(info.st_mode & 07777));
        Issue(line,
              std::string(key) + " " + absolute + " is open to other users (mode " + mode + "); chmod 600 it",
              true);
    }
    return absolute;
}

void Reader::ReadDefaults(const toml::table &root, Defaults &defaults, GatewayConfig &config) {
    const toml::table *table = Table(root, "defaults");
    if (!table) return;
    const std::string where = "[defaults]";
    CheckKeys(*table, {"interval", "topic_prefix", "buffer_seconds", "reconnect_max", "tags"}, where);
    Number(*table, "interval", where, kMaxIntervalSeconds, defaults.interval);
    Checked(*table, "topic_prefix", where, defaults.topicPrefix,
            [](const std::string &t) { return CheckTopic(t); });
    Number(*table, "buffer_seconds", where, kMaxBufferSeconds, config.bufferSeconds);
    if (Number(*table, "reconnect_max", where, kMaxReconnectSeconds, config.reconnectMax) &&
        config.reconnectMax < 0.5)
        Error(*table->get("reconnect_max"), "'reconnect_max' in [defaults] must be 0.5..3600 seconds");
    ReadTags(*table, where, defaults.tags);
}

void Reader::ReadSensors(const toml::table &root, const Defaults &defaults,
                         std::vector<SensorConfig> &sensors) {
    const toml::node *node = root.get("sensor");
    if (!node) {
        Issue(0, "no [[sensor]] table: the gateway serves no sensor", true);
        return;
    }
    const toml::array *array = node->as_array();
    if (!array || !array->is_array_of_tables()) {
        Error(*node, "'sensor' must be written as [[sensor]] tables, one per sensor");
        return;
    }
    for (const toml::node &element : *array) {
        const toml::table &table = *element.as_table();
        const std::string where = "[[sensor]] #" + std::to_string(sensors.size() + 1);
        SensorConfig sensor;
        ReadSensor(table, where, defaults, sensor);
        sensors.push_back(sensor);
        m_sensorLines.push_back(LineOf(table.source()));
    }
}

void Reader::ReadSensor(const toml::table &table, const std::string &where, const Defaults &defaults,
                        SensorConfig &sensor) {
    CheckKeys(table, {"name", "target", "topic", "interval", "modbus_unit", "tags"}, where);
    for (const char *key : {"name", "target"})
        if (!table.contains(key)) Missing(table, key, where);
    Checked(table, "name", where, sensor.name, [](const std::string &name) { return CheckName(name); });
    Checked(table, "target", where, sensor.target,
            [](const std::string &target) { return CheckTarget(target); });
    sensor.topic = defaults.topicPrefix + "/" + sensor.name;
    Checked(table, "topic", where, sensor.topic, [](const std::string &topic) { return CheckTopic(topic); });
    sensor.interval = defaults.interval;
    Number(table, "interval", where, kMaxIntervalSeconds, sensor.interval);
    Integer(table, "modbus_unit", where, 1, 247, sensor.modbusUnit);
    sensor.tags = defaults.tags;
    ReadTags(table, where, sensor.tags);
}

// Two sensors with one name, unit, target or topic would take each other's place.
void Reader::CheckSensorsDiffer(const GatewayConfig &config) {
    std::map<std::string, int> names, targets, topics, units;
    topics[config.broker.topic] = -1;
    // False when value was seen before (reported).
    const auto once = [&](std::map<std::string, int> &seen, const std::string &value, std::size_t i,
                          const char *what) {
        if (value.empty() || value == "0") return true;
        const auto [first, inserted] = seen.emplace(value, m_sensorLines[i]);
        if (inserted) return true;
        const std::string firstWhere =
            first->second < 0 ? "the gateway's own topic" : "first at line " + std::to_string(first->second);
        Issue(m_sensorLines[i], std::string("duplicate ") + what + " \"" + value + "\" (" + firstWhere + ")");
        return false;
    };
    for (std::size_t i = 0; i < config.sensors.size(); ++i) {
        const SensorConfig &sensor = config.sensors[i];
        // A duplicate name makes a duplicate default topic: one mistake, said once.
        if (once(names, sensor.name, i, "name") && !sensor.name.empty())
            once(topics, sensor.topic, i, "topic");
        once(targets, sensor.target, i, "target");
        once(units, std::to_string(sensor.modbusUnit), i, "modbus_unit");
    }
}

void Reader::ReadModbus(const toml::table &root, ModbusConfig &modbus) {
    const toml::table *table = Table(root, "modbus");
    if (!table) return;
    CheckKeys(*table, {"listen", "max_connections", "idle_timeout", "allow"}, "[modbus]");
    modbus.enabled = Listen(*table, "[modbus]", modbus.listen);
    Integer(*table, "max_connections", "[modbus]", 1, kMaxModbusConnections, modbus.maxConnections);
    Number(*table, "idle_timeout", "[modbus]", kMaxIdleSeconds, modbus.idleTimeout);
    const toml::array *allow =
        Typed<toml::array>(*table, "allow", "[modbus]", "a list of addresses or networks")
            ? table->get("allow")->as_array()
            : nullptr;
    if (!allow) return;
    for (const toml::node &entry : *allow) {
        const std::string text = entry.value<std::string>().value_or("");
        Network network;
        if (entry.is_string() && ParseNetwork(text, network))
            modbus.allow.push_back(text);
        else
            Error(entry, "'allow' in [modbus]: " + (entry.is_string() ? "'" + text + "'" : TypeName(entry)) +
                             " is no address or network (as 10.0.0.7 or 192.168.1.0/24)");
    }
}

// The storage folder defaults to the one systemd made for the service
// (StateDirectory=); its size is checked against the disk's free space.
void Reader::ReadStorage(const toml::table &root, StorageConfig &storage) {
    if (const char *state = std::getenv("STATE_DIRECTORY")) {
        const std::string folders = state; // several folders are separated by ':'; the first is ours
        storage.path = folders.substr(0, folders.find(':'));
    }
    const toml::table *table = Table(root, "storage");
    if (!table) return;
    const std::string where = "[storage]";
    CheckKeys(*table, {"path", "max_mb", "sync_seconds", "memory_mb"}, where);
    if (String(*table, "path", where, storage.path) && !storage.path.empty()) {
        std::filesystem::path path(storage.path);
        if (path.is_relative()) path = std::filesystem::path(Path()).parent_path() / path;
        storage.path = path.lexically_normal().string();
    }
    for (auto [key, max, out] : {std::tuple{"max_mb", kMaxStorageMb, &storage.maxMb},
                                 std::tuple{"sync_seconds", kMaxSyncSeconds, &storage.syncSeconds},
                                 std::tuple{"memory_mb", kMaxStorageMb, &storage.memoryMb}})
        if (Number(*table, key, where, max, *out) && *out == 0.0)
            Error(*table->get(key), "'" + std::string(key) + "' in [storage] must be more than 0");
    std::error_code failed;
    const std::filesystem::space_info space = std::filesystem::space(storage.path, failed);
    if (!storage.path.empty() && !failed && storage.maxMb * 1e6 > double(space.available))
        Issue(LineOf(table->source()),
              "max_mb in [storage] is more than the " + std::to_string(space.available / 1000000) +
                  " MB free in " + storage.path +
                  "; the journal drops its oldest samples when the disk is full",
              true);
    // A folder that is missing is made at start; one that is there must take files,
    // so that a reload to an unusable folder is refused before anything changes.
    struct stat info = {};
    if (!storage.path.empty() && stat(storage.path.c_str(), &info) == 0) {
        const std::string problem = CheckWritableFolder(storage.path);
        if (!problem.empty())
            Issue(table->contains("path") ? LineOf(table->get("path")->source()) : LineOf(table->source()),
                  "the storage folder " + problem);
    }
}

bool Reader::Listen(const toml::table &table, const std::string &where, Endpoint &endpoint) {
    if (!table.contains("listen")) {
        Missing(table, "listen", where);
        return false;
    }
    std::string unused;
    return Checked(table, "listen", where, unused,
                   [&](const std::string &text) { return ParseListen(text, endpoint); });
}

void Reader::ReadSparkplug(const toml::table &root, const BrokerConfig &broker, SparkplugConfig &sparkplug) {
    const toml::table *table = Table(root, "sparkplug");
    if (!table) return;
    const std::string where = "[sparkplug]";
    CheckKeys(*table, {"group_id", "edge_node_id", "primary_host", "json_topics"}, where);
    sparkplug.enabled = true;
    if (!table->contains("group_id")) Missing(*table, "group_id", where);
    const auto id = [](const std::string &text) { return CheckSparkplugId(text); };
    Checked(*table, "group_id", where, sparkplug.groupId, id);
    sparkplug.edgeNodeId = broker.clientId;
    Checked(*table, "edge_node_id", where, sparkplug.edgeNodeId, id);
    Checked(*table, "primary_host", where, sparkplug.primaryHost, id);
    if (const toml::node *json = Typed<bool>(*table, "json_topics", where, "true or false"))
        sparkplug.jsonTopics = json->value<bool>().value_or(true);
}

// The whole file, or "" with the reason in problem.
std::string ReadWholeFile(const std::string &path, std::string &problem) {
    std::FILE *file = std::fopen(path.c_str(), "rb");
    if (!file) {
        problem = std::string("cannot read the file: ") + strerrordesc_np(errno);
        return "";
    }
    std::string text;
    char chunk[64 * 1024];
    for (std::size_t n; text.size() <= kMaxFileBytes && (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;)
        text.append(chunk, n);
    if (std::ferror(file))
        problem = std::string("cannot read the file: ") + strerrordesc_np(errno);
    else if (text.size() > kMaxFileBytes)
        problem = "the file is larger than 4 MiB";
    std::fclose(file);
    return problem.empty() ? text : "";
}

} // namespace

bool ConfigResult::ok() const {
    return std::none_of(issues.begin(), issues.end(), [](const ConfigIssue &i) { return !i.warning; });
}

ConfigResult ReadConfig(const std::string &path) {
    std::string problem;
    const std::string text = ReadWholeFile(path, problem);
    if (problem.empty()) return ParseConfig(text, path);
    ConfigResult result;
    result.issues.push_back({path, 0, problem, false});
    return result;
}

ConfigResult ParseConfig(std::string_view text, const std::string &path) {
    ConfigResult result;
    Reader reader(path, result.issues);
    try {
        const toml::table root = toml::parse(text, std::string_view(path));
        reader.Read(root, result.config);
    } catch (const toml::parse_error &error) {
        reader.Issue(LineOf(error.source()), "not TOML: " + std::string(error.description()));
    }
    std::stable_sort(result.issues.begin(), result.issues.end(),
                     [](const ConfigIssue &a, const ConfigIssue &b) { return a.line < b.line; });
    return result;
}

} // namespace gateway
