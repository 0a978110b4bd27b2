// What the tool prints: a line per live sample as it comes, messages on stderr
// naming their target, and one result line per target at the end; text for
// people, or one JSON object per line (--json).
#pragma once

#include "ctl/livepoller.h"
#include "ctl/target.h"

#include <QJsonObject>

#include <string>

namespace ctl {

class Output {
  public:
    // many: lines for people begin with the target's name.
    Output(bool json, bool many) : m_json(json), m_many(many) {}

    void sample(const Target &target, const Sample &s) const;
    // A message about one target on stderr: "sensorctl: NAME: text".
    void note(const Target &target, const std::string &text) const;
    // The result of one target.
    void result(const Target &target, const QJsonObject &result) const;

  private:
    bool m_json;
    bool m_many;
};

// A sample as one JSON object: kind, target, name, seq, time (ISO 8601 with
// milliseconds) and the eight values. Written by hand: it is made for every sample.
std::string SampleJson(const Target &target, const Sample &s);
// A polled sensor's health as a JSON object: state (online, offline or
// connecting), since (ISO 8601), the cause in words of its last failure, its
// version and the counts of samples, time-outs and reconnections; extra holds
// further members as they are written (",\"dropped\":3").
std::string HealthJson(const LivePoller &poller, const std::string &extra = {});
// "online" while the sensor answers, else "offline": its status topic.
const char *StatusText(const LivePoller &poller);
// A line for people: a sample's values, or a result's summary (a diff's
// differences on further lines, indented).
std::string HumanLine(const QJsonObject &line);
// A string as a JSON string literal, quotes included.
std::string JsonString(const std::string &text);

} // namespace ctl
