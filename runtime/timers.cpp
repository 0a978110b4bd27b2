#include "runtime/timers.h"

#include <QTimer>

#include <algorithm>
#include <random>
#include <vector>

namespace runtime {

// The thread's timers, ordered by deadline in a binary heap; each knows its place
// so that stopping one costs O(log n). It lives while it has timers, so that none
// outlives the application object.
class TimerHeap {
  public:
    using Clock = LoopTimer::Clock;

    static TimerHeap &OfThisThread() {
        if (!instance) instance = new TimerHeap;
        return *instance;
    }
    static TimerHeap *Existing() { return instance; }

    void insert(LoopTimer *t) {
        t->m_order = m_nextOrder++;
        t->m_index = m_heap.size();
        m_heap.push_back(t);
        up(t->m_index);
        armIfEarlier();
    }
    void erase(LoopTimer *t) {
        const std::size_t index = t->m_index;
        t->m_index = LoopTimer::kIdle;
        LoopTimer *last = m_heap.back();
        m_heap.pop_back();
        if (last != t) {
            place(index, last);
            up(index);
            down(last->m_index);
        }
        // A timer armed for a deadline that went finds nothing due and sets itself again.
        endWhenUnused();
    }

  private:
    TimerHeap() {
        m_driver.setSingleShot(true);
        // Precise: Qt rounds coarse timers of 20 s and more to whole seconds.
        m_driver.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_driver, &QTimer::timeout, [this] { expire(); });
    }

    static bool earlier(const LoopTimer *a, const LoopTimer *b) {
        return a->m_deadline < b->m_deadline || (a->m_deadline == b->m_deadline && a->m_order < b->m_order);
    }
    void place(std::size_t index, LoopTimer *t) {
        m_heap[index] = t;
        t->m_index = index;
    }
    void up(std::size_t index) {
        LoopTimer *t = m_heap[index];
        while (index > 0) {
            const std::size_t parent = (index - 1) / 2;
            if (!earlier(t, m_heap[parent])) break;
            place(index, m_heap[parent]);
            index = parent;
        }
        place(index, t);
    }
    void down(std::size_t index) {
        LoopTimer *t = m_heap[index];
        const std::size_t n = m_heap.size();
        for (;;) {
            std::size_t child = 2 * index + 1;
            if (child >= n) break;
            if (child + 1 < n && earlier(m_heap[child + 1], m_heap[child])) ++child;
            if (!earlier(m_heap[child], t)) break;
            place(index, m_heap[child]);
            index = child;
        }
        place(index, t);
    }

    // Sets the driver for the earliest deadline when it is earlier than what the
    // driver waits for; a later one is found when the driver fires.
    void armIfEarlier() {
        if (m_dispatching || m_heap.empty()) return;
        const Clock::time_point earliest = m_heap.front()->m_deadline;
        if (m_driver.isActive() && earliest >= m_armedFor) return;
        arm(earliest);
    }
    void arm(Clock::time_point earliest) {
        m_armedFor = earliest;
        const auto wait = earliest - Clock::now();
        // Rounded up: a driver that fires before the deadline would only set itself again.
        const auto ms = std::chrono::ceil<std::chrono::milliseconds>(wait).count();
        m_driver.start(static_cast<int>(std::clamp<long long>(ms, 0, 24LL * 3600 * 1000)));
    }
    void expire() {
        ++m_dispatching;
        const Clock::time_point now = Clock::now();
        const std::uint64_t startedBefore = m_nextOrder;
        // Only what was due on entry: a handler that starts a timer for now runs at the next turn.
        // At most a batch per turn: after a stall thousands of sensors may be due at once, and a
        // request on a listener must not wait for all of them. The rest are due at the next turn.
        for (int ran = 0; ran < kPerTurn && !m_heap.empty() && m_heap.front()->m_deadline <= now &&
                          m_heap.front()->m_order < startedBefore;
             ++ran) {
            LoopTimer *t = m_heap.front();
            erase(t);
            LoopTimer::Handler handler = t->m_handler; // the timer may go inside its own handler
            if (handler) handler();
        }
        --m_dispatching;
        if (!m_heap.empty())
            arm(m_heap.front()->m_deadline);
        else
            endWhenUnused();
    }
    void endWhenUnused() {
        if (!m_heap.empty() || m_dispatching) return;
        instance = nullptr;
        delete this;
    }

    static constexpr int kPerTurn = 64; // as the descriptor loop's events per turn

    static thread_local TimerHeap *instance;
    std::vector<LoopTimer *> m_heap;
    QTimer m_driver;
    Clock::time_point m_armedFor{};
    std::uint64_t m_nextOrder = 0;
    int m_dispatching = 0;
};

thread_local TimerHeap *TimerHeap::instance = nullptr;

LoopTimer::~LoopTimer() {
    stop();
}

void LoopTimer::start(Clock::duration delay) {
    startAt(Clock::now() + delay);
}

void LoopTimer::startSeconds(double seconds) {
    start(std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds)));
}

void LoopTimer::startAt(Clock::time_point when) {
    stop();
    m_deadline = when;
    TimerHeap::OfThisThread().insert(this);
}

void LoopTimer::stop() {
    if (m_index == kIdle) return;
    TimerHeap::Existing()->erase(this);
}

double Jittered(double base) {
    thread_local std::minstd_rand random(std::random_device{}());
    return base * std::uniform_real_distribution<double>(0.8, 1.2)(random);
}

} // namespace runtime
