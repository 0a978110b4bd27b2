#include "gateway/metricsserver.h"

#include <QTcpSocket>

#include <memory>

namespace gateway {
namespace {

constexpr int kMaxConnections = 8;
constexpr qsizetype kMaxRequestBytes = 8 * 1024;
// A client gets this long for its request and for reading the answer.
constexpr std::chrono::milliseconds kRequestTime{10000};

} // namespace

MetricsServer::MetricsServer(Source source)
    : m_source(std::move(source)), m_listener({kMaxConnections, kRequestTime, kRequestTime, {}},
                                              [this](QTcpSocket *socket) { Serve(socket); }) {}

bool MetricsServer::Listen(const QHostAddress &address, uint16_t port, std::string &problem) {
    return m_listener.Listen(address, port, problem);
}

void MetricsServer::Serve(QTcpSocket *socket) {
    struct Request {
        QByteArray received;
        bool answered = false;
    };
    auto request = std::make_shared<Request>();
    QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, request] {
        if (request->answered) return;
        request->received.append(socket->read(kMaxRequestBytes + 1 - request->received.size()));
        const QByteArray &received = request->received;
        HttpVerdict verdict = JudgeHttpRequest(std::string_view(received.constData(), received.size()));
        if (verdict == HttpVerdict::Incomplete) {
            if (received.size() <= kMaxRequestBytes) return;
            verdict = HttpVerdict::BadRequest;
        }
        const std::string answer =
            HttpAnswer(verdict, verdict == HttpVerdict::Metrics ? RenderMetrics(m_source()) : std::string());
        socket->write(answer.data(), qint64(answer.size()));
        request->answered = true;
        socket->disconnectFromHost();
    });
}

} // namespace gateway
