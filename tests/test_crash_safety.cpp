// What a killed program leaves on disk. The test binary starts itself again as
// a child that saves a file over and over (or records), freezes it at random
// moments to look at the file as a kill would leave it, and at last kills it
// with SIGKILL: a saved file is always the old one or the new one, a record
// file always holds whole rows.
#include "kelvra/equation.h"
#include "kelvra/startup.h"
#include "kelvralink/kelvradata.h"
#include "link/connectpanel.h"
#include "tests/test_vexa_harness.h"
#include "vexa/parafile.h"
#include "vexalink/recordfile.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <random>
#include <regex>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

using kelvralink::kpanels;
using vexalink::CsvRecordHeader;
using vexalink::RecordFormat;
using vexalink::RecordHeader;

using namespace runtime;
using namespace programlink;
using namespace vexaprogram;
using namespace kelvraprogram;

extern char **environ;

namespace {

constexpr const char *kRoleVariable = "CRASH_CHILD_ROLE";
constexpr const char *kDirVariable = "CRASH_CHILD_DIR";

// ---- the child: saves or records until it is killed ----------------------

// The directory the parent gave, or "" when this process is no child of a crash test.
std::string ChildDir(const char *role) {
    const char *r = std::getenv(kRoleVariable), *d = std::getenv(kDirVariable);
    return r && d && std::string(r) == role ? d : "";
}

// Tells the parent which file to watch; the file holds its first version by now.
void AnnounceReady(const std::string &path) {
    std::printf("ready %s\n", path.c_str());
    std::fflush(stdout);
}

// Saves version 0 and version 1 once each as references beside the target,
// announces the target, then saves the two versions in turn forever.
void SaveForever(const std::string &target, const std::function<void(int version)> &save) {
    for (int v : {0, 1}) {
        save(v);
        WriteFileBytes(target + ".v" + std::to_string(v), ReadFileBytes(target));
    }
    AnnounceReady(target);
    for (int n = 0;; n ^= 1)
        save(n);
}

// Puts every file chooser of the program on one path.
void AnswerFileDialogs(const std::string &path) {
    SetPopupResponder([path](const PopupRecord &p, std::string &chosen) {
        chosen = path;
        return p.kind == PopupRecord::FileSelect ? VAL_EXISTING_FILE_SELECTED : 1;
    });
}

TEST(CrashChild, SavesParameterFiles) {
    const std::string dir = ChildDir("parafile");
    if (dir.empty()) GTEST_SKIP() << "runs only as the child of a crash test";
    vexatest::VexaRun run;
    ASSERT_EQ(run.start(), 0);
    run.answers.fileResult = VAL_EXISTING_FILE_SELECTED;
    run.answers.filePath = JoinPath(dir, "Parameter.ini");
    SaveForever(run.answers.filePath, [](int v) {
        SetCtrlVal(vexa.parapanel, "SlidePower", v ? 900 : 100);
        SendParaToFile();
    });
}

TEST(CrashChild, SavesSettings) {
    const std::string dir = ChildDir("settings");
    if (dir.empty()) GTEST_SKIP() << "runs only as the child of a crash test";
    vexatest::VexaRun run;
    ASSERT_EQ(run.start(), 0);
    SaveForever(run.path("ComSettings.cfg"), [](int v) {
        SetCtrlVal(vexa.interfacepanel, "StringPortNumber", v ? "20001" : "1");
        SaveCommunicationSettings();
    });
}

TEST(CrashChild, SavesEquationFiles) {
    const std::string dir = ChildDir("equation");
    if (dir.empty()) GTEST_SKIP() << "runs only as the child of a crash test";
    // The data panel on its own: the save reads its fields and nothing else of the program.
    ASSERT_TRUE(QFile::copy(KELVRA_DIR "/KelvraV12.uir", QString::fromStdString(JoinPath(dir, kKelvraUir))));
    SetProjectDir(dir);
    kpanels.datapanel[3] = LoadPanel(0, kKelvraUir, 3);
    ASSERT_GT(kpanels.datapanel[3], 0);
    const std::string target = JoinPath(dir, "equation.equ");
    AnswerFileDialogs(target);
    SaveForever(target, [](int v) {
        for (const char *field : {"EditRX4", "EditDIFT"})
            SetCtrlVal(kpanels.datapanel[3], field, v ? -0.000123456789 : 98765.4321);
        SaveEquation(3);
    });
}

// Records open-ended at interval 0 in the given format until killed.
void RecordUntilKilled(const std::string &dir, RecordFormat format, const std::string &file) {
    vexatest::VexaRun run;
    ASSERT_EQ(run.start(), 0);
    run.sensor.setMeasurement({.chL = 11, .chC = 22, .chR = 33, .density = 4444, .sym1 = 555, .temp = 7});
    vexatest::Click(vexa.mainpanel, "ButtonRecorder");
    vexatest::ChooseItem(vexa.recpanel, "EditRecFormat", static_cast<int>(format));
    vexatest::ChooseItem(vexa.recpanel, "EditSelectDataRec", 1);
    run.answers.fileResult = VAL_NEW_FILE_SELECTED;
    run.answers.filePath = JoinPath(dir, file);
    vexatest::Click(vexa.recpanel, "ButtonSelRecFile");
    vexatest::TypeNumber(vexa.recpanel, "EditInterval", 0);
    AnnounceReady(run.answers.filePath);
    vexatest::Click(vexa.recpanel, "ButtonStartRecord"); // open end: records until the kill
}

TEST(CrashChild, RecordsUntilKilled) {
    const std::string dir = ChildDir("record");
    if (dir.empty()) GTEST_SKIP() << "runs only as the child of a crash test";
    RecordUntilKilled(dir, RecordFormat::Tab, "record.dat");
}

TEST(CrashChild, RecordsCsvUntilKilled) {
    const std::string dir = ChildDir("record-csv");
    if (dir.empty()) GTEST_SKIP() << "runs only as the child of a crash test";
    RecordUntilKilled(dir, RecordFormat::Csv, "record.csv");
}

// ---- the parent: freezes and kills the child -----------------------------

// A child process running one role of this binary, its output on a pipe.
class Child {
  public:
    Child(const std::string &role, const std::string &dir) {
        int out[2];
        EXPECT_EQ(pipe(out), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        const std::string self = QCoreApplication::applicationFilePath().toStdString();
        std::vector<std::string> args = {self, "--gtest_filter=CrashChild.*"};
        // The child's own temporary directories go into dir, which the parent removes.
        std::vector<std::string> env = {std::string(kRoleVariable) + "=" + role,
                                        std::string(kDirVariable) + "=" + dir, "TMPDIR=" + dir,
                                        "QT_QPA_PLATFORM=offscreen"};
        for (char **e = environ; *e; ++e)
            env.emplace_back(*e);
        std::vector<char *> argv, envp;
        for (auto &a : args)
            argv.push_back(a.data());
        for (auto &e : env)
            envp.push_back(e.data());
        argv.push_back(nullptr);
        envp.push_back(nullptr);
        EXPECT_EQ(posix_spawn(&m_pid, self.c_str(), &actions, nullptr, argv.data(), envp.data()), 0);
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        m_out = out[0];
    }
    ~Child() {
        Kill();
        close(m_out);
    }

    // The path the child announces once it is ready, "" if it does not within the time.
    std::string AwaitReady(double seconds = 30) {
        QElapsedTimer t;
        t.start();
        std::string text;
        while (t.elapsed() < seconds * 1000) {
            const auto at = text.find("ready ");
            if (at != std::string::npos && text.find('\n', at) != std::string::npos)
                return text.substr(at + 6, text.find('\n', at) - at - 6);
            pollfd p{m_out, POLLIN, 0};
            if (poll(&p, 1, 100) > 0) {
                char buf[512];
                const ssize_t n = read(m_out, buf, sizeof buf);
                if (n <= 0) break;
                text.append(buf, static_cast<std::size_t>(n));
            }
        }
        return "";
    }

    // Stops the child where it is, as a kill would; true once it stands still.
    bool Freeze() {
        kill(m_pid, SIGSTOP);
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 2000)
            if (State() == 'T') return true;
        return false;
    }
    void Thaw() { kill(m_pid, SIGCONT); }
    void Kill() {
        if (m_pid <= 0) return;
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }
    // Keeps the parent busy for a while without sleeping, so that the child runs on.
    void RunOnFor(int steps) const {
        for (int k = 0; k < steps; ++k)
            State();
    }

  private:
    char State() const {
        const std::string stat = ReadFileBytes("/proc/" + std::to_string(m_pid) + "/stat");
        const auto close = stat.rfind(')');
        return close != std::string::npos && close + 2 < stat.size() ? stat[close + 2] : '?';
    }

    pid_t m_pid = -1;
    int m_out = -1;
};

constexpr int kChildren = 3;      // children killed per file kind
constexpr int kMaxSamples = 300;  // frozen looks per child
constexpr double kSampleTime = 2; // seconds of looking per child at most

// Runs children of a saving role: at every frozen moment and after the kill
// the file is exactly one of the two versions the child saves in turn.
void ExpectOldOrNew(const std::string &role) {
    std::mt19937 random(std::random_device{}());
    for (int c = 0; c < kChildren; ++c) {
        QTemporaryDir dir;
        Child child(role, dir.path().toStdString());
        const std::string target = child.AwaitReady();
        ASSERT_FALSE(target.empty()) << role << ": the child did not start";
        const std::string versions[2] = {ReadFileBytes(target + ".v0"), ReadFileBytes(target + ".v1")};
        ASSERT_NE(versions[0], versions[1]);
        int seen[2] = {0, 0};
        const int killAt = std::uniform_int_distribution<int>(kMaxSamples / 3, kMaxSamples)(random);
        QElapsedTimer t;
        t.start();
        for (int s = 0; s < killAt && t.elapsed() < kSampleTime * 1000; ++s) {
            child.RunOnFor(std::uniform_int_distribution<int>(0, 200)(random));
            ASSERT_TRUE(child.Freeze());
            const std::string now = ReadFileBytes(target);
            child.Thaw();
            ASSERT_TRUE(now == versions[0] || now == versions[1])
                << role << ": a save left " << now.size() << " bytes:\n"
                << now;
            ++seen[now == versions[1]];
        }
        child.Kill();
        const std::string left = ReadFileBytes(target);
        EXPECT_TRUE(left == versions[0] || left == versions[1]) << role << " after SIGKILL:\n" << left;
        EXPECT_GT(seen[0] * seen[1], 0) << role << ": the saves went on while looked at";
    }
}

TEST(CrashSafety, KilledDuringAParameterFileSaveLeavesTheOldOrTheNewFile) {
    ExpectOldOrNew("parafile");
}

TEST(CrashSafety, KilledDuringAnEquationFileSaveLeavesTheOldOrTheNewFile) {
    ExpectOldOrNew("equation");
}

TEST(CrashSafety, KilledDuringASettingsSaveLeavesTheOldOrTheNewFile) {
    ExpectOldOrNew("settings");
}

// The record file as lines: header, whole rows, and what follows the last line end.
struct RecordLines {
    std::vector<std::string> rows;
    std::string tail;
    bool headerWhole = false;
};
RecordLines SplitRecord(const std::string &text, const std::string &header) {
    RecordLines r;
    std::size_t at = 0;
    for (std::size_t end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2) {
        if (at == 0)
            r.headerWhole = text.substr(0, end + 2) == header;
        else
            r.rows.push_back(text.substr(at, end - at));
    }
    r.tail = text.substr(at);
    return r;
}

// Kills recording children at random moments: every look and the file left show only whole rows.
void ExpectWholeRows(const std::string &role, const std::string &header, const std::regex &row) {
    std::mt19937 random(std::random_device{}());
    for (int c = 0; c < kChildren; ++c) {
        QTemporaryDir dir;
        Child child(role, dir.path().toStdString());
        const std::string file = child.AwaitReady();
        ASSERT_FALSE(file.empty()) << "the recorder did not start";
        const int killAt = std::uniform_int_distribution<int>(kMaxSamples / 3, kMaxSamples)(random);
        std::size_t rowsBefore = 0;
        QElapsedTimer t;
        t.start();
        for (int s = 0; s < killAt && t.elapsed() < kSampleTime * 1000; ++s) {
            child.RunOnFor(std::uniform_int_distribution<int>(0, 200)(random));
            ASSERT_TRUE(child.Freeze());
            const RecordLines now = SplitRecord(ReadFileBytes(file), header);
            child.Thaw();
            // A row goes to the file in one piece: no moment shows part of one.
            ASSERT_EQ(now.tail, "") << "a row cut short after " << now.rows.size() << " rows";
            rowsBefore = now.rows.size();
        }
        child.Kill();
        const RecordLines left = SplitRecord(ReadFileBytes(file), header);
        EXPECT_TRUE(left.headerWhole);
        EXPECT_GE(left.rows.size(), rowsBefore) << "rows written before the kill are kept";
        EXPECT_GT(rowsBefore, 0u) << "the recording ran";
        for (const std::string &r : left.rows)
            EXPECT_TRUE(std::regex_match(r, row)) << r;
        // Only a row being written at the kill itself may be missing its end.
        EXPECT_EQ(left.tail.find('\n'), std::string::npos);
    }
}

TEST(CrashSafety, KilledWhileRecordingKeepsEveryRowWrittenBeforeWhole) {
    ExpectWholeRows("record", RecordHeader(),
                    std::regex(R"(\d\d-\d\d-\d{4}\t\d\d:\d\d:\d\d\t11\t22\t33\t4444\t555\t0\t255\t7)"));
}

TEST(CrashSafety, KilledWhileRecordingCsvKeepsEveryRowWrittenBeforeWhole) {
    ExpectWholeRows(
        "record-csv", CsvRecordHeader(),
        std::regex(
            R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d,\d+\.\d{6},11,22,33,4444,555,0,255,7)"));
}

} // namespace
