// systemd's side of a Type=notify service for the tests that run the gateway: a
// Unix datagram socket of the test's own, named in the gateway's NOTIFY_SOCKET.
#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

constexpr int kWatchdogUsec = 1000000;

// A Unix datagram socket of the test's own, named in the gateway's NOTIFY_SOCKET.
// A thread reads it, so that every message keeps the time it came even while the
// test's thread waits for something else.
class Supervisor {
  public:
    struct Message {
        double seconds; // since the supervisor was made
        std::string text;
    };

    explicit Supervisor(const QString &path) : m_path(path.toStdString()) {
        m_fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address = {};
        address.sun_family = AF_UNIX;
        m_path.copy(address.sun_path, sizeof address.sun_path - 1);
        EXPECT_EQ(bind(m_fd, reinterpret_cast<sockaddr *>(&address), sizeof address), 0) << m_path;
        m_reader = std::thread([this] { Read(); });
    }
    ~Supervisor() {
        m_done = true;
        m_reader.join();
        close(m_fd);
    }
    Supervisor(const Supervisor &) = delete;
    Supervisor &operator=(const Supervisor &) = delete;

    // The environment systemd gives a Type=notify service with WatchdogSec=.
    QProcessEnvironment Environment() const {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("NOTIFY_SOCKET", QString::fromStdString(m_path));
        environment.insert("WATCHDOG_USEC", QString::number(kWatchdogUsec));
        return environment;
    }
    std::vector<Message> Messages() {
        const std::lock_guard lock(m_mutex);
        return m_messages;
    }
    // The texts of the messages so far, one after the other.
    std::string Texts() {
        std::string all;
        for (const Message &m : Messages())
            all += m.text + "|";
        return all;
    }
    // The arrival times of the messages that hold part.
    std::vector<double> Times(const std::string &part) {
        std::vector<double> times;
        for (const Message &m : Messages())
            if (m.text.find(part) != std::string::npos) times.push_back(m.seconds);
        return times;
    }

  private:
    void Read() {
        const auto start = std::chrono::steady_clock::now();
        pollfd readable = {m_fd, POLLIN, 0};
        while (!m_done) {
            if (poll(&readable, 1, 50) <= 0) continue;
            char buffer[4096];
            const ssize_t n = recv(m_fd, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n <= 0) continue;
            const std::chrono::duration<double> since = std::chrono::steady_clock::now() - start;
            const std::lock_guard lock(m_mutex);
            m_messages.push_back({since.count(), std::string(buffer, std::size_t(n))});
        }
    }

    std::string m_path;
    int m_fd = -1;
    std::atomic<bool> m_done = false;
    std::mutex m_mutex;
    std::vector<Message> m_messages;
    std::thread m_reader;
};
