// The connection settings and their file ComSettings.cfg: protocol, serial
// port number, server name and TCP port, one per line, and a fifth line with
// a device path when the port is not simply its number's device.
#pragma once

#include <string>

namespace programlink {

// Builds the paths of ComSettings.cfg and IPComboBox.cfg in the program directory.
void SetLinkFileNames(const std::string &projDir);

// Reads the lines of a settings file into comprotocol, comport, ipBuf,
// portNumStr and comDevice; lines missing at the end read as empty. False when the file
// cannot be opened (nothing is changed then).
bool ReadComSettings(const std::string &path);
// Writes the settings as four lines, and the device path as a fifth when there is one. False when the file
// could not be written.
bool WriteComSettings(const std::string &path);

} // namespace programlink
