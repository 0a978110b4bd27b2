#include "ctl/runner.h"

#include "ctl/commands.h"

#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <sys/types.h>

namespace {

constexpr int kMaxChildren = 4096;
std::atomic<pid_t> childPids[kMaxChildren];
std::atomic<int> childCount{0};

struct Child {
    const Target *target = nullptr;
    std::unique_ptr<QProcess> process;
    QByteArray outBuffer, errBuffer;
    QJsonObject result;
    bool started = false, finished = false;
    int exitCode = kExitFailed;
};

void PrintOut(const std::string &line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void PrintErr(const std::string &line) {
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fputc('\n', stderr);
}

// Complete lines out of a buffer, the rest kept for later.
QList<QByteArray> TakeLines(QByteArray &buffer, bool all) {
    QList<QByteArray> lines;
    qsizetype end;
    while ((end = buffer.indexOf('\n')) >= 0) {
        lines.append(buffer.left(end));
        buffer.remove(0, end + 1);
    }
    if (all && !buffer.isEmpty()) {
        lines.append(buffer);
        buffer.clear();
    }
    return lines;
}

void TakeOutput(Child &c, bool json, bool all) {
    c.outBuffer += c.process->readAllStandardOutput();
    for (const QByteArray &line : TakeLines(c.outBuffer, all)) {
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        if (o.value("kind").toString() == "result")
            c.result = o;
        else if (o.isEmpty())
            PrintErr(c.target->name + ": " + line.toStdString());
        else
            PrintOut(json ? line.toStdString() : c.target->name + "  " + HumanLine(o));
    }
    c.errBuffer += c.process->readAllStandardError();
    // The child's messages name their target already.
    for (const QByteArray &line : TakeLines(c.errBuffer, all))
        PrintErr(line.toStdString());
}

std::string ResultLine(const Child &c, bool json) {
    QJsonObject o = c.result;
    if (o.isEmpty()) {
        o["kind"] = "result";
        o["target"] = QString::fromStdString(c.target->address);
        o["name"] = QString::fromStdString(c.target->name);
        o["ok"] = false;
        o["error"] = QString("sensorctl ended without a result (exit code %1)").arg(c.exitCode);
    }
    if (json) return QJsonDocument(o).toJson(QJsonDocument::Compact).toStdString();
    const bool ok = o.value("ok").toBool();
    std::string text = HumanLine(o);
    if (!ok && text.rfind("FAILED: ", 0) == 0) text = text.substr(8);
    return c.target->name + "  " + (ok ? "ok  " : "FAILED  ") + text;
}

} // namespace

int RunTargets(const QString &program, const std::vector<Target> &targets, const QStringList &arguments,
               bool json, int jobs) {
    std::vector<Child> children(targets.size());
    std::size_t next = 0;
    int running = 0;
    QEventLoop loop;

    std::function<void()> startMore = [&] {
        while (running < jobs && next < children.size()) {
            Child &c = children[next++];
            c.target = &targets[next - 1];
            c.process = std::make_unique<QProcess>();
            QStringList args{"--json", "--name", QString::fromStdString(c.target->name),
                             QString::fromStdString(c.target->address)};
            args += arguments;
            QObject::connect(c.process.get(), &QProcess::readyReadStandardOutput,
                             [&c, json] { TakeOutput(c, json, false); });
            QObject::connect(c.process.get(), &QProcess::readyReadStandardError,
                             [&c, json] { TakeOutput(c, json, false); });
            QObject::connect(c.process.get(), &QProcess::finished,
                             [&, pc = &c](int code, QProcess::ExitStatus status) {
                                 TakeOutput(*pc, json, true);
                                 pc->exitCode = status == QProcess::NormalExit ? code : kExitFailed;
                                 pc->finished = true;
                                 --running;
                                 startMore();
                                 if (running == 0 && next == children.size()) loop.quit();
                             });
            c.process->start(program, args);
            if (!c.process->waitForStarted(-1)) {
                c.finished = true;
                c.result =
                    QJsonObject{{"kind", "result"},
                                {"ok", false},
                                {"target", QString::fromStdString(c.target->address)},
                                {"name", QString::fromStdString(c.target->name)},
                                {"error", "sensorctl could not be started: " + c.process->errorString()}};
                continue;
            }
            ++running;
            const int slot = childCount.fetch_add(1);
            if (slot < kMaxChildren) childPids[slot] = static_cast<pid_t>(c.process->processId());
        }
    };
    startMore();
    if (running > 0) loop.exec();

    int worst = kExitOk;
    for (const Child &c : children) {
        PrintOut(ResultLine(c, json));
        const bool ok = c.result.value("ok").toBool();
        worst = std::max(worst, ok ? c.exitCode : std::max(c.exitCode, kExitFailed));
    }
    return worst;
}

void StopTargets() {
    const int count = std::min(childCount.load(), kMaxChildren);
    for (int i = 0; i < count; ++i)
        if (const pid_t pid = childPids[i]; pid > 0) kill(pid, SIGTERM);
}
