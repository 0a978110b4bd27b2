// The gateway's configuration file: effective values, every mistake with its line,
// warnings that do not refuse, the differences a reload applies, the check's text.
#include "gateway/config.h"
#include "gateway/configvalues.h"
#include "test_support.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace gateway;

namespace {

struct ConfigDir {
    QTemporaryDir dir;
    std::string Path(const std::string &name) const {
        return dir.filePath(QString::fromStdString(name)).toStdString();
    }
    std::string Write(const std::string &name, const std::string &text, mode_t mode = 0600) const {
        WriteFileBytes(Path(name), text);
        chmod(Path(name).c_str(), mode);
        return Path(name);
    }
};

// "LINE: reason" per issue, warnings marked, for readable failure messages.
std::vector<std::string> Issues(const ConfigResult &result) {
    std::vector<std::string> lines;
    for (const ConfigIssue &issue : result.issues)
        lines.push_back(std::to_string(issue.line) + (issue.warning ? ": warning: " : ": ") + issue.reason);
    return lines;
}

bool HasIssue(const ConfigResult &result, int line, const std::string &fragment) {
    for (const ConfigIssue &issue : result.issues)
        if (issue.line == line && issue.reason.find(fragment) != std::string::npos) return true;
    return false;
}

const SensorConfig *Sensor(const GatewayConfig &config, const std::string &name) {
    for (const SensorConfig &sensor : config.sensors)
        if (sensor.name == name) return &sensor;
    return nullptr;
}

constexpr const char *kMinimal = R"(
[broker]
url = "mqtt://broker.local"
client_id = "gw"

[[sensor]]
name = "a"
target = "tcp://10.0.0.5:4001"
)";

} // namespace

TEST(GatewayConfig, ExampleOfThePackageIsFine) {
    const std::string path = TEST_DATA_DIR "/../../gateway/gateway.toml";
    const ConfigResult result = ReadConfig(path);
    EXPECT_TRUE(result.issues.empty()) << testing::PrintToString(Issues(result));
    EXPECT_EQ(result.config.sensors.size(), 2u);
    EXPECT_TRUE(result.config.modbus.enabled);
    EXPECT_EQ(CheckReport(result, path), path + ": fine, 2 sensors\n");
}

TEST(GatewayConfig, DefaultsFillWhatASensorLeavesOut) {
    ConfigDir dir;
    dir.Write("ca.crt", "ca");
    dir.Write("pw", "secret\n");
    const ConfigResult result = ParseConfig(R"(
[broker]
url = "mqtts://[::1]"
client_id = "gw-7"
username = "gateway"
password_file = "pw"
ca_file = "ca.crt"

[defaults]
interval = 2
topic_prefix = "plant/hall2"
buffer_seconds = 12.5
tags = { site = "north", line = "0" }

[[sensor]]
name = "inlet"
target = "/dev/ttyUSB0"
modbus_unit = 7
tags = { line = "3" }

[[sensor]]
name = "outlet.2"
target = "tcp://scope-srv:4002"
topic = "special/outlet"
interval = 0.25

[modbus]
listen = ":1502"

[metrics]
listen = "0.0.0.0:9108"
)",
                                            dir.Path("gateway.toml"));
    ASSERT_TRUE(result.ok()) << testing::PrintToString(Issues(result));
    EXPECT_TRUE(result.issues.empty()) << testing::PrintToString(Issues(result));
    const GatewayConfig &config = result.config;
    EXPECT_TRUE(config.broker.tls);
    EXPECT_EQ(config.broker.host, "::1");
    EXPECT_EQ(config.broker.port, 8883);
    EXPECT_EQ(config.broker.topic, "sensor-gateway/gw-7");
    EXPECT_EQ(config.broker.passwordFile, dir.Path("pw"));
    EXPECT_EQ(config.broker.caFile, dir.Path("ca.crt"));
    EXPECT_DOUBLE_EQ(config.bufferSeconds, 12.5);

    const SensorConfig *inlet = Sensor(config, "inlet");
    ASSERT_TRUE(inlet);
    EXPECT_EQ(inlet->topic, "plant/hall2/inlet");
    EXPECT_DOUBLE_EQ(inlet->interval, 2.0);
    EXPECT_EQ(inlet->modbusUnit, 7);
    EXPECT_EQ(inlet->tags, (Tags{{"site", "north"}, {"line", "3"}}));
    const SensorConfig *outlet = Sensor(config, "outlet.2");
    ASSERT_TRUE(outlet);
    EXPECT_EQ(outlet->topic, "special/outlet");
    EXPECT_DOUBLE_EQ(outlet->interval, 0.25);
    EXPECT_EQ(outlet->modbusUnit, 0);

    EXPECT_EQ(config.modbus.listen, (Endpoint{"127.0.0.1", 1502}));
    EXPECT_EQ(config.modbus.maxConnections, 16);
    EXPECT_EQ(config.metrics.listen, (Endpoint{"0.0.0.0", 9108}));
}

TEST(GatewayConfig, MinimalFileTakesTheBuiltInDefaults) {
    const ConfigResult result = ParseConfig(kMinimal, "/etc/gw.toml");
    ASSERT_TRUE(result.ok()) << testing::PrintToString(Issues(result));
    EXPECT_EQ(result.config.broker.port, 1883);
    EXPECT_FALSE(result.config.broker.tls);
    EXPECT_EQ(result.config.sensors[0].topic, "sensors/a");
    EXPECT_DOUBLE_EQ(result.config.sensors[0].interval, 0.0);
    EXPECT_DOUBLE_EQ(result.config.bufferSeconds, 60.0);
    EXPECT_FALSE(result.config.modbus.enabled);
    EXPECT_FALSE(result.config.metrics.enabled);
}

TEST(GatewayConfig, EveryMistakeIsReportedWithItsLine) {
    const ConfigResult result = ParseConfig(R"([broker]
url = "mqtt://broker"
clientid = "x"
ca_file = "ca.crt"

[defaults]
interval = -1
buffer_seconds = "60"
tags = { site = 3 }

[[sensor]]
name = "a"
target = "tcp://10.0.0.5:4001"
modbus_unit = 5

[[sensor]]
name = "a"
target = "10.0.0.6:4001"
modbus_unit = 5
intervall = 1

[[sensor]]
target = "tcp://10.0.0.7:70000"
topic = "sensors/#"
modbus_unit = 300

[[sensor]]
name = "b c"

[modbus]
listen = "nowhere:502"
max_connections = 0
allow = ["10.0.0.0/8", "plc.local"]

[metrics]
port = 9108

[extra]
)",
                                            "/tmp/gw.toml");
    EXPECT_FALSE(result.ok());
    const struct {
        int line;
        const char *fragment;
    } expected[] = {
        {3, "unknown key 'clientid' in [broker]"},
        {4, "ca_file in [broker] needs an mqtts:// url"},
        {4, "ca_file /tmp/ca.crt: No such file or directory"},
        {7, "'interval' in [defaults] must be 0..86400"},
        {8, "'buffer_seconds' in [defaults] must be a number, not a string"},
        {9, "tag 'site' in [defaults] must be a string, not an integer"},
        {16, "duplicate name \"a\" (first at line 11)"},
        {16, "duplicate modbus_unit \"5\" (first at line 11)"},
        {18, "neither tcp://HOST:PORT nor a serial device path"},
        {20, "unknown key 'intervall' in [[sensor]] #2"},
        {22, "missing key 'name' in [[sensor]] #3"},
        {23, "is not a TCP target"},
        {24, "holds a wildcard"},
        {25, "'modbus_unit' in [[sensor]] #3 must be 1..247, not 300"},
        {27, "missing key 'target' in [[sensor]] #4"},
        {28, "may hold only letters, digits"},
        {31, "\"nowhere\" is not an IP address"},
        {32, "'max_connections' in [modbus] must be 1..1024, not 0"},
        {33, "'plc.local' is no address or network"},
        {35, "missing key 'listen' in [metrics]"},
        {36, "unknown key 'port' in [metrics]"},
        {38, "unknown key 'extra' in the file"},
    };
    for (const auto &e : expected)
        EXPECT_TRUE(HasIssue(result, e.line, e.fragment))
            << e.line << ": " << e.fragment << "\n got " << testing::PrintToString(Issues(result));
    EXPECT_EQ(result.issues.size(), std::size(expected)) << testing::PrintToString(Issues(result));
}

TEST(GatewayConfig, FilesThatCannotBeTakenAreRefusedWithTheirReason) {
    ConfigDir dir;
    const ConfigResult missing = ReadConfig(dir.Path("absent.toml"));
    ASSERT_EQ(missing.issues.size(), 1u);
    EXPECT_EQ(CheckReport(missing, dir.Path("absent.toml")),
              dir.Path("absent.toml") + ": cannot read the file: No such file or directory\n");

    const ConfigResult folder = ReadConfig(dir.dir.path().toStdString());
    EXPECT_FALSE(folder.ok());

    const ConfigResult garbage = ParseConfig("[broker]\nurl = \"mqtt://b\"\n\n[[sensor]\n", "g.toml");
    ASSERT_EQ(garbage.issues.size(), 1u) << testing::PrintToString(Issues(garbage));
    EXPECT_EQ(garbage.issues[0].line, 4);
    EXPECT_NE(garbage.issues[0].reason.find("not TOML"), std::string::npos);

    const ConfigResult noBroker =
        ParseConfig("[[sensor]]\nname = \"a\"\ntarget = \"/dev/ttyS0\"\n", "n.toml");
    EXPECT_TRUE(HasIssue(noBroker, 0, "missing table [broker]"));
    const ConfigResult noUrl = ParseConfig("[broker]\nclient_id = \"x\"\n", "n.toml");
    EXPECT_TRUE(HasIssue(noUrl, 1, "missing key 'url' in [broker]"));
    EXPECT_TRUE(HasIssue(noUrl, 0, "no [[sensor]] table"));
    EXPECT_TRUE(ParseConfig("\xEF\xBB\xBF" + std::string(kMinimal), "bom.toml").ok());
}

TEST(GatewayConfig, BrokerFilesAreCheckedAndSecretsOpenToOthersWarned) {
    ConfigDir dir;
    dir.Write("pw", "secret\n", 0644);
    dir.Write("gw.key", "key", 0600);
    const std::string head = "[broker]\nurl = \"mqtts://b\"\nusername = \"u\"\n";
    const ConfigResult open = ParseConfig(head + "password_file = \"pw\"\n", dir.Path("gw.toml"));
    EXPECT_TRUE(open.ok());
    EXPECT_TRUE(HasIssue(open, 4, "is open to other users (mode 0644); chmod 600 it"));
    EXPECT_TRUE(open.issues[open.issues.size() - 1].warning);
    EXPECT_NE(CheckReport(open, "gw.toml").find(":4: warning: password_file"), std::string::npos);

    chmod(dir.Path("pw").c_str(), 0600);
    EXPECT_FALSE(HasIssue(ParseConfig(head + "password_file = \"pw\"\n", dir.Path("gw.toml")), 4, "open"));

    const ConfigResult mistakes =
        ParseConfig("[broker]\nurl = \"mqtts://b\"\npassword_file = \"nothing\"\nkey_file = \"gw.key\"\n",
                    dir.Path("gw.toml"));
    EXPECT_TRUE(HasIssue(mistakes, 3, "No such file or directory"));
    EXPECT_TRUE(HasIssue(mistakes, 3, "needs a username"));
    EXPECT_TRUE(HasIssue(mistakes, 1, "cert_file and key_file in [broker] go together"));
}

TEST(GatewayConfig, ValueSyntax) {
    EXPECT_EQ(CheckTarget("tcp://10.0.0.5:4001"), "");
    EXPECT_EQ(CheckTarget("tcp://[fe80::1]:4001"), "");
    EXPECT_EQ(CheckTarget("/dev/ttyUSB0"), "");
    for (const char *bad : {"tcp://host", "tcp://:4001", "tcp://h:0", "tcp://h:65536", "tcp://h:40x", "COM3",
                            "/", "ttyUSB0", "udp://h:1", "tcp://fe80::1:4001"})
        EXPECT_NE(CheckTarget(bad), "") << bad;

    BrokerConfig broker;
    EXPECT_EQ(ParseBrokerUrl("mqtt://b:1884", broker), "");
    EXPECT_EQ(broker.port, 1884);
    EXPECT_EQ(ParseBrokerUrl("mqtts://[::1]:8884", broker), "");
    EXPECT_EQ(broker.host, "::1");
    for (const char *bad :
         {"mqtt://", "mqtt://b:", "mqtt://b:99999", "mqtt://u@b", "mqtt://b/x", "tcp://b:1883", "mqtt://::1"})
        EXPECT_NE(ParseBrokerUrl(bad, broker), "") << bad;

    Endpoint endpoint;
    for (const auto &[text, host] : {std::pair{"502", "127.0.0.1"}, std::pair{":502", "127.0.0.1"},
                                     std::pair{"localhost:502", "127.0.0.1"}, std::pair{"[::]:502", "::"},
                                     std::pair{"10.1.2.3:502", "10.1.2.3"}}) {
        EXPECT_EQ(ParseListen(text, endpoint), "") << text;
        EXPECT_EQ(endpoint, (Endpoint{host, 502})) << text;
    }
    for (const char *bad : {"", ":", "host:502", "1.2.3:502", "127.0.0.1", "127.0.0.1:0", "[::1:502"})
        EXPECT_NE(ParseListen(bad, endpoint), "") << bad;

    for (const char *bad : {"", "a/+/b", "a/#", "$SYS/x", "a\nb"})
        EXPECT_NE(CheckTopic(bad), "") << bad;
}

TEST(GatewayConfig, DiffNamesWhatAReloadStartsEndsAndRestarts) {
    const std::string head = "[broker]\nurl = \"mqtt://b\"\nclient_id = \"gw\"\n";
    const std::string sensors = R"(
[[sensor]]
name = "same"
target = "tcp://h:1"

[[sensor]]
name = "moved"
target = "tcp://h:2"

[[sensor]]
name = "gone"
target = "tcp://h:3"
)";
    const GatewayConfig running = ParseConfig(head + sensors, "gw.toml").config;
    const ConfigResult next = ParseConfig(head + R"(
[[sensor]]
name = "new"
target = "tcp://h:4"

[[sensor]]
name = "moved"
target = "tcp://h:5"

[[sensor]]
name = "same"
target = "tcp://h:1"
)",
                                          "gw.toml");
    ASSERT_TRUE(next.ok()) << testing::PrintToString(Issues(next));
    const SensorDiff diff = Diff(running, next.config);
    EXPECT_EQ(diff.added, std::vector<std::string>{"new"});
    EXPECT_EQ(diff.removed, std::vector<std::string>{"gone"});
    EXPECT_EQ(diff.changed, std::vector<std::string>{"moved"});
    EXPECT_EQ(diff.unchanged, std::vector<std::string>{"same"});

    // A default that a sensor inherits changes that sensor.
    const GatewayConfig tagged =
        ParseConfig(head + "[defaults]\ntags = { site = \"x\" }\n" + sensors, "gw.toml").config;
    EXPECT_EQ(Diff(running, tagged).changed.size(), 3u);
    EXPECT_TRUE(Diff(running, running).changed.empty());
}

TEST(GatewayConfig, SparkplugStorageAndBrokerListsAreReadAndChecked) {
    ConfigDir dir;
    const std::string state = dir.Path("state");
    QDir().mkpath(QString::fromStdString(state));
    const ConfigResult good = ParseConfig(std::string(R"([broker]
urls = ["mqtt://one:1884", "mqtt://two", "mqtt://[::1]:1885"]
client_id = "gw"

[sparkplug]
group_id = "plant 1"
json_topics = false

[storage]
path = "state"
)") + (kMinimal + std::string(kMinimal).find("[[sensor]]")),
                                          dir.Path("gw.toml"));
    ASSERT_TRUE(good.ok()) << testing::PrintToString(Issues(good));
    const GatewayConfig &c = good.config;
    EXPECT_EQ(c.broker.url, "mqtt://one:1884");
    EXPECT_EQ(c.broker.port, 1884);
    EXPECT_EQ(c.broker.failover, (std::vector<BrokerAddress>{{"two", 1883}, {"::1", 1885}}));
    EXPECT_EQ(c.sparkplug, (SparkplugConfig{true, "plant 1", "gw", "", false}));
    EXPECT_EQ(c.storage.path, state) << "relative to the file's folder";

    // Each mistake with its line; an unwritable storage folder is refused at start and at reload.
    chmod(state.c_str(), 0500);
    const bool root = access(state.c_str(), W_OK) == 0; // root writes anywhere
    const ConfigResult bad = ParseConfig(R"([broker]
url = "mqtt://one"
urls = []

[sparkplug]
edge_node_id = "a/b"
primary_host = "#"
json = false

[storage]
path = "state"
)",
                                         dir.Path("gw.toml"));
    const struct {
        int line;
        std::string fragment;
    } expected[] = {
        {3, "give url or urls in [broker], not both"},
        {5, "missing key 'group_id' in [sparkplug]"},
        {6, "'edge_node_id' in [sparkplug]: the id \"a/b\" holds '/', '+' or '#'"},
        {7, "'primary_host' in [sparkplug]: the id \"#\" holds"},
        {8, "unknown key 'json' in [sparkplug]"},
        {11, "the storage folder " + state + " is not writable"},
    };
    for (const auto &e : expected) {
        if (e.line == 11 && root) continue;
        EXPECT_TRUE(HasIssue(bad, e.line, e.fragment))
            << e.line << ": " << e.fragment << "\n got " << testing::PrintToString(Issues(bad));
    }
    chmod(state.c_str(), 0700);

    const ConfigResult lists = ParseConfig(R"([broker]
urls = []
[[sensor]]
name = "a"
target = "/dev/ttyS0"
[storage]
path = "missing"
)",
                                           dir.Path("gw.toml"));
    EXPECT_TRUE(HasIssue(lists, 2, "'urls' in [broker] lists no broker"));
    EXPECT_FALSE(HasIssue(lists, 7, "storage")) << "a missing folder is made at start";
    EXPECT_TRUE(HasIssue(ParseConfig("[broker]\nurls = [\"mqtt://a\", \"mqtts://b\", 3]\n", "x.toml"), 2,
                         "every broker uses mqtts:// or none does"));
    EXPECT_TRUE(HasIssue(ParseConfig("[broker]\nurls = [\"mqtt://a\", 3]\n", "x.toml"), 2,
                         "each entry must be a string"));
}

TEST(GatewayConfig, StorageFolderComesFromTheServiceOrTheFile) {
    ConfigDir dir;
    qputenv("STATE_DIRECTORY", "/var/lib/sensor-gateway:/var/lib/other");
    ConfigResult result = ParseConfig(kMinimal, "/etc/gw.toml");
    EXPECT_EQ(result.config.storage.path, "/var/lib/sensor-gateway");
    EXPECT_DOUBLE_EQ(result.config.storage.maxMb, 256);
    EXPECT_DOUBLE_EQ(result.config.storage.syncSeconds, 1);
    EXPECT_DOUBLE_EQ(result.config.storage.memoryMb, 64);
    result = ParseConfig(std::string(kMinimal) + "[storage]\npath = \"\"\n", "/etc/gw.toml");
    EXPECT_EQ(result.config.storage.path, "") << "an empty path keeps samples in memory only";
    qunsetenv("STATE_DIRECTORY");
    EXPECT_EQ(ParseConfig(kMinimal, "/etc/gw.toml").config.storage.path, "");

    result = ParseConfig(std::string(kMinimal) +
                             "[storage]\npath = \"journal\"\nmax_mb = 0.5\nsync_seconds = 0.2\n"
                             "memory_mb = 8\n",
                         dir.Path("gw.toml"));
    ASSERT_TRUE(result.ok()) << testing::PrintToString(Issues(result));
    EXPECT_EQ(result.config.storage.path, dir.Path("journal")) << "relative to the file's folder";
    EXPECT_DOUBLE_EQ(result.config.storage.maxMb, 0.5);
    EXPECT_DOUBLE_EQ(result.config.storage.syncSeconds, 0.2);
    EXPECT_DOUBLE_EQ(result.config.storage.memoryMb, 8);
}

TEST(GatewayConfig, StorageSizesOfNothingOrBeyondTheDiskAreCaught) {
    ConfigDir dir;
    const std::string head = std::string(kMinimal) + "[storage]\npath = \"" + dir.Path("") + "\"\n";
    const struct {
        const char *line;
        const char *issue;
        bool warning;
    } cases[] = {
        {"max_mb = 0", "'max_mb' in [storage] must be more than 0", false},
        {"max_mb = -5", "'max_mb' in [storage] must be 0..", false},
        {"max_mb = 999999", "MB free in", true},
        {"memory_mb = 0", "'memory_mb' in [storage] must be more than 0", false},
        {"sync_seconds = 0", "'sync_seconds' in [storage] must be more than 0", false},
        {"size = 3", "unknown key 'size' in [storage]", false},
    };
    for (const auto &c : cases) {
        const ConfigResult result = ParseConfig(head + c.line + "\n", dir.Path("gw.toml"));
        ASSERT_EQ(result.issues.size(), 1u) << c.line << testing::PrintToString(Issues(result));
        EXPECT_NE(result.issues[0].reason.find(c.issue), std::string::npos)
            << c.line << ": " << result.issues[0].reason;
        EXPECT_EQ(result.issues[0].warning, c.warning) << c.line;
    }
}
