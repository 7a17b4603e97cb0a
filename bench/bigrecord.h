#pragma once

// The record the benchmarks measure with: the largest the set-up allows, three channels.

#include <cmath>
#include <cstdint>
#include <vector>

#include "acquisition/measurementrecord.h"

namespace bench {

inline constexpr std::int64_t kFrames = 26843546;

// Three channels of a vibration with some noise; the pulse input toggles every 100 frames. The
// frames alone, as a record's stream or a file's data block holds them.
inline std::vector<char> vibrationFrames(std::int64_t frames)
{
    std::vector<char> bytes(std::size_t(frames) * 6);
    std::uint32_t noise = 12345;
    for (std::int64_t k = 0; k < frames; ++k) {
        noise = noise * 1664525u + 1013904223u;
        const double t = double(k) * 312.5e-6;
        const int n = int((noise >> 24) & 15) - 8;
        const int x = int(300 * std::sin(2 * M_PI * 7.3 * t)) + n;
        const int y = int(200 * std::sin(2 * M_PI * 13.1 * t + 1)) - n;
        const int z = 256 + int(60 * std::sin(2 * M_PI * 0.7 * t)) + n / 2;
        const bool pulse = (k / 100) % 2 == 1;
        const std::uint16_t w[3] = {std::uint16_t(x & 0x3FF), std::uint16_t(y & 0x3FF),
                                    std::uint16_t((z & 0x3FF) | (pulse ? 0x8000 : 0))};
        for (int c = 0; c < 3; ++c) {
            bytes[std::size_t(k * 6 + c * 2)] = char(w[c] & 0xFF);
            bytes[std::size_t(k * 6 + c * 2 + 1)] = char(w[c] >> 8);
        }
    }
    return bytes;
}

inline acq::MeasurementRecord makeRecord(std::int64_t frames)
{
    acq::MeasurementRecord r;
    r.samplePeriodUs = 312.5;
    r.axisK = {0.0039 * 981, 0.0039 * 981, 0.0039 * 981};
    r.axisC = {3, -2, 1};
    const std::vector<char> bytes = vibrationFrames(frames);
    r.clearForTransfer(std::uint32_t(bytes.size()));
    r.appendReceived(bytes.data(), bytes.size());
    return r;
}

} // namespace bench
