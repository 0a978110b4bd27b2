// Live samples to an MQTT broker through libmosquitto: samples on PREFIX/data,
// a retained "online"/"offline" on PREFIX/status with "offline" as last will.
// The broker may come and go: libmosquitto reconnects with a growing delay and
// sends again what the broker has not confirmed (QoS 1), in order. At most
// queueLimit samples wait unconfirmed; a sample beyond that is dropped and counted.
#pragma once

#include "mqtt/broker.h"

#include <cstdint>
#include <memory>
#include <string>

struct mosquitto;

using mqtt::Broker;
using mqtt::ParseBroker;

class Publisher {
  public:
    Publisher(const Broker &broker, const std::string &topicPrefix, int queueLimit);
    ~Publisher();
    Publisher(const Publisher &) = delete;
    Publisher &operator=(const Publisher &) = delete;

    // Starts connecting in the background; false with the reason in problem
    // when the client cannot even be set up.
    bool Start(std::string &problem);
    // Waits up to seconds for the first connection; true when connected.
    bool WaitConnected(double seconds);
    // Hands one sample to the broker, or drops it when the queue is full.
    void Publish(const std::string &payload);
    // Publishes "offline" and waits for the broker to confirm it and what is
    // queued (a broker away gets the time to come back), then disconnects; all
    // within seconds.
    void Stop(double seconds);

    struct Totals {
        bool everConnected = false;
        int64_t published = 0; // handed to libmosquitto
        int64_t confirmed = 0; // confirmed by the broker
        int64_t dropped = 0;   // dropped because the queue was full
    };
    Totals Counts() const;
    // A change of the connection since the last call, in words ("" when none):
    // for the tool's messages on stderr.
    std::string TakeNews();

  private:
    struct Shared;
    static void OnConnect(mosquitto *, void *self, int rc);
    static void OnDisconnect(mosquitto *, void *self, int rc);
    static void OnPublish(mosquitto *, void *self, int mid);
    bool PublishStatus(const char *status);

    Broker m_broker;
    std::string m_dataTopic;
    std::string m_statusTopic;
    int m_queueLimit;
    mosquitto *m_client = nullptr;
    bool m_loopRunning = false;
    std::unique_ptr<Shared> m_shared;
};
