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

// A family of one process-wide value.
void Single(Exposition &out, std::string_view name, std::string_view type, std::string_view help,
            const std::string &value) {
    out.Family(name, type, help);
    out.Sample(value);
}

void RenderJournal(Exposition &out, const MetricsSnapshot::Journal &journal) {
    Single(out, "journal_bytes", "gauge", "Bytes of the journal on disk.", Number(journal.bytes));
    Single(out, "journal_replayed_total", "counter", "Samples sent from the journal after they waited.",
           Number(journal.replayed));
    Single(out, "journal_dropped_total", "counter",
           "Samples dropped with the journal's oldest segment because it was full.", Number(journal.dropped));
    Single(out, "journal_corrupt_total", "counter", "Damaged stretches of the journal skipped.",
           Number(journal.corrupt));
    if (journal.oldestSeconds >= 0)
        Single(out, "oldest_waiting_sample_seconds", "gauge",
               "Age of the oldest sample waiting for the broker.", Number(journal.oldestSeconds));
}

void RenderModbus(Exposition &out, const ModbusCounters &modbus) {
    const struct {
        const char *name, *type, *help;
        uint64_t value;
    } families[] = {
        {"modbus_requests_total", "counter", "Modbus requests answered, exceptions included.",
         uint64_t(modbus.requests)},
        {"modbus_exceptions_total", "counter", "Modbus requests answered with an exception.",
         uint64_t(modbus.exceptions)},
        {"modbus_connections_closed_total", "counter",
         "Modbus connections closed for a malformed request or unread answers.", uint64_t(modbus.closed)},
        {"modbus_connections_refused_total", "counter",
         "Modbus connections from clients not allowed, closed at once.", uint64_t(modbus.refused)},
        {"modbus_connections_evicted_total", "counter",
         "Modbus connections idle longest, closed to take a new one when all were in use.",
         uint64_t(modbus.evicted)},
        {"modbus_connections_timed_out_total", "counter",
         "Modbus connections closed when idle, or with a request unfinished, for too long.",
         uint64_t(modbus.timedOut)},
        {"modbus_connections", "gauge", "Modbus connections open now.", uint64_t(modbus.open)},
    };
    for (const auto &family : families)
        Single(out, family.name, family.type, family.help, Number(family.value));
}

} // namespace

std::string RenderMetrics(const MetricsSnapshot &snapshot) {
    Exposition out;
    RenderSensors(out, snapshot.sensors);
    Single(out, "poll_cycle_seconds", "gauge", "Duration of the latest polling cycle.",
           Number(snapshot.pollCycleSeconds));
    Single(out, "broker_connected", "gauge", "1 while the MQTT broker is connected, 0 otherwise.",
           Number(uint64_t(snapshot.brokerConnected)));
    if (!snapshot.broker.empty()) {
        out.Family("broker_info", "gauge",
                   "The broker connected, or tried next with more than one (HOST:PORT).");
        out.Sample("1", snapshot.broker, "broker");
    }
    Single(out, "samples_queued", "gauge", "Samples waiting for the broker.", Number(snapshot.samplesQueued));
    Single(out, "samples_dropped_total", "counter", "Samples dropped because a sensor's queue was full.",
           Number(snapshot.samplesDropped));
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
