// How many processor cores this process may run on.
#pragma once

#include <cstdint>

namespace tembrel {

// The cores of the process's CPU affinity mask (what taskset or a container allows),
// not every core of the machine; at least 1.
int32_t usableCores();

}  // namespace tembrel
