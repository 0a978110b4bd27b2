// Where the broker is: host, port and whether the connection uses TLS, as a user
// writes it on a command line or in a configuration file.
#pragma once

#include <string>

namespace mqtt {

struct Broker {
    std::string host;
    int port = 1883;
    bool tls = false;
};

// Parses "mqtt://HOST[:PORT]" (port 1883 unless given) or "mqtts://HOST[:PORT]"
// (TLS, port 8883 unless given); an IPv6 address goes in brackets. False with the
// reason in problem.
bool ParseBroker(const std::string &url, Broker &broker, std::string &problem);

// "HOST:PORT", for messages.
std::string Address(const Broker &broker);

} // namespace mqtt
