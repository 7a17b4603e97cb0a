// axdtool spectrum FILE... and axdtool trend FILE...: the reports the program puts on the clipboard,
// computed over every point of the chart the program builds from each file.

#include <QFileInfo>
#include <QIODevice>
#include <QImage>

#include <algorithm>
#include <cstdint>
#include <memory>
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
#include "tools/axdtool/source.h"

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
// loaded file. The spectrum and the trend read them as they go (reader()); what needs them whole
// has the analysed channels decoded (values).
struct AnalysedSeries {
    struct {
        display::ChartScales scales;
        display::AxisTitles titles;
    } build;
    std::array<std::vector<double>, 4> values; // X, Y, Z, |a|: the analysed ones filled when decoded
    std::vector<int> channels;                 // as in AnalysisCall, at least one
    qint64 points = 0;                         // of each series
    double samplePeriodUs = 0;
    QString fileName;
    std::unique_ptr<Source> source;
    display::ChartOptions options;

    const std::vector<double>& series() const { return values[std::size_t(channels.front())]; }
    analysis::PointReader reader(int channel) const { return source->reader(options, channel); }
    analysis::PointReader reader() const { return reader(channels.front()); }
};

enum class Decode { Whole, AsRead };

// What spectrum and trend take besides their own options.
const std::vector<OptionSpec> kCommonOptions{
    {QStringLiteral("channel"), QStringLiteral("X|Y|Z|A[,...]"),
     QStringLiteral("The channel (A is |a|; spectrum takes a list). Default: the file's first.")},
    {QStringLiteral("step"), QStringLiteral("S"), QStringLiteral("Every S-th point (1 to 32, default 1).")},
    {QStringLiteral("units"), QStringLiteral("us|ms|s"), QStringLiteral("Time unit of the report (default us).")},
    {QStringLiteral("decimal"), QStringLiteral("comma|point"), QStringLiteral("Decimal separator (default point).")},
};

// Several files' CSV as one table: a first column names the file, and a header row is repeated
// only where it changes.
void printCsv(const QString& csv, const QString& fileColumn, QString& lastHeader)
{
    if (fileColumn.isEmpty()) {
        printOut(csv);
        return;
    }
    QString quoted = fileColumn;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    quoted = QLatin1Char('"') + quoted + QStringLiteral("\",");
    QString out;
    const QStringList lines = csv.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (i == 0) {
            if (lines[0] != lastHeader)
                out += QStringLiteral("file,") + lines[0] + QLatin1Char('\n');
            lastHeader = lines[0];
        } else {
            out += quoted + lines[i] + QLatin1Char('\n');
        }
    }
    printOut(out);
}

// With several files: the file whose CSV is printed, and the header row printed last.
QString csvFileColumn;
QString csvLastHeader;

// Parses the common options; returns an exit status when the call is finished (help) or wrong.
// positionals 0: one or more files.
std::optional<int> parseCall(const QStringList& args, const QString& command, AnalysisCall& call, Options& opt,
                             int positionals = 0)
{
    if (const auto status = parseOptions(args, command, opt))
        return status;
    const auto usageError = [&command](const QString& message) { return axdtool::usageError(message, command); };
    if (positionals == 0 ? opt.positional().isEmpty() : opt.positional().size() != positionals)
        return usageError(positionals == 0 ? QStringLiteral("a measurement file is needed")
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
std::optional<int> buildSeries(const AnalysisCall& call, AnalysedSeries& out, Decode decode)
{
    out.source = std::make_unique<Source>();
    Source& source = *out.source;
    if (const auto error = source.open(call.path))
        return fileError(*error);
    const files::AxdContents& c = source.contents();

    display::ChartOptions& o = out.options;
    o.view = display::ViewValuesTime;
    o.timeUnit = call.timeUnit;
    o.channels = acq::ChannelSet::fromMask(c.header.channelMask);
    o.valueTitle = c.yAxisTitle;
    if (source.chartInput().size > 0) {
        out.build.scales = display::chartScales(source.chartInput(), o);
        out.build.titles = display::axisTitles(o, out.build.scales.timeUnitText);
    }

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
    std::array<bool, 4> wanted{};
    for (int ch : out.channels)
        wanted[std::size_t(ch)] = true;
    out.points = display::SignalPass(source.chartInput(), o).points();
    if (decode == Decode::Whole) {
        if (const auto error = source.decode(o, wanted, out.values))
            return fileError(*error);
    }
    out.fileName = call.path == kStdStream ? kStdStream : QFileInfo(call.path).absoluteFilePath();
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
    for (int c : s.channels)
        inputs.push_back({QString(kLetters.at(c)), nullptr, s.points, s.reader(c)});
    if (s.points < call.step)
        return fileError(call.path + QStringLiteral(": fewer points than the step"));
    const analysis::SpectralAnalysis a =
        analysis::analyseChannels(inputs, settings, call.step, s.samplePeriodUs, cutHz,
                                  analysis::valueUnit(s.build.titles.left.value_or(QString())));
    if (a.channels.empty())
        return fileError(call.path + QStringLiteral(": too few points to analyse"));
    if (!a.allFinite())
        return fileError(call.path + QStringLiteral(": the values are too large for this scale"));
    if (csv) {
        printCsv(settings.peaks > 0 ? analysis::peaksCsv(a) : analysis::spectralCsv(a), csvFileColumn, csvLastHeader);
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
    Options opt;
    if (const auto status = parseCall(args, QStringLiteral("spectrum"), call, opt, 1))
        return *status;
    analysis::AnalysisSettings settings;
    bool csv = false;
    if (const auto status = parseAnalysis(opt, settings, csv))
        return *status;
    // --csv alone prints the plain spectrum's bins: the same transform as its report.
    const bool plain = settings.isPlain() && call.channels.size() <= 1 &&
                       (call.channels.empty() || call.channels.front() != kModulus);
    AnalysedSeries s;
    if (const auto status = buildSeries(call, s, Decode::AsRead))
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

    const auto visible =
        analysis::visibleStretch(s.points, 0, qint32(std::min<qint64>(s.points - 1, INT32_MAX)));
    if (!visible)
        return fileError(call.path + QStringLiteral(": no points to analyse"));
    const auto span = analysis::spectrumSpan(*visible, call.step);
    if (!span)
        return fileError(call.path + QStringLiteral(": fewer points than the step"));

    const double period = s.samplePeriodUs;
    if (!plain)
        return runAnalysis(call, s, settings, csv, cut);
    // The transform takes at most its capacity of values, every step-th of the span: only those
    // points are decoded.
    const qint32 count = qint32(std::min<qint64>(span->count(), qint64(analysis::fftWorkCapacity) * call.step));
    std::vector<double> values(static_cast<std::size_t>(count));
    s.reader()(span->first, count, 1, values.data());
    std::vector<double> amplitudes(analysis::spectrumBins);
    const analysis::SpectrumSummary summary =
        analysis::computeSpectrum(values.data(), count, call.step, period, cut, amplitudes.data());
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
    Options opt;
    if (const auto status = parseCall(args, QStringLiteral("trend"), call, opt, 1))
        return *status;
    if (call.channels.size() > 1 || (!call.channels.empty() && call.channels.front() == kModulus))
        return usageError(QStringLiteral("the trend takes one channel: X, Y or Z"));
    AnalysedSeries s;
    if (const auto status = buildSeries(call, s, Decode::AsRead))
        return *status;

    const auto stretch = analysis::visibleStretch(s.points, 0, qint32(std::min<qint64>(s.points - 1, INT32_MAX)));
    if (!stretch)
        return fileError(call.path + QStringLiteral(": no points to analyse"));
    const double divisor = s.build.scales.timeUnitDivisor;
    const double period = s.samplePeriodUs;
    const analysis::Trend trend =
        analysis::computeTrend(s.reader(), s.points, *stretch, call.step, period, divisor, false);
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
    Options opt;
    if (const auto status = parseCall(args, QStringLiteral("spectrogram"), call, opt, 2))
        return *status;
    const QString outPath = opt.positional()[1];
    if (outPath.isEmpty())
        return usageError(QStringLiteral("a file to write is needed: a .png picture or a .csv matrix"));
    const QString format = opt.value(QStringLiteral("format"));
    if (!format.isEmpty() && format != QLatin1String("png") && format != QLatin1String("csv"))
        return usageError(QStringLiteral("--format takes png or csv"));
    if (format.isEmpty() && outPath == kStdStream)
        return usageError(QStringLiteral("standard output needs --format png or --format csv"));
    const bool png = format.isEmpty() ? outPath.endsWith(QLatin1String(".png"), Qt::CaseInsensitive)
                                      : format == QLatin1String("png");
    if (format.isEmpty() && !png && !outPath.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive))
        return usageError(QStringLiteral("the file to write ends in .png or .csv (or give --format)"));
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
    if (const auto status = buildSeries(call, s, Decode::Whole))
        return *status;
    const std::vector<double>& series = s.series();
    analysis::SpectrogramOptions o;
    o.welch = {settings.window, settings.segment, settings.overlapPercent, call.step};
    o.columns = width;
    o.rows = height;
    o.threads = int(std::clamp(std::thread::hardware_concurrency(), 1u, 8u));
    const analysis::Spectrogram sg = analysis::computeSpectrogram(series.data(), series.size(), o, s.samplePeriodUs);
    if (sg.columns == 0)
        return fileError(call.path + QStringLiteral(": too few points for a spectrogram"));

    const auto write = [&](QIODevice& out) {
        if (png) {
            const auto [low, high] = analysis::spectrogramRange(sg);
            return analysis::spectrogramImage(sg, low, high).save(&out, "PNG");
        }
        const QByteArray text = analysis::spectrogramCsv(sg, 0).toUtf8();
        return out.write(text) == text.size();
    };
    if (outPath == kStdStream)
        return writeStandardOutput(write);
    const QString error = files::saveAtomically(outPath, write);
    if (!error.isEmpty())
        return fileError(error);
    return kOk;
}

// Several files: one report after another, an empty line between; CSV as one table.
int runSpectra(const QStringList& args)
{
    const bool csv = Options(args, findCommand(QStringLiteral("spectrum"))->options).has(QStringLiteral("csv"));
    return forEachFile(args, QStringLiteral("spectrum"), runSpectrum, [csv](const QString& file, qsizetype index) {
        csvFileColumn = file;
        if (index > 0 && !csv)
            printOut(QStringLiteral("\r\n")); // the report ends its last line itself
    });
}

int runTrends(const QStringList& args)
{
    return forEachFile(args, QStringLiteral("trend"), runTrend, [](const QString&, qsizetype index) {
        if (index > 0)
            printOut(QStringLiteral("\r\n\r\n")); // the report leaves its last line open
    });
}

std::vector<OptionSpec> withCommon(std::vector<OptionSpec> own)
{
    std::vector<OptionSpec> all = kCommonOptions;
    all.insert(all.end(), own.begin(), own.end());
    return all;
}

const OptionSpec kWindowOption{QStringLiteral("window"), QStringLiteral("rect|hann|hamming|blackmanharris|flattop"),
                               QStringLiteral("The window of the transform.")};
const OptionSpec kOverlapOption{QStringLiteral("overlap"), QStringLiteral("0|50|75"),
                                QStringLiteral("Overlap of the segments in per cent.")};

const Registration spectrumCommand{
    {QStringLiteral("spectrum"), QStringLiteral("FILE..."),
     QStringLiteral("Prints the spectrum report the program puts on the clipboard, every bin listed,\n"
                    "over every point of the file's chart. Defaults: the file's first channel,\n"
                    "step 1, every bin up to half the sampling rate over the step, microseconds,\n"
                    "decimal point. Any further option (or several channels; A is |a|) gives the\n"
                    "analysis report instead: window, averaging, scale, band RMS, peaks, bins;\n"
                    "without --segment one transform covers every point. --fmin lies below the\n"
                    "upper limit. --csv prints CSV for scripts: frequency_hz and a column per\n"
                    "channel (alone: the plain spectrum's bins), or with --peaks N the N\n"
                    "strongest peaks: frequency_hz,amplitude,channel. Several files give one\n"
                    "report after another, or one CSV table with a first column \"file\"."),
     withCommon({{QStringLiteral("fmax"), QStringLiteral("F"),
                  QStringLiteral("Upper frequency limit in whole hertz (default: half the rate over the step).")},
                 {QStringLiteral("fmin"), QStringLiteral("F"), QStringLiteral("Lower limit of the band, in hertz.")},
                 kWindowOption,
                 {QStringLiteral("segment"), QStringLiteral("256..65536"),
                  QStringLiteral("Averages segments of this many points (a power of two).")},
                 kOverlapOption,
                 {QStringLiteral("scale"), QStringLiteral("amplitude|rms|psd|asd"), QStringLiteral("The scale of the values.")},
                 {QStringLiteral("db"), {}, QStringLiteral("Values in decibels.")},
                 {QStringLiteral("peaks"), QStringLiteral("N"), QStringLiteral("Lists the N strongest peaks (1 to 1000).")},
                 {QStringLiteral("csv"), {}, QStringLiteral("Plain CSV for scripts.")}}),
     runSpectra}};

const Registration spectrogramCommand{
    {QStringLiteral("spectrogram"), QStringLiteral("FILE OUT"),
     QStringLiteral("Writes the time-frequency picture of the file's chart (PSD in dB; segment 1024\n"
                    "and a rectangular window unless told) to OUT.png, or its matrix as CSV to OUT.csv:\n"
                    "a header row time_s and the frequency of each row, then a row per time column."),
     withCommon({kWindowOption,
                 {QStringLiteral("segment"), QStringLiteral("N"),
                  QStringLiteral("Points per column's transform (a power of two, default 1024).")},
                 kOverlapOption,
                 {QStringLiteral("width"), QStringLiteral("COLUMNS"), QStringLiteral("At most this many columns (default 1600).")},
                 {QStringLiteral("height"), QStringLiteral("ROWS"), QStringLiteral("At most this many rows (default 600).")},
                 {QStringLiteral("format"), QStringLiteral("png|csv"),
                  QStringLiteral("The format, whatever OUT ends in; needed for OUT \"-\".")}}),
     runSpectrogram}};

const Registration trendCommand{
    {QStringLiteral("trend"), QStringLiteral("FILE..."),
     QStringLiteral("Prints the trend report the program puts on the clipboard, over every point of\n"
                    "the file's chart. Defaults: the file's first channel, step 1, microseconds,\n"
                    "decimal point. Several files give one report after another."),
     kCommonOptions, runTrends}};

} // namespace

} // namespace axdtool
