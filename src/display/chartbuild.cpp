#include "display/chartbuild.h"

#include "platform/numtext.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <thread>
#include <vector>

#include <sched.h>

namespace display {

namespace {

// Points are written in chunks of this size before their envelope buckets are worked out, while
// the values are still in the cache.
constexpr std::int64_t kChunk = 8192;
static_assert(kChunk % MinMaxEnvelope::kBaseBucket == 0);

UniformAxis seriesAxis(const ChartInput& input, const ChartOptions& options, std::int64_t firstFrame)
{
    UniformAxis a;
    a.firstIndex = firstFrame;
    if (isTimeView(options.view)) {
        a.numerator = input.samplePeriodUs;
        a.denominator = timeUnitDivisor(options.timeUnit);
    }
    return a;
}

int validUnit(int timeUnit)
{
    return (timeUnit >= 0 && timeUnit <= 2) ? timeUnit : 0;
}

} // namespace

ChartInput ChartInput::fromRecord(const acq::MeasurementRecord& record)
{
    ChartInput in;
    in.bytes = record.sampleStream.data();
    in.size = record.sampleStream.size();
    in.samplePeriodUs = record.samplePeriodUs;
    in.axisK = record.axisK;
    in.axisC = record.axisC;
    return in;
}

QString timeUnitText(int timeUnit)
{
    static const QString texts[3] = {QStringLiteral("мкс"), QStringLiteral("мс"), QStringLiteral("с")};
    return texts[validUnit(timeUnit)];
}

double timeUnitDivisor(int timeUnit)
{
    static constexpr double divisors[3] = {1.0, 1000.0, 1000000.0};
    return divisors[validUnit(timeUnit)];
}

ChartScales chartScales(const ChartInput& input, const ChartOptions& options)
{
    ChartScales s;
    s.timeUnitDivisor = timeUnitDivisor(options.timeUnit);
    s.timeUnitText = timeUnitText(options.timeUnit);
    s.xAxisTitle = QStringLiteral("Время, ") + s.timeUnitText;
    const double p = input.samplePeriodUs;
    if (p > 0 && std::isfinite(p)) {
        const long double half = 1000000.0L / p / 2;
        s.nyquistHz = half >= std::numeric_limits<std::int32_t>::max()
                          ? std::numeric_limits<std::int32_t>::max()
                          : std::int32_t(half); // truncation
    }
    s.sampleStepX = isTimeView(options.view) ? double(static_cast<long double>(p) / s.timeUnitDivisor) : 1.0;
    s.channelMask = options.channels.mask();
    const int m = options.channels.count();
    s.lastFrame = m > 0 ? acq::wholeFrames(input.size, m) - 1 : -1;
    return s;
}

QString progressText(std::int64_t n, std::int64_t lastFrame)
{
    const double percent = lastFrame > 0 ? double(static_cast<long double>(n) * 100 / lastFrame) : 100.0;
    return QStringLiteral("График %1%").arg(platform::roundHalfEven(percent));
}

SignalPass::SignalPass(const ChartInput& input, const ChartOptions& options)
{
    width_ = options.channels.count();
    if (width_ == 0 || input.bytes == nullptr)
        return;
    const std::int64_t lastFrame = acq::wholeFrames(input.size, width_) - 1;
    if (lastFrame < 1)
        return;
    points_ = lastFrame;
    values_ = isValueView(options.view);
    smooth_ = options.smooth;
    weight_ = std::max(options.smoothWeight, 1);
    p_ = input.bytes + 2 * width_; // frame 0 is never plotted
    for (int slot = 0; slot < width_; ++slot) {
        const int a = options.channels.axisOfSlot(slot);
        // The smoothing state starts at the first plotted frame's own values.
        lanes_[std::size_t(slot)] = {a, input.axisK[std::size_t(a)], input.axisC[std::size_t(a)],
                                     options.modulus[std::size_t(a)],
                                     double(acq::sampleValue(acq::wordAt(p_ + 2 * slot)))};
    }
}

void SignalPass::next(std::int64_t count, const std::array<double*, 3>& channels, double* mod)
{
    count = std::min(count, points_ - done_);
    if (count <= 0)
        return;
    std::array<double*, 3> dst{};
    for (int slot = 0; slot < width_; ++slot)
        dst[std::size_t(slot)] = channels[std::size_t(lanes_[std::size_t(slot)].axis)];
    const std::uint8_t* p = p_;
    for (std::int64_t i = 0; i < count; ++i) {
        long double sum = 0;
        for (int slot = 0; slot < width_; ++slot) {
            Lane& s = lanes_[std::size_t(slot)];
            const double y = s.value(acq::sampleValue(acq::wordAt(p)), values_, smooth_, weight_);
            p += 2;
            dst[std::size_t(slot)][i] = y;
            if (s.modulus)
                sum += static_cast<long double>(y) * y;
        }
        mod[i] = double(std::sqrt(sum));
    }
    p_ = p;
    done_ += count;
}

void SignalPass::nextAxis(std::int64_t count, int axis, double* values)
{
    count = std::min(count, points_ - done_);
    int slot = 0;
    while (slot < width_ && lanes_[std::size_t(slot)].axis != axis)
        ++slot;
    if (count <= 0 || slot == width_)
        return;
    Lane& s = lanes_[std::size_t(slot)];
    const std::uint8_t* p = p_ + 2 * slot;
    for (std::int64_t i = 0; i < count; ++i, p += 2 * width_)
        values[i] = s.value(acq::sampleValue(acq::wordAt(p)), values_, smooth_, weight_);
    p_ += count * 2 * width_;
    done_ += count;
}

UniformAxis signalAxis(const ChartInput& input, const ChartOptions& options)
{
    return seriesAxis(input, options, 1);
}

SignalPass SignalPass::startingAt(std::int64_t point) const
{
    SignalPass p = *this;
    point = std::clamp<std::int64_t>(point, 0, points_);
    if (p_)
        p.p_ = p_ + (point - done_) * 2 * width_;
    p.done_ = point;
    return p;
}

int buildThreads()
{
    cpu_set_t set;
    CPU_ZERO(&set);
    const int cores = sched_getaffinity(0, sizeof set, &set) == 0 ? CPU_COUNT(&set) : 1;
    return std::clamp(cores, 1, 2);
}

namespace {

// Below this many points a second thread costs more than it saves.
constexpr std::int64_t kParallelFrom = 1 << 18;

constexpr std::int64_t chunkFloor(std::int64_t i)
{
    return i / kChunk * kChunk;
}

// The build on two threads, two halves of each stretch between progress reports at once.
// Stretches start at whole chunks, so the halves fill disjoint envelope buckets.
bool buildInParallel(SignalPass& pass, SignalSeries& out, const std::vector<UniformSeries*>& written,
                     std::int64_t progressStep, const BuildProgress& progress)
{
    const std::int64_t points = pass.points();
    const auto run = [&out, &written](SignalPass& p, std::int64_t lo, std::int64_t hi) {
        for (std::int64_t a = lo; a < hi; a += kChunk) {
            const std::int64_t b = std::min(hi, a + kChunk);
            std::array<double*, 3> dst{};
            for (std::size_t c = 0; c < 3; ++c)
                if (!out.channels[c].isEmpty())
                    dst[c] = out.channels[c].data() + a;
            p.next(b - a, dst, out.modulus.data() + a);
            for (UniformSeries* s : written)
                s->valuesWrittenIn(a, b);
        }
    };
    const auto stretch = [&](std::int64_t hi) {
        const std::int64_t lo = pass.done();
        if (hi <= lo)
            return;
        const std::int64_t mid = lo + chunkFloor((hi - lo) / 2);
        SignalPass second = pass.startingAt(mid);
        std::thread worker([&] { run(second, mid, hi); });
        run(pass, lo, mid);
        worker.join();
        pass = second;
        for (UniformSeries* s : written)
            s->valuesWrittenBelow(hi);
    };
    if (progressStep > 0) {
        for (std::int64_t n = progressStep; n <= points; n += progressStep) {
            stretch(n == points ? n : chunkFloor(n));
            if (!progress(n, points))
                return false;
        }
    }
    stretch(points);
    return true;
}

} // namespace

SignalSeries buildSignalSeries(const ChartInput& input, const ChartOptions& options,
                               const BuildProgress& progress, int threads)
{
    SignalSeries out;
    SignalPass pass(input, options);
    const std::int64_t lastFrame = pass.points();
    if (lastFrame < 1)
        return out;

    const UniformAxis axis = seriesAxis(input, options, 1);
    std::array<UniformSeries*, 4> written{};
    int nWritten = 0;
    for (int a = 0; a < 3; ++a) {
        if (!options.channels.has(a))
            continue;
        out.channels[std::size_t(a)].allocate(lastFrame, axis);
        written[std::size_t(nWritten++)] = &out.channels[std::size_t(a)];
    }
    out.modulus.allocate(lastFrame, axis);
    written[std::size_t(nWritten++)] = &out.modulus;

    const std::int64_t progressStep = (progress && reportsProgress(input.size)) ? lastFrame / 10 : 0;
    if (threads <= 0)
        threads = buildThreads();
    if (threads > 1 && !options.smooth && lastFrame >= kParallelFrom) {
        out.complete = buildInParallel(pass, out, {written.begin(), written.begin() + nWritten}, progressStep,
                                       progress);
        for (int k = 0; k < nWritten; ++k)
            written[std::size_t(k)]->finish();
        return out;
    }
    std::int64_t n = 1;
    while (n <= lastFrame) {
        std::int64_t end = std::min(lastFrame, n - 1 + kChunk);
        bool report = false;
        if (progressStep > 0) {
            const std::int64_t nextReport = ((n + progressStep - 1) / progressStep) * progressStep;
            if (nextReport <= end) {
                end = nextReport;
                report = true;
            }
        }
        const std::int64_t i = n - 1;
        std::array<double*, 3> dst{};
        for (int a = 0; a < 3; ++a)
            if (options.channels.has(a))
                dst[std::size_t(a)] = out.channels[std::size_t(a)].data() + i;
        pass.next(end - i, dst, out.modulus.data() + i);
        n = end + 1;
        for (int k = 0; k < nWritten; ++k)
            written[std::size_t(k)]->valuesWritten(end);
        if (report && !progress(end, lastFrame)) {
            out.complete = false;
            break;
        }
    }
    for (int k = 0; k < nWritten; ++k)
        written[std::size_t(k)]->finish();
    return out;
}

ValueRange autoValueRange(const SignalSeries& series, const std::array<bool, 4>& shown)
{
    ValueRange r;
    for (int k = 0; k < 3; ++k)
        if (shown[std::size_t(k)])
            r.include(series.channels[std::size_t(k)].valueRange());
    if (shown[3])
        r.include(series.modulus.valueRange());
    return r.isEmpty() ? ValueRange{0.0, 0.0} : r;
}

std::optional<PulseLevels> pulseLevels(ValueRange lastPainted, ValueRange autoRange)
{
    ValueRange r = lastPainted;
    if (r.isEmpty() || r.lo == r.hi)
        r = autoRange.isEmpty() ? ValueRange{0.0, 0.0} : autoRange;
    if (r.hi == 0.0 && r.lo == 0.0)
        return std::nullopt;
    return PulseLevels{r.hi, r.lo};
}

PulseTrace buildPulseTrace(const ChartInput& input, const ChartOptions& options, PulseLevels levels)
{
    PulseTrace t;
    const int m = options.channels.count();
    if (m == 0 || input.bytes == nullptr)
        return t;
    const std::int64_t frames = acq::wholeFrames(input.size, m);
    t.allocate(frames, seriesAxis(input, options, 0), levels.high, levels.low);
    // Bit 15 of the frame's last word, i.e. the high bit of its last byte.
    const std::uint8_t* last = input.bytes + 2 * m - 1;
    const std::int64_t stride = 2 * m;
    for (std::int64_t k = 0; k < frames; ++k, last += stride)
        if (*last & 0x80u)
            t.setBit(k, true);
    t.setDegreeLabels(isTimeView(options.view) && options.degrees);
    return t;
}

AxisTitles axisTitles(const ChartOptions& options, const QString& unitText)
{
    AxisTitles t;
    const QString time = QStringLiteral("Время, ") + unitText;
    const QString samples = QStringLiteral("Выборки");
    const QString adc = QStringLiteral("единицы АЦП");
    switch (options.view) {
    case ViewValuesTime:
        t.left = options.valueTitle;
        t.bottom = time;
        break;
    case ViewAdcSamples:
        t.left = adc;
        t.bottom = samples;
        break;
    case ViewValuesSamples:
        t.left = options.valueTitle;
        t.bottom = samples;
        break;
    case ViewAdcTime:
    default:
        t.left = adc;
        t.bottom = time;
        break;
    }
    if (options.degrees)
        t.bottom = QStringLiteral("Градусы");
    return t;
}

QString startTimeText(const QDateTime& startTime, const QLocale& locale)
{
    // The long time format may end in a time zone name, which the status bar has no room for.
    QString timeFormat = locale.timeFormat(QLocale::LongFormat);
    timeFormat.remove(QLatin1Char('t')).replace(QStringLiteral("  "), QStringLiteral(" "));
    timeFormat = timeFormat.trimmed();
    QString text;
    if (startTime.isValid())
        text = locale.toString(startTime.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
               locale.toString(startTime.time(), timeFormat);
    return text + QStringLiteral(" начало измерения");
}

ChartBuild buildChart(const ChartInput& input, const ChartOptions& options, ValueRange lastPaintedLeft,
                      const std::array<bool, 4>& shown, const BuildProgress& progress)
{
    ChartBuild b;
    if (input.size == 0 || input.bytes == nullptr)
        return b;
    b.scales = chartScales(input, options);
    if (options.channels.count() == 0) {
        b.end = BuildEnd::NoChannels;
        return b;
    }
    b.titles.left = options.valueTitle;
    b.signal = buildSignalSeries(input, options, progress);
    if (!b.signal.complete) {
        b.end = BuildEnd::Abandoned;
        return b;
    }
    b.levels = pulseLevels(lastPaintedLeft, autoValueRange(b.signal, shown));
    if (!b.levels) {
        b.end = BuildEnd::NoPulseLevels;
        return b;
    }
    b.pulse = buildPulseTrace(input, options, *b.levels);
    b.titles = axisTitles(options, b.scales.timeUnitText);
    b.end = BuildEnd::Complete;
    return b;
}

} // namespace display
