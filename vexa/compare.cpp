#include "vexa/compare.h"

#include "platform/userint.h"
#include "vexa/dimming.h"
#include "vexa/parafile.h"
#include "vexa/parapanel.h"
#include "vexa/paratransfer.h"
#include "vexa/paravars.h"
#include "vexa/program.h"
#include "vexa/setstate.h"

using vexalink::kAnzPara;
using vexalink::SetDifferences;

namespace vexaprogram {
namespace {

constexpr const char *kTitle = "Compare";

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
        std::string path;
        read = ChooseAndReadParaFile(other, "nothing was compared", path);
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

} // namespace vexaprogram
