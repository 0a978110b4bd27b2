// The syntax of the configuration's values that are more than a type: names,
// topics, targets, the broker's URL and listen addresses. Each check returns ""
// when the text is fine and the reason otherwise; nothing here touches the network.
#pragma once

#include "gateway/config.h"

#include <string>
#include <string_view>

namespace gateway {

// Letters, digits, '.', '_' and '-': safe in topics, file names and log lines.
std::string CheckName(std::string_view name);
// A Sparkplug group, edge node or host id: not empty, no '/', '+', '#' or control characters.
std::string CheckSparkplugId(std::string_view id);
// An MQTT topic to publish to: no wildcards, no control characters, not a '$' topic.
std::string CheckTopic(std::string_view topic);
// "tcp://HOST:PORT" with a port 1..65535, or an absolute device path; syntax only.
std::string CheckTarget(std::string_view target);
// "mqtt://HOST[:PORT]" or "mqtts://HOST[:PORT]" into tls, host and port (1883 or 8883 by default).
std::string ParseBrokerUrl(std::string_view url, BrokerConfig &broker);
// "HOST:PORT", ":PORT" or "PORT" with an IP address (or localhost) as host, 127.0.0.1 by default.
std::string ParseListen(std::string_view text, Endpoint &endpoint);

} // namespace gateway
