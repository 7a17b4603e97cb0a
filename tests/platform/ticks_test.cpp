#include "platform/ticks.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>

using platform::busyWaitMs;
using platform::ManualTicks;
using platform::SystemTicks;
using platform::ticksSince;

TEST(Ticks, TicksSinceAcrossTheWrap)
{
    struct Case {
        std::uint32_t earlier, now, expected;
    };
    const Case cases[] = {
        {10, 15, 5},
        {5, 5, 0},
        {0xFFFFFFF0u, 0x10u, 0x20u},
        {0xFFFFFFFFu, 0u, 1u},
        {0u, 0xFFFFFFFFu, 0xFFFFFFFFu},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ticksSince(c.earlier, c.now), c.expected) << c.earlier << " -> " << c.now;
}

TEST(Ticks, ManualTicksWrapModulo32Bits)
{
    ManualTicks t(0xFFFFFFFEu);
    t.advance(3);
    EXPECT_EQ(t.now(), 1u);
    t.set(0xFFFFFFFFu);
    t.setAutoAdvance(1);
    EXPECT_EQ(t.now(), 0xFFFFFFFFu);
    EXPECT_EQ(t.now(), 0u);
}

// The wait ends on the first reading at least `ms` after the first one, including when the
// counter wraps in between and when it moves in coarse steps that jump over first + ms.
TEST(Ticks, BusyWaitEndsAfterTheDurationAcrossTheWrap)
{
    struct Case {
        std::uint32_t start, step, ms;
        std::uint64_t expectedReads;
    };
    const Case cases[] = {
        {1000, 1, 4, 5},         {0xFFFFFFFEu, 1, 4, 5},  {0xFFFFFFFCu, 1, 4, 5},
        {0xFFFFFFFAu, 16, 4, 2}, {0xFFFFFFF0u, 3, 10, 5}, {0xFFFFFFFFu, 0x7FFFFFFFu, 0xFFFFFFFEu, 3},
    };
    for (const auto& c : cases) {
        ManualTicks t(c.start);
        t.setAutoAdvance(c.step);
        busyWaitMs(t, c.ms);
        EXPECT_EQ(t.reads(), c.expectedReads) << "start=" << c.start << " step=" << c.step;
    }

    ManualTicks frozen(0xFFFFFFFFu);
    busyWaitMs(frozen, 0); // must not need the counter to move
}

TEST(Ticks, SystemTicksCountMillisecondsOfTheMonotonicClock)
{
    using namespace std::chrono;
    SystemTicks ticks;
    const auto ms = [] {
        return std::uint32_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
    };
    const std::uint32_t before = ms();
    const std::uint32_t t = ticks.now();
    const std::uint32_t after = ms();
    EXPECT_LE(ticksSince(before, t), ticksSince(before, after));

    const auto start = steady_clock::now();
    busyWaitMs(ticks, 3);
    EXPECT_GE(steady_clock::now() - start, milliseconds(2));
}
