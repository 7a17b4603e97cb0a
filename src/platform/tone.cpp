#include "platform/tone.h"

#include <algorithm>
#include <cmath>

namespace platform {

ToneGenerator::~ToneGenerator() = default;

std::vector<std::int16_t> toneSamples(int frequencyHz, int durationMs, int sampleRate)
{
    if (frequencyHz <= 0 || durationMs <= 0 || sampleRate <= 0)
        return {};
    const auto n = std::size_t(std::int64_t(sampleRate) * durationMs / 1000);
    const std::size_t fade = std::min<std::size_t>(std::size_t(sampleRate) * 5 / 1000, n / 2);
    std::vector<std::int16_t> s(n);
    constexpr double kAmplitude = 0.4 * 32767;
    const double step = 2 * M_PI * frequencyHz / sampleRate;
    for (std::size_t i = 0; i < n; ++i) {
        double gain = 1.0;
        if (i < fade)
            gain = double(i) / double(fade);
        else if (n - 1 - i < fade)
            gain = double(n - 1 - i) / double(fade);
        s[i] = std::int16_t(std::lround(kAmplitude * gain * std::sin(step * double(i))));
    }
    return s;
}

} // namespace platform
