#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "analysis/spectralanalysis.h"

using namespace analysis;

namespace {

constexpr long double kTwoPi = 6.283185307179586476925286766559L;
constexpr WindowKind kAllWindows[] = {WindowKind::Rectangular, WindowKind::Hann, WindowKind::Hamming,
                                      WindowKind::BlackmanHarris, WindowKind::FlatTop};

std::vector<double> sine(std::size_t n, double amplitude, double cyclesPerPoint, double offset = 0)
{
    std::vector<double> v(n);
    for (std::size_t m = 0; m < n; ++m)
        v[m] = offset + amplitude * double(std::sin(kTwoPi * cyclesPerPoint * (long double)m + 0.3L));
    return v;
}

} // namespace

// Published figures (Harris 1978 and the flat-top's own tables), not ours.
TEST(WindowGains, MatchThePublishedCoherentGainsAndNoiseBandwidths)
{
    struct Case {
        WindowKind kind;
        double coherent, enbw;
    } cases[] = {
        {WindowKind::Rectangular, 1.0, 1.0},      {WindowKind::Hann, 0.5, 1.5},
        {WindowKind::Hamming, 0.54, 1.3628},      {WindowKind::BlackmanHarris, 0.35875, 2.0044},
        {WindowKind::FlatTop, 0.21557895, 3.7702},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(windowName(c.kind).toStdString());
        const WindowGains g = windowGains(windowCoefficients(c.kind, 4096));
        EXPECT_NEAR(g.coherent, c.coherent, 1e-6);
        EXPECT_NEAR(g.noiseBandwidthBins, c.enbw, 2e-4 * c.enbw);
        EXPECT_EQ(windowFromName(windowName(c.kind)), c.kind);
    }
}

// The averaged power against a direct DFT of each windowed, mean-free segment
// summed in long double, for every window and overlap and a padded segment.
TEST(WelchSpectrum, MatchesADirectDftOfEachSegment)
{
    std::mt19937 gen(3);
    std::uniform_real_distribution<double> dist(-50, 80);
    std::vector<double> v(1500);
    for (double& x : v)
        x = dist(gen);
    struct Case {
        WindowKind window;
        int segment, overlap, step;
        qint64 count;
    } cases[] = {
        {WindowKind::Hann, 256, 50, 1, 1500},        {WindowKind::Rectangular, 256, 0, 1, 1500},
        {WindowKind::FlatTop, 256, 75, 2, 1500},     {WindowKind::BlackmanHarris, 512, 50, 3, 1500},
        {WindowKind::Hamming, 0, 0, 1, 300},         {WindowKind::Hann, 1024, 50, 4, 1500},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(windowName(c.window).toStdString() + " " + std::to_string(c.segment));
        const PowerSpectrum s =
            welchSpectrum(v.data(), c.count, {c.window, c.segment, c.overlap, c.step}, 1000.0);
        const qint64 n = c.count / c.step;
        int size = 1, length = 0;
        qint64 hop = 0, segments = 1;
        if (c.segment == 0) {
            length = int(n);
            while (size < length)
                size *= 2;
            hop = n;
        } else if (n < c.segment) {
            // Shorter than one segment: one segment, padded to the size asked for.
            length = int(n);
            size = c.segment;
            hop = n;
        } else {
            size = length = c.segment;
            hop = c.segment * (100 - c.overlap) / 100;
            segments = 1 + (n - c.segment) / hop;
        }
        ASSERT_EQ(s.size, size);
        ASSERT_EQ(s.averages, segments);
        EXPECT_DOUBLE_EQ(s.rateHz, 1000.0 / c.step);
        std::vector<long double> w(static_cast<std::size_t>(length));
        const long double terms[][5] = {{1}, {0.5, 0.5}, {0.54, 0.46},
                                        {0.35875, 0.48829, 0.14128, 0.01168},
                                        {0.21557895, 0.41663158, 0.277263158, 0.083578947, 0.006947368}};
        for (int i = 0; i < length; ++i) {
            long double x = 0;
            for (int j = 0; j < 5; ++j)
                x += ((j % 2) ? -1 : 1) * terms[int(c.window)][j] * std::cos(kTwoPi * j * i / length);
            w[std::size_t(i)] = x;
        }
        double peak = 0;
        std::vector<long double> want(std::size_t(size / 2 + 1), 0.0L);
        for (qint64 seg = 0; seg < segments; ++seg) {
            long double mean = 0;
            for (int i = 0; i < length; ++i)
                mean += v[std::size_t((seg * hop + i) * c.step)];
            mean /= length;
            for (int k = 0; k <= size / 2; ++k) {
                long double re = 0, im = 0;
                for (int i = 0; i < length; ++i) {
                    const long double x = (v[std::size_t((seg * hop + i) * c.step)] - mean) * w[std::size_t(i)];
                    re += x * std::cos(kTwoPi * k * i / size);
                    im -= x * std::sin(kTwoPi * k * i / size);
                }
                want[std::size_t(k)] += (re * re + im * im) / segments;
            }
        }
        for (long double x : want)
            peak = std::max(peak, double(x));
        for (int k = 0; k <= size / 2; ++k)
            ASSERT_NEAR(s.power[std::size_t(k)], double(want[std::size_t(k)]), 1e-10 * peak) << "bin " << k;
    }
}

TEST(WelchSpectrum, NothingFromFewerThanTwoValues)
{
    // A Hann window of one point is 0: there would be no gain to divide by.
    const double v[] = {5.0, 6.0, 7.0};
    EXPECT_EQ(welchSpectrum(v, 1, {WindowKind::Hann, 256, 50, 1}, 1000.0).binCount(), 0);
    EXPECT_EQ(welchSpectrum(v, 3, {WindowKind::Hann, 0, 0, 2}, 1000.0).binCount(), 0);
    EXPECT_EQ(welchSpectrum(v, 3, {WindowKind::Hann, 0, 0, 1}, 0.0).binCount(), 0) << "no sampling period";
    SpectrogramOptions o;
    o.welch = {WindowKind::Hann, 256, 50, 1};
    EXPECT_EQ(computeSpectrogram(v, 1, o, 1000.0).columns, 0);
}

TEST(WelchSpectrum, ASineReadsItsAmplitudeAtItsPeakWithEveryWindow)
{
    // Amplitude 3 at bin 200 of 4096 points; averaging over 16 segments and a
    // single transform of a longer stretch both keep it.
    for (WindowKind kind : kAllWindows) {
        SCOPED_TRACE(windowName(kind).toStdString());
        const auto v = sine(4096 * 8, 3.0, 200.0 / 4096, 7);
        for (int segment : {4096, 0}) {
            const PowerSpectrum s = welchSpectrum(v.data(), qint64(v.size()), {kind, segment, 50, 1}, 312.5);
            const int bin = segment ? 200 : 200 * 8;
            EXPECT_NEAR(s.value(bin, SpectrumScale::Amplitude), 3.0, 3e-3);
            EXPECT_NEAR(s.value(bin, SpectrumScale::Rms), 3.0 / std::sqrt(2.0), 3e-3);
        }
    }
    // The flat top reads it between the bins too, to its scalloping of 0.2 %.
    const auto v = sine(4096 * 8, 3.0, 200.5 / 4096);
    const PowerSpectrum s = welchSpectrum(v.data(), qint64(v.size()), {WindowKind::FlatTop, 4096, 50, 1}, 312.5);
    EXPECT_NEAR(std::max(s.value(200, SpectrumScale::Amplitude), s.value(201, SpectrumScale::Amplitude)), 3.0,
                6e-3);
}

TEST(WelchSpectrum, PsdOfWhiteNoiseIntegratesToItsVariance)
{
    std::mt19937 gen(11);
    for (double sigma : {0.5, 20.0}) {
        std::normal_distribution<double> noise(4.0, sigma);
        std::vector<double> v(1 << 20);
        for (double& x : v)
            x = noise(gen);
        for (WindowKind kind : kAllWindows) {
            SCOPED_TRACE(windowName(kind).toStdString() + " sigma " + std::to_string(sigma));
            const PowerSpectrum s = welchSpectrum(v.data(), qint64(v.size()), {kind, 4096, 50, 1}, 312.5);
            double integral = 0;
            for (int k = 0; k < s.binCount(); ++k)
                integral += s.value(k, SpectrumScale::Psd) * s.binHz();
            EXPECT_NEAR(integral, sigma * sigma, 0.02 * sigma * sigma);
            EXPECT_NEAR(bandRms(s, 0, 1e9), sigma, 0.01 * sigma);
            EXPECT_NEAR(s.value(100, SpectrumScale::Asd), std::sqrt(s.value(100, SpectrumScale::Psd)), 1e-12);
        }
    }
}

TEST(StrongestPeaks, FindASineBetweenBinsWithinAHundredthOfABin)
{
    // Two sines, the stronger first, anywhere between two bins.
    for (WindowKind kind : kAllWindows) {
        for (double fraction : {0.0, 0.13, 0.31, 0.5, 0.77}) {
            SCOPED_TRACE(windowName(kind).toStdString() + " +" + std::to_string(fraction));
            const double f1 = (300 + fraction) / 4096, f2 = (900 - fraction) / 4096;
            auto v = sine(4096 * 4, 5.0, f1);
            const auto w = sine(v.size(), 2.0, f2);
            for (std::size_t i = 0; i < v.size(); ++i)
                v[i] += w[i];
            const PowerSpectrum s = welchSpectrum(v.data(), qint64(v.size()), {kind, 4096, 50, 1}, 1000.0);
            const auto peaks = strongestPeaks(s, SpectrumScale::Amplitude, 2, 0, 1e9);
            ASSERT_EQ(peaks.size(), 2u);
            const double binHz = s.binHz();
            EXPECT_NEAR(peaks[0].frequencyHz / binHz, 300 + fraction, 0.01);
            EXPECT_NEAR(peaks[1].frequencyHz / binHz, 900 - fraction, 0.01);
            EXPECT_NEAR(peaks[0].value, 5.0, 0.02);
            EXPECT_NEAR(peaks[1].value, 2.0, 0.02);
        }
    }
    // The band limits which maxima count.
    const auto v = sine(8192, 1.0, 100.0 / 1024);
    const PowerSpectrum s = welchSpectrum(v.data(), 8192, {WindowKind::Hann, 1024, 50, 1}, 1000.0);
    EXPECT_TRUE(strongestPeaks(s, SpectrumScale::Amplitude, 5, 0, 50).size() <= 5);
    for (const SpectralPeak& p : strongestPeaks(s, SpectrumScale::Amplitude, 5, 0, 50))
        EXPECT_LE(p.frequencyHz, 50);
}

// A strong sine's window side lobes are no peaks: three sines of very
// different size in a padded record come back as exactly those three.
TEST(StrongestPeaks, ListNoSideLobesUnderAnyWindow)
{
    const double rate = 3200;
    struct Tone {
        double hz, amplitude;
    } tones[] = {{100.3, 200}, {437.3, 50}, {1000.7, 5}};
    std::vector<double> v(50000, 0.0);
    for (const Tone& t : tones)
        for (std::size_t m = 0; m < v.size(); ++m)
            v[m] += t.amplitude * double(std::sin(kTwoPi * t.hz / rate * (long double)m));
    for (WindowKind kind : kAllWindows) {
        SCOPED_TRACE(windowName(kind).toStdString());
        const PowerSpectrum s = welchSpectrum(v.data(), qint64(v.size()), {kind, 0, 0, 1}, 1e6 / rate);
        ASSERT_EQ(s.size, 65536) << "one padded transform of the whole record";
        const auto peaks = strongestPeaks(s, SpectrumScale::Amplitude, 3, 0, 1e9);
        ASSERT_EQ(peaks.size(), 3u);
        for (std::size_t i = 0; i < 3; ++i) {
            EXPECT_NEAR(peaks[i].frequencyHz, tones[i].hz, 0.01);
            EXPECT_NEAR(peaks[i].value, tones[i].amplitude, 0.01 * tones[i].amplitude);
        }
    }
}

// Bins 0 and N/2 have no mirror: a component there is sampled as a constant
// (a, -a, a, ...) whose RMS is its amplitude; a sine elsewhere has RMS a/sqrt 2.
// The peer is the RMS of the samples themselves.
TEST(WelchSpectrum, RmsScaleMatchesTheSamplesAtNyquistAndBetween)
{
    struct Case {
        int bin;
        double amplitude;
    } cases[] = {{512, 3.0}, {100, 3.0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bin);
        std::vector<double> v(1024);
        long double squares = 0;
        for (std::size_t m = 0; m < v.size(); ++m) {
            v[m] = c.amplitude * double(std::cos(kTwoPi * c.bin * (long double)m / 1024));
            squares += (long double)v[m] * v[m];
        }
        const double rms = double(std::sqrt(squares / v.size()));
        const PowerSpectrum s = welchSpectrum(v.data(), qint64(v.size()), {WindowKind::Rectangular, 0, 0, 1}, 1000);
        EXPECT_NEAR(s.value(c.bin, SpectrumScale::Amplitude), c.amplitude, 1e-9);
        EXPECT_NEAR(s.value(c.bin, SpectrumScale::Rms), rms, 1e-9);
        EXPECT_NEAR(bandRms(s, 0, 1e9), rms, 1e-9);
    }
}

// Values near the largest double: squares of their bins would overflow, the
// amplitudes and band RMS must not.
TEST(WelchSpectrum, HugeValuesGiveFiniteAmplitudes)
{
    for (int segment : {0, 1024}) {
        SCOPED_TRACE(segment);
        const auto v = sine(8192, 3e302, 200.0 / 1024);
        const PowerSpectrum s = welchSpectrum(v.data(), qint64(v.size()), {WindowKind::Hann, segment, 50, 1}, 1000);
        const int bin = segment ? 200 : 1600;
        EXPECT_NEAR(s.value(bin, SpectrumScale::Amplitude) / 3e302, 1, 1e-3);
        EXPECT_NEAR(bandRms(s, 0, 1e9) / (3e302 / std::sqrt(2.0)), 1, 1e-2);
        EXPECT_TRUE(std::isfinite(s.value(bin, SpectrumScale::Asd)));
    }
}

TEST(Spectrogram, FollowsAToneThatChangesAndIsTheSameOnTwoThreads)
{
    // 1 s of 100 Hz, then 1 s of 300 Hz, sampled at 3200 Hz.
    std::vector<double> v(6400);
    for (std::size_t m = 0; m < v.size(); ++m)
        v[m] = std::sin(2 * M_PI * (m < 3200 ? 100.0 : 300.0) * double(m) / 3200);
    SpectrogramOptions o;
    o.welch = {WindowKind::Hann, 256, 50, 1};
    o.columns = 20;
    o.rows = 600;
    const Spectrogram one = computeSpectrogram(v.data(), qint64(v.size()), o, 312.5);
    o.threads = 2;
    const Spectrogram two = computeSpectrogram(v.data(), qint64(v.size()), o, 312.5);
    ASSERT_EQ(one.columns, 20);
    ASSERT_EQ(one.rows, 129) << "no more rows than bins";
    EXPECT_EQ(one.db, two.db);
    EXPECT_DOUBLE_EQ(one.topHz, 1600);
    auto strongestRow = [&](int c) {
        int best = 0;
        for (int r = 1; r < one.rows; ++r)
            if (one.at(r, c) > one.at(best, c))
                best = r;
        return best;
    };
    EXPECT_EQ(strongestRow(2), 8) << "100 Hz at 12.5 Hz a bin";
    EXPECT_EQ(strongestRow(17), 24);
    EXPECT_NEAR(one.firstSecond + 19 * one.columnSeconds, 2.0 - one.firstSecond, 0.05);
    EXPECT_GT(one.maxDb, one.minDb);
}

TEST(SpectrumUnits, FollowTheChartsValueUnit)
{
    struct Case {
        const char* title;
        SpectrumScale scale;
        const char* want;
    } cases[] = {
        {"Ускорение, см/с/с", SpectrumScale::Amplitude, "см/с/с"},
        {"Ускорение, g", SpectrumScale::Psd, "(g)²/Гц"},
        {"Ускорение, g", SpectrumScale::Asd, "g/√Гц"},
        {"Отсчёты АЦП", SpectrumScale::Rms, "ед."},
    };
    for (const Case& c : cases)
        EXPECT_EQ(scaleUnit(c.scale, valueUnit(QString::fromUtf8(c.title))), QString::fromUtf8(c.want)) << c.title;
    EXPECT_DOUBLE_EQ(toDecibels(10, SpectrumScale::Amplitude), 20);
    EXPECT_DOUBLE_EQ(toDecibels(10, SpectrumScale::Psd), 10);
    EXPECT_DOUBLE_EQ(toDecibels(2, SpectrumScale::Asd, 2), 0);
    EXPECT_DOUBLE_EQ(toDecibels(0, SpectrumScale::Amplitude), decibelFloor) << "an exact zero has no logarithm";
    EXPECT_DOUBLE_EQ(toDecibels(1e-30, SpectrumScale::Psd), -300);
}
