#include "ctl/fleet.h"

#include "ctl/signals.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <memory>

namespace ctl {
namespace {

constexpr int kStopGraceMs = 950; // the run ends this soon after a stop signal
// Jobs start in steps, so that a plant's servers and broker do not get every
// connection in the same instant.
constexpr int kStartsPerStep = 50;
constexpr int kStepMs = 50;

class Fleet {
  public:
    Fleet(const Command &command, const std::vector<Target> &targets, const Request &request,
          const Output &output, int writersAtOnce)
        : m_command(command), m_limit(command.writes ? writersAtOnce : static_cast<int>(targets.size())) {
        for (const Target &t : targets) {
            m_jobs.push_back(command.make(t, request, output));
            m_jobs.back()->onFinished = [this](Job &) { finished(); };
        }
    }

    int run() {
        m_pacing.setSingleShot(true);
        QObject::connect(&m_pacing, &QTimer::timeout, [this] { startMore(); });
        const SignalEvents stopSignals({SIGINT, SIGTERM}, [this](int) { stopAll(); });
        startMore();
        if (m_done < m_jobs.size()) m_loop.exec();
        int worst = kExitOk;
        for (const auto &job : m_jobs)
            worst = std::max(worst, job->finished() ? job->exitCode() : kExitFailed);
        return worst;
    }

    const std::vector<std::unique_ptr<Job>> &jobs() const { return m_jobs; }

  private:
    void startMore() {
        int started = 0;
        while (m_running < m_limit && m_next < m_jobs.size() && !m_stopping) {
            if (started == kStartsPerStep) {
                if (!m_pacing.isActive()) m_pacing.start(kStepMs);
                return;
            }
            ++m_running;
            ++started;
            m_jobs[m_next++]->start();
        }
    }

    void finished() {
        --m_running;
        ++m_done;
        startMore();
        if (m_done == m_next && (m_next == m_jobs.size() || m_stopping)) m_loop.quit();
    }

    void stopAll() {
        if (m_stopping) return;
        m_stopping = true;
        QTimer::singleShot(kStopGraceMs, &m_loop, [this] { m_loop.quit(); });
        for (std::size_t i = 0; i < m_next; ++i)
            if (!m_jobs[i]->finished()) m_jobs[i]->stop();
        if (m_done == m_next) m_loop.quit();
    }

    const Command &m_command;
    std::vector<std::unique_ptr<Job>> m_jobs;
    std::size_t m_next = 0;
    std::size_t m_done = 0;
    int m_running = 0;
    int m_limit;
    bool m_stopping = false;
    QTimer m_pacing;
    QEventLoop m_loop;
};

} // namespace

int RunFleet(const Command &command, const std::vector<Target> &targets, const Request &request,
             const Output &output, int writersAtOnce) {
    Fleet fleet(command, targets, request, output, writersAtOnce);
    const int code = fleet.run();
    for (const auto &job : fleet.jobs()) {
        if (job->finished()) {
            output.result(job->target(), job->result());
            continue;
        }
        const QJsonObject unfinished{{"kind", "result"},
                                     {"target", Q(job->target().text)},
                                     {"name", Q(job->target().name)},
                                     {"command", Q(request.command)},
                                     {"ok", false},
                                     {"error", "stopped before it was done"}};
        output.result(job->target(), unfinished);
    }
    return code;
}

} // namespace ctl
