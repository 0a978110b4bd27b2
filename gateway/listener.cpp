#include "gateway/listener.h"

#include <QTcpSocket>

namespace gateway {

bool ParseNetwork(const std::string &text, Network &network) {
    const QString given = QString::fromStdString(text);
    if (given.contains('/')) {
        network = QHostAddress::parseSubnet(given);
        return !network.first.isNull();
    }
    const QHostAddress address(given);
    if (address.isNull()) return false;
    network = {address, address.protocol() == QAbstractSocket::IPv4Protocol ? 32 : 128};
    return true;
}

Listener::Listener(ListenerLimits limits, Accept accept)
    : m_limits(std::move(limits)), m_accept(std::move(accept)) {
    QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this] { TakeConnections(); });
}

// The connections go first and quietly: their handlers must not run on a half-destroyed owner.
Listener::~Listener() {
    for (Connection &c : m_connections) {
        QObject::disconnect(c.socket, nullptr, nullptr, nullptr);
        delete c.socket;
    }
}

bool Listener::Listen(const QHostAddress &address, uint16_t port, std::string &problem) {
    if (m_server.listen(address, port)) return true;
    problem = "cannot listen on " + address.toString().toStdString() + ":" + std::to_string(port) + ": " +
              m_server.errorString().toStdString();
    return false;
}

void Listener::Heard(QTcpSocket *socket, bool unfinished) {
    const auto found = m_index.find(socket);
    if (found == m_index.end()) return;
    m_connections.splice(m_connections.end(), m_connections, found->second);
    found->second->deadline.start(unfinished ? m_limits.unfinished : m_limits.idle);
}

void Listener::TakeConnections() {
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        if (!Allowed(socket->peerAddress())) {
            ++m_counters.refused;
            socket->abort();
            socket->deleteLater();
            continue;
        }
        if (int(m_connections.size()) >= m_limits.maxConnections) {
            ++m_counters.evicted;
            Close(m_connections.front().socket);
        }
        Connection &c = m_connections.emplace_back();
        c.socket = socket;
        m_index[socket] = std::prev(m_connections.end());
        c.deadline.setHandler([this, socket] {
            ++m_counters.timedOut;
            Close(socket);
        });
        c.deadline.start(m_limits.idle);
        QObject::connect(socket, &QTcpSocket::disconnected, socket, [this, socket] { Forget(socket); });
        m_counters.open = int(m_connections.size());
        m_accept(socket);
    }
}

bool Listener::Allowed(const QHostAddress &peer) const {
    if (m_limits.allow.empty()) return true;
    // An IPv4 client of a dual-stack listener comes as ::ffff:a.b.c.d.
    bool mapped = false;
    const quint32 v4 = peer.toIPv4Address(&mapped);
    const QHostAddress address = mapped ? QHostAddress(v4) : peer;
    for (const Network &n : m_limits.allow)
        if (address.isInSubnet(n)) return true;
    return false;
}

void Listener::Close(QTcpSocket *socket) {
    socket->abort(); // tells disconnected when the socket was connected
    Forget(socket);
}

void Listener::Forget(QTcpSocket *socket) {
    const auto found = m_index.find(socket);
    if (found == m_index.end()) return;
    m_connections.erase(found->second);
    m_index.erase(found);
    m_counters.open = int(m_connections.size());
    QObject::disconnect(socket, nullptr, nullptr, nullptr);
    socket->deleteLater();
}

} // namespace gateway
