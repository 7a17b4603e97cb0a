#include "analysis/fft.h"

#include <algorithm>
#include <cmath>
#include <memory>

namespace analysis {

namespace {

// The twiddle step of each stage comes from this constant in extended precision,
// so the one cosine and sine per stage are as exact as the platform allows.
constexpr long double kPi = 3.14159265358979323846L;

// Neighbouring twiddle indices done together in the long strides of the first
// stages: four cache lines of doubles.
constexpr int kBlock = 32;

// Below this magnitude the squares of the parts fall out of the normal range
// and lose precision (about the square root of the smallest normal double).
constexpr double kSmallestExactMagnitude = 1.5e-154;

inline void butterfly(double* r, double* c, int p, int q, double ur, double ui)
{
    const double tr = r[p] + r[q];
    const double ti = c[p] + c[q];
    const double dr = r[p] - r[q];
    const double di = c[p] - c[q];
    r[q] = dr * ur - di * ui;
    c[q] = di * ur + dr * ui;
    r[p] = tr;
    c[p] = ti;
}

// U := U * S, both parts from the old values.
inline void advance(double& ur, double& ui, double sr, double si)
{
    const double nextRe = ur * sr - ui * si;
    ui = ui * sr + ur * si;
    ur = nextRe;
}

} // namespace

void FFTAmplitude(quint16 exponent, const double* samples, qint32 step, qint32 count, double* out)
{
    const int m = std::min<int>(exponent, fftMaxExponent);
    int size = 1;
    for (int s = 0; s < m; ++s)
        size *= 2;

    const qint32 taken = (step >= 1 && count >= 0) ? std::min<qint32>(count / step, fftWorkCapacity) : 0;
    if (taken == 0) {
        // No value to take: the mean is undefined, and there is no signal to show.
        std::fill(out, out + size, 0.0);
        return;
    }

    // The work arrays are owned here, so they are released on every way out,
    // an exception from the allocation of the second one included.
    const std::unique_ptr<double[]> re(new double[fftWorkCapacity]);
    const std::unique_ptr<double[]> im(new double[fftWorkCapacity]);
    std::fill(re.get(), re.get() + fftWorkCapacity, 0.0);
    std::fill(im.get(), im.get() + size, 0.0);

    double sum = 0;
    for (qint32 i = 0; i < taken; ++i) {
        const double v = samples[qint64(i) * step];
        re[i] = v;
        sum += v;
    }
    const double mean = sum / taken;
    for (qint32 i = 0; i < taken; ++i)
        re[i] -= mean;

    // Decimation in frequency (Sande-Tukey), in place over the first `size`
    // entries; the result comes out in bit-reversed order. The twiddle of index
    // j is e^(-2*pi*i*j/span), made by multiplying the running twiddle by the
    // stage's step once per index.
    //
    // The butterflies of a stage touch disjoint pairs, so their order does not
    // change the result. Where a stage has many indices, kBlock neighbouring
    // indices are done together for every group: the strides are powers of
    // two, and walking one index at a time through the whole array would hit
    // the same few cache sets again and again. The twiddles of a block are the
    // next kBlock values of the same recurrence, in the same order.
    double* const r = re.get();
    double* const c = im.get();
    for (int stage = 1; stage <= m; ++stage) {
        const int span = 1 << (m - stage + 1);
        const int half = span / 2;
        const double stepRe = static_cast<double>(std::cos(kPi / half));
        const double stepIm = static_cast<double>(-std::sin(kPi / half));
        double ur = 1;
        double ui = 0;
        if (half < kBlock) {
            for (int j = 0; j < half; ++j) {
                for (int p = j; p < size; p += span)
                    butterfly(r, c, p, p + half, ur, ui);
                advance(ur, ui, stepRe, stepIm);
            }
            continue;
        }
        double wr[kBlock];
        double wi[kBlock];
        for (int j0 = 0; j0 < half; j0 += kBlock) {
            for (int b = 0; b < kBlock; ++b) {
                wr[b] = ur;
                wi[b] = ui;
                advance(ur, ui, stepRe, stepIm);
            }
            for (int p0 = j0; p0 < size; p0 += span) {
                for (int b = 0; b < kBlock; ++b)
                    butterfly(r, c, p0 + b, p0 + b + half, wr[b], wi[b]);
            }
        }
    }

    // Bit reversal by the counter method (1-based counters).
    int j = 1;
    for (int i = 1; i < size; ++i) {
        if (i < j) {
            std::swap(r[i - 1], r[j - 1]);
            std::swap(c[i - 1], c[j - 1]);
        }
        int k = size / 2;
        while (k < j) {
            j -= k;
            k /= 2;
        }
        j += k;
    }

    // The fixed 32768 (not N) and the division by the span keep a cosine's
    // amplitude whatever the padding.
    for (int k = 0; k < size; ++k) {
        const double m = std::sqrt(r[k] * r[k] + c[k] * c[k]);
        double a = m * 2 / size * step * 65536 / 2 / count;
        if (!std::isfinite(a) || !(m > kSmallestExactMagnitude)) {
            // The squares overflowed (parts beyond about 1e154), or lost their
            // digits below the normal range, or the scaling ran over: the
            // scaled magnitude has none of these problems, and the factor taken
            // whole cannot overflow. Everywhere else the plain form is kept, so
            // ordinary spectra stay the same to the last bit.
            a = std::hypot(r[k], c[k]) * (2.0 / size * step * 65536 / 2 / count);
        }
        out[k] = a;
    }
    out[0] /= 2;
}

} // namespace analysis
