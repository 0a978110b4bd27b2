// Reading a parsed TOML table for a reading that reports every mistake at once:
// each value is checked for its type (numbers for their range, strings with a
// check of their own), a mistake is noted with its line, and the reading goes on.
// The gateway's configuration (config.cpp) walks its tables with it.
#pragma once

#include "gateway/config.h"

#include <toml++/toml.h>

#include <initializer_list>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace gateway {

int LineOf(const toml::source_region &region);
// What a node is, as a mistake's reason names it ("a string", "an array", ...).
std::string TypeName(const toml::node &node);

class TomlReader {
  public:
    using Allowed = std::initializer_list<std::string_view>;

    TomlReader(const std::string &path, std::vector<ConfigIssue> &issues) : m_path(path), m_issues(issues) {}

    // Notes a mistake (or a warning). The reason quotes the file's text, which may
    // hold anything: its control characters become '?', so that it stays one line.
    void Issue(int line, std::string reason, bool warning = false);
    // Notes a mistake at a node's line.
    void Error(const toml::node &node, std::string reason);
    // Notes every key of table that is not allowed there.
    void CheckKeys(const toml::table &table, Allowed allowed, const std::string &where);
    // Notes a key that table must hold.
    void Missing(const toml::node &table, std::string_view key, const std::string &where);

    // The value of key when it has the wanted type; nullptr when absent or wrong (reported).
    template <typename T>
    const toml::node *Typed(const toml::table &table, std::string_view key, const std::string &where,
                            const char *wanted) {
        const toml::node *node = table.get(key);
        if (!node) return nullptr;
        if (!node->is<T>() && !(std::is_same_v<T, double> && node->is_number())) {
            Error(*node, "'" + std::string(key) + "' in " + where + " must be " + wanted + ", not " +
                             TypeName(*node));
            return nullptr;
        }
        return node;
    }

    // Each of these sets out only when key is there with a fitting value; true then.
    bool String(const toml::table &table, std::string_view key, const std::string &where, std::string &out);
    // A number 0..max.
    bool Number(const toml::table &table, std::string_view key, const std::string &where, double max,
                double &out);
    // A whole number min..max.
    bool Integer(const toml::table &table, std::string_view key, const std::string &where, int min, int max,
                 int &out);
    // A string value checked with check (a function returning "" or a reason).
    template <typename Check>
    bool Checked(const toml::table &table, std::string_view key, const std::string &where, std::string &out,
                 Check check) {
        std::string value;
        if (!String(table, key, where, value)) return false;
        const std::string problem = check(value);
        if (!problem.empty()) {
            Error(*table.get(key), "'" + std::string(key) + "' in " + where + ": " + problem);
            return false;
        }
        out = value;
        return true;
    }
    // The table under key, or nullptr when absent or not a table (reported).
    const toml::table *Table(const toml::table &parent, std::string_view key, const std::string &where = "");

    // The file's path, as messages name it and relative paths count from its folder.
    const std::string &Path() const { return m_path; }

  private:
    const std::string &m_path;
    std::vector<ConfigIssue> &m_issues;
};

} // namespace gateway
