// The gateway's /metrics: the exposition text from a snapshot, the judgement of
// HTTP requests, and the server on loopback with a plain socket as the scraper.
#include "gateway/metrics.h"
#include "gateway/metricsserver.h"
#include "test_support.h"

#include <QTcpSocket>

#include <memory>
#include <vector>

#include <gtest/gtest.h>

using namespace gateway;

namespace {

MetricsSnapshot TwoSensors() {
    MetricsSnapshot snapshot;
    snapshot.sensors = {{"inlet", true, 120, 2, 1, 0.25}, {"odd\"name\\", false, 0, 5, 3, -1.0}};
    snapshot.pollCycleSeconds = 0.0625;
    snapshot.brokerConnected = true;
    snapshot.broker = "10.0.0.9:1883";
    snapshot.samplesQueued = 4;
    snapshot.samplesDropped = 17;
    return snapshot;
}

// Sends request on a new connection and returns everything the server sent before closing.
QByteArray Exchange(uint16_t port, const QByteArray &request) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!WaitFor([&] { return socket.state() == QAbstractSocket::ConnectedState; })) return "not connected";
    socket.write(request);
    QByteArray answer;
    WaitFor([&] {
        answer += socket.readAll();
        return socket.state() == QAbstractSocket::UnconnectedState;
    });
    return answer + socket.readAll();
}

} // namespace

TEST(GatewayMetrics, ExpositionHasEveryFamilyOnce) {
    MetricsSnapshot snapshot = TwoSensors();
    snapshot.modbus = ModbusCounters{30, 4, 1, 2, 5, 6, 3};
    snapshot.journal = MetricsSnapshot::Journal{4096, 300, 12, 2, 7.5};
    const std::string text = RenderMetrics(snapshot);
    for (const char *line : {
             "# TYPE sensor_gateway_samples_total counter\n",
             "sensor_gateway_samples_total{name=\"inlet\"} 120\n",
             "sensor_gateway_samples_total{name=\"odd\\\"name\\\\\"} 0\n",
             "sensor_gateway_timeouts_total{name=\"odd\\\"name\\\\\"} 5\n",
             "sensor_gateway_reconnects_total{name=\"inlet\"} 1\n",
             "sensor_gateway_seconds_since_last_sample{name=\"inlet\"} 0.25\n",
             "sensor_gateway_sensor_online{name=\"odd\\\"name\\\\\"} 0\n",
             "sensor_gateway_poll_cycle_seconds 0.0625\n",
             "sensor_gateway_broker_connected 1\n",
             "sensor_gateway_broker_info{broker=\"10.0.0.9:1883\"} 1\n",
             "sensor_gateway_samples_queued 4\n",
             "# TYPE sensor_gateway_samples_dropped_total counter\n",
             "sensor_gateway_samples_dropped_total 17\n",
             "sensor_gateway_journal_bytes 4096\n",
             "sensor_gateway_journal_replayed_total 300\n",
             "sensor_gateway_journal_dropped_total 12\n",
             "sensor_gateway_journal_corrupt_total 2\n",
             "sensor_gateway_oldest_waiting_sample_seconds 7.5\n",
             "sensor_gateway_modbus_requests_total 30\n",
             "sensor_gateway_modbus_exceptions_total 4\n",
             "sensor_gateway_modbus_connections_closed_total 1\n",
             "sensor_gateway_modbus_connections_refused_total 2\n",
             "sensor_gateway_modbus_connections_evicted_total 5\n",
             "sensor_gateway_modbus_connections_timed_out_total 6\n",
             "sensor_gateway_modbus_connections 3\n",
         })
        EXPECT_NE(text.find(line), std::string::npos) << line << "\nin\n" << text;
    // A sensor without a sample has no age, rather than a made-up one.
    EXPECT_EQ(text.find("seconds_since_last_sample{name=\"odd"), std::string::npos);
    EXPECT_EQ(RenderMetrics(TwoSensors()).find("modbus"), std::string::npos);
    EXPECT_EQ(RenderMetrics(TwoSensors()).find("journal"), std::string::npos) << "no storage folder";
    // Each family is announced once, and every sample line belongs to the announced name.
    std::size_t families = 0;
    for (std::size_t at = text.find("# TYPE "); at != std::string::npos; at = text.find("# TYPE ", at + 1))
        ++families;
    EXPECT_EQ(families, 22u);
}

TEST(GatewayMetrics, RequestsAreJudgedByTheirFirstLine) {
    const struct {
        const char *request;
        HttpVerdict verdict;
    } cases[] = {
        {"GET /metrics HTTP/1.1\r\nHost: x\r\n\r\n", HttpVerdict::Metrics},
        {"GET /metrics?name[]=x HTTP/1.0\n\n", HttpVerdict::Metrics},
        {"GET /metrics HTTP/1.1\r\nHost: x\r\n", HttpVerdict::Incomplete},
        {"GET / HTTP/1.1\r\n\r\n", HttpVerdict::NotFound},
        {"GET /metricsx HTTP/1.1\r\n\r\n", HttpVerdict::NotFound},
        {"POST /metrics HTTP/1.1\r\n\r\n", HttpVerdict::MethodNotAllowed},
        {"HEAD /metrics HTTP/1.1\r\n\r\n", HttpVerdict::MethodNotAllowed},
        {"GET /metrics\r\n\r\n", HttpVerdict::BadRequest},
        {"GET /metrics HTTP/2\r\n\r\n", HttpVerdict::BadRequest},
        {" GET /metrics HTTP/1.1\r\n\r\n", HttpVerdict::BadRequest},
        {"\x16\x03\x01\x02\x01\n\n", HttpVerdict::BadRequest},
    };
    for (const auto &c : cases)
        EXPECT_EQ(JudgeHttpRequest(c.request), c.verdict) << c.request;
}

TEST(GatewayMetrics, ServerAnswersAScrapeAndRefusesTheRest) {
    int scrapes = 0;
    MetricsServer server([&] {
        ++scrapes;
        return TwoSensors();
    });
    std::string problem;
    ASSERT_TRUE(server.Listen(QHostAddress::LocalHost, 0, problem)) << problem;

    const QByteArray ok = Exchange(server.Port(), "GET /metrics HTTP/1.1\r\nHost: localhost\r\n\r\n");
    ASSERT_TRUE(ok.startsWith("HTTP/1.1 200 OK\r\n")) << ok.toStdString();
    EXPECT_TRUE(ok.contains("\r\nContent-Type: text/plain; version=0.0.4; charset=utf-8\r\n"));
    const QByteArray body = ok.mid(ok.indexOf("\r\n\r\n") + 4);
    EXPECT_TRUE(ok.contains("\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n"));
    EXPECT_EQ(body.toStdString(), RenderMetrics(TwoSensors()));
    EXPECT_EQ(scrapes, 1);

    EXPECT_TRUE(Exchange(server.Port(), "GET /other HTTP/1.1\r\n\r\n").startsWith("HTTP/1.1 404 "));
    const QByteArray post = Exchange(server.Port(), "POST /metrics HTTP/1.1\r\n\r\n");
    EXPECT_TRUE(post.startsWith("HTTP/1.1 405 ")) << post.toStdString();
    EXPECT_TRUE(post.contains("\r\nAllow: GET\r\n"));
    EXPECT_TRUE(Exchange(server.Port(), QByteArray(9000, 'A')).startsWith("HTTP/1.1 400 "));
    EXPECT_EQ(scrapes, 1);
}

// Clients that connect and say nothing once held every slot, so no scrape got in:
// the one idle longest now gives way to the new connection.
TEST(GatewayMetrics, SilentClientsInEverySlotDoNotBlockAScrape) {
    MetricsServer server([] { return TwoSensors(); });
    std::string problem;
    ASSERT_TRUE(server.Listen(QHostAddress::LocalHost, 0, problem)) << problem;
    std::vector<std::unique_ptr<QTcpSocket>> silent;
    for (int i = 0; i < 12; ++i) { // more than the listener's slots
        silent.push_back(std::make_unique<QTcpSocket>());
        silent.back()->connectToHost(QHostAddress::LocalHost, server.Port());
        ASSERT_TRUE(WaitFor([&] { return silent.back()->state() == QAbstractSocket::ConnectedState; }));
    }
    const QByteArray ok = Exchange(server.Port(), "GET /metrics HTTP/1.1\r\n\r\n");
    EXPECT_TRUE(ok.startsWith("HTTP/1.1 200 OK\r\n")) << ok.toStdString();
}
