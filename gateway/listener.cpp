#include "gateway/listener.h"

#include <QTcpSocket>

namespace gateway {

Listener::Listener(int maxConnections, Accept accept)
    : m_maxConnections(maxConnections), m_accept(std::move(accept)) {
    QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this] { TakeConnections(); });
}

// The connections go first and quietly: their handlers must not run on a half-destroyed owner.
Listener::~Listener() {
    for (QTcpSocket *socket : m_server.findChildren<QTcpSocket *>()) {
        QObject::disconnect(socket, nullptr, nullptr, nullptr);
        delete socket;
    }
}

bool Listener::Listen(const QHostAddress &address, uint16_t port, std::string &problem) {
    if (m_server.listen(address, port)) return true;
    problem = "cannot listen on " + address.toString().toStdString() + ":" + std::to_string(port) + ": " +
              m_server.errorString().toStdString();
    return false;
}

void Listener::TakeConnections() {
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        if (m_open >= m_maxConnections) {
            ++m_refused;
            socket->abort();
            socket->deleteLater();
            continue;
        }
        ++m_open;
        QObject::connect(socket, &QTcpSocket::disconnected, socket, [this, socket] {
            --m_open;
            socket->deleteLater();
        });
        m_accept(socket);
    }
}

} // namespace gateway
