#include "mqtt/broker.h"

#include <charconv>
#include <optional>
#include <tuple>

namespace mqtt {

namespace {

// Splits "HOST[:PORT]" or "[V6ADDRESS][:PORT]" into host and port text (nullopt
// for no port); false for a bare IPv6 address or unbalanced brackets.
bool SplitHostPort(const std::string &rest, std::string &host, std::optional<std::string> &port) {
    std::size_t hostEnd = rest.find(':');
    if (!rest.empty() && rest.front() == '[') {
        const std::size_t close = rest.find(']');
        if (close == std::string::npos) return false;
        host = rest.substr(1, close - 1);
        hostEnd = close + 1;
        if (hostEnd < rest.size() && rest[hostEnd] != ':') return false;
    } else {
        if (hostEnd != rest.rfind(':')) return false;
        host = rest.substr(0, hostEnd);
    }
    if (hostEnd < rest.size()) port = rest.substr(hostEnd + 1);
    return true;
}

} // namespace

bool ParseBroker(const std::string &url, Broker &broker, std::string &problem) {
    Broker b;
    std::string rest;
    for (const auto &[scheme, tls, port] : {std::tuple{"mqtt://", false, 1883}, {"mqtts://", true, 8883}}) {
        const std::string prefix = scheme;
        if (url.rfind(prefix, 0) == 0 && url.size() > prefix.size()) {
            rest = url.substr(prefix.size());
            b.tls = tls;
            b.port = port;
        }
    }
    if (rest.empty()) {
        problem = "\"" + url + "\" is not a broker address; write mqtt://HOST:PORT or mqtts://HOST:PORT";
        return false;
    }
    if (rest.back() == '/') rest.pop_back();
    if (rest.find('@') != std::string::npos) {
        problem = "\"" + url +
                  "\": a user name or password does not go into the broker address; give them as the "
                  "broker options (--username, --password-file; username, password_file in [broker])";
        return false;
    }
    if (rest.find('/') != std::string::npos) {
        problem = "\"" + url + "\" has a path; a broker address is mqtt://HOST:PORT, nothing after the port";
        return false;
    }
    std::optional<std::string> port;
    if (!SplitHostPort(rest, b.host, port)) {
        problem = "\"" + url +
                  "\" is not a broker address; an IPv6 address goes in brackets: mqtt://[ADDRESS]:PORT";
        return false;
    }
    if (port) {
        const char *first = port->data(), *last = first + port->size();
        const auto [end, ec] = std::from_chars(first, last, b.port);
        if (ec != std::errc() || end != last || b.port < 1 || b.port > 65535) {
            problem = "\"" + url + "\" has no port 1..65535 after the host";
            return false;
        }
    }
    if (b.host.empty()) {
        problem = "\"" + url + "\" names no host";
        return false;
    }
    if (b.host.find_first_of("/@?# \t") != std::string::npos) {
        problem = "\"" + url + "\" names no host: \"" + b.host + "\" is not a host name or address";
        return false;
    }
    broker = b;
    return true;
}

std::string Address(const Broker &broker) {
    const bool v6 = broker.host.find(':') != std::string::npos;
    return (v6 ? "[" + broker.host + "]" : broker.host) + ":" + std::to_string(broker.port);
}

} // namespace mqtt
