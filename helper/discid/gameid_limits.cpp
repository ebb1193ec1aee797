#include "helper/discid/gameid_limits.h"

#include <cdio/logging.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

void dropMessage(cdio_log_level_t level, const char*) {
    if (level == CDIO_LOG_ASSERT) _exit(2);
}

}  // namespace

bool gameidPrepareReader(unsigned long long addressSpace) {
    cdio_log_set_handler(dropMessage);
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    // A sanitizer's shadow memory already takes more address space than any limit.
    addressSpace = 0;
#endif
    if (addressSpace == 0) return true;
    struct rlimit limit = {addressSpace, addressSpace};
    struct rlimit current;
    if (getrlimit(RLIMIT_AS, &current) == 0 && current.rlim_max != RLIM_INFINITY &&
        current.rlim_max < addressSpace)
        limit.rlim_cur = limit.rlim_max = current.rlim_max;
    return setrlimit(RLIMIT_AS, &limit) == 0;
}
