// What all clients of a thread share inside its event loop, so that a client costs
// the loop nothing while it is quiet: their sockets in one epoll set behind a
// single QSocketNotifier (the loop's own poll looks at every descriptor it watches
// at every wake-up, which at a thousand sockets costs more than the work), and one
// timer for libmosquitto's keepalive work (once a second for every client) and for
// each client's next wake-up (a retry, the end of a stop). Internal to this library.
#pragma once

#include "mqtt/client.h"

#include <QSocketNotifier>
#include <QTimer>

#include <random>
#include <set>
#include <utility>
#include <vector>

namespace mqtt::detail {

class SharedLoop {
  public:
    using Clock = std::chrono::steady_clock;

    // The thread's instance, made for its first client.
    static SharedLoop &OfThisThread();
    SharedLoop(const SharedLoop &) = delete;
    SharedLoop &operator=(const SharedLoop &) = delete;

    // Takes a client in; false (with the reason) when the thread cannot watch sockets.
    bool add(Client *client, std::string &problem);
    // Lets a client go with its socket and wake-up; the thread's last client ends the instance.
    void remove(Client *client);
    // Watches the client's socket (-1: none) for reading, and for writing while wantWrite.
    void watch(Client *client, int socket, bool wantWrite);
    // Books the client's wake-up at when (time_point::max(): none), replacing an earlier booking.
    void wakeAt(Client *client, Clock::time_point when);
    // A delay of base, plus or minus 20 %, so that clients that lost a broker together
    // do not all come back in the same instant.
    Clock::duration jittered(Clock::duration base);

  private:
    struct Slot {
        Client *client = nullptr;
        uint32_t generation = 0; // tells a client from an earlier one in the same slot
    };

    SharedLoop();
    ~SharedLoop();
    Client *clientOf(uint64_t key) const;
    void onSocketsReady();
    void onTimer();
    void arm();
    // Ends the instance once no client is left and no dispatch runs.
    void endWhenUnused();

    int m_epoll = -1;
    std::unique_ptr<QSocketNotifier> m_ready;
    QTimer m_timer;
    std::vector<Slot> m_slots;
    std::vector<uint32_t> m_freeSlots;
    std::size_t m_clientCount = 0;
    std::set<std::pair<Clock::time_point, Client *>> m_wakes;
    Clock::time_point m_nextTick;
    std::minstd_rand m_random;
    int m_dispatching = 0; // inside a dispatch, where clients may come and go
};

} // namespace mqtt::detail
