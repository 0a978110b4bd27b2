// The link trace: a Get traced by the program reads, frame for frame and in
// the same line form, like the simulated sensor's own capture; the switch on
// the connection panel, the command-line option and the size bound.
#include "sensor/trace.h"
#include "sim/capture.h"
#include "tests/test_vexa_harness.h"

#include <QFile>
#include <fstream>
#include <regex>

using namespace vexatest;
using namespace programlink;
using namespace vexaprogram;

namespace {

std::vector<std::string> Lines(const std::string &path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// A frame line without its time stamp: "in  00 55 ..." or "out 00 AA ...".
std::string WithoutStamp(const std::string &line) {
    return line.substr(line.find(' ') + 1);
}

class LinkTraceTest : public ::testing::TestWithParam<Transport> {
  protected:
    void TearDown() override { LinkTrace().stop(); }
};

TEST_P(LinkTraceTest, TraceOfAGetMatchesTheSensorsCaptureFrameForFrame) {
    VexaRun run(GetParam());
    run.sensor.setMemory({DistinctSet(), {}});
    ASSERT_EQ(run.start(), 0);
    const std::string path = run.path("get.trace");
    ASSERT_EQ(LinkTrace().start(path), "");
    run.sensor.clearCapture();
    Click(vexa.mainpanel, "ButtonGet");
    LinkTrace().stop();

    std::vector<std::string> traced;
    int good = 0;
    for (const std::string &line : Lines(path)) {
        if (line.rfind("# ", 0) == 0) {
            good += line.size() > 3 && line.compare(line.size() - 3, 3, " ok") == 0;
            continue;
        }
        traced.push_back(WithoutStamp(line));
        // Seconds with '.' and six decimals, also in a German desktop (run again there by ctest).
        const std::string stamp = line.substr(0, line.find(' '));
        EXPECT_TRUE(std::regex_match(stamp, std::regex("[0-9]+\\.[0-9]{6}"))) << line;
    }
    std::vector<std::string> captured;
    for (const sim::CaptureEntry &e : run.sensor.capture())
        captured.push_back(WithoutStamp(sim::hexLine(e)));
    EXPECT_EQ(traced, captured);
    EXPECT_EQ(captured.size(), 64u); // command 3, 31 rows, each with its answer
    EXPECT_EQ(good, 32);
}

INSTANTIATE_TEST_SUITE_P(BothTransports, LinkTraceTest, ::testing::Values(Transport::Tcp, Transport::Pty));

TEST(LinkTraceSwitch, PanelSwitchStartsATraceIntoTheChosenFileAndEndsIt) {
    VexaRun run;
    ASSERT_EQ(run.start(), 0);
    const std::string path = run.path("panel.trace");
    run.answers.fileResult = VAL_NEW_FILE_SELECTED;
    run.answers.filePath = path;
    Click(vexa.mainpanel, "ButtonConnect");
    Click(vexa.interfacepanel, "CheckLinkTrace");
    EXPECT_TRUE(LinkTrace().on());
    EXPECT_EQ(LinkTrace().path(), path);
    Click(vexa.interfacepanel, "ButtonTryToConnect");
    Click(vexa.interfacepanel, "CheckLinkTrace");
    EXPECT_FALSE(LinkTrace().on());
    const std::vector<std::string> lines = Lines(path);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_NE(lines[0].find(" opened 127.0.0.1:"), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find(" in  00 55 00 32 00 00"), std::string::npos) << lines[1];

    // Cancelling the file choice leaves the switch off.
    run.answers.fileResult = VAL_NO_FILE_SELECTED;
    Click(vexa.interfacepanel, "CheckLinkTrace");
    EXPECT_FALSE(LinkTrace().on());
    EXPECT_EQ(Val(vexa.interfacepanel, "CheckLinkTrace"), 0);
}

TEST(LinkTraceSwitch, CommandLineOptionStartsATraceAndBadOnesAreNamed) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("cli.trace").toStdString();
    const std::string joined = "--trace=" + path;
    const char *spaced[] = {"VexaV32", "--trace", path.c_str()};
    EXPECT_EQ(StartLinkTraceFromArguments(3, spaced), "");
    EXPECT_EQ(LinkTrace().path(), path);
    const char *oneWord[] = {"VexaV32", joined.c_str()};
    EXPECT_EQ(StartLinkTraceFromArguments(2, oneWord), "");
    EXPECT_TRUE(LinkTrace().on());
    const char *none[] = {"VexaV32"};
    EXPECT_EQ(StartLinkTraceFromArguments(1, none), "");
    const char *missing[] = {"VexaV32", "--trace"};
    EXPECT_NE(StartLinkTraceFromArguments(2, missing), "");
    const std::string unwritable = dir.filePath("no/such/folder/x.trace").toStdString();
    const char *bad[] = {"VexaV32", "--trace", unwritable.c_str()};
    EXPECT_NE(StartLinkTraceFromArguments(3, bad).find(unwritable), std::string::npos);
    EXPECT_FALSE(LinkTrace().on());
}

TEST(LinkTraceSwitch, TraceEndsItselfAtItsSizeBound) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("full.trace").toStdString();
    sensor::Trace trace;
    ASSERT_EQ(trace.start(path), "");
    const char frame[36] = {0x00, 0x55, 0x00, 0x05};
    while (trace.on())
        trace.sent(frame, sizeof frame);
    const qint64 size = QFile(QString::fromStdString(path)).size();
    EXPECT_LE(size, sensor::kMaxTraceBytes + 64);
    EXPECT_GT(size, sensor::kMaxTraceBytes - 200);
    EXPECT_EQ(Lines(path).back(), "# trace ended at its size limit");
}

} // namespace
