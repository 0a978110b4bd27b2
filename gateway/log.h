// Log lines on stderr with the priority prefixes that the journal reads ("<3>"
// error, "<4>" warning, "<6>" information). Each message is one line, written in
// one piece, so lines from anywhere in the process never mix.
#pragma once

#include <string_view>

namespace gateway {

void LogError(std::string_view message);
void LogWarning(std::string_view message);
void LogInfo(std::string_view message);

} // namespace gateway
