// The connection settings and their file ComSettings.cfg: protocol, serial
// port, server name and TCP port, one per line.
#pragma once

#include <string>

// Builds the paths of ComSettings.cfg and IPComboBox.cfg in the program directory.
void SetLinkFileNames(const std::string &projDir);

// Reads the four lines of a settings file into comprotocol, comport, ipBuf and
// portNumStr; lines missing at the end read as empty. False when the file
// cannot be opened (nothing is changed then).
bool ReadComSettings(const std::string &path);
// Writes the four settings as four lines. False when the file could not be written.
bool WriteComSettings(const std::string &path);

// At start-up: the stored settings into the link and the connection panel, or
// RS-232 on the first port when there is no settings file.
void GetConnectionSettingsFromFile();
// The connection panel's four settings into the link and into the file; a
// failure to write is reported in a message popup.
void SaveCommunicationSettings();
