#include <QStringList>
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "analysis/analysisinput.h"
#include "analysis/spectrum.h"

using namespace analysis;

namespace {

constexpr double kPi = 3.14159265358979323846;

QStringList reportLines(const QString& report)
{
    EXPECT_TRUE(report.endsWith(QStringLiteral("\r\n")));
    QStringList lines = report.split(QStringLiteral("\r\n"));
    lines.removeLast(); // after the last CR LF
    for (const QString& l : lines)
        EXPECT_FALSE(l.contains(QLatin1Char('\r')) || l.contains(QLatin1Char('\n')));
    return lines;
}

} // namespace

TEST(VisibleStretch, RefusesWhatThePaintDidNotLeaveAndCutsAtTheSeriesEnd)
{
    struct Case {
        const char* what;
        qint64 pointCount;
        qint32 first, last;
        std::optional<std::pair<qint32, qint32>> want;
    } cases[] = {
        {"a normal stretch", 1000, 10, 99, std::pair{10, 99}},
        {"one point", 1000, 5, 5, std::pair{5, 5}},
        {"not painted since cleared", 1000, -1, -1, std::nullopt},
        {"first index missing", 1000, -1, 50, std::nullopt},
        {"past the end of a shorter record", 100, 150, 300, std::nullopt},
        {"running past the end", 100, 40, 300, std::pair{40, 99}},
        {"empty series", 0, 0, 0, std::nullopt},
        {"reversed", 1000, 50, 40, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto got = visibleStretch(c.pointCount, c.first, c.last);
        ASSERT_EQ(got.has_value(), c.want.has_value());
        if (got) {
            EXPECT_EQ(got->first, c.want->first);
            EXPECT_EQ(got->last, c.want->second);
        }
    }
}

TEST(SpectrumSpan, KeepsWithinTheTransformAndTheStep)
{
    struct Case {
        const char* what;
        qint32 visiblePoints;
        int step;
        qint32 wantCount; // 0: refused
    } cases[] = {
        {"short stretch, step 1", 20000, 1, 20000},
        {"more values than the transform holds", 40000, 1, 32768},
        {"step 2 fills the transform with 65536 points", 100000, 2, 65536},
        {"never more than 65536 points", 100000, 4, 65536},
        {"exactly one step", 8, 8, 8},
        {"fewer points than the step", 7, 8, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto got = spectrumSpan(Stretch{100, 100 + c.visiblePoints - 1}, c.step);
        if (c.wantCount == 0) {
            EXPECT_FALSE(got.has_value());
            continue;
        }
        ASSERT_TRUE(got.has_value());
        EXPECT_EQ(got->first, 100);
        EXPECT_EQ(got->count(), c.wantCount);
    }
}

TEST(ComputeSpectrum, ShowsTheBinsUpToTheFrequencyLimit)
{
    struct Case {
        const char* what;
        double periodUs;
        int step;
        int fmax;
        int wantBins;
    } cases[] = {
        {"3200 Hz, step 1, 35 Hz: bins 0 ... 358", 312.5, 1, 35, 359},
        {"3200 Hz, step 2: half the bin width", 312.5, 2, 35, 717},
        {"a limit of 0 still shows bin 0", 312.5, 1, 0, 1},
        {"no limit: the bins end at the Nyquist bin, not at its mirrors", 312.5, 1, 100000, 16385},
        {"6.25 Hz, step 32: half the decimated rate lies below 1 Hz", 160000, 32, 1, 16385},
    };
    std::vector<double> values(70000);
    for (std::size_t i = 0; i < values.size(); ++i)
        values[i] = std::sin(0.05 * double(i));
    std::vector<double> amp(spectrumBins);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto s = computeSpectrum(values.data(), 32768, c.step, c.periodUs, c.fmax, amp.data());
        EXPECT_EQ(s.binCount, c.wantBins);
        EXPECT_LE(binFrequency(s.binCount - 1, c.periodUs, c.step), std::max(c.fmax, 0));
    }
    EXPECT_DOUBLE_EQ(binFrequency(358, 312.5, 1), 358 * 0.09765625);
}

TEST(ComputeSpectrum, FindsThePeakAndItsLowestFrequency)
{
    std::vector<double> amp(spectrumBins);
    // A cosine of amplitude 2 at bin 100 of a 3200 Hz record.
    std::vector<double> wave(32768);
    for (int m = 0; m < 32768; ++m)
        wave[m] = 5 + 2 * std::cos(2 * kPi * 100 * m / 32768);
    auto s = computeSpectrum(wave.data(), 32768, 1, 312.5, 1600, amp.data());
    EXPECT_NEAR(s.peakAmplitude, 2.0, 1e-9);
    EXPECT_DOUBLE_EQ(s.peakFrequency, 100 * 0.09765625);
    EXPECT_EQ(spectrumPeakCaption(s, QLatin1Char(',')), QStringLiteral("F,Гц=9,7656;  Max=2,0000"));

    // The bins above the Nyquist bin mirror those below; none of them may
    // become the peak. At 6.25 Hz and step 4 a cosine at 0.7 Hz mirrors to
    // 0.8625 Hz, still below a 1 Hz limit.
    std::vector<double> slow(32768 * 4);
    for (std::size_t m = 0; m < slow.size(); ++m)
        slow[m] = std::cos(2 * kPi * 0.7 * double(m) * 0.16);
    s = computeSpectrum(slow.data(), qint32(slow.size()), 4, 160000, 1, amp.data());
    EXPECT_EQ(s.binCount, spectrumNyquistBin + 1);
    EXPECT_NEAR(s.peakFrequency, 0.7, binFrequency(1, 160000, 4));

    // A constant: nothing above 0, so both stay 0.
    const std::vector<double> flat(1000, 3.25);
    s = computeSpectrum(flat.data(), 1000, 1, 312.5, 35, amp.data());
    EXPECT_EQ(s.peakAmplitude, 0.0);
    EXPECT_EQ(s.peakFrequency, 0.0);
    EXPECT_EQ(spectrumPeakCaption(s, QLatin1Char('.')), QStringLiteral("F,Гц=0.0000;  Max=0.0000"));
}

TEST(ComputeSpectrum, AnalysisCaptionShowsSmallMaximaToSixDigits)
{
    // Power densities of a few cm/s² lie far below 0.0001, where four decimals read "0,0001".
    struct Case {
        double amplitude;
        const char* shown;
    } cases[] = {{5.123456e-5, "0,0000512346"}, {0.000049999, "0,000049999"}, {2.0, "2"}, {-37.1234567, "-37,1235"}};
    for (const Case& c : cases) {
        SpectrumSummary s;
        s.peakFrequency = 9.765625;
        s.peakAmplitude = c.amplitude;
        const QString text = analysisPeakCaption(s, QLatin1Char(','));
        EXPECT_TRUE(text.startsWith(QStringLiteral("F,Гц=9,7656;  Max="))) << text.toStdString();
        EXPECT_EQ(text.section(QLatin1Char('='), 2), QString::fromUtf8(c.shown)) << c.amplitude;
    }
}

TEST(ComputeSpectrum, KeepsAmplitudesRightWhenTheStretchExceedsTheTransform)
{
    // 40000 visible points at step 1: the first 32768 are analysed and divided
    // by 32768, so a cosine keeps its height (40000 would shrink it to 0.82).
    std::vector<double> wave(40000);
    for (int m = 0; m < 40000; ++m)
        wave[m] = 3 * std::cos(2 * kPi * 512 * m / 32768);
    const auto span = spectrumSpan(Stretch{0, 39999}, 1);
    ASSERT_TRUE(span);
    std::vector<double> amp(spectrumBins);
    const auto s = computeSpectrum(wave.data(), span->count(), 1, 312.5, 1600, amp.data());
    EXPECT_NEAR(s.peakAmplitude, 3.0, 1e-9);
}

TEST(FrequencyLimit, NeverFallsBelow1HzAndAtItsLargestCutsNoBin)
{
    struct Case {
        const char* what;
        qint32 nyquistHz;
        int step, fmax;
        int wantLargest;
        double wantCut; // 0: no cut below the Nyquist bin
    } cases[] = {
        {"3200 Hz, step 1", 1600, 1, 35, 1600, 35},
        {"3200 Hz, step 1, the largest limit", 1600, 1, 1600, 1600, 0},
        {"halves to even", 5, 2, 1, 2, 1},
        {"50 Hz at step 32", 25, 32, 1, 1, 0},
        {"6.25 Hz at step 8", 3, 8, 1, 1, 0},
        {"6.25 Hz at step 1: 3 Hz lies below the true 3.125", 3, 1, 3, 3, 0},
        {"6.25 Hz at step 1, below the largest", 3, 1, 2, 3, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(largestFrequencyLimit(c.nyquistHz, c.step), c.wantLargest);
        const double cut = binCutFrequency(c.fmax, c.nyquistHz, c.step);
        if (c.wantCut == 0)
            EXPECT_TRUE(std::isinf(cut));
        else
            EXPECT_EQ(cut, c.wantCut);
    }
}

TEST(TimeUnitSuffix, NamesTheUnitOfATimeTitle)
{
    struct Case {
        const char* title;
        const char* want;
    } cases[] = {
        {"Время, с", ",s"}, {"Время, мс", ",ms"}, {"Время, мкс", ",us"},
        {"Время, ч", " ч"}, {"Выборки", ""},      {"Градусы", ""},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(timeUnitSuffix(QString::fromUtf8(c.title)), QString::fromUtf8(c.want)) << c.title;
}

TEST(SpectrumReport, LaysOutHeaderSummaryAndBins)
{
    std::vector<double> amp(spectrumBins, 0.0);
    amp[0] = 0.5;
    amp[1] = 1.25;
    amp[2] = 0.125;
    SpectrumSummary s;
    s.binCount = 3;
    s.peakFrequency = binFrequency(1, 312.5, 1);
    s.peakAmplitude = 1.25;

    ReportContext ctx;
    ctx.unitSuffix = QStringLiteral(",ms");
    ctx.firstTime = pointTime(10, 312.5, 1000);
    ctx.lastTime = pointTime(329, 312.5, 1000);
    ctx.channel = QStringLiteral("Y");
    ctx.fileName = QStringLiteral("/data/run 1.axd");
    ctx.decimalSeparator = QLatin1Char(',');

    struct Case {
        const char* what;
        bool listBins;
        std::optional<int> smoothing;
        QStringList want;
    } cases[] = {
        {"bins not listed: exactly three lines",
         false,
         std::nullopt,
         {QStringLiteral("F,Hz\tAmplitude\tFirst Point,ms\tLast Point,ms\tChannel\tFile Name"), QString(),
          QStringLiteral("0,09765625\t1,25\t3,125\t102,8125\tY\t/data/run 1.axd")}},
        {"smoothing adds its column",
         false,
         8,
         {QStringLiteral("F,Hz\tAmplitude\tFirst Point,ms\tLast Point,ms\tChannel\tFile Name\tSmooth Factor"),
          QString(), QStringLiteral("0,09765625\t1,25\t3,125\t102,8125\tY\t/data/run 1.axd\t8")}},
        {"bins listed after the summary",
         true,
         std::nullopt,
         {QStringLiteral("F,Hz\tAmplitude\tFirst Point,ms\tLast Point,ms\tChannel\tFile Name"), QString(),
          QStringLiteral("0,09765625\t1,25\t3,125\t102,8125\tY\t/data/run 1.axd"), QStringLiteral("0\t0,5"),
          QStringLiteral("0,09765625\t1,25"), QStringLiteral("0,1953125\t0,125")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ctx.smoothing = c.smoothing;
        EXPECT_EQ(reportLines(spectrumReport(amp.data(), s, 312.5, 1, c.listBins, ctx)), c.want);
    }

    // Without a time title the columns carry no unit.
    ctx.unitSuffix = timeUnitSuffix(QStringLiteral("Выборки"));
    ctx.smoothing.reset();
    EXPECT_EQ(reportLines(spectrumReport(amp.data(), s, 312.5, 1, false, ctx)).first(),
              QStringLiteral("F,Hz\tAmplitude\tFirst Point\tLast Point\tChannel\tFile Name"));
}
