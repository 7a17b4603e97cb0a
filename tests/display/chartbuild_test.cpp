#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "display/chartbuild.h"

using namespace display;

namespace {

// A stream of frames given as words, one vector per frame.
std::vector<std::uint8_t> streamOf(const std::vector<std::vector<std::uint16_t>>& frames)
{
    std::vector<std::uint8_t> bytes;
    for (const auto& f : frames)
        for (std::uint16_t w : f) {
            bytes.push_back(std::uint8_t(w & 0xFF));
            bytes.push_back(std::uint8_t(w >> 8));
        }
    return bytes;
}

ChartInput inputOf(const std::vector<std::uint8_t>& bytes, double periodUs = 312.5)
{
    ChartInput in;
    in.bytes = bytes.data();
    in.size = bytes.size();
    in.samplePeriodUs = periodUs;
    in.axisK = {2.0, 3.0, 4.0};
    in.axisC = {1.0, -1.0, 0.5};
    return in;
}

ChartOptions onlyX()
{
    ChartOptions o;
    o.channels = {true, false, false};
    return o;
}

std::vector<double> yOf(const UniformSeries& s)
{
    return std::vector<double>(s.data(), s.data() + s.size());
}

} // namespace

TEST(ChartBuild, DecodesWordsAndPulseBit)
{
    // One channel: each word is a whole frame, and its bit 15 is the pulse input.
    const auto bytes = streamOf({{0x0000}, {0x03FF}, {0x0200}, {0x01FF}, {0x8005}, {0xFC00}});
    ChartOptions o = onlyX();
    o.view = ViewAdcSamples;
    const auto b = buildChart(inputOf(bytes), o, {-1.0, 1.0});
    ASSERT_EQ(b.end, BuildEnd::Complete);
    EXPECT_EQ(yOf(b.signal.channels[0]), (std::vector<double>{-1, -512, 511, 5, 0}));
    ASSERT_EQ(b.pulse.size(), 6);
    for (int k = 0; k < 6; ++k)
        EXPECT_EQ(b.pulse.y(k), k >= 4 ? 1.0 : -1.0) << "frame " << k; // 0xFC00 has bit 15 set too
}

TEST(ChartBuild, PulseComesFromTheLastWordOfEachFrame)
{
    // X and Z recorded: bit 15 of the X word means nothing, that of the Z word is the pulse.
    const auto bytes = streamOf({{0x8001, 0x0002}, {0x0003, 0x8004}, {0x8005, 0x0006}});
    ChartOptions o;
    o.channels = {true, false, true};
    o.view = ViewAdcSamples;
    const auto b = buildChart(inputOf(bytes), o, {0.0, 10.0});
    ASSERT_EQ(b.end, BuildEnd::Complete);
    EXPECT_EQ(yOf(b.signal.channels[0]), (std::vector<double>{3, 5}));
    EXPECT_EQ(yOf(b.signal.channels[2]), (std::vector<double>{4, 6}));
    EXPECT_TRUE(b.signal.channels[1].isEmpty());
    EXPECT_EQ(b.pulse.y(0), 0.0);
    EXPECT_EQ(b.pulse.y(1), 10.0);
    EXPECT_EQ(b.pulse.y(2), 0.0);
}

TEST(ChartBuild, SmoothingKeepsOneUnroundedStatePerChannel)
{
    struct Case {
        const char* what;
        std::vector<int> x; // raw values of frames 1.. (frame 0 is skipped)
        int weight;
        std::vector<double> expected;
    };
    const Case cases[] = {
        // s: 5, 2.5, 1.75, 1.375 -> 5, 2 (half to even), 2, 1; a rounded state would end in 2.
        {"weight 2", {5, 0, 1, 1}, 2, {5, 2, 2, 1}},
        {"the first value is unchanged", {-7, -7}, 4096, {-7, -7}},
        // s: 8, 6, 4.5, 3.375 -> 8, 6, 4, 3
        {"weight 4", {8, 0, 0, 0}, 4, {8, 6, 4, 3}},
    };
    for (const auto& c : cases) {
        std::vector<std::vector<std::uint16_t>> frames{{0x0123, 0x0001}};
        for (int v : c.x)
            frames.push_back({std::uint16_t(v & 0x3FF), 0x0100}); // Y stays at 256 throughout
        const auto bytes = streamOf(frames);
        ChartOptions o;
        o.channels = {true, true, false};
        o.view = ViewAdcSamples;
        o.smooth = true;
        o.smoothWeight = c.weight;
        const auto s = buildSignalSeries(inputOf(bytes), o);
        EXPECT_EQ(yOf(s.channels[0]), c.expected) << c.what;
        EXPECT_EQ(yOf(s.channels[1]), std::vector<double>(c.x.size(), 256.0))
            << c.what << ": Y has its own state";
    }
}

TEST(ChartBuild, ViewsChooseValuesAndAxis)
{
    struct Case {
        int view;
        int unit;
        double x0;   // x of the first channel point
        double step; // sampleStepX
        double y0;   // first X value (raw 10, K 2, C 1)
        double pulseX1;
    };
    const Case cases[] = {
        {ViewValuesTime, 1, 0.3125, 0.3125, 18.0, 0.3125},
        {ViewAdcSamples, 1, 1.0, 1.0, 10.0, 1.0},
        {ViewValuesSamples, 0, 1.0, 1.0, 18.0, 1.0},
        {ViewAdcTime, 0, 312.5, 312.5, 10.0, 312.5},
        {ViewValuesTime, 2, 0.0003125, 0.0003125, 18.0, 0.0003125},
    };
    const auto bytes = streamOf({{0}, {10}, {11}});
    for (const auto& c : cases) {
        ChartOptions o = onlyX();
        o.view = c.view;
        o.timeUnit = c.unit;
        const auto in = inputOf(bytes);
        const auto b = buildChart(in, o, {-1.0, 1.0});
        ASSERT_EQ(b.end, BuildEnd::Complete) << c.view;
        EXPECT_DOUBLE_EQ(b.signal.channels[0].x(0), c.x0) << "view " << c.view;
        EXPECT_DOUBLE_EQ(b.scales.sampleStepX, c.step) << "view " << c.view;
        EXPECT_DOUBLE_EQ(b.signal.channels[0].y(0), c.y0) << "view " << c.view;
        EXPECT_DOUBLE_EQ(b.signal.channels[0].x(1), 2 * c.x0) << "view " << c.view;
        EXPECT_EQ(b.pulse.x(0), 0.0) << "the pulse starts at frame 0";
        EXPECT_DOUBLE_EQ(b.pulse.x(1), c.pulseX1) << "view " << c.view;
        EXPECT_DOUBLE_EQ(b.signal.modulus.x(0), c.x0) << "view " << c.view;
    }
}

TEST(ChartBuild, ScalesLeftForOthers)
{
    struct Case {
        int unit;
        double period;
        acq::ChannelSet channels;
        double divisor;
        const char* unitText;
        std::int32_t nyquist;
        std::uint8_t mask;
    };
    const Case cases[] = {
        {0, 312.5, {true, true, true}, 1, "мкс", 1600, 7},
        {1, 80000, {false, true, false}, 1000, "мс", 6, 2},
        {2, 160000, {true, false, true}, 1000000, "с", 3, 5}, // 3.125 Hz truncates to 3
        {1, 0, {true, false, false}, 1000, "мс", 0, 1},       // no period yet: no frequency
    };
    const auto bytes = streamOf({{1, 2, 3}, {4, 5, 6}});
    for (const auto& c : cases) {
        ChartOptions o;
        o.timeUnit = c.unit;
        o.channels = c.channels;
        const auto s = chartScales(inputOf(bytes, c.period), o);
        EXPECT_EQ(s.timeUnitDivisor, c.divisor);
        EXPECT_EQ(s.timeUnitText, QString::fromUtf8(c.unitText));
        EXPECT_EQ(s.xAxisTitle, QStringLiteral("Время, ") + QString::fromUtf8(c.unitText));
        EXPECT_EQ(s.nyquistHz, c.nyquist) << c.period;
        EXPECT_EQ(s.channelMask, c.mask);
    }
}

TEST(ChartBuild, ModulusTakesTheCheckedModulusChannels)
{
    // Raw values X 3, Y 4, Z 12 in the ADC view.
    const auto bytes = streamOf({{0, 0, 0}, {3, 0x3FC /* -4 */, 12}, {3, 0x3FC, 12}});
    struct Case {
        acq::ChannelSet channels;
        std::array<bool, 3> modulus;
        double expected;
    };
    const Case cases[] = {
        {{true, true, true}, {true, true, true}, 13.0},
        {{true, true, true}, {true, false, false}, 3.0},
        {{true, true, true}, {true, true, false}, 5.0},
        {{true, true, true}, {false, false, false}, 0.0},
    };
    for (const auto& c : cases) {
        ChartOptions o;
        o.view = ViewAdcSamples;
        o.channels = c.channels;
        o.modulus = c.modulus;
        const auto s = buildSignalSeries(inputOf(bytes), o);
        EXPECT_EQ(yOf(s.modulus), std::vector<double>(2, c.expected));
    }
    // X unchecked as a channel: the stream is Y, Z only and the modulus of X alone is 0.
    const auto yz = streamOf({{0, 0}, {0x3FC, 12}});
    ChartOptions o;
    o.view = ViewAdcSamples;
    o.channels = {false, true, true};
    o.modulus = {true, false, false};
    EXPECT_EQ(yOf(buildSignalSeries(inputOf(yz), o).modulus), std::vector<double>{0.0});
    // In the value view the modulus is taken of the calibrated values: (3-1)*2 = 4.
    o = onlyX();
    EXPECT_EQ(yOf(buildSignalSeries(inputOf(streamOf({{0}, {3}})), o).modulus), std::vector<double>{4.0});
}

TEST(ChartBuild, DegreeLabelsTurnBetweenRisingEdges)
{
    // Rising edges at frames 10, 20 and 30; the pulse stays high for three frames each time.
    std::vector<std::vector<std::uint16_t>> frames;
    for (int k = 0; k < 40; ++k) {
        const bool high = (k >= 10 && k < 13) || (k >= 20 && k < 23) || (k >= 30 && k < 33);
        frames.push_back({std::uint16_t(high ? 0x8000 : 0)});
    }
    const auto bytes = streamOf(frames);
    ChartOptions o = onlyX();
    o.degrees = true;
    auto b = buildChart(inputOf(bytes), o, {-5.0, 5.0});
    ASSERT_EQ(b.end, BuildEnd::Complete);
    const PulseTrace& p = b.pulse;
    EXPECT_TRUE(p.hasDegreeLabels());
    for (int j = 0; j < 10; ++j)
        EXPECT_EQ(p.label(j), QString()) << j;
    for (int j = 10; j < 20; ++j)
        EXPECT_EQ(p.label(j), QStringLiteral("%1").arg((j - 10) * 36, 4)) << j;
    EXPECT_EQ(p.label(20), QStringLiteral("   0"));
    for (int j = 21; j < 30; ++j)
        EXPECT_EQ(p.label(j), QStringLiteral("%1").arg((j - 20) * 36, 4)) << j;
    EXPECT_EQ(p.label(30), QStringLiteral(" 360"));
    for (int j = 31; j < 40; ++j)
        EXPECT_EQ(p.label(j), QString()) << j;
    EXPECT_EQ(b.titles.bottom, QStringLiteral("Градусы"));

    EXPECT_EQ(p.edgeAfter(10), 20);
    EXPECT_EQ(p.edgeAtOrBefore(29), 20);

    // Only the time views carry degree labels.
    o.view = ViewAdcSamples;
    b = buildChart(inputOf(bytes), o, {-5.0, 5.0});
    EXPECT_FALSE(b.pulse.hasDegreeLabels());
    EXPECT_EQ(b.pulse.label(15), QString());
    EXPECT_EQ(b.titles.bottom, QStringLiteral("Градусы")) << "the title follows the mode in every view";
}

TEST(ChartBuild, DegreeLabelsOfEqualLevelsAndRoundedTurns)
{
    // Both levels equal: every point from 1 on counts as a rising edge.
    std::vector<std::vector<std::uint16_t>> frames(5, {0});
    auto bytes = streamOf(frames);
    ChartOptions o = onlyX();
    o.degrees = true;
    ChartInput in = inputOf(bytes);
    PulseTrace t = buildPulseTrace(in, o, {2.0, 2.0});
    EXPECT_EQ(t.label(0), QString());
    for (int j = 1; j < 4; ++j)
        EXPECT_EQ(t.label(j), QStringLiteral("   0"));
    EXPECT_EQ(t.label(4), QStringLiteral(" 360"));

    // A turn of 7 frames: 360/7 per frame, rounded to whole degrees.
    frames.assign(20, {0});
    frames[2] = {0x8000};
    frames[9] = {0x8000};
    bytes = streamOf(frames);
    in = inputOf(bytes);
    t = buildPulseTrace(in, o, {1.0, -1.0});
    const char* expected[] = {"   0", "  51", " 103", " 154", " 206", " 257", " 309", " 360"};
    for (int j = 2; j <= 9; ++j)
        EXPECT_EQ(t.label(j), QString::fromLatin1(expected[j - 2])) << j;
    EXPECT_EQ(t.label(10), QString());
}

TEST(ChartBuild, WhereTheBuildEnds)
{
    ChartOptions o = onlyX();
    o.view = ViewAdcSamples;

    // An empty stream changes nothing.
    std::vector<std::uint8_t> none;
    auto b = buildChart(inputOf(none), o, {-1.0, 1.0});
    EXPECT_EQ(b.end, BuildEnd::EmptyStream);
    EXPECT_FALSE(b.titles.left || b.titles.bottom);

    // No channel checked: no frames, empty series, titles unchanged.
    const auto three = streamOf({{1, 2, 3}, {4, 5, 6}});
    o.channels = {};
    b = buildChart(inputOf(three), o, {-1.0, 1.0});
    EXPECT_EQ(b.end, BuildEnd::NoChannels);
    EXPECT_EQ(b.scales.channelMask, 0);
    EXPECT_TRUE(b.signal.modulus.isEmpty());
    EXPECT_FALSE(b.titles.left || b.titles.bottom);

    // Exactly one frame: no channel point, one pulse point at x = 0.
    o.channels = {true, true, true};
    const auto one = streamOf({{1, 2, 0x8003}});
    b = buildChart(inputOf(one), o, {-1.0, 1.0});
    EXPECT_EQ(b.end, BuildEnd::Complete);
    EXPECT_TRUE(b.signal.channels[0].isEmpty());
    EXPECT_TRUE(b.signal.modulus.isEmpty());
    ASSERT_EQ(b.pulse.size(), 1);
    EXPECT_EQ(b.pulse.x(0), 0.0);
    EXPECT_EQ(b.pulse.y(0), 1.0);

    // Seven bytes of three channels: one whole frame and a partial one.
    std::vector<std::uint8_t> seven(one.begin(), one.end());
    seven.push_back(0x11);
    b = buildChart(inputOf(seven), o, {-1.0, 1.0});
    EXPECT_EQ(b.pulse.size(), 1);
    EXPECT_TRUE(b.signal.channels[2].isEmpty());

    // Less than a frame: no point at all.
    const std::vector<std::uint8_t> four(one.begin(), one.begin() + 4);
    b = buildChart(inputOf(four), o, {-1.0, 1.0});
    EXPECT_EQ(b.pulse.size(), 0);

    // All plotted values 0 on a first build: both pulse levels 0, the build stops there with
    // only the left title set.
    const auto zeros = streamOf({{0}, {0}, {0}});
    o = onlyX();
    o.view = ViewAdcTime;
    o.valueTitle = QStringLiteral("g");
    b = buildChart(inputOf(zeros), o);
    EXPECT_EQ(b.end, BuildEnd::NoPulseLevels);
    EXPECT_EQ(b.pulse.size(), 0);
    EXPECT_EQ(b.titles.left, QStringLiteral("g"));
    EXPECT_FALSE(b.titles.bottom);
    EXPECT_EQ(yOf(b.signal.channels[0]), (std::vector<double>{0, 0}));
}

TEST(ChartBuild, PulseLevelsFromTheLastPaintElseTheAutomaticRange)
{
    struct Case {
        ValueRange painted;
        ValueRange automatic;
        std::optional<std::pair<double, double>> expected; // high, low
    };
    const Case cases[] = {
        {{-2, 7}, {0, 1}, std::pair{7.0, -2.0}},
        {{0, 0}, {-3, 4}, std::pair{4.0, -3.0}},
        {{5, 5}, {-3, 4}, std::pair{4.0, -3.0}},
        {{0, 0}, {0, 0}, std::nullopt},
        {{0, 0}, {}, std::nullopt},
        {{0, 0}, {6, 6}, std::pair{6.0, 6.0}},
    };
    for (const auto& c : cases) {
        const auto l = pulseLevels(c.painted, c.automatic);
        ASSERT_EQ(bool(l), bool(c.expected)) << c.painted.lo << " " << c.painted.hi;
        if (l) {
            EXPECT_EQ(l->high, c.expected->first);
            EXPECT_EQ(l->low, c.expected->second);
        }
    }
    // The automatic range counts only the shown series.
    const auto bytes = streamOf({{0, 0}, {5, 0x3F0 /* -16 */}});
    ChartOptions o;
    o.view = ViewAdcSamples;
    o.channels = {true, true, false};
    const auto s = buildSignalSeries(inputOf(bytes), o);
    EXPECT_EQ(autoValueRange(s), (ValueRange{-16, s.modulus.y(0)}));
    EXPECT_NEAR(s.modulus.y(0), std::sqrt(281.0), 1e-12);
    EXPECT_EQ(autoValueRange(s, {true, false, false, false}), (ValueRange{5, 5}));
    EXPECT_EQ(autoValueRange(s, {false, false, false, false}), (ValueRange{0, 0}));
}

TEST(ChartBuild, AxisTitlesByView)
{
    struct Case {
        int view;
        bool degrees;
        const char* left;
        const char* bottom;
    };
    const Case cases[] = {
        {ViewValuesTime, false, "Ускорение", "Время, мс"},  {ViewAdcSamples, false, "единицы АЦП", "Выборки"},
        {ViewValuesSamples, false, "Ускорение", "Выборки"}, {ViewAdcTime, false, "единицы АЦП", "Время, мс"},
        {ViewAdcSamples, true, "единицы АЦП", "Градусы"},   {ViewValuesTime, true, "Ускорение", "Градусы"},
    };
    for (const auto& c : cases) {
        ChartOptions o;
        o.view = c.view;
        o.degrees = c.degrees;
        o.valueTitle = QStringLiteral("Ускорение");
        const auto t = axisTitles(o, QStringLiteral("мс"));
        EXPECT_EQ(t.left, QString::fromUtf8(c.left));
        EXPECT_EQ(t.bottom, QString::fromUtf8(c.bottom));
    }
}

TEST(ChartBuild, LargeStreamsReportProgressAndCanBeAbandoned)
{
    // 200001 frames of 3 channels: 1200006 bytes, above the 600000 limit.
    std::vector<std::uint8_t> bytes(200001 * 6, 0);
    const auto in = inputOf(bytes);
    ChartOptions o;
    std::vector<std::int64_t> seen;
    auto s = buildSignalSeries(in, o, [&](std::int64_t n, std::int64_t last) {
        EXPECT_EQ(last, 200000);
        seen.push_back(n);
        return true;
    });
    EXPECT_TRUE(s.complete);
    std::vector<std::int64_t> expected;
    for (int k = 1; k <= 10; ++k)
        expected.push_back(k * 20000);
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(progressText(20000, 200000), QStringLiteral("График 10%"));
    EXPECT_EQ(progressText(1, 200000), QStringLiteral("График 0%"));

    // Small streams build without a word.
    seen.clear();
    std::vector<std::uint8_t> small(600000, 0);
    buildSignalSeries(inputOf(small), o, [&](std::int64_t n, std::int64_t) {
        seen.push_back(n);
        return true;
    });
    EXPECT_TRUE(seen.empty());

    // Abandoned at the third report.
    int calls = 0;
    s = buildSignalSeries(in, o, [&](std::int64_t, std::int64_t) { return ++calls < 3; });
    EXPECT_FALSE(s.complete);
    EXPECT_EQ(calls, 3);
    const auto b =
        buildChart(in, o, {0, 1}, {true, true, true, true}, [](std::int64_t, std::int64_t) { return false; });
    EXPECT_EQ(b.end, BuildEnd::Abandoned);
}

TEST(ChartBuild, TwoThreadsBuildWhatOneBuilds)
{
    // Long enough for a second thread, and no whole number of chunks.
    constexpr int kFrames = 300001;
    std::mt19937 rng(11);
    std::vector<std::uint8_t> bytes(std::size_t(kFrames) * 6 + 3);
    for (auto& b : bytes)
        b = std::uint8_t(rng());
    const auto in = inputOf(bytes);
    struct Case {
        const char* what;
        ChartOptions options;
        int abandonAt; // 0: never
    };
    ChartOptions xz;
    xz.channels = {true, false, true};
    xz.view = ViewAdcTime;
    ChartOptions yOnly;
    yOnly.channels = {false, true, false};
    yOnly.modulus = {true, false, true};
    yOnly.view = ViewValuesSamples;
    const Case cases[] = {{"all channels", ChartOptions{}, 0}, {"X and Z in ADC units", xz, 0},
                          {"Y alone, not in |a|", yOnly, 0}, {"abandoned at the fourth report", ChartOptions{}, 4}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::int64_t> reports[2];
        SignalSeries built[2];
        for (int t = 0; t < 2; ++t) {
            built[t] = buildSignalSeries(
                in, c.options,
                [&](std::int64_t n, std::int64_t) {
                    reports[t].push_back(n);
                    return c.abandonAt == 0 || int(reports[t].size()) < c.abandonAt;
                },
                t + 1);
        }
        EXPECT_EQ(reports[1], reports[0]);
        EXPECT_EQ(built[1].complete, c.abandonAt == 0);
        EXPECT_EQ(built[0].complete, built[1].complete);
        if (!built[0].complete)
            continue;
        const UniformSeries* one[4] = {&built[0].channels[0], &built[0].channels[1], &built[0].channels[2],
                                       &built[0].modulus};
        const UniformSeries* two[4] = {&built[1].channels[0], &built[1].channels[1], &built[1].channels[2],
                                       &built[1].modulus};
        for (int k = 0; k < 4; ++k) {
            ASSERT_EQ(two[k]->size(), one[k]->size());
            if (one[k]->isEmpty())
                continue;
            const std::int64_t n = one[k]->size();
            EXPECT_EQ(std::memcmp(two[k]->data(), one[k]->data(), std::size_t(n) * sizeof(double)), 0) << k;
            EXPECT_EQ(two[k]->valueRange(), one[k]->valueRange()) << k;
            for (int r = 0; r < 20; ++r) {
                std::int64_t lo = std::int64_t(rng() % std::uint32_t(n));
                std::int64_t hi = std::int64_t(rng() % std::uint32_t(n));
                if (lo > hi)
                    std::swap(lo, hi);
                ++hi;
                EXPECT_EQ(two[k]->valueRange(lo, hi), one[k]->valueRange(lo, hi)) << k << " " << lo << ".." << hi;
                EXPECT_EQ(two[k]->coarseValueRange(lo, hi, 4096), one[k]->coarseValueRange(lo, hi, 4096)) << k;
            }
        }
    }
}

TEST(SeriesData, EnvelopeRangeMatchesAScan)
{
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> value(-100, 100);
    for (std::int64_t n : {1, 63, 64, 65, 1000, 70000}) {
        std::vector<double> v(static_cast<std::size_t>(n));
        for (auto& x : v)
            x = value(rng);
        UniformSeries s;
        s.assign(v, {});
        std::uniform_int_distribution<std::int64_t> pos(0, n - 1);
        for (int t = 0; t < 300; ++t) {
            std::int64_t a = pos(rng), b = pos(rng);
            if (a > b)
                std::swap(a, b);
            ValueRange want;
            for (std::int64_t i = a; i <= b; ++i)
                want.include(v[std::size_t(i)]);
            ASSERT_EQ(s.valueRange(a, b + 1), want) << n << " [" << a << ", " << b << "]";
            // The drawing's coarse range holds the exact one and reaches at most one bucket out.
            const std::int64_t bucket = 512;
            const ValueRange coarse = s.coarseValueRange(a, b + 1, bucket);
            ValueRange wide;
            for (std::int64_t i = std::max<std::int64_t>(0, a - bucket); i <= std::min(n - 1, b + bucket);
                 ++i)
                wide.include(v[std::size_t(i)]);
            ASSERT_LE(coarse.lo, want.lo);
            ASSERT_GE(coarse.hi, want.hi);
            ASSERT_GE(coarse.lo, wide.lo);
            ASSERT_LE(coarse.hi, wide.hi);
        }
        ValueRange all;
        for (double x : v)
            all.include(x);
        EXPECT_EQ(s.valueRange(), all);
    }
}

TEST(SeriesData, PulseRangesAndEdgesMatchAScan)
{
    std::mt19937 rng(11);
    for (std::int64_t n : {1, 2, 64, 65, 130, 1000}) {
        for (double density : {0.01, 0.5}) {
            std::bernoulli_distribution on(density);
            PulseTrace t;
            t.allocate(n, {}, 3.0, -3.0);
            std::vector<bool> b(static_cast<std::size_t>(n));
            for (std::int64_t i = 0; i < n; ++i) {
                b[std::size_t(i)] = on(rng);
                t.setBit(i, b[std::size_t(i)]);
            }
            auto isEdge = [&](std::int64_t p) {
                return p >= 1 && b[std::size_t(p)] && !b[std::size_t(p - 1)];
            };
            for (std::int64_t j = 0; j < n; ++j) {
                std::int64_t before = -1, after = -1;
                for (std::int64_t p = j; p >= 1; --p)
                    if (isEdge(p)) {
                        before = p;
                        break;
                    }
                for (std::int64_t p = j + 1; p < n; ++p)
                    if (isEdge(p)) {
                        after = p;
                        break;
                    }
                ASSERT_EQ(t.edgeAtOrBefore(j), before) << n << " " << j;
                ASSERT_EQ(t.edgeAfter(j), after) << n << " " << j;
            }
            std::uniform_int_distribution<std::int64_t> pos(0, n - 1);
            for (int k = 0; k < 100; ++k) {
                std::int64_t a = pos(rng), c = pos(rng);
                if (a > c)
                    std::swap(a, c);
                ValueRange want;
                for (std::int64_t i = a; i <= c; ++i)
                    want.include(b[std::size_t(i)] ? 3.0 : -3.0);
                ASSERT_EQ(t.valueRange(a, c + 1), want);
            }
        }
    }
}

TEST(SeriesData, VisibleIndicesFollowTheExactX)
{
    UniformAxis a{1, 312.5, 1000.0}; // x = (i + 1) * 0.3125
    struct Case {
        double lo, hi;
        std::int64_t first, last;
    };
    const Case cases[] = {
        {0.0, 100.0, 0, 9},                          // everything
        {0.3125, 0.625, 0, 1},                       // bounds on points count as inside
        {0.32, 0.93, 1, 1},    {0.63, 0.93, -1, -1}, // between two points
        {3.2, 5.0, -1, -1},                          // past the end
        {-5.0, 0.1, -1, -1},                         // before the start
        {1.25, 1.25, 3, 3},
    };
    for (const auto& c : cases) {
        const auto r = a.indicesWithin(c.lo, c.hi, 10);
        EXPECT_EQ(r.first, c.first) << c.lo << ".." << c.hi;
        EXPECT_EQ(r.second, c.last) << c.lo << ".." << c.hi;
    }
    EXPECT_EQ(a.nearestIndex(0.9, 10), 2);
    EXPECT_EQ(a.nearestIndex(-3, 10), 0);
    EXPECT_EQ(a.nearestIndex(300, 10), 9);
}

TEST(SeriesData, AxisLabelPointsFollowTheTurns)
{
    // Rising edges every 40 points from 40 to 400.
    PulseTrace t;
    t.allocate(420, {}, 1.0, 0.0);
    for (int k = 40; k <= 400; k += 40)
        t.setBit(k, true);
    t.setDegreeLabels(true);
    struct Case {
        double spacing;
        std::int64_t first, last;
        std::vector<std::int64_t> expected;
    };
    const Case cases[] = {
        {10, 40, 120, {40, 50, 60, 70, 80, 90, 100, 110, 120}}, // quarters
        {15, 40, 120, {40, 60, 80, 100, 120}},                  // halves
        {30, 0, 200, {40, 80, 120, 160, 200}},                  // turn starts
        {100, 0, 419, {40, 160, 280, 400}},                     // every third turn
        {10, 55, 85, {60, 70, 80}},                             // only inside the range
        {30, 395, 419, {400}},                                  // the last edge closes the last turn
    };
    for (const auto& c : cases)
        EXPECT_EQ(t.labelPoints(c.first, c.last, c.spacing, 100), c.expected) << c.spacing << " " << c.first;
    EXPECT_EQ(t.label(50), QStringLiteral("  90"));
    EXPECT_EQ(t.labelPoints(0, 419, 10, 3).size(), 3u);
    t.setDegreeLabels(false);
    EXPECT_TRUE(t.labelPoints(0, 419, 10, 100).empty());
}
