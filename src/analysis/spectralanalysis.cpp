#include "analysis/spectralanalysis.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <exception>
#include <limits>
#include <map>
#include <mutex>
#include <thread>

namespace analysis {

namespace {

constexpr double kPi = 3.14159265358979323846;

// The cosine-sum coefficients of each window: w(t) = a0 - a1 cos(2 pi t) +
// a2 cos(4 pi t) - ... over one period t in [0, 1).
std::vector<double> cosineTerms(WindowKind kind)
{
    switch (kind) {
    case WindowKind::Rectangular:
        return {1.0};
    case WindowKind::Hann:
        return {0.5, 0.5};
    case WindowKind::Hamming:
        return {0.54, 0.46};
    case WindowKind::BlackmanHarris:
        return {0.35875, 0.48829, 0.14128, 0.01168};
    case WindowKind::FlatTop:
        return {0.21557895, 0.41663158, 0.277263158, 0.083578947, 0.006947368};
    }
    return {1.0};
}

const char* const kWindowNames[] = {"rect", "hann", "hamming", "blackmanharris", "flattop"};
const char* const kScaleNames[] = {"amplitude", "rms", "psd", "asd"};

double sinc(double x)
{
    if (std::fabs(x) < 1e-12)
        return 1;
    return std::sin(kPi * x) / (kPi * x);
}

// The window's spectrum near its main lobe, `offset` in periods of the window
// (bins of an unpadded transform): a0 sinc(f) + sum aj/2 (sinc(f-j) + sinc(f+j)),
// the continuous form of the periodic window, exact to about (pi f / length)^2.
double windowShape(const std::vector<double>& terms, double offset)
{
    double v = terms[0] * sinc(offset);
    for (std::size_t j = 1; j < terms.size(); ++j)
        v += terms[j] / 2 * (sinc(offset - double(j)) + sinc(offset + double(j)));
    return std::fabs(v);
}

// |W(x)| / W(0) of the periodic window of `length` points exactly as applied,
// x in bins of the unpadded record: a0 D(x) + sum (-1)^j aj/2 (D(x-j) + D(x+j))
// with the Dirichlet kernel D(u) = sum over n of e^(-2 pi i n u / length).
double discreteShape(const std::vector<double>& terms, int length, double x)
{
    const double L = double(length);
    auto dirichlet = [L](double u) {
        const double den = std::sin(kPi * u / L);
        const double mag = std::fabs(den) < 1e-300 ? L : std::sin(kPi * u) / den;
        return std::polar(mag, -kPi * u * (L - 1) / L);
    };
    std::complex<double> v = terms[0] * dirichlet(x);
    double sign = -1;
    for (std::size_t j = 1; j < terms.size(); ++j, sign = -sign)
        v += sign * terms[j] / 2 * (dirichlet(x - double(j)) + dirichlet(x + double(j)));
    return std::abs(v) / (terms[0] * L);
}

// The most a sine leaks through the window's side lobes `x` bins (of the
// unpadded record) or further from its frequency, relative to its amplitude.
class SideLobeBound {
  public:
    SideLobeBound(const std::vector<double>& terms, int length)
    {
        const int reach = std::max(2, std::min(1024, length / 2)) * kPerBin;
        bound_.resize(std::size_t(reach) + 1);
        for (int i = reach; i >= 0; --i) {
            const double v = discreteShape(terms, length, double(i) / kPerBin);
            bound_[std::size_t(i)] = i == reach ? v : std::max(v, bound_[std::size_t(i) + 1]);
        }
    }
    double operator()(double x) const
    {
        const double from = std::max(0.0, x) * kPerBin;
        const double last = double(bound_.size() - 1);
        if (from <= last)
            return bound_[std::size_t(from)];
        // Beyond the table every lobe falls at least as 1/x from the highest
        // of the table's last whole lobe (its very last entry may sit on a
        // null); the discrete kernel is up to pi/2 above the continuous one
        // near half the rate.
        const double base = last - kPerBin;
        return bound_[std::size_t(base)] * base / from * (kPi / 2);
    }

  private:
    static constexpr int kPerBin = 8;
    std::vector<double> bound_;
};

// FFTW plans are made once per size and shared: the planner is not
// thread-safe, executing a plan on other arrays of the same alignment is.
class PlanCache {
  public:
    static PlanCache& instance()
    {
        static PlanCache cache;
        return cache;
    }
    fftw_plan plan(int size)
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        auto it = plans_.find(size);
        if (it != plans_.end())
            return it->second;
        double* in = fftw_alloc_real(std::size_t(size));
        fftw_complex* out = fftw_alloc_complex(std::size_t(size / 2 + 1));
        // Estimated, not measured: planning by measurement would cost more than
        // most analyses it serves, and it would make results depend on timing.
        const fftw_plan p = fftw_plan_dft_r2c_1d(size, in, out, FFTW_ESTIMATE);
        fftw_free(in);
        fftw_free(out);
        plans_.emplace(size, p);
        return p;
    }

    ~PlanCache()
    {
        for (auto& [size, plan] : plans_)
            fftw_destroy_plan(plan);
        fftw_cleanup();
    }

  private:
    PlanCache() = default;
    std::mutex mutex_;
    std::map<int, fftw_plan> plans_;
};

// A transform's work arrays, aligned the way FFTW's plans expect.
struct Work {
    explicit Work(int size)
        : in(fftw_alloc_real(std::size_t(size))), out(fftw_alloc_complex(std::size_t(size / 2 + 1)))
    {
        if (!in || !out) {
            fftw_free(in);
            fftw_free(out);
            throw std::bad_alloc();
        }
    }
    ~Work()
    {
        fftw_free(in);
        fftw_free(out);
    }
    Work(const Work&) = delete;
    Work& operator=(const Work&) = delete;
    double* in;
    fftw_complex* out;
};

int nextPowerOfTwo(qint64 n)
{
    int p = 1;
    while (p < n && p < (1 << 30))
        p *= 2;
    return p;
}

// The layout of the segments over n decimated values.
struct Segmentation {
    int size = 0;   // transform size
    int length = 0; // values per segment (the window's length)
    qint64 hop = 0;
    qint64 count = 0; // segments
};

Segmentation segmentation(qint64 n, const WelchOptions& o)
{
    Segmentation s;
    if (n <= 0)
        return s;
    if (o.segment <= 0) {
        s.length = int(std::min<qint64>(n, singleTransformLimit));
        s.size = nextPowerOfTwo(s.length);
        s.hop = s.length;
        s.count = 1;
        return s;
    }
    s.size = std::clamp(nextPowerOfTwo(o.segment), minSegment, maxSegment);
    if (n < s.size) {
        s.length = int(n);
        s.hop = n;
        s.count = 1;
        return s;
    }
    s.length = s.size;
    const int overlap = std::clamp(o.overlapPercent, 0, 99);
    s.hop = std::max<qint64>(1, qint64(s.size) * (100 - overlap) / 100);
    s.count = 1 + (n - s.size) / s.hop;
    return s;
}

// For values beyond 2^400 (or below 2^-400), a power of two near the largest
// of them: the transform runs on the values divided by it, which is exact, so
// that the squares of the bins stay finite (or above the subnormals). Any
// other values are transformed as they are.
double valueScaleOf(const PointReader& read, int step, const Segmentation& g)
{
    const qint64 last = (g.count - 1) * g.hop + g.length;
    constexpr qint64 kBlock = 1 << 14;
    std::vector<double> block(std::size_t(std::min(last, kBlock)));
    double largest = 0;
    for (qint64 i = 0; i < last; i += kBlock) {
        const qint64 n = std::min(kBlock, last - i);
        read(i * step, n, step, block.data());
        for (qint64 j = 0; j < n; ++j)
            largest = std::max(largest, std::fabs(block[std::size_t(j)]));
    }
    if (!(largest > 0) || !std::isfinite(largest))
        return 1; // a non-finite value spoils the result, which the callers check
    const int exponent = std::ilogb(largest);
    return std::abs(exponent) > 400 ? std::ldexp(1.0, exponent) : 1;
}

// |X_k|^2 of one segment, of the values divided by `scale`, added into `power`.
void addSegment(const PointReader& read, qint64 first, int step, double scale, const Segmentation& g,
                const std::vector<double>& window, fftw_plan plan, Work& w, double* power)
{
    // The segment's values are read straight into the transform's input and worked there.
    read(first * step, g.length, step, w.in);
    double mean = 0;
    for (int i = 0; i < g.length; ++i)
        mean += w.in[i] / scale;
    mean /= g.length;
    for (int i = 0; i < g.length; ++i)
        w.in[i] = (w.in[i] / scale - mean) * window[std::size_t(i)];
    std::fill(w.in + g.length, w.in + g.size, 0.0);
    fftw_execute_dft_r2c(plan, w.in, w.out);
    for (int k = 0; k <= g.size / 2; ++k)
        power[k] += w.out[k][0] * w.out[k][0] + w.out[k][1] * w.out[k][1];
}

double rateOf(double samplePeriodUs, int step)
{
    return samplePeriodUs > 0 ? 1e6 / samplePeriodUs / std::max(1, step) : 0;
}

} // namespace

QString windowName(WindowKind kind)
{
    return QLatin1String(kWindowNames[int(kind)]);
}

std::optional<WindowKind> windowFromName(const QString& name)
{
    for (int i = 0; i < 5; ++i) {
        if (name.compare(QLatin1String(kWindowNames[i]), Qt::CaseInsensitive) == 0)
            return WindowKind(i);
    }
    return std::nullopt;
}

QString scaleName(SpectrumScale scale)
{
    return QLatin1String(kScaleNames[int(scale)]);
}

std::optional<SpectrumScale> scaleFromName(const QString& name)
{
    for (int i = 0; i < 4; ++i) {
        if (name.compare(QLatin1String(kScaleNames[i]), Qt::CaseInsensitive) == 0)
            return SpectrumScale(i);
    }
    return std::nullopt;
}

std::vector<double> windowCoefficients(WindowKind kind, int length)
{
    const std::vector<double> terms = cosineTerms(kind);
    std::vector<double> w(std::size_t(std::max(0, length)));
    for (int n = 0; n < length; ++n) {
        double v = terms[0];
        double sign = -1;
        for (std::size_t j = 1; j < terms.size(); ++j, sign = -sign)
            v += sign * terms[j] * std::cos(2 * kPi * double(j) * n / length);
        w[std::size_t(n)] = v;
    }
    return w;
}

WindowGains windowGains(const std::vector<double>& w)
{
    WindowGains g;
    if (w.empty())
        return g;
    double s1 = 0, s2 = 0;
    for (double v : w) {
        s1 += v;
        s2 += v * v;
    }
    g.coherent = s1 / double(w.size());
    g.noiseBandwidthBins = s1 != 0 ? double(w.size()) * s2 / (s1 * s1) : 0;
    return g;
}

double PowerSpectrum::value(int bin, SpectrumScale scale) const
{
    const double p = power[std::size_t(bin)];
    // The one-sided spectrum folds the negative frequencies onto the positive
    // ones; bin 0 and the Nyquist bin have no mirror to fold. Their components
    // are sampled as constants (a, a, a, ... and a, -a, a, ...), whose RMS is
    // their amplitude; every other bin is a sine, whose RMS is amplitude/sqrt 2.
    const bool single = bin == 0 || 2 * bin == size;
    const double fold = single ? 1 : 2;
    switch (scale) {
    case SpectrumScale::Amplitude:
        return std::sqrt(p) * valueScale * fold / windowSum;
    case SpectrumScale::Rms:
        return std::sqrt(p) * valueScale * fold / windowSum / (single ? 1 : std::sqrt(2.0));
    case SpectrumScale::Psd:
        return p * valueScale * valueScale * fold / (rateHz * windowSquareSum);
    case SpectrumScale::Asd:
        return std::sqrt(p * fold / (rateHz * windowSquareSum)) * valueScale;
    }
    return 0;
}

PowerSpectrum welchSpectrum(const double* values, qint64 count, const WelchOptions& options,
                            double samplePeriodUs)
{
    return welchSpectrum(arrayReader(values), count, options, samplePeriodUs);
}

PowerSpectrum welchSpectrum(const PointReader& values, qint64 count, const WelchOptions& options,
                            double samplePeriodUs)
{
    PowerSpectrum s;
    const int step = std::max(1, options.step);
    const qint64 n = count / step;
    const Segmentation g = segmentation(n, options);
    if (g.count == 0 || g.length < 2 || !(samplePeriodUs > 0))
        return s;

    s.size = g.size;
    s.windowKind = options.window;
    s.averages = int(std::min<qint64>(g.count, std::numeric_limits<int>::max()));
    s.rateHz = rateOf(samplePeriodUs, step);
    s.window = windowCoefficients(options.window, g.length);
    for (double v : s.window) {
        s.windowSum += v;
        s.windowSquareSum += v * v;
    }
    s.power.assign(std::size_t(g.size / 2 + 1), 0.0);
    s.valuesUsed = (g.count - 1) * g.hop + g.length;
    s.valueScale = valueScaleOf(values, step, g);

    const fftw_plan plan = PlanCache::instance().plan(g.size);
    Work w(g.size);
    for (qint64 i = 0; i < g.count; ++i)
        addSegment(values, i * g.hop, step, s.valueScale, g, s.window, plan, w, s.power.data());
    for (double& p : s.power)
        p /= double(g.count);
    return s;
}

double toDecibels(double value, SpectrumScale scale, double reference)
{
    const double factor = scale == SpectrumScale::Psd ? 10 : 20;
    const double db = factor * std::log10(value / reference);
    return std::isnan(db) ? db : std::max(db, decibelFloor);
}

std::vector<SpectralPeak> strongestPeaks(const PowerSpectrum& s, SpectrumScale scale, int count, double fminHz,
                                         double fmaxHz)
{
    std::vector<SpectralPeak> peaks;
    const int bins = s.binCount();
    if (count <= 0 || bins < 3 || s.window.empty())
        return peaks;
    const double df = s.binHz();
    // Every local maximum, in the band or not: a strong sine just outside the
    // band still leaks into it.
    std::vector<int> candidates;
    for (int k = 1; k + 1 < bins; ++k) {
        const double p = s.power[std::size_t(k)];
        if (p > s.power[std::size_t(k - 1)] && p >= s.power[std::size_t(k + 1)])
            candidates.push_back(k);
    }
    std::stable_sort(candidates.begin(), candidates.end(),
                     [&](int a, int b) { return s.power[std::size_t(a)] > s.power[std::size_t(b)]; });

    const std::vector<double> terms = cosineTerms(s.windowKind);
    const int length = int(s.window.size());
    // Offsets in (padded) bins are offsets in window periods times length / size.
    const double periodsPerBin = double(length) / double(s.size);
    // The main lobe spans +-K bins of the unpadded record for a window of K
    // cosine terms (the first null of a rectangular window is one bin out).
    const double lobeWidth = 2.0 * double(terms.size());
    const SideLobeBound leak(terms, length);
    // The side lobes of a peak read between the bins are compared with its
    // true amplitude; the factor covers a neighbour caught at a lobe's top
    // while the peak's own estimate is a little low.
    constexpr double kLeakMargin = 2;

    struct Accepted {
        double position; // in padded bins
        double amplitude; // |X| of the sine at its true frequency
    };
    std::vector<Accepted> accepted;
    for (int k : candidates) {
        if (int(peaks.size()) >= count)
            break;
        const double centre = std::sqrt(s.power[std::size_t(k)]);
        bool sideLobe = false;
        for (const Accepted& a : accepted) {
            const double apart = std::fabs(double(k) - a.position) * periodsPerBin;
            if (apart < lobeWidth || centre <= kLeakMargin * a.amplitude * leak(apart)) {
                sideLobe = true;
                break;
            }
        }
        if (sideLobe)
            continue;

        // Where a lone sine between bins k and k+1 sits follows from how much
        // of it the larger neighbour caught: |W(1 - d)| / |W(d)| grows from its
        // value at d = 0 to 1 at d = 1/2. It is solved by bisection on the
        // window's own shape, so every window is treated alike.
        const double left = std::sqrt(s.power[std::size_t(k - 1)]);
        const double right = std::sqrt(s.power[std::size_t(k + 1)]);
        const bool toRight = right >= left;
        const double ratio = centre > 0 ? (toRight ? right : left) / centre : 0;
        auto modelRatio = [&](double d) {
            return windowShape(terms, (1 - d) * periodsPerBin) / windowShape(terms, d * periodsPerBin);
        };
        double lo = 0, hi = 0.5;
        if (ratio <= modelRatio(0)) {
            hi = 0;
        } else if (ratio >= modelRatio(0.5)) {
            lo = 0.5;
        } else {
            for (int i = 0; i < 50; ++i) {
                const double mid = (lo + hi) / 2;
                (modelRatio(mid) < ratio ? lo : hi) = mid;
            }
        }
        const double d = (lo + hi) / 2;
        const double position = k + (toRight ? d : -d);
        const double scallop = terms[0] / windowShape(terms, d * periodsPerBin);
        accepted.push_back({position, centre * scallop});

        const double f = position * df;
        if (k * df < fminHz || k * df > fmaxHz)
            continue; // it only keeps its side lobes out of the band
        SpectralPeak p;
        p.bin = k;
        p.frequencyHz = f;
        p.value = s.value(k, scale);
        if (scale == SpectrumScale::Amplitude || scale == SpectrumScale::Rms)
            p.value *= scallop;
        peaks.push_back(p);
    }
    return peaks;
}

double bandRms(const PowerSpectrum& s, double fminHz, double fmaxHz)
{
    // Summed in units of the spectrum's value scale, so that a large signal
    // whose PSD itself would overflow still has a finite RMS.
    double sum = 0;
    const double df = s.binHz();
    for (int k = 0; k < s.binCount(); ++k) {
        const double f = k * df;
        if (f >= fminHz && f <= fmaxHz)
            sum += s.power[std::size_t(k)] * (k == 0 || 2 * k == s.size ? 1 : 2) / (s.rateHz * s.windowSquareSum);
    }
    return std::sqrt(sum * df) * s.valueScale;
}

QString valueUnit(const QString& axisTitle)
{
    const int comma = int(axisTitle.lastIndexOf(QLatin1Char(',')));
    if (comma < 0)
        return {};
    return axisTitle.mid(comma + 1).trimmed();
}

QString scaleUnit(SpectrumScale scale, const QString& unit)
{
    const QString u = unit.isEmpty() ? QStringLiteral("ед.") : unit;
    switch (scale) {
    case SpectrumScale::Amplitude:
    case SpectrumScale::Rms:
        return u;
    case SpectrumScale::Psd:
        return QStringLiteral("(%1)²/Гц").arg(u);
    case SpectrumScale::Asd:
        return QStringLiteral("%1/√Гц").arg(u);
    }
    return u;
}

Spectrogram computeSpectrogram(const double* values, qint64 count, const SpectrogramOptions& options,
                               double samplePeriodUs)
{
    Spectrogram out;
    WelchOptions wo = options.welch;
    if (wo.segment <= 0)
        wo.segment = 1024;
    const int step = std::max(1, wo.step);
    const qint64 n = count / step;
    const Segmentation g = segmentation(n, wo);
    if (g.count == 0 || g.length < 2 || !(samplePeriodUs > 0) || options.columns < 1 || options.rows < 1)
        return out;

    const double rate = rateOf(samplePeriodUs, step);
    const std::vector<double> window = windowCoefficients(wo.window, g.length);
    const PointReader read = arrayReader(values);
    const double valueScale = valueScaleOf(read, step, g);
    const double scaleDb = 20 * std::log10(valueScale);
    double s2 = 0;
    for (double v : window)
        s2 += v * v;
    const int bins = g.size / 2 + 1;
    out.size = g.size;
    out.columns = int(std::min<qint64>(options.columns, g.count));
    out.rows = std::min(options.rows, bins);
    out.segmentsPerColumn = int(g.count / out.columns);
    out.topHz = rate / 2;
    out.db.assign(std::size_t(out.rows) * std::size_t(out.columns), 0.0f);

    // Column c takes the segments [c * count / columns, (c + 1) * count / columns).
    auto firstSegment = [&](int c) { return qint64(c) * g.count / out.columns; };
    const double segmentSeconds = double(g.length) / rate;
    const double hopSeconds = double(g.hop) / rate;
    out.firstSecond = (double(firstSegment(0)) + double(firstSegment(1) - 1)) / 2 * hopSeconds + segmentSeconds / 2;
    out.columnSeconds = double(g.count) / out.columns * hopSeconds;

    const fftw_plan plan = PlanCache::instance().plan(g.size);
    auto work = [&](int firstColumn, int lastColumn) {
        Work w(g.size);
        std::vector<double> power(static_cast<std::size_t>(bins));
        for (int c = firstColumn; c < lastColumn; ++c) {
            std::fill(power.begin(), power.end(), 0.0);
            const qint64 a = firstSegment(c);
            const qint64 b = firstSegment(c + 1);
            for (qint64 i = a; i < b; ++i)
                addSegment(read, i * g.hop, step, valueScale, g, window, plan, w, power.data());
            const double scale = 2.0 / (rate * s2 * double(b - a));
            for (int r = 0; r < out.rows; ++r) {
                const int k0 = int(qint64(r) * bins / out.rows);
                const int k1 = std::max(k0 + 1, int(qint64(r + 1) * bins / out.rows));
                double strongest = 0;
                for (int k = k0; k < k1; ++k)
                    strongest = std::max(strongest, power[std::size_t(k)]);
                out.db[std::size_t(r) * std::size_t(out.columns) + std::size_t(c)] =
                    float(std::max(10 * std::log10(strongest * scale) + scaleDb, decibelFloor));
            }
        }
    };
    const int threads = std::clamp(options.threads, 1, out.columns);
    if (threads == 1) {
        work(0, out.columns);
    } else {
        // A failure in a helper thread (memory) is handed back to the caller
        // after all have finished, as if the work had been done here.
        std::vector<std::exception_ptr> failures(static_cast<std::size_t>(threads));
        std::vector<std::thread> pool;
        for (int t = 0; t < threads; ++t) {
            pool.emplace_back([&, t] {
                try {
                    work(out.columns * t / threads, out.columns * (t + 1) / threads);
                } catch (...) {
                    failures[std::size_t(t)] = std::current_exception();
                }
            });
        }
        for (std::thread& t : pool)
            t.join();
        for (const std::exception_ptr& f : failures)
            if (f)
                std::rethrow_exception(f);
    }

    bool any = false;
    for (float v : out.db) {
        if (!std::isfinite(v))
            continue;
        out.minDb = any ? std::min(out.minDb, v) : v;
        out.maxDb = any ? std::max(out.maxDb, v) : v;
        any = true;
    }
    return out;
}

} // namespace analysis
