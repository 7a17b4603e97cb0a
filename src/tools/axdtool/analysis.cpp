// axdtool spectrum FILE and axdtool trend FILE: the reports the program puts on the clipboard,
// computed over every point of the chart the program builds from the file.

#include <QFileInfo>
#include <QIODevice>
#include <QImage>

#include <algorithm>
#include <cstdint>
#include <thread>
#include <vector>

#include <cmath>
#include <optional>

#include "analysis/analysisinput.h"
#include "analysis/spectralreport.h"
#include "analysis/spectrum.h"
#include "analysis/trend.h"
#include "display/chartbuild.h"
#include "files/axdfile.h"
#include "files/savefile.h"
#include "platform/numtext.h"
#include "tools/axdtool/command.h"

namespace axdtool {

namespace {

constexpr int kMaxStep = 32;
constexpr int kModulus = 3;
const QString kLetters = QStringLiteral("XYZA");

// What both commands take from the command line.
struct AnalysisCall {
    QString path;
    std::vector<int> channels; // 0 X, 1 Y, 2 Z, 3 |a|; the file's first channel when not given
    int step = 1;
    std::optional<int> fmax;
    int timeUnit = 0;
    QChar decimal = QLatin1Char('.');
};

// The analysed series of a file's chart: view 0 (values over time), as the program shows a
// loaded file.
struct AnalysedSeries {
    display::ChartBuild build;
    std::vector<int> channels; // as in AnalysisCall, at least one
    double samplePeriodUs = 0;
    QString fileName;

    const display::UniformSeries& series(int channel) const
    {
        return channel == kModulus ? build.signal.modulus : build.signal.channels[std::size_t(channel)];
    }
    const display::UniformSeries& series() const { return series(channels.front()); }
};

// Parses the common options; returns an exit status when the call is wrong.
std::optional<int> parseCall(const QStringList& args, const QStringList& extra, const QStringList& flags,
                             AnalysisCall& call, Options& opt, int positionals = 1)
{
    QStringList valueOptions{QStringLiteral("channel"), QStringLiteral("step"), QStringLiteral("units"),
                             QStringLiteral("decimal")};
    valueOptions += extra;
    opt = Options(args, valueOptions, flags);
    if (!opt.ok())
        return usageError(opt.error());
    if (opt.positional().size() != positionals)
        return usageError(positionals == 1 ? QStringLiteral("a measurement file is needed, and only one")
                                           : QStringLiteral("a measurement file and a file to write are needed"));
    call.path = opt.positional()[0];

    if (opt.has(QStringLiteral("channel"))) {
        // One letter, or a list of them (X,Y,Z, and A for |a|) where several may be analysed.
        for (const QString& item : opt.value(QStringLiteral("channel")).split(QLatin1Char(','))) {
            const QString name = item.trimmed().toUpper();
            const int c = name == QLatin1String("|A|") ? kModulus
                                                       : (name.size() == 1 ? int(kLetters.indexOf(name)) : -1);
            if (c < 0 || std::find(call.channels.begin(), call.channels.end(), c) != call.channels.end())
                return usageError(QStringLiteral("--channel takes X, Y, Z or A (|a|), or a list of them: X,Y,Z"));
            call.channels.push_back(c);
        }
    }
    bool ok = true;
    call.step = opt.value(QStringLiteral("step"), QStringLiteral("1")).toInt(&ok);
    if (!ok || call.step < 1 || call.step > kMaxStep)
        return usageError(QStringLiteral("--step takes a whole number from 1 to 32"));
    call.timeUnit = int(QStringList{QStringLiteral("us"), QStringLiteral("ms"), QStringLiteral("s")}.indexOf(
        opt.value(QStringLiteral("units"), QStringLiteral("us"))));
    if (call.timeUnit < 0)
        return usageError(QStringLiteral("--units takes us, ms or s"));
    const QString decimal = opt.value(QStringLiteral("decimal"), QStringLiteral("point"));
    if (decimal != QLatin1String("comma") && decimal != QLatin1String("point"))
        return usageError(QStringLiteral("--decimal takes comma or point"));
    call.decimal = decimal == QLatin1String("comma") ? QLatin1Char(',') : QLatin1Char('.');
    return std::nullopt;
}

// Reads and builds the file; returns an exit status when that fails.
std::optional<int> buildSeries(const AnalysisCall& call, AnalysedSeries& out)
{
    const files::AxdReadResult r = files::readAxdFile(call.path);
    if (!r.ok())
        return fileError(call.path + QStringLiteral(": ") + r.message(call.path));
    const files::AxdContents& c = r.contents;

    display::ChartOptions o;
    o.view = display::ViewValuesTime;
    o.timeUnit = call.timeUnit;
    o.channels = acq::ChannelSet::fromMask(c.header.channelMask);
    o.valueTitle = c.yAxisTitle;
    out.build = display::buildChart(files::chartInputOf(c), o);

    const bool anyChannel = o.channels.has(0) || o.channels.has(1) || o.channels.has(2);
    if (!call.channels.empty()) {
        for (int c : call.channels) {
            if (c == kModulus ? !anyChannel : !o.channels.has(c))
                return fileError(call.path + QStringLiteral(": the file holds no channel ") + kLetters.at(c));
        }
        out.channels = call.channels;
    } else {
        for (int a = 0; a < 3 && out.channels.empty(); ++a) {
            if (o.channels.has(a))
                out.channels.push_back(a);
        }
        if (out.channels.empty())
            return fileError(call.path + QStringLiteral(": the file holds no channel"));
    }
    if (c.header.samplePeriodUs <= 0 || !std::isfinite(c.header.samplePeriodUs))
        return fileError(call.path + QStringLiteral(": the file gives no sampling period"));
    if (!files::axdNumbersFinite(c))
        return fileError(call.path + QStringLiteral(": the file's sampling period or calibration gives values that "
                                                    "are not finite numbers"));
    out.samplePeriodUs = c.header.samplePeriodUs;
    out.fileName = QFileInfo(call.path).absoluteFilePath();
    return std::nullopt;
}

analysis::ReportContext reportContext(const AnalysisCall& call, const AnalysedSeries& s)
{
    analysis::ReportContext ctx;
    ctx.unitSuffix = analysis::timeUnitSuffix(s.build.scales.xAxisTitle);
    ctx.channel = kLetters.at(s.channels.front());
    ctx.fileName = s.fileName;
    ctx.decimalSeparator = call.decimal;
    return ctx;
}

// The options beyond the plain spectrum; returns an exit status when one is wrong.
std::optional<int> parseAnalysis(const Options& opt, analysis::AnalysisSettings& a, bool& csv)
{
    if (opt.has(QStringLiteral("window"))) {
        const auto w = analysis::windowFromName(opt.value(QStringLiteral("window")));
        if (!w)
            return usageError(QStringLiteral("--window takes rect, hann, hamming, blackmanharris or flattop"));
        a.window = *w;
    }
    bool ok = true;
    if (opt.has(QStringLiteral("segment"))) {
        const int n = opt.value(QStringLiteral("segment")).toInt(&ok);
        if (!ok || n < analysis::minSegment || n > analysis::maxSegment || (n & (n - 1)) != 0)
            return usageError(QStringLiteral("--segment takes a power of two from 256 to 65536"));
        a.segment = n;
    }
    if (opt.has(QStringLiteral("overlap"))) {
        const int v = opt.value(QStringLiteral("overlap")).toInt(&ok);
        if (!ok || (v != 0 && v != 50 && v != 75))
            return usageError(QStringLiteral("--overlap takes 0, 50 or 75 (per cent)"));
        if (a.segment == 0)
            return usageError(QStringLiteral("--overlap needs --segment"));
        a.overlapPercent = v;
    }
    if (opt.has(QStringLiteral("scale"))) {
        const auto sc = analysis::scaleFromName(opt.value(QStringLiteral("scale")));
        if (!sc)
            return usageError(QStringLiteral("--scale takes amplitude, rms, psd or asd"));
        a.scale = *sc;
    }
    a.decibels = opt.has(QStringLiteral("db"));
    if (opt.has(QStringLiteral("peaks"))) {
        const int n = opt.value(QStringLiteral("peaks")).toInt(&ok);
        if (!ok || n < 1 || n > 1000)
            return usageError(QStringLiteral("--peaks takes a whole number from 1 to 1000"));
        a.peaks = n;
    }
    if (opt.has(QStringLiteral("fmin"))) {
        const double f = opt.value(QStringLiteral("fmin")).toDouble(&ok);
        if (!ok || !(f >= 0) || !std::isfinite(f))
            return usageError(QStringLiteral("--fmin takes a frequency in hertz from 0"));
        a.fminHz = f;
    }
    csv = opt.has(QStringLiteral("csv"));
    return std::nullopt;
}

// Every bin of the analysed channels (or their peaks) with the options beyond the plain spectrum.
int runAnalysis(const AnalysisCall& call, const AnalysedSeries& s, const analysis::AnalysisSettings& settings,
                bool csv, double cutHz)
{
    std::vector<analysis::ChannelInput> inputs;
    qint64 points = 0;
    for (int c : s.channels) {
        const display::UniformSeries& series = s.series(c);
        inputs.push_back({QString(kLetters.at(c)), series.data(), series.size()});
        points = series.size();
    }
    if (points < call.step)
        return fileError(call.path + QStringLiteral(": fewer points than the step"));
    const analysis::SpectralAnalysis a =
        analysis::analyseChannels(inputs, settings, call.step, s.samplePeriodUs, cutHz,
                                  analysis::valueUnit(s.build.titles.left.value_or(QString())));
    if (a.channels.empty())
        return fileError(call.path + QStringLiteral(": too few points to analyse"));
    if (!a.allFinite())
        return fileError(call.path + QStringLiteral(": the values are too large for this scale"));
    if (csv) {
        printOut(settings.peaks > 0 ? analysis::peaksCsv(a) : analysis::spectralCsv(a));
        return kOk;
    }
    analysis::ReportContext ctx = reportContext(call, s);
    ctx.firstTime = 0;
    ctx.lastTime = analysis::pointTime(a.pointsAnalysed() - 1, s.samplePeriodUs, s.build.scales.timeUnitDivisor);
    printOut(analysis::spectralReport(a, true, ctx));
    return kOk;
}

int runSpectrum(const QStringList& args)
{
    AnalysisCall call;
    Options opt({}, {}, {});
    const QStringList analysisOptions{QStringLiteral("window"), QStringLiteral("segment"),
                                      QStringLiteral("overlap"), QStringLiteral("scale"),
                                      QStringLiteral("peaks"),  QStringLiteral("fmin")};
    const QStringList analysisFlags{QStringLiteral("db"), QStringLiteral("csv")};
    if (const auto status =
            parseCall(args, QStringList{QStringLiteral("fmax")} + analysisOptions, analysisFlags, call, opt))
        return *status;
    analysis::AnalysisSettings settings;
    bool csv = false;
    if (const auto status = parseAnalysis(opt, settings, csv))
        return *status;
    // --csv alone prints the plain spectrum's bins: the same transform as its report.
    const bool plain = settings.isPlain() && call.channels.size() <= 1 &&
                       (call.channels.empty() || call.channels.front() != kModulus);
    AnalysedSeries s;
    if (const auto status = buildSeries(call, s))
        return *status;

    // The frequency limit follows the window's rules: at most the half sampling rate over the
    // step, and that largest limit, which shows every bin up to the true half rate, when none
    // is given.
    const qint32 nyquist = s.build.scales.nyquistHz;
    int fmax = analysis::largestFrequencyLimit(nyquist, call.step);
    if (opt.has(QStringLiteral("fmax"))) {
        bool ok = false;
        const int asked = opt.value(QStringLiteral("fmax")).toInt(&ok);
        if (!ok || asked < 1)
            return usageError(QStringLiteral("--fmax takes a whole number of hertz from 1"));
        fmax = std::min(asked, fmax);
    }
    // The band must hold something: a lower limit at or above the upper one is a wrong call.
    const double cut = analysis::binCutFrequency(fmax, nyquist, call.step);
    const double top = std::isfinite(cut) ? cut : 1e6 / s.samplePeriodUs / 2 / call.step;
    if (settings.fminHz >= top)
        return usageError(QStringLiteral("--fmin must be below the upper limit of %1 Hz")
                              .arg(platform::generalNumberText(top, QLatin1Char('.'))));

    const display::UniformSeries& series = s.series();
    const auto visible =
        analysis::visibleStretch(series.size(), 0, qint32(std::min<qint64>(series.size() - 1, INT32_MAX)));
    if (!visible)
        return fileError(call.path + QStringLiteral(": no points to analyse"));
    const auto span = analysis::spectrumSpan(*visible, call.step);
    if (!span)
        return fileError(call.path + QStringLiteral(": fewer points than the step"));

    const double period = s.samplePeriodUs;
    if (!plain)
        return runAnalysis(call, s, settings, csv, cut);
    std::vector<double> amplitudes(analysis::spectrumBins);
    const analysis::SpectrumSummary summary = analysis::computeSpectrum(
        series.data() + span->first, span->count(), call.step, period, cut, amplitudes.data());
    if (!analysis::spectrumFinite(amplitudes.data(), summary))
        return fileError(call.path + QStringLiteral(": the values are too large for the spectrum"));
    if (csv) {
        printOut(analysis::plainSpectrumCsv(amplitudes.data(), summary.binCount, period, call.step,
                                            QString(kLetters.at(s.channels.front()))));
        return kOk;
    }
    analysis::ReportContext ctx = reportContext(call, s);
    ctx.firstTime = analysis::pointTime(span->first, period, s.build.scales.timeUnitDivisor);
    ctx.lastTime = analysis::pointTime(span->last, period, s.build.scales.timeUnitDivisor);
    printOut(analysis::spectrumReport(amplitudes.data(), summary, period, call.step, true, ctx));
    return kOk;
}

int runTrend(const QStringList& args)
{
    AnalysisCall call;
    Options opt({}, {}, {});
    if (const auto status = parseCall(args, {}, {}, call, opt))
        return *status;
    if (call.channels.size() > 1 || (!call.channels.empty() && call.channels.front() == kModulus))
        return usageError(QStringLiteral("the trend takes one channel: X, Y or Z"));
    AnalysedSeries s;
    if (const auto status = buildSeries(call, s))
        return *status;

    const display::UniformSeries& series = s.series();
    const auto stretch =
        analysis::visibleStretch(series.size(), 0, qint32(std::min<qint64>(series.size() - 1, INT32_MAX)));
    if (!stretch)
        return fileError(call.path + QStringLiteral(": no points to analyse"));
    const double divisor = s.build.scales.timeUnitDivisor;
    const double period = s.samplePeriodUs;
    const analysis::Trend trend =
        analysis::computeTrend(series.data(), series.size(), *stretch, call.step, period, divisor);
    if (!trend.fitted)
        return fileError(call.path +
                         QStringLiteral(": no trend: fewer than two points deviate from the mean"));
    analysis::ReportContext ctx = reportContext(call, s);
    ctx.firstTime = double(stretch->first) * (period / divisor);
    ctx.lastTime = double(stretch->last) * (period / divisor);
    printOut(analysis::trendReport(trend, ctx));
    return kOk;
}

int runSpectrogram(const QStringList& args)
{
    AnalysisCall call;
    Options opt({}, {}, {});
    const QStringList options{QStringLiteral("window"),  QStringLiteral("segment"), QStringLiteral("overlap"),
                              QStringLiteral("width"),   QStringLiteral("height")};
    if (const auto status = parseCall(args, options, {}, call, opt, 2))
        return *status;
    const QString outPath = opt.positional()[1];
    if (outPath.isEmpty())
        return usageError(QStringLiteral("a file to write is needed: a .png picture or a .csv matrix"));
    const bool png = outPath.endsWith(QLatin1String(".png"), Qt::CaseInsensitive);
    if (!png && !outPath.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive))
        return usageError(QStringLiteral("the file to write ends in .png or .csv"));
    if (call.channels.size() > 1)
        return usageError(QStringLiteral("the spectrogram takes one channel"));
    analysis::AnalysisSettings settings;
    settings.segment = 1024;
    bool csv = false;
    if (const auto status = parseAnalysis(opt, settings, csv))
        return *status;
    bool ok = true;
    const int width = opt.value(QStringLiteral("width"), QStringLiteral("1600")).toInt(&ok);
    if (!ok || width < 1 || width > 8000)
        return usageError(QStringLiteral("--width takes a whole number of columns from 1 to 8000"));
    const int height = opt.value(QStringLiteral("height"), QStringLiteral("600")).toInt(&ok);
    if (!ok || height < 1 || height > 4000)
        return usageError(QStringLiteral("--height takes a whole number of rows from 1 to 4000"));

    AnalysedSeries s;
    if (const auto status = buildSeries(call, s))
        return *status;
    const display::UniformSeries& series = s.series();
    analysis::SpectrogramOptions o;
    o.welch = {settings.window, settings.segment, settings.overlapPercent, call.step};
    o.columns = width;
    o.rows = height;
    o.threads = int(std::clamp(std::thread::hardware_concurrency(), 1u, 8u));
    const analysis::Spectrogram sg = analysis::computeSpectrogram(series.data(), series.size(), o, s.samplePeriodUs);
    if (sg.columns == 0)
        return fileError(call.path + QStringLiteral(": too few points for a spectrogram"));

    const QString error = files::saveAtomically(outPath, [&](QIODevice& out) {
        if (png) {
            const auto [low, high] = analysis::spectrogramRange(sg);
            return analysis::spectrogramImage(sg, low, high).save(&out, "PNG");
        }
        const QByteArray text = analysis::spectrogramCsv(sg, 0).toUtf8();
        return out.write(text) == text.size();
    });
    if (!error.isEmpty())
        return fileError(error);
    return kOk;
}

const Registration spectrumCommand{
    {QStringLiteral("spectrum"),
     QStringLiteral("FILE [--channel X|Y|Z|A[,...]] [--step S] [--fmax F] [--fmin F] [--units us|ms|s]\n"
                    "           [--decimal comma|point] [--window rect|hann|hamming|blackmanharris|flattop]\n"
                    "           [--segment 256..65536 [--overlap 0|50|75]] [--scale amplitude|rms|psd|asd]\n"
                    "           [--db] [--peaks N] [--csv]"),
     QStringLiteral("Prints the spectrum report the program puts on the clipboard, every bin listed,\n"
                    "over every point of the file's chart. Defaults: the file's first channel,\n"
                    "step 1, every bin up to half the sampling rate over the step, microseconds,\n"
                    "decimal point. Any further option (or several channels; A is |a|) gives the\n"
                    "analysis report instead: window, averaging, scale, band RMS, peaks, bins;\n"
                    "without --segment one transform covers every point. --fmin lies below the\n"
                    "upper limit. --csv prints CSV for scripts: frequency_hz and a column per\n"
                    "channel (alone: the plain spectrum's bins), or with --peaks N the N\n"
                    "strongest peaks: frequency_hz,amplitude,channel."),
     runSpectrum}};

const Registration spectrogramCommand{
    {QStringLiteral("spectrogram"),
     QStringLiteral("FILE OUT.png|OUT.csv [--channel X|Y|Z|A] [--step S] [--window W] [--segment N]\n"
                    "           [--overlap 0|50|75] [--width 1600] [--height 600]"),
     QStringLiteral("Writes the time-frequency picture of the file's chart (PSD in dB; segment 1024\n"
                    "and a rectangular window unless told), or its matrix as CSV: a header row\n"
                    "time_s and the frequency of each row, then a row per time column."),
     runSpectrogram}};

const Registration trendCommand{
    {QStringLiteral("trend"),
     QStringLiteral("FILE [--channel X|Y|Z] [--step S] [--units us|ms|s] [--decimal comma|point]"),
     QStringLiteral("Prints the trend report the program puts on the clipboard, over every point of\n"
                    "the file's chart. Defaults: the file's first channel, step 1, microseconds,\n"
                    "decimal point."),
     runTrend}};

} // namespace

} // namespace axdtool
