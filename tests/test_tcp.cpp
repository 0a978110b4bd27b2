// TCP client services against a real server on the loopback interface.
#include "platform/tcpsupp.h"
#include "platform/userint.h"
#include "platform/utility.h"
#include "tests/test_support.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// What the client callback saw. chunk: bytes it reads per data-ready event (0 =
// none); duringCallback runs inside the callback after its read.
struct Recorder {
    int chunk = 1024;
    std::function<void()> duringCallback;
    std::string received;
    std::vector<int> events;
    int depth = 0;
    int deepest = 0;
};

int Record(unsigned handle, int event, int, void *data) {
    Recorder &r = *static_cast<Recorder *>(data);
    r.events.push_back(event);
    r.deepest = std::max(r.deepest, ++r.depth);
    if (event == TCP_DATAREADY && r.chunk > 0) {
        char buffer[1024];
        int n = ClientTCPRead(handle, buffer, static_cast<unsigned>(r.chunk), 5000);
        if (n > 0) r.received.append(buffer, static_cast<std::size_t>(n));
    }
    if (r.duringCallback) r.duringCallback();
    --r.depth;
    return 0;
}

// Waits by looping on WaitForSystemEvents, as the programs' answer waits do.
bool WaitInEventPump(const std::function<bool()> &done, double seconds = 5.0) {
    const double end = Timer() + seconds;
    while (!done() && Timer() < end)
        WaitForSystemEvents(end - Timer());
    return done();
}

// Lets events run for a while, to see that nothing more comes.
void LetEventsRun() {
    const double end = Timer() + 0.1;
    while (Timer() < end)
        WaitForSystemEvents(end - Timer());
}

int Count(const std::vector<int> &events, int event) {
    return static_cast<int>(std::count(events.begin(), events.end(), event));
}

// A server on 127.0.0.1 with one accepted peer, and our conversation with it.
class TcpClient : public ::testing::Test {
  protected:
    QTcpServer server;
    QTcpSocket *peer = nullptr;
    unsigned handle = 0;
    Recorder recorder;

    void Connect(tcpFuncPtr callback, void *data) {
        ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
        ASSERT_EQ(ConnectToTCPServer(&handle, server.serverPort(), "127.0.0.1", callback, data, 5000), 0);
        ASSERT_TRUE(server.waitForNewConnection(5000));
        peer = server.nextPendingConnection();
        ASSERT_NE(peer, nullptr);
    }
    void SetUp() override { Connect(Record, &recorder); }
    void TearDown() override { DisconnectFromTCPServer(handle); }
    void PeerSends(const std::string &bytes) {
        peer->write(bytes.data(), static_cast<qint64>(bytes.size()));
        peer->waitForBytesWritten(5000);
    }
};

// The answer wait of the programs: the callback collects a 36-byte answer at its
// place in the buffer, reading until it is complete.
struct Answer {
    char buffer[36] = {};
    int bytesToRead = 36;
    int reads = 0;
    bool eventsBetweenReads = false;
    std::atomic<bool> waiting{false};
    std::atomic<int> received{0};
    bool outsideWait = false;
    int depth = 0;
    int deepest = 0;
};

int CollectAnswer(unsigned handle, int event, int, void *data) {
    Answer &a = *static_cast<Answer *>(data);
    if (event != TCP_DATAREADY) return 0;
    a.outsideWait |= !a.waiting;
    a.deepest = std::max(a.deepest, ++a.depth);
    while (a.bytesToRead > 0) {
        int n =
            ClientTCPRead(handle, a.buffer + 36 - a.bytesToRead, static_cast<unsigned>(a.bytesToRead), 5000);
        if (n <= 0) break;
        a.bytesToRead -= n;
        ++a.reads;
        a.received = 36 - a.bytesToRead;
        if (a.eventsBetweenReads) ProcessSystemEvents();
    }
    --a.depth;
    return 0;
}

TEST_F(TcpClient, AnswerInSeveralSegmentsReachesTheCallbackInsideTheWait) {
    std::string answer(36, '\0');
    for (int i = 0; i < 36; ++i)
        answer[i] = static_cast<char>(0xAA + i * 7);
    for (bool eventsBetweenReads : {false, true}) {
        SCOPED_TRACE(eventsBetweenReads);
        DisconnectFromTCPServer(handle);
        delete peer;
        server.close();
        Answer a;
        a.eventsBetweenReads = eventsBetweenReads;
        Connect(CollectAnswer, &a);
        // The far end sends each piece once the one before it has been taken, so
        // the pieces surely arrive apart.
        int fd = static_cast<int>(peer->socketDescriptor());
        std::thread sender([&] {
            auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
            auto until = [&](auto cond) {
                while (!cond() && std::chrono::steady_clock::now() < end)
                    std::this_thread::sleep_for(std::chrono::microseconds(100));
            };
            until([&] { return a.waiting.load(); });
            const int pieceEnds[] = {5, 20, 36};
            int from = 0;
            for (int to : pieceEnds) {
                until([&] { return a.received >= from; });
                send(fd, answer.data() + from, static_cast<std::size_t>(to - from), MSG_NOSIGNAL);
                from = to;
            }
        });
        a.waiting = true;
        EXPECT_TRUE(WaitInEventPump([&] { return a.bytesToRead == 0; }));
        a.waiting = false;
        sender.join();
        EXPECT_EQ(std::string(a.buffer, 36), answer);
        EXPECT_EQ(a.reads, 3);
        EXPECT_FALSE(a.outsideWait);
        EXPECT_EQ(a.deepest, 1);
    }
}

TEST_F(TcpClient, DataReadyRepeatsWhileTheCallbackTakesSomething) {
    std::string sent(100, '\0');
    for (int i = 0; i < 100; ++i)
        sent[i] = static_cast<char>(i);
    recorder.chunk = 10;
    PeerSends(sent);
    EXPECT_TRUE(WaitInEventPump([&] { return recorder.received.size() == 100; }));
    EXPECT_EQ(recorder.received, sent);
    EXPECT_GE(Count(recorder.events, TCP_DATAREADY), 10);
    EXPECT_EQ(recorder.deepest, 1);
}

TEST_F(TcpClient, CallbackThatReadsNothingIsCalledAgainOnlyForNewData) {
    recorder.chunk = 0;
    PeerSends("abc");
    EXPECT_TRUE(WaitInEventPump([&] { return !recorder.events.empty(); }));
    LetEventsRun();
    EXPECT_EQ(Count(recorder.events, TCP_DATAREADY), 1);
    PeerSends("def");
    EXPECT_TRUE(WaitInEventPump([&] { return recorder.events.size() == 2; }));
    recorder.chunk = 1024;
    PeerSends("g");
    EXPECT_TRUE(WaitInEventPump([&] { return recorder.received == "abcdefg"; }));
}

TEST_F(TcpClient, CallbackIsNotEnteredAgainWhileItProcessesEvents) {
    recorder.chunk = 1;
    recorder.duringCallback = [&] {
        if (recorder.received != "a") return;
        PeerSends("bc");
        LetEventsRun();
    };
    PeerSends("a");
    EXPECT_TRUE(WaitInEventPump([&] { return recorder.received == "abc"; }));
    EXPECT_EQ(recorder.deepest, 1);
}

TEST_F(TcpClient, NoCallbackInsideReadOrWrite) {
    PeerSends("ab");
    char c = 0;
    EXPECT_EQ(ClientTCPRead(handle, &c, 1, 5000), 1);
    EXPECT_EQ(ClientTCPWrite(handle, "x", 1, 5000), 1);
    EXPECT_TRUE(recorder.events.empty());
    EXPECT_TRUE(WaitInEventPump([&] { return recorder.received == "b"; }));
}

TEST_F(TcpClient, PeerCloseIsAnnouncedOnceAfterItsData) {
    PeerSends("bye");
    peer->disconnectFromHost();
    EXPECT_TRUE(WaitInEventPump([&] { return Count(recorder.events, TCP_DISCONNECT) > 0; }));
    LetEventsRun();
    EXPECT_EQ(recorder.received, "bye");
    EXPECT_EQ(Count(recorder.events, TCP_DISCONNECT), 1);
    EXPECT_EQ(recorder.events.back(), TCP_DISCONNECT);

    char c = 'x';
    EXPECT_EQ(ClientTCPWrite(handle, &c, 1, 1000), kTCP_ConnectionClosed);
    EXPECT_EQ(ClientTCPRead(handle, &c, 1, 1000), kTCP_ConnectionClosed);
}

TEST_F(TcpClient, WritesArriveWholeAndReadsTakeWhatIsThere) {
    std::string all(256, '\0');
    for (int i = 0; i < 256; ++i)
        all[i] = static_cast<char>(i);
    EXPECT_EQ(ClientTCPWrite(handle, all.data(), 256, 2000), 256);
    std::string got;
    while (got.size() < 256 && peer->waitForReadyRead(5000))
        got += peer->readAll().toStdString();
    EXPECT_EQ(got, all);

    // A read does not wait for more than is there, and times out on nothing.
    char buffer[36];
    PeerSends("12345");
    EXPECT_EQ(ClientTCPRead(handle, buffer, 36, 5000), 5);
    EXPECT_EQ(ClientTCPRead(handle, buffer, 36, 50), kTCP_TimeOutErr);
}

TEST_F(TcpClient, NoCallbackAfterDisconnectFromTCPServer) {
    PeerSends("late");
    EXPECT_EQ(DisconnectFromTCPServer(handle), 0);
    EXPECT_TRUE(peer->waitForDisconnected(5000));
    LetEventsRun();
    EXPECT_TRUE(recorder.events.empty());
    EXPECT_EQ(DisconnectFromTCPServer(handle), kTCP_NoConnectionEstablished);
}

TEST(TcpConnect, RefusedConnectFailsBeforeItsTimeOut) {
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    quint16 port = server.serverPort();
    server.close();
    unsigned handle = 0;
    EXPECT_EQ(ConnectToTCPServer(&handle, port, "127.0.0.1", Record, nullptr, 5000),
              kTCP_UnableToEstablishConnection);
}

TEST(TcpConnect, ServerThatNeverAcceptsTimesOut) {
    // A listener with a full backlog leaves further connects unanswered.
    int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr *>(&address), length), 0);
    ASSERT_EQ(listen(listener, 0), 0);
    getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length);
    std::vector<int> fillers;
    for (int i = 0; i < 4; ++i) {
        fillers.push_back(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0));
        connect(fillers.back(), reinterpret_cast<sockaddr *>(&address), length);
    }
    unsigned handle = 0;
    EXPECT_EQ(ConnectToTCPServer(&handle, ntohs(address.sin_port), "127.0.0.1", Record, nullptr, 300),
              kTCP_TimeOutErr);
    for (int fd : fillers)
        close(fd);
    close(listener);
}

TEST(TcpConnect, BadArgumentsAndUnknownHandlesAreRefused) {
    unsigned handle = 0;
    char buffer[4] = {};
    EXPECT_EQ(ConnectToTCPServer(&handle, 1234, "", Record, nullptr, 100), kTCP_InvalidParameter);
    EXPECT_EQ(ConnectToTCPServer(&handle, 0, "127.0.0.1", Record, nullptr, 100), kTCP_InvalidParameter);
    EXPECT_EQ(ConnectToTCPServer(&handle, 70000, "127.0.0.1", Record, nullptr, 100), kTCP_InvalidParameter);
    EXPECT_EQ(ConnectToTCPServer(nullptr, 1234, "127.0.0.1", Record, nullptr, 100), kTCP_InvalidParameter);
    EXPECT_EQ(ClientTCPRead(999999, buffer, 4, 10), kTCP_NoConnectionEstablished);
    EXPECT_EQ(ClientTCPWrite(999999, buffer, 4, 10), kTCP_NoConnectionEstablished);
    EXPECT_EQ(DisconnectFromTCPServer(999999), kTCP_NoConnectionEstablished);
}

} // namespace
