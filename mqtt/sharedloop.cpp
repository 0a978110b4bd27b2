#include "mqtt/sharedloop.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/epoll.h>
#include <unistd.h>

namespace mqtt::detail {

namespace {

constexpr auto kTickPeriod = std::chrono::seconds(1); // libmosquitto counts keepalive in seconds
constexpr int kEventsPerDispatch = 64;                // more wait for the next turn of the loop
thread_local SharedLoop *instance = nullptr;

} // namespace

SharedLoop &SharedLoop::OfThisThread() {
    if (!instance) instance = new SharedLoop;
    return *instance;
}

SharedLoop::SharedLoop()
    : m_epoll(epoll_create1(EPOLL_CLOEXEC)), m_nextTick(Clock::now() + kTickPeriod),
      m_random(std::random_device{}()) {
    if (m_epoll >= 0) {
        m_ready = std::make_unique<QSocketNotifier>(m_epoll, QSocketNotifier::Read);
        QObject::connect(m_ready.get(), &QSocketNotifier::activated, [this] { onSocketsReady(); });
    }
    m_timer.setSingleShot(true);
    QObject::connect(&m_timer, &QTimer::timeout, [this] { onTimer(); });
}

SharedLoop::~SharedLoop() {
    m_ready.reset();
    if (m_epoll >= 0) close(m_epoll);
}

bool SharedLoop::add(Client *client, std::string &problem) {
    if (m_epoll < 0) {
        problem = std::string("the event loop cannot watch the MQTT sockets: ") + strerrordesc_np(errno);
        endWhenUnused();
        return false;
    }
    uint32_t index = static_cast<uint32_t>(m_slots.size());
    if (m_freeSlots.empty()) {
        m_slots.emplace_back();
    } else {
        index = m_freeSlots.back();
        m_freeSlots.pop_back();
    }
    m_slots[index].client = client;
    client->m_slot = index;
    ++m_clientCount;
    arm();
    return true;
}

void SharedLoop::remove(Client *client) {
    watch(client, -1, false);
    wakeAt(client, Clock::time_point::max());
    Slot &slot = m_slots[client->m_slot];
    slot.client = nullptr;
    ++slot.generation;
    m_freeSlots.push_back(client->m_slot);
    --m_clientCount;
    endWhenUnused();
}

void SharedLoop::watch(Client *client, int socket, bool wantWrite) {
    const uint64_t key = uint64_t(m_slots[client->m_slot].generation) << 32 | client->m_slot;
    epoll_event event{};
    event.events = wantWrite ? EPOLLIN | EPOLLOUT : uint32_t(EPOLLIN);
    event.data.u64 = key;
    if (socket != client->m_watchedSocket) {
        // A socket libmosquitto closed has left the set by itself: a failure here says just that.
        if (client->m_watchedSocket >= 0) epoll_ctl(m_epoll, EPOLL_CTL_DEL, client->m_watchedSocket, nullptr);
        client->m_watchedSocket = socket;
        if (socket >= 0) epoll_ctl(m_epoll, EPOLL_CTL_ADD, socket, &event);
    } else if (socket >= 0 && wantWrite != client->m_watchingWrite) {
        epoll_ctl(m_epoll, EPOLL_CTL_MOD, socket, &event);
    }
    client->m_watchingWrite = socket >= 0 && wantWrite;
}

void SharedLoop::wakeAt(Client *client, Clock::time_point when) {
    if (client->m_wakeAt == when) return;
    m_wakes.erase({client->m_wakeAt, client});
    client->m_wakeAt = when;
    if (when != Clock::time_point::max()) m_wakes.insert({when, client});
    if (!m_dispatching) arm();
}

SharedLoop::Clock::duration SharedLoop::jittered(Clock::duration base) {
    return std::chrono::duration_cast<Clock::duration>(base *
                                                       std::uniform_real_distribution(0.8, 1.2)(m_random));
}

Client *SharedLoop::clientOf(uint64_t key) const {
    const uint32_t index = static_cast<uint32_t>(key);
    if (index >= m_slots.size() || m_slots[index].generation != key >> 32) return nullptr;
    return m_slots[index].client;
}

void SharedLoop::onSocketsReady() {
    epoll_event events[kEventsPerDispatch];
    const int count = epoll_wait(m_epoll, events, kEventsPerDispatch, 0);
    ++m_dispatching;
    for (int i = 0; i < count; ++i) {
        // A client may end, or take a new socket, in the handling of any event before its own.
        if (Client *client = clientOf(events[i].data.u64); client && events[i].events & ~EPOLLOUT)
            client->onReadable();
        if (Client *client = clientOf(events[i].data.u64); client && events[i].events & EPOLLOUT)
            client->onWritable();
    }
    --m_dispatching;
    endWhenUnused();
}

void SharedLoop::onTimer() {
    ++m_dispatching;
    Clock::time_point now = Clock::now();
    if (now >= m_nextTick) {
        m_nextTick = now + kTickPeriod;
        for (std::size_t i = 0; i < m_slots.size(); ++i)
            if (Client *client = m_slots[i].client) client->onTick();
    }
    now = Clock::now();
    while (!m_wakes.empty() && m_wakes.begin()->first <= now) {
        Client *client = m_wakes.begin()->second;
        m_wakes.erase(m_wakes.begin());
        client->m_wakeAt = Clock::time_point::max();
        client->onWake(); // may book a new wake-up, end clients, make some
    }
    --m_dispatching;
    arm();
    endWhenUnused();
}

void SharedLoop::arm() {
    if (m_dispatching) return; // the dispatch arms the timer when it is done
    Clock::time_point next = m_nextTick;
    if (!m_wakes.empty()) next = std::min(next, m_wakes.begin()->first);
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(next - Clock::now());
    m_timer.start(std::max(wait, std::chrono::milliseconds(0)));
}

void SharedLoop::endWhenUnused() {
    if (m_clientCount > 0 || m_dispatching) return;
    instance = nullptr;
    delete this;
}

} // namespace mqtt::detail
