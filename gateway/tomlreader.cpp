#include "gateway/tomlreader.h"

#include <algorithm>
#include <cmath>

namespace gateway {

int LineOf(const toml::source_region &region) {
    return static_cast<int>(region.begin.line);
}

std::string TypeName(const toml::node &node) {
    switch (node.type()) {
    case toml::node_type::table:
        return "a table";
    case toml::node_type::array:
        return "an array";
    case toml::node_type::string:
        return "a string";
    case toml::node_type::integer:
        return "an integer";
    case toml::node_type::floating_point:
        return "a number with a fraction";
    case toml::node_type::boolean:
        return "true or false";
    default:
        return "a date or time";
    }
}

void TomlReader::Issue(int line, std::string reason, bool warning) {
    std::replace_if(
        reason.begin(), reason.end(),
        [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; }, '?');
    m_issues.push_back({m_path, line, std::move(reason), warning});
}

void TomlReader::Error(const toml::node &node, std::string reason) {
    Issue(LineOf(node.source()), std::move(reason));
}

void TomlReader::CheckKeys(const toml::table &table, Allowed allowed, const std::string &where) {
    for (auto &&[key, value] : table)
        if (std::find(allowed.begin(), allowed.end(), key.str()) == allowed.end())
            Issue(LineOf(key.source()), "unknown key '" + std::string(key.str()) + "' in " + where);
}

void TomlReader::Missing(const toml::node &table, std::string_view key, const std::string &where) {
    Error(table, "missing key '" + std::string(key) + "' in " + where);
}

bool TomlReader::String(const toml::table &table, std::string_view key, const std::string &where,
                        std::string &out) {
    const toml::node *node = Typed<std::string>(table, key, where, "a string");
    if (node) out = node->value<std::string>().value_or("");
    return node;
}

bool TomlReader::Number(const toml::table &table, std::string_view key, const std::string &where, double max,
                        double &out) {
    const toml::node *node = Typed<double>(table, key, where, "a number");
    if (!node) return false;
    const double value = node->value<double>().value_or(NAN);
    if (!(value >= 0.0 && value <= max)) {
        Error(*node, "'" + std::string(key) + "' in " + where + " must be 0.." + std::to_string(int(max)));
        return false;
    }
    out = value;
    return true;
}

bool TomlReader::Integer(const toml::table &table, std::string_view key, const std::string &where, int min,
                         int max, int &out) {
    const toml::node *node = Typed<int64_t>(table, key, where, "a whole number");
    if (!node) return false;
    const int64_t value = node->value<int64_t>().value_or(0);
    if (value < min || value > max) {
        Error(*node, "'" + std::string(key) + "' in " + where + " must be " + std::to_string(min) + ".." +
                         std::to_string(max) + ", not " + std::to_string(value));
        return false;
    }
    out = static_cast<int>(value);
    return true;
}

const toml::table *TomlReader::Table(const toml::table &parent, std::string_view key,
                                     const std::string &where) {
    return Typed<toml::table>(parent, key, where.empty() ? "the file" : where, "a table")
               ? parent.get(key)->as_table()
               : nullptr;
}

} // namespace gateway
