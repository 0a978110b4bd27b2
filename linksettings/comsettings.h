// The connection settings file ComSettings.cfg: protocol, serial port number,
// server name and TCP port, one per line, and a fifth line with a device path
// when the port is not simply its number's device.
#pragma once

#include <cstdint>
#include <string>

namespace linksettings {

inline constexpr const char *kComSettingsFileName = "ComSettings.cfg";

// Longest texts kept from a line; the rest of a longer line is skipped.
constexpr int kMaxServerChars = 255;
constexpr int kMaxPortNumChars = 31;
constexpr int kMaxDeviceChars = 255;

// The settings as the file holds them, under the names the programs use.
struct ComSettings {
    uint16_t comprotocol = 0; // 0 = RS-232, 1 = TCP/IP
    uint16_t comport = 1;
    std::string ipBuf;      // the server's name or address
    std::string portNumStr; // the server's TCP port, as typed
    std::string comDevice;  // a device path that replaces the port number's device; "" = none
};

// Plain decimal conversion, as the numbers of the file and the typed TCP port
// are read: optional blanks and sign, then the leading digits; no digits gives
// 0. Saturates instead of overflowing.
int32_t DecimalValue(const std::string &text);

// Reads the lines of a settings file; lines missing at the end read as empty.
// False when the file cannot be opened (nothing is changed then).
bool ReadComSettings(const std::string &path, ComSettings &settings);
// Writes the settings as four lines, and the device path as a fifth when there
// is one. False when the file could not be written.
bool WriteComSettings(const std::string &path, const ComSettings &settings);

} // namespace linksettings
