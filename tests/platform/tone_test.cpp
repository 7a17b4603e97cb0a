#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "platform/tone.h"

TEST(Tone, SamplesMakeAQuietlyStartingToneOfTheFrequency)
{
    struct Case {
        int hz, ms, rate;
    };
    for (const Case c : {Case{300, 100, 48000}, Case{450, 100, 48000}, Case{450, 100, 8000}}) {
        const auto s = platform::toneSamples(c.hz, c.ms, c.rate);
        ASSERT_EQ(s.size(), std::size_t(c.rate * c.ms / 1000));
        EXPECT_EQ(s.front(), 0);
        EXPECT_LT(std::abs(s.back()), 500) << "faded out, no click";
        int crossings = 0;
        for (std::size_t i = 1; i < s.size(); ++i)
            if ((s[i - 1] < 0) != (s[i] < 0))
                ++crossings;
        // Two crossings per period.
        EXPECT_NEAR(crossings, 2 * c.hz * c.ms / 1000, 2) << c.hz;
        const auto peak = *std::max_element(s.begin(), s.end());
        EXPECT_GT(peak, 10000);
    }
    EXPECT_TRUE(platform::toneSamples(0, 100, 48000).empty());
    EXPECT_TRUE(platform::toneSamples(300, 0, 48000).empty());
}
