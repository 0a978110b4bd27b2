#include "runtime/filestore.h"

#include "runtime/formatio.h"

#include <filesystem>
#include <system_error>

namespace runtime {

bool ReplaceFileWith(const std::string &path,
                     const std::function<bool(const std::string &temporary)> &write) {
    const std::string temporary = path + ".new";
    std::error_code ec;
    if (write(temporary)) {
        std::filesystem::rename(temporary, path, ec);
        if (!ec) return true;
    }
    std::filesystem::remove(temporary, ec);
    return false;
}

bool ReplaceFile(const std::string &path, const std::function<bool(int handle)> &write) {
    return ReplaceFileWith(path, [&write](const std::string &temporary) {
        const int handle = OpenFile(temporary, VAL_WRITE_ONLY, VAL_TRUNCATE, VAL_ASCII);
        if (handle < 0) return false;
        const bool written = write(handle);
        return CloseFile(handle) == 0 && written;
    });
}

} // namespace runtime
