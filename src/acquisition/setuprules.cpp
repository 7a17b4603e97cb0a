#include "acquisition/setuprules.h"

#include "acquisition/measurementrecord.h"
#include "platform/numtext.h"

#include <algorithm>

namespace acq {

namespace {

std::int64_t timeFor(std::int64_t samples, double rateHz)
{
    return platform::roundHalfEven(double(samples) / rateHz * 1000.0);
}

std::int64_t samplesFor(std::int64_t timeMs, double rateHz)
{
    return platform::roundHalfEven(double(timeMs) * rateHz / 1000.0);
}

} // namespace

FTValues reconcileFT(FTDirection direction, double rateHz, FTValues v, bool toMemory, int channelCount)
{
    // The intermediate values are kept unclamped so that the limits below see what the
    // formulas gave: a time computed beyond the field's maximum must still bring N down with it.
    if (rateHz > 0) {
        if (direction == FTDirection::TimeFromSamples)
            v.timeMs = timeFor(v.samples, rateHz);
        else if (direction == FTDirection::SamplesFromTime)
            v.samples = samplesFor(v.timeMs, rateHz);

        // No channel means nothing to store, so there is no capacity to respect.
        if (toMemory && channelCount > 0) {
            const std::int64_t limit = std::int64_t(memorySampleLimit(channelCount));
            if (v.samples > limit) {
                v.samples = limit;
                v.timeMs = timeFor(v.samples, rateHz);
            }
        }
        if (v.samples > kMaxSamples) {
            v.samples = kMaxSamples;
            v.timeMs = timeFor(v.samples, rateHz);
        }
        if (v.timeMs > kMaxTimeMs) {
            v.timeMs = kMaxTimeMs;
            v.samples = samplesFor(v.timeMs, rateHz);
        }
    }
    v.timeMs = std::clamp(v.timeMs, kMinTimeMs, kMaxTimeMs);
    v.samples = std::clamp(v.samples, kMinSamples, kMaxSamples);
    return v;
}

QString timeBreakdownText(std::int64_t timeMs, QChar decimalSeparator)
{
    const std::int64_t m = timeMs / 60000;
    const std::int64_t s = (timeMs - 60000 * m) / 1000;
    const std::int64_t r = timeMs - 60000 * m - 1000 * s;
    return QStringLiteral("%1 мин %2 c %3 мс")
        .arg(m, 2)
        .arg(s, 2)
        .arg(platform::fixedText(double(r), 3, decimalSeparator));
}

std::int64_t halved(std::int64_t value)
{
    return platform::roundHalfEven(double(value) / 2.0);
}

} // namespace acq
