// Timers of the event loop that cost O(log n) each, however many there are: one
// heap of deadlines per thread driven by a single Qt timer set for the earliest
// one. A QTimer per sensor puts every sensor into Qt's own timer list, where
// stopping one searches the list, which at thousands of sensors costs more than
// the work itself.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

namespace runtime {

// One single-shot timer. Its handler runs from the event loop of the thread that
// started it and may start or stop any timer, itself included.
class LoopTimer {
  public:
    using Clock = std::chrono::steady_clock;
    using Handler = std::function<void()>;

    LoopTimer() = default;
    ~LoopTimer();
    LoopTimer(const LoopTimer &) = delete;
    LoopTimer &operator=(const LoopTimer &) = delete;

    // What runs when the timer expires; set once, before the first start.
    void setHandler(Handler handler) { m_handler = std::move(handler); }
    // Expires after delay (from now), replacing an earlier start.
    void start(Clock::duration delay);
    // Expires after the given seconds (from now), replacing an earlier start.
    void startSeconds(double seconds);
    // Expires at when, replacing an earlier start.
    void startAt(Clock::time_point when);
    // Will not expire until started again.
    void stop();
    bool active() const { return m_index != kIdle; }
    Clock::time_point deadline() const { return m_deadline; }

  private:
    friend class TimerHeap;
    static constexpr std::size_t kIdle = ~std::size_t(0);

    Clock::time_point m_deadline{};
    std::uint64_t m_order = 0; // among equal deadlines, the earlier start fires first
    std::size_t m_index = kIdle;
    Handler m_handler;
};

// base, plus or minus 20 %: sensors and broker clients that lost their peer
// together do not all come back in the same instant.
double Jittered(double base);
template <typename Rep, typename Period>
std::chrono::duration<Rep, Period> Jittered(std::chrono::duration<Rep, Period> base) {
    return std::chrono::duration_cast<std::chrono::duration<Rep, Period>>(base * Jittered(1.0));
}

} // namespace runtime
