#include "gateway/sparkplugnode.h"

#include "gateway/log.h"
#include "runtime/utility.h"

namespace gateway::sparkplug {
namespace {

uint64_t NowMs() {
    return static_cast<uint64_t>(runtime::WallClockMs());
}

Metric Named(std::string name, DataType type, decltype(Metric::value) value, uint64_t timestamp) {
    Metric m;
    m.name = std::move(name);
    m.datatype = type;
    m.value = std::move(value);
    m.timestamp = timestamp;
    return m;
}

constexpr uint64_t kStateAlias = 8; // after the eight values

} // namespace

EdgeNode::EdgeNode(const SparkplugConfig &config, std::string version, const std::string &storageFolder,
                   Send send)
    : m_config(config), m_version(std::move(version)), m_prefix("spBv1.0/" + config.groupId + "/"),
      m_store(storageFolder), m_send(std::move(send)) {}

std::string EdgeNode::hostStateTopic() const {
    return m_config.primaryHost.empty() ? "" : "spBv1.0/STATE/" + m_config.primaryHost;
}

std::string EdgeNode::willPayload() {
    m_bdSeq = m_store.next();
    std::string problem;
    // Sparkplug B 3.0: each CONNECT carries the next bdSeq; a file that cannot be
    // written costs only the guarantee across a crash.
    if (!m_store.use(problem)) LogWarning("Sparkplug bdSeq not kept: " + problem);
    return Encode(deathOf(m_bdSeq));
}

std::string EdgeNode::deathPayload() const {
    return Encode(deathOf(m_bdSeq));
}

Payload EdgeNode::deathOf(int bdSeq) const {
    const uint64_t now = NowMs();
    Payload p;
    p.timestamp = now;
    p.metrics.push_back(Named("bdSeq", DataType::Int64, uint64_t(bdSeq), now));
    return p;
}

void EdgeNode::sessionStarted() {
    m_connected = true;
    m_hostOnline = false; // the host's retained STATE tells again on this broker
    m_born = false;
    if (m_config.primaryHost.empty()) births();
}

void EdgeNode::sessionEnded() {
    m_connected = false;
    m_born = false;
    for (auto &[name, device] : m_devices)
        device.born = false;
}

bool EdgeNode::received(const std::string &topic, const std::string &payload) {
    std::string problem;
    if (topic == commandTopic()) {
        const std::optional<NodeCommand> command = ReadNodeCommand(payload, problem);
        if (!command) {
            LogWarning("Sparkplug NCMD ignored: " + problem);
            return false;
        }
        if (command->rebirth && m_connected && m_born) births();
        return false;
    }
    if (topic != hostStateTopic() || hostStateTopic().empty()) return false;
    const std::optional<HostState> state = ReadHostState(payload, problem);
    if (!state) {
        LogWarning("Sparkplug STATE of " + m_config.primaryHost + " ignored: " + problem);
        return false;
    }
    // An older STATE is a late copy of one seen before.
    if (state->timestamp < m_hostTimestamp) return false;
    m_hostTimestamp = state->timestamp;
    m_hostOnline = state->online;
    if (state->online) {
        if (m_connected && !m_born) births();
        return false;
    }
    return m_born;
}

void EdgeNode::births() {
    const uint64_t now = NowMs();
    Payload p;
    p.timestamp = now;
    p.metrics.push_back(Named("bdSeq", DataType::Int64, uint64_t(m_bdSeq), now));
    p.metrics.push_back(Named("Node Control/Rebirth", DataType::Boolean, false, now));
    p.metrics.push_back(Named("Gateway/Version", DataType::String, m_version, now));
    p.metrics.push_back(Named("Gateway/Sensors", DataType::UInt32, uint32_t(m_devices.size()), now));
    m_seq = 0;
    m_born = true;
    sendWithSeq(m_prefix + "NBIRTH/" + m_config.edgeNodeId, std::move(p), 0);
    for (auto &[name, device] : m_devices) {
        device.born = false;
        if (device.online) birth(name, device);
    }
}

void EdgeNode::birth(const std::string &name, Device &device) {
    Payload p;
    p.timestamp = NowMs();
    const uint64_t at = static_cast<uint64_t>(device.last.wallMs);
    for (uint64_t k = 0; k < 8; ++k) {
        Metric m = Named(kValueNames[k], DataType::UInt16, uint32_t(device.last.values[k]), at);
        m.alias = device.aliasBase + k;
        p.metrics.push_back(std::move(m));
    }
    Metric state = Named("state", DataType::String, std::string("online"), at);
    state.alias = device.aliasBase + kStateAlias;
    state.properties = device.properties;
    p.metrics.push_back(std::move(state));
    device.born = sendWithSeq(deviceTopic("DBIRTH", name), std::move(p), 0);
    m_deviceBirths += device.born;
}

void EdgeNode::death(const std::string &name, Device &device) {
    if (!device.born) return;
    device.born = false;
    Payload p;
    p.timestamp = NowMs();
    sendWithSeq(deviceTopic("DDEATH", name), std::move(p), 0);
}

void EdgeNode::addDevice(const std::string &name,
                         std::vector<std::pair<std::string, std::string>> properties) {
    Device &device = m_devices[name];
    device.aliasBase = m_nextAliasBase;
    m_nextAliasBase += 16;
    device.properties = std::move(properties);
}

void EdgeNode::removeDevice(const std::string &name) {
    const auto it = m_devices.find(name);
    if (it == m_devices.end()) return;
    death(name, it->second);
    m_devices.erase(it);
}

void EdgeNode::deviceOffline(const std::string &name) {
    const auto it = m_devices.find(name);
    if (it == m_devices.end()) return;
    it->second.online = false;
    death(name, it->second);
}

bool EdgeNode::deviceSample(const std::string &name, const DeviceSample &sample) {
    const auto it = m_devices.find(name);
    if (it == m_devices.end()) return false;
    Device &device = it->second;
    device.online = true;
    device.last = sample;
    if (!m_born) return false;
    if (!device.born) {
        birth(name, device);
        return device.born;
    }
    return sendData(name, device, sample, false);
}

EdgeNode::History EdgeNode::deviceHistory(const std::string &name, const DeviceSample &sample) {
    const auto it = m_devices.find(name);
    if (it == m_devices.end()) return History::Never;
    if (!m_born || !it->second.born) return History::Later;
    return sendData(name, it->second, sample, true) ? History::Sent : History::Later;
}

bool EdgeNode::sendData(const std::string &name, const Device &device, const DeviceSample &sample,
                        bool historical) {
    Payload p;
    p.timestamp = NowMs();
    p.metrics.resize(8);
    for (uint64_t k = 0; k < 8; ++k) {
        p.metrics[k].alias = device.aliasBase + k;
        p.metrics[k].timestamp = static_cast<uint64_t>(sample.wallMs);
        p.metrics[k].value = uint32_t(sample.values[k]);
        p.metrics[k].historical = historical;
    }
    return sendWithSeq(deviceTopic("DDATA", name), std::move(p), 0);
}

int EdgeNode::devicesBorn() const {
    int n = 0;
    for (const auto &[name, device] : m_devices)
        n += device.born;
    return n;
}

// Sends with the next seq; the seq moves on only when the message was taken, so
// that a host never sees a gap for a message that never went out.
bool EdgeNode::sendWithSeq(const std::string &topic, Payload payload, int qos) {
    payload.seq = static_cast<uint64_t>(m_seq);
    if (!m_send(topic, Encode(payload), qos)) return false;
    m_seq = (m_seq + 1) % 256;
    return true;
}

std::string EdgeNode::deviceTopic(const char *kind, const std::string &name) const {
    return m_prefix + kind + "/" + m_config.edgeNodeId + "/" + name;
}

} // namespace gateway::sparkplug
