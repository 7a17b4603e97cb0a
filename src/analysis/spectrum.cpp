#include "analysis/spectrum.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "platform/numtext.h"

namespace analysis {

std::optional<Stretch> spectrumSpan(const Stretch& visible, int step)
{
    if (step < 1 || visible.count() < step)
        return std::nullopt;
    const qint64 limit = std::min<qint64>(spectrumMaxPoints, qint64(spectrumBins) * step);
    const qint32 count = qint32(std::min<qint64>(visible.count(), limit));
    return Stretch{visible.first, visible.first + count - 1};
}

QString spectrumTooShortMessage()
{
    return QStringLiteral("В видимом участке сигнала меньше точек, чем шаг выборки: спектр не построен.");
}

double binFrequency(int bin, double samplePeriodUs, int step)
{
    const double df = 1000000.0 / spectrumBins / samplePeriodUs;
    return bin * df / step;
}

int largestFrequencyLimit(qint32 nyquistHz, int step)
{
    const double r = double(nyquistHz) / std::max(1, step);
    return std::max(1, int(platform::roundHalfEven(r)));
}

double binCutFrequency(int fmaxHz, qint32 nyquistHz, int step)
{
    if (fmaxHz >= largestFrequencyLimit(nyquistHz, step))
        return std::numeric_limits<double>::infinity();
    return fmaxHz;
}

SpectrumSummary computeSpectrum(const double* values, qint32 count, int step, double samplePeriodUs,
                                double fmaxHz, double* amplitudes)
{
    FFTAmplitude(fftSpectrumExponent, values, step, count, amplitudes);

    SpectrumSummary s;
    for (int j = 0; j <= spectrumNyquistBin; ++j) {
        const double f = binFrequency(j, samplePeriodUs, step);
        if (j > 0 && f > fmaxHz)
            break;
        s.binCount = j + 1;
        // Only a larger value replaces the peak: of equal maxima the lowest
        // frequency stays.
        if (amplitudes[j] > s.peakAmplitude) {
            s.peakAmplitude = amplitudes[j];
            s.peakFrequency = f;
        }
    }
    return s;
}

bool spectrumFinite(const double* amplitudes, const SpectrumSummary& s)
{
    return std::all_of(amplitudes, amplitudes + s.binCount, [](double v) { return std::isfinite(v); });
}

QString spectrumNotFiniteMessage()
{
    return QStringLiteral("Значения сигнала слишком велики для этой шкалы спектра: спектр не построен.");
}

QString spectrumPeakCaption(const SpectrumSummary& s, QChar decimalSeparator)
{
    return QStringLiteral("F,Гц=") + platform::fixedText(s.peakFrequency, 4, decimalSeparator) +
           QStringLiteral(";  Max=") + platform::fixedText(s.peakAmplitude, 4, decimalSeparator);
}

QString analysisPeakCaption(const SpectrumSummary& s, QChar decimalSeparator)
{
    return QStringLiteral("F,Гц=") + platform::fixedText(s.peakFrequency, 4, decimalSeparator) +
           QStringLiteral(";  Max=") + platform::significantText(s.peakAmplitude, 6, decimalSeparator);
}

QString spectrumReport(const double* amplitudes, const SpectrumSummary& s, double samplePeriodUs, int step,
                       bool listBins, const ReportContext& context)
{
    const QChar sep = context.decimalSeparator;
    const QString& u = context.unitSuffix;
    QString out;
    out.reserve(64 * (listBins ? s.binCount + 4 : 4));

    out += QStringLiteral("F,Hz\tAmplitude\tFirst Point") + u + QStringLiteral("\tLast Point") + u +
           QStringLiteral("\tChannel\tFile Name");
    if (context.smoothing)
        out += QStringLiteral("\tSmooth Factor");
    out += reportLineEnd;
    out += reportLineEnd;

    out += platform::generalNumberText(s.peakFrequency, sep) + QLatin1Char('\t') +
           platform::generalNumberText(s.peakAmplitude, sep) + QLatin1Char('\t') +
           platform::generalNumberText(context.firstTime, sep) + QLatin1Char('\t') +
           platform::generalNumberText(context.lastTime, sep) + QLatin1Char('\t') + context.channel +
           QLatin1Char('\t') + context.fileName;
    if (context.smoothing)
        out += QLatin1Char('\t') + platform::formatD(*context.smoothing);
    out += reportLineEnd;

    if (listBins) {
        for (int j = 0; j < s.binCount; ++j) {
            out += platform::generalNumberText(binFrequency(j, samplePeriodUs, step), sep);
            out += QLatin1Char('\t');
            out += platform::generalNumberText(amplitudes[j], sep);
            out += reportLineEnd;
        }
    }
    return out;
}

} // namespace analysis
