#include "gateway/modbusserver.h"

#include <QTcpSocket>

#include <memory>

namespace gateway {
namespace {

// A client that sends requests and never reads the answers is closed before
// they pile up in memory.
constexpr qint64 kMaxUnsentBytes = 64 * 1024;
constexpr qint64 kReadChunk = 4096;

} // namespace

ModbusServer::ModbusServer(UnitLookup lookup, ListenerLimits limits)
    : m_lookup(std::move(lookup)),
      m_listener(std::move(limits), [this](QTcpSocket *socket) { Serve(socket); }) {}

bool ModbusServer::Listen(const QHostAddress &address, uint16_t port, std::string &problem) {
    return m_listener.Listen(address, port, problem);
}

ModbusCounters ModbusServer::Counters() const {
    ModbusCounters counters = m_counters;
    const ListenerCounters &held = m_listener.Counters();
    counters.refused = held.refused;
    counters.evicted = held.evicted;
    counters.timedOut = held.timedOut;
    counters.open = held.open;
    return counters;
}

void ModbusServer::Serve(QTcpSocket *socket) {
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    auto pending = std::make_shared<std::vector<uint8_t>>();
    QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, pending] {
        std::vector<uint8_t> answers;
        char chunk[kReadChunk];
        qint64 got = 0;
        // Never more than one request and a chunk are held: the rest waits in the socket.
        while ((got = socket->read(chunk, sizeof chunk)) > 0) {
            pending->insert(pending->end(), chunk, chunk + got);
            if (!AnswerPending(*pending, answers) ||
                socket->bytesToWrite() + qint64(answers.size()) > kMaxUnsentBytes) {
                ++m_counters.closed;
                socket->abort();
                return;
            }
        }
        m_listener.Heard(socket, !pending->empty());
        if (answers.empty()) return;
        socket->write(reinterpret_cast<const char *>(answers.data()), qint64(answers.size()));
        // Into the kernel now, not at the next turn of the loop behind a batch of sensor work.
        socket->flush();
    });
}

bool ModbusServer::AnswerPending(std::vector<uint8_t> &pending, std::vector<uint8_t> &answers) {
    std::size_t used = 0;
    const SteadyTime now = std::chrono::steady_clock::now();
    for (;;) {
        const ParsedRequest parsed = ParseRequest(std::span(pending).subspan(used));
        if (parsed.outcome == ParseOutcome::Malformed) return false;
        if (parsed.outcome == ParseOutcome::NeedMore) break;
        ++m_counters.requests;
        if (AppendAnswer(parsed.request, m_lookup, now, answers) != ModbusException::None)
            ++m_counters.exceptions;
        used += parsed.size;
    }
    pending.erase(pending.begin(), pending.begin() + std::ptrdiff_t(used));
    return true;
}

} // namespace gateway
