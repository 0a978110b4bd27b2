// Serves GET /metrics over a minimal HTTP/1.1: one request per connection, the
// answer, then the connection closes. A request is bounded in size and in time,
// and so is the number of connections, so a scanner or a stuck client costs little.
#pragma once

#include "gateway/listener.h"
#include "gateway/metrics.h"

#include <functional>

namespace gateway {

class MetricsServer {
  public:
    // Asked for a fresh snapshot at each scrape.
    using Source = std::function<MetricsSnapshot()>;

    explicit MetricsServer(Source source);

    // Starts serving; false with the reason in problem.
    bool Listen(const QHostAddress &address, uint16_t port, std::string &problem);
    uint16_t Port() const { return m_listener.Port(); }

  private:
    void Serve(QTcpSocket *socket);

    Source m_source;
    Listener m_listener;
};

} // namespace gateway
