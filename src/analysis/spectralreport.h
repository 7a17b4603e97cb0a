#pragma once

// The analyses of spectralanalysis.h over one or more channels, and their texts:
// the report the window copies (and axdtool prints), the machine-readable CSV
// and the spectrum file.

#include <QColor>
#include <QImage>
#include <QString>
#include <QStringList>

#include <vector>

#include "analysis/analysisinput.h"
#include "analysis/spectralanalysis.h"

namespace analysis {

// The choices beyond the plain spectrum. Left at these defaults, the plain
// spectrum is shown and reported as it always was.
struct AnalysisSettings {
    WindowKind window = WindowKind::Rectangular;
    int segment = 0; // 0: no averaging
    int overlapPercent = 50;
    SpectrumScale scale = SpectrumScale::Amplitude;
    bool decibels = false;
    bool logFrequency = false;
    double fminHz = 0;
    int peaks = 0;              // strongest peaks listed; 0: none
    bool otherChannels = false; // every shown channel and |a|, not only the first

    bool isPlain() const
    {
        return window == WindowKind::Rectangular && segment == 0 && scale == SpectrumScale::Amplitude &&
               !decibels && !logFrequency && fminHz <= 0 && peaks == 0 && !otherChannels;
    }
};

struct ChannelInput {
    QString letter; // X, Y, Z or A (|a|)
    const double* values = nullptr;
    qint64 count = 0;
    PointReader read; // when set, the values are read through it instead
};

struct ChannelAnalysis {
    QString letter;
    PowerSpectrum spectrum;
    std::vector<SpectralPeak> peaks;
    double bandRms = 0;
};

struct SpectralAnalysis {
    std::vector<ChannelAnalysis> channels;
    AnalysisSettings settings;
    double fminHz = 0;
    double fmaxHz = 0; // the cut; infinity for every bin
    QString unit;      // of the scale: "см/с/с", "(см/с/с)²/Гц", …
    int step = 1;
    qint64 pointsGiven = 0; // points of the stretch handed in

    // Points of the stretch, from its first, that the spectra cover: all of
    // them, or fewer when the stretch is longer than one transform takes (or
    // the averaged segments leave a tail shorter than their hop).
    qint64 pointsAnalysed() const;
    // Whether one transform took only the start of the stretch.
    bool cutShort() const { return settings.segment == 0 && pointsAnalysed() < pointsGiven; }
    // Whether every value the analysis shows (bins, band RMS, peaks) is a
    // number: values too large for the scale, or not numbers, make it false.
    bool allFinite() const;

    // The bins between the limits: first ... last, both inclusive (last < first: none).
    int firstBin() const;
    int lastBin() const;
    // The value shown for a bin: the scale's, in dB when asked.
    double shown(const ChannelAnalysis& c, int bin) const;
    double shownPeak(const SpectralPeak& p) const;
    // The strongest peaks of all channels together, strongest first (by the
    // linear value), at most settings.peaks.
    std::vector<std::pair<SpectralPeak, QString>> allPeaks() const;
    // "дБ отн. 1 см/с/с" or the unit itself.
    QString valueCaption() const;
};

SpectralAnalysis analyseChannels(const std::vector<ChannelInput>& channels, const AnalysisSettings& settings,
                                 int step, double samplePeriodUs, double fmaxHz, const QString& valueUnit);

// The report for the clipboard and the tool: what was done, the peaks, the
// band RMS and, when listBins, one line per bin; tab-separated, CR LF.
QString spectralReport(const SpectralAnalysis& a, bool listBins, const ReportContext& context);

// Machine-readable (decimal point, comma, LF): "frequency_hz,X,Y…" and one row
// per bin; or, with peaks asked for, "frequency_hz,amplitude,channel" and one
// row per peak, strongest first.
QString spectralCsv(const SpectralAnalysis& a);
QString peaksCsv(const SpectralAnalysis& a);
// The plain spectrum's shown bins in the same form: "frequency_hz,X".
QString plainSpectrumCsv(const double* amplitudes, int binCount, double samplePeriodUs, int step,
                         const QString& letter);

// The spectrum file a person saves: a header naming the units, frequency and
// one column per channel, `separator` between the fields, the number texts
// with `decimal`, CR LF line ends (the encoding is the writer's).
QString spectrumFileText(const SpectralAnalysis& a, QChar separator, QChar decimal);
// The same for the plain spectrum: its shown bins, amplitude in `unit`.
QString plainSpectrumFileText(const double* amplitudes, int binCount, double samplePeriodUs, int step,
                              const QString& letter, const QString& unit, QChar separator, QChar decimal);

// The spectrogram's colours, from the quietest (dark blue) to the loudest
// (dark red), as (position 0 ... 1, colour) stops; and a picture of it, one
// pixel per cell, the lowest frequency at the bottom, lowDb and below the
// first colour, highDb and above the last.
std::vector<std::pair<double, QColor>> spectrogramColourStops();
QColor spectrogramColour(double position);
QImage spectrogramImage(const Spectrogram& s, float lowDb, float highDb);
// The decibel range a picture shows: the loudest cell and 100 dB below it,
// but no lower than the quietest cell.
std::pair<float, float> spectrogramRange(const Spectrogram& s);
// The matrix as CSV: a header row "time_s" and the frequency of each row's
// lower edge, then one row per column: its centre time and the dB of its cells.
QString spectrogramCsv(const Spectrogram& s, double firstSecond);

// A number as scripts read it back exactly: the shortest text that round-trips.
QString machineNumber(double v);

} // namespace analysis
