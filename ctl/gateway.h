// sensorctl gateway: the plant's sensors polled for as long as the service
// runs, their live values and health in an MQTT broker and, when configured,
// for PLCs over Modbus TCP and for Prometheus at /metrics. Configured in a TOML
// file, changed without a stop (SIGHUP applies only the differences), watched
// by systemd (ready, reloading, stopping, status, watchdog).
#pragma once

#include <string>

namespace ctl {

// Runs the gateway until SIGINT or SIGTERM; the exit code (3 when the
// configuration is refused at start).
int RunGateway(const std::string &configPath);
// Checks a configuration file: every mistake with its line; 0 or 3.
int CheckGatewayConfig(const std::string &configPath);

} // namespace ctl
