#include "acquisition/setuprules.h"

#include <gtest/gtest.h>

using namespace acq;

TEST(SetupRules, ReconcilesFrequencyTimeAndSamples)
{
    using D = FTDirection;
    struct Case {
        const char* what;
        D direction;
        double rateHz;
        FTValues in;
        bool toMemory;
        int channels;
        FTValues out;
    };
    const Case cases[] = {
        {"3200 Hz, 16384 samples: 5120 ms", D::TimeFromSamples, 3200, {1000, 16384}, false, 3, {5120, 16384}},
        {"6.25 Hz, 20970880 ms typed: 131068 samples",
         D::SamplesFromTime,
         6.25,
         {20970880, 1},
         false,
         3,
         {20970880, 131068}},
        {"the largest sample count stays under the time limit",
         D::TimeFromSamples,
         3200,
         {1, 26843546},
         false,
         3,
         {8388608, 26843546}},
        {"a time beyond what the sample limit allows brings both down",
         D::SamplesFromTime,
         3200,
         {20970880, 1},
         false,
         3,
         {8388608, 26843546}},
        {"a sample count beyond the time limit brings both down",
         D::TimeFromSamples,
         6.25,
         {1, 200000},
         false,
         3,
         {20970880, 131068}},
        {"one sample at 3200 Hz is under a millisecond: the field's minimum",
         D::TimeFromSamples,
         3200,
         {50, 1},
         false,
         3,
         {1, 1}},
        {"1 ms at 6.25 Hz is under one sample: the field's minimum",
         D::SamplesFromTime,
         6.25,
         {1, 50},
         false,
         3,
         {1, 1}},
        {"memory with two channels cuts at 65534",
         D::SamplesFromTime,
         3200,
         {30000, 1},
         true,
         2,
         {20479, 65534}},
        {"memory with three channels cuts at 43689",
         D::TimeFromSamples,
         3200,
         {1, 50000},
         true,
         3,
         {13653, 43689}},
        {"memory with one channel cuts at 131068",
         D::LimitsOnly,
         100,
         {2000000, 200000},
         true,
         1,
         {1310680, 131068}},
        {"memory, within the limit: nothing changes",
         D::LimitsOnly,
         3200,
         {1000, 16384},
         true,
         3,
         {1000, 16384}},
        {"memory with no channel: no limit and no division by zero",
         D::LimitsOnly,
         3200,
         {50000, 160000},
         true,
         0,
         {50000, 160000}},
        {"limits only leaves inconsistent values alone",
         D::LimitsOnly,
         3200,
         {1000, 16384},
         false,
         3,
         {1000, 16384}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const FTValues got = reconcileFT(c.direction, c.rateHz, c.in, c.toMemory, c.channels);
        EXPECT_EQ(got.timeMs, c.out.timeMs);
        EXPECT_EQ(got.samples, c.out.samples);
    }
}

TEST(SetupRules, TimeBreakdownText)
{
    struct Case {
        std::int64_t ms;
        QChar separator;
        const char* text;
    };
    const Case cases[] = {
        {5120, QLatin1Char('.'), " 0 мин  5 c 120.000 мс"},
        {5120, QLatin1Char(','), " 0 мин  5 c 120,000 мс"},
        {1, QLatin1Char('.'), " 0 мин  0 c 1.000 мс"},
        {659999, QLatin1Char('.'), "10 мин 59 c 999.000 мс"},
        {20970880, QLatin1Char(','), "349 мин 30 c 880,000 мс"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(timeBreakdownText(c.ms, c.separator), QString::fromUtf8(c.text)) << c.ms;
}

TEST(SetupRules, HalvingRoundsTiesToEven)
{
    const std::pair<std::int64_t, std::int64_t> cases[] = {{5, 2}, {7, 4}, {1, 0}, {3, 2}, {16384, 8192}};
    for (const auto& [in, out] : cases)
        EXPECT_EQ(halved(in), out) << in;
}
