#include "gateway/log.h"

#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <string>

namespace gateway {
namespace {

std::mutex writing;

void Write(const char *prefix, std::string_view message) {
    std::string line = prefix;
    for (char c : message)
        line += c == '\n' || c == '\r' ? ' ' : c;
    line += '\n';
    const std::lock_guard<std::mutex> lock(writing);
    std::size_t done = 0;
    while (done < line.size()) {
        const ssize_t n = ::write(STDERR_FILENO, line.data() + done, line.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return; // stderr gone: nothing else to tell
        done += std::size_t(n);
    }
}

} // namespace

void LogError(std::string_view message) {
    Write("<3>", message);
}
void LogWarning(std::string_view message) {
    Write("<4>", message);
}
void LogInfo(std::string_view message) {
    Write("<6>", message);
}

} // namespace gateway
