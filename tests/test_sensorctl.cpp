// sensorctl from a shell against several simulated sensors at once, on TCP and
// a pseudo-terminal: each command's output and exit code, and what the sensors
// hold afterwards.
#include "sim/simsensor.h"
#include "tests/sensorctl_run.h"
#include "tests/test_support.h"
#include "vexalink/parafileio.h"

#include <QDateTime>
#include <QFileInfo>
#include <QJsonArray>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <sys/resource.h>

using vexalink::kAnzPara;
using vexalink::ReadParaFile;
using vexalink::WriteParaFile;

namespace {

sim::ParameterSet MakeSet(uint16_t power) {
    sim::ParameterSet s;
    s.params = {power, 1, 3, 0, 250, 100, 5, 0, 0, 0, 300, 200, 13, 14, 15, 16};
    for (std::size_t r = 0; r < sim::kTeachRows; ++r)
        s.teach[r] = {uint16_t(100 + r), 20, uint16_t(300 + r), 30, uint16_t(600 + r), 40};
    return s;
}

void ToRecord(const sim::ParameterSet &s, uint16_t (&record)[kAnzPara]) {
    std::copy(s.params.begin(), s.params.end(), record);
    for (std::size_t r = 0; r < sim::kTeachRows; ++r)
        std::copy(s.teach[r].begin(), s.teach[r].end(), record + 16 + 6 * r);
}

class Sensorctl : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        alpha = "tcp://127.0.0.1:" + std::to_string(a.listenTcp());
        beta = "tcp://127.0.0.1:" + std::to_string(b.listenTcp());
        gamma = c.openPty();
        targets = Path("plant.txt");
        WriteFileBytes(targets,
                       "# line 3\n" + alpha + " alpha\n" + beta + "   beta\n\n" + gamma + " gamma\n");
    }

    std::string Path(const std::string &name) const {
        return dir.filePath(QString::fromStdString(name)).toStdString();
    }
    QString Q(const std::string &text) const { return QString::fromStdString(text); }

    std::string WriteSet(const std::string &name, const sim::ParameterSet &s) const {
        uint16_t record[kAnzPara];
        ToRecord(s, record);
        EXPECT_TRUE(WriteParaFile(Path(name), record));
        return Path(name);
    }

    QTemporaryDir dir;
    sim::SimSensor a, b, c;
    std::string alpha, beta, gamma, targets;
};

TEST_F(Sensorctl, SendToManySensorsThenDiffFindsTheOneThatDrifted) {
    const sim::ParameterSet line = MakeSet(500);
    const std::string file = WriteSet("line.ini", line);

    ToolRun sent = RunTool({"--targets", Q(targets), "send", Q(file)});
    EXPECT_EQ(sent.code, 0) << sent.err.toStdString();
    ASSERT_EQ(sent.out.size(), 3);
    EXPECT_TRUE(sent.out[0].startsWith("alpha  ok  ")) << sent.out[0].toStdString();
    EXPECT_TRUE(sent.out[1].startsWith("beta  ok  "));
    EXPECT_TRUE(sent.out[2].startsWith("gamma  ok  "));
    for (sim::SimSensor *s : {&a, &b, &c}) {
        EXPECT_EQ(s->memory().ram, line);
        EXPECT_EQ(s->memory().eeprom, sim::ParameterSet{}) << "RAM only without --eeprom";
    }

    ToolRun same = RunTool({"--targets", Q(targets), "--json", "diff", Q(file)});
    EXPECT_EQ(same.code, 0);
    ASSERT_EQ(same.Results().size(), 3u);
    for (const QJsonObject &r : same.Results())
        EXPECT_TRUE(r.value("equal").toBool()) << r.value("name").toString().toStdString();

    sim::SensorMemory drifted = b.memory();
    drifted.ram.params[4] = 999; // HOLD
    drifted.ram.teach[7][0] = 1;
    b.setMemory(drifted);
    ToolRun differs = RunTool({"--targets", Q(targets), "--json", "diff", Q(file)});
    EXPECT_EQ(differs.code, 1) << "differences, no failure";
    const auto results = differs.Results();
    ASSERT_EQ(results.size(), 3u);
    EXPECT_TRUE(results[0].value("equal").toBool());
    EXPECT_TRUE(results[2].value("equal").toBool());
    const QJsonArray items = results[1].value("differences").toArray();
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(items[0].toObject().value("item").toString(), "HOLD");
    EXPECT_EQ(items[0].toObject().value("file").toString(), "250 ms");
    EXPECT_EQ(items[0].toObject().value("sensor").toString(), "999 ms");
    EXPECT_EQ(items[1].toObject().value("item").toString(), "Teach row 7");

    ToolRun stored = RunTool({"--targets", Q(targets), "send", Q(file), "--eeprom"});
    EXPECT_EQ(stored.code, 0);
    for (sim::SimSensor *s : {&a, &b, &c})
        EXPECT_EQ(s->memory().eeprom, line);
}

TEST_F(Sensorctl, GetWritesEachSensorsSetIntoAFileOfItsOwn) {
    int n = 0;
    for (sim::SimSensor *s : {&a, &b, &c}) {
        ++n;
        s->setMemory({MakeSet(uint16_t(100 * n)), MakeSet(uint16_t(1000 + n))});
    }
    const QString pattern = Q(Path("%n-ram.ini"));
    ToolRun got = RunTool({"--targets", Q(targets), "get", "-o", pattern});
    EXPECT_EQ(got.code, 0) << got.err.toStdString();
    ToolRun stored = RunTool({"--targets", Q(targets), "get", "--eeprom", "-o", Q(Path("%n-eeprom.ini"))});
    EXPECT_EQ(stored.code, 0);
    n = 0;
    for (const char *name : {"alpha", "beta", "gamma"}) {
        ++n;
        uint16_t ram[kAnzPara], eeprom[kAnzPara], expectRam[kAnzPara], expectEeprom[kAnzPara];
        std::string problem;
        ASSERT_TRUE(ReadParaFile(Path(std::string(name) + "-ram.ini"), ram, problem)) << name << problem;
        ASSERT_TRUE(ReadParaFile(Path(std::string(name) + "-eeprom.ini"), eeprom, problem))
            << name << problem;
        ToRecord(MakeSet(uint16_t(100 * n)), expectRam);
        ToRecord(MakeSet(uint16_t(1000 + n)), expectEeprom);
        EXPECT_TRUE(std::equal(ram, ram + kAnzPara, expectRam)) << name;
        EXPECT_TRUE(std::equal(eeprom, eeprom + kAnzPara, expectEeprom)) << name;
    }

    // One file for all sensors would keep only the last one's set: refused before any sensor is asked.
    const long before = a.framesReceived();
    ToolRun shared = RunTool({"--targets", Q(targets), "get", "-o", Q(Path("all.ini"))});
    EXPECT_EQ(shared.code, 3);
    EXPECT_TRUE(shared.err.contains("%n")) << shared.err.toStdString();
    EXPECT_EQ(a.framesReceived(), before);
}

TEST_F(Sensorctl, WatchForACountEndsWhenASensorStaysOfflineAndNamesIt) {
    // nobody never answers; beta answers its version and never a data request.
    b.setFault({.kind = sim::FaultKind::NoAnswer, .command = 5, .persistent = true});
    WriteFileBytes(targets, alpha + " alpha\n" + beta + " beta\ntcp://127.0.0.1:1 nobody\n");
    const ToolRun run = RunTool({"--targets", Q(targets), "watch", "--count", "3", "--json"}, 40000);
    EXPECT_EQ(run.code, 2) << run.err.toStdString();
    std::map<QString, QJsonObject> results;
    for (const QJsonObject &r : run.Results())
        results[r.value("target").toString()] = r;
    EXPECT_TRUE(results[Q(alpha)].value("ok").toBool());
    for (const std::string &given : {beta, std::string("tcp://127.0.0.1:1")}) {
        EXPECT_FALSE(results[Q(given)].value("ok").toBool(true)) << given;
        EXPECT_TRUE(
            results[Q(given)].value("error").toString().startsWith("given up: no sample for more than 9 s"))
            << results[Q(given)].value("error").toString().toStdString();
    }
}

TEST_F(Sensorctl, ATargetThatDoesNotAnswerFailsAloneAndTheExitCodeSaysSo) {
    b.setFault({.kind = sim::FaultKind::NoAnswer, .command = 7, .persistent = true});
    WriteFileBytes(targets,
                   alpha + " alpha\n" + beta + " beta\n" + gamma + " gamma\ntcp://127.0.0.1:1 nobody\n");
    ToolRun run = RunTool({"--targets", Q(targets), "version"});
    EXPECT_EQ(run.code, 2);
    ASSERT_EQ(run.out.size(), 4) << run.out.join('\n').toStdString();
    EXPECT_EQ(run.out[0], "alpha  ok  VEXA V3.2");
    EXPECT_TRUE(run.out[1].startsWith("beta  FAILED  ")) << run.out[1].toStdString();
    EXPECT_TRUE(run.out[1].contains("answer")) << "the cause in words";
    EXPECT_EQ(run.out[2], "gamma  ok  VEXA V3.2");
    EXPECT_TRUE(run.out[3].startsWith("nobody  FAILED  Connection refused")) << run.out[3].toStdString();
    EXPECT_TRUE(run.err.contains(Q(beta))) << "errors on stderr name their target";
}

TEST_F(Sensorctl, WatchAndRecordCarryTheSensorsValues) {
    a.setMeasurement(
        {.chL = 1000, .chC = 2000, .chR = 3000, .density = 1500, .sym1 = 400, .sym2 = 600, .temp = 250});
    ToolRun watched = RunTool({Q(alpha), "watch", "--count", "3", "--json"});
    EXPECT_EQ(watched.code, 0);
    const auto lines = watched.Json();
    ASSERT_EQ(lines.size(), 4u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(lines[i].value("seq").toInt(), i);
        EXPECT_EQ(lines[i].value("CH_R").toInt(), 3000);
        EXPECT_EQ(lines[i].value("DENS").toInt(), 1500);
        EXPECT_TRUE(QDateTime::fromString(lines[i].value("time").toString(), Qt::ISODateWithMs).isValid());
    }
    EXPECT_EQ(lines[3].value("samples").toInt(), 3);

    const std::string csv = Path("run.csv");
    ToolRun recorded = RunTool({Q(alpha), "record", "-o", Q(csv), "--count", "4", "--interval", "0.05"});
    EXPECT_EQ(recorded.code, 0) << recorded.err.toStdString();
    const QStringList rows = Q(ReadFileBytes(csv)).split("\r\n", Qt::SkipEmptyParts);
    ASSERT_EQ(rows.size(), 5);
    EXPECT_EQ(rows[0], "time,elapsed_s,CH_L,CH_C,CH_R,DENS,SYM1,SYM2,VECTOR,TEMP_raw");
    double last = -1;
    for (int i = 1; i < 5; ++i) {
        const QStringList cells = rows[i].split(',');
        ASSERT_EQ(cells.size(), 10);
        EXPECT_TRUE(QDateTime::fromString(cells[0], Qt::ISODateWithMs).isValid()) << cells[0].toStdString();
        EXPECT_GT(cells[1].toDouble(), last);
        last = cells[1].toDouble();
        EXPECT_EQ(cells.mid(2).join(','), "1000,2000,3000,1500,400,600,255,250");
    }

    // A recording is never lost to a second run with the same name.
    const std::string before = ReadFileBytes(csv);
    const long frames = a.framesReceived();
    ToolRun again = RunTool({Q(alpha), "record", "-o", Q(csv), "--count", "2"});
    EXPECT_EQ(again.code, 2);
    EXPECT_TRUE(again.err.contains("--force"));
    EXPECT_EQ(ReadFileBytes(csv), before);
    EXPECT_EQ(a.framesReceived(), frames);
}

TEST_F(Sensorctl, WrongCommandLinesAndTargetsFilesAreRefusedWithTheirReason) {
    struct Case {
        std::string targetsText; // "" = no targets file
        QStringList arguments;
        const char *reason;
        rlim_t hardLimit = 0; // of open descriptors, 0 = as it is
    };
    std::string many;
    for (int i = 0; i < 300; ++i)
        many += "tcp://127.0.0.1:" + std::to_string(20000 + i) + "\n";
    const QString folder = QFileInfo(Q(targets)).absolutePath();
    const Case cases[] = {
        {"tcp://127.0.0.1:4001 one\ntcp://127.0.0.1:4002 one\n",
         {"version"},
         "line 2: the name one is used twice"},
        {"tcp://127.0.0.1\n", {"version"}, "line 1: \"tcp://127.0.0.1\" is not a TCP target"},
        {"tcp://127.0.0.1:70000\n", {"version"}, "port 1..65535"},
        {"# nothing\n\n", {"version"}, "lists no target"},
        {"/dev/ttyS0 bad/name\n", {"version"}, "may hold only letters"},
        {"", {"tcp://127.0.0.1:4001", "transfer", "x.equ"}, "--temp DEGREES"},
        {"",
         {"tcp://127.0.0.1:4001", "transfer", "x.equ", "--temp", "20", "--family", "nonesuch"},
         "unknown family"},
        {"", {"tcp://127.0.0.1:4001", "get"}, "get needs -o FILE"},
        {"",
         {"tcp://127.0.0.1:4001", "publish", "--broker", "http://x", "--topic", "t"},
         "not a broker address"},
        {"", {"tcp://127.0.0.1:4001", "fetch"}, "unknown command"},
        {"", {"udp://127.0.0.1:4001", "version"}, "neither tcp://HOST:PORT nor a serial device path"},
        {"-v\n", {"version"}, "line 1: \"-v\" is an option, not a target"},
        {"", {"127.0.0.1:4001", "version"}, "tcp://127.0.0.1:4001"},
        {"",
         {"tcp://127.0.0.1:4001", "publish", "--broker", "mqtt://x", "--topic", "plant/#"},
         "holds a wildcard"},
        {"", {"tcp://127.0.0.1:4001", "record", "-o", "/no/such/folder/r.csv"}, "folder /no/such/folder/"},
        {"", {"tcp://127.0.0.1:4001", "record", "-o", "r.csv", "--interval", "nan"}, "--interval"},
        {"",
         {"tcp://127.0.0.1:4001", "publish", "--broker", "mqtt://x", "--topic", "t", "--eeprom"},
         "publish does not take --eeprom"},
        {"", {"tcp://127.0.0.1:4001", "watch", "-o", "w.txt"}, "watch does not take -o"},
        {"",
         {"tcp://127.0.0.1:4001", "publish", "--broker", "mqtt://x", "--topic", "t", "--queue", "70000"},
         "--queue takes 1..60000"},
        {"",
         {"tcp://127.0.0.1:4001", "publish", "--broker", "mqtt://x", "--topic", QString(70000, 'a')},
         "longer than MQTT allows"},
        {"tcp://127.0.0.1:4001 a\n", {"record", "-o", "/no/such/%n/r.csv"}, "folder /no/such/a/ of -o for a"},
        {"tcp://127.0.0.1:4001 a\ntcp://127.0.0.1:4001 b\n", {"version"}, "127.0.0.1:4001 is listed twice"},
        {"", {"--targets", folder, "version"}, "is a folder"},
        {"",
         {"tcp://127.0.0.1:4001", "publish", "--broker", "mqtt://x:1883/path", "--topic", "t"},
         "has a path"},
        {"",
         {"tcp://127.0.0.1:4001", "publish", "--broker", "mqtt://user:secret@x", "--topic", "t"},
         "--password-file"},
        {"tcp://127.0.0.1:4001\n",
         {"tcp://127.0.0.1:4002", "version"},
         "every target goes into the targets file"},
        {"",
         {"tcp://127.0.0.1:4001", "publish", "--broker", "mqtt://x", "--topic", "t", "--password-file", "p"},
         "--password-file needs --username"},
        {"",
         {"tcp://127.0.0.1:4001", "publish", "--broker", "mqtt://x", "--topic", "t", "--cafile", "ca.crt"},
         "need an mqtts:// broker"},
        {"", {"ttyUSB0", "version"}, "its full path, such as /dev/ttyUSB0"},
        {many, {"watch"}, "300 sensors need about 364 open descriptors; the hard limit is 200", 200},
        // One broker connection for all, or one per sensor at a descriptor each.
        {many,
         {"publish", "--broker", "mqtt://x", "--topic", "p/%n"},
         "300 sensors need about 364 open descriptors",
         200},
        {many,
         {"publish", "--broker", "mqtt://x", "--topic", "p/%n", "--connection-per-target"},
         "300 sensors need about 664 open descriptors",
         400},
        {"tcp://127.0.0.1:4001 sensorctl\ntcp://127.0.0.1:4002 b\n",
         {"publish", "--broker", "mqtt://x", "--topic", "p/%n"},
         "the tool's own status topic p/sensorctl/status"},
        {"",
         {"tcp://127.0.0.1:4001", "publish", "--broker", "mqtt://x", "--topic", "t", "--client-id", "a+b"},
         "--client-id \"a+b\" holds a wildcard"},
    };
    for (const Case &k : cases) {
        QStringList arguments = k.arguments;
        if (!k.targetsText.empty()) {
            WriteFileBytes(targets, k.targetsText);
            arguments = QStringList{"--targets", Q(targets)} + arguments;
        }
        const rlim_t hard = k.hardLimit;
        const ToolRun run = RunTool(arguments, 60000,
                                    hard ? std::function<void()>([hard] {
                                        const rlimit limit{std::min<rlim_t>(hard, 100), hard};
                                        setrlimit(RLIMIT_NOFILE, &limit);
                                    })
                                         : std::function<void()>());
        EXPECT_EQ(run.code, 3) << k.reason;
        EXPECT_TRUE(run.err.contains(k.reason)) << run.err.toStdString();
        EXPECT_TRUE(run.out.isEmpty());
    }
}

TEST_F(Sensorctl, AByteOrderMarkIsIgnoredAndAVersionThatIsNoTextFails) {
    WriteFileBytes(targets, "\xEF\xBB\xBF" + alpha + " alpha\n" + beta + " beta\n");
    b.setFault({.kind = sim::FaultKind::WrongMarker, .command = 7, .persistent = true});
    const ToolRun run = RunTool({"--targets", Q(targets), "version"});
    EXPECT_EQ(run.code, 2);
    ASSERT_EQ(run.out.size(), 2) << run.err.toStdString();
    EXPECT_EQ(run.out[0], "alpha  ok  VEXA V3.2");
    EXPECT_TRUE(run.out[1].startsWith("beta  FAILED  ")) << run.out[1].toStdString();
    EXPECT_TRUE(run.out[1].contains("not a version text")) << run.out[1].toStdString();
    const ToolRun version = RunTool({"--version"});
    EXPECT_EQ(version.code, 0);
    EXPECT_TRUE(version.out.value(0).startsWith("sensorctl ")) << version.out.join('\n').toStdString();
}

} // namespace
