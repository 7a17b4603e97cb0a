#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "analysis/fft.h"

using analysis::FFTAmplitude;

namespace {

constexpr long double kTwoPi = 6.283185307179586476925286766559L;

// A plain DFT written straight from the definition, sharing nothing with the
// routine under test: the values taken, their mean, zero padding to N, exact
// twiddles from a table of angles, and the documented amplitude scaling.
std::vector<double> referenceAmplitudes(int exponent, const std::vector<double>& src, int step, int count)
{
    const int size = 1 << exponent;
    std::vector<long double> x;
    for (int i = 0; i + step <= count; i += step)
        x.push_back(src[i]);
    long double mean = 0;
    for (long double v : x)
        mean += v;
    mean /= x.size();
    std::vector<long double> padded(size, 0.0L);
    for (int m = 0; m < size && m < int(x.size()); ++m)
        padded[m] = x[m] - mean;

    std::vector<long double> cosT(size), sinT(size);
    for (int i = 0; i < size; ++i) {
        cosT[i] = std::cos(kTwoPi * i / size);
        sinT[i] = std::sin(kTwoPi * i / size);
    }
    std::vector<double> out(size);
    for (int k = 0; k < size; ++k) {
        long double re = 0, im = 0;
        for (int m = 0; m < size; ++m) {
            const int a = int((static_cast<long long>(m) * k) % size);
            re += padded[m] * cosT[a];
            im -= padded[m] * sinT[a];
        }
        out[k] = double(std::sqrt(re * re + im * im) * 2 / size * step * 32768 / count);
    }
    out[0] /= 2;
    return out;
}

std::vector<double> run(int exponent, const std::vector<double>& src, int step, int count)
{
    std::vector<double> out(std::size_t(1) << exponent, -1.0);
    FFTAmplitude(quint16(exponent), src.data(), step, count, out.data());
    return out;
}

std::vector<double> randomValues(std::size_t n, unsigned seed)
{
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> dist(-500.0, 700.0);
    std::vector<double> v(n);
    for (double& x : v)
        x = dist(gen);
    return v;
}

} // namespace

// Every shape of block (padded, overfull, strided, a partial stride at the end)
// against the reference, to a tolerance relative to the largest amplitude.
TEST(FFTAmplitude, MatchesAPlainDftOnRandomData)
{
    struct Case {
        const char* what;
        int exponent;
        int step;
        int count;
    } cases[] = {
        {"N = 1024, n = N", 10, 1, 1024},
        {"n < N: zero padded, still divided by count", 10, 1, 700},
        {"n > N: the rest enters the mean only", 8, 1, 300},
        {"step 4, count a multiple of it", 9, 4, 2048},
        {"step 3, a partial stride left over", 9, 3, 1000},
        {"count 10 with step 4", 2, 4, 10},
        {"N = 2", 1, 1, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto src = randomValues(std::size_t(c.count) + 16, unsigned(c.count * 7 + c.step));
        const auto got = run(c.exponent, src, c.step, c.count);
        const auto want = referenceAmplitudes(c.exponent, src, c.step, c.count);
        const double peak = *std::max_element(want.begin(), want.end());
        ASSERT_GT(peak, 0.0);
        for (std::size_t k = 0; k < want.size(); ++k)
            ASSERT_NEAR(got[k], want[k], 1e-9 * peak) << "bin " << k;
    }
}

TEST(FFTAmplitude, CosineWithWholePeriodsShowsItsAmplitudeAtItsBinAndTheMirror)
{
    constexpr int n = 32768;
    struct Case {
        int k0;
        double amplitude;
        double offset;
    } cases[] = {{1, 1.0, 0.0},   {358, 12.5, 100.0},  {5000, 0.25, -3.0}, {16383, 7.0, 0.5},
                 // Magnitudes whose squares leave the range of a double.
                 {77, 1e152, 0.0}, {4000, 1e-170, 0.0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.k0);
        std::vector<double> src(n);
        for (int m = 0; m < n; ++m)
            src[m] = c.offset + c.amplitude * double(std::cos(kTwoPi * c.k0 * m / n));
        const auto out = run(15, src, 1, n);
        EXPECT_NEAR(out[c.k0], c.amplitude, 1e-9 * c.amplitude);
        EXPECT_NEAR(out[n - c.k0], c.amplitude, 1e-9 * c.amplitude);
        for (int k = 0; k < n; ++k) {
            if (k != c.k0 && k != n - c.k0) {
                ASSERT_LT(out[k], 1e-9 * c.amplitude) << "bin " << k;
            }
        }
    }
}

TEST(FFTAmplitude, HalfFilledBlockKeepsAFullScaleCosineAtItsAmplitude)
{
    // 16384 values padded to 32768: the cosine's k0 periods land on bin 2*k0,
    // and dividing by count (not N) keeps its height.
    constexpr int n = 16384;
    std::vector<double> src(n);
    for (int m = 0; m < n; ++m)
        src[m] = 3.0 * double(std::cos(kTwoPi * 100 * m / n));
    const auto out = run(15, src, 1, n);
    EXPECT_NEAR(out[200], 3.0, 1e-9);
    EXPECT_NEAR(out[32768 - 200], 3.0, 1e-9);
}

TEST(FFTAmplitude, BlocksWithoutVariationGiveZeroEverywhere)
{
    struct Case {
        const char* what;
        int exponent;
        std::vector<double> src;
        int step;
        int count;
    } cases[] = {
        {"a constant", 15, std::vector<double>(32768, 123.456), 1, 32768},
        {"a constant, strided and padded", 12, std::vector<double>(5000, -7.25), 3, 5000},
        {"n = 1", 10, {42.0, 1.0, 2.0}, 2, 3},
        {"no value taken: count below step", 10, {42.0, 1.0, 2.0}, 4, 3},
        {"no value taken: count 0", 4, {42.0}, 1, 0},
        {"no value taken: step 0", 4, {42.0}, 0, 1},
        {"N = 1", 0, {5.0}, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto out = run(c.exponent, c.src, c.step, c.count);
        for (std::size_t k = 0; k < out.size(); ++k)
            ASSERT_NEAR(out[k], 0.0, 1e-9) << "bin " << k;
    }
}

TEST(FFTAmplitude, TakesOnlyTheValuesAtWholeStrides)
{
    // count 10, step 4: offsets 0 and 4 are taken, 8 is not.
    std::vector<double> src{1, 0, 0, 0, 5, 0, 0, 0, 9, 0};
    const auto base = run(2, src, 4, 10);
    // The deviations are -2 and +2, padded to four: |X[0]| = 0,
    // |X[1]| = |X[3]| = 2*sqrt(2), |X[2]| = 4, scaled by 2 / 4 * 4 * 32768 / 10.
    const double scale = 2.0 / 4 * 4 * 32768 / 10;
    EXPECT_NEAR(base[0], 0.0, 1e-9);
    EXPECT_NEAR(base[1], 2 * std::sqrt(2.0) * scale, 1e-9);
    EXPECT_NEAR(base[2], 4 * scale, 1e-9);
    EXPECT_NEAR(base[3], 2 * std::sqrt(2.0) * scale, 1e-9);

    auto changed = src;
    changed[8] = -1000;
    EXPECT_EQ(run(2, changed, 4, 10), base) << "offset 8 must not be read";
    changed = src;
    changed[4] = 6;
    EXPECT_NE(run(2, changed, 4, 10), base) << "offset 4 must be read";
}

TEST(FFTAmplitude, HalvesTheZeroBin)
{
    // With n > N the values beyond N shift the mean, so the zero bin is not 0:
    // out[0] = |sum of the first N deviations| * 2 / N * 32768 / count / 2.
    std::vector<double> src{1, 2, 3, 4, 10, 10};
    const auto out = run(2, src, 1, 6);
    const double mean = 30.0 / 6;
    const double sum = (1 - mean) + (2 - mean) + (3 - mean) + (4 - mean);
    EXPECT_NEAR(out[0], std::fabs(sum) * 2 / 4 * 32768 / 6 / 2, 1e-9);
}

TEST(FFTAmplitude, NeverWritesOrReadsBeyondItsCapacity)
{
    // An exponent above 16 works as 16; more than 65536 values are not copied
    // past the work arrays (the sanitizers would catch it).
    std::vector<double> src(70000);
    for (std::size_t i = 0; i < src.size(); ++i)
        src[i] = double(i % 17);
    std::vector<double> out(65536 + 8, -1.0);
    FFTAmplitude(20, src.data(), 1, 70000, out.data());
    EXPECT_EQ(out[65536], -1.0);
    EXPECT_TRUE(
        std::all_of(out.begin(), out.begin() + 65536, [](double v) { return std::isfinite(v) && v >= 0; }));
}
