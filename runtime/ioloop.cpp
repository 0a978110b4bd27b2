#include "runtime/ioloop.h"

#include <QSocketNotifier>

#include <cerrno>
#include <memory>
#include <sys/epoll.h>
#include <unistd.h>
#include <vector>

namespace runtime {

// The thread's epoll set and the watches in it. The level-triggered watches sit
// in a set of their own inside the main one, looked at in every turn: they are a
// few busy sockets (an MQTT client carries every sensor's samples), which in one
// flat set would wait behind every ready sensor whenever a turn cannot take all.
// It lives while it has watches, so that none outlives the application object.
class IoLoop {
  public:
    static IoLoop *OfThisThread() {
        if (!instance) instance = new IoLoop;
        if (instance->m_epoll >= 0) return instance;
        delete instance;
        instance = nullptr;
        return nullptr;
    }
    static IoLoop *Existing() { return instance; }
    ~IoLoop() {
        m_ready.reset();
        if (m_everyTurn >= 0) ::close(m_everyTurn);
        if (m_epoll >= 0) ::close(m_epoll);
    }

    bool add(IoWatch *w) {
        uint32_t index = static_cast<uint32_t>(m_slots.size());
        if (m_free.empty()) {
            m_slots.emplace_back();
        } else {
            index = m_free.back();
            m_free.pop_back();
        }
        m_slots[index].watch = w;
        w->m_slot = index;
        ++m_count;
        epoll_event event = eventOf(w);
        const int set = w->m_trigger == IoTrigger::Level ? everyTurnSet() : m_epoll;
        if (set >= 0 && epoll_ctl(set, EPOLL_CTL_ADD, w->m_fd, &event) == 0) return true;
        const int error = errno; // for the caller's message, past the set's end
        release(index);
        errno = error;
        return false;
    }
    void modify(IoWatch *w) {
        epoll_event event = eventOf(w);
        epoll_ctl(setOf(w), EPOLL_CTL_MOD, w->m_fd, &event);
    }
    void remove(IoWatch *w) {
        epoll_ctl(setOf(w), EPOLL_CTL_DEL, w->m_fd, nullptr);
        release(w->m_slot);
    }

  private:
    struct Slot {
        IoWatch *watch = nullptr;
        uint32_t generation = 0; // tells a watch from an earlier one in the same slot
    };
    static constexpr int kEventsPerTurn = 64; // more wait for the next turn of the loop
    // The nested set's key: never a watch's, as its slot number is beyond any slot.
    static constexpr uint64_t kEveryTurnKey = ~uint64_t(0);

    IoLoop() : m_epoll(epoll_create1(EPOLL_CLOEXEC)) {
        if (m_epoll < 0) return;
        m_ready = std::make_unique<QSocketNotifier>(m_epoll, QSocketNotifier::Read);
        QObject::connect(m_ready.get(), &QSocketNotifier::activated, [this] { dispatch(); });
    }
    epoll_event eventOf(const IoWatch *w) const {
        epoll_event event{};
        event.events = EPOLLIN | EPOLLRDHUP | (w->m_trigger == IoTrigger::Edge ? uint32_t(EPOLLET) : 0u) |
                       (w->m_write ? uint32_t(EPOLLOUT) : 0u);
        event.data.u64 = uint64_t(m_slots[w->m_slot].generation) << 32 | w->m_slot;
        return event;
    }
    void release(uint32_t index) {
        m_slots[index].watch = nullptr;
        ++m_slots[index].generation;
        m_free.push_back(index);
        --m_count;
        endWhenUnused();
    }
    void endWhenUnused() {
        if (m_count > 0 || m_dispatching) return;
        instance = nullptr;
        delete this;
    }
    int setOf(const IoWatch *w) const { return w->m_trigger == IoTrigger::Level ? m_everyTurn : m_epoll; }
    // The set of the level-triggered watches, made for the first of them; -1 when it cannot be.
    int everyTurnSet() {
        if (m_everyTurn >= 0) return m_everyTurn;
        const int set = epoll_create1(EPOLL_CLOEXEC);
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.u64 = kEveryTurnKey;
        if (set < 0 || epoll_ctl(m_epoll, EPOLL_CTL_ADD, set, &event) == 0) return m_everyTurn = set;
        ::close(set);
        return -1;
    }
    IoWatch *watchOf(uint64_t key) const {
        const uint32_t index = static_cast<uint32_t>(key);
        if (index >= m_slots.size() || m_slots[index].generation != key >> 32) return nullptr;
        return m_slots[index].watch;
    }
    void dispatch() {
        epoll_event events[kEventsPerTurn];
        ++m_dispatching;
        const int count = epoll_wait(m_epoll, events, kEventsPerTurn, 0);
        // A full turn may have left the level-triggered set behind in the ready list.
        bool everyTurn = count == kEventsPerTurn;
        for (int i = 0; i < count; ++i)
            everyTurn = everyTurn || events[i].data.u64 == kEveryTurnKey;
        serve(events, count);
        if (everyTurn && m_everyTurn >= 0) serve(events, epoll_wait(m_everyTurn, events, kEventsPerTurn, 0));
        --m_dispatching;
        endWhenUnused();
    }
    void serve(const epoll_event *events, int count) {
        for (int i = 0; i < count; ++i) {
            // A handler may end any watch, its own included, before the next event is looked at.
            IoWatch *w = watchOf(events[i].data.u64);
            if (!w) continue;
            const uint32_t e = events[i].events;
            unsigned ready = 0;
            if (e & EPOLLIN) ready |= kIoReadable;
            if (e & EPOLLOUT) ready |= kIoWritable;
            if (e & (EPOLLRDHUP | EPOLLHUP | EPOLLERR)) ready |= kIoHangup;
            Handler handler = w->m_handler; // the watch may go inside its own handler
            handler(ready);
        }
    }
    using Handler = IoWatch::Handler;

    static thread_local IoLoop *instance;
    int m_epoll;
    int m_everyTurn = -1; // the level-triggered watches' set, inside m_epoll
    std::unique_ptr<QSocketNotifier> m_ready;
    std::size_t m_count = 0;
    int m_dispatching = 0; // inside a dispatch, where watches may come and go
    std::vector<Slot> m_slots;
    std::vector<uint32_t> m_free;
};

thread_local IoLoop *IoLoop::instance = nullptr;

IoWatch::~IoWatch() {
    clear();
}

bool IoWatch::watch(int fd, bool write, Handler handler, IoTrigger trigger) {
    clear();
    if (fd < 0) {
        errno = EBADF;
        return false;
    }
    IoLoop *loop = IoLoop::OfThisThread();
    if (!loop) return false;
    m_fd = fd;
    m_write = write;
    m_trigger = trigger;
    m_handler = std::move(handler);
    if (loop->add(this)) return true;
    m_fd = -1;
    m_handler = nullptr;
    return false;
}

void IoWatch::wantWrite(bool write) {
    if (m_fd < 0 || write == m_write) return;
    m_write = write;
    IoLoop::Existing()->modify(this);
}

void IoWatch::clear() {
    if (m_fd < 0) return;
    IoLoop::Existing()->remove(this);
    m_fd = -1;
    m_handler = nullptr;
}

} // namespace runtime
