// The gateway's configuration file: TOML with a [broker] table, [defaults] that every
// sensor inherits, one [[sensor]] table per sensor and the optional [modbus] and
// [metrics] listeners, the Sparkplug B edge node and the [storage] folder (keys in
// docs/gateway.md). Reading checks the whole file and
// reports every mistake with its line, so that one run of `--check` finds them all;
// an unknown key is a mistake, because a misspelt key would otherwise be ignored in
// silence. The structs hold effective values: defaults are already applied.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace gateway {

struct BrokerAddress {
    std::string host;
    int port = 0;

    bool operator==(const BrokerAddress &) const = default;
};

struct BrokerConfig {
    std::string url; // as written; the first of urls
    bool tls = false;
    std::string host;
    int port = 0;
    std::vector<BrokerAddress> failover; // the brokers after the first of urls, tried in turn
    std::string clientId;
    std::string username;
    std::string passwordFile; // paths are absolute: relative ones count from the file's folder
    std::string caFile;
    std::string certFile;
    std::string keyFile;
    std::string topic; // the gateway's own prefix; its status with the last will is TOPIC/status

    bool operator==(const BrokerConfig &) const = default;
};

using Tags = std::map<std::string, std::string>;

struct SensorConfig {
    std::string name;
    std::string target; // "tcp://HOST:PORT" or a serial device path, as written
    std::string topic;
    double interval = 0.0; // seconds from one data request to the next, 0 = full rate
    int modbusUnit = 0;    // 0 = not served over Modbus
    Tags tags;             // the defaults' tags with the sensor's own over them

    bool operator==(const SensorConfig &) const = default;
};

struct Endpoint {
    std::string host; // an IP address
    uint16_t port = 0;

    bool operator==(const Endpoint &) const = default;
};

struct ModbusConfig {
    bool enabled = false;
    Endpoint listen;
    int maxConnections = 16;
    double idleTimeout = 60.0;      // seconds without a byte from a client before it is closed
    std::vector<std::string> allow; // addresses or networks clients may come from; empty: all

    bool operator==(const ModbusConfig &) const = default;
};

struct MetricsConfig {
    bool enabled = false;
    Endpoint listen;

    bool operator==(const MetricsConfig &) const = default;
};

// The gateway as one Sparkplug B edge node on its broker connection; each sensor is a device.
struct SparkplugConfig {
    bool enabled = false;
    std::string groupId;
    std::string edgeNodeId;  // the broker's client id unless given
    std::string primaryHost; // empty: births go out without waiting for a host application
    bool jsonTopics = true;  // the JSON topics as well

    bool operator==(const SparkplugConfig &) const = default;
};

// Where the gateway keeps what must outlive it: the Sparkplug node's bdSeq and the
// journal of samples waiting for the broker (see gateway/journal.h), and how much
// of them may wait in memory.
struct StorageConfig {
    std::string path;       // the storage folder; $STATE_DIRECTORY by default, empty = memory only
    double maxMb = 256;     // the journal's size on disk at most
    double syncSeconds = 1; // how often the journal is synced to disk
    double memoryMb = 64;   // samples waiting in memory, all sensors together

    bool operator==(const StorageConfig &) const = default;
};

struct GatewayConfig {
    BrokerConfig broker;
    double bufferSeconds = 60.0; // samples per sensor that may wait for the broker, in seconds
    double reconnectMax = 10.0;  // longest pause between attempts to reach a sensor or the broker, seconds
    std::vector<SensorConfig> sensors;
    ModbusConfig modbus;
    MetricsConfig metrics;
    SparkplugConfig sparkplug;
    StorageConfig storage;

    bool operator==(const GatewayConfig &) const = default;
};

struct ConfigIssue {
    std::string file;
    int line = 0; // 0 when the mistake has no line (an unreadable file)
    std::string reason;
    bool warning = false; // warnings do not refuse the file
};

struct ConfigResult {
    GatewayConfig config;            // complete only when ok()
    std::vector<ConfigIssue> issues; // in the order of their lines

    bool ok() const;
};

// Reads and checks a configuration file.
ConfigResult ReadConfig(const std::string &path);
// Checks the text of a configuration as if read from the file path (which names
// it in messages and anchors relative paths).
ConfigResult ParseConfig(std::string_view text, const std::string &path);

// How a new configuration differs from the running one, by sensor name. A sensor
// whose effective settings differ in anything (inherited defaults included) has
// changed. The other tables are compared as a whole with ==.
struct SensorDiff {
    std::vector<std::string> added, removed, changed, unchanged;
};
SensorDiff Diff(const GatewayConfig &running, const GatewayConfig &next);

// What `sensorctl gateway --check FILE` prints: every issue as "FILE:LINE: reason"
// (warnings marked so), then, when the file is fine, one line that says so.
std::string CheckReport(const ConfigResult &result, const std::string &path);

} // namespace gateway
