// The live-data cycle of one sensor against the simulated sensor on loopback:
// how it backs off when the sensor fails and how soon it is back.
#include "ctl/livepoller.h"
#include "runtime/utility.h"
#include "sim/simsensor.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using ctl::LivePoller;

namespace {

constexpr int kDataCommand = 5;

ctl::Target TargetOn(int port) {
    ctl::Target target;
    std::string problem;
    EXPECT_TRUE(ctl::ParseTarget("tcp://127.0.0.1:" + std::to_string(port), "s", target, problem)) << problem;
    return target;
}

TEST(LivePoller, BackoffStaysWithinItsCeilingWithJitter) {
    for (const double ceiling : {1.0, 10.0}) {
        ctl::Backoff backoff(0.5, ceiling);
        double longest = 0;
        for (int i = 0; i < 40; ++i)
            longest = std::max(longest, backoff.next());
        EXPECT_LE(longest, ceiling * 1.2) << ceiling;
        EXPECT_GE(longest, ceiling * 0.8) << ceiling;
    }
}

TEST(LivePoller, ASensorThatAnswersOnlyItsVersionBacksOffInsteadOfFlapping) {
    sim::SimSensor sensor;
    const int port = sensor.listenTcp();
    // Every data request ends the connection at once: the poller connects, and fails at the first sample.
    sensor.setFault({.kind = sim::FaultKind::CloseConnection, .command = kDataCommand, .persistent = true});
    LivePoller poller(TargetOn(port), 0.0);
    poller.setReconnectMax(2.0);
    std::vector<double> attempts; // when each connection was made
    poller.onState = [&](LivePoller::State state, const std::string &) {
        if (state == LivePoller::State::Online) attempts.push_back(runtime::Timer());
    };
    poller.start();
    ASSERT_TRUE(WaitFor([&] { return attempts.size() >= 5; }, 20.0));
    poller.stop();
    // Pauses of 0.5, 1, 2, 2 s (each +-20 %): never back to the first one.
    EXPECT_GE(attempts[4] - attempts[3], 1.5);
    EXPECT_GE(attempts[3] - attempts[2], 1.5);
    EXPECT_EQ(poller.counts().samples, 0);
    // Counted as ended connections, not as sensors that did not answer.
    EXPECT_GE(poller.counts().closed, 4);
    EXPECT_EQ(poller.counts().timeouts, 0);
}

TEST(LivePoller, ASensorBackAfterALongOutageIsServedWithinTheCeiling) {
    auto sensor = std::make_unique<sim::SimSensor>();
    const int port = sensor->listenTcp();
    LivePoller poller(TargetOn(port), 0.2);
    poller.setReconnectMax(1.0);
    poller.start();
    ASSERT_TRUE(WaitFor([&] { return poller.counts().samples > 0; }));
    sensor.reset(); // the outage: every attempt is refused, the pauses reach their ceiling
    ASSERT_TRUE(WaitFor([&] { return poller.state() == LivePoller::State::Offline; }));
    const double outageStart = runtime::Timer();
    ASSERT_TRUE(WaitFor([&] { return runtime::Timer() - outageStart > 4.0; }, 6.0));
    sensor = std::make_unique<sim::SimSensor>();
    sensor->listenTcp(port);
    // Within the ceiling plus its jitter and a connect.
    EXPECT_TRUE(WaitFor([&] { return poller.state() == LivePoller::State::Online; }, 2.0));
    EXPECT_GE(poller.counts().reconnects, 1);
}

} // namespace
