#pragma once

#include <cstdint>
#include <functional>

/// Milliseconds on a clock that never jumps and goes on while the system sleeps.
using MonotonicClock = std::function<int64_t()>;
MonotonicClock systemMonotonicClock();
