#pragma once

// What a real board has sent and the program has not read yet. A reader thread drains the line
// into it continuously, so polls seconds apart lose nothing however fast the board streams; the
// GUI thread takes from it. It is bounded: a program that stops reading must not make it grow
// until memory runs out, so bytes beyond the bound are dropped and the overflow is reported.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>

namespace acq {

class ReceiveBuffer {
  public:
    explicit ReceiveBuffer(std::size_t limitBytes = kDefaultLimit) : limit_(limitBytes) {}

    static constexpr std::size_t kDefaultLimit = std::size_t(64) << 20;

    // Reader side.
    void push(const std::uint8_t* bytes, std::size_t count);
    // The line is gone (unplugged, I/O error); what arrived before stays readable.
    void fail(std::string why);

    struct Taken {
        std::size_t count = 0;
        bool overflowed = false; // bytes were dropped since the last take
        bool failed = false;     // the line is gone and nothing more will come
        std::string why;
    };
    // Takes at most max bytes. When nothing is there, waits up to firstByteWait for the first
    // byte; once bytes are coming, goes on taking while the next ones follow within quietGap, so a
    // reply of a few bytes comes whole. Never waits when bytes are already there: a streaming
    // board is never quiet and a poll must not wait for it.
    Taken take(std::uint8_t* out, std::size_t max, std::chrono::milliseconds firstByteWait,
               std::chrono::milliseconds quietGap = std::chrono::milliseconds(0));

    // Drops the bytes waiting (not a failure, nor an overflow still to be reported). When there
    // were some and the last came less than quiet ago, the line is still busy (the tail of a stream
    // the board is ending) and those on their way are dropped too: it waits until the line has been
    // quiet that long, at most limit.
    void discard(std::chrono::milliseconds quiet = std::chrono::milliseconds(0),
                 std::chrono::milliseconds limit = std::chrono::milliseconds(0));
    // The line is gone (whether or not bytes are still waiting).
    bool failed() const;
    // Forgets everything, including a failure (a new line is being opened).
    void reset();
    std::size_t size() const;

  private:
    std::size_t copyOut(std::uint8_t* out, std::size_t max);

    mutable std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<std::uint8_t> bytes_;
    std::size_t limit_;
    std::chrono::steady_clock::time_point lastArrival_{};
    bool overflowed_ = false;
    bool failed_ = false;
    std::string why_;
};

} // namespace acq
