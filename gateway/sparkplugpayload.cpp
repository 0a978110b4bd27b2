#include "gateway/sparkplugpayload.h"

#include "sparkplug_b.pb-c.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace gateway::sparkplug {
namespace {

using PbMetric = SparkplugB__Payload__Metric;
using PbValue = SparkplugB__Payload__PropertyValue;
using PbSet = SparkplugB__Payload__PropertySet;

// protobuf-c takes char * for strings it only reads.
char *Text(const std::string &s) {
    return const_cast<char *>(s.c_str());
}

void SetValue(PbMetric &m, const Metric &metric) {
    if (const auto *v = std::get_if<uint32_t>(&metric.value)) {
        m.value_case = SPARKPLUG_B__PAYLOAD__METRIC__VALUE_INT_VALUE;
        m.int_value = *v;
    } else if (const auto *l = std::get_if<uint64_t>(&metric.value)) {
        m.value_case = SPARKPLUG_B__PAYLOAD__METRIC__VALUE_LONG_VALUE;
        m.long_value = *l;
    } else if (const auto *b = std::get_if<bool>(&metric.value)) {
        m.value_case = SPARKPLUG_B__PAYLOAD__METRIC__VALUE_BOOLEAN_VALUE;
        m.boolean_value = *b;
    } else {
        m.value_case = SPARKPLUG_B__PAYLOAD__METRIC__VALUE_STRING_VALUE;
        m.string_value = Text(std::get<std::string>(metric.value));
    }
}

// The protobuf-c structures of one metric's properties, kept alive until packed.
struct Properties {
    PbSet set = SPARKPLUG_B__PAYLOAD__PROPERTY_SET__INIT;
    std::vector<char *> keys;
    std::vector<PbValue> values;
    std::vector<PbValue *> pointers;

    explicit Properties(const Metric &metric) {
        for (const auto &[key, value] : metric.properties) {
            keys.push_back(Text(key));
            PbValue v = SPARKPLUG_B__PAYLOAD__PROPERTY_VALUE__INIT;
            v.has_type = true;
            v.type = static_cast<uint32_t>(DataType::String);
            v.value_case = SPARKPLUG_B__PAYLOAD__PROPERTY_VALUE__VALUE_STRING_VALUE;
            v.string_value = Text(value);
            values.push_back(v);
        }
        for (PbValue &v : values)
            pointers.push_back(&v);
        set.n_keys = keys.size();
        set.keys = keys.data();
        set.n_values = pointers.size();
        set.values = pointers.data();
    }
};

} // namespace

std::string Encode(const Payload &payload) {
    const std::size_t n = payload.metrics.size();
    std::vector<PbMetric> metrics(n);
    std::vector<PbMetric *> pointers(n);
    std::vector<Properties> properties;
    properties.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        const Metric &from = payload.metrics[i];
        PbMetric &m = metrics[i];
        sparkplug_b__payload__metric__init(&m);
        if (!from.name.empty()) m.name = Text(from.name);
        m.has_alias = from.alias.has_value();
        m.alias = from.alias.value_or(0);
        m.has_timestamp = true;
        m.timestamp = from.timestamp;
        m.has_datatype = from.datatype.has_value();
        m.datatype = static_cast<uint32_t>(from.datatype.value_or(DataType::Int64));
        m.has_is_historical = from.historical;
        m.is_historical = from.historical;
        SetValue(m, from);
        if (!from.properties.empty()) m.properties = &properties.emplace_back(from).set;
        pointers[i] = &m;
    }
    SparkplugB__Payload p = SPARKPLUG_B__PAYLOAD__INIT;
    p.has_timestamp = true;
    p.timestamp = payload.timestamp;
    p.has_seq = payload.seq.has_value();
    p.seq = payload.seq.value_or(0);
    p.n_metrics = n;
    p.metrics = pointers.data();
    std::string bytes(sparkplug_b__payload__get_packed_size(&p), '\0');
    sparkplug_b__payload__pack(&p, reinterpret_cast<uint8_t *>(bytes.data()));
    return bytes;
}

std::optional<NodeCommand> ReadNodeCommand(std::string_view bytes, std::string &problem) {
    SparkplugB__Payload *p =
        sparkplug_b__payload__unpack(nullptr, bytes.size(), reinterpret_cast<const uint8_t *>(bytes.data()));
    if (!p) {
        problem = "not a Sparkplug B payload";
        return std::nullopt;
    }
    NodeCommand command;
    for (std::size_t i = 0; i < p->n_metrics; ++i) {
        const PbMetric &m = *p->metrics[i];
        if (m.name && std::string_view(m.name) == "Node Control/Rebirth" &&
            m.value_case == SPARKPLUG_B__PAYLOAD__METRIC__VALUE_BOOLEAN_VALUE && m.boolean_value)
            command.rebirth = true;
    }
    sparkplug_b__payload__free_unpacked(p, nullptr);
    return command;
}

std::optional<HostState> ReadHostState(std::string_view json, std::string &problem) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(
        QByteArray::fromRawData(json.data(), static_cast<qsizetype>(json.size())), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        problem = "not a JSON object";
        return std::nullopt;
    }
    const QJsonObject o = document.object();
    const QJsonValue online = o.value("online");
    const QJsonValue timestamp = o.value("timestamp");
    const double ms = timestamp.toDouble(NAN);
    if (!online.isBool() || !timestamp.isDouble() || !(ms >= 0 && ms < 9.0e15) || std::floor(ms) != ms) {
        problem = "lacks \"online\" (true or false) or \"timestamp\" (milliseconds)";
        return std::nullopt;
    }
    return HostState{online.toBool(), static_cast<int64_t>(ms)};
}

} // namespace gateway::sparkplug
