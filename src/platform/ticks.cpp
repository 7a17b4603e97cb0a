#include "platform/ticks.h"

#include <ctime>

namespace platform {

TickSource::~TickSource() = default;

std::uint32_t SystemTicks::now()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const auto ms =
        static_cast<std::uint64_t>(ts.tv_sec) * 1000u + static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<std::uint32_t>(ms);
}

std::uint32_t ManualTicks::now()
{
    const std::uint32_t current = ticks_;
    ticks_ += autoAdvance_;
    ++reads_;
    return current;
}

void busyWaitMs(TickSource& ticks, std::uint32_t ms)
{
    // Compare elapsed time, not "now >= first + ms": the sum wraps near the end of the
    // counter's range, and a coarse counter can step over the wrapped target and never meet
    // it again for 49 days.
    const std::uint32_t first = ticks.now();
    while (ticksSince(first, ticks.now()) < ms) {
    }
}

} // namespace platform
