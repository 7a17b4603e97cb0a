#pragma once

// The device library the program talks to the board through: three calls, SI_Write, SI_Read and
// SI_Close, each taking a device handle and returning a status (0 = success). The program never
// opens the device: every call passes handle 0 and the library finds the board by itself.
//
// What actually answers is a backend: the built-in simulated board, a board on a serial line,
// or a board reached over USB bulk endpoints. Callers only ever see the three calls, so a new backend changes nothing for them.

#include <QString>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

namespace acq {

// Status values of the library. Only 0 means success; the program keeps the low byte of
// whatever comes back and reports any non-zero value with its own message.
namespace si {
inline constexpr int Success = 0x00;
inline constexpr int InvalidHandle = 0x01;
inline constexpr int ReadError = 0x02;
inline constexpr int WriteError = 0x03;
inline constexpr int InvalidParameter = 0x04;
inline constexpr int DeviceNotFound = 0xFF;
} // namespace si

// One way of reaching a board. Calls never block for long: a read hands over what the board has
// ready at that moment, up to the maximum asked for.
class DeviceBackend {
  public:
    virtual ~DeviceBackend();
    // Sends count bytes as one transfer and reports how many went out.
    virtual int write(const std::uint8_t* bytes, std::uint32_t count, std::uint32_t& written) = 0;
    // Copies at most max bytes of what the board has sent into buffer; got says how many.
    virtual int read(std::uint8_t* buffer, std::uint32_t max, std::uint32_t& got) = 0;
    virtual int close() = 0;
    // For the operator and for diagnostics: which board this is.
    virtual QString description() const = 0;
    // Why the last call failed, in the operator's words, when the backend knows more than its
    // status says (a port that is missing or not accessible); empty otherwise.
    virtual QString lastError() const { return {}; }

    // A line whose bytes come over time (a serial port, USB bulk endpoints). The program awaits
    // a reply through the message loop, up to replyTimeout, instead of a read that stops the
    // window; a memory block is given the time the line needs to carry it. None for a board that
    // answers at once (the simulated one): a reply is there when the command has gone.
    struct LineTiming {
        std::chrono::milliseconds replyTimeout{0};
        std::uint32_t bytesPerSecond = 0; // 0: not known
    };
    virtual std::optional<LineTiming> lineTiming() const { return std::nullopt; }
    // Bytes received and not read yet.
    virtual std::size_t pendingBytes() const { return 0; }
    // The line was seen to drop; the next read reports why, after the bytes that came before.
    virtual bool lineLost() const { return false; }
    // A read that hands over what is there and never waits for more.
    virtual int readNow(std::uint8_t* buffer, std::uint32_t max, std::uint32_t& got) { return read(buffer, max, got); }
    // The built-in simulated board: its samples are no measurement, and the window says so.
    virtual bool simulated() const { return false; }
};

// No board configured or the configured one cannot be reached: every call fails, so each
// command the program sends is reported with its own message.
class NoBoard : public DeviceBackend {
  public:
    // hint, when given, is what the operator reads below each failed command's message.
    explicit NoBoard(QString why, QString hint = {}) : why_(std::move(why)), hint_(std::move(hint)) {}
    int write(const std::uint8_t*, std::uint32_t, std::uint32_t& written) override;
    int read(std::uint8_t*, std::uint32_t, std::uint32_t& got) override;
    int close() override { return si::DeviceNotFound; }
    QString description() const override { return why_; }
    QString lastError() const override { return hint_; }

  private:
    QString why_;
    QString hint_;
};

class DeviceLibrary {
  public:
    explicit DeviceLibrary(std::unique_ptr<DeviceBackend> backend);
    ~DeviceLibrary();

    // The library's three calls. overlapped must be null: transfers are never asynchronous.
    // The count out-parameters are always set (0 on failure) when they are given.
    int SI_Write(std::uint32_t handle, const void* buffer, std::uint32_t bytesToWrite,
                 std::uint32_t* bytesWritten, void* overlapped);
    int SI_Read(std::uint32_t handle, void* buffer, std::uint32_t bytesToRead, std::uint32_t* bytesReturned,
                void* overlapped);
    int SI_Close(std::uint32_t handle);
    // SI_Read that does not wait for a reply still on its way (used by polls that come back).
    int readNow(void* buffer, std::uint32_t bytesToRead, std::uint32_t* bytesReturned);

    DeviceBackend& backend() { return *backend_; }
    const DeviceBackend& backend() const { return *backend_; }
    // A line backend given up here ends on a thread of its own: its line may still be busy with a
    // send or an open the window must not wait for.
    void setBackend(std::unique_ptr<DeviceBackend> backend);

  private:
    int readFrom(bool wait, void* buffer, std::uint32_t bytesToRead, std::uint32_t* bytesReturned);

    std::unique_ptr<DeviceBackend> backend_;
    std::vector<std::thread> retiring_;
};

} // namespace acq
