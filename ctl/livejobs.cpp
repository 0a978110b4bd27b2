// The commands that follow live data: watch and record. Each keeps its sensor
// polled for as long as it runs, reconnecting a sensor that went away.
#include "ctl/job.h"

#include "ctl/livepoller.h"
#include "runtime/formatio.h"
#include "runtime/utility.h"
#include "vexalink/recordfile.h"

#include <QTimer>
#include <filesystem>

using vexalink::AppendToFile;
using vexalink::CsvRecordHeader;
using vexalink::CsvRecordRow;

using namespace runtime;

namespace ctl {
namespace {

// Polls one sensor until count samples came or the run is stopped; tells on
// stderr when the sensor stops answering and when it answers again.
class LiveJob : public Job {
  public:
    LiveJob(const Target &t, const Request &r, const Output &o, double pause)
        : Job(t, r, o), m_poller(t, r.interval, pause) {
        m_poller.onState = [this](LivePoller::State state, const std::string &cause) {
            changed(state, cause);
        };
        m_poller.onSample = [this](const Sample &s) {
            if (m_request.count > 0) m_giveUp.startSeconds(giveUpSeconds());
            taken(s);
            if (!finished() && m_request.count > 0 && s.seq + 1 >= m_request.count) end();
        };
        m_giveUp.setHandler([this] {
            m_poller.stop();
            fail("given up: no sample for more than " + std::to_string(int(giveUpSeconds())) + " s; " +
                     (m_offlineCause.empty() ? "no answer" : m_offlineCause),
                 counts());
        });
    }
    void stop() override { end(); }

  protected:
    void run() override {
        m_poller.setTrace(trace());
        m_poller.setReconnectMax(m_request.reconnectMax);
        // A run for a count ends also when a sensor does not come back.
        if (m_request.count > 0) m_giveUp.startSeconds(giveUpSeconds());
        m_poller.start();
    }
    virtual void taken(const Sample &s) = 0;
    virtual void changed(LivePoller::State state, const std::string &cause) {
        if (state == LivePoller::State::Offline) {
            m_output.note(m_target, cause + "; polling goes on");
            m_wasOffline = true;
            m_offlineCause = cause;
        } else if (state == LivePoller::State::Online && m_wasOffline) {
            m_output.note(m_target, "the sensor answers again");
        }
    }
    virtual QJsonObject counts() const { return {{"samples", qint64(m_poller.counts().samples)}}; }
    // Ends with what was taken; a run without a single sample failed.
    void end() {
        m_giveUp.stop();
        m_poller.stop();
        if (m_poller.counts().samples == 0 && m_request.count != 0) {
            const std::string cause = m_poller.cause().empty() ? "no sample came" : m_poller.cause();
            return fail(cause, counts());
        }
        succeed(counts());
    }

    // No sample for an interval and its answer time three times over: the sensor is
    // given up (also one that answers its version and never a data request).
    double giveUpSeconds() const { return m_request.interval + 3 * sensor::kAnswerTimeout; }

    LivePoller m_poller;
    bool m_wasOffline = false;
    std::string m_offlineCause;
    runtime::LoopTimer m_giveUp;
};

class WatchJob final : public LiveJob {
  public:
    WatchJob(const Target &t, const Request &r, const Output &o) : LiveJob(t, r, o, kCyclePause) {}

  private:
    void taken(const Sample &s) override { m_output.sample(m_target, s); }
};

// Rows of the CSV record format, a row appended (and the file closed) per
// sample, so that nothing recorded is lost to a crash.
class RecordJob final : public LiveJob {
  public:
    // As the recorder: the next request as soon as the interval allows.
    RecordJob(const Target &t, const Request &r, const Output &o)
        : LiveJob(t, r, o, 0.0), m_path(WithName(r.file, t.name)) {}

  private:
    void run() override {
        std::error_code ec;
        if (std::filesystem::exists(m_path, ec) && !m_request.force) {
            const std::string cause =
                m_path + " exists already; choose another name, or give --force to replace it";
            QTimer::singleShot(0, [this, cause] { fail(cause); });
            return;
        }
        LiveJob::run();
    }
    void changed(LivePoller::State state, const std::string &cause) override {
        // The file is made once the sensor has answered, so a sensor never reached leaves none.
        if (state == LivePoller::State::Online && !m_started) {
            std::error_code ec;
            std::filesystem::remove(m_path, ec);
            if (!AppendToFile(m_path, CsvRecordHeader())) return stopWith(m_path + " cannot be written");
            m_started = true;
            m_start = Timer();
        }
        LiveJob::changed(state, cause);
    }
    void taken(const Sample &s) override {
        if (!AppendToFile(m_path, CsvRecordRow(IsoDateTimeStr(s.wallMs), s.monotonic - m_start, s.values)))
            return stopWith("a row could not be written to " + m_path);
        ++m_rows;
    }
    void stopWith(const std::string &cause) {
        m_giveUp.stop();
        m_poller.stop();
        fail(cause, counts());
    }
    QJsonObject counts() const override { return {{"rows", qint64(m_rows)}, {"file", Q(m_path)}}; }

    std::string m_path;
    bool m_started = false;
    double m_start = 0.0;
    int64_t m_rows = 0;
};

} // namespace

std::unique_ptr<Job> MakeWatchJob(const Target &t, const Request &r, const Output &o) {
    return std::make_unique<WatchJob>(t, r, o);
}
std::unique_ptr<Job> MakeRecordJob(const Target &t, const Request &r, const Output &o) {
    return std::make_unique<RecordJob>(t, r, o);
}

} // namespace ctl
