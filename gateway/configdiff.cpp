// What a reload changes, and the text of a file's check: the two uses of a read
// configuration besides running it.
#include "gateway/config.h"

#include <map>

namespace gateway {

SensorDiff Diff(const GatewayConfig &running, const GatewayConfig &next) {
    SensorDiff diff;
    std::map<std::string_view, const SensorConfig *> before;
    for (const SensorConfig &sensor : running.sensors)
        before.emplace(sensor.name, &sensor);
    for (const SensorConfig &sensor : next.sensors) {
        const auto found = before.find(sensor.name);
        if (found == before.end()) {
            diff.added.push_back(sensor.name);
            continue;
        }
        (*found->second == sensor ? diff.unchanged : diff.changed).push_back(sensor.name);
        before.erase(found);
    }
    for (const SensorConfig &sensor : running.sensors)
        if (before.count(sensor.name)) diff.removed.push_back(sensor.name);
    return diff;
}

std::string CheckReport(const ConfigResult &result, const std::string &path) {
    std::string text;
    for (const ConfigIssue &issue : result.issues) {
        text += issue.file;
        if (issue.line > 0) text += ":" + std::to_string(issue.line);
        text += issue.warning ? ": warning: " : ": ";
        text += issue.reason + "\n";
    }
    if (result.ok()) {
        const std::size_t count = result.config.sensors.size();
        text += path + ": fine, " + std::to_string(count) + (count == 1 ? " sensor\n" : " sensors\n");
    }
    return text;
}

} // namespace gateway
