#include <gtest/gtest.h>

#include "display/interaction.h"

using namespace display;

TEST(Interaction, IntervalText)
{
    struct Case {
        const char* what;
        std::int32_t first, second;
        double step, divisor;
        const char* expected;
    };
    const Case cases[] = {
        {"view 0, 312.5 µs, ms", 100, 40, 0.3125, 1000, "dT=18,75мс<>f=53,33Гц dA=0,50"},
        {"view 1: samples, the unit text stays", 100, 40, 1.0, 1000, "dT=60,00мс<>f=16,67Гц dA=0,50"},
        {"order does not matter", 40, 100, 0.3125, 1000, "dT=18,75мс<>f=53,33Гц dA=0,50"},
        {"same sample: no frequency", 70, 70, 0.3125, 1000, "dT=0,00мс dA=0,50"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(intervalText(c.first, 1.25, c.second, 0.75, c.step, c.divisor, QStringLiteral("мс"),
                               QLatin1Char(',')),
                  QString::fromUtf8(c.expected))
            << c.what;
    EXPECT_EQ(intervalText(3, -1.0, 1, 2.0, 312.5, 1, QStringLiteral("мкс"), QLatin1Char('.')),
              QStringLiteral("dT=625.00мкс<>f=1600.00Гц dA=3.00"));
}

TEST(Interaction, ReadoutText)
{
    ReadoutValues base;
    base.cursorIndex = 1;
    base.sampleStepX = 0.3125;
    base.unitText = QStringLiteral("мс");
    base.axes = {1.5, std::nullopt, -2.0};

    struct Case {
        const char* what;
        ReadoutValues v;
        const char* expected;
    };
    std::vector<Case> cases;
    cases.push_back({"time view", base, "0,31мс X=1,50 Z=-2,00"});
    ReadoutValues samples = base;
    samples.timeView = false;
    samples.sampleStepX = 1;
    samples.cursorIndex = 100;
    cases.push_back({"sample view", samples, "100,00 X=1,50 Z=-2,00"});
    ReadoutValues degrees = base;
    degrees.degreeLabel = QStringLiteral("  36");
    degrees.modulus = 2.5;
    cases.push_back({"degree label", degrees, "  36° X=1,50 Z=-2,00 |a|=2,50"});
    degrees.degreeLabel = QString();
    cases.push_back({"point without a label", degrees, "° X=1,50 Z=-2,00 |a|=2,50"});
    for (const auto& c : cases)
        EXPECT_EQ(readoutText(c.v, QLatin1Char(',')), QString::fromUtf8(c.expected)) << c.what;
}

TEST(Interaction, CursorIndexRoundsHalfToEven)
{
    struct Case {
        double value, axisMax, step;
        std::optional<std::int32_t> expected;
    };
    const Case cases[] = {
        {0.3125 * 3.5, 10, 0.3125, 4}, {0.3125 * 2.5, 10, 0.3125, 2}, {-1.4, 10, 1, -1},
        {5, 0, 1, std::nullopt},                                  // nothing laid out yet
        {5, -3, 1, std::nullopt},      {1e12, 10, 1, 2147483647}, // kept within 32 bits
    };
    for (const auto& c : cases)
        EXPECT_EQ(cursorIndexAt(c.value, c.axisMax, c.step), c.expected) << c.value;
}

TEST(Interaction, MarkerTableShowsSixDigitsAndCopiesThemAll)
{
    MarkerReading a{100, 5050000.0, {241.33552734375, -7.66144531, 0.000123456789, std::nullopt}};
    MarkerReading b{200, 12753125.0, {283.4734765625, -7.66144531, 0.0, std::nullopt}};
    const MarkerTable t = markerTable({a, b}, true, QStringLiteral("мкс"), QLatin1Char(','));
    const std::vector<QStringList> shown = {
        {QStringLiteral("t, мкс"), "5050000", "12753125", "7703125"},
        {"X", "241,336", "283,473", "42,1379"},
        {"Y", "-7,66145", "-7,66145", "0"},
        {"Z", "0,000123457", "0", "-0,000123457"},
    };
    EXPECT_EQ(t.rows, shown);
    const QStringList copied = t.text().split(QLatin1Char('\n'));
    EXPECT_EQ(copied.value(2), QStringLiteral("X\t241,33552734375\t283,4734765625\t42,13794921875"));
}

TEST(Interaction, MarkerTablePositionsKeepTheSamplesApart)
{
    // Long runs: six significant digits would show neighbouring samples alike.
    struct Case {
        double step;
        std::int32_t index;
        const char* shown;
    } cases[] = {
        {312.5, 6837, "2136562,5"},          // microseconds
        {312.5, 6838, "2136875"},            // a whole number stays whole
        {0.3125, 6837001, "2136562,8125"},   // milliseconds
        {0.0003125, 6837001, "2136,5628125"}, // seconds
        {1, 6837001, "6837001"},             // samples
    };
    for (const Case& c : cases) {
        const MarkerReading m{c.index, c.index * c.step, {1.0, std::nullopt, std::nullopt, std::nullopt}};
        const MarkerTable t = markerTable({m}, true, QStringLiteral("мкс"), QLatin1Char(','), c.step);
        EXPECT_EQ(t.rows.at(0).value(1), QString::fromUtf8(c.shown)) << c.step << " " << c.index;
    }
}
