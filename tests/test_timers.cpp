// The run-time's timers: one heap per thread behind a single Qt timer.
#include "runtime/timers.h"
#include "test_support.h"

#include <QSocketNotifier>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <vector>

using namespace std::chrono_literals;
using runtime::LoopTimer;

namespace {

TEST(LoopTimer, FireInOrderOfDeadlineAndStoppedOnesNever) {
    std::vector<int> fired;
    std::vector<std::unique_ptr<LoopTimer>> timers;
    // Started out of order, with equal deadlines among them, and two stopped again.
    const int delays[] = {40, 10, 30, 10, 20, 50, 0};
    const auto start = LoopTimer::Clock::now();
    for (int i = 0; i < 7; ++i) {
        timers.push_back(std::make_unique<LoopTimer>());
        timers.back()->setHandler([&fired, i] { fired.push_back(i); });
        timers.back()->startAt(start + std::chrono::milliseconds(delays[i]));
    }
    timers[2]->stop();
    timers[5]->stop();
    ASSERT_TRUE(WaitFor([&] { return fired.size() >= 5; }));
    EXPECT_EQ(fired, (std::vector<int>{6, 1, 3, 4, 0}));
    EXPECT_FALSE(timers[2]->active());
}

TEST(LoopTimer, HandlerMayRestartItselfAndEndOthers) {
    LoopTimer ticker, victim, late;
    int ticks = 0;
    bool victimFired = false, lateFired = false;
    ticker.setHandler([&] {
        if (++ticks == 1) victim.stop();  // due at the same moment, not run yet
        if (ticks < 3) ticker.start(0ms); // due now: runs at the next turn, not in a loop
    });
    victim.setHandler([&] { victimFired = true; });
    late.setHandler([&] { lateFired = true; });
    ticker.start(5ms);
    victim.startAt(ticker.deadline());
    late.start(30ms);
    ASSERT_TRUE(WaitFor([&] { return lateFired; }));
    EXPECT_EQ(ticks, 3);
    EXPECT_FALSE(victimFired);
}

TEST(LoopTimer, ATimerDestroyedWhileWaitingNeverFires) {
    bool fired = false, other = false;
    auto doomed = std::make_unique<LoopTimer>();
    doomed->setHandler([&] { fired = true; });
    doomed->start(5ms);
    LoopTimer after;
    after.setHandler([&] { other = true; });
    after.start(20ms);
    doomed.reset();
    ASSERT_TRUE(WaitFor([&] { return other; }));
    EXPECT_FALSE(fired);
}

TEST(LoopTimer, FiresNearItsDeadlineAlsoFarAhead) {
    // A later start must not push an earlier deadline back, nor an earlier one wait for a later.
    LoopTimer far, near;
    LoopTimer::Clock::time_point firedAt{};
    far.setHandler([] {});
    far.start(1h);
    near.setHandler([&] { firedAt = LoopTimer::Clock::now(); });
    near.start(30ms);
    ASSERT_TRUE(WaitFor([&] { return firedAt != LoopTimer::Clock::time_point{}; }));
    EXPECT_GE(firedAt, near.deadline());
    EXPECT_TRUE(far.active());
}

// Thousands of sensors due at once (after a stall) take several turns of the loop, so
// that a descriptor that became ready meanwhile (a Modbus request) is served between
// them instead of after all; every one of them still fires, in order.
TEST(LoopTimer, ManyDueAtOnceLetTheLoopServeDescriptorsBetweenBatches) {
    int pair[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
    bool served = false;
    QSocketNotifier notifier(pair[1], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
        char byte;
        EXPECT_EQ(read(pair[1], &byte, 1), 1);
        served = true;
    });
    constexpr int kDue = 1000;
    std::vector<int> fired;
    int afterServed = 0;
    std::vector<std::unique_ptr<LoopTimer>> timers;
    const auto now = LoopTimer::Clock::now();
    for (int i = 0; i < kDue; ++i) {
        timers.push_back(std::make_unique<LoopTimer>());
        timers.back()->setHandler([&, i] {
            if (i == 0) { // the request comes with the first
                EXPECT_EQ(write(pair[0], "x", 1), 1);
            }
            afterServed += served;
            fired.push_back(i);
        });
        timers.back()->startAt(now);
    }
    ASSERT_TRUE(WaitFor([&] { return fired.size() == std::size_t(kDue); }));
    EXPECT_TRUE(served);
    EXPECT_GT(afterServed, 0) << "the descriptor waited for every timer";
    EXPECT_TRUE(std::is_sorted(fired.begin(), fired.end()));
    close(pair[0]);
    close(pair[1]);
}

} // namespace
