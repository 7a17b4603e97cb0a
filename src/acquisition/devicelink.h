#pragma once

// The board's command protocol on top of the device library. Every command is built in the
// 9-byte command buffer and sent in one write; a reply is never awaited: the program waits a
// fixed 4 ms (or lets a timer fire later) and then takes whatever one read of a fixed maximum
// length returns. Byte 0 of the buffer keeps the last command's code, and the receive timer
// decides by it what the bytes it reads mean.

#include "acquisition/devicelibrary.h"
#include "acquisition/measurementrecord.h"
#include "platform/ticks.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>

namespace acq {

namespace cmd {
inline constexpr std::uint8_t WriteRegister = 0x28;
inline constexpr std::uint8_t ReadRegister = 0x29;
inline constexpr std::uint8_t StartToComputer = 0x2B;
inline constexpr std::uint8_t StartToMemory = 0x2C;
inline constexpr std::uint8_t ReadMemoryBlock = 0x25;
inline constexpr std::uint8_t ExternalStartDelay = 0x2D;
inline constexpr std::uint8_t ClearProtection = 0x22;
} // namespace cmd

// Largest reads of the protocol: a register read-back, a protection-clear answer, and
// everything else (sample stream, memory blocks, the contact's delay).
inline constexpr std::uint32_t kRegisterReplyMax = 11;
inline constexpr std::uint32_t kProtectionReplyMax = 1;
inline constexpr std::uint32_t kBulkReplyMax = 65535;
inline constexpr std::uint32_t kCommandPauseMs = 4;
// What the accelerometer's register 0x00 holds: the board's identity for every probe.
inline constexpr std::uint8_t kDeviceId = 0xE5;
// The start command carries this in place of the delay when the contact on the board starts the run.
inline constexpr std::uint8_t kExternalStartMark = 0xFF;

struct StartParams {
    bool toMemory = false;
    ChannelSet channels;
    std::uint32_t samples = 0;
    int frequencyIndex = 0;
    int rangeIndex = 0;
    bool externalStart = false;
    int delayS = 0;
};

std::array<std::uint8_t, 9> startCommand(const StartParams& p);

// One register of the set-up written at every start: its address, value and the name its
// failure message gives it.
struct RegisterStep {
    std::uint8_t address;
    std::uint8_t value;
    const char* name; // UTF-8
};

// The six registers in the order they must be written: interrupts off, rate, range, interrupt
// map, data-ready interrupt on, measuring on.
std::array<RegisterStep, 6> registerSetup(std::uint8_t rateCode, std::uint8_t rangeIndex);

// "Не удалось передать команду <step> (<name>), проверьте подключение устройства."
QString sendFailedMessage(int step, const QString& name);
// The address in upper-case hexadecimal without prefix, as the operator's manual lists them.
QString registerMismatchMessage(std::uint8_t address);
// A message of the line's made into a remark inside the program's own sentence: no closing full
// stop, a capitalised first word lowered ("Порт …" → "порт …"); an abbreviation or a name of
// capitals keeps them ("USB-устройство …").
QString asRemark(QString text);

// The protection clear succeeded only when the read went through and its first byte is '@'.
bool protectionCleared(int readStatus, const QByteArray& reply);

class DeviceLink {
  public:
    DeviceLink(DeviceLibrary& library, platform::TickSource& ticks) : library_(library), ticks_(ticks) {}

    std::array<std::uint8_t, 9> commandBuffer{};
    // The program never opens the device; the library finds the board by itself.
    const std::uint32_t deviceHandle = 0;
    std::uint8_t lastStatus = 0;
    std::uint32_t bytesWritten = 0;

    // Writes count bytes in one transfer, then waits 4 ms on the tick counter before the next
    // command may follow. Returns the status byte, 0 when the command went out.
    std::uint8_t SendCmd(const std::uint8_t* bytes, std::uint32_t count);
    std::uint8_t SendCmd(std::uint32_t count) { return SendCmd(commandBuffer.data(), count); }

    // Reads one accelerometer register back. nullopt when the request or its read failed or
    // brought nothing: no value read can then be mistaken for the one just written.
    std::optional<std::uint8_t> CheckAxRg(std::uint8_t address);

    enum class RegisterResult { Written, NotSent, Mismatch };
    // Write-and-verify of one register through the command buffer.
    RegisterResult writeRegister(std::uint8_t address, std::uint8_t value);

    // One read of at most maxBytes; the status goes to lastStatus. A failed read yields nothing.
    QByteArray readReply(std::uint32_t maxBytes);
    // The same, taking only what has arrived: a poll that comes back later never waits.
    QByteArray readNow(std::uint32_t maxBytes);

    std::uint8_t close();
    void pause() { platform::busyWaitMs(ticks_, kCommandPauseMs); }

    DeviceLibrary& library() { return library_; }

  private:
    DeviceLibrary& library_;
    platform::TickSource& ticks_;
};

} // namespace acq
