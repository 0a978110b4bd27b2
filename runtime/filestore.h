// Replacing a file as a whole, so that a crash or a full disk leaves either the
// old file or the new one, never a cut one.
#pragma once

#include <functional>
#include <string>

namespace runtime {

// Writes a new version of path through write(temporary), a file beside it,
// then puts it in place. False when any step failed; the old file is then unchanged.
bool ReplaceFileWith(const std::string &path, const std::function<bool(const std::string &temporary)> &write);
// The same for a writer that fills an open file handle.
bool ReplaceFile(const std::string &path, const std::function<bool(int handle)> &write);

} // namespace runtime
