// A TCP listener that holds at most a given number of connections: one more is
// closed as soon as it is accepted, and counted, so a misbehaving client cannot
// use up the process's descriptors. Shared by the Modbus and the metrics server.
#pragma once

#include <QHostAddress>
#include <QTcpServer>

#include <cstdint>
#include <functional>
#include <string>

class QTcpSocket;

namespace gateway {

class Listener {
  public:
    // Called for each accepted connection; the socket belongs to the listener and
    // is deleted after it disconnects.
    using Accept = std::function<void(QTcpSocket *)>;

    Listener(int maxConnections, Accept accept);
    ~Listener();
    Listener(const Listener &) = delete;
    Listener &operator=(const Listener &) = delete;

    // Starts listening; false with the reason in problem.
    bool Listen(const QHostAddress &address, uint16_t port, std::string &problem);
    uint16_t Port() const { return m_server.serverPort(); }
    int Open() const { return m_open; }
    int64_t Refused() const { return m_refused; }

  private:
    void TakeConnections();

    QTcpServer m_server;
    int m_maxConnections;
    Accept m_accept;
    int m_open = 0;
    int64_t m_refused = 0;
};

} // namespace gateway
