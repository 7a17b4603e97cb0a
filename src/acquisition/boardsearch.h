#pragma once

// With no board configured the program looks for a real one; when none answers, it has no board
// (the simulated one is used only when chosen: its plausible record must never be taken for a
// measurement). The search runs on a thread of its own, started with
// the window; a call made before it has ended waits for it briefly, then fails with a word of why,
// as a link still opening does: the window is never held for the search.

#include "acquisition/devicelibrary.h"
#include "acquisition/serialline.h"
#include "acquisition/streambackend.h"
#include "acquisition/usbboard.h"

#include <QStringList>

#include <chrono>
#include <functional>
#include <future>
#include <memory>

namespace acq {

// The USB serial bridges whose ports the search may probe when the configuration names none.
QStringList knownBridgeIds();

// A real board found where the configuration points, identified by the device-ID probe: the
// serial ports of the listed (else the known) bridges, then a configured USB device. nullptr
// when none answers.
std::unique_ptr<DeviceBackend> findRealBoard(const SerialSettings& serial, const UsbSettings& usb,
                                             const StreamOptions& stream);

class BoardSearch : public DeviceBackend {
  public:
    using Search = std::function<std::unique_ptr<DeviceBackend>()>;
    using Fallback = std::function<std::unique_ptr<DeviceBackend>()>;
    // search runs on its own thread; fallback (on the caller's thread) gives the board to use
    // when it found none.
    BoardSearch(Search search, Fallback fallback);
    ~BoardSearch() override;

    int write(const std::uint8_t* bytes, std::uint32_t count, std::uint32_t& written) override;
    int read(std::uint8_t* buffer, std::uint32_t max, std::uint32_t& got) override;
    int close() override;
    QString description() const override;
    QString lastError() const override;
    bool simulated() const override;

    // The search has ended (the board is known); never waits.
    bool finished() const;

    // The board found is a line: its replies are awaited through the message loop, not by a read
    // that holds the window. None of these waits for the search.
    std::optional<LineTiming> lineTiming() const override;
    std::size_t pendingBytes() const override;
    bool lineLost() const override;
    int readNow(std::uint8_t* buffer, std::uint32_t max, std::uint32_t& got) override;

    // How long a call waits for a search still running; with the line's own wait after it, a call
    // stays under what the operator feels as a frozen window.
    static constexpr std::chrono::milliseconds kCallWait{60};

  private:
    // The board, once the search has ended (nullptr before; a call waits kCallWait for it). The
    // first call after a search that found nothing takes the fallback.
    DeviceBackend* board(std::chrono::milliseconds wait) const;

    mutable std::future<std::unique_ptr<DeviceBackend>> search_;
    Fallback fallback_;
    mutable std::unique_ptr<DeviceBackend> board_;
};

} // namespace acq
