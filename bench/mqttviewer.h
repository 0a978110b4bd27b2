// A viewer of the broker for the gateway's benchmarks: mosquitto_sub writing
// "topic payload" lines into a file, read as the file grows (a pipe that nobody
// reads while the benchmark waits would stall it), counting samples and gaps.
#pragma once

#include "bench/sensorplant.h"
#include "tests/mosquitto_broker.h"

#include <QProcess>
#include <QString>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>

namespace bench {

class Viewer {
  public:
    Viewer(const testbroker::Broker &broker, const QString &topic, const QString &file) : m_file(file) {
        m_process.setStandardOutputFile(file);
        m_process.start(testbroker::Find("stdbuf"), QStringList{"-oL", testbroker::Find("mosquitto_sub")} +
                                                        broker.Address() +
                                                        QStringList{"-t", topic, "-q", "1", "-v"});
        m_process.waitForStarted();
    }
    ~Viewer() {
        m_process.terminate();
        m_process.waitForFinished();
    }
    // Reads the lines that came since the last call.
    void Update() {
        m_file.ReadLines([this](const std::string &line) { Take(line); });
    }
    int64_t samples() const { return m_samples; }
    // Sensors that delivered a sample.
    std::size_t sensorsHeard() const { return m_sensors.size(); }
    bool heard(const std::string &topic) const { return m_sensors.count(topic) > 0; }
    // The last message on a topic other than a data topic.
    std::string last(const std::string &topic) const {
        const auto found = m_last.find(topic);
        return found == m_last.end() ? std::string() : found->second;
    }
    // Sample numbers skipped on the data topics that start with prefix.
    int64_t lost(const std::string &prefix) const {
        int64_t lost = 0;
        for (const auto &[topic, sensor] : m_sensors)
            if (topic.rfind(prefix, 0) == 0) lost += sensor.skipped;
        return lost;
    }

  private:
    struct Sensor {
        long lastSeq = -1;
        int64_t skipped = 0;
    };
    void Take(const std::string &line) {
        const std::string topic = line.substr(0, line.find(' '));
        if (topic.size() < 5 || topic.compare(topic.size() - 5, 5, "/data") != 0) {
            m_last[topic] = line.substr(std::min(line.size(), topic.size() + 1));
            return;
        }
        ++m_samples;
        const auto at = line.find("\"seq\":");
        if (at == std::string::npos) return;
        const long seq = std::atol(line.c_str() + at + 6);
        Sensor &s = m_sensors[topic];
        // In order on a topic; a sample that comes again is no loss.
        if (seq > s.lastSeq) s.skipped += seq - s.lastSeq - 1, s.lastSeq = seq;
    }

    QProcess m_process;
    GrowingFile m_file;
    int64_t m_samples = 0;
    std::map<std::string, Sensor> m_sensors;
    std::map<std::string, std::string> m_last;
};

} // namespace bench
