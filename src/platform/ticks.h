#pragma once

// The millisecond tick counter the device link times its waits with. It is a 32-bit count
// that wraps every 49.7 days, so every comparison of two readings goes through ticksSince().

#include <cstdint>

namespace platform {

class TickSource {
  public:
    virtual ~TickSource();
    virtual std::uint32_t now() = 0;
};

// Milliseconds of the monotonic clock, truncated to 32 bits: it never jumps with the wall
// clock and wraps like the counter the board's timing was designed around.
class SystemTicks : public TickSource {
  public:
    std::uint32_t now() override;
};

// A hand-driven counter for tests. With auto-advance, every reading moves the counter on by
// the given step after returning, so a busy-wait on it ends after a known number of reads.
class ManualTicks : public TickSource {
  public:
    explicit ManualTicks(std::uint32_t start = 0) : ticks_(start) {}

    std::uint32_t now() override;
    void set(std::uint32_t ticks) { ticks_ = ticks; }
    void advance(std::uint32_t ms) { ticks_ += ms; } // wraps modulo 2^32
    void setAutoAdvance(std::uint32_t msPerRead) { autoAdvance_ = msPerRead; }
    std::uint64_t reads() const { return reads_; }

  private:
    std::uint32_t ticks_;
    std::uint32_t autoAdvance_ = 0;
    std::uint64_t reads_ = 0;
};

// Milliseconds from earlier to now, correct across one wrap of the counter.
constexpr std::uint32_t ticksSince(std::uint32_t earlier, std::uint32_t now)
{
    return now - earlier;
}

// Reads the counter once, then keeps reading until at least ms have passed since that first
// reading. Blocks the caller; meant for the few milliseconds a board command needs.
void busyWaitMs(TickSource& ticks, std::uint32_t ms);

} // namespace platform
