// The Mosquitto command-line clients as independent viewers of what reaches a
// test's broker.
#pragma once

#include "tests/mosquitto_broker.h"
#include "tests/test_support.h"

#include <gtest/gtest.h>

namespace testbroker {

// mosquitto_sub with a session the broker keeps, collecting "topic payload" lines
// (or lines in mosquitto_sub's -F format, when given). A message the broker sends
// the viewer again (its acknowledgement had not reached a broker that stopped) is
// collected once: QoS 1 allows the copy, and it says nothing of the publisher.
class Subscriber {
  public:
    Subscriber(const Broker &broker, const QString &topic, const QString &id = "test-viewer",
               const QString &format = "") {
        // Two viewers at once need ids of their own: the broker lets one id in once.
        const QStringList output = format.isEmpty() ? QStringList{"-v"} : QStringList{"-F", format};
        // Line-buffered, so that each message and the subscription's acknowledgement come at once.
        m_process.start(Find("stdbuf"), QStringList{"-oL", Find("mosquitto_sub")} + broker.Address() +
                                            QStringList{"-t", topic, "-q", "1", "-c", "-i", id, "-d"} +
                                            output);
        m_process.waitForStarted();
        EXPECT_TRUE(WaitFor([this] { return Read(), m_debug.contains("SUBACK"); })) << "the subscription";
    }
    ~Subscriber() {
        m_process.kill();
        m_process.waitForFinished();
    }
    // The messages received so far, as "topic payload".
    QStringList Lines() {
        Read();
        return m_lines;
    }

  private:
    void Read() {
        m_buffer += QString::fromUtf8(m_process.readAllStandardOutput());
        qsizetype end;
        while ((end = m_buffer.indexOf('\n')) >= 0) {
            const QString line = m_buffer.left(end);
            m_buffer.remove(0, end + 1);
            if (line.startsWith("Client ") || line.startsWith("Subscribed (mid: ")) {
                m_debug += line + "\n";
                if (line.contains(" received PUBLISH (")) m_again = line.contains("(d1,");
            } else {
                if (!m_again || !m_lines.contains(line)) m_lines << line;
                m_again = false;
            }
        }
    }
    QProcess m_process;
    QString m_buffer, m_debug;
    QStringList m_lines;
    bool m_again = false; // the next message is flagged as sent before
};

// The retained message of a topic, as a newcomer to the broker sees it ("" when none).
inline QString Retained(const Broker &broker, const QString &topic) {
    QProcess sub;
    sub.start(Find("mosquitto_sub"), broker.Address() + QStringList{"-t", topic, "-C", "1", "-W", "3"});
    sub.waitForFinished(5000);
    return QString::fromUtf8(sub.readAllStandardOutput()).trimmed();
}

} // namespace testbroker
