#include "sim/report.h"

#include <cstdio>

namespace sim {

namespace {

constexpr int kWordsPerLine = 8;

std::string hex4(std::uint16_t w) {
    char s[8];
    std::snprintf(s, sizeof s, "0x%04X", w);
    return s;
}

template <typename Words> std::string wordList(const Words &words) {
    std::string line;
    for (std::uint16_t w : words)
        line += " " + std::to_string(w);
    return line;
}

void describeSet(std::string &out, const char *name, const ParameterSet &set) {
    out += std::string(name) + " parameters:" + wordList(set.params) + "\n";
    out += std::string(name) + " teach table:\n";
    for (std::size_t r = 0; r < kTeachRows; ++r) {
        char row[16];
        std::snprintf(row, sizeof row, "  row %2zu:", r);
        out += row + wordList(set.teach[r]) + "\n";
    }
}

void describeComp(std::string &out, const CompMemory &comp) {
    out += "compensation blocks:";
    for (std::uint16_t b : comp.blocks)
        out += " " + hex4(b);
    out += "\ncompensation words: " + std::to_string(comp.words.size()) + "\n";
    // One line per run of up to eight consecutive addresses.
    int inLine = 0;
    long previous = -2;
    for (const auto &[address, word] : comp.words) {
        if (address != previous + 1 || inLine == kWordsPerLine) {
            out += (previous >= 0 ? "\n  " : "  ") + hex4(address) + ":";
            inLine = 0;
        }
        out += " " + std::to_string(word);
        ++inLine;
        previous = address;
    }
    if (!comp.words.empty()) out += "\n";
}

} // namespace

std::string describeSensor(const std::string &version, const SensorMemory &memory, const CompMemory &comp) {
    std::string out = "version: \"" + version + "\"\n";
    describeSet(out, "RAM", memory.ram);
    describeSet(out, "EEPROM", memory.eeprom);
    describeComp(out, comp);
    return out;
}

std::string describeSensorBriefly(const std::string &name, const std::string &version, long frames,
                                  const SensorMemory &memory, const CompMemory &comp) {
    return name + ": version \"" + version + "\", " + std::to_string(frames) +
           " frames, RAM parameters:" + wordList(memory.ram.params) +
           ", compensation words: " + std::to_string(comp.words.size()) + "\n";
}

} // namespace sim
