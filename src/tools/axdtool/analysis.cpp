// axdtool spectrum FILE and axdtool trend FILE: the reports the program puts on the clipboard,
// computed over every point of the chart the program builds from the file.

#include <QFileInfo>

#include <algorithm>
#include <cstdint>
#include <vector>

#include <cmath>
#include <optional>

#include "analysis/analysisinput.h"
#include "analysis/spectrum.h"
#include "analysis/trend.h"
#include "display/chartbuild.h"
#include "files/axdfile.h"
#include "platform/numtext.h"
#include "tools/axdtool/command.h"

namespace axdtool {

namespace {

constexpr int kMaxStep = 32;

// What both commands take from the command line.
struct AnalysisCall {
    QString path;
    std::optional<int> channel; // 0 X, 1 Y, 2 Z; the file's first channel when not given
    int step = 1;
    std::optional<int> fmax;
    int timeUnit = 0;
    QChar decimal = QLatin1Char('.');
};

// The analysed series of a file's chart: view 0 (values over time), as the program shows a
// loaded file.
struct AnalysedSeries {
    display::ChartBuild build;
    int channel = 0;
    double samplePeriodUs = 0;
    QString fileName;

    const display::UniformSeries& series() const { return build.signal.channels[std::size_t(channel)]; }
};

// Parses the common options; returns an exit status when the call is wrong.
std::optional<int> parseCall(const QStringList& args, const QStringList& extra, AnalysisCall& call,
                             Options& opt)
{
    QStringList valueOptions{QStringLiteral("channel"), QStringLiteral("step"), QStringLiteral("units"),
                             QStringLiteral("decimal")};
    valueOptions += extra;
    opt = Options(args, valueOptions, {});
    if (!opt.ok())
        return usageError(opt.error());
    if (opt.positional().size() != 1)
        return usageError(QStringLiteral("a measurement file is needed, and only one"));
    call.path = opt.positional()[0];

    if (opt.has(QStringLiteral("channel"))) {
        const int c = int(QStringList{QStringLiteral("X"), QStringLiteral("Y"), QStringLiteral("Z")}.indexOf(
            opt.value(QStringLiteral("channel")).toUpper()));
        if (c < 0)
            return usageError(QStringLiteral("--channel takes X, Y or Z"));
        call.channel = c;
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
    display::ChartInput in;
    in.bytes = c.data.data();
    in.size = c.data.size();
    in.samplePeriodUs = c.header.samplePeriodUs;
    in.axisK = c.axisK;
    in.axisC = c.axisC;
    out.build = display::buildChart(in, o);

    if (call.channel) {
        if (!o.channels.has(*call.channel))
            return fileError(call.path + QStringLiteral(": the file holds no channel ") +
                             QStringLiteral("XYZ").at(*call.channel));
        out.channel = *call.channel;
    } else {
        out.channel = -1;
        for (int a = 0; a < 3 && out.channel < 0; ++a) {
            if (o.channels.has(a))
                out.channel = a;
        }
        if (out.channel < 0)
            return fileError(call.path + QStringLiteral(": the file holds no channel"));
    }
    if (c.header.samplePeriodUs <= 0 || !std::isfinite(c.header.samplePeriodUs))
        return fileError(call.path + QStringLiteral(": the file gives no sampling period"));
    out.samplePeriodUs = c.header.samplePeriodUs;
    out.fileName = QFileInfo(call.path).absoluteFilePath();
    return std::nullopt;
}

analysis::ReportContext reportContext(const AnalysisCall& call, const AnalysedSeries& s)
{
    analysis::ReportContext ctx;
    ctx.unitSuffix = analysis::timeUnitSuffix(s.build.scales.xAxisTitle);
    ctx.channel = QStringLiteral("XYZ").at(s.channel);
    ctx.fileName = s.fileName;
    ctx.decimalSeparator = call.decimal;
    return ctx;
}

int runSpectrum(const QStringList& args)
{
    AnalysisCall call;
    Options opt({}, {}, {});
    if (const auto status = parseCall(args, {QStringLiteral("fmax")}, call, opt))
        return *status;
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

    const display::UniformSeries& series = s.series();
    const auto visible =
        analysis::visibleStretch(series.size(), 0, qint32(std::min<qint64>(series.size() - 1, INT32_MAX)));
    if (!visible)
        return fileError(call.path + QStringLiteral(": no points to analyse"));
    const auto span = analysis::spectrumSpan(*visible, call.step);
    if (!span)
        return fileError(call.path + QStringLiteral(": fewer points than the step"));

    const double period = s.samplePeriodUs;
    std::vector<double> amplitudes(analysis::spectrumBins);
    const analysis::SpectrumSummary summary = analysis::computeSpectrum(
        series.data() + span->first, span->count(), call.step, period,
        analysis::binCutFrequency(fmax, nyquist, call.step), amplitudes.data());
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
    if (const auto status = parseCall(args, {}, call, opt))
        return *status;
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

const Registration spectrumCommand{
    {QStringLiteral("spectrum"),
     QStringLiteral("FILE [--channel X|Y|Z] [--step S] [--fmax F] [--units us|ms|s] [--decimal comma|point]"),
     QStringLiteral("Prints the spectrum report the program puts on the clipboard, every bin listed,\n"
                    "over every point of the file's chart. Defaults: the file's first channel,\n"
                    "step 1, every bin up to half the sampling rate over the step, microseconds,\n"
                    "decimal point."),
     runSpectrum}};

const Registration trendCommand{
    {QStringLiteral("trend"),
     QStringLiteral("FILE [--channel X|Y|Z] [--step S] [--units us|ms|s] [--decimal comma|point]"),
     QStringLiteral("Prints the trend report the program puts on the clipboard, over every point of\n"
                    "the file's chart. Defaults: the file's first channel, step 1, microseconds,\n"
                    "decimal point."),
     runTrend}};

} // namespace

} // namespace axdtool
