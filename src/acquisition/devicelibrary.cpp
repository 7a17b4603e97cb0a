#include "acquisition/devicelibrary.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace acq {

DeviceBackend::~DeviceBackend() = default;

int NoBoard::write(const std::uint8_t*, std::uint32_t, std::uint32_t& written)
{
    written = 0;
    return si::DeviceNotFound;
}

int NoBoard::read(std::uint8_t*, std::uint32_t, std::uint32_t& got)
{
    got = 0;
    return si::DeviceNotFound;
}

DeviceLibrary::DeviceLibrary(std::unique_ptr<DeviceBackend> backend) : backend_(std::move(backend))
{
    if (!backend_)
        backend_ = std::make_unique<NoBoard>(QStringLiteral("плата не выбрана"));
}

DeviceLibrary::~DeviceLibrary()
{
    for (std::thread& t : retiring_)
        t.join();
}

void DeviceLibrary::setBackend(std::unique_ptr<DeviceBackend> backend)
{
    std::unique_ptr<DeviceBackend> old =
        std::exchange(backend_, backend ? std::move(backend) : std::make_unique<NoBoard>(QStringLiteral("плата не выбрана")));
    if (old && old->lineTiming())
        retiring_.emplace_back([old = std::move(old)]() mutable { old.reset(); });
}

// The calls form a C-like boundary: whatever goes wrong inside a backend (a serial port that
// vanishes and throws, a bad allocation) comes back as a status, never as an exception, so the
// callers' "non-zero means failed" handling covers every failure.

int DeviceLibrary::SI_Write(std::uint32_t handle, const void* buffer, std::uint32_t bytesToWrite,
                            std::uint32_t* bytesWritten, void* overlapped)
{
    if (bytesWritten)
        *bytesWritten = 0;
    if (handle != 0)
        return si::InvalidHandle;
    if (overlapped || (!buffer && bytesToWrite > 0))
        return si::InvalidParameter;
    std::uint32_t written = 0;
    int status = si::WriteError;
    try {
        status = backend_->write(static_cast<const std::uint8_t*>(buffer), bytesToWrite, written);
    } catch (...) {
        return si::WriteError;
    }
    if (bytesWritten)
        *bytesWritten = std::min(written, bytesToWrite);
    return status;
}

int DeviceLibrary::SI_Read(std::uint32_t handle, void* buffer, std::uint32_t bytesToRead,
                           std::uint32_t* bytesReturned, void* overlapped)
{
    if (bytesReturned)
        *bytesReturned = 0;
    if (handle != 0)
        return si::InvalidHandle;
    if (overlapped)
        return si::InvalidParameter;
    return readFrom(true, buffer, bytesToRead, bytesReturned);
}

int DeviceLibrary::readNow(void* buffer, std::uint32_t bytesToRead, std::uint32_t* bytesReturned)
{
    if (bytesReturned)
        *bytesReturned = 0;
    return readFrom(false, buffer, bytesToRead, bytesReturned);
}

int DeviceLibrary::readFrom(bool wait, void* buffer, std::uint32_t bytesToRead, std::uint32_t* bytesReturned)
{
    if (!buffer && bytesToRead > 0)
        return si::InvalidParameter;
    std::uint32_t got = 0;
    int status = si::ReadError;
    try {
        auto* out = static_cast<std::uint8_t*>(buffer);
        status = wait ? backend_->read(out, bytesToRead, got) : backend_->readNow(out, bytesToRead, got);
    } catch (...) {
        return si::ReadError;
    }
    // A backend claiming more than the buffer holds would make the caller read past it.
    if (bytesReturned)
        *bytesReturned = std::min(got, bytesToRead);
    return status;
}

int DeviceLibrary::SI_Close(std::uint32_t handle)
{
    if (handle != 0)
        return si::InvalidHandle;
    try {
        return backend_->close();
    } catch (...) {
        return si::DeviceNotFound;
    }
}

} // namespace acq
