// TCP client services on QTcpSocket. Reads, writes and the connect block their
// caller without processing events; the client callback is delivered through
// queued invocations, so it only ever runs while the user-interface thread
// processes events, and never inside another callback of the same conversation.
#include "platform/tcpsupp.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTcpSocket>
#include <algorithm>
#include <climits>
#include <map>
#include <memory>

namespace {

struct Conversation {
    std::unique_ptr<QTcpSocket> socket;
    tcpFuncPtr callback = nullptr;
    void *callbackData = nullptr;
    qint64 bytesTaken = 0;       // by ClientTCPRead, to see whether a callback consumed anything
    bool deliveryPosted = false; // one queued delivery at a time
    bool inCallback = false;
    bool stalled = false; // the last data-ready callback read nothing: wait for new data
    bool peerClosed = false;
    bool disconnectDelivered = false;
};

// Handles are never reused, so a delivery queued for a closed conversation
// cannot reach a newer one.
std::map<unsigned, Conversation> conversations;
unsigned nextHandle = 1;
TcpConnectProblem lastConnectProblem;

Conversation *Find(unsigned handle) {
    auto it = conversations.find(handle);
    return it == conversations.end() ? nullptr : &it->second;
}

int ToMs(unsigned timeoutMs) {
    return static_cast<int>(std::min<unsigned>(timeoutMs, INT_MAX));
}

int RemainingMs(const QDeadlineTimer &deadline) {
    return static_cast<int>(std::min<qint64>(deadline.remainingTime(), INT_MAX));
}

bool DataReadyDue(const Conversation &c) {
    return c.socket->bytesAvailable() > 0 && !c.stalled;
}

// The close is announced after the data before it, or at once when the
// callback leaves that data unread.
bool DisconnectDue(const Conversation &c) {
    return c.peerClosed && !c.disconnectDelivered && (c.socket->bytesAvailable() == 0 || c.stalled);
}

void Deliver(unsigned handle);

void PostDelivery(unsigned handle) {
    Conversation *c = Find(handle);
    if (!c || c->deliveryPosted) return;
    c->deliveryPosted = true;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [handle] { Deliver(handle); }, Qt::QueuedConnection);
}

// Runs the callback for one event; false when the callback ended the conversation.
bool Invoke(unsigned handle, Conversation &c, int event) {
    c.inCallback = true;
    c.callback(handle, event, 0, c.callbackData);
    Conversation *after = Find(handle);
    if (!after) return false;
    after->inCallback = false;
    return true;
}

void Deliver(unsigned handle) {
    Conversation *c = Find(handle);
    if (!c) return;
    c->deliveryPosted = false;
    // A callback that processes events must not be entered again; what is due
    // is looked at once it returns.
    if (c->inCallback || !c->callback) return;
    if (DataReadyDue(*c)) {
        qint64 takenBefore = c->bytesTaken;
        if (!Invoke(handle, *c, TCP_DATAREADY)) return;
        c = Find(handle);
        c->stalled = c->bytesTaken == takenBefore;
    } else if (DisconnectDue(*c)) {
        c->disconnectDelivered = true;
        if (!Invoke(handle, *c, TCP_DISCONNECT)) return;
        c = Find(handle);
    }
    if (DataReadyDue(*c) || DisconnectDue(*c)) PostDelivery(handle);
}

void OnArrival(unsigned handle) {
    if (Conversation *c = Find(handle)) c->stalled = false;
    PostDelivery(handle);
}

void OnPeerClosed(unsigned handle) {
    if (Conversation *c = Find(handle)) c->peerClosed = true;
    PostDelivery(handle);
}

int ConnectErrorCode(QAbstractSocket::SocketError error) {
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return kTCP_UnableToEstablishConnection;
    case QAbstractSocket::SocketTimeoutError:
        return kTCP_TimeOutErr;
    default:
        return kTCP_FailedToConnect;
    }
}

TcpConnectFailure ConnectFailure(QAbstractSocket::SocketError error) {
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return TcpConnectFailure::Refused;
    case QAbstractSocket::HostNotFoundError:
        return TcpConnectFailure::HostNotFound;
    case QAbstractSocket::SocketTimeoutError:
        return TcpConnectFailure::TimedOut;
    default:
        return TcpConnectFailure::Other;
    }
}

// Conversations still open when the application object goes away end with it.
void DropAllConversations() {
    conversations.clear();
}

} // namespace

// Connects to a server, blocking up to timeoutMs; result 0 or a TcpError.
int ConnectToTCPServer(unsigned *conversationHandle, unsigned portNumber, const std::string &serverHostName,
                       tcpFuncPtr callback, void *callbackData, unsigned timeoutMs) {
    if (!conversationHandle || serverHostName.empty() || portNumber == 0 || portNumber > 65535)
        return kTCP_InvalidParameter;
    if (!QCoreApplication::instance()) return kTCP_GeneralIOErr;
    auto socket = std::make_unique<QTcpSocket>();
    socket->connectToHost(QString::fromStdString(serverHostName), static_cast<quint16>(portNumber));
    if (!socket->waitForConnected(ToMs(timeoutMs))) {
        lastConnectProblem = {ConnectFailure(socket->error()), socket->errorString().toStdString()};
        return ConnectErrorCode(socket->error());
    }
    // Frames are small and every exchange waits for its answer.
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);

    static bool cleanupRegistered = false;
    if (!cleanupRegistered) {
        qAddPostRoutine(DropAllConversations);
        cleanupRegistered = true;
    }
    unsigned handle = nextHandle++;
    QTcpSocket *s = socket.get();
    QObject::connect(s, &QTcpSocket::readyRead, s, [handle] { OnArrival(handle); });
    QObject::connect(s, &QTcpSocket::disconnected, s, [handle] { OnPeerClosed(handle); });
    conversations[handle] = Conversation{std::move(socket), callback, callbackData};
    *conversationHandle = handle;
    return 0;
}

TcpConnectProblem LastTcpConnectProblem() {
    return lastConnectProblem;
}

// Closes a conversation; its callback is not called again.
int DisconnectFromTCPServer(unsigned conversationHandle) {
    auto it = conversations.find(conversationHandle);
    if (it == conversations.end()) return kTCP_NoConnectionEstablished;
    std::unique_ptr<QTcpSocket> socket = std::move(it->second.socket);
    conversations.erase(it);
    QObject::disconnect(socket.get(), nullptr, nullptr, nullptr);
    socket->flush();
    socket->disconnectFromHost();
    return 0;
}

// Writes all bytes and waits up to timeoutMs for them to leave; result: bytes
// written, or a TcpError.
int ClientTCPWrite(unsigned conversationHandle, const void *data, unsigned dataSize, unsigned timeoutMs) {
    Conversation *c = Find(conversationHandle);
    if (!c) return kTCP_NoConnectionEstablished;
    if ((dataSize > 0 && !data) || dataSize > INT_MAX) return kTCP_InvalidParameter;
    QTcpSocket &socket = *c->socket;
    if (socket.state() != QAbstractSocket::ConnectedState) return kTCP_ConnectionClosed;
    if (socket.write(static_cast<const char *>(data), dataSize) != static_cast<qint64>(dataSize))
        return kTCP_WriteFailed;
    QDeadlineTimer deadline(ToMs(timeoutMs));
    while (socket.bytesToWrite() > 0) {
        if (socket.waitForBytesWritten(RemainingMs(deadline))) continue;
        if (socket.state() != QAbstractSocket::ConnectedState) return kTCP_ConnectionClosed;
        return socket.error() == QAbstractSocket::SocketTimeoutError ? kTCP_TimeOutErr : kTCP_WriteFailed;
    }
    return static_cast<int>(dataSize);
}

// Reads what is there, up to dataSize bytes, waiting up to timeoutMs only when
// nothing is; result: bytes read, or a TcpError.
int ClientTCPRead(unsigned conversationHandle, void *buffer, unsigned dataSize, unsigned timeoutMs) {
    Conversation *c = Find(conversationHandle);
    if (!c) return kTCP_NoConnectionEstablished;
    if (!buffer || dataSize == 0) return kTCP_InvalidParameter;
    QTcpSocket &socket = *c->socket;
    if (socket.bytesAvailable() == 0) {
        if (socket.state() != QAbstractSocket::ConnectedState) return kTCP_ConnectionClosed;
        if (!socket.waitForReadyRead(ToMs(timeoutMs))) {
            if (socket.state() != QAbstractSocket::ConnectedState) return kTCP_ConnectionClosed;
            return socket.error() == QAbstractSocket::SocketTimeoutError ? kTCP_TimeOutErr : kTCP_ReadFailed;
        }
    }
    qint64 n = socket.read(static_cast<char *>(buffer), std::min<qint64>(dataSize, INT_MAX));
    if (n <= 0) return kTCP_ReadFailed;
    c->bytesTaken += n;
    return static_cast<int>(n);
}
