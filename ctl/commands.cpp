#include "ctl/commands.h"

#include "ctl/mqtt.h"
#include "kelvra/calc.h"
#include "kelvra/equationfile.h"
#include "kelvra/kelvradata.h"
#include "kelvra/sensorkinds.h"
#include "kelvra/transfer.h"
#include "link/com232.h"
#include "link/linkstate.h"
#include "link/linktrace.h"
#include "platform/events.h"
#include "platform/rs232.h"
#include "platform/tcpsupp.h"
#include "platform/utility.h"
#include "vexa/livedata.h"
#include "vexa/parafileio.h"
#include "vexa/paralink.h"
#include "vexa/paraset.h"
#include "vexa/program.h"
#include "vexa/recordfile.h"
#include "vexa/setdiff.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <iterator>
#include <utility>

namespace {

constexpr double kCyclePause = 0.050;         // between two live-data cycles, as Go
constexpr int kFailuresBeforeGivingUp = 3;    // watch and record: cycles in a row without an answer
constexpr double kBrokerGoodbyeSeconds = 3.0; // for the first connection, and for the last confirmations

volatile std::sig_atomic_t stopRequested = 0;

bool Stopping() {
    return stopRequested != 0;
}

QString Q(const std::string &text) {
    return QString::fromStdString(text);
}

// Lets events run for the given seconds, or less when a stop is asked for.
void Pause(double seconds) {
    const double end = Timer() + seconds;
    for (double left = seconds; left > 0.0 && !Stopping(); left = end - Timer())
        WaitForSystemEvents(left);
}

class Command {
  public:
    Command(const Target &t, const Request &r, const Sink &sink) : m_target(t), m_request(r), m_sink(sink) {}

    int Run();

    int Version();
    int Get();
    int Send();
    int Diff();
    int Watch();
    int Record();
    int Transfer();
    int Publish();

  private:
    QJsonObject Line(const char *kind) const {
        QJsonObject o;
        o["kind"] = kind;
        o["target"] = Q(m_target.address);
        o["name"] = Q(m_target.name);
        return o;
    }
    int Fail(const std::string &cause, QJsonObject fields = {}) {
        QJsonObject o = Line("result");
        for (auto it = fields.begin(); it != fields.end(); ++it)
            o[it.key()] = it.value();
        o["command"] = Q(m_request.command);
        o["ok"] = false;
        o["error"] = Q(cause);
        m_sink(o);
        return kExitFailed;
    }
    int Succeed(QJsonObject fields, int code = kExitOk) {
        QJsonObject o = Line("result");
        for (auto it = fields.begin(); it != fields.end(); ++it)
            o[it.key()] = it.value();
        o["command"] = Q(m_request.command);
        o["ok"] = true;
        m_sink(o);
        return code;
    }
    std::string LinkCause() const {
        return com.szCause[0] ? std::string(com.szCause) : "no answer from " + LinkPlace();
    }
    uint16_t Memory() const { return m_request.eeprom ? EEPROM : RAM; }
    const char *MemoryName() const { return m_request.eeprom ? "EEPROM" : "RAM"; }

    bool Connect(std::string &cause);
    bool ConnectAsVexa(std::string &cause);
    void Disconnect();
    QJsonObject Sample(long seq, int64_t wallMs) const;

    Target m_target;
    Request m_request;
    Sink m_sink;
};

constexpr std::pair<const char *, int (Command::*)()> kCommands[] = {
    {"version", &Command::Version},   {"get", &Command::Get},         {"send", &Command::Send},
    {"diff", &Command::Diff},         {"watch", &Command::Watch},     {"record", &Command::Record},
    {"transfer", &Command::Transfer}, {"publish", &Command::Publish},
};

bool Command::Connect(std::string &cause) {
    ResetLinkState();
    if (m_target.tcp) {
        com.comprotocol = 1;
        CopyText(com.ipBuf, m_target.host);
        CopyText(com.portNumStr, std::to_string(m_target.port));
        com.portNum = m_target.port;
        InitTCP_IP();
    } else {
        com.comprotocol = 0;
        CopyText(com.comDevice, m_target.device);
        InitRS232();
    }
    if (com.ret < 0 || !CheckComLine()) {
        cause = LinkCause();
        return false;
    }
    return true;
}

// VexaV32 reads the sensor's RAM set whenever it connects; so does every
// parameter and live-data command, so that its frames are the program's frames
// byte for byte (a data request carries the words the last answer left).
bool Command::ConnectAsVexa(std::string &cause) {
    SetUpParameterLink();
    if (!Connect(cause)) return false;
    if (ReadIntoVars(RAM)) return true;
    cause = LinkCause();
    return false;
}

void Command::Disconnect() {
    if (com.comprotocol == 1 && com.tcpcon) DisconnectFromTCPServer(com.g_hconversation);
    if (com.comprotocol == 0) CloseCom(com.comport);
    com.tcpcon = 0;
}

QJsonObject Command::Sample(long seq, int64_t wallMs) const {
    QJsonObject o = Line("sample");
    o["seq"] = static_cast<qint64>(seq);
    o["time"] = Q(IsoDateTimeStr(wallMs));
    o["CH_L"] = live.dataChL;
    o["CH_C"] = live.dataChC;
    o["CH_R"] = live.dataChR;
    o["DENS"] = live.dataDensity;
    o["SYM1"] = live.dataSym1;
    o["SYM2"] = live.dataSym2;
    o["VECTOR"] = live.dataVec;
    o["TEMP_raw"] = live.dataTemp;
    return o;
}

int Command::Run() {
    if (!m_request.trace.empty()) {
        const std::string problem = StartLinkTrace(WithName(m_request.trace, m_target.name));
        if (!problem.empty()) return Fail(problem);
    }
    int code = kExitFailed;
    for (const auto &[name, run] : kCommands)
        if (m_request.command == name) code = (this->*run)();
    Disconnect();
    StopLinkTrace();
    return code;
}

int Command::Version() {
    SetUpParameterLink();
    std::string cause;
    if (!Connect(cause)) return Fail(cause);
    return Succeed({{"version", Q(com.version)}});
}

int Command::Get() {
    const std::string path = WithName(m_request.file, m_target.name);
    std::string cause;
    if (!ConnectAsVexa(cause)) return Fail(cause);
    if (m_request.eeprom && !ReadIntoVars(EEPROM)) return Fail(LinkCause());
    uint16_t record[kAnzPara];
    RecordFromVars(record);
    if (!WriteParaFile(path, record)) return Fail("the set read could not be written to " + path);
    return Succeed({{"version", Q(com.version)}, {"memory", MemoryName()}, {"file", Q(path)}});
}

int Command::Send() {
    uint16_t record[kAnzPara];
    std::string problem;
    if (!ReadParaFile(m_request.file, record, problem))
        return Fail("parameter file " + m_request.file + " " + problem + "; nothing was sent");
    std::string cause;
    if (!ConnectAsVexa(cause)) return Fail(cause);
    // As VexaV32 sends a loaded file: through the variables into the frame image.
    VarsFromRecord(record);
    CopyVarsToPP();
    if (!WriteRecord(Memory())) return Fail(LinkCause());
    return Succeed({{"version", Q(com.version)}, {"memory", MemoryName()}, {"file", Q(m_request.file)}});
}

int Command::Diff() {
    uint16_t fileSet[kAnzPara];
    std::string problem;
    if (!ReadParaFile(m_request.file, fileSet, problem))
        return Fail("parameter file " + m_request.file + " " + problem);
    std::string cause;
    if (!ConnectAsVexa(cause)) return Fail(cause);
    uint16_t sensorSet[kAnzPara];
    RecordFromVars(sensorSet);
    QJsonArray items;
    for (const SetDifference &d : DifferingItems(fileSet, sensorSet))
        items.append(QJsonObject{{"item", Q(d.item)}, {"file", Q(d.first)}, {"sensor", Q(d.second)}});
    return Succeed({{"file", Q(m_request.file)}, {"equal", items.isEmpty()}, {"differences", items}},
                   items.isEmpty() ? kExitOk : kExitDiffers);
}

int Command::Watch() {
    std::string cause;
    if (!ConnectAsVexa(cause)) return Fail(cause);
    FlushSerialQueues();
    long samples = 0;
    int failures = 0;
    while (!Stopping() && (m_request.count == 0 || samples < m_request.count)) {
        if (PollDataFrame()) {
            failures = 0;
            m_sink(Sample(samples++, WallClockMs()));
        } else {
            SetPopupTimeout();
            if (++failures == kFailuresBeforeGivingUp)
                return Fail(LinkCause(), {{"samples", qint64(samples)}});
        }
        Pause(kCyclePause);
    }
    return Succeed({{"samples", qint64(samples)}});
}

int Command::Record() {
    const std::string path = WithName(m_request.file, m_target.name);
    std::error_code ec;
    if (std::filesystem::exists(path, ec) && !m_request.force)
        return Fail(path + " exists already; choose another name, or give --force to replace it");
    std::string cause;
    if (!ConnectAsVexa(cause)) return Fail(cause);
    std::filesystem::remove(path, ec);
    if (!AppendToFile(path, CsvRecordHeader())) return Fail(path + " cannot be written");
    FlushSerialQueues();
    const double start = Timer();
    long rows = 0;
    int failures = 0;
    while (!Stopping() && (m_request.count == 0 || rows < m_request.count)) {
        const double cycleStart = Timer();
        if (PollDataFrame()) {
            failures = 0;
            const double stamp = Timer();
            const uint16_t values[kRecordValues] = {live.dataChL,     live.dataChC,  live.dataChR,
                                                    live.dataDensity, live.dataSym1, live.dataSym2,
                                                    live.dataVec,     live.dataTemp};
            if (!AppendToFile(path, CsvRecordRow(IsoDateTimeStr(WallClockMs()), stamp - start, values)))
                return Fail("a row could not be written to " + path,
                            {{"rows", qint64(rows)}, {"file", Q(path)}});
            ++rows;
        } else {
            SetPopupTimeout();
            if (++failures == kFailuresBeforeGivingUp)
                return Fail(LinkCause(), {{"rows", qint64(rows)}, {"file", Q(path)}});
        }
        Pause(m_request.interval -
              (Timer() - cycleStart)); // 0: as fast as the sensor answers, as the recorder
    }
    return Succeed({{"rows", qint64(rows)}, {"file", Q(path)}});
}

int Command::Transfer() {
    SetUpCompensationLink();
    std::string cause;
    if (!Connect(cause)) return Fail(cause);
    const int versionPanel = DataPanelOfSensor(SensorCodeFromVersion(com.version, 0));
    const int panel = m_request.family.empty() ? versionPanel : DataPanelOfFamily(m_request.family);
    if (panel == 0)
        return Fail("the sensor's version \"" + std::string(com.version) +
                    "\" names no known family; give --family (one of " + FamilyList() + ")");
    const PanelDesc &p = DataPanelDesc(panel);
    double coefficients[kMaxEquation] = {};
    std::string problem;
    if (!ReadEquationFile(m_request.file, p, coefficients, problem))
        return Fail("equation file " + m_request.file + " " + problem + "; nothing was sent");
    // The four steps of the data panel's transfer button, from the file instead of the fields.
    for (int k = 0; k < p.channelCount; ++k)
        for (int j = 0; j < kCoefs; ++j)
            Coefficient(p.channels[k], j) = coefficients[k * kCoefs + j];
    ComputeCurves(p);
    double setPoints[kMaxChannels];
    uint16_t words[kMaxChannels];
    ComputeSetPoints(p, ClampTemperature(static_cast<uint16_t>(m_request.temp)), setPoints, words);
    ComputeFactors(p, words);
    if (!WriteFactors(p, [](double) {})) return Fail(LinkCause());
    QJsonArray setPointWords;
    for (int k = 0; k < p.channelCount; ++k)
        setPointWords.append(words[k]);
    return Succeed({{"version", Q(com.version)},
                    {"panel", QString("P%1").arg(panel)},
                    {"file", Q(m_request.file)},
                    {"temp", m_request.temp},
                    {"setPointWords", setPointWords},
                    {"frames", TransferFrames(p)}});
}

int Command::Publish() {
    Broker broker;
    std::string problem;
    if (!ParseBroker(m_request.broker, broker, problem)) return Fail(problem);
    const std::string topic = WithName(m_request.topic, m_target.name);
    std::string cause;
    if (!ConnectAsVexa(cause)) return Fail(cause);
    Publisher publisher(broker, topic, m_request.queue);
    if (!publisher.Start(problem)) return Fail(problem);
    // "online" before the first sample when the broker is there; samples wait in the queue when not.
    publisher.WaitConnected(kBrokerGoodbyeSeconds);
    FlushSerialQueues();
    long samples = 0;
    bool answering = true;
    int64_t droppedShown = 0;
    auto say = [this](const std::string &text) {
        std::fprintf(stderr, "%s: %s\n", m_target.name.c_str(), text.c_str());
    };
    while (!Stopping() && (m_request.count == 0 || samples < m_request.count)) {
        if (PollDataFrame()) {
            if (!answering) say("the sensor answers again");
            answering = true;
            const QJsonObject sample = Sample(samples++, WallClockMs());
            publisher.Publish(QJsonDocument(sample).toJson(QJsonDocument::Compact).toStdString());
        } else {
            SetPopupTimeout();
            if (answering) say(LinkCause() + "; polling goes on");
            answering = false;
        }
        if (const std::string news = publisher.TakeNews(); !news.empty()) say(news);
        if (const int64_t dropped = publisher.Counts().dropped; dropped != droppedShown) {
            if (droppedShown == 0) say("the broker queue is full; samples are dropped and counted");
            droppedShown = dropped;
        }
        Pause(kCyclePause);
    }
    publisher.Stop(kBrokerGoodbyeSeconds);
    const Publisher::Totals totals = publisher.Counts();
    const QJsonObject counts{{"topic", Q(topic)},
                             {"samples", qint64(samples)},
                             {"published", qint64(totals.published)},
                             {"confirmed", qint64(totals.confirmed)},
                             {"unconfirmed", qint64(totals.published - totals.confirmed)},
                             {"dropped", qint64(totals.dropped)}};
    if (!totals.everConnected)
        return Fail("the broker " + broker.host + ":" + std::to_string(broker.port) +
                        " was never reached; no sample was delivered",
                    counts);
    return Succeed(counts);
}

} // namespace

std::string RequestProblem(const Request &r) {
    const std::string &c = r.command;
    const bool known = std::any_of(std::begin(kCommands), std::end(kCommands),
                                   [&](const auto &command) { return c == command.first; });
    if (!known) return "unknown command \"" + c + "\"; see --help";
    if ((c == "get" || c == "record") && r.file.empty()) return c + " needs -o FILE";
    if ((c == "send" || c == "diff" || c == "transfer") && r.file.empty()) return c + " needs a FILE";
    if (r.eeprom && c != "get" && c != "send") return "--eeprom belongs to get and send";
    if (c == "transfer" && (r.temp < 0 || r.temp > 99))
        return "transfer needs --temp DEGREES, the reference temperature 0..99 of the set points";
    if (c == "transfer" && !r.family.empty() && DataPanelOfFamily(r.family) == 0)
        return "unknown family \"" + r.family + "\"; one of " + FamilyList() + ", or P1..P6";
    if (c == "publish" && (r.broker.empty() || r.topic.empty()))
        return "publish needs --broker mqtt://HOST:PORT and --topic PREFIX";
    if (c == "publish") {
        Broker b;
        std::string problem;
        if (!ParseBroker(r.broker, b, problem)) return problem;
    }
    if (r.interval < 0.0 || r.interval > 3600.0) return "--interval takes 0..3600 seconds";
    if (r.count < 0) return "--count takes a whole number, 0 = until stopped";
    if (r.queue < 1 || r.queue > 1000000) return "--queue takes 1..1000000 samples";
    return {};
}

int RunCommand(const Target &target, const Request &r, const Sink &sink) {
    return Command(target, r, sink).Run();
}

void RequestStop() {
    stopRequested = 1;
}

std::string HumanLine(const QJsonObject &o) {
    auto s = [&](const char *key) { return o.value(key).toVariant().toString().toStdString(); };
    if (o.value("kind").toString() == "sample") {
        std::string line = s("time");
        for (const char *key : {"CH_L", "CH_C", "CH_R", "DENS", "SYM1", "SYM2", "VECTOR", "TEMP_raw"})
            line += "  " + std::string(key) + " " + s(key);
        return line;
    }
    if (!o.value("ok").toBool()) return "FAILED: " + s("error");
    const std::string c = s("command");
    if (c == "version") return s("version");
    if (c == "get") return s("memory") + " set read into " + s("file");
    if (c == "send") return s("file") + " written into " + s("memory");
    if (c == "watch") return s("samples") + " samples";
    if (c == "record") return s("rows") + " rows recorded in " + s("file");
    if (c == "transfer")
        return "correction factors of " + s("file") + " for " + s("panel") + " at " + s("temp") +
               " degrees written (" + s("frames") + " frames)";
    if (c == "publish")
        return s("samples") + " samples to " + s("topic") + "/data: " + s("confirmed") +
               " confirmed by the broker, " + s("dropped") + " dropped, " + s("unconfirmed") +
               " not confirmed";
    if (c == "diff") {
        const QJsonArray items = o.value("differences").toArray();
        if (items.isEmpty()) return "same set as " + s("file");
        std::string line = std::to_string(items.size()) +
                           (items.size() == 1 ? " difference" : " differences") + " from " + s("file") + ":";
        for (const auto &v : items) {
            const QJsonObject d = v.toObject();
            line += "\n    " + d.value("item").toString().toStdString() + ": file " +
                    d.value("file").toString().toStdString() + ", sensor " +
                    d.value("sensor").toString().toStdString();
        }
        return line;
    }
    return "ok";
}
