#pragma once

#include <QtGlobal>

namespace analysis {

// The transform size the spectrum always asks for, and the capacity of the work
// arrays: the transform size and the number of values taken are both limited to it.
inline constexpr int fftSpectrumExponent = 15;
inline constexpr int fftSpectrumSize = 1 << fftSpectrumExponent; // 32768
inline constexpr int fftWorkCapacity = 65536;
inline constexpr int fftMaxExponent = 16;

// One-sided amplitude spectrum of a strided block of values.
//
// Takes n = count div step values, those at offsets 0, step, ..., (n-1)*step of
// samples, removes their mean, pads them with zeros to N = 2^exponent points,
// runs a radix-2 decimation-in-frequency transform (twiddles from a complex
// recurrence, one cosine and one sine per stage), puts the bins into natural
// order and writes
//     out[k] = |X[k]| * 2 / N * step * 32768 / count   (out[0] halved)
// for k = 0 ... N-1. The fixed 32768 and the division by count (the span of the
// block, not n) make it the amplitude of a cosine for N = 32768 whatever the
// padding.
//
// out must hold at least N doubles. Nothing is ever read or written beyond the
// work capacity: an exponent above 16 is taken as 16, and of more than 65536
// values only the first 65536 are taken. When no value is taken at all (count
// below step, a step below 1) every amplitude is 0.
void FFTAmplitude(quint16 exponent, const double* samples, qint32 step, qint32 count, double* out);

} // namespace analysis
