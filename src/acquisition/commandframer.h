#pragma once

// Over a serial line the board's commands arrive as a plain byte stream; nothing marks where one
// ends. The code byte says how long its command is, so the stream is cut into commands by it.
// A board's side of the line (the emulator) uses this; the program sends one command per write.

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace acq {

// Length of the command that begins with code, parameters included. An unknown code counts as a
// command of its own, one byte long, which the board ignores: a stray byte costs one byte, not
// the commands after it.
std::size_t commandLength(std::uint8_t code);

class CommandFramer {
  public:
    // Appends every command the bytes complete.
    void feed(const std::uint8_t* bytes, std::size_t count, std::vector<QByteArray>& commands);
    // Drops a command left incomplete (its sender stopped in the middle of it).
    void reset() { partial_.clear(); }
    bool hasPartial() const { return !partial_.isEmpty(); }

  private:
    QByteArray partial_;
};

} // namespace acq
