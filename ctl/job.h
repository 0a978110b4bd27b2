// One command against one target, as an operation on the event loop: it
// starts, runs its exchanges without waiting and says when it has finished,
// so that one process runs the command for every target at once.
#pragma once

#include "ctl/output.h"
#include "ctl/request.h"
#include "ctl/target.h"
#include "sensor/trace.h"

#include <QJsonObject>

#include <functional>
#include <memory>
#include <string>

namespace ctl {

class Job {
  public:
    Job(const Target &target, const Request &request, const Output &output);
    virtual ~Job() = default;
    Job(const Job &) = delete;
    Job &operator=(const Job &) = delete;

    // Begins; the job finishes later, from the loop (never inside start()).
    void start();
    // Asks the job to end soon: a live-data command ends with what it has, a
    // write or read in progress fails as stopped.
    virtual void stop();

    bool finished() const { return m_finished; }
    int exitCode() const { return m_exitCode; }
    const QJsonObject &result() const { return m_result; }
    const Target &target() const { return m_target; }
    // Runs once when the job has finished.
    std::function<void(Job &)> onFinished;

  protected:
    virtual void run() = 0;
    void succeed(const QJsonObject &fields, int code = kExitOk);
    void fail(const std::string &cause, const QJsonObject &fields = {});
    // The per-target trace, when --trace asks for one (started by start()).
    sensor::Trace *trace() { return m_trace.on() ? &m_trace : nullptr; }

    const Target m_target;
    const Request &m_request;
    const Output &m_output;

  private:
    void finish(QJsonObject result, int code);

    sensor::Trace m_trace;
    QJsonObject m_result;
    int m_exitCode = kExitFailed;
    bool m_finished = false;
};

// The job that carries out request's command for target.
using JobMaker = std::unique_ptr<Job> (*)(const Target &, const Request &, const Output &);
std::unique_ptr<Job> MakeVersionJob(const Target &, const Request &, const Output &);
std::unique_ptr<Job> MakeGetJob(const Target &, const Request &, const Output &);
std::unique_ptr<Job> MakeSendJob(const Target &, const Request &, const Output &);
std::unique_ptr<Job> MakeDiffJob(const Target &, const Request &, const Output &);
std::unique_ptr<Job> MakeTransferJob(const Target &, const Request &, const Output &);
std::unique_ptr<Job> MakeWatchJob(const Target &, const Request &, const Output &);
std::unique_ptr<Job> MakeRecordJob(const Target &, const Request &, const Output &);
std::unique_ptr<Job> MakePublishJob(const Target &, const Request &, const Output &);

QString Q(const std::string &text);

} // namespace ctl
