// Runs the command-line tool as a user does, from a shell: its exit code and
// what it printed, split into lines.
#pragma once

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>
#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <vector>

struct ToolRun {
    int code = -1;
    QStringList out; // stdout lines
    QString err;     // stderr as a whole

    // The JSON objects of stdout (with --json), in order.
    std::vector<QJsonObject> Json() const {
        std::vector<QJsonObject> objects;
        for (const QString &line : out)
            objects.push_back(QJsonDocument::fromJson(line.toUtf8()).object());
        return objects;
    }
    // The result lines of --json output, in order.
    std::vector<QJsonObject> Results() const {
        std::vector<QJsonObject> results;
        for (const QJsonObject &o : Json())
            if (o.value("kind").toString() == "result") results.push_back(o);
        return results;
    }
};

// Runs sensorctl with arguments while the calling thread's events run; a
// tool that does not end within timeoutMs fails the test.
// inChild runs in the child before the tool starts (a lower limit, say).
inline ToolRun RunTool(const QStringList &arguments, int timeoutMs = 60000,
                       const std::function<void()> &inChild = {}) {
    QProcess process;
    if (inChild) process.setChildProcessModifier(inChild);
    process.start(SENSORCTL_PATH, arguments);
    ToolRun run;
    if (!process.waitForStarted() || !process.waitForFinished(timeoutMs)) {
        ADD_FAILURE() << "sensorctl " << arguments.join(' ').toStdString() << " did not end";
        process.kill();
        process.waitForFinished();
    }
    run.code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromUtf8(process.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

// sensorctl gateway --config FILE as a child process; killed when the test ends early.
class GatewayProcess {
  public:
    explicit GatewayProcess(const QString &config, const QProcessEnvironment &environment =
                                                       QProcessEnvironment::systemEnvironment()) {
        m_process.setProcessEnvironment(environment);
        m_process.start(SENSORCTL_PATH, {"gateway", "--config", config});
        EXPECT_TRUE(m_process.waitForStarted());
    }
    ~GatewayProcess() {
        m_process.kill();
        m_process.waitForFinished();
    }
    // Its log lines (stderr) so far.
    QString Log() {
        m_log += QString::fromUtf8(m_process.readAllStandardError());
        return m_log;
    }
    void Signal(int signal) { ::kill(static_cast<pid_t>(m_process.processId()), signal); }
    // Waits for an end of its own: the exit code, -1 when it did not end in 10 s.
    int Finished() {
        if (!m_process.waitForFinished(10000)) return -1;
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    }
    // Ends it as a crash does (SIGKILL) and waits for the end.
    void Kill() {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    // Sends SIGTERM and waits for the end: the exit code, -1 when it did not end in 5 s.
    int Stop() {
        Signal(SIGTERM);
        if (!m_process.waitForFinished(5000)) return -1;
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    }

  private:
    QProcess m_process;
    QString m_log;
};
