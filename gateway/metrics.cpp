#include "gateway/metrics.h"

#include <charconv>

namespace gateway {
namespace {

constexpr std::string_view kPrefix = "sensor_gateway_";

// Writes one metric family; value(i) gives the text of sensor i's value or ""
// to leave that sensor out.
class Exposition {
  public:
    void Family(std::string_view name, std::string_view type, std::string_view help) {
        m_name = std::string(kPrefix) + std::string(name);
        m_text += "# HELP " + m_name + " " + std::string(help) + "\n# TYPE " + m_name + " " +
                  std::string(type) + "\n";
    }
    void Sample(std::string_view value, std::string_view name = {}, std::string_view label = "name") {
        m_text += m_name;
        if (!name.empty()) m_text += "{" + std::string(label) + "=\"" + Escaped(name) + "\"}";
        m_text += " " + std::string(value) + "\n";
    }
    std::string Text() && { return std::move(m_text); }

  private:
    static std::string Escaped(std::string_view label) {
        std::string out;
        for (char c : label) {
            if (c == '\\' || c == '"') out += '\\';
            out += c == '\n' ? std::string("\\n") : std::string(1, c);
        }
        return out;
    }

    std::string m_name;
    std::string m_text;
};

// Numbers in the format's own notation, whatever the process's locale.
std::string Number(double value) {
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    return std::string(text, end);
}

std::string Number(uint64_t value) {
    return std::to_string(value);
}

void RenderSensors(Exposition &out, const std::vector<SensorMetrics> &sensors) {
    const struct {
        const char *name, *type, *help;
        std::string (*value)(const SensorMetrics &);
    } families[] = {
        {"sensor_online", "gauge", "1 while the sensor answers, 0 otherwise.",
         [](const SensorMetrics &s) { return Number(uint64_t(s.online)); }},
        {"samples_total", "counter", "Samples received from the sensor.",
         [](const SensorMetrics &s) { return Number(s.samples); }},
        {"timeouts_total", "counter", "Exchanges with the sensor that ran out of time.",
         [](const SensorMetrics &s) { return Number(s.timeouts); }},
        {"reconnects_total", "counter", "Connections to the sensor made again after a failure.",
         [](const SensorMetrics &s) { return Number(s.reconnects); }},
        {"seconds_since_last_sample", "gauge", "Seconds since the sensor's latest sample.",
         [](const SensorMetrics &s) {
             return s.secondsSinceLastSample < 0 ? "" : Number(s.secondsSinceLastSample);
         }},
    };
    for (const auto &family : families) {
        out.Family(family.name, family.type, family.help);
        for (const SensorMetrics &sensor : sensors) {
            const std::string value = family.value(sensor);
            if (!value.empty()) out.Sample(value, sensor.name);
        }
    }
}

void RenderJournal(Exposition &out, const MetricsSnapshot::Journal &journal) {
    out.Family("journal_bytes", "gauge", "Bytes of the journal on disk.");
    out.Sample(Number(journal.bytes));
    out.Family("journal_replayed_total", "counter", "Samples sent from the journal after they waited.");
    out.Sample(Number(journal.replayed));
    out.Family("journal_dropped_total", "counter",
               "Samples dropped with the journal's oldest segment because it was full.");
    out.Sample(Number(journal.dropped));
    out.Family("journal_corrupt_total", "counter", "Damaged stretches of the journal skipped.");
    out.Sample(Number(journal.corrupt));
    if (journal.oldestSeconds >= 0) {
        out.Family("oldest_waiting_sample_seconds", "gauge",
                   "Age of the oldest sample waiting for the broker.");
        out.Sample(Number(journal.oldestSeconds));
    }
}

void RenderModbus(Exposition &out, const ModbusCounters &modbus) {
    out.Family("modbus_requests_total", "counter", "Modbus requests answered, exceptions included.");
    out.Sample(Number(uint64_t(modbus.requests)));
    out.Family("modbus_exceptions_total", "counter", "Modbus requests answered with an exception.");
    out.Sample(Number(uint64_t(modbus.exceptions)));
    out.Family("modbus_connections_closed_total", "counter",
               "Modbus connections closed for a malformed request or unread answers.");
    out.Sample(Number(uint64_t(modbus.closed)));
    out.Family("modbus_connections_refused_total", "counter",
               "Modbus connections from clients not allowed, closed at once.");
    out.Sample(Number(uint64_t(modbus.refused)));
    out.Family("modbus_connections_evicted_total", "counter",
               "Modbus connections idle longest, closed to take a new one when all were in use.");
    out.Sample(Number(uint64_t(modbus.evicted)));
    out.Family("modbus_connections_timed_out_total", "counter",
               "Modbus connections closed when idle, or with a request unfinished, for too long.");
    out.Sample(Number(uint64_t(modbus.timedOut)));
    out.Family("modbus_connections", "gauge", "Modbus connections open now.");
    out.Sample(Number(uint64_t(modbus.open)));
}

} // namespace

std::string RenderMetrics(const MetricsSnapshot &snapshot) {
    Exposition out;
    RenderSensors(out, snapshot.sensors);
    out.Family("poll_cycle_seconds", "gauge", "Duration of the latest polling cycle.");
    out.Sample(Number(snapshot.pollCycleSeconds));
    out.Family("broker_connected", "gauge", "1 while the MQTT broker is connected, 0 otherwise.");
    out.Sample(Number(uint64_t(snapshot.brokerConnected)));
    if (!snapshot.broker.empty()) {
        out.Family("broker_info", "gauge",
                   "The broker connected, or tried next with more than one (HOST:PORT).");
        out.Sample("1", snapshot.broker, "broker");
    }
    out.Family("samples_queued", "gauge", "Samples waiting for the broker.");
    out.Sample(Number(snapshot.samplesQueued));
    out.Family("samples_dropped_total", "counter", "Samples dropped because a sensor's queue was full.");
    out.Sample(Number(snapshot.samplesDropped));
    if (snapshot.journal) RenderJournal(out, *snapshot.journal);
    if (snapshot.modbus) RenderModbus(out, *snapshot.modbus);
    return std::move(out).Text();
}

HttpVerdict JudgeHttpRequest(std::string_view received) {
    const std::size_t headEnd = received.find("\r\n\r\n");
    if (headEnd == std::string_view::npos && received.find("\n\n") == std::string_view::npos)
        return HttpVerdict::Incomplete;
    const std::string_view line = received.substr(0, received.find_first_of("\r\n"));
    const std::size_t space1 = line.find(' ');
    const std::size_t space2 = line.find(' ', space1 == std::string_view::npos ? 0 : space1 + 1);
    if (space1 == std::string_view::npos || space2 == std::string_view::npos || space1 == 0 ||
        space2 == space1 + 1 || line.substr(space2 + 1, 7) != "HTTP/1." || line.size() != space2 + 9)
        return HttpVerdict::BadRequest;
    if (line.substr(0, space1) != "GET") return HttpVerdict::MethodNotAllowed;
    const std::string_view target = line.substr(space1 + 1, space2 - space1 - 1);
    return target.substr(0, target.find('?')) == "/metrics" ? HttpVerdict::Metrics : HttpVerdict::NotFound;
}

std::string HttpAnswer(HttpVerdict verdict, std::string_view metricsBody) {
    std::string status, extra, body;
    switch (verdict) {
    case HttpVerdict::Metrics:
        status = "200 OK", body = metricsBody;
        break;
    case HttpVerdict::NotFound:
        status = "404 Not Found", body = "Only /metrics is here.\n";
        break;
    case HttpVerdict::MethodNotAllowed:
        status = "405 Method Not Allowed", extra = "Allow: GET\r\n";
        break;
    default:
        status = "400 Bad Request";
        break;
    }
    const std::string type = verdict == HttpVerdict::Metrics ? "text/plain; version=0.0.4; charset=utf-8"
                                                             : "text/plain; charset=utf-8";
    return "HTTP/1.1 " + status + "\r\nContent-Type: " + type +
           "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" + extra +
           "Connection: close\r\n\r\n" + body;
}

} // namespace gateway
