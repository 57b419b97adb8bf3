#include "monotonic_clock.h"

#include <ctime>

MonotonicClock systemMonotonicClock() {
  return [] {
    // CLOCK_BOOTTIME goes on while the system sleeps, so a night's suspend shows as a gap.
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
  };
}
