#include "link/filestore.h"

#include "platform/formatio.h"

#include <filesystem>
#include <system_error>

bool ReplaceFile(const std::string &path, const std::function<bool(int handle)> &write) {
    const std::string temporary = path + ".new";
    const int handle = OpenFile(temporary, VAL_WRITE_ONLY, VAL_TRUNCATE, VAL_ASCII);
    if (handle < 0) return false;
    const bool written = write(handle);
    const bool closed = CloseFile(handle) == 0;
    std::error_code ec;
    if (written && closed) std::filesystem::rename(temporary, path, ec);
    if (!written || !closed || ec) {
        std::filesystem::remove(temporary, ec);
        return false;
    }
    return true;
}
