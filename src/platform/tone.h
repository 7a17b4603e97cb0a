#pragma once

// The tone generator behind Beep(frequency, duration): a short tone the operator hears when he
// marks the points of an interval. Callers wait for it: beep() returns when the tone is over.

#include <cstdint>
#include <utility>
#include <vector>

namespace platform {

class ToneGenerator {
  public:
    virtual ~ToneGenerator();
    // Sounds frequencyHz for durationMs and returns when that time has passed.
    virtual void beep(int frequencyHz, int durationMs) = 0;
};

// Records the beeps instead of sounding them, for tests; returns at once.
class RecordingTone : public ToneGenerator {
  public:
    void beep(int frequencyHz, int durationMs) override { beeps.emplace_back(frequencyHz, durationMs); }
    std::vector<std::pair<int, int>> beeps;
};

// A sine tone as signed 16-bit mono samples at sampleRate, faded in and out over a few
// milliseconds so that it starts and stops without a click.
std::vector<std::int16_t> toneSamples(int frequencyHz, int durationMs, int sampleRate);

} // namespace platform
