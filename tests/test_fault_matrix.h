// The fault matrix shared by both programs: the faults the simulated sensor
// injects, what each kind of exchange must make of them, the longest wait a
// run may hold, and the table of outcomes printed when the binary ends.
#pragma once

#include "link/linkstate.h"
#include "sim/simsensor.h"
#include "tests/test_support.h"

#include <QCoreApplication>
#include <algorithm>
#include <cstdio>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

namespace matrix {

// The faults, in column order.
enum class FaultId { NoAnswer, Short, Long, Marker, Code, Corrupt, Inside, Beyond, Closed, Unsolicited };
constexpr int kFaults = 10;

// How an exchange treats its answer.
enum class Answer {
    Echo,      // the answer must repeat the command (writes, EEPROM load and store, block commands)
    Version,   // 36 bytes taken as text, whatever they hold
    Read,      // parameters or a teach row; a wrong marker or code is ignored
    Data,      // a data frame; nothing in it is checked
    Triggered, // auto-sent frames without time-out; a wrong marker or length is dropped
};
constexpr int kAnswers = 5;

// What the program makes of a faulty answer.
enum class Outcome {
    Timeout, // "TIMEOUT", connection panel shown, the operation stopped at that frame
    Taken,   // taken as it came: nothing the program can or must notice
    Ignored, // left aside, the operation went on
    Waits,   // the link is gone; the triggered recording waits until it is stopped
};

// Slack allowed beyond a time-out for the event loop and a loaded machine.
constexpr double kMargin = 1.5;

inline const char *FaultName(FaultId f) {
    static const char *const names[kFaults] = {"no answer", "short",  "long",   "marker", "code",
                                               "corrupt",   "inside", "beyond", "closed", "unsolicited"};
    return names[static_cast<int>(f)];
}

inline const char *OutcomeName(Outcome o) {
    static const char *const names[] = {"TIMEOUT", "taken", "ignored", "waits"};
    return names[static_cast<int>(o)];
}

// Where a fault hits and how long the program waits there.
struct Target {
    int command;             // command code whose answer is hit (sim::Fault::kAutoSendFrames for auto-send)
    int frame;               // n-th command frame after arming (0 = the next one of that command)
    double timeout;          // the program's answer wait in seconds
    std::size_t corruptByte; // the answer byte the corruption inverts
};

// The one-shot fault f aimed at target t; delays fall 0.3 s inside and 0.5 s beyond the time-out.
inline sim::Fault MakeFault(FaultId f, const Target &t) {
    using K = sim::FaultKind;
    static const K kinds[kFaults] = {K::NoAnswer,        K::ShortAnswer,     K::LongAnswer, K::WrongMarker,
                                     K::WrongCommand,    K::CorruptEcho,     K::Delay,      K::Delay,
                                     K::CloseConnection, K::UnsolicitedBytes};
    sim::Fault fault{.kind = kinds[static_cast<int>(f)], .command = t.command, .frame = t.frame};
    fault.byteIndex = t.corruptByte;
    fault.delayMs = static_cast<int>(t.timeout * 1000) + (f == FaultId::Inside ? -300 : 500);
    return fault;
}

// What the program must make of fault f on an exchange of kind a: one row per
// fault, one column per kind of answer (Echo, Version, Read, Data, Triggered),
// first over a serial line, then over TCP.
inline Outcome Expected(Answer a, FaultId f, bool tcp) {
    constexpr Outcome T = Outcome::Timeout, K = Outcome::Taken, I = Outcome::Ignored, W = Outcome::Waits;
    // A serial wait for an answer reads all that is queued, so any surplus byte fails
    // it; a TCP wait takes 36 bytes and drops what follows. Auto-sent frames are taken
    // 36 bytes at a time: a short one is completed by the first byte of the next one, a
    // long one leaves its surplus to the next; the words of both are whole.
    static const Outcome serial[kFaults][kAnswers] = {
        {T, T, T, T, I}, {T, T, T, T, K}, {T, T, T, T, K}, {T, K, I, K, I}, {T, K, I, K, K},
        {T, K, K, K, K}, {K, K, K, K, K}, {T, T, T, T, K}, {T, T, T, T, I}, {T, T, T, T, I},
    };
    static const Outcome overTcp[kFaults][kAnswers] = {
        {T, T, T, T, I}, {T, T, T, T, K}, {K, K, K, K, K}, {T, K, I, K, I}, {T, K, I, K, K},
        {T, K, K, K, K}, {K, K, K, K, K}, {T, T, T, T, K}, {T, T, T, T, W}, {T, K, I, K, I},
    };
    return (tcp ? overTcp : serial)[static_cast<int>(f)][static_cast<int>(a)];
}

// The command frames the sensor received since from, with their arrival times.
inline std::vector<sim::CaptureEntry> FramesSince(const sim::SimSensor &sensor, double from) {
    std::vector<sim::CaptureEntry> frames;
    for (const sim::CaptureEntry &e : sensor.capture())
        if (e.direction == sim::Direction::ToSensor && e.seconds >= from) frames.push_back(e);
    return frames;
}

// The longest stretch between two command frames the sensor received in
// [from, to], or between the last of them and to: the longest wait of a run.
inline double LongestWait(const sim::SimSensor &sensor, double from, double to) {
    double last = from, longest = 0;
    for (const sim::CaptureEntry &e : FramesSince(sensor, from)) {
        longest = std::max(longest, e.seconds - last);
        last = e.seconds;
    }
    return std::max(longest, to - last);
}

// Sensor clock time of the n-th command frame (0-based) received since from; -1 if none.
inline double FrameTime(const sim::SimSensor &sensor, double from, int n) {
    const auto frames = FramesSince(sensor, from);
    return n < static_cast<int>(frames.size()) ? frames[static_cast<std::size_t>(n)].seconds : -1;
}

// The first 36 bytes the sensor sent after the n-th command frame (0-based) it
// received since from and before the next one: what the wait for its answer took.
inline sim::Bytes AnswerTo(const sim::SimSensor &sensor, double from, int n) {
    sim::Bytes bytes;
    int seen = -1;
    for (const sim::CaptureEntry &e : sensor.capture()) {
        if (e.seconds < from) continue;
        if (e.direction == sim::Direction::ToSensor) {
            if (++seen > n) break;
        } else if (seen == n) {
            bytes.insert(bytes.end(), e.bytes.begin(), e.bytes.end());
        }
    }
    if (bytes.size() > sim::kFrameBytes) bytes.resize(sim::kFrameBytes);
    return bytes;
}

// Word j of a byte string, high byte first (0 beyond its end).
inline uint16_t WordOf(const sim::Bytes &bytes, int j) {
    const auto at = static_cast<std::size_t>(2 * j);
    return at + 1 < bytes.size() ? static_cast<uint16_t>(bytes[at] << 8 | bytes[at + 1]) : 0;
}

// Waits until an answer sent late (fault Beyond) has gone out, so that the next
// attempt does not meet it: it then lies in the serial queue, which every
// attempt empties first, or has been taken by the TCP callback.
inline void AwaitLateAnswer(const sim::SimSensor &sensor, FaultId f, const Target &t, double faultFrameTime,
                            bool tcp) {
    if (f != FaultId::Beyond || faultFrameTime < 0) return;
    const double due = faultFrameTime + t.timeout + 0.4;
    EXPECT_TRUE(WaitFor(
        [&] {
            const auto c = sensor.capture();
            return std::any_of(c.begin(), c.end(), [&](const sim::CaptureEntry &e) {
                return e.direction == sim::Direction::FromSensor && e.seconds >= due;
            });
        },
        t.timeout + 2))
        << "the late answer never went out";
    if (tcp) {
        EXPECT_TRUE(WaitFor([] { return programlink::LinkSensor().bytesToRead() <= 0; }, 2.0));
    }
}

// The outcomes of the scenarios this binary ran, printed as a table when it ends.
class Table {
  public:
    // Records one scenario: title (program and link), row (exchange), column
    // (fault), what happened and whether every check held.
    static void Add(const std::string &title, const std::string &row, FaultId fault, Outcome observed,
                    bool survived) {
        Section &s = sections()[title];
        if (std::find(s.rows.begin(), s.rows.end(), row) == s.rows.end()) s.rows.push_back(row);
        s.cells[{row, static_cast<int>(fault)}] = {observed, survived};
    }

    // Prints every table with its count of survivors, and writes it to
    // <binary>.matrix.txt in the working directory for CI to collect; a cell that
    // failed a check is marked "!".
    static void Print() {
        std::string text;
        for (const auto &[title, s] : sections()) {
            int survived = 0;
            text += "\nFault matrix: " + title + "\n" + Padded("exchange", 34);
            for (int f = 0; f < kFaults; ++f)
                text += " " + Padded(FaultName(static_cast<FaultId>(f)), 11);
            for (const std::string &row : s.rows) {
                text += "\n" + Padded(row, 34);
                for (int f = 0; f < kFaults; ++f) {
                    const auto cell = s.cells.find({row, f});
                    std::string mark = "-";
                    if (cell != s.cells.end()) {
                        mark =
                            std::string(cell->second.survived ? "" : "!") + OutcomeName(cell->second.outcome);
                        survived += cell->second.survived;
                    }
                    text += " " + Padded(mark, 11);
                }
            }
            text += "\nsurvived " + std::to_string(survived) + " / " + std::to_string(s.cells.size()) + "\n";
        }
        std::fputs(text.c_str(), stdout);
        std::fflush(stdout);
        WriteFileBytes(QCoreApplication::applicationName().toStdString() + ".matrix.txt", text);
    }

  private:
    static std::string Padded(const std::string &text, std::size_t width) {
        return text + std::string(width > text.size() ? width - text.size() : 0, ' ');
    }
    struct Cell {
        Outcome outcome;
        bool survived;
    };
    struct Section {
        std::vector<std::string> rows;
        std::map<std::pair<std::string, int>, Cell> cells;
    };
    static std::map<std::string, Section> &sections() {
        static std::map<std::string, Section> all;
        return all;
    }
};

// Prints the tables once every scenario has run.
class TablePrinter : public ::testing::Environment {
  public:
    void TearDown() override { Table::Print(); }
};
inline ::testing::Environment *const kTablePrinter = ::testing::AddGlobalTestEnvironment(new TablePrinter);

// One scenario: an exchange of a program, a fault, a link.
struct Scenario {
    int exchange;
    FaultId fault;
    bool tcp;
};

// Every fault on each of the given exchanges, over one link.
inline std::vector<Scenario> Scenarios(const std::vector<int> &exchanges, bool tcp) {
    std::vector<Scenario> all;
    for (int e : exchanges)
        for (int f = 0; f < kFaults; ++f)
            all.push_back({e, static_cast<FaultId>(f), tcp});
    return all;
}

} // namespace matrix
