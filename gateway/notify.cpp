#include "gateway/notify.h"

#include <systemd/sd-daemon.h>

#include <time.h>

#include <string>

namespace gateway {
namespace {

// One message of assignments; the status loses its line breaks, which would end it early.
bool Send(std::string message, std::string_view status) {
    if (!status.empty()) {
        message += "STATUS=";
        for (char c : status)
            message += c == '\n' || c == '\r' ? ' ' : c;
        message += "\n";
    }
    return sd_notify(0, message.c_str()) > 0;
}

} // namespace

bool NotifyReady(std::string_view status) {
    return Send("READY=1\n", status);
}

bool NotifyReloading(std::string_view status) {
    // Type=notify-reload (systemd 253 and later) wants the monotonic time of the
    // reload's start; older versions ignore it.
    timespec now = {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const long long usec = static_cast<long long>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
    return Send("RELOADING=1\nMONOTONIC_USEC=" + std::to_string(usec) + "\n", status);
}

bool NotifyStopping(std::string_view status) {
    return Send("STOPPING=1\n", status);
}

bool NotifyStatus(std::string_view status) {
    return Send("", status);
}

bool NotifyWatchdog() {
    return Send("WATCHDOG=1\n", {});
}

std::optional<std::chrono::microseconds> WatchdogPeriod() {
    uint64_t usec = 0;
    if (sd_watchdog_enabled(0, &usec) <= 0 || usec == 0) return std::nullopt;
    return std::chrono::microseconds(usec / 2);
}

} // namespace gateway
