#include "sim/faults.h"

#include <algorithm>
#include <charconv>
#include <sstream>

namespace sim {

namespace {

void applyOne(const Fault &f, ReplyPlan &plan) {
    Bytes &a = plan.answer;
    switch (f.kind) {
    case FaultKind::NoAnswer:
        a.clear();
        break;
    case FaultKind::ShortAnswer:
        if (a.size() >= kFrameBytes) a.resize(kFrameBytes - 1);
        break;
    case FaultKind::LongAnswer:
        if (!a.empty()) a.push_back(0x00);
        break;
    case FaultKind::WrongMarker:
        if (a.size() >= 2) a[0] = 0x00, a[1] = 0xAB;
        break;
    case FaultKind::WrongCommand:
        if (a.size() >= 4) {
            const unsigned code = (a[2] << 8 | a[3]) + 1u;
            a[2] = static_cast<std::uint8_t>(code >> 8 & 0xFF);
            a[3] = static_cast<std::uint8_t>(code & 0xFF);
        }
        break;
    case FaultKind::CorruptEcho:
        if (f.byteIndex < a.size()) a[f.byteIndex] ^= 0xFF;
        break;
    case FaultKind::Delay:
        plan.delayMs = std::max(plan.delayMs, f.delayMs);
        break;
    case FaultKind::CloseConnection:
        plan.close = true;
        a.clear();
        break;
    case FaultKind::UnsolicitedBytes:
        plan.before = f.unsolicited;
        break;
    }
}

bool parseNumber(const std::string &s, long lo, long hi, long &out) {
    const char *end = s.data() + s.size();
    auto [p, ec] = std::from_chars(s.data(), end, out);
    return ec == std::errc() && p == end && out >= lo && out <= hi;
}

struct KindName {
    const char *name;
    FaultKind kind;
};

constexpr KindName kKindNames[] = {
    {"silent", FaultKind::NoAnswer},
    {"short", FaultKind::ShortAnswer},
    {"long", FaultKind::LongAnswer},
    {"marker", FaultKind::WrongMarker},
    {"command", FaultKind::WrongCommand},
    {"corrupt", FaultKind::CorruptEcho},
    {"delay", FaultKind::Delay},
    {"close", FaultKind::CloseConnection},
    {"unsolicited", FaultKind::UnsolicitedBytes},
};

bool parseOption(const std::string &opt, Fault &f) {
    const auto eq = opt.find('=');
    const std::string key = opt.substr(0, eq), value = eq == std::string::npos ? "" : opt.substr(eq + 1);
    long n = 0;
    if (eq == std::string::npos) {
        if (key == "auto")
            f.command = Fault::kAutoSendFrames;
        else if (key == "always")
            f.persistent = true;
        else
            return false;
        return true;
    }
    if (key == "cmd" && parseNumber(value, 0, 0xFFFF, n))
        f.command = int(n);
    else if (key == "frame" && parseNumber(value, 1, 1000000000, n))
        f.frame = int(n);
    else if (key == "ms" && parseNumber(value, 0, 3600000, n))
        f.delayMs = int(n);
    else if (key == "byte" && parseNumber(value, 0, long(kFrameBytes), n))
        f.byteIndex = std::size_t(n);
    else
        return false;
    return true;
}

} // namespace

void FaultTable::add(const Fault &f, long framesSoFar) {
    m_armed.push_back({f, f.frame > 0 ? framesSoFar + f.frame : 0});
}

bool FaultTable::hits(const Armed &a, int command, long frameNumber) {
    if (command == Fault::kAutoSendFrames || a.fault.command == Fault::kAutoSendFrames)
        return a.fault.command == command;
    return (a.fault.command == Fault::kAnyCommand || a.fault.command == command) &&
           (a.targetFrame == 0 || a.targetFrame == frameNumber);
}

ReplyPlan FaultTable::apply(int command, long frameNumber, Bytes answer) {
    ReplyPlan plan;
    plan.answer = std::move(answer);
    for (auto it = m_armed.begin(); it != m_armed.end();) {
        if (!hits(*it, command, frameNumber)) {
            ++it;
            continue;
        }
        applyOne(it->fault, plan);
        it = it->fault.persistent ? it + 1 : m_armed.erase(it);
    }
    return plan;
}

std::optional<Fault> parseFault(const std::string &text, std::string *error) {
    std::istringstream in(text);
    std::string part;
    std::getline(in, part, ':');
    const auto kind = std::find_if(std::begin(kKindNames), std::end(kKindNames),
                                   [&](const KindName &k) { return part == k.name; });
    if (kind == std::end(kKindNames)) {
        if (error) *error = "unknown fault kind \"" + part + "\"";
        return std::nullopt;
    }
    Fault f;
    f.kind = kind->kind;
    while (std::getline(in, part, ':')) {
        if (!parseOption(part, f)) {
            if (error) *error = "bad fault option \"" + part + "\"";
            return std::nullopt;
        }
    }
    return f;
}

} // namespace sim
