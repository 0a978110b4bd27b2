// The list of recently used server names and its file IPComboBox.cfg: one
// 100-byte zero-padded record per name.
#pragma once

#include <string>
#include <vector>

namespace linksettings {

inline constexpr const char *kServerListFileName = "IPComboBox.cfg";

constexpr int kMaxServerNames = 10;
constexpr int kServerRecordBytes = 100; // a name of at most 99 characters and its zero padding

// The names stored in a server-list file, in file order; none when it is
// missing or empty. The record count is the file size / 101, so files with
// CR LF and with LF line ends read alike.
std::vector<std::string> ReadServerListFile(const std::string &path);
// Replaces the file with one record per name, each cut to 99 bytes. False
// when it could not be written.
bool WriteServerListFile(const std::string &path, const std::vector<std::string> &names);

} // namespace linksettings
