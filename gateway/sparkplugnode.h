// The gateway as one Sparkplug B 3.0 edge node, each sensor a device: the session
// rules (bdSeq in the will and the NBIRTH, the seq chain, births, deaths, rebirth on
// request, waiting for the primary host application) on top of whatever connection
// hands its messages to the broker. It never talks to the network itself: the owner
// gives it a send function and tells it when a session starts and ends.
//
//   EdgeNode node(config.sparkplug, version, config.storage.path, send);
//   client.nextWill = [&] { return {node.deathTopic(), node.willPayload(), 1, false}; };
//   client.subscribe(node.commandTopic(), 0);          // and hostStateTopic() when set
//   on connect: node.sessionStarted();  on loss: node.sessionEnded();
//   on a message: if (node.received(topic, payload)) { send NDEATH; leave the broker; }
//   per sample: node.deviceSample(name, sample);  offline: node.deviceOffline(name);
//   a sample from the journal: node.deviceHistory(name, sample);
#pragma once

#include "gateway/bdseq.h"
#include "gateway/config.h"
#include "gateway/sparkplugpayload.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace gateway::sparkplug {

// The values a sensor's sample gives its device, in the order of kValueNames.
struct DeviceSample {
    int64_t wallMs = 0;
    uint16_t values[8] = {};
};
// The device metrics' names: those of the JSON samples.
inline constexpr const char *kValueNames[8] = {"CH_L", "CH_C", "CH_R",   "DENS",
                                               "SYM1", "SYM2", "VECTOR", "TEMP_raw"};

class EdgeNode {
  public:
    // Hands a message to the broker connection; false when it was not taken.
    using Send = std::function<bool(const std::string &topic, const std::string &payload, int qos)>;

    // storageFolder: where the bdSeq is kept ("" for in memory only).
    EdgeNode(const SparkplugConfig &config, std::string version, const std::string &storageFolder, Send send);

    std::string commandTopic() const { return m_prefix + "NCMD/" + m_config.edgeNodeId; }
    std::string deathTopic() const { return m_prefix + "NDEATH/" + m_config.edgeNodeId; }
    // The primary host's STATE topic; "" without one.
    std::string hostStateTopic() const;

    // The NDEATH that the next CONNECT leaves as its will; it takes the next bdSeq.
    std::string willPayload();
    // The NDEATH of the session in force, for a planned end.
    std::string deathPayload() const;

    // The broker accepted the connection: births, unless the primary host is not online yet.
    void sessionStarted();
    // The connection is gone: nothing is born any more.
    void sessionEnded();
    // A message of commandTopic() or hostStateTopic(). True when the node must leave
    // this broker (its primary host went offline): the owner sends deathPayload() and
    // disconnects. Payloads that are not valid are ignored with a warning.
    bool received(const std::string &topic, const std::string &payload);

    // A sensor: a device with properties (target, tags) in its birth.
    void addDevice(const std::string &name, std::vector<std::pair<std::string, std::string>> properties);
    // A sensor that ends (DDEATH if it was born).
    void removeDevice(const std::string &name);
    // A sensor's exchange failed (DDEATH if it was born).
    void deviceOffline(const std::string &name);
    // A sensor's sample: its DBIRTH when it is not born, a DDATA otherwise; true
    // when one went out (false: no session, or the connection did not take it).
    bool deviceSample(const std::string &name, const DeviceSample &sample);
    // What became of a sample from the past.
    enum class History {
        Sent,  // a DDATA with is_historical on every metric
        Later, // the device is not born in this session: the host would not know its aliases
        Never, // no such device: a host accepts data only of a device it saw born
    };
    // A sample taken earlier, as a DDATA of its device, marked historical, with its own time.
    History deviceHistory(const std::string &name, const DeviceSample &sample);
    // DBIRTHs sent so far: a new one may let samples that waited for it go.
    uint64_t deviceBirths() const { return m_deviceBirths; }

    bool born() const { return m_born; }
    int bdSeq() const { return m_bdSeq; }
    int devicesBorn() const;

  private:
    struct Device {
        uint64_t aliasBase = 0; // its metrics' aliases: aliasBase + 0..8, unique in the node
        bool online = false;    // a sample came since the last failure
        bool born = false;
        DeviceSample last;
        std::vector<std::pair<std::string, std::string>> properties;
    };

    void births();
    void birth(const std::string &name, Device &device);
    void death(const std::string &name, Device &device);
    bool sendWithSeq(const std::string &topic, Payload payload, int qos);
    bool sendData(const std::string &name, const Device &device, const DeviceSample &sample, bool historical);
    std::string deviceTopic(const char *kind, const std::string &name) const;
    Payload deathOf(int bdSeq) const;

    SparkplugConfig m_config;
    std::string m_version;
    std::string m_prefix; // spBv1.0/GROUP/
    BdSeqStore m_store;
    Send m_send;
    std::map<std::string, Device> m_devices;
    uint64_t m_nextAliasBase = 16;
    int m_bdSeq = 0; // of the session in force (its will)
    int m_seq = 0;   // of the next message
    bool m_connected = false;
    bool m_hostOnline = false;
    int64_t m_hostTimestamp = -1; // of the primary host's last STATE
    bool m_born = false;
    uint64_t m_deviceBirths = 0;
};

} // namespace gateway::sparkplug
