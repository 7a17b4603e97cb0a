#include "analysis/spectralreport.h"

#include <QLocale>

#include <algorithm>
#include <cmath>
#include <limits>

#include "analysis/spectrum.h"
#include "platform/numtext.h"

namespace analysis {

// The limits are compared in doubles before any conversion: a limit far above
// the last bin must not overflow an int.
int SpectralAnalysis::firstBin() const
{
    if (channels.empty())
        return 0;
    const PowerSpectrum& s = channels.front().spectrum;
    const double df = s.binHz();
    const double bin = df > 0 ? std::ceil(fminHz / df - 1e-9) : 0;
    return bin > 0 ? int(std::min(bin, double(s.binCount()))) : 0;
}

int SpectralAnalysis::lastBin() const
{
    if (channels.empty())
        return -1;
    const PowerSpectrum& s = channels.front().spectrum;
    const int last = s.binCount() - 1;
    if (!std::isfinite(fmaxHz) || s.binHz() <= 0)
        return last;
    const double bin = std::floor(fmaxHz / s.binHz() + 1e-9);
    return bin >= 0 ? int(std::min(bin, double(last))) : -1;
}

qint64 SpectralAnalysis::pointsAnalysed() const
{
    if (channels.empty())
        return 0;
    const qint64 used = channels.front().spectrum.valuesUsed;
    return used >= pointsGiven / step ? pointsGiven : used * step;
}

bool SpectralAnalysis::allFinite() const
{
    for (const ChannelAnalysis& c : channels) {
        if (!std::isfinite(c.bandRms))
            return false;
        for (const SpectralPeak& p : c.peaks) {
            if (!std::isfinite(p.frequencyHz) || !std::isfinite(shownPeak(p)))
                return false;
        }
        for (int k = firstBin(); k <= lastBin(); ++k) {
            if (!std::isfinite(shown(c, k)))
                return false;
        }
    }
    return true;
}

double SpectralAnalysis::shown(const ChannelAnalysis& c, int bin) const
{
    const double v = c.spectrum.value(bin, settings.scale);
    return settings.decibels ? toDecibels(v, settings.scale) : v;
}

double SpectralAnalysis::shownPeak(const SpectralPeak& p) const
{
    return settings.decibels ? toDecibels(p.value, settings.scale) : p.value;
}

std::vector<std::pair<SpectralPeak, QString>> SpectralAnalysis::allPeaks() const
{
    std::vector<std::pair<SpectralPeak, QString>> all;
    for (const ChannelAnalysis& c : channels)
        for (const SpectralPeak& p : c.peaks)
            all.emplace_back(p, c.letter);
    std::stable_sort(all.begin(), all.end(),
                     [](const auto& a, const auto& b) { return a.first.value > b.first.value; });
    if (int(all.size()) > settings.peaks)
        all.resize(std::size_t(std::max(0, settings.peaks)));
    return all;
}

QString SpectralAnalysis::valueCaption() const
{
    if (!settings.decibels)
        return unit;
    return QStringLiteral("дБ отн. 1 ") + unit;
}

SpectralAnalysis analyseChannels(const std::vector<ChannelInput>& channels, const AnalysisSettings& settings,
                                 int step, double samplePeriodUs, double fmaxHz, const QString& valueUnitText)
{
    SpectralAnalysis a;
    a.settings = settings;
    a.fminHz = std::max(0.0, settings.fminHz);
    a.fmaxHz = fmaxHz;
    a.unit = scaleUnit(settings.scale, valueUnitText);
    a.step = std::max(1, step);
    for (const ChannelInput& in : channels)
        a.pointsGiven = std::max(a.pointsGiven, in.count);
    const WelchOptions o{settings.window, settings.segment, settings.overlapPercent, step};
    for (const ChannelInput& in : channels) {
        ChannelAnalysis c;
        c.letter = in.letter;
        c.spectrum = in.read ? welchSpectrum(in.read, in.count, o, samplePeriodUs)
                             : welchSpectrum(in.values, in.count, o, samplePeriodUs);
        if (c.spectrum.binCount() == 0)
            continue;
        c.peaks = strongestPeaks(c.spectrum, settings.scale, settings.peaks, a.fminHz, fmaxHz);
        c.bandRms = bandRms(c.spectrum, a.fminHz, fmaxHz);
        a.channels.push_back(std::move(c));
    }
    return a;
}

QString spectralReport(const SpectralAnalysis& a, bool listBins, const ReportContext& context)
{
    const QChar sep = context.decimalSeparator;
    auto num = [sep](double v) { return platform::generalNumberText(v, sep); };
    const QString& u = context.unitSuffix;
    const QString end = reportLineEnd.toString();
    QString out;

    const PowerSpectrum* s = a.channels.empty() ? nullptr : &a.channels.front().spectrum;
    out += QStringLiteral("Window\tSegment\tOverlap,%\tAverages\tBin,Hz\tScale\tUnit\tFirst Point") + u +
           QStringLiteral("\tLast Point") + u + QStringLiteral("\tFile Name") + end;
    out += windowName(a.settings.window) + QLatin1Char('\t') + QString::number(s ? s->size : 0) +
           QLatin1Char('\t') + QString::number(a.settings.segment ? a.settings.overlapPercent : 0) +
           QLatin1Char('\t') + QString::number(s ? s->averages : 0) + QLatin1Char('\t') +
           num(s ? s->binHz() : 0) + QLatin1Char('\t') + scaleName(a.settings.scale) + QLatin1Char('\t') +
           a.valueCaption() +
           (a.settings.decibels ? QStringLiteral(", не ниже %1").arg(num(decibelFloor)) : QString()) +
           QLatin1Char('\t') + num(context.firstTime) + QLatin1Char('\t') + num(context.lastTime) +
           QLatin1Char('\t') + context.fileName + end;
    if (a.cutShort())
        out += QStringLiteral("Analysed Points\t") + QString::number(a.pointsAnalysed()) + QStringLiteral("\tof\t") +
               QString::number(a.pointsGiven) + end;

    out += end + QStringLiteral("Band,Hz\tRMS\tChannel") + end;
    const QString band = num(a.fminHz) + QLatin1Char('-') +
                         (std::isfinite(a.fmaxHz) ? num(a.fmaxHz) : num(s ? s->rateHz / 2 : 0));
    for (const ChannelAnalysis& c : a.channels)
        out += band + QLatin1Char('\t') + num(c.bandRms) + QLatin1Char('\t') + c.letter + end;

    if (a.settings.peaks > 0) {
        out += end + QStringLiteral("Peak F,Hz\tValue\tChannel") + end;
        for (const auto& [p, letter] : a.allPeaks())
            out += num(p.frequencyHz) + QLatin1Char('\t') + num(a.shownPeak(p)) + QLatin1Char('\t') + letter + end;
    }

    if (listBins && s) {
        out += end + QStringLiteral("F,Hz");
        for (const ChannelAnalysis& c : a.channels)
            out += QLatin1Char('\t') + c.letter;
        out += end;
        for (int k = a.firstBin(); k <= a.lastBin(); ++k) {
            out += num(k * s->binHz());
            for (const ChannelAnalysis& c : a.channels)
                out += QLatin1Char('\t') + num(a.shown(c, k));
            out += end;
        }
    }
    return out;
}

QString machineNumber(double v)
{
    return QString::number(v, 'g', QLocale::FloatingPointShortest);
}

QString spectralCsv(const SpectralAnalysis& a)
{
    QString out = QStringLiteral("frequency_hz");
    for (const ChannelAnalysis& c : a.channels)
        out += QLatin1Char(',') + c.letter;
    out += QLatin1Char('\n');
    if (a.channels.empty())
        return out;
    const double df = a.channels.front().spectrum.binHz();
    for (int k = a.firstBin(); k <= a.lastBin(); ++k) {
        out += machineNumber(k * df);
        for (const ChannelAnalysis& c : a.channels)
            out += QLatin1Char(',') + machineNumber(a.shown(c, k));
        out += QLatin1Char('\n');
    }
    return out;
}

QString peaksCsv(const SpectralAnalysis& a)
{
    QString out = QStringLiteral("frequency_hz,amplitude,channel\n");
    for (const auto& [p, letter] : a.allPeaks())
        out += machineNumber(p.frequencyHz) + QLatin1Char(',') + machineNumber(a.shownPeak(p)) + QLatin1Char(',') +
               letter + QLatin1Char('\n');
    return out;
}

QString spectrumFileText(const SpectralAnalysis& a, QChar separator, QChar decimal)
{
    auto num = [decimal](double v) { return platform::generalNumberText(v, decimal); };
    QString out = QStringLiteral("F,Гц");
    for (const ChannelAnalysis& c : a.channels)
        out += separator + c.letter + QStringLiteral(", ") + a.valueCaption() +
               (a.settings.decibels ? QStringLiteral(" не ниже ") + num(decibelFloor) : QString());
    out += QStringLiteral("\r\n");
    if (a.channels.empty())
        return out;
    const double df = a.channels.front().spectrum.binHz();
    for (int k = a.firstBin(); k <= a.lastBin(); ++k) {
        out += num(k * df);
        for (const ChannelAnalysis& c : a.channels)
            out += separator + num(a.shown(c, k));
        out += QStringLiteral("\r\n");
    }
    return out;
}

QString plainSpectrumFileText(const double* amplitudes, int binCount, double samplePeriodUs, int step,
                              const QString& letter, const QString& unit, QChar separator, QChar decimal)
{
    QString out = QStringLiteral("F,Гц") + separator + letter + QStringLiteral(", ") +
                  (unit.isEmpty() ? QStringLiteral("ед.") : unit) + QStringLiteral("\r\n");
    for (int j = 0; j < binCount; ++j)
        out += platform::generalNumberText(binFrequency(j, samplePeriodUs, step), decimal) + separator +
               platform::generalNumberText(amplitudes[j], decimal) + QStringLiteral("\r\n");
    return out;
}

QString plainSpectrumCsv(const double* amplitudes, int binCount, double samplePeriodUs, int step,
                         const QString& letter)
{
    QString out = QStringLiteral("frequency_hz,") + letter + QLatin1Char('\n');
    for (int j = 0; j < binCount; ++j)
        out += machineNumber(binFrequency(j, samplePeriodUs, step)) + QLatin1Char(',') + machineNumber(amplitudes[j]) +
               QLatin1Char('\n');
    return out;
}

std::vector<std::pair<double, QColor>> spectrogramColourStops()
{
    return {{0.0, QColor(0, 0, 80)},     {0.2, QColor(0, 60, 220)},   {0.4, QColor(0, 200, 220)},
            {0.6, QColor(120, 230, 60)}, {0.8, QColor(250, 200, 0)},  {1.0, QColor(180, 0, 0)}};
}

QColor spectrogramColour(double position)
{
    const auto stops = spectrogramColourStops();
    if (!(position > 0))
        return stops.front().second;
    if (position >= 1)
        return stops.back().second;
    for (std::size_t i = 1; i < stops.size(); ++i) {
        if (position <= stops[i].first) {
            const double t = (position - stops[i - 1].first) / (stops[i].first - stops[i - 1].first);
            const QColor& a = stops[i - 1].second;
            const QColor& b = stops[i].second;
            return QColor(int(std::lround(a.red() + t * (b.red() - a.red()))),
                          int(std::lround(a.green() + t * (b.green() - a.green()))),
                          int(std::lround(a.blue() + t * (b.blue() - a.blue()))));
        }
    }
    return stops.back().second;
}

std::pair<float, float> spectrogramRange(const Spectrogram& s)
{
    const float high = s.maxDb;
    const float low = std::max(s.minDb, high - 100.0f);
    return {low, high > low ? high : low + 1};
}

QImage spectrogramImage(const Spectrogram& s, float lowDb, float highDb)
{
    QImage image(std::max(1, s.columns), std::max(1, s.rows), QImage::Format_RGB32);
    image.fill(spectrogramColour(0));
    // A table of 256 colours: the picture of a large matrix costs a lookup a cell.
    QRgb table[256];
    for (int i = 0; i < 256; ++i)
        table[i] = spectrogramColour(i / 255.0).rgb();
    const float span = highDb > lowDb ? highDb - lowDb : 1;
    for (int r = 0; r < s.rows; ++r) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(s.rows - 1 - r));
        for (int c = 0; c < s.columns; ++c) {
            const float v = s.at(r, c);
            const float t = std::isfinite(v) ? std::clamp((v - lowDb) / span, 0.0f, 1.0f) : 0.0f;
            line[c] = table[int(std::lround(t * 255))];
        }
    }
    return image;
}

QString spectrogramCsv(const Spectrogram& s, double firstSecond)
{
    QString out = QStringLiteral("time_s");
    const int bins = s.size / 2 + 1;
    const double binHz = s.size > 0 ? 2 * s.topHz / s.size : 0;
    for (int r = 0; r < s.rows; ++r)
        out += QLatin1Char(',') + machineNumber(double(qint64(r) * bins / s.rows) * binHz);
    out += QLatin1Char('\n');
    for (int c = 0; c < s.columns; ++c) {
        out += machineNumber(firstSecond + s.firstSecond + c * s.columnSeconds);
        for (int r = 0; r < s.rows; ++r)
            out += QLatin1Char(',') + machineNumber(double(s.at(r, c)));
        out += QLatin1Char('\n');
    }
    return out;
}

} // namespace analysis
