#include "ctl/job.h"

#include <QTimer>

namespace ctl {

QString Q(const std::string &text) {
    return QString::fromStdString(text);
}

Job::Job(const Target &target, const Request &request, const Output &output)
    : m_target(target), m_request(request), m_output(output) {}

void Job::start() {
    if (!m_request.trace.empty()) {
        const std::string problem = m_trace.start(WithName(m_request.trace, m_target.name));
        if (!problem.empty()) {
            QTimer::singleShot(0, [this, problem] { fail(problem); });
            return;
        }
    }
    run();
}

void Job::stop() {
    fail("stopped before the command was done");
}

void Job::succeed(const QJsonObject &fields, int code) {
    QJsonObject o = fields;
    o["ok"] = true;
    finish(o, code);
}

void Job::fail(const std::string &cause, const QJsonObject &fields) {
    if (m_finished) return;
    m_output.note(m_target, cause);
    QJsonObject o = fields;
    o["ok"] = false;
    o["error"] = Q(cause);
    finish(o, kExitFailed);
}

void Job::finish(QJsonObject result, int code) {
    if (m_finished) return;
    result["kind"] = "result";
    result["target"] = Q(m_target.text);
    result["name"] = Q(m_target.name);
    result["command"] = Q(m_request.command);
    m_result = result;
    m_exitCode = code;
    m_finished = true;
    m_trace.stop();
    if (onFinished) onFinished(*this);
}

} // namespace ctl
