#include "gateway/configvalues.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>
#include <charconv>

namespace gateway {
namespace {

constexpr std::size_t kMaxTopicChars = 1024;

bool NameCharacter(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '_' || c == '-';
}

bool ControlCharacter(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7f;
}

// A port 1..65535 written as decimal digits only.
bool ParsePort(std::string_view text, uint16_t &port) {
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value < 1 || value > 65535)
        return false;
    port = static_cast<uint16_t>(value);
    return true;
}

struct HostPort {
    std::string_view host;
    std::string_view port;
    bool portGiven = false; // a ':' follows the host
};

// Splits "HOST:PORT" or "[IPv6]:PORT". An IPv6 address needs its brackets, so a
// host with a colon of its own comes back empty.
HostPort SplitHostPort(std::string_view text) {
    HostPort split;
    std::string_view rest;
    if (!text.empty() && text.front() == '[' && text.find(']') != std::string_view::npos) {
        split.host = text.substr(1, text.find(']') - 1);
        rest = text.substr(text.find(']') + 1);
    } else {
        const std::size_t colon = text.find(':');
        split.host = text.substr(0, colon);
        rest = colon == std::string_view::npos ? std::string_view() : text.substr(colon);
        if (rest.find(':', 1) != std::string_view::npos) split.host = {};
    }
    split.portGiven = !rest.empty();
    split.port = rest.empty() || rest.front() != ':' ? rest : rest.substr(1); // garbage fails as a port
    return split;
}

bool IpAddress(const std::string &host) {
    unsigned char buffer[16];
    return inet_pton(AF_INET, host.c_str(), buffer) == 1 || inet_pton(AF_INET6, host.c_str(), buffer) == 1;
}

} // namespace

std::string CheckName(std::string_view name) {
    if (name.empty()) return "the name is empty";
    if (!std::all_of(name.begin(), name.end(), NameCharacter))
        return "the name \"" + std::string(name) + "\" may hold only letters, digits, '.', '_' and '-'";
    return "";
}

std::string CheckSparkplugId(std::string_view id) {
    if (id.empty()) return "the id is empty";
    if (id.size() > 256) return "the id is longer than 256 characters";
    if (id.find_first_of("/+#") != std::string_view::npos)
        return "the id \"" + std::string(id) + "\" holds '/', '+' or '#', which a topic level cannot";
    if (std::any_of(id.begin(), id.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; }))
        return "the id holds a control character";
    return "";
}

std::string CheckTopic(std::string_view topic) {
    const std::string quoted = "the topic \"" + std::string(topic.substr(0, 80)) + "\"";
    if (topic.empty()) return "the topic is empty";
    if (topic.size() > kMaxTopicChars) return quoted + " is longer than 1024 characters";
    if (topic.find_first_of("#+") != std::string_view::npos)
        return quoted + " holds a wildcard ('#' or '+'); samples need a plain topic";
    if (std::any_of(topic.begin(), topic.end(), ControlCharacter))
        return quoted + " holds a control character";
    if (topic.front() == '$') return quoted + " starts with '$', which brokers keep for themselves";
    return "";
}

std::string CheckTarget(std::string_view target) {
    const std::string quoted = "\"" + std::string(target.substr(0, 200)) + "\"";
    const std::string_view scheme = "tcp://";
    if (target.substr(0, scheme.size()) == scheme) {
        const HostPort split = SplitHostPort(target.substr(scheme.size()));
        uint16_t value = 0;
        if (split.host.empty() || split.host.find_first_of("/ ") != std::string_view::npos ||
            !ParsePort(split.port, value))
            return quoted + " is not a TCP target; write tcp://HOST:PORT with a port 1..65535";
        return "";
    }
    if (target.size() < 2 || target.front() != '/' || target.find("://") != std::string_view::npos ||
        std::any_of(target.begin(), target.end(), ControlCharacter))
        return quoted + " is neither tcp://HOST:PORT nor a serial device path such as /dev/ttyUSB0";
    return "";
}

std::string ParseBrokerUrl(std::string_view url, BrokerConfig &broker) {
    const std::string quoted = "\"" + std::string(url.substr(0, 200)) + "\"";
    std::string_view rest;
    if (url.substr(0, 7) == "mqtt://") {
        broker.tls = false;
        rest = url.substr(7);
    } else if (url.substr(0, 8) == "mqtts://") {
        broker.tls = true;
        rest = url.substr(8);
    } else {
        return quoted + " is not a broker URL; write mqtt://HOST:PORT, or mqtts://HOST:PORT for TLS";
    }
    const HostPort split = SplitHostPort(rest);
    uint16_t value = broker.tls ? 8883 : 1883;
    if (split.host.empty() || split.host.find_first_of("/@? ") != std::string_view::npos ||
        std::any_of(split.host.begin(), split.host.end(), ControlCharacter) ||
        (split.portGiven && !ParsePort(split.port, value)))
        return quoted + " needs a host and at most a port 1..65535 after it (mqtt://HOST:PORT)";
    broker.host = std::string(split.host);
    broker.port = value;
    return "";
}

std::string ParseListen(std::string_view text, Endpoint &endpoint) {
    const std::string quoted = "\"" + std::string(text.substr(0, 200)) + "\"";
    HostPort split;
    if (text.find_first_not_of("0123456789") == std::string_view::npos)
        split.port = text; // "PORT" alone
    else
        split = SplitHostPort(text);
    const bool defaultHost = split.host.empty() && (!split.portGiven || text.front() == ':');
    const std::string address =
        defaultHost || split.host == "localhost" ? "127.0.0.1" : std::string(split.host);
    if (!ParsePort(split.port, endpoint.port))
        return quoted + " needs a port 1..65535: write HOST:PORT, :PORT or PORT";
    if (!IpAddress(address))
        return quoted + ": \"" + address + "\" is not an IP address (0.0.0.0 listens on every IPv4 address)";
    endpoint.host = address;
    return "";
}

} // namespace gateway
