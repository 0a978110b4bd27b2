// A real Mosquitto broker for a test or a benchmark, on a free loopback port.
#pragma once

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <memory>
#include <pwd.h>
#include <unistd.h>

namespace testbroker {

inline QString Find(const char *program) {
    return QStandardPaths::findExecutable(program,
                                          {"/usr/sbin", "/usr/bin", "/usr/local/sbin", "/usr/local/bin"});
}

inline int FreePort() {
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort();
}

// A broker of its own per test; with a persistent store, so that a restart keeps
// the sessions of the subscribers that asked for one. listenerSettings follow the
// listener line: who may connect, TLS files. It runs as the test's user (started by
// root, it would otherwise become the user mosquitto, who cannot read the test's files).
class Broker {
  public:
    explicit Broker(const QString &dir, const std::string &listenerSettings = "allow_anonymous true\n")
        : m_dir(dir), m_port(FreePort()) {
        const passwd *user = getpwuid(getuid());
        QFile config(dir + "/mosquitto.conf");
        if (config.open(QIODevice::WriteOnly))
            config.write(QByteArray::fromStdString(
                "user " + std::string(user ? user->pw_name : "mosquitto") + "\nlistener " +
                std::to_string(m_port) + " 127.0.0.1\n" + listenerSettings +
                "persistence true\npersistence_location " + dir.toStdString() + "/\n"));
    }
    ~Broker() { Stop(); }

    bool Start() {
        m_process = std::make_unique<QProcess>();
        // Its log into a file: a pipe that nobody reads fills up and stops the broker
        // in the middle of a thousand connections.
        m_process->setProcessChannelMode(QProcess::MergedChannels);
        m_process->setStandardOutputFile(m_dir + "/mosquitto.log", QIODevice::Append);
        m_process->start(Find("mosquitto"), {"-c", m_dir + "/mosquitto.conf"});
        if (!m_process->waitForStarted()) return false;
        for (QDeadlineTimer deadline(5000); !deadline.hasExpired(); QThread::msleep(5)) {
            QTcpSocket probe;
            probe.connectToHost(QHostAddress::LocalHost, m_port);
            if (probe.waitForConnected(200)) return true;
        }
        return false;
    }
    // As a service stop does: the broker saves its sessions and ends.
    void Stop() {
        if (!m_process) return;
        m_process->terminate();
        m_process->waitForFinished(5000);
        m_process.reset();
    }
    int Port() const { return m_port; }
    // The CPU time the broker has taken so far, in seconds.
    double CpuSeconds() const {
        QFile stat(QString("/proc/%1/stat").arg(m_process ? m_process->processId() : 0));
        if (!stat.open(QIODevice::ReadOnly)) return 0;
        // After the command in parentheses: state and 10 more fields, then utime and stime in ticks.
        const QList<QByteArray> fields = stat.readAll().split(')').last().trimmed().split(' ');
        return fields.size() > 12 ? (fields[11].toDouble() + fields[12].toDouble()) / sysconf(_SC_CLK_TCK)
                                  : 0;
    }
    QString Url() const { return QString("mqtt://127.0.0.1:%1").arg(m_port); }
    QStringList Address() const { return {"-h", "127.0.0.1", "-p", QString::number(m_port)}; }

  private:
    QString m_dir;
    int m_port;
    std::unique_ptr<QProcess> m_process;
};

} // namespace testbroker
