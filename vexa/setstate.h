// Where the set on the panels stands: whether the sensor's RAM, its EEPROM or a
// parameter file holds what the panels show, as far as the program's own
// exchanges tell; and the questions asked before a change made on the panels
// would be lost.
#pragma once

#include "vexalink/paraset.h"

#include <cstdint>
#include <string>

namespace vexaprogram {

// A copy of the set held somewhere, or nothing known of it.
struct KnownRecord {
    bool known = false;
    uint16_t words[vexalink::kAnzPara] = {};
};

struct SetState {
    KnownRecord start;  // the panels' values before anything was read or typed
    KnownRecord ram;    // the sensor's RAM
    KnownRecord eeprom; // the sensor's EEPROM
    KnownRecord file;   // the parameter file saved or loaded last
    std::string filePath;
    bool ramNotStored = false; // a Send wrote RAM without storing it in EEPROM
    // What a Send that stopped left in the sensor, shown until a complete Send or Get; "" when none.
    std::string stoppedSend;
};

extern SetState setState;

// The two parts of the set that the state is shown for.
enum class SetPart { Parameters, TeachTable };
// Where one part of the panels' set stands.
enum class Standing { NotRead, Changed, RamOnly, Agree, AsInFile };

// Takes the panels' start values; before the first read.
void NoteStartValues();
// A complete read: RAM holds record, and EEPROM too when it was loaded first.
void NoteSensorRead(const uint16_t (&record)[vexalink::kAnzPara], bool viaEeprom);
// A read that stopped: a load from EEPROM may have replaced RAM.
void NoteSensorReadFailed(bool viaEeprom);
// A complete Send: RAM holds record, and EEPROM too when it was stored.
void NoteSensorWritten(const uint16_t (&record)[vexalink::kAnzPara], bool stored);
// A Send that stopped: RAM holds a mix (or, when ram is given, that record while
// the store was not confirmed), EEPROM perhaps a new set; note says so on the
// state displays until a complete Send or Get.
void NoteSensorWriteFailed(bool stored, const uint16_t *ram = nullptr, const std::string &note = {});
// A file saved or loaded.
void NoteFile(const std::string &path, const uint16_t (&record)[vexalink::kAnzPara]);

// Where a part of the panels' set stands now.
Standing StandingOf(SetPart part);
// Shows both parts' standing on the main panel, in words and colour.
void ShowSetState();

// True when the panels hold something that neither the sensor nor a file holds.
bool PanelHoldsUnsaved();
// Before the panels, holding panel, take a set read from the sensor or a file:
// true when they may, because nothing would be lost or the user said so.
bool MayReplacePanel(const uint16_t (&panel)[vexalink::kAnzPara],
                     const uint16_t (&incoming)[vexalink::kAnzPara], const std::string &source);
// Before the program ends: true when it may; may first store the set in EEPROM.
bool MayQuit();

} // namespace vexaprogram
