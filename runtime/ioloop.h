// Descriptors watched through one epoll set per thread, behind a single
// QSocketNotifier. The event loop's own poll looks at every descriptor it
// watches at every wake-up, which at a thousand sockets costs more than the
// work itself; here a wake-up costs only the descriptors that are ready.
#pragma once

#include <cstdint>
#include <functional>

namespace runtime {

// What a descriptor is ready for.
enum IoEvent : unsigned {
    kIoReadable = 1u << 0,
    kIoWritable = 1u << 1,
    kIoHangup = 1u << 2, // closed by the far end, or the device failed
};

// One descriptor's watch. Edge-triggered: the handler runs when something new
// happens (bytes arrive, room to write comes back, the far end closes), not
// while bytes just wait to be read. The handler runs from the event loop of
// the thread that made the watch and may end the watch.
class IoWatch {
  public:
    using Handler = std::function<void(unsigned events)>;

    IoWatch() = default;
    ~IoWatch();
    IoWatch(const IoWatch &) = delete;
    IoWatch &operator=(const IoWatch &) = delete;

    // Starts watching fd for reading, and for writing when write is set; false
    // when the thread cannot watch descriptors.
    bool watch(int fd, bool write, Handler handler);
    // Asks for room to write (again), or no more.
    void wantWrite(bool write);
    // Ends the watch; the descriptor itself stays open.
    void clear();
    bool active() const { return m_fd >= 0; }

  private:
    friend class IoLoop;
    int m_fd = -1;
    bool m_write = false;
    uint32_t m_slot = 0;
    Handler m_handler;
};

} // namespace runtime
