#include "ctl/output.h"

#include "runtime/utility.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <cstdio>

using namespace runtime;

namespace ctl {
namespace {

constexpr const char *kValueNames[] = {"CH_L", "CH_C", "CH_R", "DENS", "SYM1", "SYM2", "VECTOR", "TEMP_raw"};

void PrintLine(std::FILE *to, const std::string &line) {
    std::fwrite(line.data(), 1, line.size(), to);
    std::fputc('\n', to);
    std::fflush(to);
}

std::string HumanSample(const Sample &s) {
    std::string line = IsoDateTimeStr(s.wallMs);
    for (int k = 0; k < 8; ++k)
        line += "  " + std::string(kValueNames[k]) + " " + std::to_string(s.values[k]);
    return line;
}

} // namespace

std::string JsonString(const std::string &text) {
    std::string out = "\"";
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", u);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string SampleJson(const Target &target, const Sample &s) {
    std::string line = "{\"kind\":\"sample\",\"target\":" + JsonString(target.text) +
                       ",\"name\":" + JsonString(target.name) + ",\"seq\":" + std::to_string(s.seq) +
                       ",\"time\":\"" + IsoDateTimeStr(s.wallMs) + "\"";
    for (int k = 0; k < 8; ++k)
        line += ",\"" + std::string(kValueNames[k]) + "\":" + std::to_string(s.values[k]);
    return line + (s.historical ? ",\"historical\":true}" : "}");
}

const char *StatusText(const LivePoller &poller) {
    return poller.state() == LivePoller::State::Online ? "online" : "offline";
}

std::string HealthJson(const LivePoller &p, const std::string &extra) {
    const LivePoller::Counts &c = p.counts();
    const char *state = p.state() == LivePoller::State::Connecting ? "connecting" : StatusText(p);
    return "{\"state\":\"" + std::string(state) + "\",\"since\":\"" + IsoDateTimeStr(p.sinceMs()) +
           "\",\"cause\":" + JsonString(p.cause()) + ",\"version\":" + JsonString(p.version()) +
           ",\"samples\":" + std::to_string(c.samples) + ",\"timeouts\":" + std::to_string(c.timeouts) +
           ",\"closed\":" + std::to_string(c.closed) + ",\"reconnects\":" + std::to_string(c.reconnects) +
           extra + "}";
}

void Output::sample(const Target &target, const Sample &s) const {
    if (m_json)
        PrintLine(stdout, SampleJson(target, s));
    else
        PrintLine(stdout, (m_many ? target.name + "  " : std::string()) + HumanSample(s));
}

void Output::note(const Target &target, const std::string &text) const {
    const std::string who = m_many ? target.name + " (" + target.text + ")" : target.text;
    PrintLine(stderr, "sensorctl: " + who + ": " + text);
}

void Output::result(const Target &target, const QJsonObject &o) const {
    if (m_json) {
        PrintLine(stdout, QJsonDocument(o).toJson(QJsonDocument::Compact).toStdString());
        return;
    }
    const bool ok = o.value("ok").toBool();
    std::string text = HumanLine(o);
    if (!m_many) {
        if (ok) PrintLine(stdout, text);
        return; // a failure has been told on stderr
    }
    if (!ok && text.rfind("FAILED: ", 0) == 0) text = text.substr(8);
    PrintLine(stdout, target.name + "  " + (ok ? "ok  " : "FAILED  ") + text);
}

std::string HumanLine(const QJsonObject &o) {
    auto s = [&](const char *key) { return o.value(key).toVariant().toString().toStdString(); };
    if (!o.value("ok").toBool()) return "FAILED: " + s("error");
    const std::string c = s("command");
    if (c == "version") return s("version");
    if (c == "get") return s("memory") + " set read into " + s("file");
    if (c == "send") return s("file") + " written into " + s("memory");
    if (c == "watch") return s("samples") + " samples";
    if (c == "record") return s("rows") + " rows recorded in " + s("file");
    if (c == "transfer")
        return "correction factors of " + s("file") + " for " + s("panel") + " at " + s("temp") +
               " degrees written (" + s("frames") + " frames)";
    if (c == "publish")
        return s("samples") + " samples to " + s("topic") + "/data: " + s("confirmed") +
               " confirmed by the broker, " + s("dropped") + " dropped, " + s("unconfirmed") +
               " not confirmed";
    if (c == "diff") {
        const QJsonArray items = o.value("differences").toArray();
        if (items.isEmpty()) return "same set as " + s("file");
        std::string line = std::to_string(items.size()) +
                           (items.size() == 1 ? " difference" : " differences") + " from " + s("file") + ":";
        for (const auto &v : items) {
            const QJsonObject d = v.toObject();
            line += "\n    " + d.value("item").toString().toStdString() + ": file " +
                    d.value("file").toString().toStdString() + ", sensor " +
                    d.value("sensor").toString().toStdString();
        }
        return line;
    }
    return "ok";
}

} // namespace ctl
