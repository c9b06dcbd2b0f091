#include "platform/usable_cores.h"

#include <sched.h>
#include <unistd.h>

namespace tembrel {

int32_t usableCores() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0) {
        const int count = CPU_COUNT(&set);
        if (count > 0)
            return count;
    }
    const long online = sysconf(_SC_NPROCESSORS_ONLN);
    return online > 0 ? int32_t(online) : 1;
}

}  // namespace tembrel
