// Descriptors watched through one epoll set per thread, behind a single
// QSocketNotifier: the sensors' links and the MQTT clients' sockets alike. The
// event loop's own poll looks at every descriptor it watches at every wake-up,
// which at a thousand sockets costs more than the work itself; here a wake-up
// costs only the descriptors that are ready.
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

// When a watch's handler runs.
enum class IoTrigger : uint8_t {
    // When something new happens (bytes arrive, room to write comes back, the
    // far end closes), not while bytes just wait to be read: for a reader that
    // reads until the system has nothing more.
    Edge,
    // At every turn of the event loop while the descriptor is ready: for a
    // reader that may stop before the system's bytes are all taken (a library
    // that reads a packet or so at a time).
    Level,
};

// One descriptor's watch in the thread's epoll set. The handler runs from the
// event loop of the thread that made the watch and may end any watch, its own
// included.
class IoWatch {
  public:
    using Handler = std::function<void(unsigned events)>;

    IoWatch() = default;
    ~IoWatch();
    IoWatch(const IoWatch &) = delete;
    IoWatch &operator=(const IoWatch &) = delete;

    // Starts watching fd for reading, and for writing when write is set; false
    // (errno set) when the thread cannot watch descriptors.
    bool watch(int fd, bool write, Handler handler, IoTrigger trigger = IoTrigger::Edge);
    // Asks for room to write (again), or no more.
    void wantWrite(bool write);
    // Ends the watch; the descriptor itself stays open.
    void clear();
    bool active() const { return m_fd >= 0; }
    // The descriptor watched; -1 when none is.
    int fd() const { return m_fd; }

  private:
    friend class IoLoop;
    int m_fd = -1;
    bool m_write = false;
    IoTrigger m_trigger = IoTrigger::Edge;
    uint32_t m_slot = 0;
    Handler m_handler;
};

} // namespace runtime
