#pragma once

// The picture of a run while its samples are still arriving: after each poll the chart shows the
// stream received so far. Only the latest stretch is decoded, so an update costs the same
// whether a few seconds or an hour have arrived; the full chart is built at the end as always.

#include "display/chartbuild.h"

#include <optional>

namespace display {

// The live picture shows at most this many seconds: all of a short run, growing from the left,
// or the latest seconds of a long one, scrolling.
constexpr double kLiveSpanSeconds = 10.0;

struct LiveStretch {
    std::int64_t firstFrame = 1; // the first frame plotted in X, Y, Z and IaI
    std::int64_t lastFrame = 0;  // the last whole frame received
    std::int64_t axisFirst = 0;  // the frames the bottom axis spans
    std::int64_t axisLast = 0;
};

// The stretch to show with receivedBytes of a run of expectedBytes in; none while fewer than two
// whole frames have arrived (frame 0 is never plotted).
std::optional<LiveStretch> liveStretch(std::uint64_t receivedBytes, std::uint64_t expectedBytes, int channels,
                                       double samplePeriodUs, double spanSeconds = kLiveSpanSeconds);

struct LivePicture {
    SignalSeries signal; // X, Y, Z, IaI of the stretch, each point at its frame's x
    PulseTrace pulse;    // empty when the shown series give no pulse levels
    ValueRange bottom;   // the bottom axis's range
};

// The series of the stretch in the chosen view, decoded as the full build decodes them (the
// smoothing starts afresh at the stretch's first frame). The pulse trace takes the shown series'
// range as its levels and carries no degree labels.
std::optional<LivePicture> buildLivePicture(const ChartInput& input, std::uint64_t expectedBytes,
                                            const ChartOptions& options,
                                            const std::array<bool, 4>& shown = {true, true, true, true});

} // namespace display
