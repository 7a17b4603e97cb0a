#pragma once

#include <QChar>
#include <QString>
#include <QtGlobal>

#include <optional>

#include "analysis/analysisinput.h"
#include "analysis/fft.h"

namespace analysis {

// The spectrum always runs a transform of 32768 points; its amplitudes fill an
// array of that many doubles.
inline constexpr int spectrumBins = fftSpectrumSize;
// No more points than this are ever taken from the chart.
inline constexpr qint32 spectrumMaxPoints = 65536;

// Which points of the visible stretch the spectrum analyses: from its first
// point, at most 65536 points, and no more than the transform holds after
// decimation (32768 values), so the amplitudes are divided by the span that
// was really analysed. nullopt when the stretch is shorter than the step.
std::optional<Stretch> spectrumSpan(const Stretch& visible, int step);

QString spectrumTooShortMessage();

// Frequency of bin j in hertz for a sampling period and step.
double binFrequency(int bin, double samplePeriodUs, int step);

// The bin at half the rate of the decimated values. The bins above it mirror
// those below, so no spectrum goes past it.
inline constexpr int spectrumNyquistBin = spectrumBins / 2; // 16384

// The largest frequency limit offered for a step: half the sampling rate in
// whole hertz (nyquistHz) over the step, rounded half to even, and never below
// 1 Hz, however slow the sampling and large the step.
int largestFrequencyLimit(qint32 nyquistHz, int step);

// Where the bins are cut for a limit of fmaxHz: the limit itself, or, when the
// limit is the largest one offered, no cut below the Nyquist bin (the whole
// number of hertz may lie a fraction below the true half rate, as 3 Hz does
// for 6.25 Hz sampling).
double binCutFrequency(int fmaxHz, qint32 nyquistHz, int step);

struct SpectrumSummary {
    int binCount = 0;         // bins 0 ... binCount-1 are shown
    double peakFrequency = 0; // the lowest frequency of the largest amplitude above 0
    double peakAmplitude = 0;
};

// Decimates `count` values from `values` by `step`, transforms them into
// `amplitudes` (spectrumBins doubles) and finds the bins up to fmaxHz (bin 0
// always, never past the Nyquist bin) and their largest amplitude.
SpectrumSummary computeSpectrum(const double* values, qint32 count, int step, double samplePeriodUs,
                                double fmaxHz, double* amplitudes);

// Whether the shown bins are all finite: values near the largest double
// overflow the transform's squares, and such a spectrum is not shown.
bool spectrumFinite(const double* amplitudes, const SpectrumSummary& s);
// The message for an analysis whose values are not finite.
QString spectrumNotFiniteMessage();

// "F,Гц=%0.4f;  Max=%0.4f" of the peak.
QString spectrumPeakCaption(const SpectrumSummary& s, QChar decimalSeparator);
// The same for the analysis of several channels, whose densities and decibels may lie far below
// 0.0001: the maximum with six significant digits.
QString analysisPeakCaption(const SpectrumSummary& s, QChar decimalSeparator);

// The clipboard report: header, an empty line, the summary line, then, when
// listBins is set, one "frequency<TAB>amplitude" line per shown bin.
QString spectrumReport(const double* amplitudes, const SpectrumSummary& s, double samplePeriodUs, int step,
                       bool listBins, const ReportContext& context);

} // namespace analysis
