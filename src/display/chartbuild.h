#pragma once

// Turning the measurement record into the series of the signal chart, with no widget involved.
// The main window's chart and the command-line tool build with the same functions, so a tool's
// output holds exactly the values the chart shows.
//
// A build reads the raw sample stream from its start, frame by frame (one little-endian word per
// checked channel, in the order X, Y, Z), and produces:
//   - X, Y, Z: point i holds frame i + 1 (frame 0 is never plotted), in the chosen view:
//     calibrated values (v - C) * K or raw ADC units v, against time or sample number;
//     optionally exponentially smoothed, one state per channel;
//   - IaI: the modulus sqrt(sum y_c^2) over the channels whose modulus box is checked;
//   - Pls: point k holds frame k (frame 0 included) at one of two levels, the high level where
//     bit 15 of the frame's last word is set; in the time views with "Градусы" selected its
//     points carry degree labels, one turn between two rising edges.
// Values and x positions are worked out in extended precision and stored as doubles.
//
// Typical use without a window:
//
//     display::ChartOptions opt;               // view, unit, smoothing, channels ...
//     opt.channels = acq::ChannelSet::fromMask(mask);
//     auto build = display::buildChart(display::ChartInput::fromRecord(record), opt);
//     if (build.end == display::BuildEnd::Complete)
//         for (std::int64_t i = 0; i < build.signal.channels[0].size(); ++i)
//             use(build.signal.channels[0].x(i), build.signal.channels[0].y(i));
//
// The window runs the same steps one by one (buildSignalSeries, pulseLevels, buildPulseTrace,
// axisTitles), because the pulse levels come from the chart's axis as it was last painted.

#include "acquisition/measurementrecord.h"
#include "display/seriesdata.h"
#include "platform/numtext.h"

#include <QDateTime>
#include <QLocale>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>

namespace display {

// The four views: the item index of the view list.
enum ChartView : int {
    ViewValuesTime = 0,    // "ЗНАЧЕНИЯ, ВРЕМЯ"
    ViewAdcSamples = 1,    // "ед.АЦП,      ВЫБОРКИ"
    ViewValuesSamples = 2, // "ЗНАЧЕНИЯ, ВЫБОРКИ"
    ViewAdcTime = 3,       // "ед.АЦП,      ВРЕМЯ"
};

// Views 0 and 3 put time on the bottom axis; views 1 and 2 the sample number.
constexpr bool isTimeView(int view)
{
    return view == ViewValuesTime || view == ViewAdcTime;
}
// Views 0 and 2 show calibrated values; views 1 and 3 raw ADC units.
constexpr bool isValueView(int view)
{
    return view == ViewValuesTime || view == ViewValuesSamples;
}

// The display choices a build reads (the controls of the chart and options panels).
struct ChartOptions {
    int view = ViewValuesTime;                     // 0..3, see ChartView
    int timeUnit = 0;                              // 0 "мкс", 1 "мс", 2 "с"
    bool smooth = false;                           // exponential smoothing on
    int smoothWeight = 8;                          // its weight W, 2..4096
    acq::ChannelSet channels{true, true, true};    // the stream's layout: the checked channel boxes
    std::array<bool, 3> modulus{true, true, true}; // channels taken into |a| (X, Y, Z)
    bool degrees = false;                          // pulse display mode "Градусы" (else "Время")
    // Left-axis title of the value views: a loaded file's own title, else the scales file's.
    QString valueTitle = QStringLiteral("Ускорение, см/с/с");
};

// What a build reads of the measurement record. The bytes are not copied: they must stay valid
// and unchanged while a build runs.
struct ChartInput {
    const std::uint8_t* bytes = nullptr;
    std::uint64_t size = 0;
    double samplePeriodUs = 0.0;
    std::array<double, 3> axisK{1.0, 1.0, 1.0};
    std::array<double, 3> axisC{0.0, 0.0, 0.0};

    static ChartInput fromRecord(const acq::MeasurementRecord& record);
};

// The values a build leaves for the rest of the program.
struct ChartScales {
    double timeUnitDivisor = 1.0;                      // 1, 1000 or 1000000 µs per unit
    QString timeUnitText = QStringLiteral("мкс");      // "мкс", "мс", "с"
    QString xAxisTitle = QStringLiteral("Время, мкс"); // "Время, " + timeUnitText
    std::int32_t nyquistHz = 0;                        // Trunc(1000000 / period / 2); 0 without a period
    double sampleStepX = 1.0;                          // bottom-axis distance of two samples
    std::uint8_t channelMask = 0;                      // bit 0 X, bit 1 Y, bit 2 Z
    std::int64_t lastFrame = -1;                       // index of the last whole frame; -1: none
};
ChartScales chartScales(const ChartInput& input, const ChartOptions& options);

// The time-unit texts of the unit list: "мкс", "мс", "с" (an index outside it counts as 0).
QString timeUnitText(int timeUnit);
double timeUnitDivisor(int timeUnit);

// The channel and modulus series of a build.
struct SignalSeries {
    std::array<UniformSeries, 3> channels; // X, Y, Z; empty for a channel that is not checked
    UniformSeries modulus;                 // IaI
    bool complete = true;                  // false when the progress callback abandoned the build
};

// Called during the main pass of a large stream, about ten times: n is the frame just reached,
// out of lastFrame. The window lets its message loop run here. Returning false abandons the build
// (the stream it reads was replaced meanwhile); the series then hold only what was done.
using BuildProgress = std::function<bool(std::int64_t n, std::int64_t lastFrame)>;

// Streams above 600000 bytes report progress; smaller ones build in one go.
constexpr bool reportsProgress(std::uint64_t streamBytes)
{
    return streamBytes > 600000;
}
// "График %d%%" with Round(n * 100 / lastFrame).
QString progressText(std::int64_t n, std::int64_t lastFrame);

// The values of the main pass worked out a stretch of points at a time, in order, so that a
// consumer that only streams them (the text export) never holds more than one stretch. The
// smoothing carries over from one stretch to the next: the values are those a whole build stores.
class SignalPass {
  public:
    SignalPass(const ChartInput& input, const ChartOptions& options);

    // Points of each series: frames 1 .. last whole frame; 0 without channels or frames.
    std::int64_t points() const { return points_; }
    std::int64_t done() const { return done_; }

    // The next count points (at most points() - done()): channel a into channels[a] for each
    // checked channel (the others are not touched and may be null), |a| into modulus.
    void next(std::int64_t count, const std::array<double*, 3>& channels, double* modulus);

    // The next count points of one checked axis only, into values: the other lanes are skipped,
    // not advanced, so a pass used this way serves that one axis from then on.
    void nextAxis(std::int64_t count, int axis, double* values);

    // A copy that goes on from the given point. Without smoothing every point stands on its own,
    // so two passes can work on two stretches at once; a smoothed copy would lack the state of
    // the points in between.
    SignalPass startingAt(std::int64_t point) const;

  private:
    struct Lane {
        int axis;
        long double k;
        long double c;
        bool modulus;
        double state;
        // The plotted value of sample v, the smoothing state carried on.
        double value(int v, bool values, bool smooth, long double weight)
        {
            if (smooth) {
                state = double(((weight - 1) * state + v) / weight);
                v = int(platform::roundHalfEven(state));
            }
            return values ? double((v - c) * k) : double(v);
        }
    };
    const std::uint8_t* p_ = nullptr; // the next frame's first word
    std::array<Lane, 3> lanes_{};
    int width_ = 0;
    bool values_ = false;
    bool smooth_ = false;
    long double weight_ = 1;
    std::int64_t points_ = 0;
    std::int64_t done_ = 0;
};

// The bottom-axis positions of the X, Y, Z and IaI points (point i is frame i + 1).
UniformAxis signalAxis(const ChartInput& input, const ChartOptions& options);

// The threads a build may use: the processor cores the program may run on, at most two.
int buildThreads();

// The main pass: X, Y, Z and IaI, every frame from 1 to the last whole frame. A long unsmoothed
// record is built on up to `threads` threads (0: buildThreads()), two stretches at once; the
// progress callback always runs on the calling thread, and only while no other thread reads the
// stream, so it may let the message loop replace the stream.
SignalSeries buildSignalSeries(const ChartInput& input, const ChartOptions& options,
                               const BuildProgress& progress = {}, int threads = 0);

// The automatic left-axis range of the filled series that are shown (X, Y, Z, IaI in this order);
// (0, 0) when none of them has a point.
ValueRange autoValueRange(const SignalSeries& series,
                          const std::array<bool, 4>& shown = {true, true, true, true});

struct PulseLevels {
    double high = 0.0;
    double low = 0.0;
};
// The two levels of the pulse trace: the left axis's range as last painted, or, when that range
// has no extent, the automatic range of the series just filled. None when both come out 0: the
// build then ends before the pulse trace.
std::optional<PulseLevels> pulseLevels(ValueRange lastPainted, ValueRange autoRange);

// The pulse pass: frames 0 .. last; with degree labels in the time views when options.degrees.
PulseTrace buildPulseTrace(const ChartInput& input, const ChartOptions& options, PulseLevels levels);

// Axis titles; an absent title is left as it is.
struct AxisTitles {
    std::optional<QString> left;
    std::optional<QString> bottom;
};
// The titles of a build that got through the pulse pass: by view, then "Градусы" on the bottom
// axis in the degree mode (in every view).
AxisTitles axisTitles(const ChartOptions& options, const QString& timeUnitText);

// Where a build ended.
enum class BuildEnd {
    EmptyStream,   // nothing read, nothing changed
    NoChannels,    // no channel checked: series empty, titles unchanged
    NoPulseLevels, // both pulse levels 0: no pulse trace, only the left title set
    Abandoned,     // stopped by the progress callback
    Complete,
};

struct ChartBuild {
    BuildEnd end = BuildEnd::EmptyStream;
    ChartScales scales; // unchanged defaults after EmptyStream
    SignalSeries signal;
    std::optional<PulseLevels> levels; // set when the pulse pass ran
    PulseTrace pulse;
    AxisTitles titles; // what the build sets; nothing for EmptyStream and NoChannels
};

// Status text of a finished build: the start time (short date, then the time without a zone
// name, in the given locale) followed by " начало измерения".
QString startTimeText(const QDateTime& startTime, const QLocale& locale);

// The whole build in one call. lastPaintedLeft stands for the chart's left axis as last painted;
// a program without a chart leaves it at (0, 0), which makes the pulse levels the automatic range
// of the shown series (as on the chart's first build).
ChartBuild buildChart(const ChartInput& input, const ChartOptions& options,
                      ValueRange lastPaintedLeft = {0.0, 0.0},
                      const std::array<bool, 4>& shown = {true, true, true, true},
                      const BuildProgress& progress = {});

} // namespace display
