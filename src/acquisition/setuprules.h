#pragma once

// The rules that keep sampling frequency F, measuring time T (ms) and number of samples N
// consistent: N = T × F / 1000, within the limits of the set-up and of the board's memory.

#include <QChar>
#include <QString>

#include <cstdint>

namespace acq {

// Bounds of the set-up's time and sample-count fields.
inline constexpr std::int64_t kMinTimeMs = 1;
inline constexpr std::int64_t kMaxTimeMs = 20970880;
inline constexpr std::int64_t kMinSamples = 1;
inline constexpr std::int64_t kMaxSamples = 26843546;

// Which of T and N the operator just set; the other one follows. LimitsOnly leaves both and
// only applies the limits (a change of the recording target, for instance).
enum class FTDirection { TimeFromSamples, SamplesFromTime, LimitsOnly };

struct FTValues {
    std::int64_t timeMs = 0;
    std::int64_t samples = 0;
    friend bool operator==(const FTValues&, const FTValues&) = default;
};

// Reconciles T and N for frequency rateHz. toMemory applies the memory's capacity for
// channelCount channels; with no channel there is nothing to store and no memory limit. The
// results lie within the fields' bounds.
FTValues reconcileFT(FTDirection direction, double rateHz, FTValues current, bool toMemory, int channelCount);

// T written out for the operator: "%2d мин %2d c %0.3f мс" (the c is Latin), minutes and
// seconds truncated, the milliseconds with three decimals and the given separator.
QString timeBreakdownText(std::int64_t timeMs, QChar decimalSeparator);

// Halving by the arrow buttons: to the nearest integer, ties to even (5 -> 2, 7 -> 4).
std::int64_t halved(std::int64_t value);

} // namespace acq
