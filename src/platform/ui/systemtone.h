#pragma once

#include "platform/tone.h"

namespace platform {

// The machine's own tone: played on the default sound output through ALSA where the machine
// has one, else the windowing system's bell. Either way beep() returns only when durationMs
// have passed, as the callers expect of a synchronous beep.
class SystemTone : public ToneGenerator {
  public:
    void beep(int frequencyHz, int durationMs) override;

    // Plays the tone and waits for it; false when there is no usable sound output.
    static bool playTone(int frequencyHz, int durationMs);
};

} // namespace platform
