#include "sensor/address.h"

#include <charconv>

namespace sensor {

std::string Address::place() const {
    if (!tcp) return device;
    const bool ipv6 = host.find(':') != std::string::npos;
    return (ipv6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

namespace {

bool ParsePort(const std::string &text, int &port) {
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value < 1 || value > 65535)
        return false;
    port = value;
    return true;
}

bool ParseTcp(const std::string &text, const std::string &rest, Address &address, std::string &problem) {
    const std::size_t colon = rest.rfind(':');
    std::string host = colon == std::string::npos ? "" : rest.substr(0, colon);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    Address a;
    a.tcp = true;
    a.host = host;
    if (host.empty() || host.find_first_of("/ \t") != std::string::npos ||
        !ParsePort(colon == std::string::npos ? "" : rest.substr(colon + 1), a.port)) {
        problem = "\"" + text + "\" is not a TCP target; write tcp://HOST:PORT with a port 1..65535";
        return false;
    }
    address = a;
    return true;
}

} // namespace

bool ParseAddress(const std::string &text, Address &address, std::string &problem) {
    const std::string scheme = "tcp://";
    if (text.rfind(scheme, 0) == 0) return ParseTcp(text, text.substr(scheme.size()), address, problem);
    if (text.empty()) {
        problem = "an empty target; write tcp://HOST:PORT or a serial device path such as /dev/ttyUSB0";
        return false;
    }
    if (text[0] == '-') {
        problem = "\"" + text + "\" is an option, not a target; write tcp://HOST:PORT or a device path";
        return false;
    }
    if (text.find("://") != std::string::npos) {
        problem = "\"" + text + "\" is neither tcp://HOST:PORT nor a serial device path";
        return false;
    }
    if (text[0] != '/') {
        const bool looksLikeServer = text.find(':') != std::string::npos;
        problem = "\"" + text + "\" is not a target; " +
                  (looksLikeServer ? "a serial-to-Ethernet server is written tcp://" + text
                                   : "a serial device is written as its full path, such as /dev/" + text);
        return false;
    }
    Address a;
    a.device = text;
    address = a;
    return true;
}

} // namespace sensor
