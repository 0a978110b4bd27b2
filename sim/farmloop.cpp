#include "sim/farmloop.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/epoll.h>
#include <sys/timerfd.h>
#include <unistd.h>

namespace sim {

namespace {

// The loop's own descriptors carry key 0.
constexpr std::uint64_t kWakeData = 0;
constexpr std::uint64_t kTimerData = 1;
constexpr int kMaxEvents = 256;

void closeIfOpen(int fd) {
    if (fd >= 0) close(fd);
}

[[noreturn]] void fail(const char *what) {
    throw std::runtime_error(std::string(what) + ": " + std::strerror(errno));
}

} // namespace

FarmLoop::FarmLoop() {
    m_epoll = epoll_create1(EPOLL_CLOEXEC);
    m_timer = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (m_epoll < 0 || m_timer < 0 || pipe2(m_wakePipe, O_NONBLOCK | O_CLOEXEC) != 0) {
        const int err = errno;
        closeIfOpen(m_epoll);
        closeIfOpen(m_timer);
        errno = err;
        fail("cannot set up the sensors' service thread");
    }
    epoll_event wake{EPOLLIN, {.u64 = kWakeData}}, timer{EPOLLIN, {.u64 = kTimerData}};
    epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_wakePipe[0], &wake);
    epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_timer, &timer);
    m_thread = std::thread([this] { run(); });
}

FarmLoop::~FarmLoop() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
        wake();
    }
    m_thread.join();
    for (int fd : {m_epoll, m_timer, m_wakePipe[0], m_wakePipe[1]})
        closeIfOpen(fd);
}

std::uint64_t FarmLoop::join(FarmMember *member) {
    const std::uint64_t key = m_nextKey++;
    m_members.emplace(key, Member{member});
    return key;
}

void FarmLoop::leave(std::uint64_t key) {
    const auto it = m_members.find(key);
    if (it == m_members.end()) return;
    m_deadlines.erase({it->second.deadline, key});
    m_members.erase(it);
}

void FarmLoop::watch(std::uint64_t key, unsigned role, int fd, bool writable) {
    epoll_event e{EPOLLIN | (writable ? EPOLLOUT : 0u), {.u64 = key * kRoles + role}};
    if (epoll_ctl(m_epoll, EPOLL_CTL_MOD, fd, &e) != 0 && errno == ENOENT)
        epoll_ctl(m_epoll, EPOLL_CTL_ADD, fd, &e);
}

void FarmLoop::unwatch(int fd) {
    if (fd >= 0) epoll_ctl(m_epoll, EPOLL_CTL_DEL, fd, nullptr);
}

void FarmLoop::poke(std::uint64_t key) {
    queue(key, 0);
    wake();
}

void FarmLoop::wake() {
    if (m_woken) return;
    const char x = 1;
    m_woken = write(m_wakePipe[1], &x, 1) == 1;
}

void FarmLoop::queue(std::uint64_t key, unsigned readable) {
    const auto it = m_members.find(key);
    if (it == m_members.end()) return; // left since the event was reported
    Member &m = it->second;
    m.readable |= readable;
    if (!m.queued) m_queue.push_back(key);
    m.queued = true;
}

// The thread: waits for events, the timer or a wake-up, with the lock held except while waiting.
void FarmLoop::run() {
    std::unique_lock lock(m_mutex);
    epoll_event events[kMaxEvents];
    while (!m_stop) {
        armTimer();
        lock.unlock();
        const int n = epoll_wait(m_epoll, events, kMaxEvents, -1);
        lock.lock();
        for (int i = 0; i < n; ++i)
            note(events[i].data.u64, events[i].events);
        queueDue(Clock::now());
        serveQueued();
    }
}

void FarmLoop::note(std::uint64_t data, std::uint32_t events) {
    if (data == kWakeData) {
        char drain[64];
        while (read(m_wakePipe[0], drain, sizeof drain) > 0) {
        }
        m_woken = false;
    } else if (data == kTimerData) {
        std::uint64_t expirations = 0;
        [[maybe_unused]] ssize_t r = read(m_timer, &expirations, sizeof expirations);
        m_timerSetFor = Clock::time_point::max(); // spent: set it again
    } else {
        // A hang-up or an error shows when the member reads, as the end of its stream.
        const bool readable = events & (EPOLLIN | EPOLLHUP | EPOLLERR);
        queue(data / kRoles, readable ? 1u << (data % kRoles) : 0u);
    }
}

void FarmLoop::queueDue(Clock::time_point now) {
    for (auto it = m_deadlines.begin(); it != m_deadlines.end() && it->first <= now; ++it)
        queue(it->second, 0);
}

void FarmLoop::serveQueued() {
    std::vector<std::uint64_t> round;
    round.swap(m_queue);
    for (std::uint64_t key : round) {
        const auto it = m_members.find(key);
        if (it == m_members.end()) continue;
        Member &m = it->second;
        const unsigned readable = m.readable;
        m.readable = 0;
        m.queued = false;
        setDeadline(key, m, m.member->serve(readable));
    }
}

void FarmLoop::setDeadline(std::uint64_t key, Member &m, Clock::time_point deadline) {
    if (deadline == m.deadline) return;
    m_deadlines.erase({m.deadline, key});
    m.deadline = deadline;
    if (deadline != Clock::time_point::max()) m_deadlines.insert({deadline, key});
}

// The timer fires at the earliest deadline; steady_clock counts CLOCK_MONOTONIC.
void FarmLoop::armTimer() {
    const Clock::time_point earliest =
        m_deadlines.empty() ? Clock::time_point::max() : m_deadlines.begin()->first;
    if (earliest == m_timerSetFor) return;
    m_timerSetFor = earliest;
    itimerspec expiry{};
    if (earliest != Clock::time_point::max()) {
        const auto ns =
            std::chrono::duration_cast<std::chrono::nanoseconds>(earliest.time_since_epoch()).count();
        // A zero time would disarm the timer; anything in the past fires it at once.
        expiry.it_value = {static_cast<time_t>(ns / 1000000000),
                           std::max(1L, static_cast<long>(ns % 1000000000))};
    }
    timerfd_settime(m_timer, TFD_TIMER_ABSTIME, &expiry, nullptr);
}

} // namespace sim
