// A TCP listener that no client can lock: it holds at most a given number of
// connections and, when full, closes the one idle longest to take the new one;
// a connection that sends nothing for its idle time, or leaves a request half
// sent for longer than its request time, is closed; clients outside the allowed
// networks are closed at once. Each closure is counted. Shared by the Modbus and
// the metrics server.
#pragma once

#include "runtime/timers.h"

#include <QHostAddress>
#include <QTcpServer>

#include <chrono>
#include <cstdint>
#include <functional>
#include <list>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

class QTcpSocket;

namespace gateway {

// An address or network a client may come from: "10.0.0.7", "192.168.1.0/24", "fd00::/8".
using Network = std::pair<QHostAddress, int>;
// The network a text names; false when it names none.
bool ParseNetwork(const std::string &text, Network &network);

struct ListenerLimits {
    int maxConnections = 16;
    std::chrono::milliseconds idle{60000};      // without a byte from the client
    std::chrono::milliseconds unfinished{5000}; // from a request's first byte to its last
    std::vector<Network> allow;                 // empty: every client
};

struct ListenerCounters {
    int open = 0;
    int64_t refused = 0;  // clients outside the allowed networks
    int64_t evicted = 0;  // closed, idle longest, to take a new client when full
    int64_t timedOut = 0; // closed when idle or with a request unfinished too long
};

class Listener {
  public:
    // Called for each accepted connection; the socket belongs to the listener and
    // is deleted after it disconnects.
    using Accept = std::function<void(QTcpSocket *)>;

    Listener(ListenerLimits limits, Accept accept);
    ~Listener();
    Listener(const Listener &) = delete;
    Listener &operator=(const Listener &) = delete;

    // Starts listening; false with the reason in problem.
    bool Listen(const QHostAddress &address, uint16_t port, std::string &problem);
    uint16_t Port() const { return m_server.serverPort(); }
    // New limits for connections from now on; those open stay.
    void SetLimits(ListenerLimits limits) { m_limits = std::move(limits); }
    // The server heard from the client: its idle time starts again, or its request
    // time when a request is begun and not complete.
    void Heard(QTcpSocket *socket, bool unfinished);
    const ListenerCounters &Counters() const { return m_counters; }

  private:
    struct Connection {
        QTcpSocket *socket = nullptr;
        runtime::LoopTimer deadline;
    };
    using Connections = std::list<Connection>; // idle longest first

    void TakeConnections();
    bool Allowed(const QHostAddress &peer) const;
    void Close(QTcpSocket *socket);
    void Forget(QTcpSocket *socket);

    QTcpServer m_server;
    ListenerLimits m_limits;
    Accept m_accept;
    Connections m_connections;
    std::unordered_map<QTcpSocket *, Connections::iterator> m_index;
    ListenerCounters m_counters;
};

} // namespace gateway
