#pragma once

// A board on a serial line: /dev/ttyUSB*, /dev/ttyACM*, or any path that behaves as a terminal
// (a pseudo-terminal of the board emulator). The line is raw 8N1: no echo, no line discipline,
// no character translation; hardware flow control only when configured.

#include "acquisition/streambackend.h"
#include "platform/ticks.h"

#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace acq {

struct SerialSettings {
    QString port; // a path, or empty / "auto" to find the board
    int baud = 921600;
    bool hardwareFlowControl = false;
    // With Port=auto, serial ports of USB devices are probed only when their IDs are listed here
    // ("0403:6001"): bytes are never sent to a device nobody named.
    QStringList usbIds;
    // Where Port=auto looks (glob patterns).
    QStringList candidates{QStringLiteral("/dev/ttyUSB*"), QStringLiteral("/dev/ttyACM*")};
    // How long a port gets to answer the device-ID probe: the line's first-byte wait, but never
    // less than kMinProbeWait.
    std::chrono::milliseconds probeWait{kMinProbeWait};
    static constexpr std::chrono::milliseconds kMinProbeWait{100};
};

// The operator's words for a port that cannot be opened, with what to do about it.
QString serialOpenError(const QString& path, int error);

// Whether the line can run at this rate (the standard rates up to 4 Mbit/s).
bool supportedBaud(int baud);

// Opens a serial port as a raw line, for this program alone (TIOCEXCL and a lock); closing it puts
// the port's own settings back. nullptr with why filled when it cannot.
std::unique_ptr<ByteLink> openSerialLine(const QString& path, const SerialSettings& settings, QString& why);

// A serial port the system knows, with the USB identity of its device where it has one.
struct SerialPortInfo {
    QString path;
    QString usbId;       // "0403:6001", empty when not a USB device
    QString description; // manufacturer and product as the device tells them
    QString serialNumber; // of the USB device, when it has one
    QString usbPort;      // where the USB device is plugged in ("1-1.2"), as udev's KERNELS knows it
};

// The ports matching the patterns, with their USB identity from sysfs (sysRoot for tests).
std::vector<SerialPortInfo> listSerialPorts(const QStringList& patterns,
                                            const QString& sysRoot = QStringLiteral("/sys"));

// Asks the accelerometer for its device ID (register 0x00) over an opened link; true when it
// answers 0xE5.
bool probeBoard(ByteLink& link, std::chrono::milliseconds timeout);

// A named port. Each time it is opened the device-ID probe must be answered before the line is
// handed over: after an unplug the path may lead to another program's terminal, which must not
// receive the board's commands.
class SerialOpener : public LinkOpener {
  public:
    explicit SerialOpener(SerialSettings settings) : settings_(std::move(settings)) {}
    std::unique_ptr<ByteLink> open(QString& why) override;
    QString description() const override;

  private:
    SerialSettings settings_;
};

// Port=auto: the first listed port that answers the device-ID probe. All the ports are probed at
// once, each on its own thread, so the search takes one probe wait however many ports stay
// silent. The port found is kept, so a board that drops out is preferred at the same place. A search that found nothing after
// probing ports is not repeated for a few seconds while the same ports are there: every call of
// the program would otherwise stall for up to a second while no board is attached (each poll of
// a run, each command). A port that appears (a board plugged in) is searched at once.
class AutoSerialOpener : public LinkOpener {
  public:
    explicit AutoSerialOpener(SerialSettings settings, QString sysRoot = QStringLiteral("/sys"),
                              platform::TickSource* ticks = nullptr);
    // Runs on the stream backend's opening thread; description() may be called meanwhile.
    std::unique_ptr<ByteLink> open(QString& why) override;
    QString description() const override;

    // After a search that probed ports in vain, calls fail at once for this long.
    static constexpr std::chrono::milliseconds kSearchAgainAfter{3000};

    // The probe each port gets (probeBoard unless a test puts another in).
    using Probe = std::function<bool(ByteLink&, std::chrono::milliseconds)>;
    void setProbe(Probe probe) { probe_ = std::move(probe); }

  private:
    SerialSettings settings_;
    QString sysRoot_;
    Probe probe_;
    mutable std::mutex foundMutex_;
    QString found_;
    platform::SystemTicks systemTicks_;
    platform::TickSource& ticks_;
    std::optional<std::uint32_t> failedAt_;
    QString failedWhy_;
    QStringList failedPorts_;
};

} // namespace acq
