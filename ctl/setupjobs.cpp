// The commands that set a sensor up: version, get, send, diff and transfer.
// Each connects, runs its exchanges and finishes; none retries.
#include "ctl/job.h"

#include "ctl/livepoller.h"
#include "kelvralink/calc.h"
#include "kelvralink/equationfile.h"
#include "kelvralink/kelvradata.h"
#include "kelvralink/plausibility.h"
#include "kelvralink/sensorkinds.h"
#include "kelvralink/transfer.h"
#include "vexalink/parafileio.h"
#include "vexalink/paralink.h"
#include "vexalink/paraset.h"
#include "vexalink/setdiff.h"

#include <QJsonArray>
#include <QTimer>

using kelvralink::CalibrationCheck;
using kelvralink::CheckCalibration;
using kelvralink::CheckSetPoints;
using kelvralink::ClampTemperature;
using kelvralink::Coefficient;
using kelvralink::ComputeCurves;
using kelvralink::ComputeFactors;
using kelvralink::ComputeSetPoints;
using kelvralink::DataPanelDesc;
using kelvralink::DataPanelOfFamily;
using kelvralink::DataPanelOfSensor;
using kelvralink::DescribeCheck;
using kelvralink::FamilyList;
using kelvralink::kCfSendWords;
using kelvralink::kCoefs;
using kelvralink::kMaxChannels;
using kelvralink::kMaxEquation;
using kelvralink::PanelDesc;
using kelvralink::ReadEquationFile;
using kelvralink::SensorCodeFromVersion;
using kelvralink::TransferFrames;
using vexalink::DifferingItems;
using vexalink::kAnzPara;
using vexalink::ParaState;
using vexalink::ReadParaFile;
using vexalink::SetDifference;
using vexalink::WriteParaFile;

namespace ctl {
namespace {

using sensor::Sensor;

// A job that talks to its sensor once and fails with the link's cause.
class SensorJob : public Job {
  public:
    using Job::Job;

  protected:
    void linkFailed() {
        m_sensor.close();
        fail(m_sensor.cause());
    }
    // The job ends as stopped; the operation that close() then ends fails into a finished job.
    void stop() override {
        Job::stop();
        m_sensor.close();
    }
    void connectedAs(std::function<void(Sensor &, Sensor::Done)> connect, std::function<void()> then) {
        m_sensor.setAddress(m_target.address);
        m_sensor.setTrace(trace());
        connect(m_sensor, [this, then = std::move(then)](bool ok) {
            if (!ok) return linkFailed();
            if (!IsVersionText(m_sensor.version())) return fail(VersionCause(m_sensor));
            then();
        });
    }

    Sensor m_sensor;
};

// A job on a three-channel sensor: its frames come from its parameter record.
class ParameterJob : public SensorJob {
  public:
    using SensorJob::SensorJob;

  protected:
    // Connects as the program does, the RAM set read (its frames carry those
    // words), then runs then(); a failure finishes the job with its cause.
    void connect(std::function<void()> then, bool readSet = true) {
        vexalink::SetUp(m_sensor, m_frames);
        connectedAs(vexalink::Connect, [this, then = std::move(then), readSet] {
            if (!readSet) return then();
            vexalink::ReadSet(m_sensor, m_set, vexalink::RAM, nullptr, [this, then](bool read) {
                if (!read) return linkFailed();
                then();
            });
        });
    }
    uint16_t memory() const { return m_request.eeprom ? vexalink::EEPROM : vexalink::RAM; }
    const char *memoryName() const { return m_request.eeprom ? "EEPROM" : "RAM"; }

    ParaState m_set;
    vexalink::ParameterFrames m_frames{m_set};
};

class VersionJob final : public ParameterJob {
    using ParameterJob::ParameterJob;
    void run() override {
        connect([this] { succeed({{"version", Q(m_sensor.version())}}); }, false);
    }
};

class GetJob final : public ParameterJob {
    using ParameterJob::ParameterJob;
    void run() override {
        connect([this] {
            if (!m_request.eeprom) return written();
            vexalink::ReadSet(m_sensor, m_set, vexalink::EEPROM, nullptr, [this](bool ok) {
                if (!ok) return linkFailed();
                written();
            });
        });
    }
    void written() {
        const std::string path = WithName(m_request.file, m_target.name);
        uint16_t record[kAnzPara];
        m_set.recordFromVars(record);
        if (!WriteParaFile(path, record)) return fail("the set read could not be written to " + path);
        succeed({{"version", Q(m_sensor.version())}, {"memory", memoryName()}, {"file", Q(path)}});
    }
};

class SendJob final : public ParameterJob {
    using ParameterJob::ParameterJob;
    void run() override {
        std::string problem;
        if (!ReadParaFile(m_request.file, m_record, problem)) {
            const std::string cause =
                "parameter file " + m_request.file + " " + problem + "; nothing was sent";
            QTimer::singleShot(0, [this, cause] { fail(cause); });
            return;
        }
        connect([this] {
            // As the program sends a loaded file: through the variables into the frame image.
            m_set.varsFromRecord(m_record);
            m_set.copyVarsToPP();
            vexalink::WriteSet(m_sensor, memory(), nullptr, [this](bool ok) {
                if (!ok) return linkFailed();
                succeed({{"version", Q(m_sensor.version())},
                         {"memory", memoryName()},
                         {"file", Q(m_request.file)}});
            });
        });
    }
    uint16_t m_record[kAnzPara] = {};
};

class DiffJob final : public ParameterJob {
    using ParameterJob::ParameterJob;
    void run() override {
        std::string problem;
        if (!ReadParaFile(m_request.file, m_fileSet, problem)) {
            const std::string cause = "parameter file " + m_request.file + " " + problem;
            QTimer::singleShot(0, [this, cause] { fail(cause); });
            return;
        }
        connect([this] {
            uint16_t sensorSet[kAnzPara];
            m_set.recordFromVars(sensorSet);
            QJsonArray items;
            for (const SetDifference &d : DifferingItems(m_fileSet, sensorSet))
                items.append(QJsonObject{{"item", Q(d.item)}, {"file", Q(d.first)}, {"sensor", Q(d.second)}});
            succeed({{"file", Q(m_request.file)}, {"equal", items.isEmpty()}, {"differences", items}},
                    items.isEmpty() ? kExitOk : kExitDiffers);
        });
    }
    uint16_t m_fileSet[kAnzPara] = {};
};

// The four steps of the data panel's transfer button, from an equation file
// instead of the fields: curves, set points, factors, transfer.
class TransferJob final : public SensorJob {
  public:
    using SensorJob::SensorJob;

  private:
    void run() override {
        kelvralink::SetUp(m_sensor, m_frames);
        connectedAs(kelvralink::Connect, [this] { transfer(); });
    }
    void transfer() {
        const std::string &version = m_sensor.version();
        const int versionPanel = DataPanelOfSensor(SensorCodeFromVersion(version.c_str(), 0));
        const int panel = m_request.family.empty() ? versionPanel : DataPanelOfFamily(m_request.family);
        if (panel == 0)
            return fail("the sensor's version \"" + version +
                        "\" names no known family; give --family (one of " + FamilyList() + ")");
        const PanelDesc &p = DataPanelDesc(panel);
        double coefficients[kMaxEquation] = {};
        std::string problem;
        if (!ReadEquationFile(m_request.file, p, coefficients, problem))
            return fail("equation file " + m_request.file + " " + problem + "; nothing was sent");
        // The program's arithmetic works on its one data set: used here at once,
        // and its result staged into this job's own words before anything is sent.
        for (int k = 0; k < p.channelCount; ++k)
            for (int j = 0; j < kCoefs; ++j)
                Coefficient(p.channels[k], j) = coefficients[k * kCoefs + j];
        ComputeCurves(p);
        double setPoints[kMaxChannels];
        uint16_t words[kMaxChannels];
        ComputeSetPoints(p, ClampTemperature(static_cast<uint16_t>(m_request.temp)), setPoints, words);
        ComputeFactors(p, words);
        CalibrationCheck check = CheckCalibration(p, words);
        CheckSetPoints(p, setPoints, words, check);
        if (!check.ok() && !m_request.allowWrapped)
            return fail(DescribeCheck(check) +
                        " Nothing was sent; give --allow-wrapped to write these factors all the same.");
        kelvralink::StageFactors(p, m_words);
        for (int k = 0; k < p.channelCount; ++k)
            m_setPointWords.append(words[k]);
        m_panel = &p;
        kelvralink::WriteFactors(
            m_sensor, p, [](double) {}, nullptr,
            [this](bool ok) {
                if (!ok) return linkFailed();
                succeed({{"version", Q(m_sensor.version())},
                         {"panel", QString("P%1").arg(m_panel->number)},
                         {"file", Q(m_request.file)},
                         {"temp", m_request.temp},
                         {"setPointWords", m_setPointWords},
                         {"frames", TransferFrames(*m_panel)}});
            });
    }
    uint16_t m_words[kCfSendWords] = {};
    kelvralink::CompensationFrames m_frames{m_words};
    const PanelDesc *m_panel = nullptr;
    QJsonArray m_setPointWords;
};

} // namespace

std::unique_ptr<Job> MakeVersionJob(const Target &t, const Request &r, const Output &o) {
    return std::make_unique<VersionJob>(t, r, o);
}
std::unique_ptr<Job> MakeGetJob(const Target &t, const Request &r, const Output &o) {
    return std::make_unique<GetJob>(t, r, o);
}
std::unique_ptr<Job> MakeSendJob(const Target &t, const Request &r, const Output &o) {
    return std::make_unique<SendJob>(t, r, o);
}
std::unique_ptr<Job> MakeDiffJob(const Target &t, const Request &r, const Output &o) {
    return std::make_unique<DiffJob>(t, r, o);
}
std::unique_ptr<Job> MakeTransferJob(const Target &t, const Request &r, const Output &o) {
    return std::make_unique<TransferJob>(t, r, o);
}

} // namespace ctl
