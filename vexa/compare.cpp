#include "vexa/compare.h"

#include "platform/userint.h"
#include "vexa/parafile.h"
#include "vexa/parapanel.h"
#include "vexa/paraset.h"
#include "vexa/paratransfer.h"
#include "vexa/program.h"
#include "vexa/setstate.h"
#include "vexa/startup.h"

namespace {

constexpr const char *kTitle = "Compare";

// The parameters by record word, as the parameter panel labels them.
struct ParaName {
    const char *name;
    const char *unit;
};
constexpr ParaName kParaNames[kParaWords] = {
    {"LED POWER", "/1000"},
    {"CHANNEL MODE", "(code)"},
    {"AVERAGE", "(code: 2^n values)"},
    {"EVAL MODE", "(code)"},
    {"HOLD", "ms"},
    {"INT. LIMIT", "counts"},
    {"MAXVEC-No.", "vectors"},
    {"OUTMODE", "(code)"},
    {"TRIGGER", "(code)"},
    {"EXT. TEACH", "(code)"},
    {"MAX UP", "x 10 us"},
    {"MAX DOWN", "x 10 us"},
    {"SPARE WORD 13", ""},
    {"SPARE WORD 14", ""},
    {"SPARE WORD 15", ""},
    {"SPARE WORD 16", ""},
};

std::string WithUnit(uint16_t value, const char *unit) {
    return std::to_string(value) + (*unit ? std::string(" ") + unit : "");
}

// A teach row as density, symmetry 1, symmetry 2, each with its tolerance.
std::string TeachRow(const uint16_t (&record)[kAnzPara], int row) {
    const uint16_t *v = record + kParaWords + kTeachValues * row;
    return std::to_string(v[0]) + "+-" + std::to_string(v[1]) + " / " + std::to_string(v[2]) + "+-" +
           std::to_string(v[3]) + " / " + std::to_string(v[4]) + "+-" + std::to_string(v[5]);
}

// The sensor's EEPROM can only be read through its RAM: RAM is read first and
// written back afterwards, so that the sensor ends as it was.
bool ReadEeprom(uint16_t (&eeprom)[kAnzPara]) {
    uint16_t ram[kAnzPara];
    vexa.target = RAM;
    if (!ReadSensorSet(ram)) return false;
    vexa.target = EEPROM;
    const bool read = ReadSensorSet(eeprom);
    vexa.target = RAM;
    const bool restored = WriteSensorSet(ram);
    if (!restored)
        MessagePopup(kTitle, " The sensor's RAM could not be put back as it was. \n"
                             " Send the panels' set or Get it from EEPROM. ");
    return read && restored;
}

// The other side's set by the memory selection; false when there is none.
bool ReadOtherSide(uint16_t (&other)[kAnzPara], std::string &name) {
    const uint16_t target = vexa.target;
    bool read = false;
    if (target == DATFILE) {
        name = "file";
        read = ChooseAndReadParaFile(other, "nothing was compared");
    } else if (target == EEPROM) {
        name = "sensor EEPROM";
        read = ReadEeprom(other);
    } else {
        name = "sensor RAM";
        read = ReadSensorSet(other);
    }
    vexa.target = target;
    return read;
}

} // namespace

std::string SetDifferences(const uint16_t (&panel)[kAnzPara], const uint16_t (&other)[kAnzPara],
                           const std::string &otherName) {
    std::string lines;
    for (int k = 0; k < kParaWords; ++k)
        if (panel[k] != other[k])
            lines += " " + std::string(kParaNames[k].name) + ": panel " +
                     WithUnit(panel[k], kParaNames[k].unit) + ", " + otherName + " " +
                     WithUnit(other[k], kParaNames[k].unit) + " \n";
    for (int row = 0; row < kTeachRows; ++row) {
        const std::string mine = TeachRow(panel, row), theirs = TeachRow(other, row);
        if (mine != theirs)
            lines += " Teach row " + std::to_string(row) + ": panel " + mine + ", " + otherName + " " +
                     theirs + " \n";
    }
    return lines;
}

void CompareSet() {
    uint16_t panel[kAnzPara], other[kAnzPara];
    std::string name;
    SetButtonsDimmed(1);
    PanelRecord(panel);
    const bool read = ReadOtherSide(other, name);
    SetButtonsDimmed(0);
    ShowSetState();
    if (!read) return; // the link or the file dialog has said why
    const std::string lines = SetDifferences(panel, other, name);
    MessagePopup(kTitle, lines.empty() ? " The panels and the " + name + " hold the same set. "
                                       : " Where the panels differ from the " + name + ": \n" + lines);
}
