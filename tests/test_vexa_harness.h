// Runs the whole VexaV32 program in-process for a test: its real resource file
// in a temporary program directory, the simulated sensor on loopback TCP or a
// pseudo-terminal, popups answered by a responder, real clicks and keys.
#pragma once

#include "link/linkstate.h"
#include "platform/testhooks.h"
#include "platform/userint.h"
#include "runtime/formatio.h"
#include "runtime/serialports.h"
#include "runtime/utility.h"
#include "sim/simsensor.h"
#include "tests/test_support.h"
#include "vexa/livedata.h"
#include "vexa/paravars.h"
#include "vexa/program.h"
#include "vexa/startup.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QFile>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace vexatest {

enum class Transport { Tcp, Pty };

// The serial port number the tests put the pseudo-terminal behind.
constexpr int kTestComPort = 5;

// Every frame the program sent, oldest first.
inline std::vector<sim::Bytes> FramesToSensor(const sim::SimSensor &sensor) {
    std::vector<sim::Bytes> frames;
    for (const sim::CaptureEntry &e : sensor.capture())
        if (e.direction == sim::Direction::ToSensor) frames.push_back(e.bytes);
    return frames;
}

// The command code of a captured frame (0 for anything shorter than a frame head).
inline int CommandOf(const sim::Bytes &frame) {
    return frame.size() >= 4 ? frame[2] << 8 | frame[3] : 0;
}

inline std::vector<int> CommandsToSensor(const sim::SimSensor &sensor) {
    std::vector<int> codes;
    for (const sim::Bytes &f : FramesToSensor(sensor))
        codes.push_back(CommandOf(f));
    return codes;
}

inline int CountOf(const std::vector<int> &codes, int code) {
    return static_cast<int>(std::count(codes.begin(), codes.end(), code));
}

// A parameter set with a different value in every word, valid for every control.
inline sim::ParameterSet DistinctSet() {
    sim::ParameterSet s;
    s.params = {700, 1, 5, 1, 30, 200, 12, 1, 0, 0, 1234, 4321, 0xABCD, 13, 14, 65535};
    for (std::size_t r = 0; r < sim::kTeachRows; ++r)
        for (std::size_t j = 0; j < sim::kTeachValues; ++j)
            s.teach[r][j] = static_cast<uint16_t>(100 * r + j + 1);
    return s;
}

// How the test answers popups; every popup is recorded by the platform as well.
struct Answers {
    int confirm = 1;
    int generic = 1; // the first button: go on as if nothing had been asked
    int fileResult = VAL_NO_FILE_SELECTED;
    std::string filePath;
    std::function<void(const PopupRecord &)> onPopup;
};

class VexaRun {
  public:
    explicit VexaRun(Transport transport = Transport::Tcp) : m_transport(transport) {
        EXPECT_TRUE(m_dir.isValid());
        for (const char *file : {"VexaV32.uir", "orvena.png"})
            EXPECT_TRUE(QFile::copy(QString(VEXA_DIR) + "/" + file, m_dir.filePath(file))) << file;
        runtime::SetProjectDir(dir());
        vexaprogram::ResetVexa();
        ClearUnknownControlNames();
        ClearRecordedPopups();
        SetPopupResponder([this](const PopupRecord &p, std::string &path) {
            if (answers.onPopup) answers.onPopup(p);
            if (p.kind == PopupRecord::Confirm) return answers.confirm;
            if (p.kind == PopupRecord::Generic) return answers.generic;
            if (p.kind == PopupRecord::FileSelect) {
                path = answers.filePath;
                return answers.fileResult;
            }
            return 0;
        });
        if (transport == Transport::Tcp) {
            const int port = sensor.listenTcp();
            WriteSettings("1\r\n1\r\n127.0.0.1\r\n" + std::to_string(port) + "\r\n");
        } else {
            runtime::MapComPort(kTestComPort, sensor.openPty());
            WriteSettings("0\r\n" + std::to_string(kTestComPort) + "\r\n\r\n\r\n");
        }
    }

    ~VexaRun() {
        vexaprogram::EndVexa();
        runtime::MapComPort(kTestComPort, "");
        SetPopupResponder({});
        runtime::SetProjectDir("");
        EXPECT_TRUE(UnknownControlNames().empty())
            << "first unknown control: " << UnknownControlNames().front();
        // Let the discarded panels go.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // Starts the program as its entry does; result as StartVexa's.
    int start() { return vexaprogram::StartVexa(); }

    std::string dir() const { return m_dir.path().toStdString(); }
    std::string path(const std::string &file) const { return runtime::JoinPath(dir(), file); }

    // The messages shown so far, titles and texts joined as "title|text".
    std::vector<std::string> messages() const {
        std::vector<std::string> out;
        for (const PopupRecord &p : RecordedPopups())
            if (p.kind == PopupRecord::Message) out.push_back(p.title + "|" + p.text);
        return out;
    }

    // The questions asked so far, titles only.
    std::vector<std::string> questions() const {
        std::vector<std::string> out;
        for (const PopupRecord &p : RecordedPopups())
            if (p.kind == PopupRecord::Generic) out.push_back(p.title);
        return out;
    }

    sim::SimSensor sensor;
    Answers answers;

  private:
    void WriteSettings(const std::string &text) { WriteFileBytes(path("ComSettings.cfg"), text); }

    Transport m_transport;
    QTemporaryDir m_dir;
};

// ---- real input --------------------------------------------------------------

template <typename W = QWidget> W *Widget(int panel, const char *name) {
    auto *w = qobject_cast<W *>(CtrlWidget(panel, name));
    EXPECT_NE(w, nullptr) << name;
    return w;
}

inline void Click(int panel, const char *name) {
    QWidget *w = Widget(panel, name);
    if (w) QTest::mouseClick(w, Qt::LeftButton, Qt::NoModifier, w->rect().center());
}

inline void RightClick(int panel, const char *name) {
    QWidget *w = Widget(panel, name);
    if (w) QTest::mouseClick(w, Qt::RightButton, Qt::NoModifier, w->rect().center());
}

// Chooses a ring item the way a user does: focus, then arrow keys until it shows.
inline void ChooseItem(int panel, const char *name, int value) {
    auto *box = Widget<QComboBox>(panel, name);
    if (!box) return;
    const int target = box->findData(value);
    ASSERT_GE(target, 0) << name << " has no item " << value;
    box->setFocus();
    while (box->currentIndex() != target)
        QTest::keyClick(box, box->currentIndex() < target ? Qt::Key_Down : Qt::Key_Up);
}

// Types a number into a numeric control and confirms it with Enter.
inline void TypeNumber(int panel, const char *name, int value) {
    auto *spin = Widget<QSpinBox>(panel, name);
    if (!spin) return;
    spin->setFocus();
    spin->selectAll();
    QTest::keyClicks(spin, QString::number(value));
    QTest::keyClick(spin, Qt::Key_Return);
}

// Clicks a button whose callback runs until something stops it: step() runs
// every few milliseconds inside the callback's event processing and returns
// true once it has done its part.
inline void ClickWhile(int panel, const char *name, const std::function<bool()> &step) {
    QTimer timer;
    timer.setInterval(2);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (step()) timer.stop();
    });
    timer.start();
    Click(panel, name);
    timer.stop();
}

// Types a value into a grid cell as a person does: F2, the number, Enter.
inline void EditCell(int col, int row, int value) {
    auto *table = Widget<QTableWidget>(vexaprogram::vexa.ttpanel, "GridCtt");
    ASSERT_TRUE(ActivateWindowOf(table));
    table->setFocus();
    table->setCurrentCell(row - 1, col - 1);
    QTest::keyClick(table, Qt::Key_F2);
    // This cell's editor: the one of the cell edited before may still wait for its deletion.
    auto *editor = qobject_cast<QSpinBox *>(table->indexWidget(table->currentIndex()));
    ASSERT_NE(editor, nullptr);
    editor->selectAll();
    QTest::keyClicks(editor, QString::number(value));
    QTest::keyClick(editor, Qt::Key_Return);
    // The view takes the editor's value once its own events have run.
    EXPECT_TRUE(WaitFor([&] {
        int v = -1;
        GetTableCellVal(vexaprogram::vexa.ttpanel, "GridCtt", MakePoint(col, row), v);
        return v == value;
    }));
}

inline int Val(int panel, const char *name) {
    int v = -1;
    EXPECT_EQ(GetCtrlVal(panel, name, v), 0) << name;
    return v;
}

inline int Attr(int panel, const char *name, int attribute) {
    int v = -1;
    EXPECT_EQ(GetCtrlAttribute(panel, name, attribute, v), 0) << name;
    return v;
}

inline int Cell(int col, int row) {
    int v = -1;
    GetTableCellVal(vexaprogram::vexa.ttpanel, "GridCtt", MakePoint(col, row), v);
    return v;
}

// Presses Go and, once the sensor has had n more frames, Stop; returns when polling has ended.
inline void PollFrames(const sim::SimSensor &sensor, long n) {
    const long start = sensor.framesReceived();
    ClickWhile(vexaprogram::vexa.mainpanel, "ButtonGo", [&] {
        if (sensor.framesReceived() - start < n) return false;
        Click(vexaprogram::vexa.mainpanel, "ButtonStop");
        return true;
    });
}

// Every help text of a table shows on a right click, with its title.
struct HelpCase {
    int vexaprogram::VexaState::*panel;
    const char *control;
    const char *title;
    const char *text;
};
template <std::size_t N> void ExpectHelpTexts(const HelpCase (&cases)[N]) {
    for (const HelpCase &h : cases) {
        ClearRecordedPopups();
        RightClick(vexaprogram::vexa.*h.panel, h.control);
        ASSERT_EQ(RecordedPopups().size(), 1u) << h.control;
        EXPECT_EQ(RecordedPopups()[0].title, h.title) << h.control;
        EXPECT_EQ(RecordedPopups()[0].text, h.text) << h.control;
    }
}

// The resource file with the first text from after anchor replaced, so that a
// test can give a control another range.
inline void PatchForm(const VexaRun &run, const std::string &anchor, const std::string &from,
                      const std::string &to) {
    std::string form = ReadFileBytes(run.path("VexaV32.uir"));
    const auto at = form.find(from, form.find(anchor));
    ASSERT_NE(at, std::string::npos) << from;
    form.replace(at, from.size(), to);
    WriteFileBytes(run.path("VexaV32.uir"), form);
}

} // namespace vexatest
