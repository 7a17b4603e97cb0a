#include "display/livetrace.h"

#include <algorithm>
#include <cmath>

namespace display {

std::optional<LiveStretch> liveStretch(std::uint64_t receivedBytes, std::uint64_t expectedBytes, int channels,
                                       double samplePeriodUs, double spanSeconds)
{
    if (channels <= 0)
        return std::nullopt;
    LiveStretch s;
    s.lastFrame = acq::wholeFrames(receivedBytes, channels) - 1;
    if (s.lastFrame < 1)
        return std::nullopt;
    const std::int64_t runLast = std::max(s.lastFrame, acq::wholeFrames(expectedBytes, channels) - 1);
    const double span = samplePeriodUs > 0 && std::isfinite(samplePeriodUs)
                            ? std::round(spanSeconds * 1e6 / samplePeriodUs)
                            : 32000.0;
    const std::int64_t spanFrames = std::max<std::int64_t>(2, std::int64_t(std::min(span, 1e12)));
    if (runLast <= spanFrames) {
        s.axisFirst = 0;
        s.axisLast = runLast;
    } else {
        s.axisLast = std::max(s.lastFrame, spanFrames);
        s.axisFirst = s.axisLast - spanFrames;
    }
    s.firstFrame = std::max<std::int64_t>(1, s.axisFirst);
    return s;
}

std::optional<LivePicture> buildLivePicture(const ChartInput& input, std::uint64_t expectedBytes,
                                            const ChartOptions& options, const std::array<bool, 4>& shown)
{
    const int m = options.channels.count();
    const auto stretch = liveStretch(input.size, expectedBytes, m, input.samplePeriodUs);
    if (!stretch || input.bytes == nullptr)
        return std::nullopt;
    // The stretch from the frame before its first plotted one: the build skips that frame in the
    // signal series as it skips frame 0, and the pulse trace starts with it.
    const std::uint64_t frameBytes = 2u * std::uint64_t(m);
    ChartInput part = input;
    part.bytes = input.bytes + std::uint64_t(stretch->firstFrame - 1) * frameBytes;
    part.size = std::uint64_t(stretch->lastFrame - stretch->firstFrame + 2) * frameBytes;
    ChartOptions o = options;
    o.degrees = false;

    LivePicture p;
    p.signal = buildSignalSeries(part, o);
    for (auto& s : p.signal.channels)
        s.setFirstIndex(stretch->firstFrame);
    p.signal.modulus.setFirstIndex(stretch->firstFrame);
    if (const auto levels = pulseLevels({0.0, 0.0}, autoValueRange(p.signal, shown))) {
        p.pulse = buildPulseTrace(part, o, *levels);
        p.pulse.setFirstIndex(stretch->firstFrame - 1);
    }
    UniformAxis axis;
    if (isTimeView(options.view)) {
        axis.numerator = input.samplePeriodUs;
        axis.denominator = timeUnitDivisor(options.timeUnit);
    }
    p.bottom = {axis.x(stretch->axisFirst), axis.x(stretch->axisLast)};
    return p;
}

} // namespace display
