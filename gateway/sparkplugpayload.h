// Sparkplug B 3.0 payloads as the gateway writes them (births, data, deaths) and
// the two messages it reads: a node command (NCMD) and a primary host's STATE.
// Encoding is protobuf-c on our schema sparkplug_b.proto; nothing here touches
// the network.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace gateway::sparkplug {

// The Sparkplug datatypes the gateway sends.
enum class DataType : uint32_t { Int64 = 4, UInt16 = 6, UInt32 = 7, Boolean = 11, String = 12 };

struct Metric {
    std::string name; // empty: known by its alias alone (data messages)
    std::optional<uint64_t> alias;
    uint64_t timestamp = 0;           // milliseconds since the epoch
    std::optional<DataType> datatype; // births carry it
    bool historical = false;          // a value from the past, sent late (is_historical)
    // Held as the payload holds it: int_value (up to 32 bits), long_value, boolean_value, string_value.
    std::variant<uint32_t, uint64_t, bool, std::string> value;
    std::vector<std::pair<std::string, std::string>> properties; // string properties, in order
};

struct Payload {
    uint64_t timestamp = 0;
    std::optional<uint64_t> seq; // every message but NDEATH has one
    std::vector<Metric> metrics;
};

// The payload's protobuf bytes.
std::string Encode(const Payload &payload);

// What a node command asks.
struct NodeCommand {
    bool rebirth = false; // Node Control/Rebirth = true
};
// Reads an NCMD payload; nullopt with the reason in problem when it is not a Sparkplug payload.
std::optional<NodeCommand> ReadNodeCommand(std::string_view bytes, std::string &problem);

// A host application's STATE: {"online": true|false, "timestamp": MILLISECONDS}.
struct HostState {
    bool online = false;
    int64_t timestamp = 0;
};
// Reads a STATE payload; nullopt with the reason in problem when it is not JSON or lacks its keys.
std::optional<HostState> ReadHostState(std::string_view json, std::string &problem);

} // namespace gateway::sparkplug
