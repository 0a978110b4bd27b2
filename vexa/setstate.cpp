#include "vexa/setstate.h"

#include "link/linkstate.h"
#include "platform/userint.h"
#include "vexa/dimming.h"
#include "vexa/parapanel.h"
#include "vexa/paratransfer.h"
#include "vexa/paravars.h"
#include "vexa/program.h"

#include <algorithm>
#include <filesystem>

using vexalink::kAnzPara;
using vexalink::kParaWords;

using namespace programlink;

namespace vexaprogram {

SetState setState;

namespace {

// The state displays on the main panel, one per part.
constexpr const char *kDisplays[] = {"DispParaState", "DispTeachState"};

struct StandingLook {
    const char *words;
    int colour; // background, a second cue beside the words
};
constexpr int kGrey = MakeColor(224, 224, 224);
constexpr int kRed = MakeColor(255, 170, 170);
constexpr int kAmber = MakeColor(255, 215, 120);
constexpr int kGreen = MakeColor(170, 230, 170);
constexpr int kBlue = MakeColor(180, 210, 255);

// Indexed by Standing.
constexpr StandingLook kLooks[] = {
    {"Not read from a sensor", kGrey},  {"Changed, not sent", kRed}, {"In RAM, not stored in EEPROM", kAmber},
    {"Sensor and panel agree", kGreen}, {"As in file ", kBlue},
};

// The record words of a part.
std::pair<int, int> WordsOf(SetPart part) {
    return part == SetPart::Parameters ? std::pair{0, kParaWords} : std::pair{kParaWords, kAnzPara};
}

bool Same(SetPart part, const uint16_t (&a)[kAnzPara], const uint16_t (&b)[kAnzPara]) {
    const auto [first, last] = WordsOf(part);
    return std::equal(a + first, a + last, b + first);
}

bool Holds(const KnownRecord &side, SetPart part, const uint16_t (&panel)[kAnzPara]) {
    return side.known && Same(part, side.words, panel);
}

Standing StandingOf(SetPart part, const uint16_t (&panel)[kAnzPara]) {
    const SetState &s = setState;
    if (Holds(s.ram, part, panel)) {
        const bool stored = s.eeprom.known ? Same(part, s.ram.words, s.eeprom.words) : !s.ramNotStored;
        return stored ? Standing::Agree : Standing::RamOnly;
    }
    if (Holds(s.file, part, panel)) return Standing::AsInFile;
    if (!s.ram.known && Holds(s.start, part, panel)) return Standing::NotRead;
    return Standing::Changed;
}

// A part that exists only on the panels.
bool Unsaved(SetPart part, const uint16_t (&panel)[kAnzPara]) {
    const SetState &s = setState;
    return !(Holds(s.ram, part, panel) || Holds(s.eeprom, part, panel) || Holds(s.file, part, panel) ||
             Holds(s.start, part, panel));
}

// "the parameters", "the teach table" or both, for the parts that pred picks.
template <typename Pred> std::string PartsWhere(Pred pred) {
    std::string parts;
    if (pred(SetPart::Parameters)) parts = "the parameters";
    if (pred(SetPart::TeachTable)) parts += std::string(parts.empty() ? "" : " and ") + "the teach table";
    return parts;
}

// "the teach table holds changes ...", "the parameters hold changes ...".
std::string HoldChanges(const std::string &parts) {
    return parts + (parts == "the teach table" ? " holds" : " hold") +
           " changes that are neither in the sensor nor in a file. ";
}

void Take(KnownRecord &side, const uint16_t (&record)[kAnzPara]) {
    side.known = true;
    std::copy(std::begin(record), std::end(record), std::begin(side.words));
}

void StoreInEepromForQuit() {
    const uint16_t target = vexa.target;
    vexa.target = EEPROM;
    SetButtonsDimmed(1);
    SendPara();
    SetButtonsDimmed(0);
    vexa.target = target;
}

} // namespace

void NoteStartValues() {
    uint16_t panel[kAnzPara];
    PanelRecord(panel);
    Take(setState.start, panel);
}

void NoteSensorRead(const uint16_t (&record)[kAnzPara], bool viaEeprom) {
    setState.stoppedSend.clear();
    Take(setState.ram, record);
    if (!viaEeprom) return;
    Take(setState.eeprom, record);
    setState.ramNotStored = false;
}

void NoteSensorReadFailed(bool viaEeprom) {
    if (!viaEeprom) return; // reading changes nothing in RAM
    setState.ram = setState.eeprom;
    setState.ramNotStored = false;
}

void NoteSensorWritten(const uint16_t (&record)[kAnzPara], bool stored) {
    setState.stoppedSend.clear();
    Take(setState.ram, record);
    if (stored) Take(setState.eeprom, record);
    setState.ramNotStored = !stored;
}

void NoteSensorWriteFailed(bool stored, const uint16_t *ram, const std::string &note) {
    setState.ram.known = ram != nullptr;
    if (ram) std::copy(ram, ram + kAnzPara, setState.ram.words);
    setState.ramNotStored = ram != nullptr;
    if (stored) setState.eeprom.known = false;
    if (!note.empty()) setState.stoppedSend = note;
}

void NoteFile(const std::string &path, const uint16_t (&record)[kAnzPara]) {
    Take(setState.file, record);
    setState.filePath = path;
}

Standing StandingOf(SetPart part) {
    uint16_t panel[kAnzPara];
    PanelRecord(panel);
    return StandingOf(part, panel);
}

void ShowSetState() {
    uint16_t panel[kAnzPara];
    PanelRecord(panel);
    for (SetPart part : {SetPart::Parameters, SetPart::TeachTable}) {
        const Standing standing = StandingOf(part, panel);
        const StandingLook &look = kLooks[static_cast<int>(standing)];
        std::string words = look.words;
        int colour = look.colour;
        if (standing == Standing::AsInFile)
            words += std::filesystem::path(setState.filePath).filename().string() + ", not sent";
        // What the sensor holds after a Send that stopped outweighs where the panels stand.
        if (!setState.stoppedSend.empty()) {
            words = setState.stoppedSend;
            colour = kRed;
        }
        const char *display = kDisplays[static_cast<int>(part)];
        SetCtrlVal(vexa.mainpanel, display, words);
        SetCtrlAttribute(vexa.mainpanel, display, ATTR_CTRL_COLOR, colour);
    }
}

bool PanelHoldsUnsaved() {
    uint16_t panel[kAnzPara];
    PanelRecord(panel);
    return Unsaved(SetPart::Parameters, panel) || Unsaved(SetPart::TeachTable, panel);
}

bool MayReplacePanel(const uint16_t (&panel)[kAnzPara], const uint16_t (&incoming)[kAnzPara],
                     const std::string &source) {
    const std::string lost =
        PartsWhere([&](SetPart p) { return Unsaved(p, panel) && !Same(p, panel, incoming); });
    if (lost.empty()) return true;
    return GenericMessagePopup("Unsent changes",
                               " On the panels, " + HoldChanges(lost) + "\n Taking the set of " + source +
                                   " replaces them. ",
                               "Replace", "Keep panels") == 1;
}

bool MayQuit() {
    for (;;) {
        uint16_t panel[kAnzPara];
        PanelRecord(panel);
        const std::string unsent = PartsWhere([&](SetPart p) { return Unsaved(p, panel); });
        const std::string ramOnly =
            PartsWhere([&](SetPart p) { return StandingOf(p, panel) == Standing::RamOnly; });
        if (unsent.empty() && ramOnly.empty()) return true;
        const std::string text = unsent.empty() ? " The sensor holds " + ramOnly +
                                                      " in RAM only and loses them when it is switched off. "
                                                : " On the panels, " + HoldChanges(unsent);
        // While an operation runs, a store would break into its exchange: quit or stay only.
        int busy = 0;
        GetCtrlAttribute(vexa.mainpanel, "ButtonSend", ATTR_DIMMED, busy);
        const int answer =
            busy ? GenericMessagePopup("Quit VexaV32", text + "\n Quit anyway? ", "Quit", "Cancel")
                 : GenericMessagePopup("Quit VexaV32", text + "\n Quit anyway? ", "Quit", "Store in EEPROM",
                                       "Cancel");
        if (answer == 1) return true;
        if (busy || answer != 2) return false;
        StoreInEepromForQuit();
        if (!LinkSensor().echoOk()) return false; // the link has reported it; the program stays
    }
}

} // namespace vexaprogram
