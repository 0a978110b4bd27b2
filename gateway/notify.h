// Tells systemd how the service is doing (sd_notify): ready, reloading, stopping,
// a status line, and the watchdog's "still alive". Outside systemd (no
// NOTIFY_SOCKET) every call does nothing, so the gateway runs the same from a shell.
#pragma once

#include <chrono>
#include <optional>
#include <string_view>

namespace gateway {

// Each call returns true when a supervisor's socket took the message. A status
// line, when given, goes in the same message.

// The configuration is loaded and the broker tried: the service is up.
bool NotifyReady(std::string_view status = {});
// A reload begins; NotifyReady ends it.
bool NotifyReloading(std::string_view status = {});
bool NotifyStopping(std::string_view status = {});
// A short line for `systemctl status`, e.g. "187 of 200 sensors online, broker connected".
bool NotifyStatus(std::string_view status);
// The polling loop is alive; to be sent at least every WatchdogPeriod().
bool NotifyWatchdog();

// Half of the watchdog time when systemd watches this process (WatchdogSec=);
// nullopt when it does not.
std::optional<std::chrono::microseconds> WatchdogPeriod();

} // namespace gateway
