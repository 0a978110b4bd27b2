// KelvraV12's compensation transfer against the simulated sensor, over TCP and
// over a pseudo-terminal: what goes on the wire, what the sensor ends up
// holding, and how a failed or cut-off transfer ends.
#include "kelvra/gui.h"
#include "kelvralink/equationfile.h"
#include "kelvralink/transfer.h"
#include "link/linkstate.h"
#include "tests/sensorctl_run.h"
#include "tests/test_kelvra_program.h"

#include <QSocketNotifier>
#include <QTimer>
#include <cstdio>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

using kelvralink::CoefficientCtrl;
using kelvralink::DataPanelDesc;
using kelvralink::EquationSize;
using kelvralink::Factors;
using kelvralink::kCoefs;
using kelvralink::kdata;
using kelvralink::kDataPanels;
using kelvralink::kEditTemp;
using kelvralink::kpanels;
using kelvralink::kTransferProgress;
using kelvralink::kTransferStatus;
using kelvralink::PanelDesc;
using kelvralink::TransferFrames;

using namespace runtime;
using namespace programlink;
using namespace kelvraprogram;

namespace {

using sim::Bytes;

constexpr int kLightGrey = 0xE0E0E0;

// Every command frame with code cmd the sensor received, in order.
std::vector<Bytes> FramesOf(const sim::SimSensor &sensor, uint16_t cmd) {
    std::vector<Bytes> frames;
    for (const sim::CaptureEntry &e : sensor.capture())
        if (e.direction == sim::Direction::ToSensor && e.bytes.size() == 36 &&
            (e.bytes[2] << 8 | e.bytes[3]) == cmd)
            frames.push_back(e.bytes);
    return frames;
}

uint16_t WordOf(const Bytes &frame, int j) {
    return static_cast<uint16_t>(frame[2 * j] << 8 | frame[2 * j + 1]);
}

// The factor of channel k of panel p at degree t, as the program calculated it.
uint16_t FactorAt(const PanelDesc &p, int k, int t) {
    return Factors(p.channels[k])[t];
}

class KelvraTransfer : public KelvraProgram {
  protected:
    // Shows data panel n with curves whose factors differ from degree to degree.
    int Prepare(int n, Transport transport = Transport::Tcp) {
        const int codes[kDataPanels] = {100, 300, 400, 500, 600, 700};
        // The sensor is of the panel's family, so that no question comes first.
        const char *versions[kDataPanels] = {"HUEMA3 V6.3", "PRISMO3 V3.0", "HUEMA-PX V1.1",
                                             "TRV-PX V4.4", "VEXA2 V3.1",   "RQA/RQB V2.0 "};
        EXPECT_EQ(Start(versions[n - 1], transport), 0);
        SetCtrlVal(kpanels.mainpanel, kEditSelectSensor, codes[n - 1]);
        ShowChildPanel();
        const int panel = kpanels.datapanel[n];
        const PanelDesc &p = DataPanelDesc(n);
        for (int k = 0; k < p.channelCount; ++k) {
            SetCtrlVal(panel, CoefficientCtrl(p.channels[k], 4), 500.0 * (k + 1));
            SetCtrlVal(panel, CoefficientCtrl(p.channels[k], 3), k + 1.0);
        }
        sensor.clearCapture();
        return panel;
    }
    static std::string Text(int panel, const char *name) {
        std::string s;
        GetCtrlVal(panel, name, s);
        return s;
    }
    static int Number(int panel, const char *name) {
        int v = -1;
        GetCtrlVal(panel, name, v);
        return v;
    }
    static int ButtonColor(int panel) {
        int c = 0;
        GetCtrlAttribute(panel, "ButtonSendCF", ATTR_CTRL_COLOR, c);
        return c;
    }
    static int ConnectPanelShown() {
        int v = 0;
        GetPanelAttribute(kpanels.interfacepanel, ATTR_VISIBLE, v);
        return v;
    }
};

class KelvraTransferOnBothLinks : public KelvraTransfer, public ::testing::WithParamInterface<Transport> {};

TEST_P(KelvraTransferOnBothLinks, P1WritesEachChannelIntoABlockOfItsOwn) {
    const int panel = Prepare(1, GetParam());
    Click(panel, "ButtonSendCF");
    const sim::CompMemory mem = sensor.compMemory();
    EXPECT_EQ(mem.blocks, (std::vector<uint16_t>{0x1400, 0x1500, 0x1600}));
    ASSERT_EQ(mem.words.size(), 300u);
    // Red runs 500 + t at a set point of 500 (0 degrees): 1024 at 0 degrees, 512000 / 599 at 99.
    EXPECT_EQ(mem.words.at(0x1400), 1024);
    EXPECT_EQ(mem.words.at(0x1463), 854);
    EXPECT_EQ(mem.words.at(0x1500), 1024);
    // Blue runs 1500 + 3t: 1536000 / 1797 at 99.
    EXPECT_EQ(mem.words.at(0x1663), 854);
    EXPECT_EQ(mem.words.at(0x1537), FactorAt(DataPanelDesc(1), 1, 0x37));
    EXPECT_EQ(FramesOf(sensor, 182).size(), 30u);
    EXPECT_EQ(Text(panel, kTransferStatus), "SUCCESS");
    EXPECT_EQ(Number(panel, kTransferProgress), 0);
    EXPECT_EQ(ButtonColor(panel), kLightGrey);
    EXPECT_TRUE(LinkSensor().echoOk());
}

INSTANTIATE_TEST_SUITE_P(Links, KelvraTransferOnBothLinks,
                         ::testing::Values(Transport::Tcp, Transport::Serial));

// Checks that the sensor got exactly the staged words of a contiguous plan.
void ExpectContiguousRun(const sim::SimSensor &sensor, const PanelDesc &p, uint16_t first, int words) {
    const std::vector<Bytes> frames = FramesOf(sensor, 182);
    ASSERT_EQ(static_cast<int>(frames.size()), words / 10);
    for (int f = 0; f < static_cast<int>(frames.size()); ++f) {
        EXPECT_EQ(WordOf(frames[f], 2), first + 10 * f) << f;
        EXPECT_EQ(WordOf(frames[f], 3), 10) << f;
        for (int j = 0; j < 10; ++j) {
            const int w = 10 * f + j, perChannel = words / p.channelCount;
            EXPECT_EQ(WordOf(frames[f], 4 + j), FactorAt(p, w / perChannel, w % perChannel)) << f << " " << j;
        }
    }
    EXPECT_EQ(static_cast<int>(sensor.compMemory().words.size()), words);
}

TEST_F(KelvraTransfer, P2SendsOnlyTheFirst80DegreesOfEachChannel) {
    const int panel = Prepare(2);
    Click(panel, "ButtonSendCF");
    EXPECT_EQ(sensor.compMemory().blocks, (std::vector<uint16_t>{0x1600}));
    ExpectContiguousRun(sensor, DataPanelDesc(2), 0x1600, 240);
    EXPECT_EQ(sensor.compMemory().words.at(0x1650), FactorAt(DataPanelDesc(2), 1, 0));
    EXPECT_EQ(Text(panel, kTransferStatus), "SUCCESS");
}

TEST_F(KelvraTransfer, P3SendsSixChannelsIn48Frames) {
    const int panel = Prepare(3);
    Click(panel, "ButtonSendCF");
    EXPECT_EQ(sensor.compMemory().blocks, (std::vector<uint16_t>{0x1500, 0x1600}));
    ExpectContiguousRun(sensor, DataPanelDesc(3), 0x1500, 480);
    const Bytes frame8 = FramesOf(sensor, 182).at(8);
    EXPECT_EQ(WordOf(frame8, 2), 0x1550);
    for (int j = 0; j < 10; ++j)
        EXPECT_EQ(WordOf(frame8, 4 + j), kdata.dataCfGruen[j]);
    EXPECT_EQ(sensor.compMemory().words.at(0x16DF), kdata.dataCfDif[79]);
}

TEST_F(KelvraTransfer, P6SendsTheRawTableIn10Frames) {
    const int panel = Prepare(6);
    Click(panel, "ButtonSendCF");
    EXPECT_EQ(sensor.compMemory().blocks, (std::vector<uint16_t>{0x1400}));
    ExpectContiguousRun(sensor, DataPanelDesc(6), 0x1400, 100);
    EXPECT_EQ(sensor.compMemory().words.at(0x1463), kdata.dataCfRaw[99]);
}

TEST_F(KelvraTransfer, FramesCarryTheirBytesExactly) {
    const int panel = Prepare(1);
    Click(panel, "ButtonSendCF");
    const std::vector<Bytes> blocks = FramesOf(sensor, 180);
    ASSERT_EQ(blocks.size(), 3u);
    Bytes block(36, 0); // after the version query, the rest of the buffer is still zero
    block[1] = 0x55;
    block[3] = 0xB4;
    block[4] = 0x14;
    EXPECT_EQ(blocks[0], block);
    const std::vector<Bytes> writes = FramesOf(sensor, 182);
    Bytes frame = {0x00, 0x55, 0x00, 0xB6, 0x14, 0x0A, 0x00, 0x0A};
    for (int j = 10; j < 20; ++j) {
        frame.push_back(static_cast<uint8_t>(kdata.dataCfRot[j] >> 8));
        frame.push_back(static_cast<uint8_t>(kdata.dataCfRot[j] & 0xFF));
    }
    frame.insert(frame.end(), writes[0].begin() + 28, writes[0].end()); // 8 bytes left from the frame before
    EXPECT_EQ(writes[1], frame);
}

TEST_F(KelvraTransfer, BlockEchoWithAnotherAddressIsAccepted) {
    const int panel = Prepare(6);
    sensor.setFault({.kind = sim::FaultKind::CorruptEcho, .command = 180, .byteIndex = 4});
    Click(panel, "ButtonSendCF");
    EXPECT_EQ(Text(panel, kTransferStatus), "SUCCESS");
    EXPECT_EQ(sensor.compMemory().words.size(), 100u);
}

TEST_F(KelvraTransfer, FailedEchoStopsAtItsFrameAndLeavesTheProgress) {
    const int panel = Prepare(1);
    // Command frames after arming: three announcements, then write frames 0, 1, ...; write frame 5 is the
    // 9th.
    sensor.setFault({.kind = sim::FaultKind::CorruptEcho, .command = 182, .frame = 9, .byteIndex = 10});
    Click(panel, "ButtonSendCF");
    EXPECT_EQ(Text(panel, kTransferStatus), "FAILURE");
    EXPECT_EQ(ButtonColor(panel), kLightGrey);
    EXPECT_EQ(Number(panel, kTransferProgress), 167); // 5 confirmed frames of 33.33
    EXPECT_FALSE(LinkSensor().echoOk());
    EXPECT_EQ(Text(kpanels.mainpanel, "DispStatus"), "TIMEOUT");
    EXPECT_EQ(ConnectPanelShown(), 1);
    // Nothing after the failed frame went out; the sensor holds what it was sent.
    const std::vector<Bytes> writes = FramesOf(sensor, 182);
    ASSERT_EQ(writes.size(), 6u);
    EXPECT_EQ(WordOf(writes.back(), 2), 0x1432);
    const auto &words = sensor.compMemory().words;
    EXPECT_EQ(words.size(), 60u);
    EXPECT_EQ(words.count(0x143C), 0u);
    EXPECT_EQ(words.count(0x1500), 0u);
    int dimmed = 1;
    GetCtrlAttribute(panel, "ButtonSendCF", ATTR_DIMMED, dimmed);
    EXPECT_EQ(dimmed, 0);
}

TEST_F(KelvraTransfer, SilentAnnouncementSendsNoWords) {
    const int panel = Prepare(4);
    sensor.setFault({.kind = sim::FaultKind::NoAnswer, .command = 180, .frame = 2});
    Click(panel, "ButtonSendCF");
    EXPECT_EQ(Text(panel, kTransferStatus), "FAILURE");
    EXPECT_EQ(FramesOf(sensor, 180).size(), 2u);
    EXPECT_TRUE(FramesOf(sensor, 182).empty());
    EXPECT_EQ(Number(panel, kTransferProgress), 0);
}

TEST_F(KelvraTransfer, WhileItRunsTheButtonIsRedAndNoOtherOperationCanStart) {
    const int panel = Prepare(5);
    const long before = sensor.framesReceived();
    std::string status;
    int color = 0, undimmed = 0;
    QTimer watch;
    watch.setInterval(1);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (sensor.framesReceived() == before) return;
        watch.stop();
        status = Text(panel, kTransferStatus);
        color = ButtonColor(panel);
        for (int n = 1; n <= kDataPanels; ++n)
            for (const char *b : {"ButtonSendCF", "ButtonSaveEquation", "ButtonGetEquation"}) {
                int d = 0;
                GetCtrlAttribute(kpanels.datapanel[n], b, ATTR_DIMMED, d);
                undimmed += d == 0;
            }
        // A click on a dimmed button starts nothing.
        Click(kpanels.datapanel[2], "ButtonGetEquation");
    });
    watch.start();
    Click(panel, "ButtonSendCF");
    EXPECT_EQ(status, "TRY TO SAVE");
    EXPECT_EQ(color, 0xFF0000);
    EXPECT_EQ(undimmed, 0);
    EXPECT_TRUE(RecordedPopups().empty());
    EXPECT_EQ(Text(panel, kTransferStatus), "SUCCESS");
    for (int n = 1; n <= kDataPanels; ++n) {
        int d = 1;
        GetCtrlAttribute(kpanels.datapanel[n], "ButtonSaveEquation", ATTR_DIMMED, d);
        EXPECT_EQ(d, 0) << n;
    }
}

// A sensor played by the test on a pseudo-terminal: it answers the version
// query, echoes every frame, and after the echo of a chosen write frame fills
// the line towards itself so that the program's next frame cannot go out.
class JammingSensor {
  public:
    explicit JammingSensor(int jamAfterWrites) : jamAfter(jamAfterWrites) {
        QObject::connect(&notifier, &QSocketNotifier::activated, [this] { Receive(); });
    }
    ~JammingSensor() { Drain(); }
    const std::string &device() const { return pty.slavePath; }
    int writes = 0;

  private:
    void Receive() {
        char buf[256];
        const ssize_t n = read(pty.master, buf, sizeof buf);
        if (n > 0) pending.append(buf, static_cast<std::size_t>(n));
        while (pending.size() >= 36 && notifier.isEnabled()) {
            std::string frame = pending.substr(0, 36);
            pending.erase(0, 36);
            if (frame[3] == 7) {
                pty.writeMaster(std::string("HUEMA4 V6.3").append(25, '\0'));
                continue;
            }
            if (static_cast<uint8_t>(frame[3]) == 182 && ++writes == jamAfter) Jam();
            frame[0] = 0x00;
            frame[1] = static_cast<char>(0xAA);
            pty.writeMaster(frame);
        }
    }
    // Holds the line towards the sensor, as a device's flow control would, and stops reading.
    // Filling the terminal's buffer instead is no sure jam: the kernel frees room behind it
    // in the background, without telling a writer, and a frame written just then goes out.
    void Jam() {
        notifier.setEnabled(false);
        const int fd = open(pty.slavePath.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY);
        ASSERT_GE(fd, 0);
        EXPECT_EQ(tcflow(fd, TCOOFF), 0);
        close(fd);
    }
    void Drain() {
        fcntl(pty.master, F_SETFL, fcntl(pty.master, F_GETFL) | O_NONBLOCK);
        char buf[4096];
        while (read(pty.master, buf, sizeof buf) > 0) {
        }
    }

    PtyPair pty;
    QSocketNotifier notifier{pty.master, QSocketNotifier::Read};
    std::string pending;
    const int jamAfter;
};

TEST_F(KelvraTransfer, WriteThatCannotGoOutStopsWithTimeout) {
    JammingSensor jammer(3);
    MapComPort(kSimPort, jammer.device());
    WriteSettings("0\r\n" + std::to_string(kSimPort) + "\r\n\r\n\r\n");
    ASSERT_EQ(StartKelvra(), 0);
    ASSERT_EQ(VisibleDataPanel(), 1);
    const int panel = kpanels.datapanel[1];
    SetCtrlVal(panel, "EditRT", 1000.0);
    Click(panel, "ButtonSendCF");
    EXPECT_EQ(jammer.writes, 3);
    EXPECT_EQ(Text(panel, kTransferStatus), "FAILURE");
    EXPECT_EQ(Text(kpanels.mainpanel, "DispStatus"), "TIMEOUT");
    EXPECT_EQ(Number(panel, kTransferProgress), 100); // three confirmed frames
    EXPECT_NE(LinkSensor().bytesWritten(), 36);
}

TEST(KelvraTransferPlan, FramesTakeTheirWordsFromTheStagingArea) {
    struct Case {
        int panel, frame;
        kelvralink::FrameSlot slot;
    };
    const Case cases[] = {
        {1, 0, {0, 0x1400}},    {1, 9, {90, 0x145A}}, {1, 10, {100, 0x1500}}, {1, 29, {290, 0x165A}},
        {4, 15, {150, 0x1532}}, {2, 8, {80, 0x1650}}, {2, 23, {230, 0x16E6}}, {3, 8, {80, 0x1550}},
        {3, 47, {470, 0x16D6}}, {6, 9, {90, 0x145A}},
    };
    for (const Case &c : cases) {
        const kelvralink::FrameSlot s = kelvralink::TransferFrame(DataPanelDesc(c.panel), c.frame);
        EXPECT_EQ(s.source, c.slot.source) << c.panel << "/" << c.frame;
        EXPECT_EQ(s.address, c.slot.address) << c.panel << "/" << c.frame;
    }
    const int frames[kDataPanels] = {30, 24, 48, 30, 30, 10};
    for (int n = 1; n <= kDataPanels; ++n)
        EXPECT_EQ(TransferFrames(DataPanelDesc(n)), frames[n - 1]);
}

// The command-line tool, given the coefficients as an equation file, sends the
// frames the program's transfer button sends, byte for byte, and leaves the
// same words in the sensor.
TEST_F(KelvraTransfer, SensorctlSendsTheSameFramesAsTheTransferButton) {
    const int panel = Prepare(3);
    Type(panel, kEditTemp, "25");
    sensor.clearCapture();
    Click(panel, "ButtonSendCF");
    const std::vector<Bytes> programFrames = FramesOf(sensor, 180), programWrites = FramesOf(sensor, 182);
    ASSERT_EQ(programWrites.size(), 48u);

    std::string equation;
    const PanelDesc &p = DataPanelDesc(3);
    for (int k = 0; k < p.channelCount; ++k)
        for (int j = 0; j < kCoefs; ++j) {
            double v = 0;
            GetCtrlVal(panel, CoefficientCtrl(p.channels[k], j), v);
            char line[64];
            std::snprintf(line, sizeof line, "%.17g\n", v);
            equation += line;
        }
    const std::string file = InDir("p3.equ");
    WriteFileBytes(file, equation);

    sim::SimSensor second;
    second.setVersion("HUEMA-PX V1.1");
    const QString target = QString("tcp://127.0.0.1:%1").arg(second.listenTcp());
    const ToolRun run = RunTool({target, "transfer", QString::fromStdString(file), "--temp", "25"});
    EXPECT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_EQ(FramesOf(second, 180), programFrames);
    EXPECT_EQ(FramesOf(second, 182), programWrites);
    EXPECT_EQ(second.compMemory().words, sensor.compMemory().words);

    // Curves of 0 have no factor: refused before anything is sent, unless allowed.
    const std::string zeros = InDir("zeros.equ");
    std::string zeroLines;
    for (int i = 0; i < EquationSize(p); ++i)
        zeroLines += "0\n";
    WriteFileBytes(zeros, zeroLines);
    second.clearCapture();
    const ToolRun refused = RunTool({target, "transfer", QString::fromStdString(zeros), "--temp", "25"});
    EXPECT_EQ(refused.code, 2);
    EXPECT_TRUE(refused.err.contains("cannot be right")) << refused.err.toStdString();
    EXPECT_TRUE(refused.err.contains("Nothing was sent; give --allow-wrapped"));
    EXPECT_TRUE(FramesOf(second, 180).empty());
    EXPECT_TRUE(FramesOf(second, 182).empty());
    const ToolRun allowed =
        RunTool({target, "transfer", QString::fromStdString(zeros), "--temp", "25", "--allow-wrapped"});
    EXPECT_EQ(allowed.code, 0) << allowed.err.toStdString();
    EXPECT_EQ(FramesOf(second, 182).size(), 48u);
}

} // namespace
