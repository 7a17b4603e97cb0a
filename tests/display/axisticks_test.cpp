#include <gtest/gtest.h>

#include "display/axisticks.h"

using namespace display;

TEST(AxisTicks, RoundStepsTicksAndTexts)
{
    struct Case {
        double lo, hi;
        int maxTicks;
        double step;
        std::vector<QString> texts;
    };
    const Case cases[] = {
        {0, 35, 10, 5, {"0", "5", "10", "15", "20", "25", "30", "35"}},
        {0, 10, 10, 1, {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10"}},
        {0.3, 1.1, 4, 0.2, {"0.4", "0.6", "0.8", "1.0"}},
        {-0.1, 0.1, 4, 0.05, {"-0.10", "-0.05", "0.00", "0.05", "0.10"}},
        {998, 1003, 3, 2, {"998", "1000", "1002"}},
        {0, 1600, 7, 500, {"0", "500", "1000", "1500"}},
        {1e-7, 3e-7, 2, 1e-7, {"0.0000001", "0.0000002", "0.0000003"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.lo << ".." << c.hi);
        const double step = roundTickStep(c.hi - c.lo, c.maxTicks);
        EXPECT_DOUBLE_EQ(step, c.step);
        std::vector<QString> texts;
        for (double v : roundTicks(c.lo, c.hi, step))
            texts.push_back(roundTickText(v, step, QLatin1Char('.')));
        EXPECT_EQ(texts, c.texts);
    }
    // Ranges an axis can be left with: nothing flat, reversed or endless comes back as ticks.
    EXPECT_EQ(roundTickStep(0, 5), 1.0);
    EXPECT_TRUE(roundTicks(1, 0, 1).empty());
    EXPECT_TRUE(roundTicks(0, 1e12, 1e-3).empty());
    EXPECT_TRUE(roundTicks(0, std::numeric_limits<double>::infinity(), 1).empty());
    EXPECT_EQ(roundTickText(2.5, 0.5, QLatin1Char(',')), QStringLiteral("2,5"));
}
