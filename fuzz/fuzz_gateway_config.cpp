// The gateway's configuration file of any content: a file that is taken holds
// sensors with valid, distinct names and units; a refused file names a reason for
// each mistake; and the check's text has one line per issue, whatever the file quotes.
#include "fuzz/fuzz_support.h"
#include "gateway/config.h"
#include "gateway/configvalues.h"

#include <algorithm>
#include <set>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string text(reinterpret_cast<const char *>(data), size);
    const gateway::ConfigResult result = gateway::ParseConfig(text, "/nonexistent/gateway.toml");
    for (const gateway::ConfigIssue &issue : result.issues)
        FUZZ_CHECK(!issue.reason.empty() && issue.line >= 0);
    const std::string report = gateway::CheckReport(result, "gateway.toml");
    FUZZ_CHECK(std::size_t(std::count(report.begin(), report.end(), '\n')) ==
               result.issues.size() + (result.ok() ? 1 : 0));
    if (!result.ok()) return 0;

    const gateway::GatewayConfig &config = result.config;
    FUZZ_CHECK(!config.broker.host.empty() && config.broker.port >= 1 && config.broker.port <= 65535);
    FUZZ_CHECK(gateway::CheckTopic(config.broker.topic).empty());
    std::set<std::string> names;
    std::set<int> units;
    for (const gateway::SensorConfig &sensor : config.sensors) {
        FUZZ_CHECK(gateway::CheckName(sensor.name).empty() && names.insert(sensor.name).second);
        FUZZ_CHECK(gateway::CheckTarget(sensor.target).empty());
        FUZZ_CHECK(gateway::CheckTopic(sensor.topic).empty());
        FUZZ_CHECK(sensor.interval >= 0.0 && sensor.interval <= 86400.0);
        FUZZ_CHECK(sensor.modbusUnit == 0 ||
                   (sensor.modbusUnit <= 247 && units.insert(sensor.modbusUnit).second));
    }
    const gateway::SensorDiff same = gateway::Diff(config, config);
    FUZZ_CHECK(same.unchanged.size() == config.sensors.size() && same.changed.empty());
    return 0;
}
