// axdtool spectrum and trend as a user runs them.

#include <QBuffer>
#include <QCoreApplication>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "common/axdtoolrun.h"
#include "common/testutil.h"
#include "analysis/spectralreport.h"
#include "analysis/spectrum.h"
#include "analysis/trend.h"
#include "display/chartbuild.h"
#include "files/axdfile.h"
#include "platform/numtext.h"

namespace {

using testutil::axdtool;
using testutil::ToolRun;

void putWord(std::vector<std::uint8_t>& data, int v)
{
    const auto w = std::uint16_t(v & 0x3FF);
    data.push_back(std::uint8_t(w & 0xFF));
    data.push_back(std::uint8_t(w >> 8));
}

QByteArray encode(const std::vector<std::uint8_t>& data, std::uint8_t mask, double samplePeriodUs, double k = 1,
                  double c = 0)
{
    files::AxdWriteSource src;
    src.header.typeWord = 0x8003;
    src.header.channelMask = mask;
    src.header.samplePeriodUs = samplePeriodUs;
    src.axisK = {k, k, k};
    src.axisC = {c, c, c};
    src.xAxisTitle = QStringLiteral("Время, мкс");
    src.yAxisTitle = QStringLiteral("Ускорение, см/с/с");
    src.data = data;
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    files::writeAxd(out, src);
    return out.data();
}

// 3200 Hz, X and Y: X a cosine of 100 Hz and 200 ADC units, Y an oscillation dying away.
QByteArray measurement(int frames, double samplePeriodUs = 312.5, double k = 1, double c = 0)
{
    std::vector<std::uint8_t> data;
    for (int m = 0; m < frames; ++m) {
        putWord(data, int(std::lround(200 * std::cos(2 * M_PI * 128 * m / 4096.0))));
        putWord(data, int(std::lround(400 * std::exp(-m / 800.0) * std::cos(2 * M_PI * 37 * m / 4096.0))));
    }
    return encode(data, 3, samplePeriodUs, k, c);
}

QStringList lines(const QString& text)
{
    QStringList l = text.split(QStringLiteral("\r\n"));
    EXPECT_TRUE(l.last().isEmpty()) << "every line ends with CR LF";
    l.removeLast();
    return l;
}

class AxdToolAnalysis : public ::testing::Test {
  protected:
    void SetUp() override
    {
        path = dir.filePath(QStringLiteral("замер.axd"));
        ASSERT_TRUE(testutil::writeAll(path, measurement(4096)));
    }
    QTemporaryDir dir;
    QString path;
};

} // namespace

TEST_F(AxdToolAnalysis, SpectrumPrintsTheReportWithEveryBin)
{
    const ToolRun r = axdtool({QStringLiteral("spectrum"), path});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QStringList l = lines(r.out);
    // Up to 1600 Hz by default: bins 0 ... 16384.
    ASSERT_EQ(l.size(), 3 + 16385);
    EXPECT_EQ(l[0], QStringLiteral("F,Hz\tAmplitude\tFirst Point,us\tLast Point,us\tChannel\tFile Name"));
    EXPECT_TRUE(l[1].isEmpty());
    const QStringList summary = l[2].split(QLatin1Char('\t'));
    ASSERT_EQ(summary.size(), 6);
    EXPECT_EQ(summary[0], QStringLiteral("100"));
    EXPECT_NEAR(summary[1].toDouble(), 200, 10);
    EXPECT_EQ(summary[2], QStringLiteral("0"));
    EXPECT_EQ(summary[3], QStringLiteral("1279375")) << "point 4094 at 312.5 us";
    EXPECT_EQ(summary[4], QStringLiteral("X"));
    EXPECT_EQ(summary[5], QFileInfo(path).absoluteFilePath());
    EXPECT_TRUE(l[3].startsWith(QStringLiteral("0\t")));
    EXPECT_TRUE(l[4].startsWith(QStringLiteral("0.09765625\t")));
}

TEST_F(AxdToolAnalysis, SpectrumOptionsChooseChannelStepLimitUnitAndSeparator)
{
    const ToolRun r = axdtool({QStringLiteral("spectrum"), path, QStringLiteral("--channel"),
                               QStringLiteral("Y"), QStringLiteral("--step"), QStringLiteral("2"),
                               QStringLiteral("--fmax"), QStringLiteral("100"), QStringLiteral("--units"),
                               QStringLiteral("ms"), QStringLiteral("--decimal"), QStringLiteral("comma")});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QStringList l = lines(r.out);
    ASSERT_EQ(l.size(), 3 + 2049) << "half the bin width: 100 Hz is bin 2048";
    EXPECT_EQ(l[0], QStringLiteral("F,Hz\tAmplitude\tFirst Point,ms\tLast Point,ms\tChannel\tFile Name"));
    const QStringList summary = l[2].split(QLatin1Char('\t'));
    EXPECT_EQ(summary[3], QStringLiteral("1279,375"));
    EXPECT_EQ(summary[4], QStringLiteral("Y"));
    EXPECT_TRUE(l[4].startsWith(QStringLiteral("0,048828125\t")));

    // A limit beyond the half rate over the step is brought down to it.
    const ToolRun high = axdtool({QStringLiteral("spectrum"), path, QStringLiteral("--step"),
                                  QStringLiteral("32"), QStringLiteral("--fmax"), QStringLiteral("1600")});
    ASSERT_EQ(high.status, 0) << high.err.toStdString();
    EXPECT_EQ(lines(high.out).size(), 3 + 16385) << "50 Hz at step 32 is bin 16384";
}

TEST_F(AxdToolAnalysis, SlowSamplingListsEveryBinUpToHalfTheRate)
{
    // 6.25 Hz: half the rate over the step lies below 1 Hz from step 4 on.
    const QString slow = dir.filePath(QStringLiteral("slow.axd"));
    ASSERT_TRUE(testutil::writeAll(slow, measurement(4096, 160000)));
    for (const char* step : {"1", "8", "32"}) {
        SCOPED_TRACE(step);
        const ToolRun r = axdtool({QStringLiteral("spectrum"), slow, QStringLiteral("--step"), QLatin1String(step)});
        ASSERT_EQ(r.status, 0) << r.err.toStdString();
        EXPECT_EQ(lines(r.out).size(), 3 + 16385);
    }
}

TEST_F(AxdToolAnalysis, CsvFormsAreFixedForScripts)
{
    auto run = [&](QStringList extra) {
        const ToolRun r = axdtool(QStringList{QStringLiteral("spectrum"), path, QStringLiteral("--csv")} + extra);
        EXPECT_EQ(r.status, 0) << r.err.toStdString();
        EXPECT_FALSE(r.out.contains(QLatin1Char('\r')));
        EXPECT_TRUE(r.out.endsWith(QLatin1Char('\n')));
        QStringList rows = r.out.split(QLatin1Char('\n'));
        rows.removeLast();
        return rows;
    };
    // Every bin of two channels: 1024-point segments give bins 0 ... 512 of 3.125 Hz.
    QStringList rows = run({QStringLiteral("--channel"), QStringLiteral("X,Y"), QStringLiteral("--window"),
                            QStringLiteral("hann"), QStringLiteral("--segment"), QStringLiteral("1024")});
    ASSERT_EQ(rows.size(), 1 + 513);
    EXPECT_EQ(rows[0], QStringLiteral("frequency_hz,X,Y"));
    EXPECT_EQ(rows[33].split(QLatin1Char(','))[0], QStringLiteral("100"));
    EXPECT_NEAR(rows[33].split(QLatin1Char(','))[1].toDouble(), 200, 2) << "the 100 Hz cosine of X";

    // The band between the limits only.
    rows = run({QStringLiteral("--segment"), QStringLiteral("1024"), QStringLiteral("--fmin"), QStringLiteral("50"),
                QStringLiteral("--fmax"), QStringLiteral("150")});
    ASSERT_EQ(rows.size(), 1 + 33) << "bins 16 ... 48";
    EXPECT_EQ(rows[1].split(QLatin1Char(','))[0], QStringLiteral("50"));
    EXPECT_EQ(rows.last().split(QLatin1Char(','))[0], QStringLiteral("150"));

    // Peaks: strongest first, over all the channels asked for.
    rows = run({QStringLiteral("--channel"), QStringLiteral("Y,X"), QStringLiteral("--window"),
                QStringLiteral("flattop"), QStringLiteral("--segment"), QStringLiteral("1024"),
                QStringLiteral("--peaks"), QStringLiteral("3")});
    ASSERT_EQ(rows.size(), 1 + 3);
    EXPECT_EQ(rows[0], QStringLiteral("frequency_hz,amplitude,channel"));
    const QStringList first = rows[1].split(QLatin1Char(','));
    EXPECT_NEAR(first[0].toDouble(), 100, 0.05);
    EXPECT_NEAR(first[1].toDouble(), 200, 2);
    EXPECT_EQ(first[2], QStringLiteral("X"));
    EXPECT_GE(first[1].toDouble(), rows[2].split(QLatin1Char(','))[1].toDouble());
    EXPECT_GE(rows[2].split(QLatin1Char(','))[1].toDouble(), rows[3].split(QLatin1Char(','))[1].toDouble());

    // Without --csv the same options give the report, which says what was done.
    const ToolRun report = axdtool({QStringLiteral("spectrum"), path, QStringLiteral("--scale"),
                                    QStringLiteral("psd"), QStringLiteral("--db")});
    ASSERT_EQ(report.status, 0) << report.err.toStdString();
    EXPECT_TRUE(report.out.startsWith(QStringLiteral("Window\tSegment")));
    EXPECT_TRUE(report.out.contains(QStringLiteral("\tpsd\tдБ отн. 1 (см/с/с)²/Гц, не ниже -400\t")))
        << "the floor an exact zero is shown at";

    // --csv alone lists the bins of the plain report, from the same transform.
    const QStringList plain = lines(axdtool({QStringLiteral("spectrum"), path}).out);
    rows = run({});
    ASSERT_EQ(rows.size(), plain.size() - 2);
    EXPECT_EQ(rows[0], QStringLiteral("frequency_hz,X"));
    for (int i = 1; i < rows.size(); i += 997) {
        const QStringList want = plain[i + 2].split(QLatin1Char('\t'));
        const QStringList got = rows[i].split(QLatin1Char(','));
        EXPECT_EQ(got[0].toDouble(), want[0].toDouble()) << i;
        EXPECT_NEAR(got[1].toDouble(), want[1].toDouble(), 1e-12 * (1 + std::fabs(want[1].toDouble()))) << i;
    }
}

// 62.5 s at 3200 Hz: 100 Hz for the first half, 300 Hz for the second. Without averaging one
// transform covers all of it.
TEST_F(AxdToolAnalysis, WithoutAveragingTheWholeRecordIsAnalysed)
{
    std::vector<std::uint8_t> data;
    for (int m = 0; m < 200000; ++m)
        putWord(data, int(std::lround(200 * std::sin(2 * M_PI * (m < 100000 ? 100 : 300) * m / 3200.0))));
    const QString tones = dir.filePath(QStringLiteral("tones.axd"));
    ASSERT_TRUE(testutil::writeAll(tones, encode(data, 1, 312.5)));
    const ToolRun r = axdtool({QStringLiteral("spectrum"), tones, QStringLiteral("--window"), QStringLiteral("hann"),
                               QStringLiteral("--peaks"), QStringLiteral("2"), QStringLiteral("--csv")});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QStringList rows = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(rows.size(), 3);
    std::vector<double> found{rows[1].split(QLatin1Char(','))[0].toDouble(), rows[2].split(QLatin1Char(','))[0].toDouble()};
    std::sort(found.begin(), found.end());
    EXPECT_NEAR(found[0], 100, 0.01);
    EXPECT_NEAR(found[1], 300, 0.01);

    const ToolRun report = axdtool({QStringLiteral("spectrum"), tones, QStringLiteral("--window"),
                                    QStringLiteral("hann")});
    ASSERT_EQ(report.status, 0) << report.err.toStdString();
    const QStringList header = lines(report.out)[1].split(QLatin1Char('\t'));
    EXPECT_EQ(header[1], QStringLiteral("262144")) << "the transform's size";
    EXPECT_EQ(header[8], QStringLiteral("62499375")) << "the last point, 199998, was analysed";
}

// Values a scale cannot hold are refused, never printed as INF or NAN.
TEST_F(AxdToolAnalysis, ValuesTooLargeForAScaleAreRefused)
{
    const QString huge = dir.filePath(QStringLiteral("huge.axd"));
    ASSERT_TRUE(testutil::writeAll(huge, measurement(4096, 312.5, 1e300)));
    struct Case {
        const char* what;
        QStringList options;
        int status;
    } cases[] = {
        {"one windowed transform", {QStringLiteral("--window"), QStringLiteral("hann")}, 0},
        {"averaged", {QStringLiteral("--segment"), QStringLiteral("1024"), QStringLiteral("--peaks"), QStringLiteral("2")}, 0},
        {"in dB", {QStringLiteral("--db"), QStringLiteral("--csv")}, 0},
        {"a PSD beyond the largest double", {QStringLiteral("--scale"), QStringLiteral("psd")}, 1},
        {"the plain spectrum", {}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const ToolRun r = axdtool(QStringList{QStringLiteral("spectrum"), huge} + c.options);
        EXPECT_EQ(r.status, c.status) << r.err.toStdString();
        EXPECT_FALSE(r.out.contains(QStringLiteral("inf"), Qt::CaseInsensitive));
        EXPECT_FALSE(r.out.contains(QStringLiteral("nan"), Qt::CaseInsensitive));
        EXPECT_EQ(r.err.isEmpty(), c.status == 0);
    }
}

TEST_F(AxdToolAnalysis, SpectrogramWritesAPictureOrAMatrix)
{
    const QString png = dir.filePath(QStringLiteral("s.png"));
    const QString csv = dir.filePath(QStringLiteral("s.csv"));
    ToolRun r = axdtool({QStringLiteral("spectrogram"), path, png, QStringLiteral("--segment"),
                         QStringLiteral("256"), QStringLiteral("--width"), QStringLiteral("10"),
                         QStringLiteral("--height"), QStringLiteral("64")});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QImage image(png);
    EXPECT_EQ(image.size(), QSize(10, 64));
    r = axdtool({QStringLiteral("spectrogram"), path, csv, QStringLiteral("--channel"), QStringLiteral("Y"),
                 QStringLiteral("--segment"), QStringLiteral("256"), QStringLiteral("--width"),
                 QStringLiteral("10"), QStringLiteral("--height"), QStringLiteral("64")});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    QStringList rows = QString::fromUtf8(testutil::readAll(csv)).split(QLatin1Char('\n'));
    rows.removeLast();
    ASSERT_EQ(rows.size(), 1 + 10);
    EXPECT_TRUE(rows[0].startsWith(QStringLiteral("time_s,0,")));
    EXPECT_EQ(rows[1].split(QLatin1Char(',')).size(), 1 + 64);
}

TEST_F(AxdToolAnalysis, TrendPrintsTheTwoLineReport)
{
    const ToolRun r = axdtool({QStringLiteral("trend"), path, QStringLiteral("--channel"),
                               QStringLiteral("Y"), QStringLiteral("--units"), QStringLiteral("ms")});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QStringList l = lines(r.out);
    ASSERT_EQ(l.size(), 2);
    EXPECT_EQ(l[0], QStringLiteral("q=\tC=\tFirst Point,ms\tLast Point,ms\tChannel\tFile Name"));
    const QStringList data = l[1].split(QLatin1Char('\t'));
    ASSERT_EQ(data.size(), 6);
    EXPECT_LT(data[0].toDouble(), 0) << "the oscillation dies away";
    EXPECT_EQ(data[2], QStringLiteral("0"));
    EXPECT_EQ(data[3], QStringLiteral("1279.375"));
    EXPECT_EQ(data[4], QStringLiteral("Y"));
}

// The spectrum and the trend read a long file's series as they go, a stretch at a time, each pass
// from the start again: their numbers must be those of the whole series held at once, across the
// stretches' seams, for a channel, |a| and a step.
TEST_F(AxdToolAnalysis, SeriesReadAsTheyGoGiveTheNumbersOfTheWholeSeries)
{
    std::mt19937 gen(7);
    std::uniform_int_distribution<int> word(-512, 511);
    std::vector<std::uint8_t> data;
    constexpr int kFrames = 700001;
    for (int m = 0; m < kFrames; ++m) {
        putWord(data, int(300 * std::sin(m / 40.0)) + word(gen) / 8);
        putWord(data, int(400 * std::exp(-m / 200000.0) * std::cos(m / 9.0)));
        putWord(data, word(gen));
    }
    const QString longFile = dir.filePath(QStringLiteral("long.axd"));
    ASSERT_TRUE(testutil::writeAll(longFile, encode(data, 7, 312.5, 0.37, 1.5)));

    const files::AxdReadResult read = files::readAxdFile(longFile);
    ASSERT_TRUE(read.ok());
    display::ChartInput in;
    in.bytes = read.contents.data.data();
    in.size = read.contents.data.size();
    in.samplePeriodUs = 312.5;
    in.axisK = read.contents.axisK;
    in.axisC = read.contents.axisC;
    display::ChartOptions o;
    o.channels = acq::ChannelSet::fromMask(7);
    display::SignalPass pass(in, o);
    std::array<std::vector<double>, 4> whole;
    for (auto& s : whole)
        s.resize(std::size_t(pass.points()));
    pass.next(pass.points(), {whole[0].data(), whole[1].data(), whole[2].data()}, whole[3].data());
    const qint64 points = qint64(whole[1].size());

    const analysis::Trend t = analysis::computeTrend(whole[1].data(), points, {0, qint32(points - 1)}, 3, 312.5, 1);
    const ToolRun trend = axdtool({QStringLiteral("trend"), longFile, QStringLiteral("--channel"), QStringLiteral("Y"),
                                   QStringLiteral("--step"), QStringLiteral("3")});
    ASSERT_EQ(trend.status, 0) << trend.err.toStdString();
    const QStringList fields = lines(trend.out).value(1).split(QLatin1Char('\t'));
    ASSERT_GE(fields.size(), 2);
    EXPECT_EQ(fields[0], platform::generalNumberText(t.q, QLatin1Char('.')));
    EXPECT_EQ(fields[1], platform::generalNumberText(t.c, QLatin1Char('.')));

    std::vector<analysis::ChannelInput> inputs;
    for (int c : {0, 3})
        inputs.push_back({QString(QStringLiteral("XYZA").at(c)), whole[std::size_t(c)].data(), points, {}});
    analysis::AnalysisSettings settings;
    settings.window = analysis::WindowKind::Hann;
    settings.segment = 4096;
    settings.overlapPercent = 75;
    settings.scale = analysis::SpectrumScale::Psd;
    const analysis::SpectralAnalysis a = analysis::analyseChannels(inputs, settings, 2, 312.5, analysis::binCutFrequency(800, 1600, 2), QString());
    const ToolRun spectrum = axdtool({QStringLiteral("spectrum"), longFile, QStringLiteral("--channel"),
                                      QStringLiteral("X,A"), QStringLiteral("--step"), QStringLiteral("2"),
                                      QStringLiteral("--segment"), QStringLiteral("4096"), QStringLiteral("--overlap"),
                                      QStringLiteral("75"), QStringLiteral("--window"), QStringLiteral("hann"),
                                      QStringLiteral("--scale"), QStringLiteral("psd"), QStringLiteral("--csv")});
    ASSERT_EQ(spectrum.status, 0) << spectrum.err.toStdString();
    const QStringList expected = analysis::spectralCsv(a).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    const QStringList got = spectrum.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(got.size(), expected.size());
    for (qsizetype i = 1; i < got.size(); ++i)
        ASSERT_TRUE(got[i].endsWith(expected[i])) << "row " << i << ": " << got[i].toStdString();
}

TEST_F(AxdToolAnalysis, WrongCallsAndFilesAreRefused)
{
    const QString shortFile = dir.filePath(QStringLiteral("short.axd"));
    ASSERT_TRUE(testutil::writeAll(shortFile, measurement(4)));
    auto odd = [&](const char* name, double period, double k, double c) {
        const QString p = dir.filePath(QString::fromLatin1(name));
        EXPECT_TRUE(testutil::writeAll(p, measurement(64, period, k, c)));
        return p;
    };
    const QString nanFactor = odd("nan-k.axd", 312.5, std::nan(""), 0);
    const QString infShift = odd("inf-c.axd", 312.5, 1, INFINITY);
    const QString tinyPeriod = odd("tiny.axd", 5e-324, 1, 0);
    struct Case {
        const char* what;
        QStringList args;
        int status;
    } cases[] = {
        {"no file", {QStringLiteral("spectrum")}, 2},
        {"a channel letter that is none",
         {QStringLiteral("trend"), path, QStringLiteral("--channel"), QStringLiteral("Q")},
         2},
        {"a step out of range",
         {QStringLiteral("spectrum"), path, QStringLiteral("--step"), QStringLiteral("33")},
         2},
        {"a unit that is none",
         {QStringLiteral("trend"), path, QStringLiteral("--units"), QStringLiteral("h")},
         2},
        {"a limit below 1",
         {QStringLiteral("spectrum"), path, QStringLiteral("--fmax"), QStringLiteral("0")},
         2},
        {"a channel the file lacks",
         {QStringLiteral("spectrum"), path, QStringLiteral("--channel"), QStringLiteral("Z")},
         1},
        {"a missing file", {QStringLiteral("trend"), dir.filePath(QStringLiteral("none.axd"))}, 1},
        {"a window that is none",
         {QStringLiteral("spectrum"), path, QStringLiteral("--window"), QStringLiteral("kaiser")},
         2},
        {"a segment that is no power of two",
         {QStringLiteral("spectrum"), path, QStringLiteral("--segment"), QStringLiteral("1000")},
         2},
        {"an overlap not offered",
         {QStringLiteral("spectrum"), path, QStringLiteral("--segment"), QStringLiteral("1024"),
          QStringLiteral("--overlap"), QStringLiteral("30")},
         2},
        {"a scale that is none", {QStringLiteral("spectrum"), path, QStringLiteral("--scale"), QStringLiteral("db")}, 2},
        {"no peaks", {QStringLiteral("spectrum"), path, QStringLiteral("--peaks"), QStringLiteral("0")}, 2},
        {"a negative lower limit", {QStringLiteral("spectrum"), path, QStringLiteral("--fmin"), QStringLiteral("-1")}, 2},
        {"the same channel twice",
         {QStringLiteral("spectrum"), path, QStringLiteral("--channel"), QStringLiteral("X,X")},
         2},
        {"a spectrogram without a file to write", {QStringLiteral("spectrogram"), path}, 2},
        {"a spectrogram into a text file",
         {QStringLiteral("spectrogram"), path, dir.filePath(QStringLiteral("s.txt"))},
         2},
        {"fewer points than the step",
         {QStringLiteral("spectrum"), shortFile, QStringLiteral("--step"), QStringLiteral("4")},
         1},
        {"a calibration factor that is no number", {QStringLiteral("spectrum"), nanFactor}, 1},
        {"an infinite shift", {QStringLiteral("trend"), infShift}, 1},
        {"a period with an infinite rate",
         {QStringLiteral("spectrum"), tinyPeriod, QStringLiteral("--segment"), QStringLiteral("256")},
         1},
        {"a lower limit above half the rate", {QStringLiteral("spectrum"), path, QStringLiteral("--fmin"), QStringLiteral("5000")}, 2},
        {"a lower limit beyond any int", {QStringLiteral("spectrum"), path, QStringLiteral("--fmin"), QStringLiteral("1e10")}, 2},
        {"a lower limit at the upper one",
         {QStringLiteral("spectrum"), path, QStringLiteral("--fmin"), QStringLiteral("100"), QStringLiteral("--fmax"),
          QStringLiteral("100")},
         2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const ToolRun r = axdtool(c.args);
        EXPECT_EQ(r.status, c.status) << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty());
        EXPECT_FALSE(r.err.isEmpty());
    }
}
