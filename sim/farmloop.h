// The thread that serves simulated sensors: one epoll set for all their descriptors,
// one timer for the earliest deadline among them and one pipe to wake it, so that a
// thousand sensors cost one thread and a handful of descriptors beyond their sockets.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <set>
#include <thread>
#include <unordered_map>
#include <vector>

namespace sim {

// What the loop serves: a sensor's reaction to its descriptors and its deadlines.
class FarmMember {
  public:
    using Clock = std::chrono::steady_clock;
    // Handles what is readable (bit n set: the descriptor watched with role n) and what
    // is due; returns when the member next needs serving without an event
    // (Clock::time_point::max() for never). Runs on the loop's thread, lock held.
    virtual Clock::time_point serve(unsigned readable) = 0;

  protected:
    ~FarmMember() = default;
};

class FarmLoop {
  public:
    using Clock = FarmMember::Clock;
    // Roles a member gives its descriptors; at most this many per member.
    static constexpr unsigned kRoles = 4;

    // Starts the thread. Throws std::runtime_error when the kernel refuses a descriptor.
    FarmLoop();
    // Stops the thread; every member has left by then.
    ~FarmLoop();
    FarmLoop(const FarmLoop &) = delete;
    FarmLoop &operator=(const FarmLoop &) = delete;

    // Guards the loop and every member's state; the thread holds it except while waiting.
    std::mutex &mutex() { return m_mutex; }

    // The functions below are called with mutex() held.

    // Adds a member; returns the key it is known by from now on.
    std::uint64_t join(FarmMember *member);
    // Removes a member: it is never served again, even for events already reported.
    void leave(std::uint64_t key);
    // Watches fd for reading, and for writing when `writable`; adds or changes the watch.
    void watch(std::uint64_t key, unsigned role, int fd, bool writable);
    // Stops watching fd (before it is closed).
    void unwatch(int fd);
    // Has the member served soon, outside of its events and deadlines.
    void poke(std::uint64_t key);
    // Number of members.
    std::size_t size() const { return m_members.size(); }

  private:
    struct Member {
        FarmMember *member;
        Clock::time_point deadline = Clock::time_point::max();
        unsigned readable = 0;
        bool queued = false;
    };

    void run();
    void wake();
    void queue(std::uint64_t key, unsigned readable);
    void note(std::uint64_t data, std::uint32_t events);
    void queueDue(Clock::time_point now);
    void serveQueued();
    void setDeadline(std::uint64_t key, Member &m, Clock::time_point deadline);
    void armTimer();

    std::mutex m_mutex;
    std::unordered_map<std::uint64_t, Member> m_members;
    std::set<std::pair<Clock::time_point, std::uint64_t>> m_deadlines;
    std::vector<std::uint64_t> m_queue; // members to serve in this round
    std::uint64_t m_nextKey = 1;        // key 0 marks the loop's own descriptors
    Clock::time_point m_timerSetFor = Clock::time_point::max();
    bool m_woken = false; // a wake byte is in the pipe
    bool m_stop = false;
    int m_epoll = -1;
    int m_timer = -1;
    int m_wakePipe[2] = {-1, -1};
    std::thread m_thread;
};

} // namespace sim
