#include "runtime/descriptors.h"

#include <sys/resource.h>

namespace runtime {

bool MakeRoomForDescriptors(long needed, const std::string &what, std::string &problem) {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return true; // nothing to go by: the run will tell
    const rlim_t wanted = static_cast<rlim_t>(needed);
    if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur >= wanted) return true;
    if (limit.rlim_max != RLIM_INFINITY && limit.rlim_max < wanted) {
        problem = what + " need about " + std::to_string(needed) + " open descriptors; the hard limit is " +
                  std::to_string(static_cast<long>(limit.rlim_max)) +
                  " (ulimit -Hn; LimitNOFILE= for a service)";
        return false;
    }
    if (limit.rlim_cur == RLIM_INFINITY) return true;
    limit.rlim_cur = wanted;
    setrlimit(RLIMIT_NOFILE, &limit);
    return true;
}

} // namespace runtime
