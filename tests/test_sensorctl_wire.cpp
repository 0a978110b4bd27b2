// The command-line tool speaks to the three-channel sensor as VexaV32 does:
// its connection, Get, Send and live-data frames are the program's, byte for byte.
#include "platform/testhooks.h"
#include "tests/sensorctl_run.h"
#include "tests/test_vexa_harness.h"
#include "vexalink/parafileio.h"

#include <gtest/gtest.h>

using vexalink::kAnzPara;
using vexalink::WriteParaFile;

using namespace vexaprogram;

namespace {

using namespace vexatest;

sim::SensorMemory SomeSet() {
    sim::SensorMemory m;
    m.ram.params = {500, 1, 3, 0, 250, 100, 5, 0, 0, 0, 300, 200, 0, 0, 0, 0};
    for (std::size_t r = 0; r < sim::kTeachRows; ++r)
        m.ram.teach[r] = {uint16_t(100 + r), 20, uint16_t(300 + r), 30, uint16_t(600 + r), 40};
    m.eeprom = m.ram;
    return m;
}

QString TcpTarget(sim::SimSensor &sensor) {
    return QString("tcp://127.0.0.1:%1").arg(sensor.listenTcp());
}

TEST(SensorctlWire, ConnectionGetAndGoAreTheProgramsFrames) {
    VexaRun run;
    run.sensor.setMemory(SomeSet());
    ASSERT_EQ(run.start(), 0);
    PollFrames(run.sensor, 3);
    const std::vector<sim::Bytes> program = FramesToSensor(run.sensor);

    sim::SimSensor tool;
    tool.setMemory(SomeSet());
    const ToolRun watched = RunTool({TcpTarget(tool), "watch", "--count", "3"});
    EXPECT_EQ(watched.code, 0) << watched.err.toStdString();
    const std::vector<sim::Bytes> frames = FramesToSensor(tool);
    ASSERT_EQ(frames.size(), 2u + 1u + 31u + 3u); // auto-send off, version, Get, three data requests
    ASSERT_GE(program.size(), frames.size());
    EXPECT_TRUE(std::equal(frames.begin(), frames.end(), program.begin()));
}

TEST(SensorctlWire, SendIsTheProgramsSendOfTheSameFile) {
    VexaRun run;
    run.sensor.setMemory(SomeSet());
    ASSERT_EQ(run.start(), 0);
    sim::SensorMemory other = SomeSet();
    other.ram.params[4] = 999;
    other.ram.teach[30][5] = 77;
    uint16_t record[kAnzPara];
    std::copy(other.ram.params.begin(), other.ram.params.end(), record);
    for (std::size_t r = 0; r < sim::kTeachRows; ++r)
        std::copy(other.ram.teach[r].begin(), other.ram.teach[r].end(), record + 16 + 6 * r);
    const std::string file = run.path("other.ini");
    ASSERT_TRUE(WriteParaFile(file, record));

    // The program loads the file, then sends it with EEPROM chosen.
    run.answers.filePath = file;
    run.answers.fileResult = VAL_EXISTING_FILE_SELECTED;
    run.answers.generic = 1; // replace the panels with the file's set
    Click(vexa.mainpanel, "SelectFILE");
    Click(vexa.mainpanel, "ButtonGet");
    Click(vexa.mainpanel, "SelectEEPROM");
    run.sensor.clearCapture();
    Click(vexa.mainpanel, "ButtonSend");
    const std::vector<sim::Bytes> program = FramesToSensor(run.sensor);
    EXPECT_EQ(run.sensor.memory().eeprom, other.ram);

    sim::SimSensor tool;
    tool.setMemory(SomeSet());
    const ToolRun sent = RunTool({TcpTarget(tool), "send", QString::fromStdString(file), "--eeprom"});
    EXPECT_EQ(sent.code, 0) << sent.err.toStdString();
    std::vector<sim::Bytes> frames = FramesToSensor(tool);
    ASSERT_GT(frames.size(), program.size());
    frames.erase(frames.begin(), frames.end() - static_cast<long>(program.size())); // its connection aside
    EXPECT_EQ(frames, program);
    EXPECT_EQ(tool.memory(), run.sensor.memory());
}

} // namespace
