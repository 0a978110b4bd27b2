#include "ctl/target.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

namespace ctl {
namespace {

constexpr std::size_t kMaxLineChars = 1024;
constexpr std::size_t kMaxTargets = 10000;

bool NameCharacter(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '_' || c == '-';
}

std::string NameFrom(const std::string &text) {
    std::string name;
    for (char c : text)
        name += NameCharacter(c) ? c : '-';
    return name;
}

} // namespace

bool ParseTarget(const std::string &text, const std::string &name, Target &target, std::string &problem) {
    Target t;
    t.text = text;
    if (!sensor::ParseAddress(text, t.address, problem)) return false;
    if (t.address.tcp)
        t.name = NameFrom(t.address.host + "-" + std::to_string(t.address.port));
    else
        t.name = NameFrom(text.substr(text.rfind('/') + 1));
    if (!name.empty()) {
        if (!std::all_of(name.begin(), name.end(), NameCharacter)) {
            problem = "the name \"" + name + "\" may hold only letters, digits, '.', '_' and '-'";
            return false;
        }
        t.name = name;
    }
    if (t.name.empty()) t.name = "sensor";
    target = t;
    return true;
}

bool ReadTargetsFile(const std::string &path, std::vector<Target> &targets, std::string &problem) {
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) {
        problem = "the targets file " + path + " is a folder";
        return false;
    }
    std::ifstream in(path);
    if (!in) {
        problem = "the targets file " + path + " cannot be opened";
        return false;
    }
    std::vector<Target> read;
    std::set<std::string> names;
    std::map<std::string, std::string> places; // where each sensor is, and the name it has there
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        const std::string where = path + " line " + std::to_string(number) + ": ";
        if (number == 1 && line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3); // a byte-order mark
        if (line.size() > kMaxLineChars) {
            problem = where + "the line is too long";
            return false;
        }
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::istringstream words(line);
        std::string address, name, extra;
        words >> address >> name >> extra;
        if (address.empty() || address[0] == '#') continue;
        if (!extra.empty()) {
            problem = where + "a line holds a target and at most a name";
            return false;
        }
        Target t;
        std::string why;
        if (!ParseTarget(address, name, t, why)) {
            problem = where + why;
            return false;
        }
        if (!names.insert(t.name).second) {
            problem = where + "the name " + t.name + " is used twice; give each target a name of its own";
            return false;
        }
        // Two conversations with one sensor would answer each other's requests.
        if (const auto [it, fresh] = places.try_emplace(t.address.place(), t.name); !fresh) {
            problem = where + t.address.place() + " is listed twice, as " + it->second + " and " + t.name;
            return false;
        }
        if (read.size() == kMaxTargets) {
            problem = path + " lists more than " + std::to_string(kMaxTargets) + " targets";
            return false;
        }
        read.push_back(t);
    }
    if (read.empty()) {
        problem = path + " lists no target";
        return false;
    }
    targets = read;
    return true;
}

std::string WithName(const std::string &text, const std::string &name) {
    std::string result;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == 'n') {
            result += name;
            ++i;
        } else {
            result += text[i];
        }
    }
    return result;
}

} // namespace ctl
