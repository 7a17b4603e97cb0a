#pragma once

// Vibration analysis beyond the plain amplitude spectrum: window functions,
// averaged (Welch) power spectra in several scales, peaks, band RMS and the
// spectrogram. The plain spectrum (spectrum.h) keeps its own transform; these
// work on real transforms of any power-of-two size.

#include <QString>
#include <QtGlobal>

#include <optional>
#include <vector>

#include "analysis/analysisinput.h"

namespace analysis {

enum class WindowKind { Rectangular, Hann, Hamming, BlackmanHarris, FlatTop };

// The names the command line and the settings use: rect, hann, hamming,
// blackmanharris, flattop.
QString windowName(WindowKind kind);
std::optional<WindowKind> windowFromName(const QString& name);

// The periodic window of `length` points (the form for spectral analysis: a
// whole number of its own periods fits the segment).
std::vector<double> windowCoefficients(WindowKind kind, int length);

struct WindowGains {
    double coherent = 1;           // mean of the coefficients: what a sine's peak is scaled by
    double noiseBandwidthBins = 1; // equivalent noise bandwidth in bins
};
WindowGains windowGains(const std::vector<double>& w);

enum class SpectrumScale { Amplitude, Rms, Psd, Asd };
QString scaleName(SpectrumScale scale); // amplitude, rms, psd, asd
std::optional<SpectrumScale> scaleFromName(const QString& name);

// Segment lengths offered for averaging.
inline constexpr int minSegment = 256;
inline constexpr int maxSegment = 65536;
// Without averaging one transform covers the whole stretch, up to this many
// values (about 22 minutes at 3200 Hz; a transform of this size needs some
// 100 MiB). A longer stretch is analysed from its start, and says so.
inline constexpr int singleTransformLimit = 1 << 22;

struct WelchOptions {
    WindowKind window = WindowKind::Rectangular;
    int segment = 0;        // a power of two 256 ... 65536; 0: no averaging
    int overlapPercent = 0; // 0, 50 or 75
    int step = 1;           // plain decimation before anything else
};

// The averaged one-sided power of the values: mean |X_k|^2 of the windowed,
// mean-free segments, k = 0 ... size/2.
struct PowerSpectrum {
    std::vector<double> power; // in units of valueScale^2
    double valueScale = 1;     // 1, or for huge values a power of two near the largest: keeps |X_k|^2 finite
    int size = 0;          // transform size N
    int averages = 0;      // segments averaged
    double rateHz = 0;     // sampling rate after decimation
    double windowSum = 0;  // sum of the window's coefficients as applied
    double windowSquareSum = 0;
    std::vector<double> window; // the coefficients as applied (shorter than N when padded)
    WindowKind windowKind = WindowKind::Rectangular;
    qint64 valuesUsed = 0; // decimated values from the first that the segments cover

    double binHz() const { return size > 0 ? rateHz / size : 0; }
    int binCount() const { return int(power.size()); }
    // The bin's power in a scale, in linear units (unit, unit^2/Hz or unit/sqrt(Hz)).
    double value(int bin, SpectrumScale scale) const;
};

// Without averaging: one segment of every value (at most
// singleTransformLimit), padded to the next power of two. With averaging: segments of options.segment
// values, hop segment * (100 - overlap) / 100, over every value; a stretch
// shorter than one segment is one padded segment. Empty when fewer than two
// values are taken (no window of one point has a gain to divide by).
PowerSpectrum welchSpectrum(const double* values, qint64 count, const WelchOptions& options,
                            double samplePeriodUs);
PowerSpectrum welchSpectrum(const PointReader& values, qint64 count, const WelchOptions& options,
                            double samplePeriodUs);

// The lowest dB a value is shown with: an exact zero (a constant signal, an
// empty bin) has no logarithm, and anything below 1e-20 of the reference in
// amplitude (1e-40 in power) is far under the rounding of the transform.
inline constexpr double decibelFloor = -400;

// dB of a linear value: 20 log10 for amplitude-like scales, 10 log10 for the
// PSD, relative to `reference` (in the scale's unit); never below decibelFloor.
double toDecibels(double value, SpectrumScale scale, double reference = 1);

struct SpectralPeak {
    double frequencyHz = 0;
    double value = 0; // in the scale asked for, linear
    int bin = 0;
};

// The `count` strongest peaks between fminHz and fmaxHz, strongest first. A
// peak is a local maximum that stands at least the window's main-lobe width
// (in bins of the unpadded record) from every stronger peak, and above what
// the stronger peaks leak there through the window's side lobes: the side
// lobes of a strong sine are never listed as peaks of their own. The
// frequency is refined between the bins by fitting the window's own spectral
// shape to the ratio of the two neighbours of the maximum (exact for a lone
// sine, whatever the window); amplitude and RMS values are corrected for where
// the sine fell between the bins.
std::vector<SpectralPeak> strongestPeaks(const PowerSpectrum& s, SpectrumScale scale, int count, double fminHz,
                                         double fmaxHz);

// RMS of the signal within [fminHz, fmaxHz]: the square root of the PSD
// summed over the band's bins times the bin width.
double bandRms(const PowerSpectrum& s, double fminHz, double fmaxHz);

// "см/с/с" from a value-axis title "Ускорение, см/с/с"; "" when it names none.
QString valueUnit(const QString& axisTitle);
// The unit of a scale for a value unit u: u, u, (u)²/Гц, u/√Гц (u = "ед." when empty).
QString scaleUnit(SpectrumScale scale, const QString& valueUnit);

struct SpectrogramOptions {
    WelchOptions welch; // segment 0 is taken as 1024
    int columns = 1600; // at most; fewer when there are fewer segments
    int rows = 600;     // at most; fewer when there are fewer bins
    int threads = 1;
};

// PSD in dB over time and frequency: column c is the mean power of the
// segments that start in the c-th part of the stretch, row r the strongest
// of the bins in the r-th part of 0 ... N/2.
struct Spectrogram {
    int columns = 0;
    int rows = 0;
    std::vector<float> db;      // rows * columns, row 0 (lowest frequency) first
    double firstSecond = 0;     // time of the first column's centre, from the stretch's start
    double columnSeconds = 0;   // time between column centres
    double topHz = 0;           // frequency of the last row's upper edge
    int size = 0;               // transform size
    int segmentsPerColumn = 0;  // at least this many segments in each column
    float minDb = 0, maxDb = 0; // the range of the finite values
    float at(int row, int column) const { return db[std::size_t(row) * std::size_t(columns) + std::size_t(column)]; }
};

Spectrogram computeSpectrogram(const double* values, qint64 count, const SpectrogramOptions& options,
                               double samplePeriodUs);

} // namespace analysis
