// The run-time's descriptor loop: one epoll set per thread behind a single socket
// notifier, with edge-triggered watches (the sensors' links) and level-triggered
// ones (the MQTT clients' sockets, read a packet at a time, in a set of their own
// inside it) side by side.
#include "runtime/ioloop.h"
#include "test_support.h"

#include <QCoreApplication>
#include <QDir>
#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <memory>
#include <unistd.h>
#include <vector>

using runtime::IoTrigger;
using runtime::IoWatch;

namespace {

class Pipe {
  public:
    Pipe() { EXPECT_EQ(pipe2(m_fds, O_NONBLOCK | O_CLOEXEC), 0); }
    ~Pipe() {
        ::close(m_fds[0]);
        ::close(m_fds[1]);
    }
    int readEnd() const { return m_fds[0]; }
    int writeEnd() const { return m_fds[1]; }
    void put(const char *bytes) {
        ASSERT_EQ(::write(m_fds[1], bytes, strlen(bytes)), ssize_t(strlen(bytes)));
    }

  private:
    int m_fds[2] = {-1, -1};
};

int OpenDescriptorCount() {
    return static_cast<int>(QDir("/proc/self/fd").entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size());
}

// Turns of the event loop that look at ready descriptors without waiting for any.
void Turns(int count) {
    for (int i = 0; i < count; ++i)
        QCoreApplication::processEvents();
}

TEST(IoWatch, BytesLeftUnreadRepeatOnlyForALevelWatch) {
    struct Case {
        IoTrigger trigger;
        bool repeats;
    };
    for (const Case c : {Case{IoTrigger::Edge, false}, Case{IoTrigger::Level, true}}) {
        SCOPED_TRACE(c.repeats ? "level" : "edge");
        Pipe pipe;
        int calls = 0;
        IoWatch watch;
        // A reader that takes one byte a time, as a library reading a packet at a time does.
        ASSERT_TRUE(watch.watch(
            pipe.readEnd(), false,
            [&](unsigned events) {
                EXPECT_TRUE(events & runtime::kIoReadable);
                char byte;
                if (::read(pipe.readEnd(), &byte, 1) == 1) ++calls;
            },
            c.trigger));
        pipe.put("abc");
        ASSERT_TRUE(WaitFor([&] { return calls >= 1; }));
        Turns(10);
        EXPECT_EQ(calls, c.repeats ? 3 : 1);
        pipe.put("d"); // something new wakes either kind
        ASSERT_TRUE(WaitFor([&] { return calls >= (c.repeats ? 4 : 2); }));
    }
}

TEST(IoWatch, LevelWatchAsksForRoomToWriteOnlyWhileItWantsTo) {
    Pipe pipe;
    int writable = 0;
    IoWatch watch;
    ASSERT_TRUE(watch.watch(
        pipe.writeEnd(), true, [&](unsigned events) { writable += (events & runtime::kIoWritable) != 0; },
        IoTrigger::Level));
    ASSERT_TRUE(WaitFor([&] { return writable >= 3; }));
    watch.wantWrite(false);
    const int before = writable;
    Turns(10);
    EXPECT_EQ(writable, before);
    watch.wantWrite(true);
    EXPECT_TRUE(WaitFor([&] { return writable > before; }));
}

TEST(IoWatch, WatchesOfBothKindsShareOneLoopAndEndEachOther) {
    Pipe edgePipe, levelPipe;
    IoWatch edge, level;
    int edgeCalls = 0, levelCalls = 0;
    ASSERT_TRUE(edge.watch(edgePipe.readEnd(), false, [&](unsigned) { ++edgeCalls, level.clear(); }));
    const int descriptors = OpenDescriptorCount();
    ASSERT_TRUE(level.watch(
        levelPipe.readEnd(), false, [&](unsigned) { ++levelCalls; }, IoTrigger::Level));
    EXPECT_EQ(OpenDescriptorCount(), descriptors + 1) << "the level-triggered set, inside the thread's set";
    edgePipe.put("x");
    ASSERT_TRUE(WaitFor([&] { return edgeCalls == 1; }));
    EXPECT_FALSE(level.active());
    levelPipe.put("y"); // its watch has ended: nothing runs
    Turns(10);
    EXPECT_EQ(levelCalls, 0);
    EXPECT_FALSE(edge.watch(-1, false, [](unsigned) {})) << "no descriptor, no watch";
}

TEST(IoWatch, ALevelWatchIsServedInATurnThatCannotTakeEveryReadyEdgeWatch) {
    // Eighty sensors ready before one MQTT socket: more than one turn takes.
    constexpr int kSensors = 80;
    std::vector<std::unique_ptr<Pipe>> pipes;
    std::vector<std::unique_ptr<IoWatch>> sensors;
    int sensorCalls = 0, sensorCallsBeforeLevel = -1;
    for (int i = 0; i < kSensors; ++i) {
        pipes.push_back(std::make_unique<Pipe>());
        pipes.back()->put("s");
        sensors.push_back(std::make_unique<IoWatch>());
        ASSERT_TRUE(sensors.back()->watch(pipes.back()->readEnd(), false, [&](unsigned) { ++sensorCalls; }));
    }
    Pipe busy;
    busy.put("m");
    IoWatch level;
    ASSERT_TRUE(level.watch(
        busy.readEnd(), false,
        [&](unsigned) {
            if (sensorCallsBeforeLevel < 0) sensorCallsBeforeLevel = sensorCalls;
        },
        IoTrigger::Level));
    ASSERT_TRUE(WaitFor([&] { return sensorCalls == kSensors && sensorCallsBeforeLevel >= 0; }));
    EXPECT_LT(sensorCallsBeforeLevel, kSensors) << "the busy socket waited behind every sensor";
}

} // namespace
