#include "sim/sensormodel.h"

#include <algorithm>

namespace sim {

namespace {

// Most data words one write frame can carry: words 4..17.
constexpr std::uint16_t kMaxWordsPerWrite = kFrameWords - 4;
// Block announcements kept; a runaway client cannot grow the list without bound.
constexpr std::size_t kMaxBlocks = 4096;

bool inBand(std::uint16_t value, std::uint16_t set, std::uint16_t tol) {
    const int v = value, lo = int(set) - int(tol), hi = int(set) + int(tol);
    return v >= lo && v <= hi;
}

Frame answerHead(std::uint16_t code) {
    Frame a{};
    putWord(a, 0, kMarker);
    putWord(a, 1, code);
    return a;
}

Bytes toBytes(const Frame &f) {
    return Bytes(f.begin(), f.end());
}

} // namespace

std::uint16_t detectVector(const ParameterSet &set, std::uint16_t density, std::uint16_t sym1,
                           std::uint16_t sym2) {
    const std::size_t active = std::min<std::size_t>(set.params[kMaxVecWord], kTeachRows);
    for (std::size_t r = 0; r < active; ++r) {
        const TeachRow &t = set.teach[r];
        if (inBand(density, t[0], t[1]) && inBand(sym1, t[2], t[3]) && inBand(sym2, t[4], t[5]))
            return static_cast<std::uint16_t>(r);
    }
    return kNoVector;
}

Bytes SensorModel::handle(const Frame &cmd, double seconds) {
    ParameterSet &ram = m_memory.ram;
    switch (wordAt(cmd, 1)) {
    case CmdWriteParameters:
        for (std::size_t k = 0; k < kParameterWords; ++k)
            ram.params[k] = wordAt(cmd, 2 + k);
        return echo(cmd);
    case CmdWriteTeachRow:
        // Rows beyond the table are echoed but not stored.
        if (const std::uint16_t row = wordAt(cmd, 2); row < kTeachRows)
            for (std::size_t j = 0; j < kTeachValues; ++j)
                ram.teach[row][j] = wordAt(cmd, 3 + j);
        return echo(cmd);
    case CmdReadParameters:
        return parameterAnswer();
    case CmdReadTeachRow:
        return teachRowAnswer(wordAt(cmd, 2));
    case CmdReadData:
        return dataFrame(seconds, false);
    case CmdStoreEeprom:
        m_memory.eeprom = ram;
        return echo(cmd);
    case CmdVersion:
        return versionAnswer();
    case CmdLoadEeprom:
        ram = m_memory.eeprom;
        return echo(cmd);
    case CmdAutoSend:
        if (wordAt(cmd, 2) <= 1) m_autoSend = wordAt(cmd, 2) == 1;
        return {};
    case CmdBlock:
        if (m_comp.blocks.size() < kMaxBlocks) m_comp.blocks.push_back(wordAt(cmd, 2));
        return echo(cmd);
    case CmdWriteWords:
        writeWords(cmd);
        return echo(cmd);
    default:
        return {};
    }
}

Bytes SensorModel::dataFrame(double seconds, bool triggered) {
    Measurement m = m_source.next(seconds);
    if (triggered) m.trigger = 1;
    m_maxima.add(seconds, m.chL, m.chC, m.chR);
    std::uint16_t maxL, maxC, maxR;
    m_maxima.maxima(seconds, maxL, maxC, maxR);
    const std::uint16_t vec = detectVector(m_memory.ram, m.density, m.sym1, m.sym2);
    const std::uint16_t words[] = {m.chL, m.chC,  m.chR, m.density, m.sym1, m.sym2,
                                   vec,   m.temp, maxL,  maxC,      maxR,   m.trigger};
    Frame a = answerHead(CmdReadData);
    for (std::size_t k = 0; k < std::size(words); ++k)
        putWord(a, 2 + k, words[k]);
    return toBytes(a);
}

Bytes SensorModel::echo(const Frame &cmd) const {
    Frame a = cmd;
    putWord(a, 0, kMarker);
    return toBytes(a);
}

Bytes SensorModel::parameterAnswer() const {
    Frame a = answerHead(CmdReadParameters);
    for (std::size_t k = 0; k < kParameterWords; ++k)
        putWord(a, 2 + k, m_memory.ram.params[k]);
    return toBytes(a);
}

Bytes SensorModel::teachRowAnswer(std::uint16_t row) const {
    // A row beyond the table reads as zeros.
    Frame a = answerHead(CmdReadTeachRow);
    putWord(a, 2, row);
    if (row < kTeachRows)
        for (std::size_t j = 0; j < kTeachValues; ++j)
            putWord(a, 3 + j, m_memory.ram.teach[row][j]);
    return toBytes(a);
}

Bytes SensorModel::versionAnswer() const {
    Bytes a(kFrameBytes, 0);
    std::copy_n(m_version.begin(), std::min(m_version.size(), kFrameBytes), a.begin());
    return a;
}

void SensorModel::writeWords(const Frame &cmd) {
    const std::uint16_t address = wordAt(cmd, 2), n = wordAt(cmd, 3);
    // A count that does not fit the frame writes nothing.
    if (n > kMaxWordsPerWrite) return;
    for (std::uint16_t k = 0; k < n; ++k)
        m_comp.words[static_cast<std::uint16_t>(address + k)] = wordAt(cmd, 4 + k);
}

} // namespace sim
