// VexaV32's program-wide state: panel handles, sizes, memory selection and the
// stop flag that every loop of the program tests.
#pragma once

#include "vexalink/paralink.h"

#include <cstdint>
#include <string>

namespace vexaprogram {

using vexalink::DATFILE;
using vexalink::EEPROM;
using vexalink::Memory;
using vexalink::RAM;

// Panel resource numbers in VexaV32.uir.
enum VexaPanel : int {
    COLBIGP = 1,
    DATAP = 2,
    GRAPHP = 3,
    INTERFACEP = 4,
    MAINP = 5,
    PARAP = 6,
    RECP = 7,
    TTP = 8,
};

constexpr const char *kVexaProgram = "VexaV32"; // also names its per-user settings folder
constexpr const char *kVexaUir = "VexaV32.uir";
constexpr const char *kVexaTitle = "VEXA-Scope V3.2";
constexpr int kVexaBrand = 5;

struct VexaState {
    int mainpanel = 0;
    int parapanel = 0;
    int ttpanel = 0;
    int datapanel = 0;
    int interfacepanel = 0;
    int recpanel = 0;
    int graphpanel = 0;
    int colbigpanel = 0;

    uint16_t anzpara = 202; // words of the parameter record
    uint16_t anzVec = 31;   // teach-table rows
    uint16_t anzOut = 5;    // digital outputs: most vectors outside binary output mode
    uint16_t target = RAM;
    uint16_t poll = 0; // 1 while a polling or recording loop runs; 0 stops it
    std::string proj_dir;
};

extern VexaState vexa;

} // namespace vexaprogram
