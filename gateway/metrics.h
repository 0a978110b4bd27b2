// The gateway's figures in the Prometheus text exposition format (version 0.0.4),
// made from a snapshot that the polling engine fills, and the little of HTTP that
// a scraper needs: GET /metrics.
#pragma once

#include "gateway/modbus.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace gateway {

struct SensorMetrics {
    std::string name;
    bool online = false;
    uint64_t samples = 0;
    uint64_t timeouts = 0;
    uint64_t reconnects = 0;
    double secondsSinceLastSample = -1.0; // negative: no sample yet (then left out)
};

struct MetricsSnapshot {
    std::vector<SensorMetrics> sensors;
    double pollCycleSeconds = 0.0;
    bool brokerConnected = false;
    std::string broker;                   // HOST:PORT of the broker connected or tried next
    uint64_t samplesQueued = 0;  // waiting for the broker now
    uint64_t samplesDropped = 0; // dropped because a sensor's queue was full
    struct Journal {
        uint64_t bytes = 0;
        uint64_t replayed = 0;       // samples sent again from the disk
        uint64_t dropped = 0;        // unconfirmed samples of segments removed when it was full
        uint64_t corrupt = 0;        // damaged stretches skipped
        double oldestSeconds = -1.0; // age of the oldest waiting sample; negative: none
    };
    std::optional<Journal> journal;       // when there is a storage folder
    std::optional<ModbusCounters> modbus; // when the Modbus server runs
};

// The snapshot as the body of a /metrics answer; every name starts with sensor_gateway_.
std::string RenderMetrics(const MetricsSnapshot &snapshot);

enum class HttpVerdict {
    Incomplete,       // the request's head has not ended yet
    Metrics,          // GET /metrics
    NotFound,         // GET of any other path
    MethodNotAllowed, // any other method
    BadRequest,       // not an HTTP/1.x request line
};

// Judges the bytes of a request received so far.
HttpVerdict JudgeHttpRequest(std::string_view received);

// A whole HTTP/1.1 answer that closes the connection.
std::string HttpAnswer(HttpVerdict verdict, std::string_view metricsBody = {});

} // namespace gateway
